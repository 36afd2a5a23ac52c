#pragma once
// Writing a listing CSV file of any size with bounded memory: the mark FF FE,
// then the listing text in UTF-16LE, produced and written a piece at a time.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace picrelink::bench {

// Characters produced before a piece is written out: 4 MB of output.
inline constexpr size_t kPieceLength = size_t{2} << 20;

// Writes FF FE and the first `length` characters of the listing text of
// `seed` (the same characters ListingText(length, seed) holds), so that the
// file has 2 + 2 * length bytes. Records are produced whole into a piece of
// about `pieceLength` characters, which is written before the next one is
// made. otherSpellings is ListingRecords' share of file URLs spelled
// otherwise. Returns false when the stream fails.
bool WriteListingCsv(std::ostream& out, uint64_t length, uint32_t seed,
                     size_t pieceLength = kPieceLength, double otherSpellings = 0);

// The file size for a size in megabytes (2^20 bytes; a decimal number such
// as "60" or "0.5"), rounded down to a whole number of characters after the
// mark. Nothing for text that is not a positive number, or a size too small
// to hold the mark.
std::optional<uint64_t> ParseFileSize(std::string_view megabytes);

}  // namespace picrelink::bench
