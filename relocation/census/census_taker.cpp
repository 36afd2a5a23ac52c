#include "relocation/census/census_taker.h"

#include <algorithm>

#include "core/path_helpers.h"

namespace picrelink {
namespace {

// No path is longer: a longer value is not a picture reference.
constexpr size_t kLongestPath = 32768;
// A reference of every spelling the run knows, or one it cannot rewrite.
constexpr int kUnrewritable = static_cast<int>(kFormCount);

// Whether two Windows folders are one, as the folder table's keys have it.
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

}  // namespace

// inline: the scan loop below has it inlined, as the classifier and sink.
inline void CensusTaker::Take(std::u16string_view value) {
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

void CensusTaker::TakeNotRewritable(std::u16string_view value) {
  ++census_.notRewritable;
  if (census_.notRewritableExamples.size() < kNotRewritableExamples) {
    census_.notRewritableExamples.emplace_back(value.substr(0, 260));
  }
}

inline void CensusTaker::Count(size_t form, unsigned spelling, size_t index) {
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

void CensusTaker::Absorb(const CensusTaker& later) {
  const Census& more = later.census_;
  census_.references += more.references;
  for (size_t form = 0; form < kFormCount; ++form) census_.byForm[form] += more.byForm[form];
  for (size_t spelling = 0; spelling < bySpelling_.size(); ++spelling) {
    bySpelling_[spelling] += later.bySpelling_[spelling];
  }
  census_.foldersNotListed += more.foldersNotListed;
  for (const CensusFolder& folder : more.folders) {
    std::u16string key = KeyOf(folder.folder, folder.local);
    auto found = index_.find(key);
    if (found == index_.end()) {
      if (census_.folders.size() == kCensusFolderLimit) {
        census_.foldersNotListed += folder.references;
        continue;
      }
      census_.folders.push_back(folder);
      found = index_.emplace(std::move(key), census_.folders.size() - 1).first;
      continue;
    }
    CensusFolder& entry = census_.folders[found->second];
    entry.references += folder.references;
    for (size_t form = 0; form < kFormCount; ++form) entry.byForm[form] += folder.byForm[form];
  }
  census_.notRewritable += more.notRewritable;
  for (const std::u16string& example : more.notRewritableExamples) {
    if (census_.notRewritableExamples.size() == kNotRewritableExamples) break;
    census_.notRewritableExamples.push_back(example);
  }
}

void CensusTaker::Finish() {
  for (unsigned spelling = 0; spelling < bySpelling_.size(); ++spelling) {
    if (bySpelling_[spelling] > 0) {
      CountSpellings(census_.spellings, spelling, bySpelling_[spelling]);
    }
  }
}

std::u16string CensusTaker::KeyOf(std::u16string_view folder, bool local) {
  if (local) return u"local:" + std::u16string(folder);
  std::u16string key(folder);
  for (char16_t& c : key) {
    c = c == u'/' ? u'\\' : FoldAscii(c);
  }
  return key;
}

CensusFolder* CensusTaker::EntryFor(std::u16string_view folder) {
  const bool local = (parsed_.spelling & kSpellingLocal) != 0;
  if (lastIndex_ != kNone && local == lastLocal_ &&
      (local ? folder == lastFolder_ : SameFolded(folder, lastFolder_))) {
    return &census_.folders[lastIndex_];
  }
  std::u16string key = KeyOf(folder, local);
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

inline int CensusCounter::Classify::operator()(std::u16string_view head) const {
  // Most values are paths of a drive (D:\\...) or their file URLs as
  // listing tools write them (file:///D:/...), told at once.
  const int form = ClassifyCommonSpelledHead(head);
  if (form == kNotAReference && IsUnrewritableHead(head)) return kUnrewritable;
  return form;
}

inline bool CensusCounter::Sink::operator()(const FoundReference& found) const {
  if (found.kind == kUnrewritable) {
    taker->TakeNotRewritable(found.value);
    return false;
  }
  if (levelError) std::rethrow_exception(levelError);
  if (!found.truncated) taker->Take(found.value);
  return false;
}

CensusCounter::CensusCounter(Census& census, bool oneHigher, PictureChecker* checker,
                             std::exception_ptr levelError)
    : taker_(census, oneHigher, checker),
      scanner_(Classify{}, Sink{&taker_, std::move(levelError)}, kLongestPath) {}

void CensusCounter::Feed(std::u16string_view piece) { scanner_.Feed(piece); }

size_t CensusCounter::FeedToSearch(std::u16string_view piece) {
  return scanner_.FeedToSearch(piece);
}

}  // namespace picrelink
