#include "relocation/references/csv_pieces.h"

#include <algorithm>

#include "relocation/references/detection.h"

namespace picrelink {

// A small CSV gets buffers of its own size (one unit more, to see its end in
// the first read), not two of the full size.
CsvPieces::CsvPieces(std::u16string_view csvPath)
    : reader_(csvPath, platform::Sharing::ReadersAllowed),
      fileUnits_(reader_.File().Size() / sizeof(char16_t)),
      ahead_([this](char16_t* units, size_t maxUnits) { return reader_.Read(units, maxUnits); },
             static_cast<size_t>(std::min<uint64_t>(kDetectionBufferUnits, fileUnits_ + 1))) {}

}  // namespace picrelink
