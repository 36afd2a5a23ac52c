#include "core/utf16_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>


namespace picrelink {

Utf16ReplacementWriter::Utf16ReplacementWriter(std::u16string_view target,
                                               platform::InputFile* original,
                                               size_t bufferUnits)
    : target_(target), original_(original), buffer_(std::max<size_t>(bufferUnits, 1)) {}

void Utf16ReplacementWriter::Append(const char16_t* units, size_t count) {
  if (count == 0) return;
  units_ += count;
  if (count >= buffer_.size()) {
    // A long piece goes out as it is rather than through the buffer.
    Flush();
    WriteUnits(units, count);
    return;
  }
  if (count > buffer_.size() - used_) Flush();
  std::memcpy(buffer_.data() + used_, units, count * sizeof(char16_t));
  used_ += count;
}

void Utf16ReplacementWriter::Commit() {
  Flush();
  if (!file_) OpenReplacement();  // an empty text: the file holds the mark alone
  file_->Commit();
}

void Utf16ReplacementWriter::OpenReplacement() {
  file_ = std::make_unique<platform::ReplacementFile>(target_, original_);
  static constexpr unsigned char kMark[2] = {0xFF, 0xFE};
  file_->Write(kMark, sizeof kMark);
}

void Utf16ReplacementWriter::Flush() {
  if (used_ == 0) return;
  WriteUnits(buffer_.data(), used_);
  used_ = 0;
}

void Utf16ReplacementWriter::WriteUnits(const char16_t* units, size_t count) {
  if (!file_) OpenReplacement();
  if constexpr (std::endian::native == std::endian::little) {
    file_->Write(units, count * sizeof(char16_t));
  } else {
    std::vector<char16_t> swapped(units, units + count);
    for (char16_t& u : swapped) u = static_cast<char16_t>((u << 8) | (u >> 8));
    file_->Write(swapped.data(), swapped.size() * sizeof(char16_t));
  }
}

}  // namespace picrelink
