#include "bench/tools/listing_csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "bench/listing_text.h"

namespace picrelink::bench {
namespace {

// Little-endian whatever the host's byte order is.
void AppendUtf16Le(std::u16string_view text, std::string& bytes) {
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
}

}  // namespace

bool WriteListingCsv(std::ostream& out, uint64_t length, uint32_t seed, size_t pieceLength,
                     double otherSpellings) {
  out.write("\xFF\xFE", 2);
  // Room for a piece and the record that completes it, so that neither buffer grows by doubling.
  constexpr size_t kRecordRoom = 16384;
  std::u16string piece;
  piece.reserve(pieceLength + kRecordRoom);
  piece = kListingHeader;
  std::string bytes;
  bytes.reserve(2 * (pieceLength + kRecordRoom));
  ListingRecords records(seed, otherSpellings);
  uint64_t written = 0;
  while (written < length && out) {
    // Whole records only, so that the text is the same however it is cut into pieces.
    while (piece.size() < pieceLength && written + piece.size() < length) {
      records.AppendNext(piece);
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(piece.size(), length - written));
    bytes.clear();
    AppendUtf16Le(std::u16string_view(piece).substr(0, take), bytes);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    written += take;
    piece.clear();
  }
  out.flush();
  return static_cast<bool>(out);
}

std::optional<uint64_t> ParseFileSize(std::string_view megabytes) {
  double value = 0;
  const char* end = megabytes.data() + megabytes.size();
  const auto [rest, error] = std::from_chars(megabytes.data(), end, value);
  // Sizes past 2^40 MB are typing errors, not files anyone means to make.
  if (megabytes.empty() || error != std::errc() || rest != end || !std::isfinite(value) ||
      value <= 0 || value > 1e12) {
    return std::nullopt;
  }
  const uint64_t bytes = static_cast<uint64_t>(std::floor(value * double(uint64_t{1} << 20)));
  if (bytes < 2) return std::nullopt;
  return bytes - bytes % 2;
}

}  // namespace picrelink::bench
