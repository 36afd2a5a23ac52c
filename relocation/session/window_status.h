#pragma once
// What the window's status area is built from: the census and picture check
// of the form's values, or why there is none. Taking it reads the whole CSV,
// so a window takes it away from its own thread and may cancel it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "relocation/session/status_text.h"

namespace picrelink {

struct StatusRequest {
  std::u16string csv;        // btn1
  std::u16string levelText;  // the level edit's shown text
  std::u16string newFolder;  // btn3; empty: no picture check
  // The CSVs that start-up found beside the program, the one it took first.
  std::vector<std::u16string> candidates;

  bool operator==(const StatusRequest&) const = default;
};

// The status input for request:
// - the candidates only while btn1 still names the one start-up took;
// - no census without a CSV;
// - the census and, with a new folder, the picture check (CheckCsv);
// - when the CSV holds no UTF-16 text, what it holds instead, and no census;
// - any error of reading the CSV or of the level text as its message.
// - with searchPictures, when the new folder lacks pictures, the search for
//   them beside the CSV (SearchPictures), which adds to the status only;
// progress and cancel are CheckCsv's: a set cancel flag throws Cancelled, the
// only error that propagates.
StatusInput TakeStatus(const StatusRequest& request,
                       const std::function<void(uint64_t read, uint64_t total)>& progress = {},
                       const std::atomic<bool>* cancel = nullptr, bool searchPictures = false);

}  // namespace picrelink
