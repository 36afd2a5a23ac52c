#pragma once
// What the window tells the seller before a run, in one or two lines and in
// a details text: what the census and the picture check found, or why there
// is nothing to show (no CSV, several CSVs, a CSV in another encoding, no
// reference, the new folder missing). Shared by every window, so that each
// says the same in the same words.
#include <optional>
#include <string>
#include <vector>

#include "relocation/census/census.h"
#include "relocation/census/picture_search.h"
#include "relocation/grouped_number.h"
#include "relocation/language.h"
#include "relocation/references/csv_encoding.h"

namespace picrelink {

struct StatusInput {
  std::u16string csv;  // btn1
  // The CSVs found beside the program at start-up, the one taken first; empty
  // when the CSV was chosen by hand.
  std::vector<std::u16string> candidates;
  // When the CSV holds no UTF-16 text: what it holds instead.
  std::optional<CsvEncoding> encoding;
  // The census and the picture check against the new folder.
  std::optional<CheckResult> check;
  std::u16string newFolder;  // btn3
  // Where the pictures are when the new folder lacks some of them: searched
  // for beside the CSV after the census.
  std::optional<PictureSearch> search;
  // Why the census could not be taken (the CSV cannot be opened, the level
  // is no integer), as the error says it.
  std::u16string error;
};

// One or two lines for the status area.
std::u16string StatusText(const StatusInput& input, Language language);

// The details: every folder with its counts (the detected one marked), the
// picture check, and the missing pictures, one per line, ready to copy.
std::u16string DetailsText(const CheckResult& check, Language language);

// A question to ask before writing, when the new folder does not exist or
// most of the pictures are missing there; nothing when everything resolves
// well enough to go on without asking.
std::optional<std::u16string> QuestionBeforeRun(const CheckResult& check, Language language);

}  // namespace picrelink
