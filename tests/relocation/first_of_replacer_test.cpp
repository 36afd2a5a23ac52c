// One sweep over several find texts: the leftmost occurrence of any of them,
// replaced text never searched again, the same result however the text is cut.
#include "relocation/run/first_of_replacer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/utf.h"
#include "tests/support/collecting_sink.h"

namespace picrelink {
namespace {

using Collect = test::CollectingSink;

std::u16string Swept(const std::vector<FirstOfReplacer::Pattern>& patterns,
                     std::u16string_view text, size_t piece,
                     std::vector<int64_t>* counts = nullptr) {
  Collect out;
  FirstOfReplacer replacer(patterns, out, piece);
  for (size_t at = 0; at < text.size(); at += piece) {
    const std::u16string_view part = text.substr(at, piece);
    replacer.Append(part.data(), part.size());
  }
  replacer.Finish();
  if (counts != nullptr) *counts = replacer.Occurrences();
  return out.text;
}

// A local folder's URL form, then its path form, which occurs inside it.
const std::vector<FirstOfReplacer::Pattern> kLocal = {
    {u"file:////srv/pics", u"file:////srv/pics/x/pics"}, {u"/srv/pics", u"/srv/pics/x/pics"}};

TEST(FirstOfReplacerTest, TakesTheLeftmostOccurrenceAndNeverSearchesItsReplacementAgain) {
  struct Case {
    std::u16string text, expected;
    std::vector<int64_t> counts;
  } const cases[] = {
      // The new folder inside the old one: each reference rewritten once.
      {u"src=\"\"/srv/pics\\a.jpg\"\" src=\"\"file:////srv/pics/b.jpg\"\"",
       u"src=\"\"/srv/pics/x/pics\\a.jpg\"\" src=\"\"file:////srv/pics/x/pics/b.jpg\"\"",
       {1, 1}},
      // ASCII letters folded, as the passes fold them.
      {u"FILE:////SRV/Pics/c.jpg", u"file:////srv/pics/x/pics/c.jpg", {1, 0}},
      {u"/srv/picsfile:////srv/pics", u"/srv/pics/x/picsfile:////srv/pics/x/pics", {1, 1}},
      {u"nothing here", u"nothing here", {0, 0}},
  };
  for (const Case& c : cases) {
    for (const size_t piece : {1, 2, 5, 64}) {
      std::vector<int64_t> counts;
      EXPECT_EQ(ToUtf8(Swept(kLocal, c.text, piece, &counts)), ToUtf8(c.expected))
          << ToUtf8(c.text) << " in pieces of " << piece;
      EXPECT_EQ(counts, c.counts) << ToUtf8(c.text);
    }
  }
}

TEST(FirstOfReplacerProperty, PiecesGiveTheWholeTextResult) {
  static const std::u16string kParts[] = {u"file:///", u"/srv/", u"pics",  u"/",
                                          u"x",        u"\"\"",  u"FILE:", u"/SRV/PICS"};
  std::mt19937 rng(2205u);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    const int parts = static_cast<int>(rng() % 30);
    for (int i = 0; i < parts; ++i) text += kParts[rng() % std::size(kParts)];
    std::vector<int64_t> wholeCounts;
    const std::u16string whole = Swept(kLocal, text, text.size() + 1, &wholeCounts);
    std::vector<int64_t> counts;
    ASSERT_EQ(ToUtf8(Swept(kLocal, text, 1 + rng() % 7, &counts)), ToUtf8(whole)) << ToUtf8(text);
    ASSERT_EQ(counts, wholeCounts);
  }
}

}  // namespace
}  // namespace picrelink
