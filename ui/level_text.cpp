#include "ui/level_text.h"

#include <algorithm>

namespace picrelink::ui {
namespace {

struct ParsedLevel {
  bool negative = false;
  QString whole;     // digits before the separator
  QString fraction;  // digits after it
};

std::optional<ParsedLevel> Parse(const QString& text, QChar separator) {
  ParsedLevel parsed;
  qsizetype i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    parsed.negative = text[i] == u'-';
    ++i;
  }
  while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) parsed.whole += text[i++];
  if (i < text.size() && text[i] == separator) {
    ++i;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
      parsed.fraction += text[i++];
    }
  }
  if (i != text.size()) return std::nullopt;
  return parsed;
}

bool AllZeros(const QString& digits) {
  return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c == u'0'; });
}

}  // namespace

QString WithDecimalSeparator(QString text, QChar separator) {
  for (QChar& c : text) {
    if (c == u'.' || c == u',') c = separator;
  }
  return text;
}

bool IsAcceptableLevelText(const QString& text, QChar separator) {
  const std::optional<ParsedLevel> parsed = Parse(text, separator);
  if (!parsed || parsed->fraction.size() > 2) return false;
  return !parsed->negative || (AllZeros(parsed->whole) && AllZeros(parsed->fraction));
}

Level LevelFromText(const QString& text, QChar separator) {
  if (text.isEmpty()) return std::nullopt;
  const std::optional<ParsedLevel> parsed = Parse(text, separator);
  if (!parsed || parsed->negative) return 0;
  if (!AllZeros(parsed->whole)) return kLevelMax;
  const QString hundredths = (parsed->fraction + QStringLiteral("00")).left(2);
  return hundredths.toInt();
}

QString LevelToText(Level level, QChar separator) {
  if (!level) return QString();
  const int value = std::clamp(*level, 0, kLevelMax);
  QString text = QString::number(value / 100);
  int fraction = value % 100;
  if (fraction != 0) {
    QString digits = QStringLiteral("%1").arg(fraction, 2, 10, QLatin1Char('0'));
    if (digits.endsWith(u'0')) digits.chop(1);
    text += separator + digits;
  }
  return text;
}

Level StepLevel(Level level, int steps) {
  if (!level) return kLevelMax;
  const long long next = static_cast<long long>(*level) + static_cast<long long>(steps) * kLevelMax;
  return static_cast<int>(std::clamp<long long>(next, 0, kLevelMax));
}

}  // namespace picrelink::ui
