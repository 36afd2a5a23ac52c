#pragma once
// The open-file dialog for the CSV: the system's current one (the common
// item dialog), or the older one where the system lacks it.
#include <optional>
#include <string>
#include <string_view>

#include "win32/win32_text.h"

namespace picrelink::win32 {

// Asks for one file with the CSV filters, owned by owner and placed on its
// monitor: centred across it, with a third of the free height above. No
// check that the chosen file or its folder exists, so a typed name comes
// back also when there is no such file. initialName: the file name box's
// first text; its folder, when it exists, is where the dialog opens. The
// full path of the chosen file, or nothing when the dialog was cancelled
// or failed (a path of more than 259 characters fails, as the older dialog
// does). COM must be initialised on the calling thread.
std::optional<std::u16string> ChooseOpenFile(HWND owner, std::u16string_view initialName);

// The same through the older dialog alone.
std::optional<std::u16string> ChooseOpenFileClassic(HWND owner, std::u16string_view initialName);

}  // namespace picrelink::win32
