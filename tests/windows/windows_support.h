#pragma once
// Helpers of the Windows tests: other programs started as real processes
// (share modes are only visible between processes), file attributes, and
// the system's texts for error codes.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace picrelink::test {

// A Windows folder as a file URL the way the run writes it: "/" for "\",
// "%20" for spaces, nothing else encoded.
std::u16string UrlOf(std::u16string_view path);

// A listing of one item whose two pictures lie in item1 under a folder:
// 主图.jpg named by path under folder, 细节.jpg by file URL under urlFolder.
std::u16string ItemListing(std::u16string_view folder, std::u16string_view urlFolder);

// The system's text for an error code, as the file messages carry it.
std::string SystemText(DWORD code);

// A file of this program's folder (the build puts the helpers there).
std::wstring BesideThisProgram(std::wstring_view relativeName);

struct ProgramResult {
  DWORD exitCode = 0;
  std::string out;  // bytes as written, "\r\n" turned into "\n"
  std::string err;
};

// Runs a program with the arguments (quoted as CommandLineToArgvW expects)
// and waits for it; standard output and error are collected.
ProgramResult RunProgram(const std::wstring& program, const std::vector<std::wstring>& args);

// The helper program holding the file open with share mode 0 until this
// object goes. Throws when it cannot open the file.
class FileHeldByOtherProgram {
 public:
  explicit FileHeldByOtherProgram(const std::filesystem::path& file);
  ~FileHeldByOtherProgram();
  FileHeldByOtherProgram(const FileHeldByOtherProgram&) = delete;
  FileHeldByOtherProgram& operator=(const FileHeldByOtherProgram&) = delete;

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;  // the helper's standard input; closing it releases the file
};

// 0 when another program can open the file with share mode 0 now, else the
// error code it gets.
DWORD OtherProgramOpenError(const std::filesystem::path& file);

DWORD AttributesOf(const std::filesystem::path& file);
void SetAttributes(const std::filesystem::path& file, DWORD attributes);

}  // namespace picrelink::test
