// The queue engine's inner types, shared by its files: compiled keys, orders, the queue's state
// and the view of a stored entry. Inside the engine only (runtime/queue*.cpp).
//
//   queue.cpp          the operations, entries in and out of the buffer, the state's lifecycle
//   queue_arena.*      where entries are stored
//   queue_compare.h    comparing stored entries by a key, where they lie
//   queue_search.cpp   halving searches over an order
//   queue_order.cpp    compiling keys, sorting, making and choosing key orders
//   queue_rle.*        the run-length encoding of large records
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/queue/queue.h"
#include "runtime/queue/queue_arena.h"
#include "runtime/queue/queue_rle.h"
#include "runtime/text/record_layout.h"

namespace vantrel {
namespace queue_detail {

constexpr int kMaxKeyFields = 16;
constexpr int kMaxOrders = 16;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// ---------------------------------------------------------------------------------------------
// Keys

enum class KeyKind : std::uint8_t { Bytes, Signed32, Signed16 };

struct KeyField {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  KeyKind kind = KeyKind::Bytes;
  bool descending = false;
};

// A key list compiled against the record layout: where each field lies and how it compares.
struct CompiledKey {
  int count = 0;
  KeyField fields[kMaxKeyFields];
};

// The key list as given (signed field numbers), which identifies a held order.
struct KeyList {
  int count = 0;
  int numbers[kMaxKeyFields] = {};
  bool operator==(const KeyList& o) const {
    return count == o.count && std::equal(numbers, numbers + count, o.numbers);
  }
};

// ---------------------------------------------------------------------------------------------
// Orders: plain arrays of entry references, so positional access is one index.

constexpr std::size_t kLargeOrder = 65536;  // references

// One step of a key order's search index (see Order::searchIndex): the key bytes of the entry a
// halving search compares at that step, from `from` on. The entries a search can still reach at
// that step all share their first `from` bytes with the buffer's key, so these bytes mostly decide
// the step without reading the entry.
constexpr std::size_t kIndexBytes = 28;
struct IndexNode {
  std::uint32_t from;
  std::uint8_t bytes[kIndexBytes];
};
static_assert(sizeof(IndexNode) == 32, "two index steps share a cache line");
constexpr std::size_t kIndexAlign = 64;

struct Order {
  Entry* items = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;
  bool keyed = false;
  KeyList list;
  CompiledKey compiledKey;
  // A search index for a large order sorted by one text field (queue_search.cpp): the first levels
  // of the halving search laid out in one small table, so that a keyed lookup in a million entries
  // waits on memory for its last few steps only, not for every one. It is a copy of key bytes, so
  // any change to the order's items drops it; searches build it again once enough of them have
  // run without a change to repay the building.
  mutable IndexNode* searchIndex = nullptr;  // nodes 1 .. 2^indexLevels - 1; after k: 2k, 2k+1
  mutable void* indexMemory = nullptr;       // the allocation searchIndex lies in
  mutable int indexLevels = 0;
  mutable std::size_t searchesUnchanged = 0;
  // A guide for reads by position that jump around a large order (queue.cpp): where every
  // kGuideStep-th entry lies, as an offset from the first entry, and last where the last entry
  // lies. Entries stored in the order's sequence (as a sort of the only order lays them out, in
  // one block) lie close to the straight line between two guide points, so a read can ask the
  // memory for its entry while it still waits for the order's reference to it: one wait instead
  // of two. Orders whose entries lie elsewhere get none (the arena's blocks lie anywhere). It only
  // guides prefetching: a wrong guess costs a few fetched lines, never a wrong read. Any change
  // drops it, like the search index.
  mutable std::uint32_t* guide = nullptr;
  mutable std::uintptr_t guideBase = 0;    // where the first entry lies
  mutable std::size_t guidePoints = 0;     // guide points, the last entry's included
  mutable std::size_t jumpsUnchanged = 0;  // reads by position that jumped, since the last change
  mutable bool guideRefused = false;       // the entries do not lie in sequence: no guide serves

  Order() = default;
  Order(const Order&) = delete;
  Order& operator=(const Order&) = delete;
  ~Order() {
    std::free(items);
    std::free(indexMemory);
    std::free(guide);
  }
  // Every change to the items or to the key they are sorted by goes through here (or through the
  // members below, which call it).
  void Changed() const {
    std::free(indexMemory);
    indexMemory = nullptr;
    searchIndex = nullptr;
    indexLevels = 0;
    searchesUnchanged = 0;
    DropGuide();
  }
  void DropGuide() const {
    std::free(guide);
    guide = nullptr;
    guidePoints = 0;
    jumpsUnchanged = 0;
    guideRefused = false;
  }
  // The search index and the position guide.
  std::size_t IndexBytes() const {
    return (searchIndex ? (std::size_t{1} << indexLevels) * sizeof(IndexNode) + kIndexAlign : 0) +
           guidePoints * sizeof(std::uint32_t);
  }
  // Puts an entry's new image in its place when the key the order is sorted by stays the same:
  // the search index still holds, the guide may not.
  void Replace(std::size_t index, Entry e) {
    if (items[index] != e) DropGuide();
    items[index] = e;
  }

