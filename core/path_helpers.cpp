#include "core/path_helpers.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/freplace.h"
#include "core/utf.h"

namespace picrelink {
namespace {

// Folder values on POSIX hold either a local path or a Windows folder text
// taken from the CSV, so there both separators count; on Windows only "\".
bool IsPathSeparator(char16_t c) {
#ifdef _WIN32
  return c == u'\\';
#else
  return c == u'/' || c == u'\\';
#endif
}

// ---- decodeURI ----

// An escape of one of these stays as written: decoding it would change what
// the URI means (reservedURISet of ECMAScript, plus "#").
bool IsPreservedByDecodeUri(char16_t c) {
  return std::u16string_view(u";/?:@&=+$,#").find(c) != std::u16string_view::npos;
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The byte of the escape "%XY" that starts at index i, or -1 when there is no
// complete escape there.
int EscapeByte(std::u16string_view s, size_t i) {
  if (i + 3 > s.size() || s[i] != u'%') return -1;
  const int high = HexDigitValue(s[i + 1]);
  const int low = HexDigitValue(s[i + 2]);
  if (high < 0 || low < 0) return -1;
  return high * 16 + low;
}

// The number of leading 1 bits of a byte: 0 for ASCII, 1 for a continuation
// byte, 2 to 4 for the lead byte of a sequence of that length, more for
// bytes that UTF-8 never uses.
int LeadingOnes(int byte) {
  int n = 0;
  for (int mask = 0x80; mask != 0 && (byte & mask) != 0; mask >>= 1) ++n;
  return n;
}

// Errors quote the value, but only the head of a very long one, so that a
// message stays readable in a message box.
std::string Quoted(std::u16string_view text) {
  constexpr size_t kMaxQuoted = 260;
  if (text.size() <= kMaxQuoted) return "\"" + ToUtf8(text) + "\"";
  return "\"" + ToUtf8(text.substr(0, kMaxQuoted)) + "...\"";
}

// Positions in messages are 1-based, like every other text position here.
[[noreturn]] void ThrowMalformed(std::u16string_view value, size_t index, const std::string& what) {
  throw Error("URI malformed at position " + std::to_string(index + 1) + " of " + Quoted(value) +
              ": " + what);
}

// Decodes the run of escapes that starts at index start with a lead byte of
// a sequence of length n (2 to 4), appends the character and returns the
// index just after the run. As in ECMAScript, every escape of the run is
// read before the bytes are judged as UTF-8.
size_t DecodeUtf8Run(std::u16string_view value, size_t start, int n, std::u16string& out) {
  int bytes[4] = {EscapeByte(value, start), 0, 0, 0};
  size_t k = start + 3;
  for (int j = 1; j < n; ++j, k += 3) {
    if (k + 3 > value.size()) {
      ThrowMalformed(value, start,
                     "the UTF-8 sequence that begins with " + ToUtf8(value.substr(start, 3)) +
                         " needs " + std::to_string(n) + " escapes, but the value ends after " +
                         std::to_string(j));
    }
    if (value[k] != u'%') {
      ThrowMalformed(value, k,
                     "an escape \"%XY\" must continue the UTF-8 sequence that begins with " +
                         ToUtf8(value.substr(start, 3)) + " at position " +
                         std::to_string(start + 1));
    }
    bytes[j] = EscapeByte(value, k);
    if (bytes[j] < 0) {
      ThrowMalformed(value, k, "\"%\" is not followed by two hexadecimal digits");
    }
  }

  char32_t cp = static_cast<char32_t>(bytes[0] & (0x7F >> n));
  for (int j = 1; j < n; ++j) {
    if ((bytes[j] & 0xC0) != 0x80) {
      const size_t at = start + 3 * static_cast<size_t>(j);
      ThrowMalformed(
          value, at,
          "the escape " + ToUtf8(value.substr(at, 3)) + " is not a UTF-8 continuation byte");
    }
    cp = (cp << 6) | static_cast<char32_t>(bytes[j] & 0x3F);
  }

  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const auto escapes = [&] { return "the escapes " + ToUtf8(value.substr(start, k - start)); };
  if (cp < kSmallest[n]) ThrowMalformed(value, start, escapes() + " are an overlong UTF-8 form");
  if (cp >= 0xD800 && cp <= 0xDFFF) {
    ThrowMalformed(value, start, escapes() + " encode a surrogate code point");
  }
  if (cp > 0x10FFFF) ThrowMalformed(value, start, escapes() + " encode a value above U+10FFFF");
  AppendUtf16(out, cp);
  return k;
}

}  // namespace

std::u16string AppendSeparator(std::u16string_view text, std::u16string_view separator) {
  if (text.empty() || text.back() == platform::kLocalSeparator) return std::u16string(text);
  std::u16string result(text);
  result += separator;
  return result;
}

std::u16string TrimTrailingChar(std::u16string_view text, char16_t ch) {
  if (!text.empty() && text.back() == ch) text.remove_suffix(1);
  return std::u16string(text);
}

std::u16string LastPathPart(std::u16string_view path) {
  if (!path.empty() && IsPathSeparator(path.back())) path.remove_suffix(1);
  size_t i = path.size();
  while (i > 0 && !IsPathSeparator(path[i - 1]) && path[i - 1] != u':') --i;
  return std::u16string(path.substr(i));
}

std::u16string TrimFolderSeparator(std::u16string_view folder) {
  if (!folder.empty() && IsPathSeparator(folder.back())) folder.remove_suffix(1);
  return std::u16string(folder);
}

std::u16string JoinFolder(std::u16string_view folder, std::u16string_view name) {
  std::u16string joined(folder);
  if (!joined.empty() && !IsPathSeparator(joined.back())) joined += platform::kLocalSeparator;
  joined += name;
  return joined;
}

std::u16string StripExtension(std::u16string_view path) {
  const size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(0, dot));
}

std::u16string UrlParentDir(std::u16string_view url) {
  // i counts the characters kept: up to and including the last "/" or ":".
  size_t i = url.find_last_of(u"/:");
  i = (i == std::u16string_view::npos) ? 0 : i + 1;
  // The separator itself goes, unless it belongs to "//" or follows a drive's
  // ":", where dropping it would turn a root into a drive-relative text.
  if (i > 1 && url[i - 1] == u'/' && url[i - 2] != u'/' && url[i - 2] != u':') --i;
  return std::u16string(url.substr(0, i));
}

std::u16string EncodeSpaces(std::u16string_view text) {
  return ReplaceAll(text, u" ", u"%20", false);
}

std::u16string PathToFileUrl(std::u16string_view path) {
  std::u16string url = u"file:///";
  url += path;
  return EncodeSpaces(ReplaceAll(url, u"\\", u"/", false));
}

std::u16string DecodeUri(std::u16string_view value) {
  std::u16string out;
  out.reserve(value.size());
  size_t k = 0;
  while (k < value.size()) {
    const char16_t c = value[k];
    if (c != u'%') {
      out.push_back(c);
      ++k;
      continue;
    }
    const int byte = EscapeByte(value, k);
    if (byte < 0) ThrowMalformed(value, k, "\"%\" is not followed by two hexadecimal digits");
    const int n = LeadingOnes(byte);
    if (n == 0) {
      const auto ascii = static_cast<char16_t>(byte);
      if (IsPreservedByDecodeUri(ascii)) {
        out.append(value.substr(k, 3));
      } else {
        out.push_back(ascii);
      }
      k += 3;
    } else if (n == 1) {
      ThrowMalformed(value, k,
                     "the escape " + ToUtf8(value.substr(k, 3)) +
                         " is a UTF-8 continuation byte without a lead byte");
    } else if (n > 4) {
      ThrowMalformed(
          value, k, "the escape " + ToUtf8(value.substr(k, 3)) + " is not a valid UTF-8 lead byte");
    } else {
      k = DecodeUtf8Run(value, k, n, out);
    }
  }
  return out;
}

std::u16string FileUrlToPath(std::u16string_view url) {
  const std::u16string decoded = DecodeUri(url);
  return ReplaceAll(ReplaceAll(decoded, u"file:///", u"", false), u"/", u"\\", false);
}

}  // namespace picrelink
