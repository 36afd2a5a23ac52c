#pragma once
// Whether the pictures that references name exist: a folder tree listed once
// into a set, then each reference looked up in it, never one file-system
// call per reference.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "relocation/census/picture_names.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {

inline constexpr size_t kMissingExamples = 20;

struct PictureTally {
  std::u16string folder;      // the folder the pictures are looked for in
  bool folderExists = false;  // it exists and could be listed
  int64_t checked = 0;        // references looked up
  int64_t found = 0;          // of them, found with the name exactly as written
  // of them, found only when ASCII letter case is ignored (POSIX systems; on
  // Windows names compare without case anyway and count as found)
  int64_t foundIgnoringCase = 0;
  int64_t missing = 0;
  // of them, looked for outside the folder above (where a reference to
  // another folder of this machine points)
  int64_t missingElsewhere = 0;
  int64_t notChecked = 0;                       // references to other folders
  std::vector<std::u16string> missingExamples;  // the first kMissingExamples, as local paths
  int64_t unreadableFolders = 0;                // folders of the tree that could not be listed
};

// The files of a folder tree, by their paths relative to its root.
class PictureIndex {
 public:
  // Lists the tree under root once. A root that does not exist or cannot be
  // listed gives an empty index with Exists() false.
  // wholeTree false: the root's own files only, as for a folder a reference
  // points at directly, which may be any folder of the machine (/ too).
  explicit PictureIndex(std::u16string_view root, bool wholeTree = true);
  const std::u16string& Root() const { return root_; }
  bool Exists() const { return exists_; }
  size_t Files() const { return names_.Size(); }
  int64_t UnreadableFolders() const { return unreadable_; }

  enum class Lookup { Found, FoundIgnoringCase, Missing };
  // relative: components separated by "/" or "\".
  Lookup Find(std::u16string_view relative) const;

  // A folder part below the root, ready for lookups of the names in it
  // without a string built per name: its components with "/" after each,
  // as Find reads them.
  struct Folder {
    std::u16string path;
    uint64_t hash = PictureNames::kEmptyHash;
  };
  // folder: components each followed by "/" or "\" (or nothing).
  static void MakeFolder(std::u16string_view folder, Folder& out);
  // The same as Find(folder + name) for a name without separators.
  Lookup Find(const Folder& folder, std::u16string_view name) const;

 private:
  void Walk(const std::u16string& folder, const std::u16string& relative, int depth);
  int deepest_;
  std::u16string root_;
  bool exists_ = false;
  int64_t unreadable_ = 0;
  PictureNames names_;
};

// Whether PathBeginsWithFolder(path, folder, boundary) is decided by the
// first units of path alone, whatever follows them: the folder ends (with
// the unit behind it) within them, or they differ from it already. May say
// false where it is decided; never true where it is not.
bool FolderDecidedBy(std::u16string_view path, std::u16string_view folder, size_t units);

// Checks references one by one against the pictures under newFolder: a
// reference into oldFolder (the folder detection picks) is looked for under
// newFolder with the rest of its path; a reference that names a local folder
// of this machine is looked for where it points (POSIX systems; its folder is
// listed once); any other reference is not checked.
class PictureChecker {
 public:
  PictureChecker(std::u16string_view oldFolder, std::u16string_view newFolder);
  // A checker for a later part of the same text, on a thread of its own: the
  // same folders, first's listing of the new folder (which neither changes),
  // a tally of its own, the folders it lists apart from first's.
  static PictureChecker LaterPart(const PictureChecker& first);
  void Check(const ParsedReference& reference);
  // Whether Check passes over every reference whose path begins with the
  // first folderLength units of reference's path and a separator (as
  // another folder's, not checked).
  bool NeverChecks(const ParsedReference& reference, size_t folderLength) const;
  // One more reference that Check would pass over.
  void CountNotChecked() { ++tally_.notChecked; }
  const PictureTally& Tally() const { return tally_; }

  // Whether Absorb can tell exactly what this checker would have tallied had
  // it gone on over the references that later checked: false when the two
  // listed more local folders together than one checker lists, or later
  // met more than it could list.
  bool CanAbsorb(const PictureChecker& later) const;
  // Adds later's tally (of the references right behind this checker's) to
  // this one: the examples follow this tally's own as far as there is room;
  // the folders later listed that this one did not are taken over.
  void Absorb(PictureChecker&& later);

  // Where Check looks for a reference's picture: an index, and where the
  // rest of the path below its root begins; no index for a reference that
  // is not checked. For a reference whose whole path a browser follows
  // (browserLength); may list the reference's own folder once.
  struct Target {
    const PictureIndex* index = nullptr;
    size_t restStart = 0;
  };
  Target Resolve(const ParsedReference& reference);
  // Check with a target Resolve gave for reference.
  void CheckAt(const Target& target, const ParsedReference& reference);
  // The same as looking for folder.path + name in index, for a name with
  // neither separators nor "&": for references whose target and folder part
  // the caller has from an earlier reference.
  void CheckName(const PictureIndex& index, const PictureIndex::Folder& folder,
                 std::u16string_view name);
  // Whether Resolve's comparisons of reference's path with the folders are
  // decided by the path's first units alone, whatever follows them.
  bool ResolvedBy(const ParsedReference& reference, size_t units) const;

 private:
  void Look(const PictureIndex& index, std::u16string_view rest);
  // Tallies a lookup's answer; true for a missing picture whose path the
  // tally still takes as an example (MissingExample).
  bool Count(PictureIndex::Lookup lookup, const PictureIndex& index);
  // key: the path below the index's root, "/" between components.
  void MissingExample(const PictureIndex& index, std::u16string key);
  const PictureIndex* IndexFor(const std::u16string& folder);
  PictureChecker() = default;
  bool Listed(const std::u16string& folder) const;
  std::u16string oldFolder_;
  std::shared_ptr<const PictureIndex> newIndex_;
  std::vector<std::unique_ptr<PictureIndex>> localIndexes_;  // other local folders met
  bool refusedFolder_ = false;  // a local folder met when no more could be listed
  PictureTally tally_;
};

}  // namespace picrelink
