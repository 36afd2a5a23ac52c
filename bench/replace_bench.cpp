// ReplaceAll on a realistic 30,000,000-character listing text, beside memcpy
// of the same size, so that the two rates come from the same run; a plain
// copy into a new text, the floor under ReplaceAll; and each form of the
// search alone over the same text, counting occurrences; and one pass of
// the streamed run, which replaces into buffers that it reuses.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/listing_text.h"
#include "core/freplace.h"
#include "core/freplace_kernels.h"
#include "core/freplace_pages.h"
#include "core/replace_span.h"
#include "core/stream_replace.h"

namespace {

constexpr size_t kLength = 30'000'000;
// The old folder of bench/listing_text.h in file-URL form.
constexpr std::u16string_view kUrlFind = u"file:///D:/old/shop/item1";

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

// What any function that returns a new text of this size pays before it
// searches anything: the memory of the result, taken as ReplaceAll takes it,
// filled by one copy. Unlike memcpy above, the destination is fresh each time.
void BM_CopyIntoNewText(benchmark::State& state) {
  const std::u16string& text = Text();
  for (auto _ : state) {
    std::u16string copy;
    copy.reserve(text.size());
    picrelink::AdviseLargePages(copy.data(), text.size() * sizeof(char16_t));
    copy.append(text);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
BENCHMARK(BM_CopyIntoNewText)->Unit(benchmark::kMillisecond);

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
    std::u16string result =
        picrelink::ReplaceAll(text, kUrlFind, u"file:///F:/new/my%20item", false, &count);
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
BENCHMARK(BM_ReplaceAllUrlForm)->Unit(benchmark::kMillisecond);

// Occurrences left to right without overlap, as ReplaceAll takes them.
void CountOccurrences(benchmark::State& state, picrelink::kernels::FindFunction find,
                      std::u16string_view what) {
  const std::u16string& text = Text();
  int64_t count = 0;
  for (auto _ : state) {
    count = 0;
    size_t p = 0;
    while ((p = find(text.data(), text.size(), what, true, p)) != picrelink::kNoOccurrence) {
      ++count;
      p += what.size();
    }
    benchmark::DoNotOptimize(count);
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}

void BM_FindScalarPathForm(benchmark::State& state) {
  CountOccurrences(state, &picrelink::kernels::FindScalar, picrelink::bench::kOldFolder);
}
void BM_FindScalarUrlForm(benchmark::State& state) {
  CountOccurrences(state, &picrelink::kernels::FindScalar, kUrlFind);
}
BENCHMARK(BM_FindScalarPathForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindScalarUrlForm)->Unit(benchmark::kMillisecond);

#if defined(PICRELINK_HAVE_X86_SEARCH)
void BM_FindSse2PathForm(benchmark::State& state) {
  CountOccurrences(state, &picrelink::kernels::FindSse2, picrelink::bench::kOldFolder);
}
void BM_FindSse2UrlForm(benchmark::State& state) {
  CountOccurrences(state, &picrelink::kernels::FindSse2, kUrlFind);
}
BENCHMARK(BM_FindSse2PathForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindSse2UrlForm)->Unit(benchmark::kMillisecond);

void Avx2(benchmark::State& state, std::u16string_view what) {
  if (!picrelink::kernels::CpuHasAvx2()) {
    state.SkipWithError("this CPU has no AVX2");
    return;
  }
  CountOccurrences(state, &picrelink::kernels::FindAvx2, what);
}
void BM_FindAvx2PathForm(benchmark::State& state) { Avx2(state, picrelink::bench::kOldFolder); }
void BM_FindAvx2UrlForm(benchmark::State& state) { Avx2(state, kUrlFind); }
BENCHMARK(BM_FindAvx2PathForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAvx2UrlForm)->Unit(benchmark::kMillisecond);
#endif

// The replacing sweep alone, over the whole text into an output that is
// reused: what each pass of the run does to every buffer of the CSV.
void Sweep(benchmark::State& state, std::u16string_view find, std::u16string_view replacement) {
  const std::u16string& text = Text();
  const picrelink::kernels::ReplacePattern pattern(find, replacement, true);
  std::vector<char16_t> out(picrelink::kernels::MaxReplaceOutput(text.size(), find.size(),
                                                                 replacement.size()) +
                            picrelink::kernels::kReplaceSlack);
  const picrelink::kernels::ReplaceFunction replace = picrelink::kernels::BestReplace();
  int64_t count = 0;
  for (auto _ : state) {
    count = replace(text.data(), text.size(), 0, text.size(), pattern, out.data()).occurrences;
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
void BM_SweepPathForm(benchmark::State& state) {
  Sweep(state, picrelink::bench::kOldFolder, u"F:\\new\\my item");
}
void BM_SweepUrlForm(benchmark::State& state) {
  Sweep(state, kUrlFind, u"file:///F:/new/my%20item");
}
BENCHMARK(BM_SweepPathForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepUrlForm)->Unit(benchmark::kMillisecond);

// One pass of the streamed run: the text goes through a StreamReplacer in
// the run's buffer size and its result is copied into an output that is
// reused, as the run's own buffers are. This is the rate at which the run
// replaces, without the page faults of a fresh 60 MB result.
class ReusedOutput : public picrelink::TextSink {
 public:
  explicit ReusedOutput(size_t capacity) : units_(capacity) {}
  void Append(const char16_t* units, size_t count) override {
    std::memcpy(units_.data() + used_, units, count * sizeof(char16_t));
    used_ += count;
  }
  void Reset() { used_ = 0; }
  const char16_t* Data() const { return units_.data(); }

 private:
  std::vector<char16_t> units_;
  size_t used_ = 0;
};

void StreamedPass(benchmark::State& state, std::u16string_view find) {
  const std::u16string& text = Text();
  const std::u16string_view replacement = u"F:\\new\\my item";
  ReusedOutput out(text.size() * 2);
  int64_t count = 0;
  for (auto _ : state) {
    out.Reset();
    picrelink::StreamReplacer pass(find, replacement, false, out);
    pass.Append(text.data(), text.size());
    pass.Finish();
    count = pass.Occurrences();
    benchmark::DoNotOptimize(out.Data());
    benchmark::ClobberMemory();
  }
  state.counters["occurrences"] = static_cast<double>(count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
}
void BM_StreamedPassPathForm(benchmark::State& state) {
  StreamedPass(state, picrelink::bench::kOldFolder);
}
void BM_StreamedPassUrlForm(benchmark::State& state) { StreamedPass(state, kUrlFind); }
BENCHMARK(BM_StreamedPassPathForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamedPassUrlForm)->Unit(benchmark::kMillisecond);

}  // namespace
