#include "imaging/pixel_storage.h"

#include <sys/mman.h>

#include <cstdlib>

namespace tolvane::pixel_storage {
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}  // namespace

void* AllocateLarge(std::size_t bytes) {
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded < bytes) throw std::bad_alloc();
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only advice: where huge pages are off or unavailable the buffer works the same.
  madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void FreeLarge(void* p) noexcept { std::free(p); }

}  // namespace tolvane::pixel_storage
