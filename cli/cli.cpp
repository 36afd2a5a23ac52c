#include "cli/cli.h"

#include <filesystem>
#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif
#include <limits>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "cli/cli_texts.h"
#include "cli/report.h"
#include "core/error.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/census/census.h"
#include "relocation/census/picture_search.h"
#include "relocation/error_text.h"
#include "relocation/references/csv_encoding.h"
#include "relocation/references/detection.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/backup.h"
#include "relocation/run/restore.h"
#include "relocation/session/startup.h"

namespace picrelink::cli {
namespace {

constexpr size_t kAnyNumber = std::numeric_limits<size_t>::max();

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An operand as the system handed it over, kept exactly: on POSIX a name
// need not be UTF-8 (main passes the bytes), on Windows main passes the
// UTF-16 arguments through ToNativeBytes.
std::u16string Operand(const std::string& arg) { return FromNativeBytes(arg); }

// An operand in a message.
std::string Shown(const std::string& arg) { return ToUtf8(Operand(arg)); }

// A Windows path ("D:..." or "\\server\..."): it names a folder of another
// machine, the one the CSV came from or goes to, and stays as it is on
// every system.
bool IsWindowsPath(std::u16string_view path) {
  const bool drive = path.size() >= 2 && path[1] == u':' &&
                     ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  return drive || path.starts_with(u"\\\\");
}

// The new folder as the run writes it into the CSV: a relative one made
// absolute against the current folder, as auto does; a Windows path and the
// empty text (which the run refuses) as they are.
std::u16string NewFolderOperand(const std::string& arg) {
  const std::u16string folder = Operand(arg);
  if (folder.empty() || IsWindowsPath(folder)) return folder;
  return platform::AbsolutePath(folder);
}

enum class Kind { Folder, File, Missing };

Kind KindOf(std::u16string_view path) {
#ifdef _WIN32
  const std::filesystem::path native(std::wstring(path.begin(), path.end()));
#else
  const std::filesystem::path native(ToNativeBytes(path));
#endif
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(native, error);
  if (std::filesystem::is_directory(status)) return Kind::Folder;
  return std::filesystem::exists(status) ? Kind::File : Kind::Missing;
}

// Whether this user may not write the file: its permissions (its read-only
// attribute on Windows).
bool IsReadOnly(std::u16string_view path) {
#ifdef _WIN32
  const std::filesystem::path native(std::wstring(path.begin(), path.end()));
#else
  const std::filesystem::path native(ToNativeBytes(path));
  if (access(native.c_str(), W_OK) != 0 && errno == EACCES) return true;
#endif
  std::error_code error;
  const std::filesystem::perms perms = std::filesystem::status(native, error).permissions();
  return !error && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

struct CommandLine {
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> level;  // detection's level text; "1" when not given
  bool backup = false;
  bool dryRun = false;
  bool force = false;
  bool findPictures = false;
  bool json = false;
  bool help = false;
};

CommandLine Parse(const std::vector<std::string>& args, Language language) {
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
    } else if (arg == "--force") {
      line.force = true;
    } else if (arg == "--find-pictures") {
      line.findPictures = true;
    } else if (arg == "--json") {
      line.json = true;
    } else if (arg == "--level") {
      if (i + 1 == args.size()) throw UsageError(Say(language, Text::LevelNeedsValue));
      line.level = args[++i];
    } else if (arg.rfind("--level=", 0) == 0) {
      line.level = arg.substr(8);
    } else {
      throw UsageError(Say(language, Text::UnknownOption, {Shown(arg)}));
    }
  }
  return line;
}

// What a command accepts: fewest to most operands, and its options.
struct Accepts {
  size_t fewest = 1;
  size_t most = 1;  // kAnyNumber: no limit
  bool level = false;
  bool runOptions = false;  // --backup, --dry-run
  bool json = false;
  bool force = false;
  bool findPictures = false;
};

void Expect(const CommandLine& line, const Accepts& accepts, Language language) {
  const size_t count = line.operands.size();
  const std::string& command = line.command;
  if (count < accepts.fewest || count > accepts.most) {
    if (accepts.most == kAnyNumber) throw UsageError(Say(language, Text::TakesFolders, {command}));
    if (accepts.fewest != accepts.most) {
      throw UsageError(
          Say(language, Text::TakesOperandsRange,
              {command, std::to_string(accepts.fewest), std::to_string(accepts.most)}));
    }
    throw UsageError(Say(language,
                         accepts.most == 1 ? Text::TakesOperandOne : Text::TakesOperandMore,
                         {command, std::to_string(accepts.most)}));
  }
  if (!accepts.level && line.level) throw UsageError(Say(language, Text::TakesNoLevel, {command}));
  if (!accepts.runOptions && (line.backup || line.dryRun)) {
    throw UsageError(Say(language, Text::TakesNoRunOptions, {command}));
  }
  if (!accepts.json && line.json) throw UsageError(Say(language, Text::TakesNoJson, {command}));
  if (!accepts.force && line.force) throw UsageError(Say(language, Text::TakesNoForce, {command}));
  if (!accepts.findPictures && line.findPictures) {
    throw UsageError(Say(language, Text::TakesNoFindPictures, {command}));
  }
}

}  // namespace

