// ReplaceAll and the two searches against plain reference versions: the
// same occurrences, the same result, the same count, on any texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/freplace.h"
#include "fuzz/fuzz_text.h"

namespace {

using picrelink::fuzz::Fail;

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool MatchesAt(const std::u16string& s, size_t at, const std::u16string& find, bool fold) {
  if (at + find.size() > s.size()) return false;
  for (size_t k = 0; k < find.size(); ++k) {
    const char16_t a = s[at + k];
    const char16_t b = find[k];
    if (fold ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool caseSensitive = (data[0] & 1) != 0;
  size_t at = 1;
  const std::u16string find = picrelink::fuzz::TakeText(data, size, &at);
  const std::u16string replacement = picrelink::fuzz::TakeText(data, size, &at);
  const std::u16string source = picrelink::fuzz::TakeText(data, size, &at);

  int64_t count = -1;
  std::u16string result;
  try {
    result = picrelink::ReplaceAll(source, find, replacement, caseSensitive, &count);
  } catch (const picrelink::Error&) {
    if (!find.empty()) Fail("ReplaceAll raised an error for a non-empty find text");
    return 0;
  }
  if (find.empty()) Fail("ReplaceAll accepted an empty find text");

  // Left to right, without overlap; an empty replacement matches exactly.
  const bool fold = !caseSensitive && !replacement.empty();
  std::u16string expected;
  int64_t expectedCount = 0;
  for (size_t i = 0; i < source.size();) {
    if (MatchesAt(source, i, find, fold)) {
      expected += replacement;
      i += find.size();
      ++expectedCount;
    } else {
      expected.push_back(source[i++]);
    }
  }
  if (result != expected) Fail("ReplaceAll differs from the reference");
  if (count != expectedCount) Fail("ReplaceAll counted wrongly");

  // Every start position of both searches.
  const auto sourceLen = static_cast<int32_t>(source.size());
  const auto findLen = static_cast<int32_t>(find.size());
  for (int32_t start = 1; start <= sourceLen + 1; ++start) {
    for (const bool noCase : {false, true}) {
      int32_t want = 0;
      for (int32_t p = start; p + findLen - 1 <= sourceLen && want == 0; ++p) {
        if (MatchesAt(source, static_cast<size_t>(p - 1), find, noCase)) want = p;
      }
      const int32_t got =
          noCase ? picrelink::SearchNoCase(source.data(), find.data(), sourceLen, findLen, start)
                 : picrelink::SearchExact(source.data(), find.data(), sourceLen, findLen, start);
      if (got != want) Fail("a search differs from the reference");
    }
  }
  return 0;
}
