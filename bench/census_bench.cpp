// The census and the picture check of `picrelink-cli check` and the window.
//
// The census: a 200 MB listing made by the CSV generator (with a small share
// of file URLs in other spellings), counted whole by CheckCsv without a new
// folder, set beside reading the same file through the same reader, in the
// same 2 MB pieces, read ahead on a second thread as the census reads it.
//
// The picture check: a tree of 1,000 item folders of 100 pictures each and a
// CSV with 100,000 references into it (path form and file URLs, some
// percent-encoded, some pictures missing, some differing in letter case),
// checked whole by CheckCsv with the tree as the new folder; beside it the
// listing of the tree alone and the census of the same CSV without the check.
//
// The census and the read are also taken cold: the file's pages dropped from
// the system's cache before each of them, so that both read from the disk.
//
// The files are made once per run of the benchmarks in a temporary folder and
// removed at exit. Times are wall times: the CSV is read on a second thread.
// "bytes_per_second" counts bytes of the CSV file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "bench/tools/listing_csv.h"
#include "core/read_ahead.h"
#include "core/utf.h"
#include "core/utf16_reader.h"
#include "relocation/census/census.h"
#include "relocation/census/picture_check.h"
#include "relocation/census/picture_search.h"
#include "relocation/references/detection.h"

namespace picrelink {
namespace {

constexpr uint64_t kBigFileUnits = 100'000'000;  // 200 MB behind the mark
// Of the file URLs into the old folder (a tenth of all references), this
// share is percent-encoded, file://localhost/ or file:/.
constexpr double kOtherSpellings = 0.05;

constexpr int kItemFolders = 1'000;
constexpr int kPicturesPerFolder = 100;
constexpr int kReferences = 100'000;
constexpr int kReferencesPerRecord = 10;
// Every kMissingEvery-th reference names a picture that is not there, every
// kOtherCaseEvery-th one (of the others) its name in other letter case.
constexpr int kMissingEvery = 50;
constexpr int kOtherCaseEvery = 97;

// A folder of its own in the temporary folder, removed with all it holds
// when the object goes.
class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("picrelink-census-bench-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const TempFolder& Folder() {
  static TempFolder folder;
  return folder;
}

std::u16string PathText(const std::filesystem::path& path) { return FromUtf8(path.string()); }

uint64_t FileBytes(const std::u16string& path) {
  return std::filesystem::file_size(std::filesystem::path(ToUtf8(path)));
}

#if defined(__unix__)
// The file on the disk, so that its pages in the cache are clean and can be
// dropped.
void SyncFile(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY);
  if (fd < 0 || fsync(fd) != 0) throw std::runtime_error("cannot sync " + file.string());
  close(fd);
}

// Drops the file's pages from the system's cache; returns the share of them
// still there afterwards (0 to 1), or 1 when that cannot be told.
double DropFromCache(const std::u16string& path) {
  const int fd = open(ToUtf8(path).c_str(), O_RDONLY);
  if (fd < 0) return 1;
  double resident = 1;
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size > 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0) {
    void* map = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
      std::vector<unsigned char> pages((static_cast<size_t>(size) + page - 1) / page);
      if (mincore(map, static_cast<size_t>(size), pages.data()) == 0) {
        const auto there =
            std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
        resident = static_cast<double>(there) / static_cast<double>(pages.size());
      }
      munmap(map, static_cast<size_t>(size));
    }
  }
  close(fd);
  return resident;
}
#endif

// The 200 MB listing, written once per run.
const std::u16string& BigListing() {
  static const std::u16string path = [] {
    const std::filesystem::path file = Folder().Path() / "listing-200MB.csv";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!bench::WriteListingCsv(out, kBigFileUnits, 1, bench::kPieceLength, kOtherSpellings)) {
      throw std::runtime_error("cannot write " + file.string());
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
#if defined(__unix__)
    SyncFile(file);
#endif
    return PathText(file);
  }();
  return path;
}

