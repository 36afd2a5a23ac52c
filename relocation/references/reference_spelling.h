#pragma once
// Every spelling in which listing files name a picture, beyond the two
// patterns that detection searches: file URLs percent-encoded in any part,
// with "localhost", with one slash, with backslashes, and (on POSIX systems)
// the local folders that a run there writes (/srv/pics\item\1.jpg,
// file:////srv/pics/item/1.jpg).
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "relocation/language.h"
#include "relocation/references/reference_forms.h"

namespace picrelink {

enum SpellingBit : unsigned {
  kSpellingEncoded = 1u << 0,    // percent escapes in the path (%E5%9B%BE, %5c)
  kSpellingLocalhost = 1u << 1,  // file://localhost/D:/
  kSpellingOneSlash = 1u << 2,   // file:/D:/
  kSpellingBackslash = 1u << 3,  // file:///D:\ (a "\" after the drive)
  kSpellingLocal = 1u << 4,      // a folder of this machine, not a Windows path
};

// Report names, one per bit; a reference with none of them is "standard".
inline constexpr std::string_view kStandardSpelling = "standard";
inline constexpr std::array<std::pair<SpellingBit, std::string_view>, 5> kSpellingNames = {{
    {kSpellingEncoded, "percent-encoded"},
    {kSpellingLocalhost, "localhost"},
    {kSpellingOneSlash, "file:/"},
    {kSpellingBackslash, "backslashes"},
    {kSpellingLocal, "local folder"},
}};

struct ParsedReference {
  size_t form = 0;        // kPathForm or kUrlForm
  unsigned spelling = 0;  // SpellingBit values; 0 for the standard spelling
  size_t pathStart = 0;   // where the path begins in the value, behind scheme and host
  // The path the value names: for a drive, a Windows path ("\" between
  // components, escapes decoded); for a local folder, the local path as
  // written behind the scheme (decoded), with whatever separators it holds.
  std::u16string path;
  // How much of path a browser follows: a file URL is cut at its first raw
  // "#" (a fragment) or "?" (a query). The whole path for the path form.
  size_t browserLength = std::u16string::npos;
};

// A spelling name (kStandardSpelling, kSpellingNames) as the seller reads
// it in the language: the name itself in English.
std::u16string SpellingLabel(std::string_view name, Language language);

// Counts a reference (or times references of one spelling) under each
// spelling name it has (kStandardSpelling for none).
void CountSpellings(std::map<std::string, int64_t>& counts, unsigned spelling, int64_t times = 1);

// For the reference scan: the form of kReferenceForms that a value head
// belongs to in any spelling, or kNotAReference.
int ClassifySpelledHead(std::u16string_view head);

// Whether text holds an ASCII letter and ":" at `at`, and one unit more.
inline bool DriveLetterAt(std::u16string_view text, size_t at) {
  if (text.size() < at + 3 || text[at + 1] != u':') return false;
  const char16_t small = text[at] | 0x20;  // a capital as its small letter
  return small >= u'a' && small <= u'z';
}

// The head of a drive's path (D:\) or of its file URL as listing tools write
// it (file:///D:/ or file:///D:\), which most values have: its form, and
// where the path begins (behind file:///); -1 for any other head.
inline int CommonHead(std::u16string_view head, size_t& pathStart) {
  if (DriveLetterAt(head, 0) && head[2] == u'\\') {
    pathStart = 0;
    return static_cast<int>(kPathForm);
  }
  if (head.substr(0, 8) == u"file:///" && DriveLetterAt(head, 8) &&
      (head[10] == u'/' || head[10] == u'\\')) {
    pathStart = 8;
    return static_cast<int>(kUrlForm);
  }
  return -1;
}

// ClassifySpelledHead, with the common heads told inline, without a call.
inline int ClassifyCommonSpelledHead(std::u16string_view head) {
  size_t pathStart = 0;
  const int form = CommonHead(head, pathStart);
  return form >= 0 ? form : ClassifySpelledHead(head);
}

// Whether this system writes local folders into a CSV (POSIX systems, whose
// paths have no drive); on Windows every local path is a drive path.
bool LocalFoldersHere();
// Whether a folder value names a local folder in that sense (a POSIX path).
bool IsLocalFolder(std::u16string_view folder);

// For detection, which looks for a local folder only where the CSV names no
// drive: the form that a value head has in what a run here writes, a local
// path (/srv/pics\item\1.jpg) or its file URL (file:////srv/pics/item/1.jpg),
// "file:" in lower case as detection's patterns have it; kNotAReference for
// any other head, and always on Windows.
int ClassifyLocalHead(std::u16string_view head);

// Whether a value head names a local picture in a way no run can rewrite
// here: a UNC path (\\server\share\...), a file URL with a host of its own
// (file://server/share/...), or a drive with "/" and no file:/// (D:/...).
// Web addresses are none of these.
bool IsUnrewritableHead(std::u16string_view head);

// Reads the value (the text after src="", up to the closing quotation mark)
// in any spelling into out, reusing its storage; false when it names no
// picture.
bool ParseReference(std::u16string_view value, ParsedReference& out);

// Where the path of value begins, as ParseReference reads it, without
// building the path: true when its path is value's units from pathStart on
// (but that a drive's file URL has "\" for "/" there): a path form, or a
// file URL without "%" in its path. false when ParseReference finds no picture, or
// would decode the path: ParseReference is the way then. local: the spelling
// is kSpellingLocal.
bool RawReferencePath(std::u16string_view value, size_t& pathStart, bool& local);

// The folder that a picture path names under the level rule, as the length
// of the path's beginning that it is: the picture's own folder, or the one
// above when oneHigher. In a Windows path "\" and ":" separate and a root
// keeps its "\" (as detection's rule has it); in a local path "/" and "\"
// both separate (a run leaves /srv/pics\item\1.jpg).
size_t PictureFolderLength(const ParsedReference& reference, bool oneHigher);

// An ASCII capital as its small letter; every other unit as it is. The one
// folding that the passes, the census and the checks share.
inline char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Whether text begins with prefix, ASCII letters folded.
bool BeginsFolded(std::u16string_view text, std::u16string_view prefix);

// The same for a prefix whose ASCII letters are already small (FoldAscii),
// eight units at a time: for a prefix that many values are compared with.
// fold false compares exactly.
bool BeginsWithSmall(std::u16string_view text, std::u16string_view smallPrefix, bool fold = true);

// Whether path begins with folder, the ASCII letters folded as the run's
// replacement folds them; for a Windows path "/" and "\" count alike.
// boundary: the folder must be followed by a separator or the path's end.
bool PathBeginsWithFolder(std::u16string_view path, std::u16string_view folder, bool boundary);

// Percent-decoding that never fails: escapes that form valid UTF-8 are
// decoded, any other "%" stays as written. rawEnds, when given, receives for
// every decoded code unit the position in text just behind the escape or
// character it came from.
std::u16string DecodePercentLeniently(std::u16string_view text,
                                      std::basic_string<uint32_t>* rawEnds = nullptr);

}  // namespace picrelink
