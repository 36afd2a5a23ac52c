#include "core/utf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace picrelink {
namespace {

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string Units(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    char unit[8];
    std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c));
    if (!out.empty()) out += ' ';
    out += unit;
  }
  return out;
}

// A name as the system holds it, the text FromNativeBytes makes of it, and
// what FromUtf8 makes of the same bytes (text for people).
struct BytesCase {
  const char* what;
  std::string bytes;
  std::u16string native;
  std::u16string utf8;
};

const BytesCase kBytesCases[] = {
    {"ASCII", "goods.csv", u"goods.csv", u"goods.csv"},
    {"Chinese in UTF-8", "商品.csv", u"商品.csv", u"商品.csv"},
    {"beyond the BMP", "\xF0\x9F\x98\x80", u"\U0001F600", u"\U0001F600"},
    // GBK 商品: C6 B7 happens to be valid UTF-8 (U+01B7), and stays so.
    {"GBK bytes", "\xC9\xCC\xC6\xB7.csv", u"\xDCC9\xDCCC\u01B7.csv", u"\uFFFD\uFFFD\u01B7.csv"},
    {"a lone 0x80", "a\x80z", u"a\xDC80z", u"a\uFFFDz"},
    {"a lone 0xFF", "\xFF", u"\xDCFF", u"\uFFFD"},
    {"a sequence cut at the end", "\xE5\x95", u"\xDCE5\xDC95", u"\uFFFD"},
    {"a sequence cut by ASCII", "\xE5\x95z", u"\xDCE5\xDC95z", u"\uFFFDz"},
    {"two-byte overlong", "\xC0\xAF", u"\xDCC0\xDCAF", u"\uFFFD"},
    {"three-byte overlong", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF", u"\uFFFD"},
    {"four-byte overlong", "\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF", u"\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80", u"\uFFFD"},
    {"a high surrogate's form", "a\xED\xA0\x80z", u"a\xD800z", u"a\uFFFDz"},
    {"a low surrogate's form", "\xED\xBF\xBF", u"\xDFFF", u"\uFFFD"},
    {"two high surrogates' forms", "\xED\xA0\x80\xED\xAF\xBF", u"\xD800\xDBFF", u"\uFFFD\uFFFD"},
    // Taken as surrogates, these would pair up or stand for a byte: their
    // bytes are kept one by one.
    {"a pair in three-byte forms", "\xED\xA0\x80\xED\xB0\x80", u"\xDCED\xDCA0\xDC80\xDC00",
     u"\uFFFD\uFFFD"},
    {"a high surrogate's form before a stray byte", "\xED\xA0\x80\x80", u"\xDCED\xDCA0\xDC80\xDC80",
     u"\uFFFD\uFFFD"},
    {"the form of a unit that stands for a byte", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80", u"\uFFFD"},
};

TEST(NativeBytes, DecodeUtf8AndKeepEveryOtherByte) {
  for (const BytesCase& c : kBytesCases) {
    SCOPED_TRACE(c.what);
    const std::u16string native = FromNativeBytes(c.bytes);
    EXPECT_EQ(Units(native), Units(c.native));
    EXPECT_EQ(Hex(ToNativeBytes(native)), Hex(c.bytes));
    EXPECT_EQ(Units(FromUtf8(c.bytes)), Units(c.utf8));
  }
}

// A name as Windows may hold it, and the bytes it travels in.
struct TextCase {
  const char* what;
  std::u16string text;
  std::string bytes;
  std::string utf8;  // ToUtf8
};

const TextCase kTextCases[] = {
    {"Chinese", u"D:\\店铺\\商品.csv", "D:\\店铺\\商品.csv", "D:\\店铺\\商品.csv"},
    {"a pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    {"an unpaired high surrogate", u"a\xD800z", "a\xED\xA0\x80z", "a\xEF\xBF\xBDz"},
    {"an unpaired high surrogate at the end", u"a\xDBFF", "a\xED\xAF\xBF", "a\xEF\xBF\xBD"},
    {"an unpaired low surrogate below the bytes' range", u"\xDC00\xDC7F",
     "\xED\xB0\x80\xED\xB1\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"an unpaired low surrogate above the bytes' range", u"\xDD00\xDFFF",
     "\xED\xB4\x80\xED\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"a unit that stands for a byte", u"\xDC80\xDCFF", "\x80\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"a high surrogate before a pair", u"\xD800\xD800\xDC00", "\xED\xA0\x80\xF0\x90\x80\x80",
     "\xEF\xBF\xBD\xF0\x90\x80\x80"},
    {"a low surrogate before a high one", u"\xDFFF\xD800", "\xED\xBF\xBF\xED\xA0\x80",
     "\xEF\xBF\xBD\xEF\xBF\xBD"},
};

TEST(NativeBytes, UnpairedSurrogatesTravelInTheirThreeByteForm) {
  for (const TextCase& c : kTextCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Hex(ToNativeBytes(c.text)), Hex(c.bytes));
    EXPECT_EQ(Units(FromNativeBytes(c.bytes)), Units(c.text));
    EXPECT_EQ(Hex(ToUtf8(c.text)), Hex(c.utf8));
  }
}

TEST(NativeBytes, UnitsForBytesThatMakeUtf8ComeBackAsText) {
  // The one kind of text that does not come back: no name read from bytes
  // holds it, since FromNativeBytes decodes valid UTF-8.
  EXPECT_EQ(FromNativeBytes(ToNativeBytes(u"\xDCC3\xDCA9")), u"é");
}

// Pieces that meet in every way: ASCII, continuation bytes, every kind of
// lead, the surrogates' forms.
TEST(NativeBytes, EveryByteStringComesBackExactly) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(ToNativeBytes(FromNativeBytes(bytes)), bytes) << Hex(bytes);
    }
  }
  const unsigned char alphabet[] = {'a',  0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xB0, 0xBF, 0xC0, 0xC2,
                                    0xDF, 0xE0, 0xE5, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<size_t> length(1, 12);
  for (int n = 0; n < 200000; ++n) {
    std::string bytes(length(random), '\0');
    for (char& c : bytes) c = static_cast<char>(alphabet[pick(random)]);
    ASSERT_EQ(Hex(ToNativeBytes(FromNativeBytes(bytes))), Hex(bytes));
  }
}

TEST(NativeBytes, EveryTextWithoutUnitsForBytesComesBackExactly) {
  const char16_t alphabet[] = {u'a',   u'\x7F', u'\x80', u'商',  0xD800, 0xDBFF,
                               0xDC00, 0xDC7F,  0xDD00,  0xDFFF, 0xFFFD, 0xFFFF};
  std::mt19937 random(11);
  std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
  std::uniform_int_distribution<size_t> length(1, 8);
  for (int n = 0; n < 200000; ++n) {
    std::u16string text(length(random), u'\0');
    for (char16_t& c : text) c = alphabet[pick(random)];
    ASSERT_EQ(Units(FromNativeBytes(ToNativeBytes(text))), Units(text));
  }
}

}  // namespace
}  // namespace picrelink
