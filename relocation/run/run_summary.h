#pragma once
// What a run tells the seller when it is done, in the seller's language.
#include <string>

#include "relocation/run/adjustment_run.h"

namespace picrelink {

// The success message: "调整成功！" as its first line, then the counts, the
// other spellings rewritten, and a warning line for each thing that needs a
// look (references still naming the old folder, other folders left alone,
// pictures missing under the new folder).
std::u16string SuccessMessage(const RunReport& report, Language language = Language::Chinese);

}  // namespace picrelink
