// ReadUtf16File on any bytes: the text behind FF FE, one unit per two bytes
// (an odd last byte dropped), or the empty text without the mark.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text_file.h"
#include "core/utf.h"
#include "fuzz/fuzz_text.h"

namespace {

using picrelink::fuzz::Fail;

const std::string& FilePath();

void RemoveFolder() {
  const std::string& path = FilePath();
  unlink(path.c_str());
  rmdir(path.substr(0, path.rfind('/')).c_str());
}

// One private folder for the whole fuzzing session, removed at its end. The
// name is never destroyed, so that it outlives the removal at exit.
const std::string& FilePath() {
  static const std::string* const path = [] {
    const char* base = std::getenv("TMPDIR");
    std::string folder =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/picrelink-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) Fail("no temporary folder");
    auto* file = new std::string(folder + "/input.csv");
    std::atexit(RemoveFolder);
    return file;
  }();
  return *path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot write the input file");
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) Fail("cannot write the input file");
    done += static_cast<size_t>(n);
  }
  close(fd);

  std::u16string expected;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (size_t i = 2; i + 1 < size; i += 2) {
      expected.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  }
  if (picrelink::ReadUtf16File(picrelink::FromUtf8(path)) != expected) {
    Fail("the text read differs from the bytes");
  }
  return 0;
}
