// ReplaceAll on a realistic 30,000,000-character listing text, beside memcpy
// of the same size, so that the two rates come from the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench/listing_text.h"
#include "core/freplace.h"

namespace {

constexpr size_t kLength = 30'000'000;

const std::u16string& Text() {
  static const std::u16string text = picrelink::bench::ListingText(kLength);
  return text;
}

void BM_Memcpy(benchmark::State& state) {
  const std::u16string& text = Text();
  std::u16string copy(text.size(), u'\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), text.data(), text.size() * sizeof(char16_t));
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllPathForm(benchmark::State& state) {
  const std::u16string& text = Text();
  int64_t count = 0;
  for (auto _ : state) {
    std::u16string result =
        picrelink::ReplaceAll(text, picrelink::bench::kOldFolder, u"F:\\new\\my item", false, &count);
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
BENCHMARK(BM_ReplaceAllPathForm)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllUrlForm(benchmark::State& state) {
  const std::u16string& text = Text();
  int64_t count = 0;
  for (auto _ : state) {
    std::u16string result = picrelink::ReplaceAll(text, u"file:///D:/old/shop/item1",
                                                  u"file:///F:/new/my%20item", false, &count);
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
BENCHMARK(BM_ReplaceAllUrlForm)->Unit(benchmark::kMillisecond);

}  // namespace
