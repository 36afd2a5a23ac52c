#include "core/utf16_reader.h"

#include <bit>

namespace picrelink {

Utf16FileReader::Utf16FileReader(std::u16string_view fileName, platform::Sharing sharing)
    : file_(fileName, sharing) {
  unsigned char mark[2] = {0, 0};
  hasMark_ = file_.Size() >= 2 && file_.Read(mark, 2) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
}

size_t Utf16FileReader::Read(char16_t* units, size_t maxUnits) {
  if (!hasMark_ || atEnd_ || maxUnits == 0) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(units);
  const size_t wanted = maxUnits * sizeof(char16_t);
  size_t have = 0;
  if (pendingByteValid_) {
    bytes[have++] = pendingByte_;
    pendingByteValid_ = false;
  }
  const size_t got = file_.Read(bytes + have, wanted - have);
  // InputFile::Read gives fewer bytes than asked only at the end of the file.
  if (got < wanted - have) atEnd_ = true;
  have += got;
  if (have % 2 != 0) {
    // Half a code unit: at the end it is dropped, otherwise it leads the next read.
    pendingByte_ = bytes[have - 1];
    pendingByteValid_ = !atEnd_;
    --have;
  }
  const size_t count = have / sizeof(char16_t);
  if constexpr (std::endian::native != std::endian::little) {
    for (size_t i = 0; i < count; ++i) {
      units[i] = static_cast<char16_t>((units[i] << 8) | (units[i] >> 8));
    }
  }
  return count;
}

void Utf16FileReader::SkipTo(uint64_t unit) {
  if (!hasMark_) return;
  file_.Seek(2 + unit * sizeof(char16_t));
  atEnd_ = false;
  pendingByteValid_ = false;
}

}  // namespace picrelink
