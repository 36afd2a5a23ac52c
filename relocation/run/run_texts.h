#pragma once
// The run's own messages in the seller's language. Errors carry UTF-8 text;
// what a message box shows is UTF-16.
#include <string>
#include <string_view>

#include "relocation/language.h"

namespace picrelink {

// No CSV (btn1 is empty): nothing to adjust.
std::string NoCsvMessage(Language language);
// The old folder (btn2) is empty: the CSV names no picture folder.
std::string NoOldFolderMessage(Language language);
// The old folder is only a separator.
std::string NotAFolderMessage(Language language, std::u16string_view folder);
// The new folder (btn3) is empty.
std::string EmptyNewFolderMessage(Language language);
// Nothing to change: the old folder occurs nowhere in the CSV.
std::u16string FolderNotFoundMessage(Language language, std::u16string_view folder);
// Nothing to change: the old and the new folder are the same.
std::u16string SameFolderMessage(Language language, std::u16string_view folder);

}  // namespace picrelink
