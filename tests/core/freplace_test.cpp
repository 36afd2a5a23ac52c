#include "core/freplace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace picrelink {
namespace {

struct ReplaceCase {
  std::u16string source;
  std::u16string find;
  std::u16string replacement;
  bool caseSensitive;
  std::u16string expected;
  int64_t occurrences;
};

class ReplaceAllTable : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceAllTable, GivesTheExpectedTextAndCount) {
  const ReplaceCase& c = GetParam();
  int64_t count = -1;
  EXPECT_EQ(ReplaceAll(c.source, c.find, c.replacement, c.caseSensitive, &count), c.expected);
  EXPECT_EQ(count, c.occurrences);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ReplaceAllTable,
    ::testing::Values(
        // Leftmost first, without overlap.
        ReplaceCase{u"aaaa", u"aa", u"b", false, u"bb", 2},
        ReplaceCase{u"aaa", u"aa", u"b", false, u"ba", 1},
        // The inserted text is not searched again.
        ReplaceCase{u"ab", u"a", u"aa", false, u"aab", 1},
        ReplaceCase{u"d:\\PICS\\a.jpg", u"D:\\pics", u"E:\\new", false, u"E:\\new\\a.jpg", 1},
        // An empty replacement matches exactly, whatever the flag says.
        ReplaceCase{u"File:///x file:///y", u"file:///", u"", false, u"File:///x y", 1},
        ReplaceCase{u"File:///x", u"file:///", u"", false, u"File:///x", 0},
        ReplaceCase{u"a b c", u" ", u"%20", false, u"a%20b%20c", 2},
        ReplaceCase{u"", u"x", u"yy", false, u"", 0},
        ReplaceCase{u"ab", u"abc", u"z", false, u"ab", 0},
        // A match that ends on the last character.
        ReplaceCase{u"xxab", u"AB", u"-", false, u"xx-", 1},
        ReplaceCase{u"ab", u"ab", u"", false, u"", 1},
        ReplaceCase{u"C:\\PICS\\c:\\pics", u"C:\\PICS", u"Z", false, u"Z\\Z", 2},
        ReplaceCase{u"C:\\PICS\\c:\\pics", u"C:\\PICS", u"Z", true, u"Z\\c:\\pics", 1},
        // Only a-z and A-Z are folded: not non-ASCII letters, not the
        // characters whose codes differ from a letter pair's by 32.
        ReplaceCase{u"\u00C9t\u00E9", u"\u00E9", u"e", false, u"\u00C9te", 1},
        ReplaceCase{u"[x]", u"{x}", u"y", false, u"[x]", 0},
        ReplaceCase{u"a\\b", u"|", u"/", false, u"a\\b", 0},
        ReplaceCase{u"@`", u"`", u"!", false, u"@!", 1},
        ReplaceCase{u"a\u56FEab", u"AB", u"!", false, u"a\u56FE!", 1},
        ReplaceCase{u"\u56FE\u56FE", u"\u56FE", u"\u56FE\u56FE", false, u"\u56FE\u56FE\u56FE\u56FE",
                    2}));

TEST(ReplaceAll, RefusesAnEmptyFindText) {
  EXPECT_THROW(ReplaceAll(u"abc", u"", u"x", false), Error);
  EXPECT_THROW(ReplaceAll(u"", u"", u"", true), Error);
}

TEST(ReplaceAll, LeavesTheCountAloneWhenNotAsked) {
  EXPECT_EQ(ReplaceAll(u"aXa", u"x", u"yy", false), u"ayya");
}

// Every character replaced by a longer text: the result fills all the room
// reserved for the worst case.
TEST(ReplaceAll, GrowsToTheWorstCase) {
  const std::u16string source(100000, u'a');
  std::u16string expected;
  for (int i = 0; i < 100000; ++i) expected += u"xyz";
  int64_t count = 0;
  EXPECT_EQ(ReplaceAll(source, u"A", u"xyz", false, &count), expected);
  EXPECT_EQ(count, 100000);
}

struct SearchCase {
  std::u16string source;
  std::u16string find;
  int32_t start;
  int32_t exact;
  int32_t noCase;
};

