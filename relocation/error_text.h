#pragma once
// How the error box presents an error; shared by the window and the
// command-line companion so both show the same text.
#include <string>
#include <string_view>

namespace picrelink {

// The message with one "." appended when it is not empty and its last
// character's code is greater than that of ".".
std::u16string ErrorBoxText(std::u16string_view message);

// The program title from the program file's path: the name without its
// folder, cut before its first ".", every ASCII capital after the first
// character lowered (VovUvor.exe gives Vovuvor).
std::u16string ErrorBoxCaption(std::u16string_view programPath);

}  // namespace picrelink
