// The scalar search, which every other form must agree with, and the choice
// of form for this CPU.
#include "core/freplace_kernels.h"

#include "core/freplace.h"

namespace picrelink::kernels {
namespace {

inline char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

struct ExactCompare {
  static bool Equal(char16_t a, char16_t b) { return a == b; }
};
struct NoCaseCompare {
  static bool Equal(char16_t a, char16_t b) { return FoldAscii(a) == FoldAscii(b); }
};

template <typename Compare>
size_t Find(const char16_t* text, size_t length, std::u16string_view find, size_t from) {
  const size_t f = find.size();
  if (f == 0 || length < f || from > length - f) return kNoOccurrence;
  // Candidates in order, first character first, then the last character
  // backwards down to the second.
  for (size_t p = from; p <= length - f; ++p) {
    const char16_t* at = text + p;
    if (!Compare::Equal(at[0], find[0])) continue;
    size_t i = f - 1;
    while (i >= 1 && Compare::Equal(at[i], find[i])) --i;
    if (i < 1) return p;
  }
  return kNoOccurrence;
}

}  // namespace

size_t FindScalar(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                  size_t from) {
  return foldAscii ? Find<NoCaseCompare>(text, length, find, from)
                   : Find<ExactCompare>(text, length, find, from);
}

FindFunction BestFind() {
  // Decided once: the CPU does not change while the program runs.
#if defined(PICRELINK_HAVE_X86_SEARCH)
  static const FindFunction best = CpuHasAvx2() ? &FindAvx2 : &FindSse2;
  return best;
#else
  return &FindScalar;
#endif
}

}  // namespace picrelink::kernels
