#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "core/utf.h"

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

namespace {

// The arguments as the system holds them, in UTF-16: argv would carry them
// in the ANSI code page, where Chinese names are lost on most systems. They
// travel as ToNativeBytes, which keeps even an unpaired surrogate of a
// Windows name; the commands take them back with FromNativeBytes.
std::vector<std::string> WideArguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const std::wstring_view arg = wide[i];
    args.push_back(picrelink::ToNativeBytes(std::u16string(arg.begin(), arg.end())));
  }
  LocalFree(wide);
  return args;
}

// The language the user reads Windows in.
picrelink::Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? picrelink::Language::Chinese
                                                                   : picrelink::Language::English;
}

}  // namespace

int main() {
  // The output is UTF-8; a console shows it as such only when told so.
  SetConsoleOutputCP(CP_UTF8);
  return picrelink::cli::Run(WideArguments(), std::cout, std::cerr, UserLanguage());
}

#else

#include <cstdlib>

int main(int argc, char** argv) {
  // The arguments' bytes as they are: a file name need not be UTF-8.
  const std::vector<std::string> args(argv + 1, argv + argc);
  const picrelink::Language language = picrelink::cli::LanguageOfEnvironment(
      std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
  return picrelink::cli::Run(args, std::cout, std::cerr, language);
}

#endif
