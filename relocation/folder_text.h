#pragma once
// Trimming the trailing separator of a folder value.
#include <string>
#include <string_view>

namespace picrelink {

// The folder value without one trailing separator. On Windows that is "\".
// On POSIX systems a folder value holds either a local path ("/") or a
// Windows folder text taken from the CSV ("\"), so one trailing "/" or "\"
// goes.
std::u16string TrimFolderSeparator(std::u16string_view folder);

}  // namespace picrelink
