#include "core/text_file.h"

#include <cstdint>
#include <system_error>

#include "core/file_errors.h"
#include "core/platform.h"
#include "core/utf16_reader.h"
#include "core/utf16_writer.h"

namespace picrelink {
namespace {

// Text lengths are 32-bit counts; a larger file cannot be held as one text.
constexpr uint64_t kMaxFileSize = uint64_t{1} << 31;

}  // namespace

std::u16string ReadUtf16File(std::u16string_view fileName) {
  if (fileName.empty()) return {};
  // A read that changes nothing lets other readers in.
  Utf16FileReader reader(fileName, platform::Sharing::ReadersAllowed);
  const uint64_t size = reader.File().Size();
  if (size >= kMaxFileSize) {
    // The portable code of "file too large", whatever the platform's own codes are.
    throw platform::OpenFileError(fileName, platform::TrimErrorText(std::generic_category().message(
                                                static_cast<int>(std::errc::file_too_large))));
  }
  if (!reader.HasMark()) return {};
  std::u16string text(static_cast<size_t>((size - 2) / 2), u'\0');
  // Only a file cut short by another program while it was read gives less.
  text.resize(reader.Read(text.data(), text.size()));
  return text;
}

void WriteUtf16File(std::u16string_view text, std::u16string_view fileName) {
  Utf16ReplacementWriter writer(fileName, nullptr);
  writer.Append(text.data(), text.size());
  writer.Commit();
}

}  // namespace picrelink