// The picture folder of the picture check and its CSV.
struct PictureSet {
  std::u16string tree;
  std::u16string csv;
  int64_t missing = 0;    // references to pictures that are not there
  int64_t otherCase = 0;  // found only when letter case is ignored
  int64_t encoded = 0;    // percent-encoded file URLs
};

std::string NumberText(int value, int digits) {
  std::string text = std::to_string(value);
  return std::string(static_cast<size_t>(std::max(0, digits - static_cast<int>(text.size()))),
                     '0') +
         text;
}

// "图" (U+56FE) and the picture's number; the percent-encoded form spells
// the character as its UTF-8 escapes.
std::u16string PictureName(int picture) {
  std::u16string name = u"图";
  name += FromUtf8(NumberText(picture, 3));
  name += u".jpg";
  return name;
}

// The tree (root/宝贝0000/图000.jpg ...) and the CSV, made once per run. The
// CSV's old folder is D:\网店\描述图片, one level above the item folders, as
// the level "1" takes it.
const PictureSet& Pictures() {
  static const PictureSet set = [] {
    PictureSet made;
    const std::filesystem::path root = Folder().Path() / "新图片";
    for (int item = 0; item < kItemFolders; ++item) {
      const std::filesystem::path folder = root / ("宝贝" + NumberText(item, 4));
      std::filesystem::create_directories(folder);
      for (int picture = 0; picture < kPicturesPerFolder; ++picture) {
        std::ofstream file(folder / ToUtf8(PictureName(picture)), std::ios::binary);
        file << "jpg";
        if (!file) throw std::runtime_error("cannot write in " + folder.string());
      }
    }
    made.tree = PathText(root);

    const std::filesystem::path csvPath = Folder().Path() / "pictures.csv";
    std::u16string text = u"\"宝贝名称\",\"宝贝价格\",\"宝贝描述\"\r\n";
    for (int reference = 0; reference < kReferences; ++reference) {
      const int item = reference / (kReferences / kItemFolders);
      const int picture = reference % kPicturesPerFolder;
      if (reference % kReferencesPerRecord == 0) {
        text += u"\"商品" + FromUtf8(NumberText(item, 4)) +
                u"\",\"99.00\",\"<p>优质面料，舒适透气。</p>";
      }
      std::u16string name = PictureName(picture);
      if (reference % kMissingEvery == kMissingEvery - 1) {
        name = PictureName(kPicturesPerFolder + picture);  // not in the tree
        ++made.missing;
      } else if (reference % kOtherCaseEvery == kOtherCaseEvery - 1) {
        name = name.substr(0, name.size() - 3) + u"JPG";
        ++made.otherCase;
      }
      const std::u16string itemFolder = u"宝贝" + FromUtf8(NumberText(item, 4));
      text += u"<img src=\"\"";
      switch (reference % 5) {
        case 3:  // a file URL
          text += u"file:///D:/网店/描述图片/" + itemFolder + u"/" + name;
          break;
        case 4:  // a file URL with its Chinese percent-encoded
          text +=
              u"file:///D:/%E7%BD%91%E5%BA%97/%E6%8F%8F%E8%BF%B0%E5%9B%BE%E7%89%87/"
              u"%E5%AE%9D%E8%B4%9D" +
              FromUtf8(NumberText(item, 4)) + u"/%E5%9B%BE" + name.substr(1);
          ++made.encoded;
          break;
        default:
          text += u"D:\\网店\\描述图片\\" + itemFolder + u"\\" + name;
      }
      text += u"\"\" align=\"\"absmiddle\"\"><a href=\"\"https://shop.example.com/item/";
      text += FromUtf8(NumberText(item, 4)) + u"\"\">详情见图</a>";
      if (reference % kReferencesPerRecord == kReferencesPerRecord - 1) text += u"\"\r\n";
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    std::ofstream out(csvPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + csvPath.string());
    made.csv = PathText(csvPath);
    return made;
  }();
  return set;
}

double SecondsOf(const auto& work) {
  const auto begin = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Reading the file once as the census reads it: the same reader, the same
// piece size, the next piece read on a second thread while the last is
// handed out. Returns the units read.
uint64_t ReadAheadInPieces(const std::u16string& path) {
  Utf16FileReader reader(path);
  const uint64_t fileUnits = reader.File().Size() / sizeof(char16_t);
  const size_t pieceUnits =
      static_cast<size_t>(std::min<uint64_t>(kDetectionBufferUnits, fileUnits + 1));
  ReadAhead ahead(
      [&reader](char16_t* units, size_t maxUnits) { return reader.Read(units, maxUnits); },
      pieceUnits);
  uint64_t units = 0;
  for (std::u16string_view piece = ahead.Next(); !piece.empty(); piece = ahead.Next()) {
    benchmark::DoNotOptimize(piece.data());
    units += piece.size();
  }
  return units;
}

// The same on one thread: each piece read into one buffer, in turn.
uint64_t ReadInPieces(const std::u16string& path) {
  Utf16FileReader reader(path);
  std::vector<char16_t> buffer(kDetectionBufferUnits);
  uint64_t units = 0;
  for (size_t got = 0; (got = reader.Read(buffer.data(), buffer.size())) != 0;) {
    benchmark::ClobberMemory();
    units += got;
  }
  return units;
}

void BM_CensusListingReadAhead(benchmark::State& state) {
  const std::u16string& csv = BigListing();
  uint64_t units = 0;
  for (auto _ : state) units = ReadAheadInPieces(csv);
  if (units != kBigFileUnits) state.SkipWithError("the read missed units");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(csv)));
}