// The messages are fixed texts, the platform's reason in them in English:
// the line after them says in the user's language what to do.
std::string ErrorNextStep(const std::exception& error, Language language) {
  if (dynamic_cast<const EConvertError*>(&error) != nullptr) {
    return Say(language, Text::LevelNextStep);
  }
  // "Cannot create file "<path>". <reason>": the run creates its new file
  // beside the CSV, so it is the folder that must be writable.
  const std::string_view message = error.what();
  constexpr std::string_view kCannotCreate = "Cannot create file \"";
  if (message.starts_with(kCannotCreate)) {
    const size_t end = message.find('"', kCannotCreate.size());
    if (end != std::string_view::npos) {
      const std::u16string file =
          FromUtf8(message.substr(kCannotCreate.size(), end - kCannotCreate.size()));
      if (KindOf(file) == Kind::File && IsReadOnly(file)) {
        return Say(language, Text::CannotWriteFile, {ToUtf8(file)});
      }
      const size_t slash = file.find_last_of(platform::kLocalSeparator == u'\\' ? u"\\/" : u"/");
      const std::u16string folder =
          slash == std::u16string::npos ? file : file.substr(0, slash == 0 ? 1 : slash);
      return Say(language, Text::CannotWriteFolder, {ToUtf8(folder)});
    }
  }
  return {};
}

