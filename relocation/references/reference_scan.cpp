#include "relocation/references/reference_scan.h"

#include <algorithm>

namespace picrelink {

namespace scan_detail {

size_t TailBeginningHead(std::u16string_view text) {
  for (size_t k = std::min(text.size(), kSrcHead.size() - 1); k > 0; --k) {
    if (text.substr(text.size() - k) == kSrcHead.substr(0, k)) return k;
  }
  return 0;
}

}  // namespace scan_detail

template class BasicReferenceScanner<std::function<int(std::u16string_view head)>,
                                     std::function<bool(const FoundReference&)>>;

void ScanReferences(std::u16string_view text, const ReferenceScanner::Classifier& classify,
                    const ReferenceScanner::Sink& sink) {
  ReferenceScanner scanner(classify, sink);
  scanner.Feed(text);
  scanner.Finish();
}

}  // namespace picrelink
