#pragma once
// The level count's rules (relocation/session/level_text.h) over Qt's strings.
#include <QChar>
#include <QString>

#include "relocation/session/level_text.h"

namespace picrelink::ui {

using picrelink::kLevelMax;
using picrelink::Level;
using picrelink::StepLevel;

QString WithDecimalSeparator(const QString& text, QChar separator);
bool IsAcceptableLevelText(const QString& text, QChar separator);
Level LevelFromText(const QString& text, QChar separator);
QString LevelToText(Level level, QChar separator);

}  // namespace picrelink::ui
