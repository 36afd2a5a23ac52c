#include "core/freplace_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#endif

namespace picrelink {

void AdviseLargePages([[maybe_unused]] void* data, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Smaller buffers fault in quickly and usually lie inside the allocator's
  // shared heap rather than in a mapping of their own.
  constexpr size_t kMinBytes = size_t{8} << 20;
  if (data == nullptr || bytes < kMinBytes) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(data);
  // Only whole pages inside the buffer, so that no neighbouring block is touched.
  const uintptr_t first = (start + page - 1) & ~(page - 1);
  const uintptr_t end = (start + bytes) & ~(page - 1);
  // A refusal (older kernel, large pages switched off) leaves ordinary pages.
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

}  // namespace picrelink
