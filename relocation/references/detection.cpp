#include "relocation/references/detection.h"

#include <algorithm>
#include <cstdint>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/references/csv_pieces.h"
#include "relocation/references/detection_stream.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/references/regexpr.h"

namespace picrelink {

std::u16string CollectMatches(std::u16string_view text, std::u16string_view pattern,
                              std::u16string_view templ) {
  TRegExpr engine;
  engine.SetExpression(pattern);
  if (!engine.Exec(text)) return {};
  return engine.Substitute(templ);
}

// The folders here come from the CSV, so they are Windows paths on every
// platform: "\" and ":" separate, whatever the local separator is.
std::u16string ExtractFileDir(std::u16string_view path) {
  const size_t last = path.find_last_of(u"\\:");
  if (last == std::u16string_view::npos) return {};
  size_t length = last + 1;
  // The separator itself is dropped, unless it belongs to a root ("D:\") or
  // follows another separator.
  if (last > 0 && path[last] == u'\\' && path[last - 1] != u'\\' && path[last - 1] != u':') {
    length = last;
  }
  return std::u16string(path.substr(0, length));
}

namespace {

[[noreturn]] void NotAnInteger(std::u16string_view text) {
  throw EConvertError("'" + ToUtf8(text) + "' is not a valid integer value");
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

int32_t LevelToInt(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < text.size() && text[i] == u'0' &&
             (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) NotAnInteger(text);  // no digits at all

  // Accumulated in 64 bits so that a value one past the limit is still seen
  // before anything can wrap.
  uint64_t value = 0;
  if (hex) {
    for (; i < text.size(); ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0) NotAnInteger(text);
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) NotAnInteger(text);  // more than eight significant digits
    }
    // The digits give a 32-bit pattern (FFFFFFFF is -1); a "-" negates it.
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
  }
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') NotAnInteger(text);
    value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (value > limit) NotAnInteger(text);
  }
  const uint32_t bits = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  return static_cast<int32_t>(bits);
}

namespace {

std::u16string FolderOfReferences(const FirstReferences& found, const FormValues& values) {
  if (!found.hasText) return {};
  // The earliest form that occurs wins for the whole text, even over an
  // earlier reference of a later form.
  const size_t form = found.Form();
  if (form < kFormCount) {
    return kReferenceForms[form].folderOf(found.first[form], LevelToInt(values.LevelText()) > 0);
  }
  // No drive anywhere: the local folder that a run here wrote, under the
  // same level rule, so that a package moved again is still found.
  const size_t localForm = found.LocalForm();
  if (localForm < kFormCount) {
    ParsedReference parsed;
    if (ParseReference(found.local[localForm], parsed)) {
      const bool oneHigher = LevelToInt(values.LevelText()) > 0;
      return parsed.path.substr(0, PictureFolderLength(parsed, oneHigher));
    }
  }
  // Nothing found: the empty text still takes the URL form's road.
  return FileUrlToPath(u"");
}

}  // namespace

std::u16string DetectImageFolderIn(const TextSource& source, size_t bufferUnits,
                                   const FormValues& values) {
  return FolderOfReferences(FindFirstReferences(source, bufferUnits), values);
}

std::u16string DetectImageFolder(std::u16string_view csvPath, const FormValues& values) {
  if (csvPath.empty()) return {};
  FirstReferences found;
  {
    // Read once through two buffers, holding nothing of the file but the
    // reference being matched, so that its size does not matter; closed
    // before the level text is looked at. The next piece is read on a
    // thread of its own while this one is searched.
    CsvPieces pieces(csvPath);
    found = FindFirstReferences([&pieces] { return pieces.Next(); });
  }
  return FolderOfReferences(found, values);
}

}  // namespace picrelink
