#include "relocation/error_text.h"

namespace picrelink {

std::u16string ErrorBoxText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.') text.push_back(u'.');
  return text;
}

std::u16string ErrorBoxCaption(std::u16string_view programPath) {
  const size_t slash = programPath.find_last_of(u"/\\");
  std::u16string_view name =
      slash == std::u16string_view::npos ? programPath : programPath.substr(slash + 1);
  name = name.substr(0, name.find(u'.'));
  std::u16string caption(name);
  for (size_t i = 1; i < caption.size(); ++i) {
    if (caption[i] >= u'A' && caption[i] <= u'Z')
      caption[i] = static_cast<char16_t>(caption[i] + 32);
  }
  return caption;
}

}  // namespace picrelink
