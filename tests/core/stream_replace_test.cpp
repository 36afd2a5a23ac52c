#include "core/stream_replace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/freplace.h"
#include "core/utf.h"
#include "tests/support/collecting_sink.h"

namespace picrelink {
namespace {

using Collect = test::CollectingSink;

// Feeds text in pieces of the given sizes (cycled), by turns copied and
// written in place, and returns the result.
std::u16string Streamed(std::u16string_view text, std::u16string_view find,
                        std::u16string_view replacement, bool caseSensitive, size_t bufferUnits,
                        const std::vector<size_t>& pieces, int64_t* occurrences) {
  Collect out;
  StreamReplacer replacer(find, replacement, caseSensitive, out, bufferUnits);
  size_t at = 0;
  for (size_t i = 0; at < text.size(); ++i) {
    size_t n = std::min(pieces[i % pieces.size()], text.size() - at);
    if (i % 2 == 0) {
      replacer.Append(text.data() + at, n);
    } else {
      // Written in place, as a file read does.
      n = std::min(n, replacer.FreeUnits());
      std::copy_n(text.data() + at, n, replacer.FreeSpace());
      replacer.Appended(n);
    }
    at += n;
  }
  replacer.Finish();
  *occurrences = replacer.Occurrences();
  return out.text;
}

std::u16string RandomText(std::mt19937& rng, size_t maxLength) {
  // Both cases of two letters, a CJK unit and a unit whose low byte is a letter.
  static constexpr char16_t kAlphabet[] = {u'a', u'A', u'b', u'B', u'图', u'\u0141'};
  std::u16string text(std::uniform_int_distribution<size_t>(0, maxLength)(rng), u' ');
  for (char16_t& c : text) c = kAlphabet[std::uniform_int_distribution<size_t>(0, 5)(rng)];
  return text;
}

// A text to find: as RandomText, never empty.
std::u16string RandomFind(std::mt19937& rng) {
  std::u16string find = RandomText(rng, 5);
  return find.empty() ? u"a" : find;
}

TEST(StreamReplacer, GivesReplaceAllResultForEveryCutOfTheText) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 20000; ++round) {
    const std::u16string text = RandomText(rng, 60);
    const std::u16string find = RandomFind(rng);
    const std::u16string replacement = RandomText(rng, 4);
    const bool caseSensitive = (round & 1) != 0;
    const size_t bufferUnits = std::vector<size_t>{1, 2, 3, 7, 64}[round % 5];
    const std::vector<size_t> pieces = {std::uniform_int_distribution<size_t>(1, 9)(rng),
                                        std::uniform_int_distribution<size_t>(1, 9)(rng), 100};

    int64_t wantedCount = 0;
    const std::u16string wanted = ReplaceAll(text, find, replacement, caseSensitive, &wantedCount);
    int64_t count = -1;
    const std::u16string got =
        Streamed(text, find, replacement, caseSensitive, bufferUnits, pieces, &count);
    ASSERT_EQ(ToUtf8(got), ToUtf8(wanted))
        << "text " << ToUtf8(text) << " find " << ToUtf8(find) << " replacement "
        << ToUtf8(replacement) << " caseSensitive " << caseSensitive << " buffer " << bufferUnits;
    ASSERT_EQ(count, wantedCount);
  }
}

TEST(StreamReplacer, OccurrenceCutAtEveryBoundaryIsReplaced) {
  const std::u16string find = u"D:\\old\\item";
  const std::u16string text = u"x=\"d:\\OLD\\ITEM\\a.jpg\" y=\"D:\\old\\ite\" D:\\old\\item";
  for (size_t bufferUnits = 1; bufferUnits <= text.size() + 1; ++bufferUnits) {
    for (size_t piece = 1; piece <= text.size(); ++piece) {
      int64_t count = 0;
      const std::u16string got = Streamed(text, find, u"/new", false, bufferUnits, {piece}, &count);
      ASSERT_EQ(ToUtf8(got), "x=\"/new\\a.jpg\" y=\"D:\\old\\ite\" /new")
          << "buffer " << bufferUnits << " piece " << piece;
      ASSERT_EQ(count, 2);
    }
  }
}

