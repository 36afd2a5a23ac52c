#include "core/background_sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>

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
