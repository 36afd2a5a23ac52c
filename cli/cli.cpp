#include "cli/cli.h"

#include <optional>
#include <ostream>
#include <string_view>

#include "cli/report.h"
#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/adjustment_run.h"
#include "relocation/census.h"
#include "relocation/detection.h"
#include "relocation/error_text.h"
#include "relocation/startup.h"

namespace picrelink::cli {
namespace {

constexpr std::string_view kUsageText =
    "usage: picrelink-cli detect [--level TEXT] CSV\n"
    "       picrelink-cli check [--level TEXT] [--json] CSV [NEW]\n"
    "       picrelink-cli relocate [--backup] [--dry-run] [--json] CSV OLD NEW\n"
    "       picrelink-cli auto [--level TEXT] [--backup] [--dry-run] [--json] FOLDER\n"
    "       picrelink-cli --help\n";

constexpr std::string_view kHelp =
    "Rewrites the picture references of a listing CSV (UTF-16LE behind FF FE)\n"
    "when the CSV and its picture folder have moved.\n"
    "\n"
    "  detect CSV             print the picture folder that the CSV names\n"
    "                         (an empty line when it names none)\n"
    "  check CSV [NEW]        count every reference in every spelling, by the\n"
    "                         folder it names (the detected one marked), and\n"
    "                         look for the pictures under NEW (by default the\n"
    "                         folder that auto would propose beside the CSV);\n"
    "                         writes nothing\n"
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
    "  --json         print one JSON object (UTF-8) in place of the lines\n"
    "\n"
    "exit status: 0 done (check: every reference resolves to a picture), 1 error,\n"
    "2 usage, 3 nothing to do (no CSV, no FF FE mark, no reference to check, or\n"
    "every character would be removed), 4 something needs a look, said on stderr\n"
    "(check: pictures missing, other folders named or the new folder missing;\n"
    "relocate, auto: pictures missing or references still naming the old folder)\n";

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
  bool json = false;
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
    } else if (arg == "--json") {
      line.json = true;
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

// What a command accepts: fewest to most operands, and its options.
struct Accepts {
  size_t fewest = 1;
  size_t most = 1;
  bool level = false;
  bool runOptions = false;  // --backup, --dry-run
  bool json = false;
};

void Expect(const CommandLine& line, const Accepts& accepts) {
  const size_t count = line.operands.size();
  if (count < accepts.fewest || count > accepts.most) {
    const std::string range =
        accepts.fewest == accepts.most
            ? std::to_string(accepts.most)
            : std::to_string(accepts.fewest) + " or " + std::to_string(accepts.most);
    throw UsageError(line.command + " takes " + range +
                     (accepts.most == 1 ? " operand" : " operands"));
  }
  if (!accepts.level && line.level) throw UsageError(line.command + " takes no --level");
  if (!accepts.runOptions && (line.backup || line.dryRun)) {
    throw UsageError(line.command + " takes neither --backup nor --dry-run");
  }
  if (!accepts.json && line.json) throw UsageError(line.command + " takes no --json");
}

// Says why the status is kNeedsALook, when there is a reason.
int Verdict(const std::vector<std::string>& concerns, std::ostream& err) {
  if (concerns.empty()) return kDone;
  err << "Needs a look: ";
  for (size_t i = 0; i < concerns.size(); ++i) err << (i > 0 ? "; " : "") << concerns[i];
  err << ".\n";
  return kNeedsALook;
}

int Check(const CommandLine& line, const MemoryFormValues& values, std::ostream& out,
          std::ostream& err) {
  const std::u16string csv = platform::AbsolutePath(FromUtf8(line.operands[0]));
  // Without NEW, the folder that auto proposes: detection alone reads little
  // of the CSV, so the census pass can look for the pictures at once.
  const std::u16string newFolder = line.operands.size() == 2
                                       ? platform::AbsolutePath(FromUtf8(line.operands[1]))
                                       : ProposedNewFolder(csv, DetectImageFolder(csv, values));
  const CheckResult result = CheckCsv(csv, values.levelText, newFolder);
  if (line.json) {
    WriteJson(out, CheckJson(result, csv, newFolder));
  } else {
    PrintCheck(out, result, csv, newFolder);
  }

  const Census& census = result.census;
  if (!census.hasText) {
    err << "Nothing to check: the CSV holds no UTF-16 text (no FF FE mark, or nothing after "
           "it).\n";
    return kNothingDone;
  }
  if (census.references == 0) {
    err << "Nothing to check: the CSV names no picture.\n";
    return kNothingDone;
  }
  std::vector<std::string> concerns;
  if (result.pictures && result.pictures->missing > 0) {
    concerns.push_back(Counted(result.pictures->missing, "picture is", "pictures are") +
                       " missing");
  }
  if (!result.pictures || !result.pictures->folderExists) {
    concerns.push_back("the new folder " + ToUtf8(newFolder) + " does not exist");
  }
  int64_t elsewhere = census.foldersNotListed;
  for (const CensusFolder& folder : census.folders) {
    if (!folder.detected) elsewhere += folder.references;
  }
  if (elsewhere > 0) {
    concerns.push_back(Counted(elsewhere, "reference names", "references name") +
                       " another folder than the detected one");
  } else if (result.pictures && result.pictures->checked < census.references) {
    concerns.push_back(
        Counted(census.references - result.pictures->checked, "reference was", "references were") +
        " not checked");
  }
  return Verdict(concerns, err);
}

class NoTrigger : public Trigger {
 public:
  void SetAvailable(bool) override {}
};

// The run's message boxes: kept whole for the JSON object, or printed as
// they come. Printed, the success message gives only its first line: the
// counts and warnings below it are the report's, which the lines after it
// tell in full.
class ShownMessages : public Messages {
 public:
  explicit ShownMessages(std::ostream* out) : out_(out) {}
  void ShowInformation(std::u16string_view text, std::u16string_view) override {
    if (out_ != nullptr) {
      *out_ << ToUtf8(text.substr(0, text.find(u'\n'))) << '\n';
    } else {
      kept_.emplace_back(text);
    }
  }
  const std::vector<std::u16string>& Kept() const { return kept_; }

 private:
  std::ostream* out_;
  std::vector<std::u16string> kept_;
};

int Relocate(const MemoryFormValues& values, bool dryRun, bool json, std::ostream& out,
             std::ostream& err) {
  NoTrigger trigger;
  ShownMessages messages(json ? nullptr : &out);
  const RunReport report = RunAdjustment(values, trigger, messages, {.dryRun = dryRun});
  if (json) WriteJson(out, RunJson(report, values, messages.Kept()));
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
    case RunOutcome::NothingToChange:
      // The message saying why went out through the message box seam.
      return kNothingDone;
    case RunOutcome::DryRun:
      if (!json) {
        out << "Dry run: " << report.occurrences[kPathForm] << " path-form and "
            << report.occurrences[kUrlForm] << " URL-form references would be rewritten.\n";
      }
      break;
    case RunOutcome::Written:
      if (!json) {
        out << "Rewritten: " << report.occurrences[kPathForm] << " path-form and "
            << report.occurrences[kUrlForm] << " URL-form references.\n";
      }
      break;
  }
  if (!json) PrintRunDetails(out, report);

  std::vector<std::string> concerns;
  if (report.leftovers > 0) {
    concerns.push_back(Counted(report.leftovers, "reference still names", "references still name") +
                       " the old folder");
  }
  if (report.pictures && report.pictures->missing > 0) {
    concerns.push_back(Counted(report.pictures->missing, "picture is", "pictures are") +
                       " missing under " + ToUtf8(report.pictures->folder));
  }
  return Verdict(concerns, err);
}

int Execute(const CommandLine& line, std::ostream& out, std::ostream& err) {
  MemoryFormValues values;
  values.levelText = FromUtf8(line.level.value_or("1"));
  values.backup = line.backup;
  if (line.command == "detect") {
    Expect(line, {.level = true});
    out << ToUtf8(DetectImageFolder(FromUtf8(line.operands[0]), values)) << '\n';
    return kDone;
  }
  if (line.command == "check") {
    Expect(line, {.fewest = 1, .most = 2, .level = true, .json = true});
    return Check(line, values, out, err);
  }
  if (line.command == "relocate") {
    Expect(line, {.fewest = 3, .most = 3, .runOptions = true, .json = true});
    values.btn1 = FromUtf8(line.operands[0]);
    values.btn2 = FromUtf8(line.operands[1]);
    values.btn3 = FromUtf8(line.operands[2]);
    return Relocate(values, line.dryRun, line.json, out, err);
  }
  if (line.command == "auto") {
    Expect(line, {.level = true, .runOptions = true, .json = true});
    // Start-up receives the program folder whole, with its separator.
    const std::u16string folder =
        AppendSeparator(platform::AbsolutePath(FromUtf8(line.operands[0])),
                        std::u16string(1, platform::kLocalSeparator));
    StartUp(values, folder);
    // With --json the three values are in the object.
    if (!line.json) {
      out << ToUtf8(values.btn1) << '\n'
          << ToUtf8(values.btn2) << '\n'
          << ToUtf8(values.btn3) << '\n';
    }
    return Relocate(values, line.dryRun, line.json, out, err);
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