// A replacement far longer than find: one buffer's replaced text fills the
// replacer's output several times over and is handed on in parts.
TEST(StreamReplacer, ReplacedTextLongerThanItsRoomIsHandedOnInParts) {
  std::mt19937 rng(808);
  std::u16string text;
  for (int i = 0; i < 3000; ++i) text += (rng() % 3 == 0) ? u"Ab" : u"x";
  const std::u16string replacement = RandomText(rng, 300) + u"|";
  int64_t wantedCount = 0;
  const std::u16string wanted = ReplaceAll(text, u"ab", replacement, false, &wantedCount);
  for (const size_t bufferUnits : {size_t{1}, size_t{7}, size_t{64}, size_t{4096}}) {
    int64_t count = 0;
    const std::u16string got =
        Streamed(text, u"ab", replacement, false, bufferUnits, {1, 100, 5000}, &count);
    ASSERT_EQ(ToUtf8(got), ToUtf8(wanted)) << "buffer " << bufferUnits;
    ASSERT_EQ(count, wantedCount);
  }
}

// A sink that queues buffers: it keeps each whole buffer it is given and
// leaves another in its place, by turns empty, of one unit, shorter and
// longer than the one it took, filled with units that must not show up.
struct KeepingSink : TextSink {
  void Append(const char16_t* units, size_t count) override { text.append(units, count); }
  void AppendBuffer(UnitBuffer& buffer, size_t count) override {
    text.append(buffer.data(), count);
    kept.push_back({std::move(buffer), std::u16string(text.end() - count, text.end())});
    const size_t sizes[] = {0, 1, count / 2, 2 * count + 40};
    buffer.assign(sizes[turn++ % 4], u'\uFFFF');
  }
  struct Kept {
    UnitBuffer buffer;
    std::u16string units;  // what it held when it was handed on
  };
  std::u16string text;
  std::vector<Kept> kept;
  size_t turn = 0;
};

TEST(StreamReplacer, GivesReplaceAllResultIntoASinkThatKeepsItsBuffers) {
  std::mt19937 rng(1211);
  for (int round = 0; round < 3000; ++round) {
    const std::u16string text = RandomText(rng, 200);
    const std::u16string find = RandomFind(rng);
    const std::u16string replacement = RandomText(rng, 9);
    const size_t bufferUnits = std::vector<size_t>{1, 2, 7, 64}[round % 4];
    KeepingSink out;
    StreamReplacer replacer(find, replacement, false, out, bufferUnits);
    for (size_t at = 0; at < text.size();) {
      const size_t n = std::min<size_t>(1 + rng() % 20, text.size() - at);
      replacer.Append(text.data() + at, n);
      at += n;
    }
    replacer.Finish();
    int64_t wantedCount = 0;
    const std::u16string wanted = ReplaceAll(text, find, replacement, false, &wantedCount);
    ASSERT_EQ(ToUtf8(out.text), ToUtf8(wanted))
        << "text " << ToUtf8(text) << " find " << ToUtf8(find) << " replacement "
        << ToUtf8(replacement) << " buffer " << bufferUnits;
    ASSERT_EQ(replacer.Occurrences(), wantedCount);
    // Nothing was written into a buffer once it was handed on.
    for (const KeepingSink::Kept& k : out.kept) {
      ASSERT_TRUE(std::equal(k.units.begin(), k.units.end(), k.buffer.begin()));
    }
  }
}

TEST(StreamReplacer, EmptyFindIsTheReplaceAllError) {
  Collect out;
  EXPECT_THROW(StreamReplacer(u"", u"x", false, out), Error);
}

TEST(StreamReplacer, EmptyTextGivesEmptyText) {
  Collect out;
  StreamReplacer replacer(u"ab", u"x", false, out, 1);
  replacer.Append(nullptr, 0);
  replacer.Finish();
  EXPECT_TRUE(out.text.empty());
  EXPECT_EQ(replacer.Occurrences(), 0);
}

}  // namespace
}  // namespace picrelink
