#pragma once
// A UTF-16 text of the command layer as the window's tests compare it.
#include <QString>
#include <QStringView>
#include <string_view>

namespace picrelink::ui::test {

inline QString Q(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

}  // namespace picrelink::ui::test
