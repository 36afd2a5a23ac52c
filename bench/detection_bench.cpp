// Detection over large CSV files. The main case is a 200 MB listing whose
// only picture reference stands at its very end, so that detection has to
// read all of it, set beside reading the same file without searching it.
// The others are 30,000,000-character texts built to keep the pattern
// search busy. "bytes_per_second" counts characters (UTF-16 code units) of
// the CSV text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/listing_text.h"
#include "core/text_file.h"
#include "core/utf.h"
#include "core/utf16_reader.h"
#include "relocation/form_values.h"
#include "relocation/references/detection.h"

namespace picrelink {
namespace {

constexpr size_t kTextLength = 30'000'000;
constexpr int kStarts = 1'000'000;
constexpr size_t kBigFileUnits = 100'000'000;  // 200 MB behind the mark

// A CSV file in the temporary folder, removed when the object goes. The
// text is written as it is produced, so that no copy of all of it is needed.
class CsvFile {
 public:
  CsvFile()
      : path_(std::filesystem::temp_directory_path() /
              ("picrelink-bench-" + std::to_string(std::random_device{}()) + ".csv")),
        out_(path_, std::ios::binary | std::ios::trunc) {
    out_.write("\xFF\xFE", 2);
  }
  explicit CsvFile(std::u16string_view text) : CsvFile() {
    Append(text);
    Close();
  }
  ~CsvFile() {
    out_.close();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  void Append(std::u16string_view text) {
    bytes_.clear();
    for (char16_t c : text) {
      bytes_.push_back(static_cast<char>(c & 0xFF));
      bytes_.push_back(static_cast<char>(c >> 8));
    }
    out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    units_ += text.size();
  }
  void Close() {
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_.string());
  }
  std::u16string Path() const { return FromUtf8(path_.string()); }
  size_t Units() const { return units_; }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
  std::string bytes_;
  size_t units_ = 0;
};

// Every reference of a listing record turned into a near miss that starts
// like one: a path gets a slash after its drive, a file URL becomes a web
// address. The search still meets a start at every picture.
void DisarmReferences(std::u16string& record) {
  static constexpr std::u16string_view kSrc = u"src=\"\"";
  for (size_t at = record.find(kSrc); at != std::u16string::npos; at = record.find(kSrc, at + 1)) {
    const size_t value = at + kSrc.size();
    if (record.compare(value, 8, u"file:///") == 0) {
      record.replace(value, 8, u"https://");
    } else if (value + 2 < record.size() && record[value + 1] == u':' &&
               record[value + 2] == u'\\') {
      record[value + 2] = u'/';
    }
  }
}

// The listing of the main case, written once per run of the benchmarks and
// removed at exit.
const CsvFile& BigListing() {
  static CsvFile csv;
  static const bool written = [] {
    std::u16string block = bench::kListingHeader;
    bench::ListingRecords records;
    std::u16string record;
    while (csv.Units() + block.size() < kBigFileUnits) {
      record.clear();
      records.AppendNext(record);
      DisarmReferences(record);
      block += record;
      if (block.size() >= (size_t{1} << 20)) {
        csv.Append(block);
        block.clear();
      }
    }
    block +=
        u"\"商品\",\"99.00\",\"<img src=\"\"D:\\网店\\描述图片\\item9\\detail_01.jpg\"\" />\"\r\n";
    csv.Append(block);
    csv.Close();
    return true;
  }();
  (void)written;
  return csv;
}

double SecondsOf(const auto& work) {
  const auto begin = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// The plain read that detection is measured against: the file through the
// same reader, into a buffer of the same size on a cache line, where the
// system copies fastest.
void ReadInPieces(const std::u16string& path) {
  Utf16FileReader reader(path);
  std::vector<char16_t> storage(kDetectionBufferUnits + 32);
  void* start = storage.data();
  size_t space = storage.size() * sizeof(char16_t);
  auto* buffer = static_cast<char16_t*>(
      std::align(64, kDetectionBufferUnits * sizeof(char16_t), start, space));
  while (reader.Read(buffer, kDetectionBufferUnits) != 0) benchmark::ClobberMemory();
}

void BM_BigListingReadUtf16File(benchmark::State& state) {
  const CsvFile& csv = BigListing();
  for (auto _ : state) benchmark::DoNotOptimize(ReadUtf16File(csv.Path()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * csv.Units()));
}

void BM_BigListingReadInPieces(benchmark::State& state) {
  const CsvFile& csv = BigListing();
  for (auto _ : state) ReadInPieces(csv.Path());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * csv.Units()));
}

// "x_read_pieces": the time of detection over that of a plain read of the
// file in pieces, taken in every iteration (outside the timing) so that both
// see the same state of the machine. "x_read_whole": over the best of two
// ReadUtf16File calls taken before.
void BM_BigListingDetect(benchmark::State& state) {
  const CsvFile& csv = BigListing();
  double wholeRead = 1e9;
  for (int i = 0; i < 2; ++i) {
    wholeRead = std::min(wholeRead, SecondsOf([&] { ReadUtf16File(csv.Path()); }));
  }
  MemoryFormValues values;
  values.levelText = u"0";
  std::u16string folder;
  double detecting = 0;
  double reading = 0;
  for (auto _ : state) {
    state.PauseTiming();
    reading += SecondsOf([&] { ReadInPieces(csv.Path()); });
    state.ResumeTiming();
    detecting += SecondsOf([&] { folder = DetectImageFolder(csv.Path(), values); });
    benchmark::DoNotOptimize(folder);
  }
  state.counters["x_read_pieces"] = detecting / reading;
  state.counters["x_read_whole"] = detecting / static_cast<double>(state.iterations()) / wholeRead;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * csv.Units()));
  state.SetLabel(ToUtf8(folder));
  if (folder != u"D:\\网店\\描述图片\\item9") state.SkipWithError("wrong folder");
}

