#pragma once
// A realistic listing CSV text for benchmarks: quoted fields, CRLF, Chinese
// text, HTML descriptions with picture references in path and file-URL form
// (mixed ASCII case), web addresses and near misses. Deterministic by seed.
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
  explicit ListingRecords(uint32_t seed = 1) : rng_(seed) {}
  // Appends the next whole record: one line ending in CRLF.
  void AppendNext(std::u16string& text);

 private:
  std::mt19937 rng_;
  int row_ = 0;
};

// The header and as many records as fill `length` characters, the last one
// cut at that length.
std::u16string ListingText(size_t length, uint32_t seed = 1);

}  // namespace picrelink::bench
