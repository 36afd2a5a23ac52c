#pragma once
// relocation/census/: what the CSV names, before anything is written.
//   in:  the CSV (read through references/), the level text and a candidate
//        new folder;
//   out: the references counted by folder and spelling, the detected folder
//        marked (census; census_taker counts, census_count reads a large
//        CSV in two parts on two threads), and which pictures exist under
//        the new folder (picture_check, also used by run/ after a run), and
//        where in the package the pictures are when they are not there
//        (picture_search).
// The window's status area (session/) and the CLI's check are built on it.
//
// The census of a CSV: every picture reference, in every spelling, counted in
// one streamed pass and grouped by folder, with the folder that detection
// picks marked; and, against a candidate new folder, whether the pictures are
// there.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "relocation/census/picture_check.h"
#include "relocation/references/reference_forms.h"

namespace picrelink {

// The folder table holds at most this many folders; references to further
// folders are counted in foldersNotListed, so memory stays bounded whatever
// the CSV holds.
inline constexpr size_t kCensusFolderLimit = 10000;

struct CensusFolder {
  std::u16string folder;  // as first met: a Windows path, or a local one
  bool local = false;     // a folder of this machine (after a run on POSIX systems)
  bool detected = false;  // the folder that detection picks
  // It lies in the new folder the pictures were looked for in (after a run
  // there): it counts with the detected folder, not as another one.
  bool inNewFolder = false;
  int64_t references = 0;
  std::array<int64_t, kFormCount> byForm{};
};

struct Census {
  bool hasText = false;     // the CSV holds UTF-16 text (FF FE and at least one unit)
  int32_t level = 1;        // the level text as detection reads it
  std::u16string detected;  // detection's result; empty when it finds nothing
  int64_t references = 0;
  std::array<int64_t, kFormCount> byForm{};
  // Per spelling name (kStandardSpelling, kSpellingNames): a reference with
  // several marks counts under each of them.
  std::map<std::string, int64_t> spellings;
  // The detected folder first, then by references, most first. Folders that
  // differ only in ASCII letter case are one folder, as the run treats them.
  std::vector<CensusFolder> folders;
  int64_t foldersNotListed = 0;  // references to folders beyond kCensusFolderLimit
  // Local-looking references that no run rewrites here (IsUnrewritableHead):
  // UNC paths, file://host/..., D:/... without file:///; the first few as
  // written. They are no picture references of the counts above.
  int64_t notRewritable = 0;
  std::vector<std::u16string> notRewritableExamples;
};

struct CheckResult {
  Census census;
  std::optional<PictureTally> pictures;  // only when a new folder was given
};

// Reads the CSV twice at most: detection (which usually stops at the first
// reference), then one streamed pass for the census and, when newFolder is
// given, the picture check against it. levelText is read as detection reads
// it (EConvertError when it is no integer and the CSV holds a reference).
// Errors of reading the CSV propagate.
//
// progress, when given, is told the code units read so far and in all; a set
// cancel flag stops the census at the next piece with Cancelled (from
// relocation/run/adjustment_run.h).
CheckResult CheckCsv(std::u16string_view csvPath, std::u16string_view levelText,
                     const std::optional<std::u16string>& newFolder,
                     const std::function<void(uint64_t read, uint64_t total)>& progress = {},
                     const std::atomic<bool>* cancel = nullptr);

enum class CountedAs;

namespace census_detail {
// CheckCsv with the text's second part, from the code unit splitAt on,
// counted on a thread of its own (0: the whole text on one thread;
// kSplitInTheMiddle: as CheckCsv splits it), and how the count went in how
// when given.
CheckResult CheckCsvSplitAt(std::u16string_view csvPath, std::u16string_view levelText,
                            const std::optional<std::u16string>& newFolder,
                            const std::function<void(uint64_t read, uint64_t total)>& progress,
                            const std::atomic<bool>* cancel, uint64_t splitAt,
                            CountedAs* how = nullptr);
}  // namespace census_detail

// The folder that `auto` and the window propose beside the CSV: the CSV's own
// folder, extended by the last component of the detected folder when the two
// differ (as start-up does for the program folder).
std::u16string ProposedNewFolder(std::u16string_view csvPath, std::u16string_view detected);

}  // namespace picrelink
