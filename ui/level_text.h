#pragma once
// The level count's rules, apart from the control that shows it. A level is
// held in hundredths (0 to 100) so that two decimals are exact.
#include <QChar>
#include <QString>
#include <optional>

namespace picrelink::ui {

using Level = std::optional<int>;  // hundredths from 0 to 100, or no value
inline constexpr int kLevelMax = 100;

// Both "." and "," type the decimal separator.
QString WithDecimalSeparator(QString text, QChar separator);

// Whether the edit may hold text: an optional leading sign, digits, at most
// one separator with at most two digits after it, and not below zero. The
// empty text and a lone sign (or separator) are allowed while typing.
bool IsAcceptableLevelText(const QString& text, QChar separator);

// The value of an acceptable text: no value for the empty text, 0 for a lone
// sign, anything above 1 counted as 1.
Level LevelFromText(const QString& text, QChar separator);

// The shortest decimal text: "1", "0", "0.5", "0.25"; no value shows empty.
QString LevelToText(Level level, QChar separator);

// steps whole units up (positive) or down, kept within 0 and 1; from no
// value any step gives 1.
Level StepLevel(Level level, int steps);

}  // namespace picrelink::ui
