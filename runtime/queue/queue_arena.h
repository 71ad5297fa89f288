// The queue engine's entry storage: a per-queue arena of blocks that grow from 4 KiB to 1 MiB,
// with a free list per size class, so a million small entries cost neither a million mallocs nor
// their per-block overhead. Entries of more than 64 KiB are separate allocations. Every block and
// large entry ends in slack that no entry occupies, so wide decoding may read past an entry.
//
// Inside the engine only (runtime/queue*.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/queue/queue_rle.h"

namespace vantrel::queue_detail {

// A stored entry: the record plain, or its 4-byte header and run-length encoding.
using Entry = std::uint8_t*;

// Large tables that searches and random reads jump around in (an order's references, the entries
// laid out after a sort) ask for huge pages where the system offers them: with small pages a search
// over a million entries misses the address translation cache at nearly every step, for the
// reference and again for the entry. Only whole huge pages inside the block are affected, and only
// memory not yet touched; where the system declines nothing changes.
void PreferHugePages(void* p, std::size_t bytes);

class EntryArena {
 public:
  EntryArena() = default;
  EntryArena(const EntryArena&) = delete;
  EntryArena& operator=(const EntryArena&) = delete;
  ~EntryArena() { Clear(); }

  // Entries are kept to the byte up to 512 bytes (most encoded records are far smaller than their
  // buffer, and every byte counts a million times), then in 8-byte steps. At least 8 bytes: a
  // freed entry holds its free-list link.
  static std::size_t Rounded(std::size_t size) {
    if (size < 8) return 8;
    if (size <= kFineSizes) return size;
    return (size + 7) & ~std::size_t{7};
  }
  static bool IsLarge(std::size_t size) { return Rounded(size) > kLargeEntry; }

  // Room for an entry of `size` bytes; null when memory runs out.
  Entry Allocate(std::size_t size);
  void Release(Entry p, std::size_t size);

  // Moves the entries into one fresh block in the sequence given, replacing the pointers, and frees
  // the old blocks. Walking that sequence then reads memory in order. Only for arenas whose entries
  // are all in `items` and none large; returns false, changing nothing, when the block cannot be
  // had.
  template <class SizeOf>
  bool Compact(Entry* items, std::size_t n, SizeOf sizeOf) {
    const std::size_t bytes = kBlockHeader + inUse_ + rle::kWideSlack;
    auto* block = static_cast<Entry>(std::malloc(bytes));
    if (!block) return false;
    PreferHugePages(block, bytes);
    Entry at = block + kBlockHeader;
    for (std::size_t i = 0; i < n; ++i) {
      if (i + 8 < n) __builtin_prefetch(items[i + 8]);
      const std::size_t size = sizeOf(items[i]);
      std::memcpy(at, items[i], size);
      items[i] = at;
      at += Rounded(size);
    }
    Clear();  // also forgets entries that were kept out of use (damaged ones)
    std::memset(block, 0, kBlockHeader);
    blocks_ = block;
    blockBytes_ = bytes;
    inUse_ = static_cast<std::size_t>(at - (block + kBlockHeader));
    return true;
  }

  void Clear();

  std::size_t InUse() const { return inUse_; }
  std::size_t Reserved() const { return blockBytes_ + largeBytes_; }

 private:
  static constexpr std::size_t kFineSizes = 512;
  static constexpr std::size_t kLargeEntry = 64 * 1024;
  static constexpr std::size_t kFirstBlock = 4 * 1024;
  static constexpr std::size_t kLastBlock = 1024 * 1024;
  static constexpr std::size_t kBlockHeader = 8;  // link to the previous block
  static constexpr std::size_t kKeptTail = 4096;  // larger block tails are left unused

  static std::size_t ClassOf(std::size_t r) {
    return r <= kFineSizes ? r : kFineSizes + (r - kFineSizes) / 8;
  }

  // Every block ends in slack that no entry occupies, so wide decoding may read past an entry.
  bool NewBlock(std::size_t need);
  void PushFree(Entry p, std::size_t r);

  Entry blocks_ = nullptr;
  Entry next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t blockBytes_ = 0;
  std::size_t largeBytes_ = 0;
  std::size_t nextBlock_ = kFirstBlock;
  std::size_t inUse_ = 0;
  std::vector<Entry> free_;
};

}  // namespace vantrel::queue_detail
