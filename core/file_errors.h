#pragma once
// The messages of failed file operations, shared by the platform units and
// the text-file functions so that every file error reads the same.
#include <string>
#include <string_view>

#include "core/error.h"

namespace picrelink::platform {

// The message of a write that could not be completed (disk full, I/O error).
inline constexpr const char* kStreamWriteError = "Stream write error";
// The message of a read that failed after the file was opened.
inline constexpr const char* kStreamReadError = "Stream read error";

// Removes the trailing blanks, control characters and full stops that the
// system puts after its error texts ("Access is denied.\r\n").
std::string TrimErrorText(std::string_view text);

// "Cannot open file "<absolute path>". <reason>"
Error OpenFileError(std::u16string_view path, std::string_view reason);
// "Cannot create file "<absolute path>". <reason>"
Error CreateFileError(std::u16string_view path, std::string_view reason);

}  // namespace picrelink::platform
