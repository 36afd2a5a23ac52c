#include "core/file_errors.h"

#include "core/platform.h"
#include "core/utf.h"

namespace picrelink::platform {
namespace {

Error FileError(const char* what, std::u16string_view path, std::string_view reason) {
  std::string message = what;
  message += " \"";
  message += ToUtf8(AbsolutePath(path));
  message += "\". ";
  message += reason;
  return Error(message);
}

}  // namespace

std::string TrimErrorText(std::string_view text) {
  size_t end = text.size();
  while (end > 0) {
    const auto c = static_cast<unsigned char>(text[end - 1]);
    // Bytes of multi-byte UTF-8 sequences are >= 0x80 and are never cut.
    if (c > 0x20 && c != 0x7F && c != '.') break;
    --end;
  }
  return std::string(text.substr(0, end));
}

Error OpenFileError(std::u16string_view path, std::string_view reason) {
  return FileError("Cannot open file", path, reason);
}

Error CreateFileError(std::u16string_view path, std::string_view reason) {
  return FileError("Cannot create file", path, reason);
}

}  // namespace picrelink::platform
