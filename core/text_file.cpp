#include "core/text_file.h"

#include <bit>
#include <cstdint>
#include <system_error>

#include "core/file_errors.h"
#include "core/platform.h"

namespace picrelink {
namespace {

constexpr unsigned char kMark[2] = {0xFF, 0xFE};
// Text lengths are 32-bit counts; a larger file cannot be held as one text.
constexpr uint64_t kMaxFileSize = uint64_t{1} << 31;
constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

void SwapBytes(std::u16string& text) {
  for (char16_t& unit : text) unit = static_cast<char16_t>((unit << 8) | (unit >> 8));
}

}  // namespace

std::u16string ReadUtf16File(std::u16string_view fileName) {
  if (fileName.empty()) return {};
  platform::InputFile file(fileName);
  const uint64_t size = file.Size();
  if (size >= kMaxFileSize) {
    // The portable code of "file too large", whatever the platform's own codes are.
    throw platform::OpenFileError(fileName, platform::TrimErrorText(std::generic_category().message(
                                                static_cast<int>(std::errc::file_too_large))));
  }
  unsigned char mark[2] = {0, 0};
  if (size < 2 || file.Read(mark, 2) < 2 || mark[0] != kMark[0] || mark[1] != kMark[1]) return {};

  std::u16string text(static_cast<size_t>((size - 2) / 2), u'\0');
  const size_t bytes = file.Read(text.data(), text.size() * sizeof(char16_t));
  // Only a file cut short by another program while it was read gives less.
  text.resize(bytes / sizeof(char16_t));
  if constexpr (!kLittleEndianHost) SwapBytes(text);
  return text;
}

void WriteUtf16File(std::u16string_view text, std::u16string_view fileName) {
  platform::ReplacementFile file(fileName);
  file.Write(kMark, sizeof kMark);
  if constexpr (kLittleEndianHost) {
    file.Write(text.data(), text.size() * sizeof(char16_t));
  } else {
    std::u16string swapped(text);
    SwapBytes(swapped);
    file.Write(swapped.data(), swapped.size() * sizeof(char16_t));
  }
  file.Commit();
}

}  // namespace picrelink
