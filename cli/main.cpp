#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include "core/utf.h"

namespace {

// The arguments as the system holds them, in UTF-16, turned into UTF-8: argv
// would carry them in the ANSI code page, where Chinese names are lost on
// most systems.
std::vector<std::string> WideArguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const std::wstring_view arg = wide[i];
    args.push_back(picrelink::ToUtf8(std::u16string(arg.begin(), arg.end())));
  }
  LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  // The output is UTF-8; a console shows it as such only when told so.
  SetConsoleOutputCP(CP_UTF8);
  return picrelink::cli::Run(WideArguments(), std::cout, std::cerr);
}

#else

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return picrelink::cli::Run(args, std::cout, std::cerr);
}

#endif
