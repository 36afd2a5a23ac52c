#include "relocation/references/csv_encoding.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/error.h"
#include "core/utf.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

using test::TempDir;
using test::Utf16FileBytes;
using test::WriteBytes;

// The text's code units without a byte-order mark.
std::string Utf16LeBytes(std::u16string_view text) { return Utf16FileBytes(text).substr(2); }

std::string Utf16BeBytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xFF));
  }
  return bytes;
}

const std::string kGbkBaobei = "\xB1\xA6\xB1\xB4";                    // 宝贝 in GBK
const std::string kGbkRow = "\xC9\xCC\xC6\xB7,\xBC\xDB\xB8\xF1\r\n";  // 商品,价格 in GBK

TEST(SniffCsvBytes, ClassifiesEachKindOfText) {
  struct Case {
    const char* what;
    std::string bytes;
    bool complete;
    CsvEncoding expected;
  };
  const std::string row = ToUtf8(u"\"宝贝\",12.5\r\n");
  const std::string bao = ToUtf8(u"宝");  // E5 AE 9D
  std::string asciiWithStrayZero(200, 'a');
  asciiWithStrayZero[101] = '\0';
  const Case cases[] = {
      {"no bytes", "", true, CsvEncoding::Empty},
      {"FF FE alone", "\xFF\xFE", true, CsvEncoding::Empty},
      {"FE FF alone", "\xFE\xFF", true, CsvEncoding::Empty},
      {"EF BB BF alone", "\xEF\xBB\xBF", true, CsvEncoding::Empty},
      {"FF FE and text", Utf16FileBytes(u"\"宝贝\",1\r\n"), true, CsvEncoding::Utf16Le},
      {"FF FE and one odd byte", "\xFF\xFE\x41", true, CsvEncoding::Utf16Le},
      {"FF FE at the start of a longer file", "\xFF\xFE", false, CsvEncoding::Utf16Le},
      {"FE FF and text", "\xFE\xFF" + Utf16BeBytes(u"宝贝,1"), true, CsvEncoding::Utf16Be},
      {"EF BB BF and UTF-8", "\xEF\xBB\xBF" + row, true, CsvEncoding::Utf8Bom},
      {"EF BB BF decides even before invalid UTF-8", "\xEF\xBB\xBF" + kGbkBaobei, true,
       CsvEncoding::Utf8Bom},
      {"UTF-16LE without mark", Utf16LeBytes(u"\"宝贝\",12.5\r\n"), true,
       CsvEncoding::Utf16LeNoMark},
      {"UTF-16LE without mark, ASCII only", Utf16LeBytes(u"a,b\r\n"), true,
       CsvEncoding::Utf16LeNoMark},
      {"UTF-16LE without mark, mostly Chinese",
       Utf16LeBytes(u"宝贝描述宝贝描述宝贝描述宝贝描述\r\n"), true, CsvEncoding::Utf16LeNoMark},
      // U+4E00 is 00 4E: a zero at an even offset among the odd ones.
      {"UTF-16LE without mark, zero low bytes", Utf16LeBytes(u"一二三,1\r\n"), true,
       CsvEncoding::Utf16LeNoMark},
      {"UTF-16BE without mark", Utf16BeBytes(u"\"宝贝\",12.5\r\n"), true,
       CsvEncoding::Utf16BeNoMark},
      {"UTF-16BE without mark, zero low bytes", Utf16BeBytes(u"一二三,1\r\n"), true,
       CsvEncoding::Utf16BeNoMark},
      // 9D 5B 1D 8D: no zero byte and no valid UTF-8, so it cannot be told
      // from an ANSI code page.
      {"UTF-16LE without mark and without ASCII", Utf16LeBytes(u"宝贝"), true, CsvEncoding::Ansi},
      {"UTF-8", row, true, CsvEncoding::Utf8},
      {"UTF-8 of four bytes", ToUtf8(u"\U0001F600,1\r\n"), true, CsvEncoding::Utf8},
      {"UTF-8 cut by the limit", row + bao.substr(0, 2), false, CsvEncoding::Utf8},
      {"UTF-8 cut by the limit after its lead byte", row + bao.substr(0, 1), false,
       CsvEncoding::Utf8},
      {"UTF-8 cut at the end of the file", row + bao.substr(0, 2), true, CsvEncoding::Ansi},
      {"UTF-8 cut inside, not at the end", bao.substr(0, 2) + row, false, CsvEncoding::Ansi},
      {"cut sequence already invalid (E0 80)", row + "\xE0\x80", false, CsvEncoding::Ansi},
      {"overlong slash (C0 AF)", "a\xC0\xAF", true, CsvEncoding::Ansi},
      {"surrogate (ED A0 80)", "a\xED\xA0\x80", true, CsvEncoding::Ansi},
      {"beyond U+10FFFF (F4 90 80 80)", "a\xF4\x90\x80\x80", true, CsvEncoding::Ansi},
      {"GBK 宝贝", kGbkBaobei, true, CsvEncoding::Ansi},
      {"GBK row with ASCII", kGbkRow, true, CsvEncoding::Ansi},
      {"ASCII only", "\"title\",12.5\r\n", true, CsvEncoding::Ascii},
      {"ASCII with one stray zero byte", asciiWithStrayZero, true, CsvEncoding::Ascii},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SniffCsvBytes(c.bytes, c.complete), c.expected);
  }
}

