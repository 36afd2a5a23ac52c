#pragma once
// The level count's rules, apart from any control that shows it: what may be
// typed, what a text stands for and how it is shown and stepped. A level is
// held in hundredths (0 to 100) so that two decimals are exact; the decimal
// separator is the one that the seller's locale uses.
#include <optional>
#include <string>
#include <string_view>

namespace picrelink {

using Level = std::optional<int>;  // hundredths from 0 to 100, or no value
inline constexpr int kLevelMax = 100;

// Both "." and "," type the decimal separator.
std::u16string WithDecimalSeparator(std::u16string text, char16_t separator);

// Whether the edit may hold text: an optional leading sign, ASCII digits, at
// most one separator with at most two digits after it, and not below zero.
// The empty text and a lone sign (or separator) are allowed while typing.
bool IsAcceptableLevelText(std::u16string_view text, char16_t separator);

// The value of an acceptable text: no value for the empty text, 0 for a lone
// sign, anything above 1 counted as 1.
Level LevelFromText(std::u16string_view text, char16_t separator);

// The shortest decimal text: "1", "0", "0.5", "0.25"; no value shows empty.
std::u16string LevelToText(Level level, char16_t separator);

// steps whole units up (positive) or down, kept within 0 and 1; from no
// value any step gives 1.
Level StepLevel(Level level, int steps);

}  // namespace picrelink
