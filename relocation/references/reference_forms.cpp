#include "relocation/references/reference_forms.h"

#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/references/detection.h"

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

std::u16string EscapeUrlPath(std::u16string_view path) {
  std::u16string out;
  out.reserve(path.size());
  for (const char16_t c : path) {
    switch (c) {
      case u'%':
        out += u"%25";
        break;
      case u' ':
        out += u"%20";
        break;
      case u'#':
        out += u"%23";
        break;
      case u'?':
        out += u"%3F";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::u16string LoadableUrlFolderText(std::u16string_view folder) {
  std::u16string path = TrimTrailingChar(TrimFolderSeparator(folder), u'/');
  for (char16_t& c : path) {
    if (c == u'\\') c = u'/';
  }
  return u"file:///" + EscapeUrlPath(path);
}

bool IsDriveRoot(std::u16string_view folder) {
  return (folder.size() == 2 ||
          (folder.size() == 3 && (folder[2] == u'\\' || folder[2] == u'/'))) &&
         IsAsciiLetter(folder[0]) && folder[1] == u':';
}

std::array<FormTexts, kFormCount> FindAndReplacementTexts(std::u16string_view oldFolder,
                                                          std::u16string_view newFolder) {
  std::array<FormTexts, kFormCount> texts;
  const bool root = IsDriveRoot(oldFolder);
  // The separator a path-form replacement ends in: that of the new folder's
  // kind (a Windows path, or a local one).
  const bool windowsPath = (newFolder.size() >= 2 && newFolder[1] == u':') ||
                           newFolder.find(u'\\') != std::u16string_view::npos;
  for (size_t form = 0; form < kFormCount; ++form) {
    const ReferenceForm& row = kReferenceForms[form];
    texts[form].find = row.folderText(oldFolder);
    texts[form].replacement =
        form == kUrlForm ? LoadableUrlFolderText(newFolder) : row.folderText(newFolder);
    if (!root) continue;
    texts[form].find += row.driveSeparator;
    const char16_t separator =
        form == kPathForm ? (windowsPath ? u'\\' : platform::kLocalSeparator) : u'/';
    if (texts[form].replacement.empty() || texts[form].replacement.back() != separator) {
      texts[form].replacement += separator;
    }
  }
  return texts;
}

bool FitsForm(const ReferenceForm& form, std::u16string_view value) {
  const size_t p = form.prefix.size();
  return value.size() >= p + 3 && value.substr(0, p) == form.prefix && IsAsciiLetter(value[p]) &&
         value[p + 1] == u':' && value[p + 2] == form.driveSeparator;
}

}  // namespace picrelink
