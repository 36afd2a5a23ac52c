#include "core/file_errors.h"

#include "core/platform.h"
#include "core/utf.h"

namespace picrelink::platform {
namespace {

std::string Quoted(std::u16string_view path) {
  std::string quoted = "\"";
  quoted += ToUtf8(AbsolutePath(path));
  quoted += '"';
  return quoted;
}

Error FileError(const char* what, std::u16string_view path, std::string_view reason) {
  std::string message = what;
  message += " ";
  message += Quoted(path);
  message += ". ";
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

Error StreamWriteError(std::u16string_view path, std::string_view reason) {
  return Error(std::string(kStreamWriteError) + ". The file " + Quoted(path) +
               " was left unchanged. " + std::string(reason));
}

Error StreamReadError(std::u16string_view path, std::string_view reason) {
  return Error(std::string(kStreamReadError) + ". The file " + Quoted(path) +
               " could not be read and was left unchanged. " + std::string(reason));
}

Error UnconfirmedDurabilityError(std::u16string_view path, std::string_view reason) {
  return Error("The file " + Quoted(path) +
               " was written, but flushing its folder to disk failed, so it is not certain to "
               "survive a system crash. " +
               std::string(reason));
}

}  // namespace picrelink::platform
