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
    : deepest_(wholeTree ? kDeepestFolder : 1), root_(root), names_(kNamesIgnoreCase) {
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
    names_.Add(key);
  }
}

namespace {

PictureIndex::Lookup AsLookup(PictureNames::Match match) {
  switch (match) {
    case PictureNames::Match::Exact:
      return PictureIndex::Lookup::Found;
    case PictureNames::Match::Folded:
      return PictureIndex::Lookup::FoundIgnoringCase;
    case PictureNames::Match::None:
      break;
  }
  return PictureIndex::Lookup::Missing;
}

}  // namespace

PictureIndex::Lookup PictureIndex::Find(std::u16string_view relative) const {
  thread_local std::u16string key;
  Normalise(relative, key);
  const size_t slash = key.rfind(u'/');
  const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
  const std::u16string_view folder = std::u16string_view(key).substr(0, nameStart);
  return AsLookup(names_.Find(folder, PictureNames::Continue(PictureNames::kEmptyHash, folder),
                              std::u16string_view(key).substr(nameStart)));
}

void PictureIndex::MakeFolder(std::u16string_view folder, Folder& out) {
  // As Normalise reads a path that goes on behind the folder: one "/"
  // for each run of separators that follows a component.
  out.path.clear();
  for (const char16_t c : folder) {
    if (c == u'\\' || c == u'/') {
      if (!out.path.empty() && out.path.back() != u'/') out.path += u'/';
    } else {
      out.path += c;
    }
  }
  out.hash = PictureNames::Continue(PictureNames::kEmptyHash, out.path);
}

PictureIndex::Lookup PictureIndex::Find(const Folder& folder, std::u16string_view name) const {
  return AsLookup(names_.Find(folder.path, folder.hash, name));
}

bool FolderDecidedBy(std::u16string_view path, std::u16string_view folder, size_t units) {
  if (folder.size() < units) return true;
  // The folder's first units against the path's: a difference among them
  // decides. (A trailing separator of the part is left out of the
  // comparison; that only ever says "not decided".)
  return units > 0 && units <= path.size() &&
         !PathBeginsWithFolder(path.substr(0, units), folder.substr(0, units), false);
}

PictureChecker::PictureChecker(std::u16string_view oldFolder, std::u16string_view newFolder)
    : oldFolder_(oldFolder), newIndex_(std::make_shared<const PictureIndex>(newFolder)) {
  tally_.folder = newFolder;
  tally_.folderExists = newIndex_->Exists();
  tally_.unreadableFolders = newIndex_->UnreadableFolders();
}

PictureChecker PictureChecker::LaterPart(const PictureChecker& first) {
  PictureChecker later;
  later.oldFolder_ = first.oldFolder_;
  later.newIndex_ = first.newIndex_;
  later.tally_.folder = first.tally_.folder;
  later.tally_.folderExists = first.tally_.folderExists;
  return later;  // the new folder's unreadable folders are first's to count
}

bool PictureChecker::Listed(const std::u16string& folder) const {
  return std::any_of(localIndexes_.begin(), localIndexes_.end(),
                     [&folder](const auto& index) { return index->Root() == folder; });
}

bool PictureChecker::CanAbsorb(const PictureChecker& later) const {
  if (later.refusedFolder_) return false;
  size_t listed = localIndexes_.size();
  for (const auto& index : later.localIndexes_) listed += Listed(index->Root()) ? 0 : 1;
  return listed <= kLocalFolderLimit;
}

void PictureChecker::Absorb(PictureChecker&& later) {
  const PictureTally& more = later.tally_;
  tally_.checked += more.checked;
  tally_.found += more.found;
  tally_.foundIgnoringCase += more.foundIgnoringCase;
  tally_.missing += more.missing;
  tally_.missingElsewhere += more.missingElsewhere;
  tally_.notChecked += more.notChecked;
  for (const std::u16string& example : more.missingExamples) {
    if (tally_.missingExamples.size() == kMissingExamples) break;
    tally_.missingExamples.push_back(example);
  }
  for (auto& index : later.localIndexes_) {
    if (Listed(index->Root())) continue;
    tally_.unreadableFolders += index->UnreadableFolders();
    localIndexes_.push_back(std::move(index));
  }
}

