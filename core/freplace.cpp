#include "core/freplace.h"

#include <cstring>
#include <limits>

#include "core/error.h"
#include "core/freplace_kernels.h"
#include "core/freplace_pages.h"

namespace picrelink {
namespace {

// The 1-based, 32-bit interface over FindOccurrence.
int32_t Search(const char16_t* source, const char16_t* find, int32_t sourceLen, int32_t findLen,
               int32_t start, bool foldAscii) {
  if (sourceLen <= 0 || findLen <= 0 || start < 1) return 0;
  const size_t p = FindOccurrence(source, static_cast<size_t>(sourceLen),
                                  std::u16string_view(find, static_cast<size_t>(findLen)),
                                  foldAscii, static_cast<size_t>(start) - 1);
  return p == kNoOccurrence ? 0 : static_cast<int32_t>(p + 1);
}

int32_t CheckedLength(std::u16string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw Error("Text too long: more than 2147483647 characters");
  }
  return static_cast<int32_t>(text.size());
}

}  // namespace

int32_t SearchExact(const char16_t* source, const char16_t* find, int32_t sourceLen,
                    int32_t findLen, int32_t start) {
  return Search(source, find, sourceLen, findLen, start, false);
}

int32_t SearchNoCase(const char16_t* source, const char16_t* find, int32_t sourceLen,
                     int32_t findLen, int32_t start) {
  return Search(source, find, sourceLen, findLen, start, true);
}

size_t FindOccurrence(const char16_t* text, size_t length, std::u16string_view find,
                      bool foldAscii, size_t from) {
  return kernels::BestFind()(text, length, find, foldAscii, from);
}

void MoveChars(const char16_t* source, char16_t* dest, int32_t count) {
  if (count > 0) std::memcpy(dest, source, static_cast<size_t>(count) * sizeof(char16_t));
}

std::u16string ReplaceAll(std::u16string_view source, std::u16string_view find,
                          std::u16string_view replacement, bool caseSensitive,
                          int64_t* occurrences) {
  const int32_t L = CheckedLength(source);
  const int32_t F = CheckedLength(find);
  const int32_t R = CheckedLength(replacement);
  if (F == 0) throw Error("ReplaceAll: the text to find is empty");

  const bool foldAscii = R != 0 && !caseSensitive;
  const kernels::FindFunction search = kernels::BestFind();

  // Room for the worst case, reserved once: at most L div F occurrences.
  // Reserved, not filled: every unit of the result is written exactly once,
  // by the appends below, which never go beyond the room.
  const int64_t room = R > F ? int64_t{L} + (int64_t{L} * R) / F + R : int64_t{L};
  std::u16string result;
  result.reserve(static_cast<size_t>(room));
  AdviseLargePages(result.data(), static_cast<size_t>(room) * sizeof(char16_t));

  const char16_t* text = source.data();
  const size_t length = source.size();
  int64_t count = 0;
  size_t k = 0;  // the first source unit not yet copied
  while (k < length) {
    const size_t p = search(text, length, find, foldAscii, k);
    if (p == kNoOccurrence) break;
    result.append(text + k, p - k);
    result.append(replacement);
    k = p + find.size();
    ++count;
  }
  if (k < length) result.append(text + k, length - k);
  if (occurrences != nullptr) *occurrences = count;
  return result;
}

}  // namespace picrelink
