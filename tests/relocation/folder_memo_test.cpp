// The folder memo against reading the value whole: whenever it says that a
// value names the remembered folder, ParseReference and PictureFolderLength
// say the same, with the same form and spelling. Values of every length, so
// that their rests end inside, at and across the blocks the memo reads at
// once.
#include "relocation/references/folder_memo.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/utf.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {
namespace {

std::u16string FoldedFolder(const ParsedReference& parsed, size_t length) {
  std::u16string folder = parsed.path.substr(0, length);
  if ((parsed.spelling & kSpellingLocal) == 0) {
    for (char16_t& c : folder) c = c == u'/' ? u'\\' : FoldAscii(c);
  }
  return folder;
}

TEST(FolderMemoProperty, VouchesOnlyForWhatReadingTheValueSays) {
  // Values remembered first: a folder one or two deep in each spelling.
  static const std::u16string kRemembered[] = {
      u"D:\\a\\b\\c.jpg",         u"d:\\Shop\\item\\c.jpg", u"file:///D:/a/b/c.jpg",
      u"file:///d:\\a\\b\\c.jpg", u"file:/D:/a/b/c.jpg",    u"file://localhost/D:/a/b/c.jpg",
      u"/srv/a/b/c.jpg",          u"file:///srv/a/b/c.jpg", u"D:\\a\\b\\c\\d.jpg"};
  // What follows the remembered folder's units in the values compared.
  static const std::u16string kSeparators[] = {u"\\", u"/"};
  // Names of 1, 2, 7 and 13 units, so that values end anywhere in a block.
  static const std::u16string kNames[] = {u"b", u"X图", u"c.jpg01", u"0123456789abc"};
  static const std::u16string kUnits[] = {u"\\", u"/", u"%", u"%41", u":", u"&", u"\\\\"};
  std::mt19937 rng(77u);
  int vouched = 0;
  for (int round = 0; round < 20000; ++round) {
    const bool oneHigher = rng() % 2 == 0;
    const std::u16string& first = kRemembered[rng() % std::size(kRemembered)];
    ParsedReference parsed;
    // A folder of this system's own, where its paths are no references.
    const bool localFirst = first.starts_with(u"/") || first.starts_with(u"file:///srv");
    if (localFirst && !LocalFoldersHere()) continue;
    ASSERT_TRUE(ParseReference(first, parsed));
    const size_t length = PictureFolderLength(parsed, oneHigher);
    FolderMemo memo;
    memo.Remember(first, parsed, length, oneHigher);
    const std::u16string folder = FoldedFolder(parsed, length);

    // The same folder's units in another letter case, then a rest of one
    // or two components of any length, now and then with a unit of any kind
    // put in anywhere.
    std::u16string value = first.substr(0, parsed.pathStart + length);
    const bool local = (parsed.spelling & kSpellingLocal) != 0;
    for (char16_t& c : value) {
      if (rng() % 3 == 0 && c < 128 && std::isalpha(static_cast<int>(c))) c ^= 0x20;
    }
    // A local folder is named exactly: another case is another folder.
    bool plain = !local || value == first.substr(0, value.size());
    // Now and then another folder: one unit of the remembered one changed,
    // anywhere in it.
    if (rng() % 4 == 0) {
      value[rng() % value.size()] = u'q';
      plain = false;
    }
    // A plain rest: as many components as the level takes, none empty,
    // separated by "\", which every spelling separates with.
    const size_t components = 1 + rng() % 3;
    plain = plain && components == (oneHigher ? 2u : 1u);
    for (size_t k = 0; k < components; ++k) {
      const std::u16string& separator = kSeparators[rng() % std::size(kSeparators)];
      value += separator;
      const size_t names = rng() % 4;
      for (size_t n = 0; n < names; ++n) value += kNames[rng() % std::size(kNames)];
      plain = plain && separator == u"\\" && names > 0;
    }
    const int odd = static_cast<int>(rng() % 4) - 1;
    plain = plain && odd <= 0;
    for (int k = odd; k > 0; --k) {
      const size_t at =
          parsed.pathStart + length + rng() % (value.size() - parsed.pathStart - length);
      value.insert(at, kUnits[rng() % std::size(kUnits)]);
    }
    size_t form = 0;
    unsigned spelling = 0;
    // A memo that vouches for the value it was made from vouches for every
    // plain rest of its folder too: that is what it saves.
    const bool remembered = memo.Matches(first, form, spelling);
    if (!memo.Matches(value, form, spelling)) {
      ASSERT_FALSE(remembered && plain) << ToUtf8(first) << " then " << ToUtf8(value);
      continue;
    }
    ++vouched;
    SCOPED_TRACE(ToUtf8(first) + " then " + ToUtf8(value) + (oneHigher ? " level 1" : " level 0"));
    ParsedReference read;
    ASSERT_TRUE(ParseReference(value, read));
    ASSERT_EQ(ToUtf8(FoldedFolder(read, PictureFolderLength(read, oneHigher))), ToUtf8(folder));
    ASSERT_EQ(form, read.form);
    ASSERT_EQ(spelling, read.spelling);
  }
  // The generator must reach values the memo vouches for.
  EXPECT_GT(vouched, 1000);
}

}  // namespace
}  // namespace picrelink
