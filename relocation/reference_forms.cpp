#include "relocation/reference_forms.h"

#include "core/path_helpers.h"
#include "relocation/detection.h"
#include "relocation/folder_text.h"

namespace picrelink {
namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

std::u16string PathFolderOf(std::u16string_view capture, bool oneHigher) {
  std::u16string folder = ExtractFileDir(capture);
  if (oneHigher) folder = ExtractFileDir(folder);
  return folder;
}

std::u16string UrlFolderOf(std::u16string_view capture, bool oneHigher) {
  std::u16string url = UrlParentDir(capture);
  if (oneHigher) url = UrlParentDir(url);
  return FileUrlToPath(url);
}

std::u16string PathFolderText(std::u16string_view folder) { return TrimFolderSeparator(folder); }

// From the path form's text: one trailing "/" off as well, then file:///.
std::u16string UrlFolderText(std::u16string_view folder) {
  return PathToFileUrl(TrimTrailingChar(TrimFolderSeparator(folder), u'/'));
}

}  // namespace

const std::array<ReferenceForm, kFormCount> kReferenceForms = {{
    {"path", kPathPattern, u"", u'\\', PathFolderOf, PathFolderText},
    {"url", kUrlPattern, u"file:///", u'/', UrlFolderOf, UrlFolderText},
}};

bool FitsForm(const ReferenceForm &form, std::u16string_view value) {
  const size_t p = form.prefix.size();
  return value.size() >= p + 3 && value.substr(0, p) == form.prefix && IsAsciiLetter(value[p]) &&
         value[p + 1] == u':' && value[p + 2] == form.driveSeparator;
}

}  // namespace picrelink
