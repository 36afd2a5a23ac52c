#pragma once
// The search behind FindOccurrence in each of its forms. Every form gives
// exactly the result of FindScalar; the vector forms only find candidates
// faster. Callers outside core/ use FindOccurrence, which picks the best form
// for the CPU; the forms are exposed so that each can be tested and measured.
#include <cstddef>
#include <string_view>

namespace picrelink::kernels {

// Signature shared by every form, the same as FindOccurrence's.
using FindFunction = size_t (*)(const char16_t* text, size_t length, std::u16string_view find,
                                bool foldAscii, size_t from);

// One candidate position after another, first character first.
size_t FindScalar(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                  size_t from);

#if defined(__x86_64__) || defined(_M_X64)
#define PICRELINK_HAVE_X86_SEARCH 1

// 8 candidates at a time; SSE2 is part of every x86-64 CPU.
size_t FindSse2(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                size_t from);

// 16 candidates at a time. Call only when CpuHasAvx2() is true.
size_t FindAvx2(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                size_t from);

// Whether the CPU, and the system for its registers, support AVX2.
bool CpuHasAvx2();
#endif

// The fastest form this CPU runs; decided on the first call.
FindFunction BestFind();

}  // namespace picrelink::kernels
