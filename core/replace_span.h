#pragma once
// One stretch of a replacement pass: the text searched and copied in the same
// sweep, with every occurrence written out as the replacement. ReplaceAll's
// occurrences, leftmost first and without overlap, in a form that a caller
// can apply to a text piece by piece into a buffer of its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/freplace_kernels.h"

namespace picrelink::kernels {

// What is replaced and how it is compared. Holds the replacement with room
// after it, so that a vector form can copy it in whole blocks.
class ReplacePattern {
 public:
  // find must not be empty.
  ReplacePattern(std::u16string_view find, std::u16string_view replacement, bool foldAscii);

  std::u16string_view Find() const { return find_; }
  std::u16string_view Replacement() const { return {padded_.data(), replacementSize_}; }
  bool FoldAscii() const { return foldAscii_; }
  // The replacement followed by at least kReplaceSlack readable units.
  const char16_t* PaddedReplacement() const { return padded_.data(); }

 private:
  std::u16string find_;
  std::u16string padded_;
  size_t replacementSize_;
  bool foldAscii_;
};

// Units a vector form may write past what it reports as written; they are
// overwritten by whatever comes next, but the buffer must hold them.
inline constexpr size_t kReplaceSlack = 32;

struct ReplaceStep {
  size_t next;          // the first unit of the text not yet written out
  size_t written;       // units written to out
  int64_t occurrences;  // occurrences replaced
};

// Writes text[from, next) to out with every occurrence that starts in
// [from, searchEnd) replaced, where next is searchEnd, or the end of the last
// occurrence when that lies beyond it. Occurrences must lie inside
// text[0, length); searchEnd <= length. Units from searchEnd on are only
// read, so a caller that holds only part of a text passes as searchEnd the
// first position at which an occurrence could run past what it holds.
// out needs room for MaxReplaceOutput(searchEnd - from, ...) units plus
// kReplaceSlack.
using ReplaceFunction = ReplaceStep (*)(const char16_t* text, size_t length, size_t from,
                                        size_t searchEnd, const ReplacePattern& pattern,
                                        char16_t* out);

// The most a ReplaceFunction writes (slack aside) for searchEnd - from = span.
size_t MaxReplaceOutput(size_t span, size_t findSize, size_t replacementSize);

// A span whose output, slack included, fits in room units: the largest one,
// give or take the rounding of the bound; 0 when not even one unit's fits.
size_t SpanForRoom(size_t room, size_t findSize, size_t replacementSize);

// Occurrences through FindScalar, gaps and replacements copied one by one.
ReplaceStep ReplaceScalar(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                          const ReplacePattern& pattern, char16_t* out);

#if defined(PICRELINK_HAVE_X86_SEARCH)
// The same through FindSse2.
ReplaceStep ReplaceSse2(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                        const ReplacePattern& pattern, char16_t* out);
// Copies 32-unit blocks while it tests them for candidates, so the text is
// read once. Call only when CpuHasAvx2() is true.
ReplaceStep ReplaceAvx2(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                        const ReplacePattern& pattern, char16_t* out);
#endif

// The fastest form this CPU runs; decided on the first call.
ReplaceFunction BestReplace();

}  // namespace picrelink::kernels
