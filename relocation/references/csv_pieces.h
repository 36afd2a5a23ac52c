#pragma once
// A CSV's text read once, in pieces of up to kDetectionBufferUnits code units,
// the next piece read on a thread of its own while the caller works on the
// last, so that the system's copying and the caller's searching overlap.
// Detection and the census read through it.
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/read_ahead.h"
#include "core/utf16_reader.h"

namespace picrelink {

class CsvPieces {
 public:
  // Opens the CSV (holding it against writers, not against other readers,
  // until destroyed) and starts reading. Throws Error "Cannot open file ..."
  // as the whole-text read does.
  //
  // from: the code unit of the text (0: the first behind the mark) that the
  // first piece begins with. No piece runs across the unit breakAt: one ends
  // right before it, so that a reader of the text's first part can stop
  // there exactly.
  explicit CsvPieces(std::u16string_view csvPath, uint64_t from = 0,
                     uint64_t breakAt = std::numeric_limits<uint64_t>::max());
  // The next piece, valid until the next call; empty once the text ended.
  std::u16string_view Next() { return ahead_.Next(); }
  // Code units of the text, behind the mark.
  uint64_t TextUnits() const { return fileUnits_ > 0 ? fileUnits_ - 1 : 0; }

 private:
  size_t ReadPiece(char16_t* units, size_t maxUnits);

  Utf16FileReader reader_;
  uint64_t fileUnits_;
  uint64_t position_;  // the unit of the text read next (on the reading thread)
  uint64_t breakAt_;
  ReadAhead ahead_;
};

}  // namespace picrelink