class SearchTable : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchTable, FindsTheFirstOccurrenceFromStart) {
  const SearchCase& c = GetParam();
  const auto sourceLen = static_cast<int32_t>(c.source.size());
  const auto findLen = static_cast<int32_t>(c.find.size());
  EXPECT_EQ(SearchExact(c.source.data(), c.find.data(), sourceLen, findLen, c.start), c.exact);
  EXPECT_EQ(SearchNoCase(c.source.data(), c.find.data(), sourceLen, findLen, c.start), c.noCase);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, SearchTable,
    ::testing::Values(
        // A rejected candidate is followed by the very next position.
        SearchCase{u"a\u56FEab", u"ab", 1, 3, 3}, SearchCase{u"aaab", u"aab", 1, 2, 2},
        // From the position where the only occurrence begins, and after it.
        SearchCase{u"xxabx", u"ab", 3, 3, 3}, SearchCase{u"xxabx", u"ab", 4, 0, 0},
        // Start beyond the last candidate L - F + 1.
        SearchCase{u"xxab", u"ab", 4, 0, 0}, SearchCase{u"xxab", u"ab", 100, 0, 0},
        SearchCase{u"ab", u"abc", 1, 0, 0}, SearchCase{u"", u"a", 1, 0, 0},
        // Folding applies to both texts, at every position of the find text.
        SearchCase{u"xAbC", u"aBc", 1, 0, 2}, SearchCase{u"xaBc", u"AbC", 2, 0, 2},
        SearchCase{u"ABC", u"ABC", 1, 1, 1}, SearchCase{u"\u00C9", u"\u00E9", 1, 0, 0},
        SearchCase{u"[\\]^", u"{|}~", 1, 0, 0}, SearchCase{u"{|}~", u"[\\]^", 1, 0, 0},
        SearchCase{u"aa", u"a", 2, 2, 2}, SearchCase{u"Za", u"z", 1, 0, 1}));

TEST(MoveChars, CopiesForwardAndNothingForZero) {
  const std::u16string source = u"abcdef";
  std::u16string dest = u"------";
  MoveChars(source.data() + 1, dest.data() + 2, 3);
  EXPECT_EQ(dest, u"--bcd-");
  MoveChars(source.data(), dest.data(), 0);
  EXPECT_EQ(dest, u"--bcd-");
}

// ---- Comparison with a naive implementation on random texts ----

char16_t NaiveFold(char16_t c) {
  constexpr std::u16string_view lower = u"abcdefghijklmnopqrstuvwxyz";
  constexpr std::u16string_view upper = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const size_t i = lower.find(c);
  return i == std::u16string_view::npos ? c : upper[i];
}

bool NaiveMatchAt(std::u16string_view source, size_t at, std::u16string_view find, bool fold) {
  if (at + find.size() > source.size()) return false;
  for (size_t i = 0; i < find.size(); ++i) {
    const char16_t a = source[at + i];
    const char16_t b = find[i];
    if (fold ? NaiveFold(a) != NaiveFold(b) : a != b) return false;
  }
  return true;
}

std::u16string NaiveReplaceAll(std::u16string_view source, std::u16string_view find,
                               std::u16string_view replacement, bool caseSensitive,
                               int64_t& occurrences) {
  const bool fold = !caseSensitive && !replacement.empty();
  std::u16string out;
  occurrences = 0;
  size_t i = 0;
  while (i < source.size()) {
    if (NaiveMatchAt(source, i, find, fold)) {
      out += replacement;
      i += find.size();
      ++occurrences;
    } else {
      out += source[i++];
    }
  }
  return out;
}

int32_t NaiveSearch(std::u16string_view source, std::u16string_view find, int32_t start,
                    bool fold) {
  for (size_t at = static_cast<size_t>(start - 1); at < source.size(); ++at) {
    if (NaiveMatchAt(source, at, find, fold)) return static_cast<int32_t>(at + 1);
  }
  return 0;
}

// Letters and their other case, non-ASCII letters in both cases, a CJK
// character, and the neighbours of the ASCII letters that must not fold.
constexpr std::u16string_view kAlphabet = u"aAbBzZ\u00E9\u00C9\u56FE\\[{|^@`";

std::u16string RandomText(std::mt19937& rng, std::u16string_view letters, size_t maxLength,
                          size_t minLength = 0) {
  std::uniform_int_distribution<size_t> length(minLength, maxLength);
  std::uniform_int_distribution<size_t> pick(0, letters.size() - 1);
  std::u16string text(length(rng), u' ');
  for (char16_t& c : text) c = letters[pick(rng)];
  return text;
}