namespace {

std::string Joined(const std::vector<std::string>& reasons, Language language) {
  std::string text;
  for (const std::string& reason : reasons) {
    if (!text.empty()) text += Say(language, Text::ReasonsJoint);
    text += reason;
  }
  return text;
}

// The advice for a CSV that does not hold UTF-16LE behind FF FE; empty for
// one that does. Nothing is converted: the file is only looked at.
struct Encoding {
  CsvEncoding encoding = CsvEncoding::Utf16Le;
  std::string advice;
};

Encoding EncodingOf(std::u16string_view csv, Language language) {
  Encoding result;
  result.encoding = SniffCsvEncoding(csv);
  result.advice = language == Language::Chinese ? ToUtf8(EncodingAdviceChinese(result.encoding))
                                                : EncodingAdviceEnglish(result.encoding);
  return result;
}

int Detect(const CommandLine& line, const MemoryFormValues& values, Language language,
           std::ostream& out, std::ostream& err) {
  const std::u16string csv = Operand(line.operands[0]);
  // The line is always there, empty when nothing names a folder, so that a
  // script reads one line whatever happened.
  if (csv.empty()) {
    out << '\n';
    err << Say(language, Text::NothingDone, {Say(language, Text::NoCsvGiven)}) << '\n';
    return kNothingDone;
  }
  const Encoding encoding = EncodingOf(csv, language);
  if (!encoding.advice.empty()) {
    out << '\n';
    err << encoding.advice << '\n';
    return kNothingDone;
  }
  const std::u16string folder = DetectImageFolder(csv, values);
  out << ToUtf8(folder) << '\n';
  if (folder.empty()) {
    err << Say(language, Text::NothingFound, {Say(language, Text::NamesNoPicture)}) << '\n';
    return kNothingDone;
  }
  return kDone;
}

int Check(const CommandLine& line, const MemoryFormValues& values, Language language,
          std::ostream& out, std::ostream& err) {
  if (line.operands[0].empty()) {
    err << Say(language, Text::NothingToCheck, {Say(language, Text::NoCsvGiven)}) << '\n';
    return kNothingDone;
  }
  const std::u16string csv = platform::AbsolutePath(Operand(line.operands[0]));
  const Encoding encoding = EncodingOf(csv, language);
  if (!encoding.advice.empty()) {
    if (line.json) {
      WriteJson(out, Json{{"csv", ToUtf8(csv)},
                          {"has_text", false},
                          {"encoding", EncodingName(encoding.encoding)},
                          {"message", encoding.advice}});
    }
    err << encoding.advice << '\n';
    return kNothingDone;
  }
  // Without NEW, the folder that auto proposes: detection alone reads little
  // of the CSV, so the census pass can look for the pictures at once.
  const std::u16string newFolder = line.operands.size() == 2
                                       ? NewFolderOperand(line.operands[1])
                                       : ProposedNewFolder(csv, DetectImageFolder(csv, values));
  const CheckResult result = CheckCsv(csv, values.levelText, newFolder);
  // Where the pictures are when they are not (all) there: searched beside
  // the CSV.
  const PictureSearch search = SearchPictures(csv, result, CsvFolder(csv));
  if (line.json) {
    Json object = CheckJson(result, csv, newFolder);
    object["suggestion"] = SuggestionJson(search);
    WriteJson(out, object);
  } else {
    PrintCheck(out, result, csv, newFolder, language);
    if (result.census.hasText) PrintSuggestion(out, search, result.census.level, true, language);
  }

  const Census& census = result.census;
  if (!census.hasText || (census.references == 0 && census.notRewritable == 0)) {
    const Text why = census.hasText ? Text::NamesNoPicture : Text::NoUtf16Text;
    err << Say(language, Text::NothingToCheck, {Say(language, why)}) << '\n';
    return kNothingDone;
  }
  std::vector<std::string> concerns;
  if (result.pictures && result.pictures->missing > 0) {
    concerns.push_back(SayCounted(language, result.pictures->missing, Text::PictureMissingOne,
                                  Text::PictureMissingMore));
  }
  if (!result.pictures || !result.pictures->folderExists) {
    concerns.push_back(Say(language, Text::NewFolderMissing, {ToUtf8(newFolder)}));
  }
  int64_t elsewhere = census.foldersNotListed;
  for (const CensusFolder& folder : census.folders) {
    if (!folder.detected && !folder.inNewFolder) elsewhere += folder.references;
  }
  if (elsewhere > 0) {
    concerns.push_back(
        SayCounted(language, elsewhere, Text::OtherFolderOne, Text::OtherFolderMore));
  } else if (result.pictures && result.pictures->checked < census.references) {
    concerns.push_back(SayCounted(language, census.references - result.pictures->checked,
                                  Text::NotCheckedOne, Text::NotCheckedMore));
  }
  if (census.notRewritable > 0) {
    concerns.push_back(SayCounted(language, census.notRewritable, Text::NotRewritableOne,
                                  Text::NotRewritableMore));
  }
  if (concerns.empty()) return kDone;
  err << Say(language, Text::NeedsALook, {Joined(concerns, language)}) << '\n';
  return kNeedsALook;
}

class NoTrigger : public Trigger {
 public:
  void SetAvailable(bool) override {}
};

// The run's message boxes: kept whole, and printed as they come when there
// is a stream for them. Printed, the success message gives only its first
// line: the counts and warnings below it are the report's, which the lines
// after it tell in full.
class ShownMessages : public Messages {
 public:
  explicit ShownMessages(std::ostream* out) : out_(out) {}
  void ShowInformation(std::u16string_view text, std::u16string_view) override {
    if (out_ != nullptr) *out_ << ToUtf8(text.substr(0, text.find(u'\n'))) << '\n';
    kept_.emplace_back(text);
  }
  const std::vector<std::u16string>& Kept() const { return kept_; }

