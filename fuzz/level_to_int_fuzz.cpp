// The level conversion on any text, against a reference written from the
// rules: leading spaces, a sign, decimal digits, or hexadecimal ones after
// "$", "x", "X", "0x" or "0X"; nothing else. Decimal values must fit 32-bit
// signed; hexadecimal ones give a 32-bit pattern of at most eight digits'
// worth, negated by "-". Anything else raises the conversion error.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/error.h"
#include "core/utf.h"
#include "fuzz/fuzz_text.h"
#include "relocation/references/detection.h"

namespace {

using picrelink::fuzz::Fail;

std::optional<int32_t> Reference(const std::u16string& text) {
  size_t i = text.find_first_not_of(u' ');
  if (i == std::u16string::npos) return std::nullopt;
  bool negative = false;
  if (text[i] == u'+' || text[i] == u'-') negative = text[i++] == u'-';
  int base = 10;
  if (text.compare(i, 2, u"0x") == 0 || text.compare(i, 2, u"0X") == 0) {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    i += 1;
  }
  const std::u16string digits = text.substr(i);
  if (digits.empty()) return std::nullopt;
  std::string significant;
  for (const char16_t c : digits) {
    const bool decimal = c >= u'0' && c <= u'9';
    const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (!decimal && !(base == 16 && hex)) return std::nullopt;
    if (significant.empty() && c == u'0') continue;
    significant.push_back(static_cast<char>(c));
  }
  if (significant.size() > (base == 16 ? 8u : 10u)) return std::nullopt;
  const uint64_t value = significant.empty() ? 0 : std::stoull(significant, nullptr, base);
  if (base == 10) {
    if (value > (negative ? 2147483648u : 2147483647u)) return std::nullopt;
  }
  const auto bits = static_cast<uint32_t>(value);
  return static_cast<int32_t>(negative ? 0u - bits : bits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = picrelink::fuzz::WholeText(data, size);
  const std::optional<int32_t> expected = Reference(text);
  try {
    const int32_t value = picrelink::LevelToInt(text);
    if (!expected) Fail("a text the rules reject was accepted");
    if (value != *expected) Fail("the value differs from the reference");
  } catch (const picrelink::EConvertError& e) {
    if (expected) Fail("a valid text was rejected");
    // what() is a C string: a NUL in the text ends the message there.
    const std::string message = "'" + picrelink::ToUtf8(text) + "' is not a valid integer value";
    if (std::string(e.what()) != message.substr(0, message.find('\0'))) {
      Fail("the conversion error reads differently");
    }
  }
  return 0;
}
