#pragma once
#include <QFont>

namespace picrelink::ui {

// The window's font: 宋体 at 15 pixels, falling back to a CJK font that the
// system has, so that no text shows as empty boxes.
QFont WindowFont();

}  // namespace picrelink::ui
