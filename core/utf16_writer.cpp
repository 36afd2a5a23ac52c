#include "core/utf16_writer.h"

#include <bit>
#include <vector>

namespace picrelink {

Utf16ReplacementWriter::Utf16ReplacementWriter(std::u16string_view target,
                                               platform::InputFile* original)
    : target_(target), original_(original) {}

void Utf16ReplacementWriter::Append(const char16_t* units, size_t count) {
  if (count == 0) return;
  if (!file_) OpenReplacement();
  units_ += count;
  if constexpr (std::endian::native == std::endian::little) {
    file_->Write(units, count * sizeof(char16_t));
  } else {
    std::vector<char16_t> swapped(units, units + count);
    for (char16_t& u : swapped) u = static_cast<char16_t>((u << 8) | (u >> 8));
    file_->Write(swapped.data(), swapped.size() * sizeof(char16_t));
  }
}

void Utf16ReplacementWriter::Commit() {
  if (!file_) OpenReplacement();  // an empty text: the file holds the mark alone
  file_->Commit();
}

void Utf16ReplacementWriter::OpenReplacement() {
  file_ = std::make_unique<platform::ReplacementFile>(target_, original_);
  static constexpr unsigned char kMark[2] = {0xFF, 0xFE};
  file_->Write(kMark, sizeof kMark);
}

}  // namespace picrelink
