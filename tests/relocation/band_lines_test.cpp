// The status fitted into the band's lines: nothing left out unseen.
#include "relocation/session/band_lines.h"

#include <gtest/gtest.h>

#include "core/utf.h"

namespace picrelink {
namespace {

// Ten pixels a code unit, as a face of one width would give.
int TenEach(std::u16string_view line) { return static_cast<int>(line.size()) * 10; }

TEST(FitBandLines, EachLineOnOneLineOfTheBandAndTheCutsMarked) {
  const struct {
    const char* name;
    std::u16string status;
    int maxLines;
    std::u16string shown;
    bool cut;
  } rows[] = {
      {"fits", u"程序旁有 3 个\nCSV 共 71 处", 2, u"程序旁有 3 个\nCSV 共 71 处", false},
      {"a long line cut", u"CSV 中共 71 处图片引用", 2, u"CSV 中共 71…", true},
      {"blanks before the cut", u"0123456  ABCDEF", 2, u"0123456…", true},
      {"a third line left out", u"一\n二\n三", 2, u"一\n二…", true},
      {"a long last line before others", u"一\n二二二二二二二二二二二二\n三", 2,
       u"一\n二二二二二二二二二…", true},
      {"a pair of surrogates kept whole", u"01234567😀XYZ", 1, u"01234567…", true},
      {"at least one line", u"一\n二", 0, u"一…", true},
      {"nothing", u"", 2, u"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const BandLines fitted = FitBandLines(row.status, row.maxLines, 100, TenEach);
    EXPECT_EQ(ToUtf8(fitted.text), ToUtf8(row.shown));
    EXPECT_EQ(fitted.cut, row.cut);
    for (size_t start = 0, end = 0; start <= fitted.text.size(); start = end + 1) {
      end = fitted.text.find(u'\n', start);
      if (end == std::u16string::npos) end = fitted.text.size();
      EXPECT_LE(TenEach(std::u16string_view(fitted.text).substr(start, end - start)), 100);
    }
  }
}

}  // namespace
}  // namespace picrelink
