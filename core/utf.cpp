#include "core/utf.h"

#include <cstdint>
#include <vector>

namespace picrelink {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    int taken = 1;
    while (taken < length && i + taken < text.size() &&
           (static_cast<uint8_t>(text[i + taken]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<uint8_t>(text[i + taken]) & 0x3F);
      ++taken;
    }
    if (taken < length || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(static_cast<char16_t>(kReplacement));
    } else {
      AppendUtf16(out, cp);
    }
    i += taken;
  }
  return out;
}

namespace {

// One piece of a byte string as FromNativeBytes reads it.
struct NativePiece {
  enum Kind { Scalar, Surrogate, Stray } kind;
  char32_t value;  // the code point, the surrogate, or the stray byte
  size_t length;   // bytes taken
};

// Whether bytes[i] exists and is a continuation byte within [low, high].
bool ContinuationAt(std::string_view bytes, size_t i, uint8_t low = 0x80, uint8_t high = 0xBF) {
  if (i >= bytes.size()) return false;
  const auto b = static_cast<uint8_t>(bytes[i]);
  return b >= low && b <= high;
}

// The piece that begins at bytes[i]: a well-formed UTF-8 sequence, the
// three-byte form of a surrogate (ED A0..BF 80..BF), or one stray byte.
NativePiece PieceAt(std::string_view bytes, size_t i) {
  const auto lead = static_cast<uint8_t>(bytes[i]);
  const auto continuation = [&](size_t k) { return static_cast<uint8_t>(bytes[i + k]) & 0x3F; };
  if (lead < 0x80) return {NativePiece::Scalar, lead, 1};
  if (lead >= 0xC2 && lead <= 0xDF && ContinuationAt(bytes, i + 1)) {
    return {NativePiece::Scalar, (char32_t(lead & 0x1F) << 6) | continuation(1), 2};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    // E0 needs A0.. (no overlong form); ED A0..BF is a surrogate's form.
    const uint8_t low = lead == 0xE0 ? 0xA0 : 0x80;
    if (ContinuationAt(bytes, i + 1, low) && ContinuationAt(bytes, i + 2)) {
      const char32_t cp =
          (char32_t(lead & 0x0F) << 12) | (char32_t(continuation(1)) << 6) | continuation(2);
      const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
      return {surrogate ? NativePiece::Surrogate : NativePiece::Scalar, cp, 3};
    }
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    // F0 needs 90.. (no overlong form), F4 at most 8F (no code point above U+10FFFF).
    const uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
    if (ContinuationAt(bytes, i + 1, low, high) && ContinuationAt(bytes, i + 2) &&
        ContinuationAt(bytes, i + 3)) {
      const char32_t cp = (char32_t(lead & 0x07) << 18) | (char32_t(continuation(1)) << 12) |
                          (char32_t(continuation(2)) << 6) | continuation(3);
      return {NativePiece::Scalar, cp, 4};
    }
  }
  return {NativePiece::Stray, lead, 1};
}

// The unit that stands for a byte that is not part of valid UTF-8.
char16_t EscapedByte(uint8_t byte) { return static_cast<char16_t>(0xDC00 + byte); }
bool IsEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

}  // namespace

std::u16string FromNativeBytes(std::string_view bytes) {
  std::vector<NativePiece> pieces;
  for (size_t i = 0; i < bytes.size(); i += pieces.back().length) {
    pieces.push_back(PieceAt(bytes, i));
  }
  // A surrogate's form is taken as the surrogate only where ToNativeBytes
  // would write it so: unpaired in the text, and not one of the units that
  // stand for bytes. From the last piece to the first, so that a high
  // surrogate knows what follows it: anything whose first unit is a low
  // surrogate (a low surrogate taken as such, or bytes kept one by one)
  // would pair with it.
  std::vector<bool> taken(pieces.size(), false);
  bool nextStartsLow = false;
  for (size_t k = pieces.size(); k-- > 0;) {
    const NativePiece& piece = pieces[k];
    if (piece.kind == NativePiece::Surrogate) {
      const auto unit = static_cast<char16_t>(piece.value);
      taken[k] = IsHighSurrogate(unit) ? !nextStartsLow : !IsEscapedByte(unit);
      nextStartsLow = !taken[k] || IsLowSurrogate(unit);
    } else {
      nextStartsLow = piece.kind == NativePiece::Stray;
    }
  }
  std::u16string out;
  out.reserve(bytes.size());
  size_t at = 0;
  for (size_t k = 0; k < pieces.size(); ++k) {
    const NativePiece& piece = pieces[k];
    if (piece.kind == NativePiece::Scalar) {
      AppendUtf16(out, piece.value);
    } else if (taken[k]) {
      out.push_back(static_cast<char16_t>(piece.value));
    } else {
      for (size_t b = 0; b < piece.length; ++b) {
        out.push_back(EscapedByte(static_cast<uint8_t>(bytes[at + b])));
      }
    }
    at += piece.length;
  }
  return out;
}

std::string ToNativeBytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsEscapedByte(c)) {
      out.push_back(static_cast<char>(c - 0xDC00));
    } else {
      // Any other unit, an unpaired surrogate too, in its (generalized)
      // UTF-8 form.
      AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace picrelink