  bool Reserve(std::size_t n) {
    if (n <= capacity) return true;
    // Large tables grow by an eighth: glibc reallocates them by moving pages, not copying, and
    // half again of a million references would be 4 MB held for nothing.
    std::size_t grown = capacity < 16 ? 16 : capacity + capacity / (capacity < kLargeOrder ? 2 : 8);
    if (grown < n) grown = n;
    auto* p = static_cast<Entry*>(std::realloc(items, grown * sizeof(Entry)));
    if (!p) return false;
    items = p;
    capacity = grown;
    return true;
  }
  // Both need the room reserved first; neither can fail.
  void InsertAt(std::size_t index, Entry e) {
    Changed();
    std::memmove(items + index + 1, items + index, (size - index) * sizeof(Entry));
    items[index] = e;
    ++size;
  }
  void RemoveAt(std::size_t index) {
    Changed();
    std::memmove(items + index, items + index + 1, (size - index - 1) * sizeof(Entry));
    --size;
  }
  void Unkey() {
    Changed();
    keyed = false;
    list = KeyList{};
  }
};

// A stored record as it lies: plain (the record's bytes) or run-length encoded.
struct View {
  const std::uint8_t* data;
  std::size_t length;
  bool plain;
};

}  // namespace queue_detail

// ---------------------------------------------------------------------------------------------
// Queue state

struct QueueState {
  const RecordLayout* layout = nullptr;
  std::uint8_t* buffer = nullptr;
  std::uint32_t recordSize = 0;
  bool encoded = false;
  queue_detail::Order* orders[queue_detail::kMaxOrders] = {};  // most recently used first
  int orderCount = 0;
  queue_detail::Order* current = nullptr;
  bool keyActive = false;
  std::uint32_t changes = 0;
  queue_detail::Entry currentEntry = nullptr;  // the current entry, shared by all orders
  std::size_t currentHint = 0;  // where it stood in the current order when last known
  queue_detail::Entry fetchedAhead =
      nullptr;  // the entry a walk by position asked the memory for last
  queue_detail::EntryArena arena;
  std::uint8_t* scratch = nullptr;    // encoding and decoding target
  std::uint8_t* oldRecord = nullptr;  // decoded copy of an entry being replaced or removed

  ~QueueState() {
    FreeAllEntries();
    for (int i = 0; i < orderCount; ++i) delete orders[i];
    std::free(scratch);
    std::free(oldRecord);
  }

  std::size_t EntrySize(const std::uint8_t* e) const {
    if (!encoded) return recordSize;
    std::uint32_t header;
    std::memcpy(&header, e, 4);
    return 4 + (header ? header : recordSize);
  }

  // Large entries are separate allocations; everything else goes with the arena.
  void FreeAllEntries() {
    if (queue_detail::EntryArena::IsLarge(encoded ? recordSize + 4 : recordSize) && current) {
      for (std::size_t i = 0; i < current->size; ++i) {
        queue_detail::Entry e = current->items[i];
        if (queue_detail::EntryArena::IsLarge(EntrySize(e))) ReleaseEntry(e);
      }
    }
    arena.Clear();
  }

  // A damaged image no longer tells its true size: rather than hand the wrong amount back to the
  // arena (which would later overlap a neighbour), its memory stays unused until the arena is
  // cleared.
  void ReleaseEntry(queue_detail::Entry e) {
    std::uint32_t header = 0;
    if (encoded) std::memcpy(&header, e, 4);
    if (header != 0 && !rle::Validate(e + 4, header, recordSize)) return;
    arena.Release(e, EntrySize(e));
  }

  int IndexOf(const queue_detail::Order* o) const {
    for (int i = 0; i < orderCount; ++i) {
      if (orders[i] == o) return i;
    }
    return -1;
  }
  void MoveToFront(queue_detail::Order* o) {
    const int i = IndexOf(o);
    std::rotate(orders, orders + i, orders + i + 1);
  }
  void Discard(queue_detail::Order* o) {
    const int i = IndexOf(o);
    delete o;
    std::copy(orders + i + 1, orders + orderCount, orders + i);
    orders[--orderCount] = nullptr;
  }
};

namespace queue_detail {

inline View ViewOf(const QueueState& st, const std::uint8_t* e) {
  if (!st.encoded) return View{e, st.recordSize, true};
  std::uint32_t header;
  std::memcpy(&header, e, 4);
  if (header == 0) return View{e + 4, st.recordSize, true};
  return View{e + 4, header, false};
}

inline View BufferView(const QueueState& st) { return View{st.buffer, st.recordSize, true}; }

// Key compilation and key orders (queue_order.cpp).
CompiledKey WholeRecordKey(std::uint32_t recordSize);
bool ParseKey(const RecordLayout& layout, QueueKey key, KeyList* list, CompiledKey* compiledKey);
std::int32_t MakeKeyOrder(QueueState& st, const KeyList& list, const CompiledKey& compiledKey,
                          bool reuseEmptyCurrent);

}  // namespace queue_detail
}  // namespace vantrel
