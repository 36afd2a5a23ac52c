#include "tests/support/test_files.h"

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

#include "core/platform.h"
#include "core/utf.h"

namespace picrelink::test {

TempDir::TempDir() {
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("picrelink-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only files and folders behind; make them removable.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add |
                                     std::filesystem::perm_options::nofollow,
                                 ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::u16string TempDir::File(std::string_view name) const {
  // Through char8_t: a plain char name is taken in the ANSI code page on Windows.
  return FromUtf8((path_ / std::u8string(name.begin(), name.end())).string());
}

std::u16string TempDir::Folder() const {
  return FromUtf8(path_.string()) + platform::kLocalSeparator;
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16FileBytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::string ListNames(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  std::string joined;
  for (const auto& name : names) {
    if (!joined.empty()) joined += ' ';
    joined += name;
  }
  return joined;
}

std::filesystem::path ToPath(std::u16string_view text) {
#ifdef _WIN32
  return std::wstring(text.begin(), text.end());
#else
  return ToUtf8(text);
#endif
}

}  // namespace picrelink::test
