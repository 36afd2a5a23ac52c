#pragma once
// Replacement of several find texts in one left-to-right sweep: at each
// position the leftmost occurrence of any of them is taken (the earlier one
// in the list when two begin at the same unit), replaced, and the sweep goes
// on behind it. Replaced text is never searched again, so a find text that
// occurs inside another's occurrence, or inside a replacement, is not taken
// there. Used where the path form of a folder occurs inside its URL form (a
// local folder: /srv/pics and file:////srv/pics), which two passes one after
// the other would rewrite twice or with the wrong escaping.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/stream_replace.h"

namespace picrelink {

class FirstOfReplacer : public TextSink {
 public:
  struct Pattern {
    std::u16string find;  // not empty
    std::u16string replacement;
  };
  // ASCII letters are folded as the passes fold them (replacements are
  // never empty here). bufferUnits: how much text is gathered before it is
  // searched; the result does not depend on it.
  FirstOfReplacer(std::vector<Pattern> patterns, TextSink& next, size_t bufferUnits);

  void Append(const char16_t* units, size_t count) override;
  // The end of the text. Call it once, last.
  void Finish();
  // Occurrences replaced per pattern, in the order given.
  const std::vector<int64_t>& Occurrences() const { return occurrences_; }

 private:
  void Process(bool atEnd);

  std::vector<Pattern> patterns_;
  TextSink& next_;
  size_t bufferUnits_;
  size_t longest_ = 1;
  std::u16string pending_;  // text not yet decided
  std::vector<int64_t> occurrences_;
};

}  // namespace picrelink
