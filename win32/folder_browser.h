#pragma once
// The folder browser: a modal dialog over the shell's folder tree that opens
// on an initial path and, on OK, gives the file-system path of the folder
// then selected.
#include <optional>
#include <string>
#include <string_view>

#include "win32/win32_text.h"

namespace picrelink::win32 {

// Shows the browser over owner (which takes no input meanwhile) and returns
// when the user leaves it: nothing for Cancel or the close box; for OK the
// selected entry's path, without a trailing "\" except at a drive's root, or
// the empty text when nothing is selected or the entry has no file-system
// path. The initial path, passed unchanged: the empty text selects the
// desktop, an existing folder is selected and the tree opened down to it,
// anything else selects nothing. Throws std::runtime_error when the dialog
// cannot be made.
std::optional<std::u16string> BrowseForFolder(HWND owner, std::u16string_view initialPath);

// The control IDs inside the browser, for those that read it from outside.
enum FolderBrowserControl : int {
  kFolderBrowserLabel = 100,
  kFolderBrowserBox = 101,
  kFolderBrowserTree = 102,
  kFolderBrowserGrip = 103,
};

}  // namespace picrelink::win32
