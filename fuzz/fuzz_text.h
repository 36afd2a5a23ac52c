#pragma once
// Turns fuzzer bytes into UTF-16 texts. ASCII bytes stay themselves, so that
// dictionaries and comparisons guide the fuzzer towards the patterns; bytes
// 0x80 to 0xEF stand for units that texts must survive (lone surrogates, NUL,
// the byte-order mark, CJK, letters that ASCII folding must not touch); a
// byte from 0xF0 on takes the next two bytes as any unit at all.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace picrelink::fuzz {

// The unit that starts at data[*at]; advances *at past it.
inline char16_t NextUnit(const uint8_t* data, size_t size, size_t* at) {
  static constexpr char16_t kOdd[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x0000, 0xFEFF, 0xFFFE,
                                      0xFFFF, 0x00E9, 0x00C9, 0x0130, 0x0131, 0x017F, 0x212A,
                                      0x4E2D, 0x5907, 0xFF0E, 0x3000, 0x0085, 0x2028};
  const uint8_t b = data[(*at)++];
  if (b < 0x80) return b;
  if (b < 0xF0 || *at + 2 > size) return kOdd[b % (sizeof kOdd / sizeof kOdd[0])];
  const auto unit = static_cast<char16_t>(data[*at] | (data[*at + 1] << 8));
  *at += 2;
  return unit;
}

// Every byte of the input as one text.
inline std::u16string WholeText(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t at = 0; at < size;) text.push_back(NextUnit(data, size, &at));
  return text;
}

// The next text of several: up to a 0x00 byte (not part of any text).
inline std::u16string TakeText(const uint8_t* data, size_t size, size_t* at) {
  std::u16string text;
  while (*at < size) {
    if (data[*at] == 0x00) {
      ++*at;
      break;
    }
    text.push_back(NextUnit(data, size, at));
  }
  return text;
}

// A broken property is a crash, so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

}  // namespace picrelink::fuzz
