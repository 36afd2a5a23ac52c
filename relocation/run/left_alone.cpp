#include "relocation/run/left_alone.h"

#include <algorithm>

#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink {
namespace {

// Folders whose existence is remembered; beyond them each is looked at anew.
constexpr size_t kRememberedFolders = 1024;

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) c = FoldAscii(c);
  return folded;
}

void Note(std::vector<std::u16string>& folders, std::u16string_view folder) {
  if (folders.size() < kReportExamples &&
      std::find(folders.begin(), folders.end(), folder) == folders.end()) {
    folders.emplace_back(folder);
  }
}

}  // namespace

LeftAloneCheck::LeftAloneCheck(std::u16string_view oldFolder)
    : oldLast_(Folded(LastPathPart(oldFolder))), oldLocal_(IsLocalFolder(oldFolder)) {}

bool LeftAloneCheck::FolderExists(const std::u16string& folder) {
  const auto known = exists_.find(folder);
  if (known != exists_.end()) return known->second;
  const bool exists = platform::NameTaken(folder);
  if (exists_.size() < kRememberedFolders) exists_.emplace(folder, exists);
  return exists;
}

void LeftAloneCheck::Take(const ParsedReference& reference, std::u16string_view folder,
                          LeftAloneTally& tally) {
  const bool local = (reference.spelling & kSpellingLocal) != 0;
  if (local) {
    // The picture's own folder, as this system names it: a run leaves "\"
    // in the part behind the folder it wrote.
    std::u16string own = reference.path.substr(0, PictureFolderLength(reference, false));
    std::replace(own.begin(), own.end(), u'\\', u'/');
    if (!FolderExists(own)) {
      ++tally.inMissingFolders;
      Note(tally.missingFolders, folder);
      return;
    }
  }
  if (local == oldLocal_ || oldLast_.empty()) return;
  // The same last component at either level: the old folder's pictures,
  // named in the other kind.
  const std::u16string_view path = reference.path;
  for (const bool oneHigher : {true, false}) {
    const std::u16string_view named = path.substr(0, PictureFolderLength(reference, oneHigher));
    if (Folded(LastPathPart(named)) == oldLast_) {
      ++tally.inOtherKind;
      Note(tally.otherKindFolders, folder);
      return;
    }
  }
}

}  // namespace picrelink
