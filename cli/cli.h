#pragma once
// picrelink-cli: the relocation commands from a command line. The entry is
// a function over the arguments and the output streams, so that tests call
// it in-process.
#include <iosfwd>
#include <string>
#include <vector>

namespace picrelink::cli {

enum ExitCode : int {
  kDone = 0,
  kFailed = 1,       // an error; its message went to the error stream
  kUsage = 2,        // the command line was not understood
  kNothingDone = 3,  // no CSV, no FF FE mark, no reference to check, or an empty new text
  kNeedsALook = 4,   // done, but pictures are missing or references were left; why on stderr
};

// args excludes the program name. Output is UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace picrelink::cli
