#pragma once
// Reading a CSV's text (UTF-16LE behind FF FE) through a bounded buffer, so
// that files of any size are read in constant memory.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/platform.h"

namespace picrelink {

class Utf16FileReader {
 public:
  // Opens the file, holding it as sharing says until the reader is destroyed
  // or the file is closed, and reads the mark. Throws Error "Cannot open
  // file ..." as the whole-text read does.
  explicit Utf16FileReader(std::u16string_view fileName,
                           platform::Sharing sharing = platform::Sharing::Exclusive);

  // False for a file shorter than two bytes or without the mark FF FE: its
  // text is empty and Read gives nothing.
  bool HasMark() const { return hasMark_; }

  // Reads up to maxUnits code units of the text, fewer only at its end, 0
  // there. An odd last byte of the file is not part of the text. Throws
  // Error "Stream read error ..." when the system fails to read.
  size_t Read(char16_t* units, size_t maxUnits);

  // Goes to the code unit at the given index of the text (0: the first
  // behind the mark), so that the next Read begins there; one at or beyond
  // the end leaves nothing to read.
  void SkipTo(uint64_t unit);

  // The open file, for a rewrite that replaces it while it is read.
  platform::InputFile& File() { return file_; }

 private:
  platform::InputFile file_;
  bool hasMark_ = false;
  bool atEnd_ = false;
  bool pendingByteValid_ = false;
  unsigned char pendingByte_ = 0;  // the first byte of a code unit cut by the last read
};

}  // namespace picrelink
