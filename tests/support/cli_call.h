#pragma once
// picrelink-cli called in-process, as most CLI tests call it: the arguments
// in, the exit status and both streams out.
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "relocation/language.h"

namespace picrelink::test {

struct CliResult {
  int status;
  std::string out, err;
};

inline CliResult Cli(const std::vector<std::string>& args, Language language = Language::English) {
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err, language);
  return {status, out.str(), err.str()};
}

// Whether part is anywhere in text, as a test asks of what a call printed.
inline bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace picrelink::test