void BM_CensusListingReadInPieces(benchmark::State& state) {
  const std::u16string& csv = BigListing();
  uint64_t units = 0;
  for (auto _ : state) units = ReadInPieces(csv);
  if (units != kBigFileUnits) state.SkipWithError("the read missed units");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(csv)));
}

int64_t Spelled(const Census& census, const std::string& name) {
  const auto found = census.spellings.find(name);
  return found == census.spellings.end() ? 0 : found->second;
}

// "x_read_ahead": the census's time over that of the plain read ahead, which
// runs in every iteration (outside the timing) so that both see the same
// state of the machine.
void BM_CensusListing(benchmark::State& state) {
  const std::u16string& csv = BigListing();
  std::optional<CheckResult> result;
  double census = 0;
  double reading = 0;
  for (auto _ : state) {
    state.PauseTiming();
    reading += SecondsOf([&] { benchmark::DoNotOptimize(ReadAheadInPieces(csv)); });
    result.reset();
    state.ResumeTiming();
    census += SecondsOf([&] { result = CheckCsv(csv, u"1", std::nullopt); });
  }
  const Census& counted = result->census;
  state.counters["x_read_ahead"] = census / reading;
  state.counters["references"] = static_cast<double>(counted.references);
  state.counters["folders"] = static_cast<double>(counted.folders.size());
  state.counters["other_spellings"] =
      static_cast<double>(Spelled(counted, "percent-encoded") + Spelled(counted, "localhost") +
                          Spelled(counted, "file:/"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(csv)));
  state.SetLabel("detected " + ToUtf8(counted.detected));
  if (counted.references == 0 || counted.detected.empty() || Spelled(counted, "localhost") == 0) {
    state.SkipWithError("the census missed references");
  }
}

#if defined(__unix__)
// Cold: the plain read ahead and the census, each after the file's pages were
// dropped from the cache. "x_read_ahead" as above, both cold.
void BM_CensusListingCold(benchmark::State& state) {
  const std::u16string& csv = BigListing();
  std::optional<CheckResult> result;
  double census = 0;
  double reading = 0;
  double resident = 0;
  for (auto _ : state) {
    state.PauseTiming();
    resident = std::max(resident, DropFromCache(csv));
    reading += SecondsOf([&] { benchmark::DoNotOptimize(ReadAheadInPieces(csv)); });
    resident = std::max(resident, DropFromCache(csv));
    result.reset();
    state.ResumeTiming();
    census += SecondsOf([&] { result = CheckCsv(csv, u"1", std::nullopt); });
  }
  state.counters["x_read_ahead"] = census / reading;
  state.counters["read_ms"] = reading / static_cast<double>(state.iterations()) * 1e3;
  state.counters["references"] = static_cast<double>(result->census.references);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(csv)));
  if (resident > 0.01) state.SkipWithError("the file stayed in the cache");
}
#endif

