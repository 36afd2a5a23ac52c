#pragma once
// The words of the window's two offers: the folder where the search found
// the pictures ("使用此位置"), and the backup to put back ("恢复备份"), with
// the question before it and what is said after it.
#include <string>
#include <string_view>

#include "relocation/census/picture_search.h"
#include "relocation/language.h"
#include "relocation/run/restore.h"

namespace picrelink {

// The offer's button and the details' restore button read the same in
// every language.
inline constexpr std::u16string_view kUseSuggestion = u"使用此位置";
inline constexpr std::u16string_view kRestoreBackup = u"恢复备份";

// One line of the status: where the pictures were found, and the offer.
// csvFolder: the folder the search began in, so that the folder is named
// briefly.
std::u16string SuggestionLine(const PictureSuggestion& suggestion, std::u16string_view csvFolder,
                              int32_t currentLevel, Language language);

// The question before a restore puts backup back over csv.
std::u16string RestoreQuestion(std::u16string_view csv, std::u16string_view backup,
                               Language language);
// What a restore did, naming what undoes it (or why it wrote nothing).
std::u16string RestoredMessage(std::u16string_view csv, const RestoreReport& report,
                               Language language);

}  // namespace picrelink
