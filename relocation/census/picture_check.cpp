#include "relocation/census/picture_check.h"

#include <algorithm>
#include <exception>

#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/references/html_references.h"

namespace picrelink {
namespace {

#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

// Symbolic links to folders may form loops; no picture folder is this deep.
constexpr int kDeepestFolder = 48;
// Local folders other than the new one that a check lists, at most.
constexpr size_t kLocalFolderLimit = 64;

void FoldAsciiIn(std::u16string& text) {
  for (char16_t& c : text) {
    c = FoldAscii(c);
  }
}

// A relative path as the index keeps it: "/" between components, no empty
// components.
void Normalise(std::u16string_view relative, std::u16string& key) {
  key.clear();
  for (char16_t c : relative) {
    if (c == u'\\' || c == u'/') {
      if (!key.empty() && key.back() != u'/') key += u'/';
    } else {
      key += c;
    }
  }
  if (!key.empty() && key.back() == u'/') key.pop_back();
}

}  // namespace

PictureIndex::PictureIndex(std::u16string_view root, bool wholeTree)
    : root_(root), deepest_(wholeTree ? kDeepestFolder : 1) {
  try {
    platform::ListFolder(root_);
    exists_ = true;
  } catch (const std::exception&) {
    return;
  }
  Walk(root_, u"", 0);
}

void PictureIndex::Walk(const std::u16string& folder, const std::u16string& relative, int depth) {
  std::vector<platform::FolderEntry> entries;
  try {
    entries = platform::ListFolder(folder);
  } catch (const std::exception&) {
    ++unreadable_;
    return;
  }
  for (const platform::FolderEntry& entry : entries) {
    std::u16string key = relative.empty() ? entry.name : relative + u'/' + entry.name;
    if (entry.isDirectory) {
      if (depth + 1 < deepest_) {
        Walk(JoinFolder(folder, entry.name), key, depth + 1);
      }
      continue;
    }
    if (kNamesIgnoreCase) {
      FoldAsciiIn(key);
    } else {
      std::u16string folded = key;
      FoldAsciiIn(folded);
      folded_.insert(std::move(folded));
    }
    exact_.insert(std::move(key));
  }
}

PictureIndex::Lookup PictureIndex::Find(std::u16string_view relative) const {
  thread_local std::u16string key;
  Normalise(relative, key);
  if (kNamesIgnoreCase) FoldAsciiIn(key);
  if (exact_.count(key) != 0) return Lookup::Found;
  if (kNamesIgnoreCase) return Lookup::Missing;
  FoldAsciiIn(key);
  return folded_.count(key) != 0 ? Lookup::FoundIgnoringCase : Lookup::Missing;
}

PictureChecker::PictureChecker(std::u16string_view oldFolder, std::u16string_view newFolder)
    : oldFolder_(oldFolder), newIndex_(newFolder) {
  tally_.folder = newFolder;
  tally_.folderExists = newIndex_.Exists();
  tally_.unreadableFolders = newIndex_.UnreadableFolders();
}

void PictureChecker::Look(const PictureIndex& index, std::u16string_view rest) {
  // A name as the browser reads it from the HTML: a&amp;b.jpg is a&b.jpg.
  std::u16string decoded;
  if (rest.find(u'&') != std::u16string_view::npos) {
    decoded = DecodeHtmlReferences(rest);
    rest = decoded;
  }
  ++tally_.checked;
  switch (index.Find(rest)) {
    case PictureIndex::Lookup::Found:
      ++tally_.found;
      return;
    case PictureIndex::Lookup::FoundIgnoringCase:
      ++tally_.foundIgnoringCase;
      return;
    case PictureIndex::Lookup::Missing:
      break;
  }
  ++tally_.missing;
  if (&index != &newIndex_) ++tally_.missingElsewhere;
  if (tally_.missingExamples.size() < kMissingExamples) {
    std::u16string key;
    Normalise(rest, key);
    if (platform::kLocalSeparator != u'/') std::replace(key.begin(), key.end(), u'/', u'\\');
    tally_.missingExamples.push_back(JoinFolder(index.Root(), key));
  }
}

const PictureIndex* PictureChecker::IndexFor(const std::u16string& folder) {
  for (const auto& index : localIndexes_) {
    if (index->Root() == folder) return index.get();
  }
  if (localIndexes_.size() == kLocalFolderLimit) return nullptr;
  localIndexes_.push_back(std::make_unique<PictureIndex>(folder, false));
  tally_.unreadableFolders += localIndexes_.back()->UnreadableFolders();
  return localIndexes_.back().get();
}

bool PictureChecker::NeverChecks(const ParsedReference& reference, size_t folderLength) const {
  // Local references are looked for wherever they point.
  if ((reference.spelling & kSpellingLocal) != 0) return false;
  // Whether the path begins with the old folder is said by its first
  // folderLength units and the separator behind them only when the old
  // folder is not longer.
  if (oldFolder_.size() > folderLength) return false;
  return oldFolder_.empty() || !PathBeginsWithFolder(reference.path, oldFolder_, true);
}

void PictureChecker::Check(const ParsedReference& reference) {
  if (reference.browserLength < reference.path.size()) {
    // A browser follows the URL only up to its fragment or query.
    ParsedReference followed = reference;
    followed.path.resize(reference.browserLength);
    Check(followed);
    return;
  }
  const std::u16string_view path = reference.path;
  if ((reference.spelling & kSpellingLocal) != 0) {
    // Already pointing at a folder of this machine: under the new folder, in
    // the old one (a local folder a run here wrote, the package moved since)
    // as under the new one, or wherever it points. When one of the two lies
    // inside the other, the longer one is what the path names.
    const bool inNew = PathBeginsWithFolder(path, tally_.folder, true);
    const bool inOld = !oldFolder_.empty() && PathBeginsWithFolder(path, oldFolder_, true);
    if (inNew && (!inOld || tally_.folder.size() >= oldFolder_.size())) {
      Look(newIndex_, path.substr(std::min(path.size(), tally_.folder.size())));
      return;
    }
    if (inOld) {
      Look(newIndex_, path.substr(std::min(path.size(), oldFolder_.size())));
      return;
    }
    // The picture's own folder alone is listed: the reference may point
    // anywhere on the machine, the root too.
    const size_t length = PictureFolderLength(reference, false);
    std::u16string own(path.substr(0, length));
    std::replace(own.begin(), own.end(), u'\\', u'/');
    const PictureIndex* index = IndexFor(own);
    if (index == nullptr) {
      ++tally_.notChecked;
      return;
    }
    Look(*index, path.substr(length));
    return;
  }
  if (!oldFolder_.empty() && PathBeginsWithFolder(path, oldFolder_, true)) {
    Look(newIndex_, path.substr(std::min(path.size(), oldFolder_.size())));
    return;
  }
  ++tally_.notChecked;
}

}  // namespace picrelink