// Appends filler without quotation marks until the text is `length` long.
void FillTo(std::u16string& text, size_t length) {
  static const std::u16string kFiller = u"<p>优质商品 quality goods 描述 description</p> ";
  while (text.size() < length) {
    text.append(kFiller, 0, std::min(kFiller.size(), length - text.size()));
  }
}

// One path-form start near the front that is never closed, so the path
// search has a live candidate over the whole text (and keeps all of it),
// behind it a million near misses without quotation marks; then the URL
// form, whose only reference stands before that start.
std::u16string UnterminatedStartAndNearMisses() {
  std::u16string text = u"<img src=\"\"file:///D:/shop/pics/item1/a.jpg\"\"> <img src=\"\"D:\\x";
  text.reserve(kTextLength);
  const size_t spacing = kTextLength / kStarts;
  for (int i = 0; i < kStarts; ++i) {
    text += u" src=D:\\y src=";
    FillTo(text, static_cast<size_t>(i + 1) * spacing);
  }
  FillTo(text, kTextLength);
  return text;
}

// A start at the front closed only by the last character: the reference is
// the whole text.
std::u16string OneLongCandidate() {
  std::u16string text = u"<img src=\"\"D:\\";
  text.reserve(kTextLength);
  for (int i = 0; i < kStarts; ++i) {
    text += u"\\x src=D:\\y\\";
    FillTo(text, static_cast<size_t>(i + 1) * (kTextLength / kStarts));
  }
  FillTo(text, kTextLength - 1);
  return text + u"\"";
}

// A start at nearly every tenth character, each a near miss of one form or
// the other, and a URL reference only at the end: both searches run over
// the whole text and begin a candidate at every start.
std::u16string NearMissesEverywhere() {
  std::u16string text;
  text.reserve(kTextLength);
  while (text.size() + 64 < kTextLength) text += u"src=\"\"D:/x\"\" src=\"\"file://D:/y\"\" ";
  text += u"<img src=\"\"file:///D:/%E5%9B%BE/item/a.jpg\"\">";
  return text;
}

// A listing as the listing tool writes it, over the 30,000,000 characters,
// with the local picture references only in the last rows.
std::u16string RealisticListing() {
  std::u16string text = bench::kListingHeader;
  text.reserve(kTextLength + 4096);
  bench::ListingRecords records;
  std::u16string record;
  while (text.size() < kTextLength - 20'000) {
    record.clear();
    records.AppendNext(record);
    DisarmReferences(record);
    text += record;
  }
  while (text.size() < kTextLength) records.AppendNext(text);
  return text;
}

void RunDetection(benchmark::State& state, const std::u16string& text) {
  const CsvFile csv(text);
  MemoryFormValues values;
  values.levelText = u"0";
  std::u16string folder;
  for (auto _ : state) {
    folder = DetectImageFolder(csv.Path(), values);
    benchmark::DoNotOptimize(folder);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
  state.SetLabel("folder of " + std::to_string(folder.size()) +
                 " chars: " + ToUtf8(std::u16string_view(folder).substr(0, 40)));
}

void BM_UnterminatedStartAndNearMisses(benchmark::State& state) {
  RunDetection(state, UnterminatedStartAndNearMisses());
}
void BM_OneLongCandidate(benchmark::State& state) { RunDetection(state, OneLongCandidate()); }
void BM_NearMissesEverywhere(benchmark::State& state) {
  RunDetection(state, NearMissesEverywhere());
}
void BM_RealisticListing(benchmark::State& state) { RunDetection(state, RealisticListing()); }

// Wall time: detection reads ahead on a thread of its own.
BENCHMARK(BM_BigListingReadUtf16File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BigListingReadInPieces)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BigListingDetect)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnterminatedStartAndNearMisses)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneLongCandidate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NearMissesEverywhere)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RealisticListing)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace picrelink
