#pragma once
// picrelink-cli: the relocation commands from a command line. The entry is
// a function over the arguments, the language and the output streams, so
// that tests call it in-process.
#include <exception>
#include <iosfwd>
#include <string>
#include <vector>

#include "relocation/language.h"

namespace picrelink::cli {

enum ExitCode : int {
  kDone = 0,
  kFailed = 1,  // an error; its message went to the error stream
  kUsage = 2,   // the command line was not understood
  kNothingDone =
      3,            // no CSV, a CSV in another encoding, no picture reference, or an empty new text
  kNeedsALook = 4,  // done, but pictures are missing or references were left; why on stderr
};

// The status of several folders together: the worst of theirs, an error
// first, then something that needs a look, then nothing to do, then done.
int WorstStatus(int a, int b);

// args excludes the program name. An operand that names a file is taken as
// the system's bytes (on POSIX; FromNativeBytes), so that a name that is not
// UTF-8 is found as it is. The program's own sentences are in language;
// everything written is UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        Language language = Language::English);

// What to do about an error whose message is one of the system's fixed texts
// (the level's, "Cannot create file ..." with the platform's reason): a line
// in the language that follows the message; empty when there is nothing to
// add.
std::string ErrorNextStep(const std::exception& error, Language language);

// The language of the locale that the environment names, given the values
// of LC_ALL, LC_MESSAGES and LANG (null when unset): the first of them that
// is set and not empty decides, as POSIX has it.
Language LanguageOfEnvironment(const char* lcAll, const char* lcMessages, const char* lang);

}  // namespace picrelink::cli
