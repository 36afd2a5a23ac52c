#pragma once
// A CSV's text read once, in pieces of up to kDetectionBufferUnits code units,
// the next piece read on a thread of its own while the caller works on the
// last, so that the system's copying and the caller's searching overlap.
// Detection and the census read through it.
#include <cstdint>
#include <string_view>

#include "core/read_ahead.h"
#include "core/utf16_reader.h"

namespace picrelink {

class CsvPieces {
 public:
  // Opens the CSV (holding it against writers, not against other readers,
  // until destroyed) and starts reading. Throws Error "Cannot open file ..."
  // as the whole-text read does.
  explicit CsvPieces(std::u16string_view csvPath);
  // The next piece, valid until the next call; empty once the text ended.
  std::u16string_view Next() { return ahead_.Next(); }
  // Code units of the text, behind the mark.
  uint64_t TextUnits() const { return fileUnits_ > 0 ? fileUnits_ - 1 : 0; }

 private:
  Utf16FileReader reader_;
  uint64_t fileUnits_;
  ReadAhead ahead_;
};

}  // namespace picrelink
