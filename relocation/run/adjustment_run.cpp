#include "relocation/run/adjustment_run.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <thread>

#include "core/background_sink.h"
#include "core/error.h"
#include "core/find_unit.h"
#include "core/freplace.h"
#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/stream_replace.h"
#include "core/utf.h"
#include "core/utf16_reader.h"
#include "core/utf16_writer.h"
#include "relocation/references/reference_forms.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/run/backup.h"
#include "relocation/run/first_of_replacer.h"
#include "relocation/run/occurrences_in_references.h"
#include "relocation/run/respelling_pass.h"
#include "relocation/run/run_summary.h"
#include "relocation/run/run_texts.h"

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

// The old and the new folder are the same when they differ only in ASCII
// letter case and a trailing separator.
bool SameFolder(std::u16string_view a, std::u16string_view b) {
  const auto trimmed = [](std::u16string_view f) {
    if (f.size() > 1 && (f.back() == u'\\' || f.back() == u'/')) f.remove_suffix(1);
    return f;
  };
  a = trimmed(a);
  b = trimmed(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool OnlySeparators(std::u16string_view folder) {
  return folder.find_first_not_of(u"\\/") == std::u16string_view::npos;
}

// The sweep over a local old folder: its URL form as the run writes it
// (escaped), as earlier runs wrote it (only spaces escaped), then its path
// form, which occurs inside both.
std::vector<FirstOfReplacer::Pattern> LocalFolderPatterns(
    std::u16string_view oldFolder, const std::array<FormTexts, kFormCount>& texts) {
  std::vector<FirstOfReplacer::Pattern> patterns;
  const std::u16string escaped = LoadableUrlFolderText(oldFolder);
  patterns.push_back({escaped, texts[kUrlForm].replacement});
  if (texts[kUrlForm].find != escaped) {
    patterns.push_back({texts[kUrlForm].find, texts[kUrlForm].replacement});
  }
  patterns.push_back({texts[kPathForm].find, texts[kPathForm].replacement});
  return patterns;
}

// Per form, from the sweep's counts per pattern: the last pattern is the
// path form, the others the URL form.
std::array<int64_t, kFormCount> LocalFolderCounts(const std::vector<int64_t>& perPattern) {
  std::array<int64_t, kFormCount> counts{};
  for (size_t i = 0; i + 1 < perPattern.size(); ++i) counts[kUrlForm] += perPattern[i];
  counts[kPathForm] = perPattern.back();
  return counts;
}

void StopIfCancelled(const RunOptions& options, Language language) {
  if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
    throw Cancelled(language == Language::Chinese ? "已取消：CSV 未作改动"
                                                  : "Cancelled: the CSV file was not changed");
  }
}

// The end of a dry run: only the length of the new text matters.
struct CountingSink : TextSink {
  void Append(const char16_t*, size_t count) override { units += count; }
  uint64_t units = 0;
};

}  // namespace

