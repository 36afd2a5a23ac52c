#include "relocation/census/census.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/references/csv_pieces.h"
#include "relocation/references/detection.h"
#include "relocation/references/folder_memo.h"
#include "relocation/references/reference_scan.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/session/startup.h"

namespace picrelink {
namespace {

// No path is longer: a longer value is not a picture reference.
constexpr size_t kLongestPath = 32768;
// How many of the references that no run rewrites here are named.
constexpr size_t kNotRewritableExamples = 20;

std::u16string FoldedKey(std::u16string_view folder) {
  std::u16string key(folder);
  for (char16_t& c : key) {
    c = c == u'/' ? u'\\' : FoldAscii(c);
  }
  return key;
}

// Whether two Windows folders are one, as FoldedKey has it.
bool SameFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const char16_t x = a[i] == u'/' ? u'\\' : FoldAscii(a[i]);
    const char16_t y = b[i] == u'/' ? u'\\' : FoldAscii(b[i]);
    if (x != y) return false;
  }
  return true;
}

// Counts one reference after another into the census, one folder table entry
// per folder; the last folder is remembered, since references to one folder
// mostly stand together.
class CensusTaker {
 public:
  CensusTaker(Census& census, bool oneHigher, PictureChecker* checker)
      : census_(census), oneHigher_(oneHigher), checker_(checker) {}

  void Take(std::u16string_view value) {
    size_t form = 0;
    unsigned spelling = 0;
    // The folders just seen, in the spellings just seen: counted without
    // reading the value further. The one that matched last a value with the
    // same first unit is tried first: the spellings and folders that a
    // listing mixes mostly begin differently (D:\, E:\, file:).
    size_t& hint = hints_[HintOf(value)];
    for (size_t k = 0; k < kMemos; ++k) {
      const size_t slot = (hint + k) % kMemos;
      if (memos_[slot].memo.Matches(value, form, spelling)) {
        hint = slot;
        Count(form, spelling, memos_[slot].index);
        if (checker_ != nullptr) checker_->CountNotChecked();
        return;
      }
    }
    if (!ParseReference(value, parsed_)) return;
    const size_t folderLength = PictureFolderLength(parsed_, oneHigher_);
    const std::u16string_view folder = std::u16string_view(parsed_.path).substr(0, folderLength);
    CensusFolder* entry = EntryFor(folder);
    const size_t index = entry != nullptr ? lastIndex_ : kNone;
    Count(parsed_.form, parsed_.spelling, index);
    if (checker_ != nullptr) checker_->Check(parsed_);
    // Remembered only where the picture check, if any, leaves every
    // reference to the folder unchecked whatever its rest; in the slot used
    // longest ago.
    if (checker_ == nullptr || checker_->NeverChecks(parsed_, folderLength)) {
      Memo& oldest = memos_[nextMemo_];
      oldest.memo.Remember(value, parsed_, folderLength, oneHigher_);
      oldest.index = index;
      hint = nextMemo_;
      nextMemo_ = (nextMemo_ + 1) % kMemos;
    }
  }

  void Count(size_t form, unsigned spelling, size_t index) {
    ++census_.references;
    ++census_.byForm[form];
    ++bySpelling_[spelling & kSpellingMask];
    if (index != kNone) {
      ++census_.folders[index].references;
      ++census_.folders[index].byForm[form];
    } else {
      ++census_.foldersNotListed;
    }
  }

  // Puts the counts by spelling under their names.
  void Finish() {
    for (unsigned spelling = 0; spelling < bySpelling_.size(); ++spelling) {
      if (bySpelling_[spelling] > 0) {
        CountSpellings(census_.spellings, spelling, bySpelling_[spelling]);
      }
    }
  }

