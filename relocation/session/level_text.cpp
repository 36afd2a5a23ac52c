#include "relocation/session/level_text.h"

#include <algorithm>

namespace picrelink {
namespace {

struct ParsedLevel {
  bool negative = false;
  std::u16string_view whole;     // digits before the separator
  std::u16string_view fraction;  // digits after it
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view Digits(std::u16string_view text, size_t& i) {
  const size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return text.substr(start, i - start);
}

std::optional<ParsedLevel> Parse(std::u16string_view text, char16_t separator) {
  ParsedLevel parsed;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    parsed.negative = text[i] == u'-';
    ++i;
  }
  parsed.whole = Digits(text, i);
  if (i < text.size() && text[i] == separator) {
    ++i;
    parsed.fraction = Digits(text, i);
  }
  if (i != text.size()) return std::nullopt;
  return parsed;
}

bool AllZeros(std::u16string_view digits) {
  return std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c == u'0'; });
}

}  // namespace

std::u16string WithDecimalSeparator(std::u16string text, char16_t separator) {
  for (char16_t& c : text) {
    if (c == u'.' || c == u',') c = separator;
  }
  return text;
}

bool IsAcceptableLevelText(std::u16string_view text, char16_t separator) {
  const std::optional<ParsedLevel> parsed = Parse(text, separator);
  if (!parsed || parsed->fraction.size() > 2) return false;
  return !parsed->negative || (AllZeros(parsed->whole) && AllZeros(parsed->fraction));
}

Level LevelFromText(std::u16string_view text, char16_t separator) {
  if (text.empty()) return std::nullopt;
  const std::optional<ParsedLevel> parsed = Parse(text, separator);
  if (!parsed || parsed->negative) return 0;
  if (!AllZeros(parsed->whole)) return kLevelMax;
  // The first two decimals, a missing one counting as 0.
  int hundredths = 0;
  for (size_t i = 0; i < 2; ++i) {
    hundredths = hundredths * 10 + (i < parsed->fraction.size() ? parsed->fraction[i] - u'0' : 0);
  }
  return hundredths;
}

std::u16string LevelToText(Level level, char16_t separator) {
  if (!level) return std::u16string();
  const int value = std::clamp(*level, 0, kLevelMax);
  std::u16string text(1, static_cast<char16_t>(u'0' + value / 100));
  const int fraction = value % 100;
  if (fraction != 0) {
    text += separator;
    text += static_cast<char16_t>(u'0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char16_t>(u'0' + fraction % 10);
  }
  return text;
}

Level StepLevel(Level level, int steps) {
  if (!level) return kLevelMax;
  const long long next = static_cast<long long>(*level) + static_cast<long long>(steps) * kLevelMax;
  return static_cast<int>(std::clamp<long long>(next, 0, kLevelMax));
}

}  // namespace picrelink
