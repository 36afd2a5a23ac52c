#include "relocation/run_summary.h"

#include <string>

#include "core/utf.h"

namespace picrelink {
namespace {

std::u16string Number(int64_t n) { return FromUtf8(std::to_string(n)); }

// The first few texts of a list, for a line that names examples.
std::u16string Examples(const std::vector<std::u16string> &texts) {
  std::u16string out;
  for (size_t i = 0; i < texts.size() && i < 3; ++i) {
    if (i > 0) out += u"、";
    out += texts[i];
  }
  if (texts.size() > 3) out += u"……";
  return out;
}

}  // namespace

std::u16string SuccessMessage(const RunReport &report) {
  std::u16string text(kSuccessMessage);
  text += u"\n已改写路径形式 " + Number(report.occurrences[kPathForm]) + u" 处，网址形式 " +
          Number(report.occurrences[kUrlForm]) + u" 处";
  if (report.respelledTotal > 0) {
    text += u"，另有其他写法的网址 " + Number(report.respelledTotal) + u" 处";
  }
  text += u"。";
  if (report.leftovers > 0) {
    text += u"\n注意：仍有 " + Number(report.leftovers) + u" 处引用指向原目录，未能改写（" +
            Examples(report.leftoverExamples) + u"）。";
  }
  if (report.otherFolderReferences > 0) {
    text += u"\n注意：另有 " + Number(report.otherFolderReferences) +
            u" 处引用指向其他目录，未作改动（" + Examples(report.otherFolders) + u"）。";
  }
  if (report.pictures) {
    const PictureTally &p = *report.pictures;
    text += u"\n新目录下找到图片 " + Number(p.found + p.foundIgnoringCase) + u" 张";
    if (p.missing > 0) {
      text += u"，缺少 " + Number(p.missing) + u" 张（" + Examples(p.missingExamples) + u"）";
    }
    text += u"。";
  }
  return text;
}

}  // namespace picrelink