TEST(SniffCsvEncoding, LooksAtTheFirst64KiBOfTheFile) {
  const size_t limit = kCsvSniffBytes;
  const std::string bao = ToUtf8(u"宝");
  struct Case {
    const char* what;
    std::string bytes;
    CsvEncoding expected;
  };
  const Case cases[] = {
      {"UTF-16LE behind FF FE", Utf16FileBytes(u"\"宝贝\",1\r\n"), CsvEncoding::Utf16Le},
      {"only the mark", "\xFF\xFE", CsvEncoding::Empty},
      {"a UTF-8 sequence across the limit", std::string(limit - 1, 'a') + bao, CsvEncoding::Utf8},
      {"a UTF-8 sequence cut one byte after the limit",
       std::string(limit - 1, 'a') + bao.substr(0, 2), CsvEncoding::Utf8},
      {"a file of exactly the limit ending in a cut sequence",
       std::string(limit - 1, 'a') + bao.substr(0, 1), CsvEncoding::Ansi},
      {"what follows the limit is not looked at", std::string(limit, 'a') + kGbkBaobei,
       CsvEncoding::Ascii},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteBytes(dir.path() / "goods.csv", c.bytes);

    EXPECT_EQ(SniffCsvEncoding(dir.File("goods.csv")), c.expected);
  }
}

TEST(SniffCsvEncoding, MissingFileRaisesTheOpenError) {
  TempDir dir;
  try {
    SniffCsvEncoding(dir.File("missing.csv"));
    FAIL() << "no error for a missing file";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
  }
}

TEST(EncodingAdvice, NamesWhatTheFileHoldsAndPromisesNoChange) {
  struct Case {
    CsvEncoding encoding;
    const char* english;      // what the English sentence must name
    const char16_t* chinese;  // what the Chinese sentence must name
  };
  const Case cases[] = {
      {CsvEncoding::Empty, "holds no text", u"没有任何文本"},
      {CsvEncoding::Utf16Be, "is UTF-16 big-endian text,", u"是 UTF-16 大端序"},
      {CsvEncoding::Utf16LeNoMark, "UTF-16LE text but lacks the byte-order mark (FF FE)",
       u"缺少本程序读取所需的字节顺序标记（FF FE）"},
      {CsvEncoding::Utf16BeNoMark, "big-endian text without a byte-order mark",
       u"没有字节顺序标记的 UTF-16 大端序"},
      {CsvEncoding::Utf8Bom, "UTF-8 text with a byte-order mark", u"带 BOM 的 UTF-8"},
      {CsvEncoding::Utf8, "is UTF-8 text,", u"是 UTF-8 编码"},
      {CsvEncoding::Ascii, "plain ASCII text", u"纯 ASCII 文本"},
      {CsvEncoding::Ansi, "GBK or another ANSI code page", u"GBK 等 ANSI 编码"},
  };
  std::set<std::string> englishSeen;
  std::set<std::u16string> chineseSeen;
  for (const Case& c : cases) {
    const std::string english = EncodingAdviceEnglish(c.encoding);
    const std::u16string chinese = EncodingAdviceChinese(c.encoding);
    SCOPED_TRACE(english);

    EXPECT_NE(english.find(c.english), std::string::npos);
    EXPECT_NE(chinese.find(c.chinese), std::u16string::npos) << ToUtf8(chinese);
    EXPECT_TRUE(english.ends_with(" The file was not changed."));
    EXPECT_TRUE(chinese.ends_with(u"。文件未作任何改动。")) << ToUtf8(chinese);
    if (c.encoding != CsvEncoding::Empty) {
      EXPECT_NE(english.find("Save it again from the spreadsheet as \"Unicode text\""),
                std::string::npos);
      EXPECT_NE(chinese.find(u"“另存为 → Unicode 文本”"), std::u16string::npos);
    }
    EXPECT_TRUE(englishSeen.insert(english).second) << "the same advice twice";
    EXPECT_TRUE(chineseSeen.insert(chinese).second) << "the same advice twice";
  }
  EXPECT_EQ(EncodingAdviceEnglish(CsvEncoding::Utf16Le), "");
  EXPECT_EQ(EncodingAdviceChinese(CsvEncoding::Utf16Le), u"");
}

}  // namespace
}  // namespace picrelink