RunReport RunAdjustment(const FormValues& values, Trigger& trigger, Messages& messages,
                        const RunOptions& options) {
  TriggerHold hold(trigger);
  RunReport report;
  const Language language = options.language;

  const std::u16string csv = values.Btn1();
  // Without a CSV the start command would do nothing without a word.
  if (csv.empty()) throw Error(NoCsvMessage(language));
  report.csv = platform::AbsolutePath(csv);

  Utf16FileReader reader(csv);
  // One code unit tells whether there is any text; the passes exist only
  // once it does and the folders are known to be usable.
  char16_t first = 0;
  if (!reader.HasMark() || reader.Read(&first, 1) == 0) {
    report.outcome = RunOutcome::NoText;
    return report;
  }

  // Every check that needs no reading comes before anything is made.
  const std::u16string oldFolder = values.Btn2();
  const std::u16string newFolder = values.Btn3();
  if (oldFolder.empty()) throw Error(NoOldFolderMessage(language));
  if (OnlySeparators(oldFolder)) throw Error(NotAFolderMessage(language, oldFolder));
  if (newFolder.empty()) throw Error(EmptyNewFolderMessage(language));
  if (SameFolder(oldFolder, newFolder)) {
    report.outcome = RunOutcome::NothingToChange;
    messages.ShowInformation(SameFolderMessage(language, oldFolder), kWindowCaption);
    return report;
  }
  const std::array<FormTexts, kFormCount> texts = FindAndReplacementTexts(oldFolder, newFolder);

  // Reader -> one pass per form, in the table's order -> the other spellings
  // of the old folder -> the CSV's replacement, which is created only when
  // the first unit of the new text reaches it. The writing happens on a
  // thread of its own, so that the disk works while the rest of the CSV is
  // read and replaced. Nothing is in place of the CSV, and no backup made,
  // before the whole new text is known to change something.
  CountingSink counter;
  Utf16ReplacementWriter writer(csv, &reader.File());
  // The pictures of the rewritten references are looked for when the new
  // folder exists; its tree is listed once, before the text streams.
  std::optional<PictureChecker> checker;
  checker.emplace(newFolder, newFolder);
  if (!checker->Tally().folderExists) {
    checker.reset();
    // A Windows path on a POSIX system names a folder of another machine.
    report.newFolderMissing = !LocalFoldersHere() || IsLocalFolder(newFolder);
  }
  // The text's units: the file's, less the mark's. A small CSV gets buffers
  // of its own size (one unit more, to see its end in the first read), not
  // ones that the text would never fill.
  const uint64_t totalUnits = reader.File().Size() / sizeof(char16_t) - 1;
  const size_t bufferUnits = static_cast<size_t>(
      std::clamp<uint64_t>(totalUnits + 1, 1, std::max<size_t>(options.bufferUnits, 1)));
  // With a core to spare, the writes get a thread of their own, so that the
  // last stage never waits for the disk.
  std::optional<BackgroundSink> writing;
  if (!options.dryRun && options.writingThread.value_or(std::thread::hardware_concurrency() > 2)) {
    writing.emplace(writer, bufferUnits);
  }
  TextSink& written = writing ? static_cast<TextSink&>(*writing) : writer;
  RespellingPass respelling(oldFolder, newFolder,
                            options.dryRun ? static_cast<TextSink&>(counter) : written, report,
                            checker ? &*checker : nullptr);
  // Built from the last pass to the first, each handing on to the next. A
  // local old folder's path form occurs inside its URL form, so there the
  // forms are replaced in one sweep instead (FirstOfReplacer).
  const bool localOld = IsLocalFolder(oldFolder);
  std::array<std::optional<StreamReplacer>, kFormCount> passes;
  std::optional<FirstOfReplacer> oneSweep;
  std::vector<FirstOfReplacer::Pattern> sweep;
  // The last stage works on a thread of its own, beside the writes, so that
  // the reading thread keeps only the passes. A dry run writes nothing, and
  // its reading thread also counts the occurrences inside references: there
  // the passes after the first run on the last stage's thread as well.
  // Declared after the passes, so that its thread ends before they go.
  std::optional<BackgroundSink> background;
  const size_t firstPassBehind = options.dryRun ? size_t{1} : size_t{kFormCount};
  if (localOld) {
    sweep = LocalFolderPatterns(oldFolder, texts);
    background.emplace(respelling, bufferUnits);
    oneSweep.emplace(sweep, *background, bufferUnits);
  } else {
    TextSink* next = &respelling;
    for (size_t form = kFormCount; form-- > 0;) {
      if (form + 1 == firstPassBehind) {
        background.emplace(*next, bufferUnits);
        next = &*background;
      }
      passes[form].emplace(texts[form].find, texts[form].replacement, false, *next, bufferUnits);
      next = &*passes[form];
    }
  }
  std::optional<OccurrencesInReferences> inReferences;
  if (options.dryRun) inReferences.emplace(texts, localOld ? &sweep : nullptr);
  if (inReferences) inReferences->Feed(std::u16string_view(&first, 1));
  uint64_t readUnits = 1;
  int64_t occurrences = 0;
  if (oneSweep) {
    oneSweep->Append(&first, 1);
    std::u16string buffer(bufferUnits, u'\0');
    size_t got = 0;
    while ((got = reader.Read(buffer.data(), buffer.size())) > 0) {
      if (inReferences) inReferences->Feed(std::u16string_view(buffer.data(), got));
      oneSweep->Append(buffer.data(), got);
      readUnits += got;
      StopIfCancelled(options, language);
      if (options.progress) options.progress(readUnits, totalUnits);
    }
    oneSweep->Finish();
    report.occurrences = LocalFolderCounts(oneSweep->Occurrences());
    for (const int64_t count : report.occurrences) occurrences += count;
  } else {
    StreamReplacer& firstPass = *passes[0];
    firstPass.Append(&first, 1);
    // The rest is read straight into the first pass's buffer, which moves on
    // as it fills.
    size_t got = 0;
    while ((got = reader.Read(firstPass.FreeSpace(), firstPass.FreeUnits())) > 0) {
      if (inReferences) inReferences->Feed(std::u16string_view(firstPass.FreeSpace(), got));
      firstPass.Appended(got);
      readUnits += got;
      StopIfCancelled(options, language);
      if (options.progress) options.progress(readUnits, totalUnits);
    }
    // Each pass's end reaches the next one; those behind the last stage's
    // thread finish once it has everything before them.
    for (size_t form = 0; form < kFormCount; ++form) {
      if (form == firstPassBehind) background->Finish();
      passes[form]->Finish();
      report.occurrences[form] = passes[form]->Occurrences();
      occurrences += report.occurrences[form];
    }
  }
  if (oneSweep || firstPassBehind == kFormCount) background->Finish();
  respelling.Finish();
  if (writing) writing->Finish();
  if (checker) report.pictures = checker->Tally();
  if (inReferences) {
    report.occurrencesOutsideReferences = std::max<int64_t>(0, occurrences - inReferences->Total());
  }

  if (occurrences + report.respelledTotal == 0) {
    // The writer's temporary, if any, goes with it: the CSV stays untouched.
    report.outcome = RunOutcome::NothingToChange;
    messages.ShowInformation(FolderNotFoundMessage(language, oldFolder), kWindowCaption);
    return report;
  }
  const uint64_t newUnits = options.dryRun ? counter.units : writer.UnitsWritten();
  if (newUnits == 0) {
    // Nothing was created: the writer opens its file only for a first unit.
    report.outcome = RunOutcome::EmptyNewText;
    return report;
  }
  if (options.dryRun) {
    // A preflight: what the real run would refuse is refused here too, with
    // the same message, and nothing is left behind.
    { platform::ReplacementFile probe(csv, &reader.File()); }
    if (values.BackupChecked()) {
      const BackupTarget target = ChooseBackup(csv, reader.File());
      if (target.needsCopy) {
        try {
          platform::ReplacementFile probe(target.path);
        } catch (const Error& e) {
          throw BackupFailure(target.path, e);
        }
      }
      report.backup = target.path;
    }
    report.outcome = RunOutcome::DryRun;
    return report;
  }

  // The last moment at which a cancel leaves everything as it was.
  StopIfCancelled(options, language);
  // The backup is complete before the CSV is touched.
  if (values.BackupChecked()) report.backup = MakeBackup(csv, reader.File());
  writer.Commit();
  report.outcome = RunOutcome::Written;
  messages.ShowInformation(SuccessMessage(report, language), kWindowCaption);
  return report;
}

}  // namespace picrelink
