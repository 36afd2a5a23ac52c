#pragma once
// A realistic listing CSV text for benchmarks: quoted fields, CRLF, Chinese
// text, HTML descriptions with picture references in path and file-URL form
// (mixed ASCII case), web addresses and near misses. Deterministic by seed.
#include <cstddef>
#include <cstdint>
#include <string>

namespace picrelink::bench {

// The folder most references point into.
inline constexpr char16_t kOldFolder[] = u"D:\\old\\shop\\item1";

std::u16string ListingText(size_t length, uint32_t seed = 1);

}  // namespace picrelink::bench