 private:
  CensusFolder* EntryFor(std::u16string_view folder) {
    const bool local = (parsed_.spelling & kSpellingLocal) != 0;
    if (lastIndex_ != kNone && local == lastLocal_ &&
        (local ? folder == lastFolder_ : SameFolded(folder, lastFolder_))) {
      return &census_.folders[lastIndex_];
    }
    // Windows folders compare as the run's replacement compares them (ASCII
    // letters folded); local ones as this system compares names.
    std::u16string key = local ? u"local:" + std::u16string(folder) : FoldedKey(folder);
    auto found = index_.find(key);
    if (found == index_.end()) {
      if (census_.folders.size() == kCensusFolderLimit) return nullptr;
      CensusFolder entry;
      entry.folder = folder;
      entry.local = local;
      census_.folders.push_back(std::move(entry));
      found = index_.emplace(std::move(key), census_.folders.size() - 1).first;
    }
    lastFolder_ = folder;
    lastLocal_ = local;
    lastIndex_ = found->second;
    return &census_.folders[lastIndex_];
  }

  static constexpr size_t kNone = static_cast<size_t>(-1);
  // Every combination of the spelling bits, counted as a number; the names
  // are counted once at the end, not looked up per reference.
  static constexpr unsigned kSpellingMask = 31;
  static_assert(kSpellingNames.back().first * 2 - 1 == kSpellingMask);
  std::array<int64_t, kSpellingMask + 1> bySpelling_{};
  Census& census_;
  bool oneHigher_;
  PictureChecker* checker_;
  ParsedReference parsed_;
  // A few folders remembered at once: a listing mixes the spellings of one
  // folder (paths and file URLs) and a few folders in every record.
  static constexpr size_t kMemos = 4;
  struct Memo {
    FolderMemo memo;
    size_t index = kNone;  // the remembered folder's entry
  };
  std::array<Memo, kMemos> memos_;
  // By the value's first unit (ASCII letter case aside, a few bits of it):
  // the slot that matched or was filled last for such a value.
  static constexpr size_t kHints = 32;
  static size_t HintOf(std::u16string_view value) {
    return value.empty() ? 0 : (value[0] | 0x20) % kHints;
  }
  std::array<size_t, kHints> hints_{};
  size_t nextMemo_ = 0;  // the slot filled next
  std::unordered_map<std::u16string, size_t> index_;
  std::u16string lastFolder_;
  bool lastLocal_ = false;
  size_t lastIndex_ = kNone;
};

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
  const auto stopIfCancelled = [cancel] {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      throw Cancelled("Cancelled");
    }
  };
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

  stopIfCancelled();
  std::optional<PictureChecker> checker;
  if (newFolder) checker.emplace(census.detected, *newFolder);
  CensusTaker taker(census, census.level > 0, checker ? &*checker : nullptr);

  // A reference of every spelling the run knows, or one it cannot rewrite.
  constexpr int kUnrewritable = static_cast<int>(kFormCount);
  BasicReferenceScanner scanner(
      [](std::u16string_view head) {
        // Most values are paths of a drive (D:\\...) or their file URLs as
        // listing tools write them (file:///D:/...), told at once.
        const int form = ClassifyCommonSpelledHead(head);
        if (form == kNotAReference && IsUnrewritableHead(head)) return kUnrewritable;
        return form;
      },
      [&](const FoundReference& found) {
        if (found.kind == kUnrewritable) {
          ++census.notRewritable;
          if (census.notRewritableExamples.size() < kNotRewritableExamples) {
            census.notRewritableExamples.emplace_back(found.value.substr(0, 260));
          }
          return false;
        }
        if (levelError) std::rethrow_exception(levelError);
        if (!found.truncated) taker.Take(found.value);
        return false;
      },
      kLongestPath);
  if (!csvPath.empty()) {
    CsvPieces pieces(csvPath);
    uint64_t readUnits = 0;
    for (std::u16string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
      census.hasText = true;
      scanner.Feed(piece);
      readUnits += piece.size();
      stopIfCancelled();
      if (progress) progress(readUnits, pieces.TextUnits());
    }
    scanner.Finish();
  }
  taker.Finish();
  Order(census, newFolder);
  if (checker) result.pictures = checker->Tally();
  return result;
}

std::u16string ProposedNewFolder(std::u16string_view csvPath, std::u16string_view detected) {
  const std::u16string csv = platform::AbsolutePath(csvPath);
  const size_t last = csv.find_last_of(platform::kLocalSeparator == u'\\' ? u"\\/" : u"/");
  const std::u16string folder =
      last == std::u16string::npos ? std::u16string() : csv.substr(0, last + 1);
  return ProposeActualFolder(folder, detected);
}

}  // namespace picrelink
