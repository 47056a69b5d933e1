#pragma once
// The memory behind an image's pixels. A fresh multi-megapixel image is written once by its
// decoder or operation; two things make that write cheap here:
// - large buffers are aligned to 2 MiB and offered to the kernel for huge pages, so the first
//   write takes a few dozen page faults instead of tens of thousands;
// - growing the buffer leaves the new bytes uninitialised, so a writer that fills every byte
//   pays for one pass over the memory, not two;
// - a few freed large buffers are kept for the next image of about the same size, so a batch
//   of photographs does not have the kernel clear fresh pages for every one of them.
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolvane {

namespace pixel_storage {
// Huge-page-backed, aligned storage for at least `bytes`, its contents undefined; throws
// std::bad_alloc. FreeLarge takes the same `bytes`.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* p, std::size_t bytes) noexcept;
// Buffers from this size on take the large path.
inline constexpr std::size_t kLargeBytes = std::size_t{4} << 20;
}  // namespace pixel_storage

template <typename T>
class PixelAllocator {
 public:
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= pixel_storage::kLargeBytes) {
      return static_cast<T*>(pixel_storage::AllocateLarge(bytes));
    }
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) >= pixel_storage::kLargeBytes) {
      pixel_storage::FreeLarge(p, n * sizeof(T));
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

  friend bool operator==(const PixelAllocator&, const PixelAllocator&) { return true; }
};

using PixelBuffer = std::vector<std::uint8_t, PixelAllocator<std::uint8_t>>;

}  // namespace tolvane