// ReplaceAll and its count against NaiveReplaceAll for one case.
void ExpectAgreesWithNaive(std::u16string_view source, std::u16string_view find,
                           std::u16string_view replacement, bool caseSensitive) {
  int64_t expectedCount = 0;
  const std::u16string expected =
      NaiveReplaceAll(source, find, replacement, caseSensitive, expectedCount);
  int64_t count = -1;
  ASSERT_EQ(ReplaceAll(source, find, replacement, caseSensitive, &count), expected)
      << "source " << ::testing::PrintToString(std::u16string(source)) << " find "
      << ::testing::PrintToString(std::u16string(find)) << " replacement "
      << ::testing::PrintToString(std::u16string(replacement)) << " caseSensitive "
      << caseSensitive;
  ASSERT_EQ(count, expectedCount);
}

TEST(ReplaceAll, AgreesWithANaiveImplementation) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<size_t> letterCount(2, 5);
  std::uniform_int_distribution<size_t> letterPick(0, kAlphabet.size() - 1);
  for (int i = 0; i < 20000; ++i) {
    // A few letters per case, so that the find text occurs often.
    std::u16string letters;
    for (size_t n = letterCount(rng); n > 0; --n) letters += kAlphabet[letterPick(rng)];
    const std::u16string source = RandomText(rng, letters, 24);
    const std::u16string find = RandomText(rng, letters, 4, 1);
    const std::u16string replacement = RandomText(rng, kAlphabet, 5);
    const bool caseSensitive = (i % 2) == 0;
    SCOPED_TRACE(::testing::Message() << "case " << i);

    ASSERT_NO_FATAL_FAILURE(ExpectAgreesWithNaive(source, find, replacement, caseSensitive));

    const auto sourceLen = static_cast<int32_t>(source.size());
    const auto findLen = static_cast<int32_t>(find.size());
    const int32_t start = std::uniform_int_distribution<int32_t>(1, sourceLen + 2)(rng);
    ASSERT_EQ(SearchExact(source.data(), find.data(), sourceLen, findLen, start),
              NaiveSearch(source, find, start, false));
    ASSERT_EQ(SearchNoCase(source.data(), find.data(), sourceLen, findLen, start),
              NaiveSearch(source, find, start, true));
  }
}

// ---- Longer texts, where the vector searches do the work ----

// Like the test above, with texts long enough for several vector blocks and
// finds long enough to be compared block by block.
TEST(ReplaceAll, AgreesWithANaiveImplementationOnLongerTexts) {
  std::mt19937 rng(8802);
  std::uniform_int_distribution<size_t> letterCount(2, 4);
  std::uniform_int_distribution<size_t> letterPick(0, kAlphabet.size() - 1);
  std::uniform_int_distribution<size_t> findLength(1, 24);
  for (int i = 0; i < 3000; ++i) {
    std::u16string letters;
    for (size_t n = letterCount(rng); n > 0; --n) letters += kAlphabet[letterPick(rng)];
    const std::u16string find = RandomText(rng, letters, findLength(rng), 1);
    // Pieces of plain text with copies of find between them, some in the
    // other case, so that long finds occur too.
    std::u16string source;
    for (size_t pieces = rng() % 12; pieces > 0; --pieces) {
      source += RandomText(rng, letters, 40);
      std::u16string copy = find;
      for (char16_t& c : copy) {
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (letter && rng() % 3 == 0) c = static_cast<char16_t>(c ^ 0x20);
      }
      source += copy;
    }
    const std::u16string replacement = RandomText(rng, kAlphabet, 30);
    const bool caseSensitive = (i % 2) == 0;
    ASSERT_NO_FATAL_FAILURE(ExpectAgreesWithNaive(source, find, replacement, caseSensitive));
  }
}

// A result of tens of megabytes, the size of a whole listing file, is built
// in memory that is handled differently from small results.
TEST(ReplaceAll, AgreesWithANaiveImplementationOnAWholeFile) {
  std::mt19937 rng(4410);
  const std::u16string letters = u"aAbB\u56FE";
  std::u16string source;
  while (source.size() < 6'000'000) {
    source += RandomText(rng, letters, 60, 1);
    source += (rng() % 2 == 0) ? u"D:\\Old\\item1" : u"d:\\old\\ITEM1";
  }
  for (const std::u16string replacement : {u"E:\\new\\folder\\item1", u"E:\\n"}) {
    int64_t expectedCount = 0;
    const std::u16string expected =
        NaiveReplaceAll(source, u"D:\\old\\item1", replacement, false, expectedCount);
    int64_t count = -1;
    const std::u16string result =
        ReplaceAll(source, u"D:\\old\\item1", replacement, false, &count);
    ASSERT_EQ(result.size(), expected.size());
    EXPECT_TRUE(result == expected);
    EXPECT_EQ(count, expectedCount);
  }
}

}  // namespace
}  // namespace picrelink
