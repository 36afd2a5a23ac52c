#include "relocation/references/html_references.h"

#include <array>
#include <string_view>

#include "core/utf.h"

namespace picrelink {
namespace {

// The named references of Latin-1, U+00A0 to U+00FF in order.
constexpr std::array<std::u16string_view, 96> kLatin1Names = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",
    u"uml",    u"copy",   u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",
    u"deg",    u"plusmn", u"sup2",   u"sup3",   u"acute",  u"micro",  u"para",   u"middot",
    u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12", u"frac34", u"iquest",
    u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",
    u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",
    u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",  u"szlig",
    u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil",
    u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide",
    u"oslash", u"ugrave", u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};

// The character a reference's body (between "&" and ";") stands for; 0 for
// none.
char32_t Referenced(std::u16string_view body) {
  if (body.size() >= 2 && body[0] == u'#') {
    const bool hex = body[1] == u'x' || body[1] == u'X';
    const std::u16string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return 0;
    char32_t value = 0;
    for (const char16_t c : digits) {
      int digit = -1;
      if (c >= u'0' && c <= u'9') digit = c - u'0';
      if (hex && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      if (hex && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      if (digit < 0) return 0;
      value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    const bool character =
        value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    return character ? value : 0;
  }
  if (body == u"amp") return u'&';
  if (body == u"lt") return u'<';
  if (body == u"gt") return u'>';
  if (body == u"quot") return u'"';
  if (body == u"apos") return u'\'';
  for (size_t i = 0; i < kLatin1Names.size(); ++i) {
    if (body == kLatin1Names[i]) return static_cast<char32_t>(0xA0 + i);
  }
  return 0;
}

}  // namespace

std::u16string DecodeHtmlReferences(std::u16string_view text) {
  // No name is longer than six letters, no number than "#x" and eight digits.
  constexpr size_t kLongestBody = 10;
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'&') {
      const size_t end = text.find(u';', i + 1);
      if (end != std::u16string_view::npos && end - i - 1 <= kLongestBody) {
        const char32_t c = Referenced(text.substr(i + 1, end - i - 1));
        if (c != 0) {
          AppendUtf16(out, c);
          i = end + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace picrelink
