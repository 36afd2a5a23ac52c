#pragma once
// Search and replace over UTF-16 code units. Positions are 1-based; 0 means
// "not found". Lengths and positions are 32-bit signed, as in the data model.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace picrelink {

// First occurrence of find[0..findLen) in source[0..sourceLen) that starts at
// or after the 1-based position start; 0 when there is none.
int32_t SearchExact(const char16_t* source, const char16_t* find, int32_t sourceLen,
                    int32_t findLen, int32_t start);
// The same with the ASCII letters a-z and A-Z folded; every other code unit
// is compared exactly.
int32_t SearchNoCase(const char16_t* source, const char16_t* find, int32_t sourceLen,
                     int32_t findLen, int32_t start);

inline constexpr size_t kNoOccurrence = static_cast<size_t>(-1);

// 0-based index of the leftmost occurrence of find (not empty) in
// text[from, length), or kNoOccurrence. foldAscii compares as SearchNoCase
// does, otherwise as SearchExact. Positions are not limited to 32 bits, so
// streamed texts of any length can be searched.
size_t FindOccurrence(const char16_t* text, size_t length, std::u16string_view find,
                      bool foldAscii, size_t from);

// Plain forward copy of count code units; source and destination never overlap.
void MoveChars(const char16_t* source, char16_t* dest, int32_t count);

// A new text: source with every occurrence of find replaced by replacement,
// leftmost first, without overlap. caseSensitive off folds ASCII letters,
// except that an empty replacement always matches exactly. Throws Error for
// an empty find text. When occurrences is not null it receives the count.
std::u16string ReplaceAll(std::u16string_view source, std::u16string_view find,
                          std::u16string_view replacement, bool caseSensitive,
                          int64_t* occurrences = nullptr);

}  // namespace picrelink
