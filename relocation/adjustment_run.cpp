#include "relocation/adjustment_run.h"

#include <array>
#include <optional>
#include <string>

#include "core/background_sink.h"
#include "core/error.h"
#include "core/freplace.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/stream_replace.h"
#include "core/utf.h"
#include "core/utf16_reader.h"
#include "core/utf16_writer.h"
#include "relocation/reference_forms.h"
#include "relocation/respelling_pass.h"
#include "relocation/run_summary.h"

namespace picrelink {
namespace {

// Makes the trigger unavailable for the life of the run and available again
// at each of its ends; on an error, before the caller shows it.
class TriggerHold {
 public:
  explicit TriggerHold(Trigger &trigger) : trigger_(trigger) { trigger_.SetAvailable(false); }
  ~TriggerHold() { trigger_.SetAvailable(true); }
  TriggerHold(const TriggerHold &) = delete;
  TriggerHold &operator=(const TriggerHold &) = delete;

 private:
  Trigger &trigger_;
};

void MakeBackup(const std::u16string &csv) {
  const std::u16string backup = StripExtension(csv) + std::u16string(kBackupSuffix);
  try {
    platform::CopyFileOver(csv, backup);
  } catch (const Error &e) {
    // The backup is the seller's safety net: without it the CSV is not touched.
    throw Error("The backup \"" + ToUtf8(platform::AbsolutePath(backup)) +
                "\" could not be written, so the CSV file was left unchanged. " + e.what());
  }
}

// The end of a dry run: only the length of the new text matters.
struct CountingSink : TextSink {
  void Append(const char16_t *, size_t count) override { units += count; }
  uint64_t units = 0;
};

}  // namespace

RunReport RunAdjustment(const FormValues &values, Trigger &trigger, Messages &messages,
                        const RunOptions &options) {
  TriggerHold hold(trigger);
  RunReport report;

  const std::u16string csv = values.Btn1();
  if (csv.empty()) return report;  // NoCsv

  if (values.BackupChecked() && !options.dryRun) MakeBackup(csv);

  Utf16FileReader reader(csv);
  // One code unit tells whether there is any text; the passes exist only
  // once it does and the folders are known to be usable.
  char16_t first = 0;
  if (!reader.HasMark() || reader.Read(&first, 1) == 0) {
    report.outcome = RunOutcome::NoText;
    return report;
  }

  const std::u16string oldFolder = values.Btn2();
  const std::u16string newFolder = values.Btn3();
  if (kReferenceForms[kPathForm].folderText(oldFolder).empty()) {
    throw Error("No folder to replace: the folder named in the CSV is empty");
  }

  // Reader -> one pass per form, in the table's order -> the other spellings
  // of the old folder -> the CSV's replacement, which is created only when
  // the first unit of the new text reaches it. The writing happens on a thread
  // of its own, so that the disk works while the rest of the CSV is read and
  // replaced.
  CountingSink counter;
  Utf16ReplacementWriter writer(csv, &reader.File());
  std::optional<BackgroundSink> background;
  if (!options.dryRun) background.emplace(writer, options.bufferUnits);
  TextSink &out = options.dryRun ? static_cast<TextSink &>(counter) : *background;
  // The pictures of the rewritten references are looked for when the new
  // folder exists; its tree is listed once, before the text streams.
  std::optional<PictureChecker> checker;
  checker.emplace(newFolder, newFolder);
  if (!checker->Tally().folderExists) checker.reset();
  RespellingPass respelling(oldFolder, newFolder, out, report, checker ? &*checker : nullptr);
  // Built from the last pass to the first, each handing on to the next.
  std::array<std::optional<StreamReplacer>, kFormCount> passes;
  TextSink *next = &respelling;
  for (size_t form = kFormCount; form-- > 0;) {
    const ReferenceForm &row = kReferenceForms[form];
    passes[form].emplace(row.folderText(oldFolder), row.folderText(newFolder), false, *next,
                         options.bufferUnits);
    next = &*passes[form];
  }
  StreamReplacer &firstPass = *passes[0];
  firstPass.Append(&first, 1);
  // The rest is read straight into the first pass's buffer.
  size_t got = 0;
  while ((got = reader.Read(firstPass.FreeSpace(), firstPass.FreeUnits())) > 0) {
    firstPass.Appended(got);
  }
  for (size_t form = 0; form < kFormCount; ++form) {
    passes[form]->Finish();
    report.occurrences[form] = passes[form]->Occurrences();
  }
  respelling.Finish();
  if (background) background->Finish();
  if (checker) report.pictures = checker->Tally();

  const uint64_t newUnits = options.dryRun ? counter.units : writer.UnitsWritten();
  if (newUnits == 0) {
    // Nothing was created: the writer opens its file only for a first unit.
    report.outcome = RunOutcome::EmptyNewText;
    return report;
  }
  if (options.dryRun) {
    report.outcome = RunOutcome::DryRun;
    return report;
  }

  writer.Commit();
  report.outcome = RunOutcome::Written;
  messages.ShowInformation(SuccessMessage(report), kWindowCaption);
  return report;
}

}  // namespace picrelink
