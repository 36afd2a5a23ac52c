#pragma once
// The words of the band below the start button and of its details window,
// for a window that takes them from here rather than from a toolkit's own
// translations.
#include <string>
#include <string_view>

#include "relocation/language.h"

namespace picrelink {

struct StatusAreaTexts {
  std::u16string_view detailsButton;  // opens the details
  std::u16string_view cancelButton;
  std::u16string_view cancelHint;  // what the cancel button does
  std::u16string_view cancelled;   // after a cancel
  std::u16string_view detailsTitle;
  std::u16string_view copyAll;
  std::u16string_view close;
};

const StatusAreaTexts& StatusAreaTextsFor(Language language);

// "Checking the CSV… 42%": the census is at percent.
std::u16string CheckingText(int percent, Language language);
// "Adjusting… 42%": the run is at percent.
std::u16string AdjustingText(int percent, Language language);

}  // namespace picrelink
