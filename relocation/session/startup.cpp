#include "relocation/session/startup.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/references/detection.h"

namespace picrelink {
namespace {

// Order by code points rather than UTF-16 code units, so that names beyond
// U+FFFF sort after U+E000..U+FFFF as they do everywhere else.
char32_t CodePointAt(std::u16string_view s, size_t& i) {
  const char16_t c = s[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i++]) - 0xDC00);
  }
  return c;
}

bool CodePointsLess(std::u16string_view a, std::u16string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = CodePointAt(a, i);
    const char32_t y = CodePointAt(b, j);
    if (x != y) return x < y;
  }
  return i == a.size() && j < b.size();
}

bool HasCsvExtension(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  std::u16string extension(name.substr(dot));
  for (char16_t& c : extension) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return extension == u".csv";
}

// A spreadsheet's owner file (~$goods.csv, a few bytes naming who has
// goods.csv open) is never a listing.
bool IsOwnerFile(std::u16string_view name) { return name.starts_with(u"~$"); }

// Whether the file begins with FF FE, the mark of the text the run reads. A
// file that cannot be opened or read (held by another program, gone) has no
// mark. Other readers may read it meanwhile.
bool HasUtf16LeMark(std::u16string_view path) {
  try {
    platform::InputFile file(path, platform::Sharing::ReadersAllowed);
    unsigned char mark[2] = {};
    return file.Read(mark, sizeof mark) == sizeof mark && mark[0] == 0xFF && mark[1] == 0xFE;
  } catch (const std::exception&) {
    return false;
  }
}

// The name of one of the run's backups: the stem ends in "_备份", possibly
// numbered "_备份(2)", "_备份(3)", ...
bool IsBackupStem(std::u16string_view stem) {
  constexpr std::u16string_view kBackupMark = u"_备份";
  if (stem.ends_with(u')')) {
    const size_t open = stem.rfind(u'(');
    if (open == std::u16string_view::npos || open + 2 >= stem.size()) return false;
    for (char16_t c : stem.substr(open + 1, stem.size() - open - 2)) {
      if (c < u'0' || c > u'9') return false;
    }
    stem = stem.substr(0, open);
  }
  return stem.ends_with(kBackupMark);
}

struct Candidate {
  std::u16string name;
  size_t stemLength = 0;  // the name without its extension
  bool marked = false;
  bool backup = false;

  std::u16string_view Stem() const { return std::u16string_view(name).substr(0, stemLength); }
};

// The taken candidate first: one that is not a backup, one with the mark, the
// stem that sorts first by code points (goods before "goods - copy",
// "goods(1)" and goods_备份), the name that sorts first. An original saved
// again in another encoding still wins over its backup: rewriting the backup
// would leave the seller's own file as it was, while the original's encoding
// can be told and explained.
bool TakenBefore(const Candidate& a, const Candidate& b) {
  if (a.backup != b.backup) return b.backup;
  if (a.marked != b.marked) return a.marked;
  if (CodePointsLess(a.Stem(), b.Stem())) return true;
  if (CodePointsLess(b.Stem(), a.Stem())) return false;
  return CodePointsLess(a.name, b.name);
}

}  // namespace

std::vector<std::u16string> FindCsvCandidates(std::u16string_view folder) {
  std::vector<std::u16string> paths;
  try {
    const std::u16string prefix =
        AppendSeparator(folder, std::u16string(1, platform::kLocalSeparator));
    std::vector<Candidate> candidates;
    for (auto& entry : platform::ListFolder(folder)) {
      if (entry.isDirectory || !HasCsvExtension(entry.name) || IsOwnerFile(entry.name)) continue;
      Candidate candidate;
      candidate.name = std::move(entry.name);
      candidate.stemLength = candidate.name.rfind(u'.');
      candidate.backup = IsBackupStem(candidate.Stem());
      candidate.marked = HasUtf16LeMark(prefix + candidate.name);
      candidates.push_back(std::move(candidate));
    }
    std::sort(candidates.begin(), candidates.end(), TakenBefore);
    paths.reserve(candidates.size());
    for (const Candidate& candidate : candidates) paths.push_back(prefix + candidate.name);
  } catch (const std::exception&) {
    // Discovery never fails: an unreadable folder simply holds no CSV.
    paths.clear();
  }
  return paths;
}

std::u16string FindCsvInFolder(std::u16string_view folder) {
  std::vector<std::u16string> candidates = FindCsvCandidates(folder);
  return candidates.empty() ? std::u16string() : std::move(candidates.front());
}

void StartUp(FormValues& values, std::u16string_view programFolder) {
  StartUp(values, programFolder, FindCsvCandidates(programFolder));
}

void StartUp(FormValues& values, std::u16string_view programFolder,
             const std::vector<std::u16string>& candidates) {
  values.SetBtn1(candidates.empty() ? std::u16string() : candidates.front());
  values.SetBtn3(programFolder);
  Redetect(values);
}

void Redetect(FormValues& values) {
  // Detection raises before anything is stored, so an error leaves btn2 and
  // btn3 as they were.
  const std::u16string folder = DetectImageFolder(values.Btn1(), values);
  values.SetBtn2(folder);
  if (folder.empty()) return;
  const std::u16string actual = values.Btn3();
  const std::u16string proposed = ProposeActualFolder(actual, folder);
  if (proposed != actual) values.SetBtn3(proposed);
}

void ChooseCsv(FormValues& values, std::u16string_view csvPath) {
  values.SetBtn1(csvPath);
  Redetect(values);
}

std::u16string ProposeActualFolder(std::u16string_view actual, std::u16string_view detected) {
  if (detected.empty()) return std::u16string(actual);
  const std::u16string detectedName = LastPathPart(detected);
  if (detectedName == LastPathPart(actual)) return std::u16string(actual);
  return JoinFolder(actual, detectedName);
}

}  // namespace picrelink