// The tree's listing alone: what the check does before the CSV streams.
void BM_PictureTreeListing(benchmark::State& state) {
  const PictureSet& set = Pictures();
  size_t files = 0;
  for (auto _ : state) {
    const PictureIndex index(set.tree);
    files = index.Files();
    benchmark::DoNotOptimize(files);
  }
  state.counters["files"] = static_cast<double>(files);
  if (files != static_cast<size_t>(kItemFolders) * kPicturesPerFolder) {
    state.SkipWithError("the listing missed files");
  }
}

// The census of the picture CSV without a new folder: what the check adds
// is the difference to the next one.
void BM_PictureCsvCensus(benchmark::State& state) {
  const PictureSet& set = Pictures();
  std::optional<CheckResult> result;
  for (auto _ : state) {
    result.reset();
    result = CheckCsv(set.csv, u"1", std::nullopt);
  }
  state.counters["references"] = static_cast<double>(result->census.references);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(set.csv)));
  if (result->census.references != kReferences) {
    state.SkipWithError("the census missed references");
  }
}

void BM_PictureCheck(benchmark::State& state) {
  const PictureSet& set = Pictures();
  std::optional<CheckResult> result;
  for (auto _ : state) {
    result.reset();
    result = CheckCsv(set.csv, u"1", set.tree);
  }
  const PictureTally& tally = *result->pictures;
  state.counters["checked"] = static_cast<double>(tally.checked);
  state.counters["found"] = static_cast<double>(tally.found);
  state.counters["found_other_case"] = static_cast<double>(tally.foundIgnoringCase);
  state.counters["missing"] = static_cast<double>(tally.missing);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes(set.csv)));
  state.SetLabel("detected " + ToUtf8(result->census.detected));
  if (tally.checked != kReferences || tally.missing != set.missing ||
      tally.foundIgnoringCase != set.otherCase ||
      tally.found != kReferences - set.missing - set.otherCase) {
    state.SkipWithError("the check's tally is wrong");
  }
}

// The search for the pictures beside the CSV: the proposal (描述图片 beside
// it) does not exist, the tree 新图片 holds the pictures. The census and the
// check of the proposal are taken once before, as the window and check have
// them when the search begins: the search reads the CSV once more for the
// references' rests and lists the CSV's folder to depth 4.
void BM_PictureSearch(benchmark::State& state) {
  const PictureSet& set = Pictures();
  const std::u16string root = CsvFolder(set.csv);
  const CheckResult check =
      CheckCsv(set.csv, u"1", ProposedNewFolder(set.csv, u"D:\\网店\\描述图片"));
  std::optional<PictureSearch> search;
  for (auto _ : state) {
    search.reset();
    search = SearchPictures(set.csv, check, root);
  }
  state.counters["entries"] = static_cast<double>(search->entries);
  state.counters["found"] = search->suggestion ? static_cast<double>(search->suggestion->found) : 0;
  state.SetLabel(search->suggestion ? ToUtf8(search->suggestion->newFolder) : "no suggestion");
  if (!search->suggestion || search->suggestion->newFolder != set.tree ||
      search->suggestion->found != kReferences - set.missing ||
      search->stop != SearchStop::Complete) {
    state.SkipWithError("the search missed the pictures");
  }
}

BENCHMARK(BM_CensusListingReadAhead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CensusListingReadInPieces)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CensusListing)->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(__unix__)
BENCHMARK(BM_CensusListingCold)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif
BENCHMARK(BM_PictureTreeListing)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PictureCsvCensus)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PictureCheck)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PictureSearch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace picrelink