 private:
  std::ostream* out_;
  std::vector<std::u16string> kept_;
};

// One relocation, of relocate or of one of auto's folders. The lines for
// people go to out (none when null); err gets what a single run says there.
// The rest is kept for a summary of several folders.
struct Package {
  int status = kDone;
  // One line for people: the error, why nothing was done, or what needs a
  // look; empty when done.
  std::string why;
  std::optional<RunReport> report;
  Json json;  // the object --json prints; null after an error
};

Package Failed(std::string message, std::ostream& err, const std::string& nextStep = {}) {
  Package package;
  package.status = kFailed;
  package.why = ToUtf8(ErrorBoxText(FromUtf8(message)));
  err << package.why << '\n';
  if (!nextStep.empty()) {
    err << nextStep << '\n';
    package.why += " " + nextStep;
  }
  return package;
}

Package NothingDone(std::string why, Json json, Language language, std::ostream& err) {
  Package package;
  package.status = kNothingDone;
  err << Say(language, Text::NothingDone, {why}) << '\n';
  package.why = std::move(why);
  package.json = std::move(json);
  return package;
}

// What auto adds to the run: its folder, and what to check of its proposal.
struct Proposal {
  std::u16string folder;
  bool force = false;
};

Package Relocate(const MemoryFormValues& values, const CommandLine& line, Language language,
                 const Proposal* proposal, std::ostream* out, std::ostream& err) {
  RunReport report;  // NoCsv
  if (values.btn1.empty()) {
    const std::string why = proposal != nullptr
                                ? Say(language, Text::NoCsvInFolder, {ToUtf8(proposal->folder)})
                                : Say(language, Text::NoCsvGiven);
    return NothingDone(why, RunJson(report, values, {}, Json()), language, err);
  }
  const Encoding encoding = EncodingOf(values.btn1, language);
  if (!encoding.advice.empty()) {
    report.outcome = RunOutcome::NoText;
    Package package;
    package.status = kNothingDone;
    package.why = encoding.advice;
    package.json =
        RunJson(report, values, {FromUtf8(encoding.advice)}, EncodingName(encoding.encoding));
    err << encoding.advice << '\n';
    return package;
  }
  const char* const utf16 = EncodingName(CsvEncoding::Utf16Le);
  if (proposal != nullptr) {
    // Before the run refuses an empty old folder as an error: for auto a CSV
    // that names no picture is a package with nothing to do.
    if (values.btn2.empty()) {
      Json json = RunJson(report, values, {}, utf16);
      json["outcome"] = "no_reference";
      return NothingDone(Say(language, Text::NamesNoPicture), std::move(json), language, err);
    }
    if (!proposal->force && KindOf(values.btn3) != Kind::Folder) {
      return Failed(
          Say(language, Text::AutoNewFolderMissing, {ToUtf8(values.btn3), ToUtf8(values.btn2)}),
          err);
    }
  }

  NoTrigger trigger;
  ShownMessages messages(line.json ? nullptr : out);
  report = RunAdjustment(values, trigger, messages, {.dryRun = line.dryRun, .language = language});
  Package package;
  package.report = report;
  package.json = RunJson(report, values, messages.Kept(), utf16);
  switch (report.outcome) {
    case RunOutcome::NoCsv:
    case RunOutcome::NoText: {
      Package nothing =
          NothingDone(Say(language, Text::NoUtf16Text), std::move(package.json), language, err);
      nothing.report = report;
      return nothing;
    }
    case RunOutcome::EmptyNewText: {
      Package nothing = NothingDone(Say(language, Text::EverythingRemoved), std::move(package.json),
                                    language, err);
      nothing.report = report;
      return nothing;
    }
    case RunOutcome::NothingToChange:
      // The message saying why went out through the message box seam.
      package.status = kNothingDone;
      package.why = messages.Kept().empty() ? std::string() : ToUtf8(messages.Kept().back());
      return package;
    case RunOutcome::DryRun:
    case RunOutcome::Written:
      if (out != nullptr && !line.json) {
        const bool dry = report.outcome == RunOutcome::DryRun;
        *out << Say(language, dry ? Text::DryRunCounts : Text::RewrittenCounts,
                    {std::to_string(report.occurrences[kPathForm]),
                     std::to_string(report.occurrences[kUrlForm])})
             << '\n';
        PrintRunDetails(*out, report, language);
      }
      break;
  }

  std::vector<std::string> concerns;
  if (report.leftovers > 0) {
    concerns.push_back(
        SayCounted(language, report.leftovers, Text::StillNamesOldOne, Text::StillNamesOldMore));
  }
  if (report.leftAlone.inMissingFolders > 0) {
    concerns.push_back(SayCounted(language, report.leftAlone.inMissingFolders,
                                  Text::MissingFolderRefsOne, Text::MissingFolderRefsMore));
  }
  if (report.leftAlone.inOtherKind > 0) {
    concerns.push_back(SayCounted(language, report.leftAlone.inOtherKind, Text::OtherKindOne,
                                  Text::OtherKindMore));
  }
  if (report.pictures) {
    const int64_t elsewhere = report.pictures->missingElsewhere;
    const int64_t underNew = report.pictures->missing - elsewhere;
    if (underNew > 0) {
      concerns.push_back(SayCounted(language, underNew, Text::PictureMissingUnderOne,
                                    Text::PictureMissingUnderMore,
                                    {ToUtf8(report.pictures->folder)}));
    }
    if (elsewhere > 0) {
      concerns.push_back(SayCounted(language, elsewhere, Text::PictureMissingElsewhereOne,
                                    Text::PictureMissingElsewhereMore));
    }
  }
  // Written into a folder that is not there: relocate as asked, auto with
  // --force.
  if (report.newFolderMissing || (proposal != nullptr && !report.pictures)) {
    concerns.push_back(Say(language, Text::NewFolderMissing, {ToUtf8(values.btn3)}));
  }
  if (!concerns.empty()) {
    package.status = kNeedsALook;
    package.why = Joined(concerns, language);
    err << Say(language, Text::NeedsALook, {package.why}) << '\n';
  }
  return package;
}

MemoryFormValues ValuesOf(const CommandLine& line) {
  MemoryFormValues values;
  values.levelText = Operand(line.level.value_or("1"));
  values.backup = line.backup;
  return values;
}

// One of auto's folders: discovery as the window does at start, the three
// values (and the other CSV files) on out, then the run.
Package Auto(const std::string& operand, const CommandLine& line, Language language,
             std::ostream* out, std::ostream& err) {
  try {
    const std::u16string given = Operand(operand);
    if (given.empty()) return Failed(Say(language, Text::AutoEmptyOperand), err);
    const std::u16string absolute = platform::AbsolutePath(given);
    switch (KindOf(absolute)) {
      case Kind::Folder:
        break;
      case Kind::File:
        return Failed(Say(language, Text::AutoOnFile, {ToUtf8(absolute)}), err);
      case Kind::Missing:
        return Failed(Say(language, Text::AutoFolderMissing, {ToUtf8(absolute)}), err);
    }
    // Start-up receives the program folder whole, with its separator.
    const std::u16string folder =
        AppendSeparator(absolute, std::u16string(1, platform::kLocalSeparator));
    MemoryFormValues values = ValuesOf(line);
    // Start-up, keeping the files that were not taken.
    const std::vector<std::u16string> candidates = FindCsvCandidates(folder);
    StartUp(values, folder, candidates);
    // Asked to, the pictures are searched for in the folder and taken where
    // most of them are, when that finds more than the proposal.
    std::optional<PictureSearch> search;
    const std::u16string proposed = values.btn3;
    const std::u16string levelBefore = values.levelText;
    if (line.findPictures && !values.btn1.empty() && !values.btn2.empty()) {
      const CheckResult check = CheckCsv(values.btn1, values.levelText, values.btn3);
      search = SearchPictures(values.btn1, check, CsvFolder(values.btn1));
      if (search->suggestion) {
        const PictureSuggestion& suggestion = *search->suggestion;
        values.btn2 = suggestion.oldFolder;
        values.btn3 = suggestion.newFolder;
        if ((suggestion.level > 0) != (check.census.level > 0)) {
          values.levelText = LevelTextOf(suggestion.level);
        }
      }
    }
    // With --json the values are in the object.
    if (out != nullptr && !line.json) {
      const auto shown = [&](std::u16string_view value) {
        return value.empty() ? Say(language, Text::NoValue) : ToUtf8(value);
      };
      *out << Say(language, Text::LabelCsv, {shown(values.btn1)}) << '\n'
           << Say(language, Text::LabelOldFolder, {shown(values.btn2)}) << '\n'
           << Say(language, Text::LabelNewFolder, {shown(values.btn3)}) << '\n';
      if (search && search->suggestion) {
        const PictureSuggestion& suggestion = *search->suggestion;
        *out << Say(language, Text::AutoFoundPictures,
                    {ToUtf8(CsvFolder(values.btn1)), Grouped(suggestion.found),
                     Grouped(suggestion.checked), Grouped(search->proposalFound)})
             << '\n';
        if (values.levelText != levelBefore) {
          *out << Say(language, Text::LabelLevel, {ToUtf8(values.levelText)}) << '\n';
        }
      }
      if (search && search->stop != SearchStop::Complete) {
        PictureSearch stopped = *search;
        stopped.suggestion.reset();
        PrintSuggestion(*out, stopped, 0, false, language);
      }
      if (candidates.size() > 1) {
        *out << Say(language, Text::OtherCsvFiles) << '\n';
        for (size_t i = 1; i < candidates.size(); ++i)
          *out << "  " << ToUtf8(candidates[i]) << '\n';
      }
    }
    const Proposal proposal{folder, line.force};
    Package package = Relocate(values, line, language, &proposal, out, err);
    if (package.json.is_object() && line.findPictures) {
      package.json["suggestion"] = search ? SuggestionJson(*search) : Json();
      package.json["proposed_new_folder"] = ToUtf8(proposed);
    }
    if (package.json.is_object()) {
      Json others = Json::array();
      for (size_t i = 1; i < candidates.size(); ++i) others.push_back(ToUtf8(candidates[i]));
      package.json["other_csv_files"] = std::move(others);
    }
    return package;
  } catch (const std::exception& e) {
    return Failed(e.what(), err, ErrorNextStep(e, language));
  }
}

// restore: the newest backup put back, the CSV's bytes kept before it.
int Restore(const CommandLine& line, Language language, std::ostream& out, std::ostream& err) {
  const std::u16string csv = Operand(line.operands[0]);
  if (csv.empty()) {
    err << Say(language, Text::NothingDone, {Say(language, Text::NoCsvGiven)}) << '\n';
    return kNothingDone;
  }
  const std::string shown = ToUtf8(platform::AbsolutePath(csv));
  const RestoreReport report = RestoreBackup(csv);
  switch (report.outcome) {
    case RestoreOutcome::NoBackup:
      err << Say(language, Text::NothingDone,
                 {Say(language, Text::RestoreNoBackup,
                      {shown, ToUtf8(platform::AbsolutePath(BackupName(csv, 1)))})})
          << '\n';
      return kNothingDone;
    case RestoreOutcome::AlreadySame:
      err << Say(language, Text::NothingDone,
                 {Say(language, Text::RestoreAlreadySame, {shown, ToUtf8(report.backup)})})
          << '\n';
      return kNothingDone;
    case RestoreOutcome::Restored:
      break;
  }
  out << Say(language, Text::RestoreDone, {shown, ToUtf8(report.backup)}) << '\n'
      << Say(language, Text::RestoreKept, {ToUtf8(report.kept)}) << '\n'
      << Say(language, Text::RestoreUndo, {shown}) << '\n';
  return kDone;
}

const char* StatusName(int status) {
  switch (status) {
    case kDone:
      return "done";
    case kNothingDone:
      return "nothing_to_do";
    case kNeedsALook:
      return "needs_a_look";
    default:
      return "error";
  }
}

// Several folders: one line (or JSON entry) for each, then the total.
int AutoBatch(const CommandLine& line, Language language, std::ostream& out) {
  Json entries = Json::array();
  int worst = kDone;
  int64_t counts[5] = {};  // by status
  int64_t rewritten = 0;
  for (const std::string& operand : line.operands) {
    std::ostringstream ignored;  // what a single run says on stderr: the line says it
    const Package package = Auto(operand, line, language, nullptr, ignored);
    worst = WorstStatus(worst, package.status);
    ++counts[package.status];
    int64_t references = 0;
    std::string counted;
    if (package.report && (package.report->outcome == RunOutcome::Written ||
                           package.report->outcome == RunOutcome::DryRun)) {
      const RunReport& report = *package.report;
      for (const int64_t count : report.occurrences) references += count;
      counted = Say(language, line.dryRun ? Text::BatchRewrittenDryRun : Text::BatchRewritten,
                    {Grouped(references), FormsText(report.occurrences, language)});
      if (report.respelledTotal > 0) {
        counted += Say(language, Text::BatchRespelled, {Grouped(report.respelledTotal)});
      }
      references += report.respelledTotal;
    }
    rewritten += references;
    if (line.json) {
      entries.push_back({{"folder", Shown(operand)},
                         {"status", StatusName(package.status)},
                         {"exit_status", package.status},
                         {"why", package.why.empty() ? Json() : Json(package.why)},
                         {"run", package.json}});
      continue;
    }
    Text label = Text::BatchError;
    std::string says = package.why;
    switch (package.status) {
      case kDone:
        label = Text::BatchDone;
        says = counted;
        break;
      case kNeedsALook:
        label = Text::BatchNeedsALook;
        says = counted + Say(language, Text::ReasonsJoint) + package.why;
        break;
      case kNothingDone:
        label = Text::BatchNothingToDo;
        break;
    }
    out << Say(language, label, {Shown(operand), says}) << '\n';
  }
  if (line.json) {
    WriteJson(out, Json{{"packages", std::move(entries)},
                        {"total",
                         {{"packages", line.operands.size()},
                          {"done", counts[kDone]},
                          {"needs_a_look", counts[kNeedsALook]},
                          {"nothing_to_do", counts[kNothingDone]},
                          {"error", counts[kFailed]},
                          {"rewritten", rewritten},
                          {"exit_status", worst}}}});
  } else {
    out << Say(language, line.dryRun ? Text::BatchTotalDryRun : Text::BatchTotal,
               {Grouped(counts[kDone]), Grouped(counts[kNeedsALook]), Grouped(counts[kNothingDone]),
                Grouped(counts[kFailed]), Grouped(static_cast<int64_t>(line.operands.size())),
                Grouped(rewritten)})
        << '\n';
  }
  return worst;
}

int Execute(const CommandLine& line, Language language, std::ostream& out, std::ostream& err) {
  if (line.command == "detect") {
    Expect(line, {.level = true}, language);
    return Detect(line, ValuesOf(line), language, out, err);
  }
  if (line.command == "check") {
    Expect(line, {.fewest = 1, .most = 2, .level = true, .json = true}, language);
    return Check(line, ValuesOf(line), language, out, err);
  }
  if (line.command == "relocate") {
    Expect(line, {.fewest = 3, .most = 3, .runOptions = true, .json = true}, language);
    MemoryFormValues values = ValuesOf(line);
    values.btn1 = Operand(line.operands[0]);
    values.btn2 = Operand(line.operands[1]);
    values.btn3 = NewFolderOperand(line.operands[2]);
    const Package package = Relocate(values, line, language, nullptr, &out, err);
    if (line.json && !package.json.is_null()) WriteJson(out, package.json);
    return package.status;
  }
  if (line.command == "restore") {
    Expect(line, {}, language);
    return Restore(line, language, out, err);
  }
  if (line.command == "auto") {
    Expect(line,
           {.fewest = 1,
            .most = kAnyNumber,
            .level = true,
            .runOptions = true,
            .json = true,
            .force = true,
            .findPictures = true},
           language);
    if (line.operands.size() > 1) return AutoBatch(line, language, out);
    const Package package = Auto(line.operands[0], line, language, &out, err);
    if (line.json && !package.json.is_null()) WriteJson(out, package.json);
    return package.status;
  }
  throw UsageError(line.command.empty()
                       ? Say(language, Text::NoCommand)
                       : Say(language, Text::UnknownCommand, {Shown(line.command)}));
}

}  // namespace

int WorstStatus(int a, int b) {
  const auto rank = [](int status) {
    switch (status) {
      case kDone:
        return 0;
      case kNothingDone:
        return 1;
      case kNeedsALook:
        return 2;
      default:
        return 3;
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        Language language) {
  try {
    const CommandLine line = Parse(args, language);
    if (line.help) {
      out << Say(language, Text::Usage) << '\n' << Say(language, Text::Help);
      return kDone;
    }
    return Execute(line, language, out, err);
  } catch (const UsageError& e) {
    err << "picrelink-cli: " << e.what() << '\n' << Say(language, Text::Usage);
    return kUsage;
  } catch (const std::exception& e) {
    err << ToUtf8(ErrorBoxText(FromUtf8(e.what()))) << '\n';
    const std::string nextStep = ErrorNextStep(e, language);
    if (!nextStep.empty()) err << nextStep << '\n';
    return kFailed;
  }
}

Language LanguageOfEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value != nullptr && *value != '\0') return LanguageOfLocale(value);
  }
  return Language::English;
}

}  // namespace picrelink::cli
