#pragma once
// Image-folder detection: which picture folder a CSV names.
#include <cstdint>
#include <string>
#include <string_view>

#include "relocation/form_values.h"

namespace picrelink {

inline constexpr std::u16string_view kPathPattern = u"src=\"\"([A-Za-z]:\\\\.*?)\"";
inline constexpr std::u16string_view kUrlPattern = u"src=\"\"(file:///[A-Za-z]:/.*?)\"";

// The template expansion of the first match of pattern in text; the empty
// text when it matches nowhere. One engine object per call.
std::u16string CollectMatches(std::u16string_view text, std::u16string_view pattern,
                              std::u16string_view templ);

// Folder of a Windows path: up to its last "\" or ":", a root keeping its "\".
std::u16string ExtractFileDir(std::u16string_view path);

// The level text as a 32-bit signed integer (decimal, or hexadecimal after
// "$", "x", "X", "0x", "0X"; leading spaces and a sign allowed). Throws
// EConvertError "'<text>' is not a valid integer value".
int32_t LevelToInt(std::u16string_view text);

// The folder that the CSV's first reference names, in path form or else in
// URL form, one level higher when the level text is above 0. Reads the level
// text (values.LevelText()) at most once and only after a reference was found.
std::u16string DetectImageFolder(std::u16string_view csvPath, const FormValues& values);

}  // namespace picrelink
