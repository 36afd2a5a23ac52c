// The forms of ReplaceFunction built on a search, and the choice of form.
#include "core/replace_span.h"

#include <algorithm>
#include <cstring>

#include "core/freplace.h"
#include "core/freplace_kernels.h"

namespace picrelink::kernels {
namespace {

void Copy(const char16_t* from, size_t count, char16_t* to) {
  if (count > 0) std::memcpy(to, from, count * sizeof(char16_t));
}

ReplaceStep ReplaceByFind(FindFunction find, const char16_t* text, size_t length, size_t from,
                          size_t searchEnd, const ReplacePattern& pattern, char16_t* out) {
  if (from >= searchEnd) return {from, 0, 0};
  const std::u16string_view what = pattern.Find();
  const std::u16string_view replacement = pattern.Replacement();
  // Occurrences must start before searchEnd, so only that much plus one
  // find's length of the text is searched: whatever is found starts in time.
  const size_t searched = std::min(length, searchEnd + what.size() - 1);
  ReplaceStep step{from, 0, 0};
  for (;;) {
    const size_t p = find(text, searched, what, pattern.FoldAscii(), step.next);
    if (p == kNoOccurrence) break;
    Copy(text + step.next, p - step.next, out + step.written);
    step.written += p - step.next;
    Copy(replacement.data(), replacement.size(), out + step.written);
    step.written += replacement.size();
    step.next = p + what.size();
    ++step.occurrences;
    if (step.next >= searchEnd) return step;
  }
  Copy(text + step.next, searchEnd - step.next, out + step.written);
  step.written += searchEnd - step.next;
  step.next = searchEnd;
  return step;
}

}  // namespace

ReplacePattern::ReplacePattern(std::u16string_view find, std::u16string_view replacement,
                               bool foldAscii)
    : find_(find), replacementSize_(replacement.size()), foldAscii_(foldAscii) {
  padded_.reserve(replacement.size() + kReplaceSlack);
  padded_.append(replacement);
  padded_.append(kReplaceSlack, u'\0');
}

size_t MaxReplaceOutput(size_t span, size_t findSize, size_t replacementSize) {
  if (span == 0) return 0;
  // The last occurrence starts before the span ends and may run on for
  // findSize - 1 units; each occurrence grows the text by what the
  // replacement is longer than find.
  const size_t units = span + findSize - 1;
  const size_t growth = replacementSize > findSize ? replacementSize - findSize : 0;
  return units + units / findSize * growth;
}

size_t SpanForRoom(size_t room, size_t findSize, size_t replacementSize) {
  if (room <= kReplaceSlack) return 0;
  const size_t available = room - kReplaceSlack;
  // units * max(1, replacementSize / findSize) bounds MaxReplaceOutput.
  size_t units = available;
  if (replacementSize > findSize) {
    units = available / replacementSize * findSize +
            available % replacementSize * findSize / replacementSize;
  }
  return units >= findSize ? units - (findSize - 1) : 0;
}

ReplaceStep ReplaceScalar(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                          const ReplacePattern& pattern, char16_t* out) {
  return ReplaceByFind(&FindScalar, text, length, from, searchEnd, pattern, out);
}

#if defined(PICRELINK_HAVE_X86_SEARCH)
ReplaceStep ReplaceSse2(const char16_t* text, size_t length, size_t from, size_t searchEnd,
                        const ReplacePattern& pattern, char16_t* out) {
  return ReplaceByFind(&FindSse2, text, length, from, searchEnd, pattern, out);
}
#endif

ReplaceFunction BestReplace() {
  // Decided once: the CPU does not change while the program runs.
#if defined(PICRELINK_HAVE_X86_SEARCH)
  static const ReplaceFunction best = CpuHasAvx2() ? &ReplaceAvx2 : &ReplaceSse2;
  return best;
#else
  return &ReplaceScalar;
#endif
}

}  // namespace picrelink::kernels
