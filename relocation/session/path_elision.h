#pragma once
// Fitting a long path into a narrow box by dropping its leading folders, as
// the folder browser's current-folder box shows it.
#include <functional>
#include <string>
#include <string_view>

namespace picrelink {

// The path itself when measure says it fits into width; otherwise the first
// shorter form that fits, dropping the folders after the first component one
// at a time and then the first component: D:\pics\shop\item gives
// D:\...\shop\item, D:\...\item, ...\item and at last item, which is returned
// even when it is still too wide.
std::u16string ElideLeadingFolders(std::u16string_view path, char16_t separator, int width,
                                   const std::function<int(std::u16string_view)>& measure);

}  // namespace picrelink
