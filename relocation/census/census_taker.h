#pragma once
// Counting the references of a CSV's text into a census, one after another,
// as the scan finds them; and joining the counts of a text's second part,
// taken apart, to those of its first.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>

#include "relocation/census/census.h"
#include "relocation/census/picture_check.h"
#include "relocation/references/folder_memo.h"
#include "relocation/references/reference_scan.h"

namespace picrelink {

// How many of the references that no run rewrites here are named.
inline constexpr size_t kNotRewritableExamples = 20;

// Counts one reference after another into the census, one folder table entry
// per folder; the last folder is remembered, since references to one folder
// mostly stand together.
class CensusTaker {
 public:
  CensusTaker(Census& census, bool oneHigher, PictureChecker* checker)
      : census_(census), oneHigher_(oneHigher), checker_(checker) {}

  // A recognised reference's value, whole.
  void Take(std::u16string_view value);
  // A local-looking reference that no run rewrites here.
  void TakeNotRewritable(std::u16string_view value);

  // Whether Absorb can tell exactly what this taker would have counted had
  // it gone on over the text that later counted: false when later's folder
  // table ran full, so that some of its references were counted under no
  // folder (which may be one of this taker's).
  bool CanAbsorb(const CensusTaker& later) const { return later.census_.foldersNotListed == 0; }
  // Adds later's counts (of the text right behind this taker's) to this
  // census: later's folders that this one lacks follow its own, in later's
  // order, as far as the folder table holds them; the examples follow this
  // census's own as far as there is room. later's checker is not joined here.
  void Absorb(const CensusTaker& later);

  // Puts the counts by spelling under their names.
  void Finish();

 private:
  void Count(size_t form, unsigned spelling, size_t index);
  CensusFolder* EntryFor(std::u16string_view folder);
  // Where the folder table keeps a folder: Windows folders compare as the
  // run's replacement compares them (ASCII letters folded); local ones as
  // this system compares names.
  static std::u16string KeyOf(std::u16string_view folder, bool local);

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

// The scan and the taker of one part of a CSV's text: every src="" value
// that is a reference of a spelling the run knows, or one it cannot rewrite,
// counted.
class CensusCounter {
 public:
  // levelError: thrown at the first reference to count, when set (the level
  // text is no integer).
  CensusCounter(Census& census, bool oneHigher, PictureChecker* checker,
                std::exception_ptr levelError);

  // Out of line, beside the classifier, the sink and the taker, so that the
  // scan loop has them inlined.
  void Feed(std::u16string_view piece);
  size_t FeedToSearch(std::u16string_view piece);
  // The end of the part: a value that no quotation mark closes is dropped.
  void Finish() { scanner_.Finish(); }
  uint64_t Position() const { return scanner_.Position(); }
  bool SearchesAfresh() const { return scanner_.SearchesAfresh(); }
  CensusTaker& Taker() { return taker_; }

 private:
  struct Classify {
    int operator()(std::u16string_view head) const;
  };
  struct Sink {
    CensusTaker* taker;
    std::exception_ptr levelError;
    bool operator()(const FoundReference& found) const;
  };
  CensusTaker taker_;
  BasicReferenceScanner<Classify, Sink> scanner_;
};

}  // namespace picrelink
