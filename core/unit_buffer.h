#pragma once
// The buffers that text streams through: code units that are always written
// before they are read, so growing a buffer leaves its new units unset.
// Zero-filling half a megabyte per buffer would cost the time of a copy and
// take the faults of its fresh pages on the thread that builds the chain,
// rather than on the one that fills the buffer.
#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace picrelink {

template <typename T>
struct UnsetAllocator {
  using value_type = T;

  UnsetAllocator() = default;
  template <typename U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}

  T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
  // Default-initialised, which for code units means unset.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const UnsetAllocator&, const UnsetAllocator&) { return true; }
};

using UnitBuffer = std::vector<char16_t, UnsetAllocator<char16_t>>;

}  // namespace picrelink
