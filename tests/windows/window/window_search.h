#pragma once
// Finding and reading windows from outside them: another process's window,
// or a box that this process shows on another thread.
#include <string>
#include <vector>

#include "win32/win32_text.h"

namespace picrelink::win32::test {

// The text of a window, also of another process or of a thread that is
// inside a modal loop; "<no answer>" when it does not answer in 5 s.
std::u16string TextOf(HWND window);

std::wstring ClassOf(HWND window);

// The shown top-level windows of the process with id whose class is kind.
std::vector<HWND> WindowsOf(DWORD processId, const std::wstring& kind);

// The longest text among a box's labels: its message.
std::u16string BoxMessage(HWND box);

// Whether one of a dialog's labels reads text.
bool HasLabel(HWND dialog, const std::u16string& text);

}  // namespace picrelink::win32::test
