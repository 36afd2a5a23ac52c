#pragma once
// Texts between the relocation commands (UTF-16 in std::u16string) and the
// wide Win32 calls (UTF-16 in wchar_t): the same code units, copied.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace picrelink::win32 {

inline std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::u16string U16(std::wstring_view text) { return {text.begin(), text.end()}; }

// The whole text of a window or control.
std::u16string WindowText(HWND window);
void SetWindowText(HWND window, std::u16string_view text);

// "\n" as "\r\n", which a multi-line edit needs to break lines.
std::wstring WithCrLf(std::u16string_view text);

// UTF-8 (as std::exception::what() carries it) as UTF-16.
std::u16string FromUtf8(std::string_view text);

}  // namespace picrelink::win32
