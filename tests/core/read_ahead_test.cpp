#include "core/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "core/error.h"

namespace picrelink {
namespace {

// Gives text in pieces of random sizes up to what is asked for.
struct PiecesOf {
  std::u16string text;
  std::mt19937 rng;
  size_t given = 0;
  size_t operator()(char16_t* units, size_t maxUnits) {
    const size_t most = std::min(maxUnits, text.size() - given);
    const size_t count = most == 0 ? 0 : 1 + rng() % most;
    std::copy_n(text.data() + given, count, units);
    given += count;
    return count;
  }
};

// On a thread of its own and on the caller's, the same pieces, end and
// errors.
class ReadAheadModes : public testing::TestWithParam<bool> {};

TEST_P(ReadAheadModes, HandsOutTheWholeTextInOrderThenTheEndForGood) {
  std::mt19937 rng(515);
  for (const size_t bufferUnits : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
    std::u16string text(std::uniform_int_distribution<size_t>(0, 20000)(rng), u' ');
    for (char16_t& c : text) c = static_cast<char16_t>(rng());
    ReadAhead ahead(PiecesOf{text, std::mt19937(static_cast<uint32_t>(bufferUnits))}, bufferUnits,
                    GetParam());
    std::u16string got;
    for (std::u16string_view piece; !(piece = ahead.Next()).empty();) {
      ASSERT_LE(piece.size(), bufferUnits);
      got += piece;
    }
    EXPECT_EQ(got, text) << bufferUnits;
    EXPECT_TRUE(ahead.Next().empty());
  }
}

TEST_P(ReadAheadModes, TheSourcesErrorComesAfterThePiecesBeforeItAndStays) {
  int calls = 0;
  ReadAhead ahead(
      [&calls](char16_t* units, size_t) -> size_t {
        if (++calls == 3) throw Error("Stream read error. Input/output error");
        units[0] = static_cast<char16_t>(u'0' + calls);
        return 1;
      },
      8, GetParam());
  EXPECT_EQ(ahead.Next(), u"1");
  EXPECT_EQ(ahead.Next(), u"2");
  EXPECT_THROW(ahead.Next(), Error);
  EXPECT_THROW(ahead.Next(), Error);
  EXPECT_EQ(calls, 3);
}

INSTANTIATE_TEST_SUITE_P(ThreadOrCaller, ReadAheadModes, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "OnTheCallersThread" : "OnAThreadOfItsOwn";
                         });

// While the caller works on a piece, at most the one after it is read, and
// the caller's piece is not written over.
TEST(ReadAhead, ReadsOnePieceAheadAndLeavesTheCallersPieceAlone) {
  std::atomic<int> calls{0};
  ReadAhead ahead(
      [&calls](char16_t* units, size_t maxUnits) -> size_t {
        const int call = ++calls;
        std::fill_n(units, maxUnits, static_cast<char16_t>(u'a' + call % 26));
        return maxUnits;
      },
      64);
  for (int i = 1; i <= 5; ++i) {
    const std::u16string_view piece = ahead.Next();
    const std::u16string copy(piece);
    // Time for the reading thread to go wrong, if it can.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(std::u16string(piece), copy) << i;
    EXPECT_EQ(copy, std::u16string(64, static_cast<char16_t>(u'a' + i % 26))) << i;
    EXPECT_LE(calls.load(), i + 1) << i;
  }
}

// A caller that stops early leaves nothing behind: the reading thread ends
// with the object even though the text goes on.
TEST(ReadAhead, StoppingEarlyEndsTheReading) {
  for (int taken = 0; taken < 3; ++taken) {
    ReadAhead ahead(
        [](char16_t* units, size_t) -> size_t {
          units[0] = u'x';
          return 1;
        },
        1);
    for (int i = 0; i < taken; ++i) EXPECT_EQ(ahead.Next(), u"x");
  }
}

}  // namespace
}  // namespace picrelink
