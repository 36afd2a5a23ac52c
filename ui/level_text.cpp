#include "ui/level_text.h"

namespace picrelink::ui {

QString WithDecimalSeparator(const QString& text, QChar separator) {
  return QString::fromStdU16String(
      picrelink::WithDecimalSeparator(text.toStdU16String(), separator.unicode()));
}

bool IsAcceptableLevelText(const QString& text, QChar separator) {
  return picrelink::IsAcceptableLevelText(text.toStdU16String(), separator.unicode());
}

Level LevelFromText(const QString& text, QChar separator) {
  return picrelink::LevelFromText(text.toStdU16String(), separator.unicode());
}

QString LevelToText(Level level, QChar separator) {
  return QString::fromStdU16String(picrelink::LevelToText(level, separator.unicode()));
}

}  // namespace picrelink::ui
