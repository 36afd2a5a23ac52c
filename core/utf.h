#pragma once
// Conversions between the system's UTF-16 texts and byte strings: UTF-8 for
// messages and console output, and the names of files as a POSIX system
// holds them (bytes, mostly but not always UTF-8), without loss.
#include <string>
#include <string_view>

namespace picrelink {

// Text for people: an unpaired surrogate becomes U+FFFD, and so does each
// invalid piece of UTF-8 (a lead byte with the continuation bytes that follow
// it, or a stray byte); nothing else is changed.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Names as the system holds them, kept exactly. Valid UTF-8 decodes as
// usual. Each byte that is not part of valid UTF-8 (GBK bytes of a name that
// unzip took from a Chinese Windows zip, a truncated or overlong sequence)
// becomes the lone surrogate U+DC80..U+DCFF (U+DC00 + byte), and goes back
// to that byte. Any other lone surrogate (a Windows name may hold one) is
// written as its three-byte generalized UTF-8 form (ED A0..BF xx) and read
// back from it; such a form is taken as a surrogate only where it stays
// unpaired, else its bytes are kept one by one as above.
//
// FromNativeBytes then ToNativeBytes gives back every byte string exactly.
// ToNativeBytes then FromNativeBytes gives back every text except one in
// which units U+DC80..U+DCFF stand for bytes that together make valid UTF-8
// (U+DCC3 U+DCA9 comes back as "é"): no text read from bytes is such a one.
std::u16string FromNativeBytes(std::string_view bytes);
std::string ToNativeBytes(std::u16string_view text);

// Appends one code point (at most U+10FFFF) as one or two UTF-16 code units.
void AppendUtf16(std::u16string& out, char32_t codePoint);

}  // namespace picrelink
