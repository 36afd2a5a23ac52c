#include "relocation/census/census.h"

#include <algorithm>
#include <exception>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/census/census_count.h"
#include "relocation/references/detection.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/session/startup.h"

namespace picrelink {
namespace {

std::u16string FoldedKey(std::u16string_view folder) {
  std::u16string key(folder);
  for (char16_t& c : key) {
    c = c == u'/' ? u'\\' : FoldAscii(c);
  }
  return key;
}

void Order(Census& census, const std::optional<std::u16string>& newFolder) {
  if (!census.detected.empty()) {
    // A drive folder compares as the run's replacement folds it; a local one
    // (detected where the CSV names no drive) as this system compares names.
    const bool localDetected = IsLocalFolder(census.detected);
    const std::u16string detectedKey = FoldedKey(census.detected);
    for (CensusFolder& folder : census.folders) {
      if (folder.local != localDetected) continue;
      folder.detected = localDetected ? folder.folder == census.detected
                                      : FoldedKey(folder.folder) == detectedKey;
    }
  }
  // Folders in the new folder are where the pictures are now: a run wrote
  // them there, so they belong with the detected folder.
  if (newFolder && !newFolder->empty()) {
    for (CensusFolder& folder : census.folders) {
      folder.inNewFolder =
          !folder.detected && PathBeginsWithFolder(folder.folder, *newFolder, true);
    }
  }
  std::stable_sort(census.folders.begin(), census.folders.end(),
                   [](const CensusFolder& a, const CensusFolder& b) {
                     if (a.detected != b.detected) return a.detected;
                     return a.references > b.references;
                   });
}

}  // namespace

CheckResult CheckCsv(std::u16string_view csvPath, std::u16string_view levelText,
                     const std::optional<std::u16string>& newFolder,
                     const std::function<void(uint64_t read, uint64_t total)>& progress,
                     const std::atomic<bool>* cancel) {
  return census_detail::CheckCsvSplitAt(csvPath, levelText, newFolder, progress, cancel,
                                        kSplitInTheMiddle);
}

namespace census_detail {

CheckResult CheckCsvSplitAt(std::u16string_view csvPath, std::u16string_view levelText,
                            const std::optional<std::u16string>& newFolder,
                            const std::function<void(uint64_t read, uint64_t total)>& progress,
                            const std::atomic<bool>* cancel, uint64_t splitAt, CountedAs* how) {
  CheckResult result;
  Census& census = result.census;
  MemoryFormValues values;
  values.levelText = levelText;
  census.detected = DetectImageFolder(csvPath, values);

  // The level as detection reads it; a text that is no integer is an error
  // once there is a reference to apply it to, as in detection.
  std::exception_ptr levelError;
  try {
    census.level = LevelToInt(levelText);
  } catch (const EConvertError&) {
    levelError = std::current_exception();
  }

  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw Cancelled("Cancelled");
  std::optional<PictureChecker> checker;
  if (newFolder) checker.emplace(census.detected, *newFolder);
  const CountedAs counted =
      CountCsvText(csvPath, census, census.level > 0, checker ? &*checker : nullptr, levelError,
                   progress, cancel, splitAt);
  if (how != nullptr) *how = counted;
  Order(census, newFolder);
  if (checker) result.pictures = checker->Tally();
  return result;
}

}  // namespace census_detail

std::u16string ProposedNewFolder(std::u16string_view csvPath, std::u16string_view detected) {
  const std::u16string csv = platform::AbsolutePath(csvPath);
  const size_t last = csv.find_last_of(platform::kLocalSeparator == u'\\' ? u"\\/" : u"/");
  const std::u16string folder =
      last == std::u16string::npos ? std::u16string() : csv.substr(0, last + 1);
  return ProposeActualFolder(folder, detected);
}

}  // namespace picrelink
