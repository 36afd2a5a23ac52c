#pragma once
// Helpers for tests that work on real files in a private temporary folder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace picrelink::test {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path / name as a UTF-16 text, the way the form values hold it.
  std::u16string File(std::string_view name) const;
  // The folder as a UTF-16 text ending in the local separator.
  std::u16string Folder() const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
// FF FE followed by the text's code units, little-endian.
std::string Utf16FileBytes(std::u16string_view text);
// Names of the entries of a folder, sorted (to spot leftover temporary files).
std::string ListNames(const std::filesystem::path& folder);

std::filesystem::path ToPath(std::u16string_view text);

}  // namespace picrelink::test
