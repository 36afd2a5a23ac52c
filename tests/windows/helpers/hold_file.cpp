// A second program for the tests of exclusive access: what another program
// on the machine sees of a file that PicRelink holds, and what PicRelink
// sees of a file another program holds.
//
//   hold_file hold FILE   opens FILE with share mode 0, writes "held" to
//                         standard output and keeps the file open until
//                         standard input ends
//   hold_file try FILE    tries to open FILE the most lenient way, sharing
//                         everything, for reading and then for writing
//
// The exit status is 0 (held, or one of the tries got in), or the system's
// error code of the failed open.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <initializer_list>
#include <string_view>

namespace {

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text,
            static_cast<DWORD>(std::string_view(text).size()), &written, nullptr);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count != 3) return 87;  // ERROR_INVALID_PARAMETER
  const std::wstring_view mode = args[1];
  if (mode == L"try") {
    DWORD error = 0;
    for (const DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
      HANDLE file =
          CreateFileW(args[2], access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return 0;
      }
      error = GetLastError();
    }
    return static_cast<int>(error);
  }
  HANDLE file =
      CreateFileW(args[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  Say("held\n");
  char byte;
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got > 0) {
  }
  CloseHandle(file);
  return 0;
}
