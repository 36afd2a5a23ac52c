#pragma once
// Start-up and re-detection: filling the form values from what lies beside
// the program.
#include <string>
#include <string_view>

#include "relocation/form_values.h"

namespace picrelink {

// Full path of a CSV file directly in folder, or the empty text. Entries are
// seen in descending order of their names' code points and the last match is
// kept, so the CSV whose name sorts first wins. Never raises an error.
std::u16string FindCsvInFolder(std::u16string_view folder);

// Start-up: btn1 from discovery in programFolder (which ends in the local
// separator), btn3 = programFolder, then re-detection.
void StartUp(FormValues &values, std::u16string_view programFolder);

// The actual folder that re-detection proposes: actual, extended by the last
// component of the detected folder when the two last components differ;
// actual as it is when nothing was detected.
std::u16string ProposeActualFolder(std::u16string_view actual, std::u16string_view detected);

// Re-detection: btn2 = the detected folder; btn3 extended by btn2's last
// component when the two last components differ.
void Redetect(FormValues &values);

}  // namespace picrelink
