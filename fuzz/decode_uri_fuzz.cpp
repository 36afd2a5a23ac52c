// DecodeUri on any text: it raises its error or gives a text that is never
// longer, leaves a text without "%" as it is, and that encodeURI turns
// back into something DecodeUri decodes to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/path_helpers.h"
#include "fuzz/fuzz_text.h"

namespace {

using picrelink::fuzz::Fail;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool HasLoneSurrogate(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      return true;
    }
  }
  return false;
}

// ECMAScript encodeURI for a text without lone surrogates.
std::u16string EncodeUri(const std::u16string& text) {
  static constexpr std::u16string_view kKept =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.!~*'();/?:@&=+$,#";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::u16string out;
  const auto escape = [&](unsigned byte) {
    out += u'%';
    out += static_cast<char16_t>(kHex[byte >> 4]);
    out += static_cast<char16_t>(kHex[byte & 15]);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (kKept.find(text[i]) != std::u16string_view::npos) {
      out += text[i];
      continue;
    }
    if (IsHighSurrogate(text[i])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      escape(cp);
    } else if (cp < 0x800) {
      escape(0xC0 | (cp >> 6));
      escape(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      escape(0xE0 | (cp >> 12));
      escape(0x80 | ((cp >> 6) & 0x3F));
      escape(0x80 | (cp & 0x3F));
    } else {
      escape(0xF0 | (cp >> 18));
      escape(0x80 | ((cp >> 12) & 0x3F));
      escape(0x80 | ((cp >> 6) & 0x3F));
      escape(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string value = picrelink::fuzz::WholeText(data, size);
  std::u16string decoded;
  try {
    decoded = picrelink::DecodeUri(value);
  } catch (const picrelink::Error&) {
    if (value.find(u'%') == std::u16string::npos) Fail("an error without any escape");
    return 0;
  }
  if (value.find(u'%') == std::u16string::npos && decoded != value) {
    Fail("a text without escapes was changed");
  }
  if (decoded.size() > value.size()) Fail("decoding made the text longer");
  if (!HasLoneSurrogate(decoded)) {
    try {
      if (picrelink::DecodeUri(EncodeUri(decoded)) != decoded) Fail("no round trip");
    } catch (const picrelink::Error&) {
      Fail("the encoded form of a decoded text was rejected");
    }
  }
  // The URL-to-path conversion decodes the same way; it must not fail now.
  try {
    picrelink::FileUrlToPath(value);
  } catch (const picrelink::Error&) {
    Fail("FileUrlToPath rejected what DecodeUri accepted");
  }
  return 0;
}
