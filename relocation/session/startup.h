#pragma once
// Start-up and re-detection: filling the form values from what lies beside
// the program.
#include <string>
#include <string_view>
#include <vector>

#include "relocation/form_values.h"

namespace picrelink {

// Full paths of the CSV files directly in folder (extension .csv in any
// letter case), the one to take first. A spreadsheet's owner file (a name
// beginning with "~$") is left out. The rest are ordered by:
// 1. files beginning with FF FE first (a file that cannot be read has no mark);
// 2. then names other than the run's backups (stem ending in "_备份" or
//    "_备份(<digits>)");
// 3. then the name without its extension, by code points ascending, so that
//    goods.csv comes before "goods - copy.csv", goods(1).csv and goods_备份.csv;
// 4. then the whole name, by code points ascending.
// Each file is held only while its first two bytes are read. Empty when the
// folder cannot be read. Never raises an error.
std::vector<std::u16string> FindCsvCandidates(std::u16string_view folder);

// The first of FindCsvCandidates, or the empty text. Never raises an error.
std::u16string FindCsvInFolder(std::u16string_view folder);

// Start-up: btn1 from discovery in programFolder (which ends in the local
// separator), btn3 = programFolder, then re-detection.
void StartUp(FormValues& values, std::u16string_view programFolder);
// The same over candidates, FindCsvCandidates(programFolder) taken already by
// a caller that keeps them, so that the folder is read once.
void StartUp(FormValues& values, std::u16string_view programFolder,
             const std::vector<std::u16string>& candidates);

// The actual folder that re-detection proposes: actual, extended by the last
// component of the detected folder when the two last components differ;
// actual as it is when nothing was detected.
std::u16string ProposeActualFolder(std::u16string_view actual, std::u16string_view detected);

// Re-detection: btn2 = the detected folder; btn3 extended by btn2's last
// component when the two last components differ.
void Redetect(FormValues& values);

// The seller chose a CSV by hand: btn1 = csvPath, then re-detection. An error
// of re-detection propagates with btn1 already set and btn2 and btn3 as they
// were.
void ChooseCsv(FormValues& values, std::u16string_view csvPath);

}  // namespace picrelink
