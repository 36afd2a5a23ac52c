#pragma once
// The dry run's count of the passes' occurrences that lie inside src=""
// values, from the text as it is read: the rest of what the passes replace
// stands in other text, which the seller is warned about.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "relocation/references/reference_forms.h"
#include "relocation/references/reference_scan.h"
#include "relocation/run/first_of_replacer.h"

namespace picrelink {

// Occurrences of find in text, ASCII letters folded, left to right without
// overlap, as the passes take them.
int64_t CountFolded(std::u16string_view text, std::u16string_view find);

class OccurrencesInReferences {
 public:
  // texts: each form's find text. sweep, when given (a local old folder):
  // its patterns, and the occurrences that the sweep takes are counted.
  // rememberFolders off counts every value on its own, as the plain version
  // that the remembered counts are checked against.
  OccurrencesInReferences(const std::array<FormTexts, kFormCount>& texts,
                          const std::vector<FirstOfReplacer::Pattern>* sweep,
                          bool rememberFolders = true);
  // Defined with Count, so that the scan has it inlined.
  void Feed(std::u16string_view piece);
  int64_t Total() const { return total_; }

 private:
  int64_t Count(std::u16string_view value);
  // A value whose folder part is not remembered in its place: counted, and
  // its folder part remembered there where that is sound.
  int64_t CountAndRemember(std::u16string_view value, size_t nameStart, size_t place);
  int64_t CountEach(std::u16string_view value) const;
  int64_t CountSwept(std::u16string_view value) const;
  // Whether an occurrence could begin in folderPart and end behind it.
  bool MayGoOnBehind(std::u16string_view folderPart) const;

  const std::array<FormTexts, kFormCount>& texts_;
  const std::vector<FirstOfReplacer::Pattern>* sweep_;
  // Every find text holds a separator, so none lies in a name (the units
  // behind the last separator): a value counts what its folder part counts,
  // unless an occurrence may cross from the one into the other.
  bool rememberFolders_ = false;
  struct Remembered {
    std::u16string folded;  // the folder part, ASCII letters small
    // 0x20 where folded holds a letter, 0 elsewhere: OR-ed into a value's
    // units, it folds the letters and nothing else.
    std::u16string letters;
    int64_t count = 0;
  };
  std::array<Remembered, 16> remembered_;
  // Every value is counted; the scan's classifier and sink are inlined.
  struct EveryValue {
    static constexpr bool kTakesEveryValue = true;
    int operator()(std::u16string_view) const { return 0; }
  };
  struct CountFound {
    OccurrencesInReferences* counter;
    bool operator()(const FoundReference& found) const {
      counter->total_ += counter->Count(found.value);
      return false;
    }
  };
  BasicReferenceScanner<EveryValue, CountFound> scanner_;
  int64_t total_ = 0;
};

}  // namespace picrelink
