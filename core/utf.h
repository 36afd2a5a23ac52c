#pragma once
// Conversions between the system's UTF-16 texts and UTF-8 (file names on
// POSIX, messages, console output). Unpaired surrogates and invalid UTF-8
// become U+FFFD; nothing else is changed.
#include <string>
#include <string_view>

namespace picrelink {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Appends one code point (at most U+10FFFF) as one or two UTF-16 code units.
void AppendUtf16(std::u16string& out, char32_t codePoint);

}  // namespace picrelink
