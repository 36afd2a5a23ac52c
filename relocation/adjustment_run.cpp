#include "relocation/adjustment_run.h"

#include <string>

#include "core/error.h"
#include "core/freplace.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/text_file.h"
#include "core/utf.h"
#include "relocation/folder_text.h"

namespace picrelink {
namespace {

// Makes the trigger unavailable for the life of the run and available again
// at each of its ends; on an error, before the caller shows it.
class TriggerHold {
 public:
  explicit TriggerHold(Trigger& trigger) : trigger_(trigger) { trigger_.SetAvailable(false); }
  ~TriggerHold() { trigger_.SetAvailable(true); }
  TriggerHold(const TriggerHold&) = delete;
  TriggerHold& operator=(const TriggerHold&) = delete;

 private:
  Trigger& trigger_;
};

struct Replacements {
  std::u16string pathFind, pathReplacement, urlFind, urlReplacement;
};

Replacements FormReplacements(std::u16string_view oldFolder, std::u16string_view newFolder) {
  Replacements r;
  r.pathFind = TrimFolderSeparator(oldFolder);
  r.pathReplacement = TrimFolderSeparator(newFolder);
  r.urlFind = PathToFileUrl(TrimTrailingChar(r.pathFind, u'/'));
  r.urlReplacement = PathToFileUrl(TrimTrailingChar(r.pathReplacement, u'/'));
  return r;
}

void MakeBackup(const std::u16string& csv) {
  const std::u16string backup = StripExtension(csv) + std::u16string(kBackupSuffix);
  try {
    platform::CopyFileOver(csv, backup);
  } catch (const Error& e) {
    // The backup is the seller's safety net: without it the CSV is not touched.
    throw Error("The backup \"" + ToUtf8(platform::AbsolutePath(backup)) +
                "\" could not be written, so the CSV file was left unchanged. " + e.what());
  }
}

}  // namespace

RunReport RunAdjustment(const FormValues& values, Trigger& trigger, Messages& messages,
                        const RunOptions& options) {
  TriggerHold hold(trigger);
  RunReport report;

  const std::u16string csv = values.Btn1();
  if (csv.empty()) return report;  // NoCsv

  if (values.BackupChecked() && !options.dryRun) MakeBackup(csv);

  std::u16string text = ReadUtf16File(csv);
  if (text.empty()) {
    report.outcome = RunOutcome::NoText;
    return report;
  }

  const Replacements r = FormReplacements(values.Btn2(), values.Btn3());
  if (r.pathFind.empty()) {
    throw Error("No folder to replace: the folder named in the CSV is empty");
  }

  // One pass of each replacement over the whole text, so that no occurrence
  // is missed wherever it stands; each intermediate text is freed as soon as
  // the next one exists, so at most two texts are held at once.
  std::u16string afterPaths =
      ReplaceAll(text, r.pathFind, r.pathReplacement, false, &report.pathReferences);
  std::u16string().swap(text);
  std::u16string newText =
      ReplaceAll(afterPaths, r.urlFind, r.urlReplacement, false, &report.urlReferences);
  std::u16string().swap(afterPaths);

  if (newText.empty()) {
    report.outcome = RunOutcome::EmptyNewText;
    return report;
  }
  if (options.dryRun) {
    report.outcome = RunOutcome::DryRun;
    return report;
  }

  WriteUtf16File(newText, csv);
  report.outcome = RunOutcome::Written;
  messages.ShowInformation(kSuccessMessage, kWindowCaption);
  return report;
}

}  // namespace picrelink
