// Small rules whose every case matters: the error box's text and caption,
// the backup's name, and the texts each form's pass looks for. Each table
// holds the cases that a plausible wrong rule gets wrong.
#include <gtest/gtest.h>

#include <string>

#include "core/utf.h"
#include "relocation/error_text.h"
#include "relocation/references/reference_forms.h"
#include "relocation/run/backup.h"

namespace picrelink {
namespace {

TEST(ErrorBoxText, AddsAFullStopOnlyAfterACharacterAboveIt) {
  const struct {
    std::u16string message, shown;
  } cases[] = {
      {u"", u""},
      {u"Cannot open file", u"Cannot open file."},
      {u"ends.", u"ends."},
      {u"ends!", u"ends!"},        // "!" is below "."
      {u"(1 of 2)", u"(1 of 2)"},  // ")" is below "." too
      {u"a-", u"a-"},              // so is "-"
      {u"\"quoted\"", u"\"quoted\""},
      {u"trailing ", u"trailing "},
      {u"a/", u"a/."},  // "/" is above "."
      {u"2", u"2."},
      {u"why?", u"why?."},
      {u"未作改动。", u"未作改动。."},  // any character beyond ASCII is above "."
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(ErrorBoxText(c.message)), ToUtf8(c.shown)) << ToUtf8(c.message);
  }
}

TEST(ErrorBoxCaption, NameCutAtItsFirstDotWithLaterCapitalsLowered) {
  const struct {
    std::u16string path, caption;
  } cases[] = {
      {u"C:\\工具\\VovUvor.exe", u"Vovuvor"},
      {u"C:\\dir.v2\\PicRelink.v2.exe", u"Picrelink"},  // the first "." of the name, not the last
      {u"/opt/tools/picrelink", u"picrelink"},
      {u"ABC.EXE", u"Abc"},
      {u"D:\\.hidden.exe", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(ErrorBoxCaption(c.path)), ToUtf8(c.caption)) << ToUtf8(c.path);
  }
}

TEST(BackupName, TakesThePlaceOfTheExtensionAndNumbersLaterOnes) {
  const struct {
    std::u16string csv;
    int number;
    std::u16string backup;
  } cases[] = {
      {u"D:\\data\\goods.csv", 1, u"D:\\data\\goods_备份.csv"},
      {u"D:\\data\\goods.txt", 1, u"D:\\data\\goods_备份.csv"},  // never goods_备份.txt
      {u"D:\\data\\DATA.CSV", 1, u"D:\\data\\DATA_备份.csv"},    // the suffix as written
      {u"D:\\data\\goods", 1, u"D:\\data\\goods_备份.csv"},
      {u"D:\\a.b\\goods", 1, u"D:\\a_备份.csv"},  // the last "." anywhere in the path
      {u"D:\\data\\goods.csv", 2, u"D:\\data\\goods_备份(2).csv"},
      {u"/srv/商品.csv", 12, u"/srv/商品_备份(12).csv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(BackupName(c.csv, c.number)), ToUtf8(c.backup)) << ToUtf8(c.csv);
  }
}

TEST(FindAndReplacementTexts, EachFormAsItsPassNeedsIt) {
  const struct {
    std::u16string oldFolder, newFolder;
    std::u16string pathFind, pathReplacement, urlFind, urlReplacement;
  } cases[] = {
      {u"D:\\old\\shop\\item\\", u"F:\\new\\my item", u"D:\\old\\shop\\item", u"F:\\new\\my item",
       u"file:///D:/old/shop/item", u"file:///F:/new/my%20item"},
      // The old folder's spaces are encoded as the URL form writes them.
      {u"D:\\my old\\item", u"F:\\n", u"D:\\my old\\item", u"F:\\n", u"file:///D:/my%20old/item",
       u"file:///F:/n"},
      // A drive root keeps its separator on both sides.
      {u"D:\\", u"F:\\new", u"D:\\", u"F:\\new\\", u"file:///D:/", u"file:///F:/new/"},
      {u"d:", u"F:\\", u"d:\\", u"F:\\", u"file:///d:/", u"file:///F:/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.oldFolder) + " -> " + ToUtf8(c.newFolder));
    const auto texts = FindAndReplacementTexts(c.oldFolder, c.newFolder);
    EXPECT_EQ(ToUtf8(texts[kPathForm].find), ToUtf8(c.pathFind));
    EXPECT_EQ(ToUtf8(texts[kPathForm].replacement), ToUtf8(c.pathReplacement));
    EXPECT_EQ(ToUtf8(texts[kUrlForm].find), ToUtf8(c.urlFind));
    EXPECT_EQ(ToUtf8(texts[kUrlForm].replacement), ToUtf8(c.urlReplacement));
  }
}

}  // namespace
}  // namespace picrelink
