#pragma once
// What the last stage decided for a reference, remembered by the reference's
// folder part (its value up to and with the last separator) for the next
// references of the same folder: most references of a listing name one of
// a few folders, and once one of them is decided, the next ones cost a
// comparison and a picture lookup instead of a parse and a string per
// reference.
//
// A verdict holds for every value with the same folder part only when no
// decision reads the name behind it: the caller remembers one only then
// (see RespellingPass), and SplitName refuses names that could change a
// decision (a separator, an escape, a fragment or query, a character
// reference, a drive's colon). A name without them never changes how a
// value parses: the spelling heads end in a separator or a drive's colon,
// and the path's escapes, backslashes and cut are read from such units only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "relocation/census/picture_check.h"

namespace picrelink {

struct FolderVerdict {
  // The counts that one more reference of the folder adds. The lists of
  // example folders are not repeated: a folder already named is not named
  // again.
  int64_t otherFolderReferences = 0;
  int64_t inMissingFolders = 0;
  int64_t inOtherKind = 0;
  enum class Picture { None, NotChecked, Look };
  Picture picture = Picture::None;
  // For Look: where the picture is looked for, the name below folder.
  const PictureIndex* index = nullptr;
  PictureIndex::Folder folder;
};

class FolderVerdicts {
 public:
  // Where the name begins in value: behind the last separator. False when
  // there is none, the name is empty, or it holds a unit that a verdict may
  // depend on.
  static bool SplitName(std::u16string_view value, size_t& nameStart);

  // The verdict for a folder part, or null. The last one found is tried
  // first.
  const FolderVerdict* Find(std::u16string_view folderPart);
  // A fresh verdict for folderPart in place of the oldest one; it counts
  // once Keep is called.
  FolderVerdict& Begin(std::u16string_view folderPart);
  void Keep();

 private:
  static constexpr size_t kRemembered = 8;
  struct Slot {
    std::u16string folderPart;
    FolderVerdict verdict;
    bool kept = false;
  };
  std::array<Slot, kRemembered> slots_;
  size_t last_ = 0;  // the slot of the last hit or verdict begun
  size_t next_ = 0;  // the slot the next verdict takes, round the array
};

}  // namespace picrelink
