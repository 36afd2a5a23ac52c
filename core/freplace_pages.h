#pragma once
// A hint for a large buffer that is about to be written once from start to
// end, such as the result of ReplaceAll on a whole listing file.
#include <cstddef>

namespace picrelink {

// Asks the system to back data[0, bytes) with large pages where it can.
// Writing tens of megabytes into fresh memory otherwise costs one page fault
// per 4 KiB, which on some machines takes longer than the replacing itself.
// Only a hint: contents and behaviour are the same whether or not it is
// taken, and buffers below a few megabytes are left alone.
void AdviseLargePages(void* data, size_t bytes);

}  // namespace picrelink
