#include "ui/window_font.h"

#include <QStringList>

namespace picrelink::ui {

QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPixelSize(15);
  font.setWeight(QFont::Normal);
  font.setStyle(QFont::StyleNormal);
  return font;
}

}  // namespace picrelink::ui
