#include "relocation/folder_text.h"

#include "core/path_helpers.h"
#include "core/platform.h"

namespace picrelink {

std::u16string TrimFolderSeparator(std::u16string_view folder) {
  if (platform::kLocalSeparator != u'\\' && !folder.empty() &&
      folder.back() == platform::kLocalSeparator) {
    return TrimTrailingChar(folder, platform::kLocalSeparator);
  }
  return TrimTrailingChar(folder, u'\\');
}

}  // namespace picrelink
