// The entry arena's blocks and free lists (see queue_arena.h), and huge pages for large tables.
#include "runtime/queue/queue_arena.h"

#include <algorithm>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantrel::queue_detail {

void PreferHugePages(void* p, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (bytes < 2 * kHugePage) return;
  const std::uintptr_t start =
      (reinterpret_cast<std::uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

Entry EntryArena::Allocate(std::size_t size) {
  const std::size_t r = Rounded(size);
  if (r > kLargeEntry) {
    auto* p = static_cast<Entry>(std::malloc(r + rle::kWideSlack));
    if (p) {
      largeBytes_ += r;
      inUse_ += r;
    }
    return p;
  }
  const std::size_t sizeClass = ClassOf(r);
  if (sizeClass < free_.size() && free_[sizeClass]) {
    Entry p = free_[sizeClass];
    std::memcpy(&free_[sizeClass], p, sizeof(Entry));
    inUse_ += r;
    return p;
  }
  if (left_ < r && !NewBlock(r)) return nullptr;
  Entry p = next_;
  next_ += r;
  left_ -= r;
  inUse_ += r;
  return p;
}

void EntryArena::Release(Entry p, std::size_t size) {
  const std::size_t r = Rounded(size);
  inUse_ -= r;
  if (r > kLargeEntry) {
    largeBytes_ -= r;
    std::free(p);
    return;
  }
  PushFree(p, r);
}

void EntryArena::Clear() {
  while (blocks_) {
    Entry next;
    std::memcpy(&next, blocks_, sizeof(Entry));
    std::free(blocks_);
    blocks_ = next;
  }
  next_ = nullptr;
  left_ = 0;
  blockBytes_ = 0;
  nextBlock_ = kFirstBlock;
  inUse_ = 0;
  std::fill(free_.begin(), free_.end(), nullptr);
  // Large entries are freed by their owner (the engine walks its entries before clearing).
  largeBytes_ = 0;
}

bool EntryArena::NewBlock(std::size_t need) {
  const std::size_t size = std::max(nextBlock_, need + kBlockHeader + rle::kWideSlack);
  auto* block = static_cast<Entry>(std::malloc(size));
  if (!block) return false;
  if (left_ >= 8 && left_ <= kKeptTail) PushFree(next_, left_);
  std::memcpy(block, &blocks_, sizeof(Entry));
  blocks_ = block;
  next_ = block + kBlockHeader;
  left_ = size - kBlockHeader - rle::kWideSlack;
  blockBytes_ += size;
  nextBlock_ = std::min(nextBlock_ * 2, kLastBlock);
  return true;
}

void EntryArena::PushFree(Entry p, std::size_t r) {
  if (r > kFineSizes) r &= ~std::size_t{7};  // a block tail may be uneven: keep what fits
  const std::size_t sizeClass = ClassOf(r);
  if (sizeClass >= free_.size()) {
    try {
      free_.resize(sizeClass + 1, nullptr);
    } catch (const std::bad_alloc&) {
      return;  // the memory stays unused until the arena is cleared
    }
  }
  std::memcpy(p, &free_[sizeClass], sizeof(Entry));
  free_[sizeClass] = p;
}

}  // namespace vantrel::queue_detail
