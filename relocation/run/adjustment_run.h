#pragma once
// relocation/run/: the start command.
//   in:  the form values (CSV, old and new folder, backup choice), a progress
//        and cancel callback;
//   out: the backup (backup), the CSV rewritten by the two passes of core's
//        stream replace and the last stage over the other spellings
//        (respelling_pass), and what to tell the seller (run_summary,
//        run_texts). Takes references/ for the forms and census/ for the
//        picture check after the write. restore puts the newest backup back.
//
// The adjustment run: the start command's work, told without widgets.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "relocation/census/picture_check.h"
#include "relocation/form_values.h"
#include "relocation/language.h"
#include "relocation/references/reference_forms.h"
#include "relocation/run/left_alone.h"

namespace picrelink {

inline constexpr std::u16string_view kSuccessMessage = u"调整成功！";
inline constexpr std::u16string_view kWindowCaption = u"调整CSV文件宝贝描述图片位置";
inline constexpr std::u16string_view kBackupSuffix = u"_备份.csv";

// How many leftovers and other folders a report names.
inline constexpr size_t kReportExamples = 20;

// A run or a census stopped at the user's word; nothing was changed.
class Cancelled : public Error {
 public:
  using Error::Error;
};

struct RunOptions {
  // A preflight: count what would be rewritten and check that the CSV (and
  // the backup, when asked for) could be written; write nothing.
  bool dryRun = false;
  // The language of the run's own messages.
  Language language = Language::Chinese;
  // Told, from the running thread, how much of the CSV has been read: code
  // units read so far and in all. May be empty.
  std::function<void(uint64_t read, uint64_t total)> progress = {};
  // When given and set (from any thread), the run stops at the next piece
  // it reads, before anything is in place of the CSV: the temporary is
  // removed, no backup made, and Cancelled is thrown.
  const std::atomic<bool>* cancel = nullptr;
  // How many code units each stage of the run gathers at a time. The result
  // does not depend on it; tests make it tiny to cut the text everywhere.
  size_t bufferUnits = size_t{1} << 18;
  // Whether the writes have a thread of their own beside the last stage's;
  // unset: when the machine has more than two cores. The result does not
  // depend on it.
  std::optional<bool> writingThread = std::nullopt;
};

enum class RunOutcome {
  NoCsv,         // btn1 empty: nothing read or written
  NoText,        // no FF FE mark or nothing after it: nothing written
  EmptyNewText,  // every character was removed: nothing written
  // The old folder occurs nowhere, or equals the new one: nothing written, no
  // backup, and a message saying so.
  NothingToChange,
  Written,  // the CSV was rewritten and the success message shown
  DryRun,   // counted only
};

struct RunReport {
  RunOutcome outcome = RunOutcome::NoCsv;
  // Occurrences rewritten by each form's pass, in the order of kReferenceForms.
  std::array<int64_t, kFormCount> occurrences{};
  // Of those, the ones outside any src="" value (in other text). Counted by
  // the dry run, the preflight: counting takes a second scan of the text
  // being read, which would slow the real run down by half.
  std::optional<int64_t> occurrencesOutsideReferences;
  // Where the backup went (or, in a dry run, would go); empty without one.
  std::u16string backup;
  // The CSV run over (btn1), absolute: what undoes a run names it.
  std::u16string csv;
  // File URLs that named the old folder in another spelling (percent-encoded,
  // localhost, file:/) and were rewritten after the two passes, per spelling
  // name (kSpellingNames; several names for one reference count under each).
  std::map<std::string, int64_t> respelled;
  int64_t respelledTotal = 0;
  // References that still name the old folder after the run, and the first
  // few of them as written.
  int64_t leftovers = 0;
  std::vector<std::u16string> leftoverExamples;
  // References to folders other than the old and the new one, left alone,
  // and the first few of those folders.
  int64_t otherFolderReferences = 0;
  std::vector<std::u16string> otherFolders;
  // Of those, the ones whose folder on this machine does not exist and the
  // ones naming the old folder's pictures in the other kind of folder.
  LeftAloneTally leftAlone;
  // The new folder is a folder of this machine that does not exist: the CSV
  // was written as asked, but its pictures cannot load.
  bool newFolderMissing = false;
  // When the new folder exists: whether the pictures that the rewritten
  // references name are there.
  std::optional<PictureTally> pictures;
};

// Rewrites the CSV named by btn1, replacing btn2 by btn3 in path form and
// then in file-URL form (and the other spellings of btn2 after that), backs
// it up first when asked, and shows the success message. A run that would
// change nothing writes nothing, makes no backup and says so; an empty or
// separator-only btn2 and an empty btn3 are refused before anything is made. The CSV streams
// through bounded buffers into its replacement, so memory does not grow with its size; the result
// is that of each replacement applied once to the whole text. The trigger is unavailable from the
// start of the run to each of its ends, errors included. Errors propagate to the caller.
RunReport RunAdjustment(const FormValues& values, Trigger& trigger, Messages& messages,
                        const RunOptions& options = {});

}  // namespace picrelink
