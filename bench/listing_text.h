#pragma once
// A realistic listing CSV text for benchmarks: quoted fields, CRLF, Chinese
// text, HTML descriptions with picture references in path and file-URL form
// (mixed ASCII case), web addresses and near misses. Deterministic by seed.
// On request a share of the file URLs into the old folder is spelled as other
// tools write them: a percent-encoded name, file://localhost/, file:/.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace picrelink::bench {

// The folder most references point into.
inline constexpr char16_t kOldFolder[] = u"D:\\old\\shop\\item1";

// The line every listing starts with.
inline constexpr char16_t kListingHeader[] = u"\"宝贝名称\",\"宝贝价格\",\"宝贝描述\"\r\n";

// The records that follow the header, one after another, so that a listing
// of any length can be produced a piece at a time.
class ListingRecords {
 public:
  // otherSpellings: the share (0 to 1) of the file URLs into the old folder
  // spelled otherwise, the three spellings in turn. With 0 the random draws
  // are those of a listing without them, so a seed gives the same text.
  explicit ListingRecords(uint32_t seed = 1, double otherSpellings = 0)
      : rng_(seed), otherSpellings_(otherSpellings) {}
  // Appends the next whole record: one line ending in CRLF.
  void AppendNext(std::u16string& text);

 private:
  std::u16string Reference(int n);

  std::mt19937 rng_;
  double otherSpellings_;
  int row_ = 0;
  int respelled_ = 0;
};

// The header and as many records as fill `length` characters, the last one
// cut at that length.
std::u16string ListingText(size_t length, uint32_t seed = 1, double otherSpellings = 0);

}  // namespace picrelink::bench
