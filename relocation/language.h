#pragma once
// The language of the program's own texts: Chinese for a seller whose system
// speaks it, English otherwise. The fixed texts of the window and the file
// messages ("调整成功！", "Cannot open file ...") are the same in both.
#include <string_view>

namespace picrelink {

enum class Language { Chinese, English };

// From a locale name as LANG, LC_ALL or LC_MESSAGES hold it (zh_CN.UTF-8,
// zh_TW, zh): Chinese for any zh, English for anything else, the empty
// name included.
Language LanguageOfLocale(std::string_view localeName);

}  // namespace picrelink
