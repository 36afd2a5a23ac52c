#include "relocation/references/reference_spelling.h"

#include <algorithm>

#include "core/utf.h"
#include "relocation/references/reference_forms.h"
#include "relocation/references/reference_scan.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PICRELINK_SPELLING_SSE2 1
#endif

namespace picrelink {
namespace {

#ifdef _WIN32
constexpr bool kLocalPaths = false;  // every local path has a drive there
#else
constexpr bool kLocalPaths = true;
#endif

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool StartsFolded(std::u16string_view text, std::u16string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (FoldAscii(text[i]) != lowerPrefix[i]) return false;
  }
  return true;
}

// A drive at the start of text: a letter, ":" and a separator.
bool DriveAt(std::u16string_view text) {
  return text.size() >= 3 && IsLetter(text[0]) && text[1] == u':' && IsSeparator(text[2]);
}

// A local POSIX path at the start of text: "/" and no second "/" (which
// would make it a host, as in //cdn.example/a.jpg).
bool LocalAt(std::u16string_view text) {
  return kLocalPaths && text.size() >= 2 && text[0] == u'/' && text[1] != u'/' && text[1] != u'"';
}

struct UrlShape {
  size_t pathStart;
  unsigned spelling;
};

// Where a file URL's path begins, behind scheme and host, and what its head
// says of its spelling; nothing when it is not a file URL of a picture.
bool ShapeOfUrl(std::u16string_view value, UrlShape& shape) {
  if (!StartsFolded(value, u"file:")) return false;
  const std::u16string_view rest = value.substr(5);
  if (rest.starts_with(u"///")) {
    if (DriveAt(rest.substr(3))) {
      shape = {8, 0};
      return true;
    }
    if (LocalAt(rest.substr(3))) {  // file:////srv/... as a run writes it
      shape = {8, kSpellingLocal};
      return true;
    }
    // Not a drive whose separator is written some other way (D:%5C).
    const bool driveLetter = rest.size() > 4 && IsLetter(rest[3]) && rest[4] == u':';
    if (kLocalPaths && rest.size() > 3 && rest[3] != u'/' && !driveLetter) {
      shape = {7, kSpellingLocal};  // file:///srv/..., the usual file URL of a
                                    // local path
      return true;
    }
    return false;
  }
  if (StartsFolded(rest, u"//localhost/")) {
    if (DriveAt(rest.substr(12))) {
      shape = {17, kSpellingLocalhost};
      return true;
    }
    if (LocalAt(rest.substr(11))) {
      shape = {16, kSpellingLocalhost | kSpellingLocal};
      return true;
    }
    return false;
  }
  if (DriveAt(rest.substr(std::min<size_t>(1, rest.size()))) && rest.starts_with(u"/")) {
    shape = {6, kSpellingOneSlash};
    return true;
  }
  if (LocalAt(rest)) {  // file:/srv/...
    shape = {5, kSpellingOneSlash | kSpellingLocal};
    return true;
  }
  return false;
}

// Whether text holds a percent escape other than %20 (which the standard
// spelling has for a space).
bool HasEscape(std::u16string_view text) {
  for (size_t i = text.find(u'%'); i != std::u16string_view::npos; i = text.find(u'%', i + 1)) {
    if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0 &&
        !(text[i + 1] == u'2' && text[i + 2] == u'0')) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::u16string SpellingLabel(std::string_view name, Language language) {
  static const struct {
    std::string_view name;
    std::u16string_view chinese;
  } kChinese[] = {{"standard", u"标准"},
                  {"percent-encoded", u"百分号编码"},
                  {"localhost", u"带主机名 localhost"},
                  {"file:/", u"单斜杠 file:/"},
                  {"backslashes", u"反斜杠"},
                  {"local folder", u"本机目录"}};
  if (language == Language::Chinese) {
    for (const auto& entry : kChinese) {
      if (entry.name == name) return std::u16string(entry.chinese);
    }
  }
  return FromUtf8(name);
}

void CountSpellings(std::map<std::string, int64_t>& counts, unsigned spelling, int64_t times) {
  if (spelling == 0) {
    counts[std::string(kStandardSpelling)] += times;
    return;
  }
  for (const auto& [bit, name] : kSpellingNames) {
    if ((spelling & bit) != 0) counts[std::string(name)] += times;
  }
}

bool LocalFoldersHere() { return kLocalPaths; }

bool IsLocalFolder(std::u16string_view folder) {
  return kLocalPaths && !folder.empty() && folder[0] == u'/';
}

int ClassifyLocalHead(std::u16string_view head) {
  if (LocalAt(head)) return kPathForm;
  if (head.starts_with(u"file:///") && LocalAt(head.substr(8))) return kUrlForm;
  return kNotAReference;
}

bool IsUnrewritableHead(std::u16string_view head) {
  if (head.size() > 2 && head[0] == u'\\' && head[1] == u'\\' && head[2] != u'\\') return true;
  if (head.size() >= 3 && IsLetter(head[0]) && head[1] == u':' && head[2] == u'/') return true;
  if (!StartsFolded(head, u"file://") || head.size() < 8) return false;
  // A host: neither empty (file:///) nor "localhost", which is this machine.
  return head[7] != u'/' && head[7] != u'\\' && !StartsFolded(head, u"file://localhost/");
}

int ClassifySpelledHead(std::u16string_view head) {
  if (FitsForm(kReferenceForms[kPathForm], head) || LocalAt(head)) return kPathForm;
  UrlShape shape{};
  if (ShapeOfUrl(head, shape)) return kUrlForm;
  return kNotAReference;
}

bool ParseReference(std::u16string_view value, ParsedReference& out) {
  out.path.clear();
  if (FitsForm(kReferenceForms[kPathForm], value) || LocalAt(value)) {
    out.form = kPathForm;
    out.spelling = value[0] == u'/' ? static_cast<unsigned>(kSpellingLocal) : 0u;
    out.pathStart = 0;
    out.path.assign(value);
    out.browserLength = out.path.size();
    return true;
  }
  UrlShape shape{};
  if (!ShapeOfUrl(value, shape)) return false;
  out.form = kUrlForm;
  out.spelling = shape.spelling;
  out.pathStart = shape.pathStart;
  const std::u16string_view raw = value.substr(shape.pathStart);
  if (HasEscape(raw)) out.spelling |= kSpellingEncoded;
  const bool local = (out.spelling & kSpellingLocal) != 0;
  if (!local && raw.find(u'\\') != std::u16string_view::npos) out.spelling |= kSpellingBackslash;
  if (raw.find(u'%') == std::u16string_view::npos) {
    out.path.assign(raw);
  } else {
    out.path = DecodePercentLeniently(raw);
  }
  if (!local) std::replace(out.path.begin(), out.path.end(), u'/', u'\\');
  // A browser reads the HTML first: the "#" of a character reference (&#38;)
  // is no fragment.
  size_t cut = raw.find_first_of(u"#?");
  while (cut != std::u16string_view::npos && cut > 0 && raw[cut] == u'#' && raw[cut - 1] == u'&') {
    cut = raw.find_first_of(u"#?", cut + 1);
  }
  out.browserLength = cut == std::u16string_view::npos
                          ? out.path.size()
                          : DecodePercentLeniently(raw.substr(0, cut)).size();
  return true;
}

bool RawReferencePath(std::u16string_view value, size_t& pathStart, bool& local) {
  // The common heads at once; then as ParseReference decides, in the same
  // order.
  const int common = CommonHead(value, pathStart);
  if (common == static_cast<int>(kPathForm)) {
    local = false;
    return true;
  }
  if (common == static_cast<int>(kUrlForm)) {
    local = false;
    return value.find(u'%', pathStart) == std::u16string_view::npos;
  }
  if (FitsForm(kReferenceForms[kPathForm], value) || LocalAt(value)) {
    pathStart = 0;
    local = value[0] == u'/';
    return true;
  }
  UrlShape shape{};
  if (!ShapeOfUrl(value, shape)) return false;
  if (value.find(u'%', shape.pathStart) != std::u16string_view::npos) return false;
  pathStart = shape.pathStart;
  local = (shape.spelling & kSpellingLocal) != 0;
  return true;
}

namespace {

// The last unit of path[0, length) that is a separator, or npos. A plain
// loop: the paths are short, and find_last_of over a set of two costs a
// call per unit.
template <typename IsSeparatorUnit>
size_t LastSeparator(std::u16string_view path, size_t length, IsSeparatorUnit isSeparator) {
  while (length > 0) {
    if (isSeparator(path[--length])) return length;
  }
  return std::u16string_view::npos;
}

}  // namespace

size_t PictureFolderLength(const ParsedReference& reference, bool oneHigher) {
  const std::u16string_view path = reference.path;
  if ((reference.spelling & kSpellingLocal) != 0) {
    // Up to the last separator; the root keeps its "/".
    size_t length = path.size();
    for (int step = 0; step < (oneHigher ? 2 : 1); ++step) {
      const size_t last = LastSeparator(path, length, IsSeparator);
      if (last == std::u16string_view::npos) return 0;
      length = last == 0 ? 1 : last;
    }
    return length;
  }
  // The rule of ExtractFileDir, once or twice.
  size_t length = path.size();
  for (int step = 0; step < (oneHigher ? 2 : 1); ++step) {
    const size_t last =
        LastSeparator(path, length, [](char16_t c) { return c == u'\\' || c == u':'; });
    if (last == std::u16string_view::npos) return 0;
    length = last + 1;
    if (last > 0 && path[last] == u'\\' && path[last - 1] != u'\\' && path[last - 1] != u':') {
      length = last;
    }
  }
  return length;
}

bool BeginsFolded(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (text[i] != prefix[i] && FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

bool BeginsWithSmall(std::u16string_view text, std::u16string_view smallPrefix, bool fold) {
  const size_t end = smallPrefix.size();
  if (text.size() < end) return false;
  const char16_t* units = text.data();
  size_t i = 0;
#ifdef PICRELINK_SPELLING_SSE2
  // Capitals turned small first (unless fold is off). The compare is signed,
  // so units from U+8000 up stay as they are.
  const __m128i beforeA = _mm_set1_epi16(u'A' - 1);
  const __m128i afterZ = _mm_set1_epi16(u'Z' + 1);
  const __m128i toSmall = _mm_set1_epi16(fold ? 32 : 0);
  const auto blockMatches = [&](size_t at) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
    const __m128i capital =
        _mm_and_si128(_mm_cmpgt_epi16(block, beforeA), _mm_cmpgt_epi16(afterZ, block));
    block = _mm_add_epi16(block, _mm_and_si128(capital, toSmall));
    const __m128i want = _mm_loadu_si128(reinterpret_cast<const __m128i*>(smallPrefix.data() + at));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(block, want)) == 0xFFFF;
  };
  if (end >= 8) {
    for (; i + 8 <= end; i += 8) {
      if (!blockMatches(i)) return false;
    }
    // The last units in a block that ends with the prefix, overlapping the
    // one before.
    return i == end || blockMatches(end - 8);
  }
#endif
  for (; i < end; ++i) {
    if ((fold ? FoldAscii(units[i]) : units[i]) != smallPrefix[i]) return false;
  }
  return true;
}

bool PathBeginsWithFolder(std::u16string_view path, std::u16string_view folder, bool boundary) {
  if (!folder.empty() && IsSeparator(folder.back()) && folder.size() > 1) {
    folder.remove_suffix(1);
  }
  if (folder.empty() || path.size() < folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    const char16_t a = path[i];
    const char16_t b = folder[i];
    if (a == b) continue;
    if (FoldAscii(a) != FoldAscii(b) && !(IsSeparator(a) && IsSeparator(b))) return false;
  }
  if (!boundary || path.size() == folder.size()) return true;
  return IsSeparator(path[folder.size()]) || IsSeparator(folder.back()) || folder.back() == u':';
}

std::u16string DecodePercentLeniently(std::u16string_view text,
                                      std::basic_string<uint32_t>* rawEnds) {
  std::u16string out;
  out.reserve(text.size());
  if (rawEnds != nullptr) rawEnds->clear();
  const auto byteAt = [&](size_t i) -> int {
    if (i + 2 >= text.size() || text[i] != u'%') return -1;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
  };
  size_t i = 0;
  while (i < text.size()) {
    const int lead = byteAt(i);
    if (lead >= 0) {
      // One UTF-8 sequence of escapes; anything else leaves the "%" as it is.
      int count = 0;
      char32_t cp = 0;
      char32_t least = 0;
      if (lead < 0x80) {
        count = 1, cp = static_cast<char32_t>(lead);
      } else if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2, cp = static_cast<char32_t>(lead & 0x1F), least = 0x80;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3, cp = static_cast<char32_t>(lead & 0x0F), least = 0x800;
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4, cp = static_cast<char32_t>(lead & 0x07), least = 0x10000;
      }
      bool valid = count > 0;
      for (int k = 1; valid && k < count; ++k) {
        const int next = byteAt(i + 3 * static_cast<size_t>(k));
        if (next < 0 || (next & 0xC0) != 0x80) {
          valid = false;
        } else {
          cp = (cp << 6) | static_cast<char32_t>(next & 0x3F);
        }
      }
      if (valid && (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
      if (valid) {
        const size_t end = i + 3 * static_cast<size_t>(count);
        if (cp >= 0x10000) {
          out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
          out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
          if (rawEnds != nullptr) rawEnds->append(2, static_cast<uint32_t>(end));
        } else {
          out += static_cast<char16_t>(cp);
          if (rawEnds != nullptr) rawEnds->push_back(static_cast<uint32_t>(end));
        }
        i = end;
        continue;
      }
    }
    out += text[i];
    ++i;
    if (rawEnds != nullptr) rawEnds->push_back(static_cast<uint32_t>(i));
  }
  return out;
}

}  // namespace picrelink
