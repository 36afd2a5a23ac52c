#pragma once
// Fitting a long path into a narrow box by dropping its leading folders.
#include <QChar>
#include <QString>
#include <functional>

namespace picrelink::ui {

// The path itself when measure says it fits into width; otherwise the first
// shorter form that fits, dropping the folders after the first component one
// at a time and then the first component: D:\pics\shop\item gives
// D:\...\shop\item, D:\...\item, ...\item and at last item, which is returned
// even when it is still too wide.
QString ElideLeadingFolders(const QString& path, QChar separator, int width,
                            const std::function<int(const QString&)>& measure);

}  // namespace picrelink::ui
