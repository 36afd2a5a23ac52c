#include "relocation/startup.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "relocation/detection.h"

namespace picrelink {
namespace {

// Order by code points rather than UTF-16 code units, so that names beyond
// U+FFFF sort after U+E000..U+FFFF as they do everywhere else.
char32_t CodePointAt(std::u16string_view s, size_t &i) {
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
  for (char16_t &c : extension) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return extension == u".csv";
}

}  // namespace

std::u16string FindCsvInFolder(std::u16string_view folder) {
  std::u16string result;
  try {
    std::vector<platform::FolderEntry> entries = platform::ListFolder(folder);
    // Descending, so that the last match kept below is the name that sorts
    // first: the same on every machine, and a backup (goods_备份.csv) never
    // wins over its original (goods.csv).
    std::sort(entries.begin(), entries.end(),
              [](const auto &a, const auto &b) { return CodePointsLess(b.name, a.name); });
    const std::u16string separator(1, platform::kLocalSeparator);
    for (const auto &entry : entries) {
      if (entry.isDirectory || !HasCsvExtension(entry.name)) continue;
      result = AppendSeparator(folder, separator) + entry.name;
    }
  } catch (const std::exception &) {
    // Discovery never fails: an unreadable folder simply holds no CSV.
  }
  return result;
}

void StartUp(FormValues &values, std::u16string_view programFolder) {
  values.SetBtn1(FindCsvInFolder(programFolder));
  values.SetBtn3(programFolder);
  Redetect(values);
}

void Redetect(FormValues &values) {
  // Detection raises before anything is stored, so an error leaves btn2 and
  // btn3 as they were.
  const std::u16string folder = DetectImageFolder(values.Btn1(), values);
  values.SetBtn2(folder);
  if (folder.empty()) return;
  const std::u16string actual = values.Btn3();
  const std::u16string proposed = ProposeActualFolder(actual, folder);
  if (proposed != actual) values.SetBtn3(proposed);
}

std::u16string ProposeActualFolder(std::u16string_view actual, std::u16string_view detected) {
  if (detected.empty()) return std::u16string(actual);
  const std::u16string detectedName = LastPathPart(detected);
  if (detectedName == LastPathPart(actual)) return std::u16string(actual);
  return AppendSeparator(actual, std::u16string(1, platform::kLocalSeparator)) + detectedName;
}

}  // namespace picrelink