void PictureChecker::Look(const PictureIndex& index, std::u16string_view rest) {
  // A name as the browser reads it from the HTML: a&amp;b.jpg is a&b.jpg.
  std::u16string decoded;
  if (rest.find(u'&') != std::u16string_view::npos) {
    decoded = DecodeHtmlReferences(rest);
    rest = decoded;
  }
  if (Count(index.Find(rest), index)) {
    std::u16string key;
    Normalise(rest, key);
    MissingExample(index, std::move(key));
  }
}

void PictureChecker::CheckName(const PictureIndex& index, const PictureIndex::Folder& folder,
                               std::u16string_view name) {
  if (Count(index.Find(folder, name), index)) {
    std::u16string key = folder.path;
    key += name;
    MissingExample(index, std::move(key));
  }
}

bool PictureChecker::Count(PictureIndex::Lookup lookup, const PictureIndex& index) {
  ++tally_.checked;
  switch (lookup) {
    case PictureIndex::Lookup::Found:
      ++tally_.found;
      return false;
    case PictureIndex::Lookup::FoundIgnoringCase:
      ++tally_.foundIgnoringCase;
      return false;
    case PictureIndex::Lookup::Missing:
      break;
  }
  ++tally_.missing;
  if (&index != newIndex_.get()) ++tally_.missingElsewhere;
  return tally_.missingExamples.size() < kMissingExamples;
}

void PictureChecker::MissingExample(const PictureIndex& index, std::u16string key) {
  if (platform::kLocalSeparator != u'/') std::replace(key.begin(), key.end(), u'/', u'\\');
  tally_.missingExamples.push_back(JoinFolder(index.Root(), key));
}

const PictureIndex* PictureChecker::IndexFor(const std::u16string& folder) {
  for (const auto& index : localIndexes_) {
    if (index->Root() == folder) return index.get();
  }
  if (localIndexes_.size() == kLocalFolderLimit) {
    refusedFolder_ = true;
    return nullptr;
  }
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
  CheckAt(Resolve(reference), reference);
}

void PictureChecker::CheckAt(const Target& target, const ParsedReference& reference) {
  if (target.index == nullptr) {
    ++tally_.notChecked;
    return;
  }
  Look(*target.index, std::u16string_view(reference.path).substr(target.restStart));
}

bool PictureChecker::ResolvedBy(const ParsedReference& reference, size_t units) const {
  return FolderDecidedBy(reference.path, tally_.folder, units) &&
         FolderDecidedBy(reference.path, oldFolder_, units);
}

PictureChecker::Target PictureChecker::Resolve(const ParsedReference& reference) {
  const std::u16string_view path = reference.path;
  if ((reference.spelling & kSpellingLocal) != 0) {
    // Already pointing at a folder of this machine: under the new folder, in
    // the old one (a local folder a run here wrote, the package moved since)
    // as under the new one, or wherever it points. When one of the two lies
    // inside the other, the longer one is what the path names.
    const bool inNew = PathBeginsWithFolder(path, tally_.folder, true);
    const bool inOld = !oldFolder_.empty() && PathBeginsWithFolder(path, oldFolder_, true);
    if (inNew && (!inOld || tally_.folder.size() >= oldFolder_.size())) {
      return {newIndex_.get(), std::min(path.size(), tally_.folder.size())};
    }
    if (inOld) return {newIndex_.get(), std::min(path.size(), oldFolder_.size())};
    // The picture's own folder alone is listed: the reference may point
    // anywhere on the machine, the root too.
    const size_t length = PictureFolderLength(reference, false);
    std::u16string own(path.substr(0, length));
    std::replace(own.begin(), own.end(), u'\\', u'/');
    return {IndexFor(own), length};
  }
  if (!oldFolder_.empty() && PathBeginsWithFolder(path, oldFolder_, true)) {
    return {newIndex_.get(), std::min(path.size(), oldFolder_.size())};
  }
  return {};
}

}  // namespace picrelink
