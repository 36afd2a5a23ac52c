#include "core/background_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "tests/support/collecting_sink.h"

namespace picrelink {
namespace {

using Collect = test::CollectingSink;

// Fails once it has received `limit` units, as a full disk would.
struct FailingSink : TextSink {
  explicit FailingSink(size_t l) : limit(l) {}
  void Append(const char16_t*, size_t count) override {
    ++calls;
    received += count;
    if (received >= limit) throw Error("Stream write error. No space left on device");
  }
  size_t limit;
  size_t received = 0;
  std::atomic<int> calls{0};
};

TEST(BackgroundSink, PassesTheWholeTextOnInOrder) {
  std::mt19937 rng(77);
  for (const size_t chunkUnits : {size_t{1}, size_t{3}, size_t{64}, size_t{1} << 16}) {
    for (const size_t inFlight : {size_t{1}, size_t{2}, size_t{5}}) {
      std::u16string text(std::uniform_int_distribution<size_t>(0, 5000)(rng), u' ');
      for (char16_t& c : text) c = static_cast<char16_t>(rng());
      Collect target;
      BackgroundSink sink(target, chunkUnits, inFlight);
      for (size_t at = 0; at < text.size();) {
        const size_t n =
            std::min(std::uniform_int_distribution<size_t>(0, 300)(rng), text.size() - at);
        sink.Append(text.data() + at, n);
        at += n;
      }
      sink.Finish();
      ASSERT_TRUE(target.text == text) << "chunk " << chunkUnits << " in flight " << inFlight;
    }
  }
}

// Keeps where each piece it is given lies, to tell a buffer that was passed
// on as it was from a copy of it.
struct PlaceRecordingSink : TextSink {
  void Append(const char16_t* units, size_t count) override {
    text.append(units, count);
    places.push_back(units);
  }
  std::u16string text;
  std::vector<const char16_t*> places;
};

TEST(BackgroundSink, WholeBuffersAndCopiedPiecesArriveInOrderAndBigBuffersUncopied) {
  std::mt19937 rng(2026);
  for (const size_t chunkUnits : {size_t{1}, size_t{3}, size_t{64}, size_t{4096}}) {
    for (const size_t inFlight : {size_t{1}, size_t{2}, size_t{5}}) {
      std::u16string text(std::uniform_int_distribution<size_t>(0, 5000)(rng), u' ');
      for (char16_t& c : text) c = static_cast<char16_t>(u'a' + rng() % 26);
      PlaceRecordingSink target;
      std::vector<const char16_t*> passedWhole;
      {
        BackgroundSink sink(target, chunkUnits, inFlight);
        UnitBuffer buffer;
        for (size_t at = 0; at < text.size();) {
          const size_t n = std::min(
              std::uniform_int_distribution<size_t>(0, 2 * chunkUnits + 8)(rng), text.size() - at);
          if (rng() % 2 == 0) {
            sink.Append(text.data() + at, n);
          } else {
            // The buffer that the sink left is filled again, past the units
            // handed over too: none of it may show up.
            buffer.resize(n + rng() % 5);
            std::fill(buffer.begin(), buffer.end(), u'#');
            std::copy_n(text.data() + at, n, buffer.data());
            if (n > 0 && 2 * n >= chunkUnits) passedWhole.push_back(buffer.data());
            sink.AppendBuffer(buffer, n);
          }
          at += n;
        }
        sink.Finish();
      }
      ASSERT_TRUE(target.text == text) << "chunk " << chunkUnits << " in flight " << inFlight;
      for (const char16_t* place : passedWhole) {
        ASSERT_NE(std::find(target.places.begin(), target.places.end(), place), target.places.end())
            << "a buffer of half a chunk or more was copied; chunk " << chunkUnits;
      }
    }
  }
}

TEST(BackgroundSink, TheTargetsErrorReachesTheProducer) {
  const std::u16string piece(1000, u'x');
  for (const size_t limit : {size_t{1}, size_t{5000}, size_t{99999}}) {
    FailingSink target(limit);
    BackgroundSink sink(target, 256, 2);
    try {
      for (int i = 0; i < 100; ++i) sink.Append(piece.data(), piece.size());
      sink.Finish();
      FAIL() << "the error was lost; limit " << limit;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Stream write error. No space left on device");
    }
    // After its error the target is given nothing more.
    EXPECT_EQ(target.received, std::min<size_t>(100000, (limit + 255) / 256 * 256));
  }
}

TEST(BackgroundSink, WithoutFinishTheRestIsDroppedAndNothingHangs) {
  Collect target;
  {
    BackgroundSink sink(target, 4, 1);
    const std::u16string text(1000, u'a');
    sink.Append(text.data(), text.size());
  }
  // Whatever the worker had taken is whole chunks, in order.
  EXPECT_EQ(target.text.size() % 4, 0u);
  EXPECT_LE(target.text.size(), 1000u);
}

}  // namespace
}  // namespace picrelink
