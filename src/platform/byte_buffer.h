#pragma once
// ByteBuffer: the memory behind an image's pixels and a whole file read in. A fresh
// multi-megapixel buffer is written once, by a decoder, an operation or a file read; these make
// that write cheap:
// - large buffers are aligned to 2 MiB and offered to the kernel for huge pages, so the first
//   write takes a few dozen page faults instead of tens of thousands;
// - growing the buffer leaves the new bytes uninitialised, so a writer that fills every byte
//   pays for one pass over the memory, not two;
// - a few freed large buffers are kept for the next image of about the same size, so a batch
//   of photographs does not have the kernel clear and fault in fresh pages for every one of them.
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolvane {

namespace byte_buffer {
// Huge-page-backed, aligned storage for at least `bytes`, its contents undefined; throws
// std::bad_alloc. FreeLarge takes the same `bytes`.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* p, std::size_t bytes) noexcept;
// Buffers from this size on take the large path.
inline constexpr std::size_t kLargeBytes = std::size_t{4} << 20;
}  // namespace byte_buffer

template <typename T>
class ByteBufferAllocator {
 public:
  using value_type = T;
  ByteBufferAllocator() = default;
  template <typename U>
  ByteBufferAllocator(const ByteBufferAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= byte_buffer::kLargeBytes) {
      return static_cast<T*>(byte_buffer::AllocateLarge(bytes));
    }
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) >= byte_buffer::kLargeBytes) {
      byte_buffer::FreeLarge(p, n * sizeof(T));
    } else {
      ::operator delete(p);
    }
  }

  // Default-initialises: bytes added by resize() keep whatever the memory held.
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const ByteBufferAllocator&, const ByteBufferAllocator&) { return true; }
};

using ByteBuffer = std::vector<std::uint8_t, ByteBufferAllocator<std::uint8_t>>;

}  // namespace tolvane
