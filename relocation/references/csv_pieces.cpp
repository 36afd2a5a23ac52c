#include "relocation/references/csv_pieces.h"

#include <algorithm>

#include "relocation/references/detection.h"

namespace picrelink {
namespace {

// Before the reading thread starts: the reader moved to the first unit read.
uint64_t StartAt(Utf16FileReader& reader, uint64_t from) {
  if (from > 0) reader.SkipTo(from);
  return from;
}

}  // namespace

// A small CSV gets buffers of its own size (one unit more, to see its end in
// the first read), not two of the full size, and is read on the caller's
// thread: in one piece, there is no reading to overlap.
CsvPieces::CsvPieces(std::u16string_view csvPath, uint64_t from, uint64_t breakAt)
    : reader_(csvPath, platform::Sharing::ReadersAllowed),
      fileUnits_(reader_.File().Size() / sizeof(char16_t)),
      position_(StartAt(reader_, from)),
      breakAt_(breakAt),
      ahead_([this](char16_t* units, size_t maxUnits) { return ReadPiece(units, maxUnits); },
             static_cast<size_t>(std::min<uint64_t>(kDetectionBufferUnits, fileUnits_ + 1)),
             fileUnits_ < kDetectionBufferUnits) {}

size_t CsvPieces::ReadPiece(char16_t* units, size_t maxUnits) {
  size_t wanted = maxUnits;
  if (position_ < breakAt_)
    wanted = static_cast<size_t>(std::min<uint64_t>(wanted, breakAt_ - position_));
  const size_t got = reader_.Read(units, wanted);
  position_ += got;
  return got;
}

}  // namespace picrelink
