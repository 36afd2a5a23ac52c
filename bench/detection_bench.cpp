// Detection over 30,000,000-character listings: inputs built to keep the
// pattern search busy, and a realistic listing. The rate reported as
// "bytes_per_second" counts characters (UTF-16 code units) of the CSV text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "core/utf.h"
#include "relocation/detection.h"
#include "relocation/form_values.h"

namespace picrelink {
namespace {

constexpr size_t kTextLength = 30'000'000;
constexpr int kStarts = 1'000'000;

// Appends filler without quotation marks until the text is `length` long.
void FillTo(std::u16string& text, size_t length) {
  static const std::u16string kFiller = u"<p>优质商品 quality goods 描述 description</p> ";
  while (text.size() < length) {
    text.append(kFiller, 0, std::min(kFiller.size(), length - text.size()));
  }
}

// A million `src=""D:\` starts spread over the text, with no quotation mark
// after them other than those of the following starts.
std::u16string StartsWithoutClosingQuotes() {
  std::u16string text;
  text.reserve(kTextLength);
  const size_t spacing = kTextLength / kStarts;
  for (int i = 0; i < kStarts; ++i) {
    text += u"src=\"\"D:\\";
    FillTo(text, static_cast<size_t>(i + 1) * spacing);
  }
  FillTo(text, kTextLength);
  return text;
}

// A million starts in the first half; one quotation mark for each of them
// comes only in the second half, far behind.
std::u16string StartsWithLateQuotes() {
  std::u16string text;
  text.reserve(kTextLength);
  const size_t half = kTextLength / 2;
  const size_t spacing = half / kStarts;
  for (int i = 0; i < kStarts; ++i) {
    text += u"src=\"\"D:\\";
    FillTo(text, static_cast<size_t>(i + 1) * spacing);
  }
  for (int i = 0; i < kStarts; ++i) {
    text += u"\"";
    FillTo(text, half + static_cast<size_t>(i + 1) * spacing);
  }
  FillTo(text, kTextLength);
  return text;
}

// The costliest input for the engine: one path-form start near the front
// that is never closed, so the path search has a live thread over the whole
// text, behind it a million near misses without quotation marks that each
// start another thread; then the URL form, whose only reference stands
// before that start.
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

// A listing as the listing tool writes it: quoted fields, HTML descriptions
// with Chinese text, pictures on the web and near misses throughout, and the
// local picture references only in the last rows.
std::u16string RealisticListing() {
  static const std::u16string kTitles[] = {u"春季新款连衣裙", u"男士休闲运动鞋",
                                           u"儿童益智积木玩具", u"不锈钢保温杯 500ml",
                                           u"Bluetooth 耳机 降噪"};
  static const std::u16string kPhrases[] = {
      u"<p>本店所有商品均为正品，支持七天无理由退换货。</p>",
      u"<p style=\"\"color:#333\"\">面料柔软舒适，透气性好，适合日常穿着。</p>",
      u"<div class=\"\"desc\"\"><span>尺码请参考详情页表格</span></div>",
      u"<img src=\"\"https://img.example.com/desc/0001.jpg\"\" />",
      u"<img SRC=\"\"D:\\old\\upper.jpg\"\" />",
      u"<img src=\"\"D:/slash/form.jpg\"\" />",
      u"<p>Material: cotton 95%, spandex 5%. 发货时间：48小时内。</p>",
      u"<table><tr><td>颜色</td><td>红色 / 蓝色 / 黑色</td></tr></table>"};
  std::mt19937 rng(7);
  std::u16string text = u"\"宝贝名称\",\"宝贝类目\",\"宝贝价格\",\"宝贝描述\"\r\n";
  text.reserve(kTextLength + 4096);
  const size_t localFrom = kTextLength - 20'000;
  int row = 0;
  while (text.size() < kTextLength) {
    text += u"\"" + kTitles[rng() % 5] + u" " + FromUtf8(std::to_string(row)) + u"\",\"";
    text += FromUtf8(std::to_string(50000000 + row % 977)) + u"\",\"";
    text += FromUtf8(std::to_string(10 + row % 300)) + u".00\",\"";
    for (int p = 0; p < 12; ++p) text += kPhrases[rng() % 8];
    if (text.size() >= localFrom) {
      text += u"<img src=\"\"D:\\网店\\描述图片\\item" + FromUtf8(std::to_string(row)) +
              u"\\detail_01.jpg\"\" /><img src=\"\"file:///D:/网店/描述图片/item" +
              FromUtf8(std::to_string(row)) + u"/detail_02.jpg\"\" />";
    }
    text += u"\"\r\n";
    ++row;
  }
  return text;
}

// The text written as a CSV in the temporary folder for the benchmark's run.
class CsvFile {
 public:
  explicit CsvFile(const std::u16string& text)
      : path_(std::filesystem::temp_directory_path() /
              ("picrelink-bench-" + std::to_string(std::random_device{}()) + ".csv")) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + 2 * text.size());
    for (char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path_.string());
  }
  ~CsvFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  std::u16string Path() const { return FromUtf8(path_.string()); }

 private:
  std::filesystem::path path_;
};

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

void BM_StartsWithoutClosingQuotes(benchmark::State& state) {
  RunDetection(state, StartsWithoutClosingQuotes());
}
void BM_StartsWithLateQuotes(benchmark::State& state) {
  RunDetection(state, StartsWithLateQuotes());
}
void BM_UnterminatedStartAndNearMisses(benchmark::State& state) {
  RunDetection(state, UnterminatedStartAndNearMisses());
}
void BM_RealisticListing(benchmark::State& state) { RunDetection(state, RealisticListing()); }

BENCHMARK(BM_StartsWithoutClosingQuotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartsWithLateQuotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnterminatedStartAndNearMisses)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealisticListing)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace picrelink
