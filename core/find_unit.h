#pragma once
// The next place of one code unit in a text, eight units at a time where the
// CPU has SSE2 (every x86-64 CPU does), one at a time elsewhere. For short
// searches that run often, such as the closing quotation mark of every
// reference, where the set-up of the longer searches costs more than it saves.
#include <cstddef>

namespace picrelink {

// 0-based index of the first unit equal to unit in text[from, length), or
// length when there is none.
size_t FindUnit(const char16_t* text, size_t length, char16_t unit, size_t from);

}  // namespace picrelink
