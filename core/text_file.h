#pragma once
// The CSV's file format: UTF-16LE code units behind the byte-order mark FF FE.
#include <string>
#include <string_view>

namespace picrelink {

// The text of the file; the empty text for an empty file name (no file is
// touched), a file shorter than two bytes or without the mark FF FE. An odd
// last byte is not part of the text. Throws Error "Cannot open file ..." when
// the file cannot be opened, also for a file of 2 GiB or more. Other readers
// may open the file while it is read; a writer's hold is waited out for a
// while (platform::Sharing::ReadersAllowed).
std::u16string ReadUtf16File(std::u16string_view fileName);

// Writes FF FE and the text's code units over the file, safely: the file
// holds either its old bytes or exactly the new ones. Throws Error "Cannot
// create file ..." or "Stream write error".
void WriteUtf16File(std::u16string_view text, std::u16string_view fileName);

}  // namespace picrelink
