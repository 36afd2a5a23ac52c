#pragma once
// The messages of failed file operations, shared by the platform units and
// the text-file functions so that every file error reads the same.
#include <string>
#include <string_view>

#include "core/error.h"

namespace picrelink::platform {

// The essential text of a write that could not be completed (disk full, I/O
// error); every write failure message starts with it.
inline constexpr const char* kStreamWriteError = "Stream write error";
// The essential text of a read that failed after the file was opened.
inline constexpr const char* kStreamReadError = "Stream read error";

// Removes the trailing blanks, control characters and full stops that the
// system puts after its error texts ("Access is denied.\r\n").
std::string TrimErrorText(std::string_view text);

// "Cannot open file "<absolute path>". <reason>"
Error OpenFileError(std::u16string_view path, std::string_view reason);
// "Cannot create file "<absolute path>". <reason>"
Error CreateFileError(std::u16string_view path, std::string_view reason);

// A write, flush or rename that failed before the new content took the
// file's place: "Stream write error. The file "<absolute path>" was left
// unchanged. <reason>". The user must learn that the old content is intact.
Error StreamWriteError(std::u16string_view path, std::string_view reason);
// A read that failed part-way: "Stream read error. The file "<absolute
// path>" could not be read and was left unchanged. <reason>".
Error StreamReadError(std::u16string_view path, std::string_view reason);
// The new content took the file's place but the folder could not be flushed,
// so a system crash might still bring the old content back: the file is
// written, yet success cannot be claimed.
Error UnconfirmedDurabilityError(std::u16string_view path, std::string_view reason);

}  // namespace picrelink::platform
