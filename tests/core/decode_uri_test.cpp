#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/utf.h"

namespace picrelink {
namespace {

struct DecodeCase {
  std::u16string value;
  std::u16string expected;
};

class DecodeUriTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeUriTable, Decodes) { EXPECT_EQ(DecodeUri(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Examples, DecodeUriTable,
    ::testing::Values(
        DecodeCase{u"", u""}, DecodeCase{u"file:///D:/pics/a.jpg", u"file:///D:/pics/a.jpg"},
        DecodeCase{u"my%20pics", u"my pics"}, DecodeCase{u"%41%62%7e", u"Ab~"},
        // "%" decodes, and what it gives is not decoded again.
        DecodeCase{u"100%25", u"100%"}, DecodeCase{u"%2520", u"%20"},
        // Escapes of the reserved characters and "#" stay as written, case included.
        DecodeCase{u"a%2Fb%3A%23", u"a%2Fb%3A%23"},
        DecodeCase{u"%3b%2f%3f%3a%40%26%3d%2b%24%2c%23", u"%3b%2f%3f%3a%40%26%3d%2b%24%2c%23"},
        DecodeCase{u"%3B%2F%3F%3A%40%26%3D%2B%24%2C", u"%3B%2F%3F%3A%40%26%3D%2B%24%2C"},
        // The unescaped reserved characters themselves pass, and so do the
        // ASCII characters next to them.
        DecodeCase{u";/?:@&=+$,#", u";/?:@&=+$,#"}, DecodeCase{u"%21%22%27%3C%3E%5C", u"!\"'<>\\"},
        DecodeCase{u"%00%7F", std::u16string(u"\0\x7F", 2)},
        // UTF-8 runs of 2, 3 and 4 bytes, either case of hex digits.
        DecodeCase{u"%C3%A9", u"\u00E9"}, DecodeCase{u"%c3%a9", u"\u00E9"},
        DecodeCase{u"%E5%9B%BE", u"\u56FE"}, DecodeCase{u"%e5%9B%bE", u"\u56FE"},
        DecodeCase{u"%F0%9F%98%80", u"\xD83D\xDE00"},
        // The limits of each length.
        DecodeCase{u"%C2%80%DF%BF", u"\u0080\u07FF"},
        DecodeCase{u"%E0%A0%80%EF%BF%BF", u"\u0800\uFFFF"},
        DecodeCase{u"%ED%9F%BF%EE%80%80", u"\uD7FF\uE000"},
        DecodeCase{u"%F0%90%80%80", u"\xD800\xDC00"}, DecodeCase{u"%F4%8F%BF%BF", u"\xDBFF\xDFFF"},
        // Other characters, lone surrogates included, pass unchanged.
        DecodeCase{u"\u56FE%20\u00E9", u"\u56FE \u00E9"},
        DecodeCase{u"\xD800x\xDC00", u"\xD800x\xDC00"}, DecodeCase{u"'\\\n", u"'\\\n"}));

struct MalformedCase {
  std::u16string value;
  std::string position;  // "at position N" of the message
  std::string reason;    // a part of the message that says what is wrong
};

class DecodeUriMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(DecodeUriMalformed, RaisesAnErrorThatSaysWhatAndWhere) {
  const MalformedCase& c = GetParam();
  try {
    const std::u16string result = DecodeUri(c.value);
    ADD_FAILURE() << "no error, result " << ::testing::PrintToString(result);
  } catch (const Error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("URI malformed"), std::string::npos) << message;
    EXPECT_NE(message.find("at position " + c.position + " "), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
}

constexpr char kNotHex[] = "not followed by two hexadecimal digits";
constexpr char kNoContinuation[] = "not a UTF-8 continuation byte";

INSTANTIATE_TEST_SUITE_P(
    Errors, DecodeUriMalformed,
    ::testing::Values(
        // "%" without two hexadecimal digits.
        MalformedCase{u"%", "1", kNotHex}, MalformedCase{u"file:///D:/100%", "15", kNotHex},
        MalformedCase{u"a%4", "2", kNotHex}, MalformedCase{u"%G0", "1", kNotHex},
        MalformedCase{u"%0g", "1", kNotHex}, MalformedCase{u"%%41", "1", kNotHex},
        MalformedCase{u"%\u0661\u0662", "1", kNotHex},
        // Bytes that cannot begin a character.
        MalformedCase{u"x%80", "2", "continuation byte without a lead byte"},
        MalformedCase{u"%bf", "1", "continuation byte without a lead byte"},
        MalformedCase{u"%F8%80%80%80%80", "1", "not a valid UTF-8 lead byte"},
        MalformedCase{u"%FF", "1", "not a valid UTF-8 lead byte"},
        // Runs cut short.
        MalformedCase{u"%C3", "1", "needs 2 escapes"}, MalformedCase{u"%C3%A", "1", "needs 2"},
        MalformedCase{u"ab%E5%9B", "3", "needs 3 escapes"},
        MalformedCase{u"%F0%9F%98", "1", "needs 4 escapes"},
        // A continuation that is no escape, or a bad one.
        MalformedCase{u"%C3A9xx", "4", "must continue"}, MalformedCase{u"%C3%G9", "4", kNotHex},
        MalformedCase{u"%C3%41", "4", kNoContinuation},
        MalformedCase{u"%C3%C3%A9", "4", kNoContinuation},
        MalformedCase{u"%E5%9B%41", "7", kNoContinuation},
        MalformedCase{u"%F0%9F%98%7F", "10", kNoContinuation},
        // Overlong forms.
        MalformedCase{u"%C0%80", "1", "overlong"}, MalformedCase{u"%C1%BF", "1", "overlong"},
        MalformedCase{u"%E0%80%80", "1", "overlong"}, MalformedCase{u"%E0%9F%BF", "1", "overlong"},
        MalformedCase{u"%F0%80%80%80", "1", "overlong"},
        MalformedCase{u"%F0%8F%BF%BF", "1", "overlong"},
        // Surrogates and values beyond Unicode.
        MalformedCase{u"%ED%A0%80", "1", "surrogate"},
        MalformedCase{u"%ed%bf%bf", "1", "surrogate"},
        MalformedCase{u"%F4%90%80%80", "1", "above U+10FFFF"},
        MalformedCase{u"%F5%80%80%80", "1", "above U+10FFFF"},
        MalformedCase{u"%F7%BF%BF%BF", "1", "above U+10FFFF"}));

// ---- Exhaustive checks ----

std::u16string Escape(unsigned byte, bool lowerCase) {
  char text[4];
  std::snprintf(text, sizeof text, lowerCase ? "%%%02x" : "%%%02X", byte);
  return std::u16string(text, text + 3);
}

// Every code point written as escapes of its UTF-8 bytes decodes to itself;
// only the reserved ASCII characters keep their escape.
TEST(DecodeUri, DecodesEveryCodePoint) {
  const std::u16string_view reserved = u";/?:@&=+$,#";
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string utf8;
    if (cp < 0x80) {
      utf8 = {static_cast<char>(cp)};
    } else if (cp < 0x800) {
      utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      utf8 = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
    std::u16string escaped;
    for (char byte : utf8) escaped += Escape(static_cast<unsigned char>(byte), cp % 2 == 1);

    std::u16string expected;
    if (cp < 0x80 && reserved.find(static_cast<char16_t>(cp)) != std::u16string_view::npos) {
      expected = escaped;
    } else if (cp < 0x10000) {
      expected = std::u16string(1, static_cast<char16_t>(cp));
    } else {
      expected = {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                  static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    }
    ASSERT_EQ(DecodeUri(escaped), expected) << "U+" << std::hex << static_cast<uint32_t>(cp);
  }
}

// The well-formed UTF-8 byte sequences, as Unicode tabulates them: the
// allowed range of the second byte for each lead byte; later bytes 80..BF.
bool WellFormedStart(unsigned lead, unsigned second) {
  if (lead >= 0xC2 && lead <= 0xDF) return second >= 0x80 && second <= 0xBF;
  if (lead == 0xE0) return second >= 0xA0 && second <= 0xBF;
  if (lead >= 0xE1 && lead <= 0xEC) return second >= 0x80 && second <= 0xBF;
  if (lead == 0xED) return second >= 0x80 && second <= 0x9F;
  if (lead >= 0xEE && lead <= 0xEF) return second >= 0x80 && second <= 0xBF;
  if (lead == 0xF0) return second >= 0x90 && second <= 0xBF;
  if (lead >= 0xF1 && lead <= 0xF3) return second >= 0x80 && second <= 0xBF;
  if (lead == 0xF4) return second >= 0x80 && second <= 0x8F;
  return false;
}

int SequenceLength(unsigned lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  return 1;
}

// Every pair of a non-ASCII first byte and any second byte, completed with
// valid continuation bytes: accepted exactly when the sequence is well formed.
TEST(DecodeUri, AcceptsExactlyTheWellFormedSequences) {
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned second = 0; second <= 0xFF; ++second) {
      std::u16string escaped = Escape(lead, second % 2 == 0) + Escape(second, lead % 2 == 0);
      std::string bytes = {static_cast<char>(lead), static_cast<char>(second)};
      for (int n = SequenceLength(lead); n > 2; --n) {
        escaped += u"%BF";
        bytes += '\xBF';
      }
      if (WellFormedStart(lead, second)) {
        ASSERT_EQ(DecodeUri(escaped), FromUtf8(bytes)) << ::testing::PrintToString(escaped);
      } else {
        ASSERT_THROW(DecodeUri(escaped), Error) << ::testing::PrintToString(escaped);
      }
    }
  }
}

}  // namespace
}  // namespace picrelink
