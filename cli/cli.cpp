#include "cli/cli.h"

#include <optional>
#include <ostream>
#include <string_view>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/adjustment_run.h"
#include "relocation/detection.h"
#include "relocation/error_text.h"
#include "relocation/startup.h"

namespace picrelink::cli {
namespace {

constexpr std::string_view kUsageText =
    "usage: picrelink-cli detect [--level TEXT] CSV\n"
    "       picrelink-cli relocate [--backup] [--dry-run] CSV OLD NEW\n"
    "       picrelink-cli auto [--level TEXT] [--backup] [--dry-run] FOLDER\n"
    "       picrelink-cli --help\n";

constexpr std::string_view kHelp =
    "Rewrites the picture references of a listing CSV (UTF-16LE behind FF FE)\n"
    "when the CSV and its picture folder have moved.\n"
    "\n"
    "  detect CSV             print the picture folder that the CSV names\n"
    "                         (an empty line when it names none)\n"
    "  relocate CSV OLD NEW   replace the folder OLD by NEW in every reference,\n"
    "                         in path form and in file-URL form\n"
    "  auto FOLDER            find the CSV in FOLDER as the window does at start,\n"
    "                         print the CSV, the folder it names and the proposed\n"
    "                         actual folder, then relocate with them\n"
    "\n"
    "options:\n"
    "  --level TEXT   how many folders above the pictures' own folder the CSV's\n"
    "                 folder is taken (\"0\" or \"1\"; default \"1\")\n"
    "  --backup       copy the CSV to <name>_备份.csv first\n"
    "  --dry-run      count the references that would change; write nothing\n"
    "\n"
    "exit status: 0 done, 1 error, 2 usage, 3 nothing to do (no CSV, no FF FE\n"
    "mark, or every character would be removed)\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> level;  // detection's level text; "1" when not given
  bool backup = false;
  bool dryRun = false;
  bool help = false;
};

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine line;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (line.command.empty()) {
        line.command = arg;
      } else {
        line.operands.push_back(arg);
      }
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--backup") {
      line.backup = true;
    } else if (arg == "--dry-run") {
      line.dryRun = true;
    } else if (arg == "--level") {
      if (i + 1 == args.size()) throw UsageError("--level needs a value");
      line.level = args[++i];
    } else if (arg.rfind("--level=", 0) == 0) {
      line.level = arg.substr(8);
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  return line;
}

void Expect(const CommandLine& line, size_t operands, bool levelAllowed, bool runOptionsAllowed) {
  if (line.operands.size() != operands) {
    throw UsageError(line.command + " takes " + std::to_string(operands) +
                     (operands == 1 ? " operand" : " operands"));
  }
  if (!levelAllowed && line.level) throw UsageError(line.command + " takes no --level");
  if (!runOptionsAllowed && (line.backup || line.dryRun)) {
    throw UsageError(line.command + " takes neither --backup nor --dry-run");
  }
}

class NoTrigger : public Trigger {
 public:
  void SetAvailable(bool) override {}
};

class PrintedMessages : public Messages {
 public:
  explicit PrintedMessages(std::ostream& out) : out_(out) {}
  void ShowInformation(std::u16string_view text, std::u16string_view) override {
    out_ << ToUtf8(text) << '\n';
  }

 private:
  std::ostream& out_;
};

int Relocate(const MemoryFormValues& values, bool dryRun, std::ostream& out, std::ostream& err) {
  NoTrigger trigger;
  PrintedMessages messages(out);
  const RunReport report = RunAdjustment(values, trigger, messages, {.dryRun = dryRun});
  switch (report.outcome) {
    case RunOutcome::NoCsv:
      err << "Nothing done: no CSV file.\n";
      return kNothingDone;
    case RunOutcome::NoText:
      err << "Nothing done: the CSV holds no UTF-16 text (no FF FE mark, or nothing after it).\n";
      return kNothingDone;
    case RunOutcome::EmptyNewText:
      err << "Nothing done: every character of the CSV would be removed.\n";
      return kNothingDone;
    case RunOutcome::DryRun:
      out << "Dry run: " << report.occurrences[kPathForm] << " path-form and "
          << report.occurrences[kUrlForm] << " URL-form references would be rewritten.\n";
      return kDone;
    case RunOutcome::Written:
      out << "Rewritten: " << report.occurrences[kPathForm] << " path-form and "
          << report.occurrences[kUrlForm] << " URL-form references.\n";
      return kDone;
  }
  return kFailed;
}

int Execute(const CommandLine& line, std::ostream& out, std::ostream& err) {
  MemoryFormValues values;
  values.levelText = FromUtf8(line.level.value_or("1"));
  values.backup = line.backup;
  if (line.command == "detect") {
    Expect(line, 1, true, false);
    out << ToUtf8(DetectImageFolder(FromUtf8(line.operands[0]), values)) << '\n';
    return kDone;
  }
  if (line.command == "relocate") {
    Expect(line, 3, false, true);
    values.btn1 = FromUtf8(line.operands[0]);
    values.btn2 = FromUtf8(line.operands[1]);
    values.btn3 = FromUtf8(line.operands[2]);
    return Relocate(values, line.dryRun, out, err);
  }
  if (line.command == "auto") {
    Expect(line, 1, true, true);
    // Start-up receives the program folder whole, with its separator.
    const std::u16string folder =
        AppendSeparator(platform::AbsolutePath(FromUtf8(line.operands[0])),
                        std::u16string(1, platform::kLocalSeparator));
    StartUp(values, folder);
    out << ToUtf8(values.btn1) << '\n' << ToUtf8(values.btn2) << '\n' << ToUtf8(values.btn3) << '\n';
    return Relocate(values, line.dryRun, out, err);
  }
  throw UsageError(line.command.empty() ? "no command given" : "unknown command " + line.command);
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const CommandLine line = Parse(args);
    if (line.help) {
      out << kUsageText << '\n' << kHelp;
      return kDone;
    }
    return Execute(line, out, err);
  } catch (const UsageError& e) {
    err << "picrelink-cli: " << e.what() << '\n' << kUsageText;
    return kUsage;
  } catch (const std::exception& e) {
    err << ToUtf8(ErrorBoxText(FromUtf8(e.what()))) << '\n';
    return kFailed;
  }
}

}  // namespace picrelink::cli
