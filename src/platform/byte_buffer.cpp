#include "platform/byte_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>

namespace tolvane::byte_buffer {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Freed buffers kept for reuse: a handful, and never more bytes than a few photographs hold.
constexpr std::size_t kKeptBuffers = 6;
constexpr std::size_t kKeptBytes = std::size_t{512} << 20;

struct KeptBuffer {
  void* p = nullptr;
  std::size_t bytes = 0;  // rounded size
};

class BufferCache {
 public:
  // A kept buffer of at least `bytes` and not much more, or nullptr.
  void* Take(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    KeptBuffer* best = nullptr;
    for (KeptBuffer& b : kept_) {
      if (b.p == nullptr || b.bytes < bytes || b.bytes > bytes + bytes / 4) continue;
      if (best == nullptr || b.bytes < best->bytes) best = &b;
    }
    if (best == nullptr) return nullptr;
    void* p = best->p;
    total_ -= best->bytes;
    *best = {};
    return p;
  }
  // Keeps the buffer when there is room; false when the caller must free it.
  bool Keep(void* p, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (total_ + bytes > kKeptBytes) return false;
    for (KeptBuffer& b : kept_) {
      if (b.p != nullptr) continue;
      b = {p, bytes};
      total_ += bytes;
      return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  KeptBuffer kept_[kKeptBuffers];
  std::size_t total_ = 0;
};

// Never destroyed: buffers may be freed by static destructors after main returns.
BufferCache& Cache() {
  static BufferCache* cache = new BufferCache;
  return *cache;
}

std::size_t Rounded(std::size_t bytes) {
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded < bytes) throw std::bad_alloc();
  return rounded;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  const std::size_t rounded = Rounded(bytes);
  if (void* kept = Cache().Take(rounded)) return kept;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only advice: where huge pages are off or unavailable the buffer works the same.
  madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void FreeLarge(void* p, std::size_t bytes) noexcept {
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (p != nullptr && !Cache().Keep(p, rounded)) std::free(p);
}

}  // namespace tolvane::byte_buffer
