// The rests the picture search looks the tree's files up by, against reading
// every reference whole (ParseReference, its path's beginning, its rest).
#include "relocation/census/picture_rests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "core/utf.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {
namespace {

struct PlainRests {
  int64_t references = 0;
  size_t deepest = 0;
  std::map<std::u16string, int64_t> counts;
};

// Every reference read whole: its path decoded, its folder compared.
void TakePlain(std::u16string_view value, const std::array<std::u16string, 2>& oldFolders,
               std::array<PlainRests, 2>& levels) {
  ParsedReference parsed;
  if (!ParseReference(value, parsed) || (parsed.spelling & kSpellingLocal) != 0) return;
  for (size_t level = 0; level < 2; ++level) {
    const std::u16string& folder = oldFolders[level];
    if (folder.empty() || !PathBeginsWithFolder(parsed.path, folder, true)) continue;
    std::u16string key;
    AppendKey(std::u16string_view(parsed.path).substr(folder.size()), key);
    if (key.empty()) continue;
    ++levels[level].references;
    ++levels[level].counts[key];
    levels[level].deepest = std::max(levels[level].deepest, KeyComponents(key));
  }
}

TEST(PictureRestsProperty, CountsWhatReadingEveryReferenceCounts) {
  // Heads of every spelling and some that are none; then units of every
  // kind that a rest may hold, escapes of separators among them.
  static const std::u16string kHeads[] = {
      u"D:\\a", u"d:\\A", u"D:/a", u"file:///D:/a", u"file:///d:\\A", u"FILE:///D:/a",
      u"file:///D:%5Ca", u"file:/D:/a", u"file:///srv/a", u"/srv/a", u"http://x/a", u"\\\\srv\\a",
      u"file://localhost/D:/a", u"file:///D:/a%20", u"D:\\", u"file:///", u"file://localhost/",
      // Nearly a drive: no letter, no separator behind it.
      u"1:\\a", u"file:///D:a", u"file:///1:/a"};
  static const std::u16string kParts[] = {u"\\", u"/",  u"b",    u"B",     u"%41", u"%2F", u"%5C",
                                          u"%",  u"图", u"\\\\", u"c.jpg", u"#",   u"?",   u":"};
  // The folders the CSV names at each level, as detection gives them: a
  // drive's root (the only one with a separator at its end), another letter
  // case, "/" for "\", a name going on past another, none.
  static const std::u16string kFolders[] = {u"D:\\a",  u"D:\\a\\b", u"d:\\A",  u"D:\\",    u"d:/a",
                                            u"D:\\ab", u"",         u"/srv/a", u"D:\\a\\B"};
  std::mt19937 rng(4242u);
  int64_t counted = 0;
  for (int round = 0; round < 3500; ++round) {
    std::array<Rests, 2> levels;
    std::array<std::u16string, 2> oldFolders;
    for (size_t level = 0; level < 2; ++level) {
      oldFolders[level] = kFolders[rng() % std::size(kFolders)];
      levels[level].oldFolder = oldFolders[level];
    }
    RestCollector collector(levels);
    std::array<PlainRests, 2> plain;
    std::u16string trace;
    const int values = 1 + static_cast<int>(rng() % 20);
    for (int v = 0; v < values; ++v) {
      std::u16string value = kHeads[rng() % std::size(kHeads)];
      const int parts = static_cast<int>(rng() % 8);
      for (int k = 0; k < parts; ++k) value += kParts[rng() % std::size(kParts)];
      trace += value + u" ";
      // Where the raw path is said to be the path, it is ParseReference's.
      size_t pathStart = 0;
      bool local = false;
      if (RawReferencePath(value, pathStart, local)) {
        ParsedReference parsed;
        ASSERT_TRUE(ParseReference(value, parsed)) << ToUtf8(value);
        std::u16string raw = value.substr(pathStart);
        if (parsed.form == kUrlForm && !local) std::replace(raw.begin(), raw.end(), u'/', u'\\');
        ASSERT_EQ(ToUtf8(raw), ToUtf8(parsed.path)) << ToUtf8(value);
        ASSERT_EQ(pathStart, parsed.pathStart) << ToUtf8(value);
        ASSERT_EQ(local, (parsed.spelling & kSpellingLocal) != 0) << ToUtf8(value);
      }
      collector.Take(value);
      TakePlain(value, oldFolders, plain);
    }
    SCOPED_TRACE(ToUtf8(trace) + "under " + ToUtf8(oldFolders[0]) + " and " +
                 ToUtf8(oldFolders[1]));
    for (size_t level = 0; level < 2; ++level) {
      const std::map<std::u16string, int64_t> counts(levels[level].counts.begin(),
                                                     levels[level].counts.end());
      ASSERT_EQ(levels[level].references, plain[level].references);
      ASSERT_EQ(levels[level].deepest, plain[level].deepest);
      ASSERT_EQ(counts, plain[level].counts);
      counted += plain[level].references;
    }
  }
  // The generator must reach rests that count.
  EXPECT_GT(counted, 5000);
}

}  // namespace
}  // namespace picrelink
