#pragma once
// The adjustment run: the start command's work, told without widgets.
#include <cstddef>
#include <array>
#include <cstdint>
#include <string_view>

#include "relocation/form_values.h"
#include "relocation/reference_forms.h"

namespace picrelink {

inline constexpr std::u16string_view kSuccessMessage = u"调整成功！";
inline constexpr std::u16string_view kWindowCaption = u"调整CSV文件宝贝描述图片位置";
inline constexpr std::u16string_view kBackupSuffix = u"_备份.csv";

struct RunOptions {
  // Count the references that would be rewritten; write nothing, no backup.
  bool dryRun = false;
  // How many code units each stage of the run gathers at a time. The result
  // does not depend on it; tests make it tiny to cut the text everywhere.
  size_t bufferUnits = size_t{1} << 18;
};

enum class RunOutcome {
  NoCsv,         // btn1 empty: nothing read or written
  NoText,        // no FF FE mark or nothing after it: nothing written
  EmptyNewText,  // every character was removed: nothing written
  Written,       // the CSV was rewritten and the success message shown
  DryRun,        // counted only
};

struct RunReport {
  RunOutcome outcome = RunOutcome::NoCsv;
  // Occurrences rewritten by each form's pass, in the order of kReferenceForms.
  std::array<int64_t, kFormCount> occurrences{};
};

// Backs up (when asked), rewrites the CSV named by btn1, replacing btn2 by
// btn3 in path form and then in file-URL form, and shows the success
// message. The CSV streams through bounded buffers into its replacement, so
// memory does not grow with its size; the result is that of each
// replacement applied once to the whole text. The trigger is unavailable from the start of the run to each of
// its ends, errors included. Errors propagate to the caller.
RunReport RunAdjustment(const FormValues& values, Trigger& trigger, Messages& messages,
                        const RunOptions& options = {});

}  // namespace picrelink
