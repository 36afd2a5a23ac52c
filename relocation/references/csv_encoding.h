#pragma once
// What kind of text a CSV file holds, judged from its first bytes, and what
// to tell the seller when it is not the text the program reads. Nothing is
// ever converted: the program reads UTF-16LE behind FF FE only.
#include <cstddef>
#include <string>
#include <string_view>

namespace picrelink {

enum class CsvEncoding {
  Utf16Le,        // FF FE and text after it: the one the program reads
  Empty,          // no bytes, or only a byte-order mark (any of the three)
  Utf16Be,        // FE FF
  Utf16LeNoMark,  // no mark; zero bytes mostly at odd offsets
  Utf16BeNoMark,  // no mark; zero bytes mostly at even offsets
  Utf8Bom,        // EF BB BF
  Utf8,           // no mark; valid UTF-8 holding non-ASCII characters
  Ascii,          // no mark; ASCII characters only
  Ansi,           // anything else: probably a Chinese ANSI code page such as GBK
};

// How many bytes from the start of a file SniffCsvEncoding looks at.
inline constexpr size_t kCsvSniffBytes = size_t{64} * 1024;

// The kind of text that bytes begin with; complete tells whether they are the
// whole file or only its start (then a UTF-8 sequence cut at their end is no
// fault). In this order:
// - a byte-order mark decides (FF FE, FE FF, EF BB BF); a mark with nothing
//   after it in a complete file is Empty, as are no bytes at all;
// - zero bytes do not occur in UTF-8 or ANSI text, but every ASCII character
//   of UTF-16 text brings one: many of them at odd offsets and few at even
//   ones is UTF-16LE, the reverse UTF-16BE (CSV text always has some ASCII:
//   separators, quotes, line ends);
// - valid UTF-8 is Utf8 when it holds a non-ASCII character, else Ascii;
// - anything else is Ansi. UTF-16 text without a mark that has no ASCII
//   character at all (and so no zero byte) lands here too: it cannot be told
//   from an ANSI code page, and the advice for both is the same.
CsvEncoding SniffCsvBytes(std::string_view bytes, bool complete);

// SniffCsvBytes over the first kCsvSniffBytes of the file at path. Throws
// Error "Cannot open file ..." when it cannot be opened, and the read error
// when it cannot be read.
CsvEncoding SniffCsvEncoding(std::u16string_view path);

// One or more sentences for the seller: what the file holds and what to do
// about it, ending in the assurance that the file was not changed. Empty for
// Utf16Le, which needs no advice.
std::u16string EncodingAdviceChinese(CsvEncoding encoding);
std::string EncodingAdviceEnglish(CsvEncoding encoding);

}  // namespace picrelink
