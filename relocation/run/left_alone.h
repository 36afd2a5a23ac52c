#pragma once
// What the run says about the references it leaves alone (other folders than
// the old and the new one): those whose folder on this machine does not exist
// (their pictures cannot load), and those that name the old folder's
// pictures in the other kind of folder (a drive folder where the old one is
// a local folder a run here wrote, or the reverse): both need a look.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "relocation/references/reference_spelling.h"

namespace picrelink {

struct LeftAloneTally {
  int64_t inMissingFolders = 0;
  std::vector<std::u16string> missingFolders;  // the first few, as the report names folders
  int64_t inOtherKind = 0;
  std::vector<std::u16string> otherKindFolders;
};

class LeftAloneCheck {
 public:
  explicit LeftAloneCheck(std::u16string_view oldFolder);
  // A reference left alone; folder: the folder the report names for it.
  void Take(const ParsedReference& reference, std::u16string_view folder, LeftAloneTally& tally);

 private:
  bool FolderExists(const std::u16string& folder);

  std::u16string oldLast_;  // the old folder's last component, ASCII letters folded
  bool oldLocal_;
  std::unordered_map<std::u16string, bool> exists_;  // folders looked at, bounded
};

}  // namespace picrelink
