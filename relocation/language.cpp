#include "relocation/language.h"

namespace picrelink {

Language LanguageOfLocale(std::string_view localeName) {
  const bool chinese = localeName.size() >= 2 && (localeName[0] == 'z' || localeName[0] == 'Z') &&
                       (localeName[1] == 'h' || localeName[1] == 'H') &&
                       (localeName.size() == 2 || localeName[2] == '_' || localeName[2] == '-' ||
                        localeName[2] == '.' || localeName[2] == '@');
  return chinese ? Language::Chinese : Language::English;
}

}  // namespace picrelink
