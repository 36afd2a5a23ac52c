#include "ui/path_elision.h"

#include <QStringList>

namespace picrelink::ui {

QString ElideLeadingFolders(const QString& path, QChar separator, int width,
                            const std::function<int(const QString&)>& measure) {
  if (measure(path) <= width) return path;
  const QStringList parts = path.split(separator);
  // A root such as D:\ or / has nothing to drop.
  if (parts.size() < 2 || parts.last().isEmpty()) return path;

  const QString ellipsis = QStringLiteral("...");
  const qsizetype last = parts.size() - 1;
  // Keep parts[0], drop parts[1..dropped], keep the rest.
  for (qsizetype dropped = 1; dropped < last; ++dropped) {
    const QString candidate =
        parts.first() + separator + ellipsis + separator + parts.mid(dropped + 1).join(separator);
    if (measure(candidate) <= width) return candidate;
  }
  const QString tail = ellipsis + separator + parts.at(last);
  if (measure(tail) <= width) return tail;
  return parts.at(last);
}

}  // namespace picrelink::ui
