// A look inside a queue, for tests and benchmarks only: what it holds, its orders, and the
// stored image of an entry. Programs use runtime/queue/queue.h alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/queue/queue.h"

namespace vantrel {

// What a queue holds, for tests and benchmarks. Touches neither the queue nor the error state.
struct QueueStorageUse {
  std::size_t entries = 0;     // number of entries
  std::size_t entryBytes = 0;  // bytes of the stored entries (headers included, rounded as kept)
  std::size_t arenaBytes = 0;  // bytes reserved for entries (arena blocks and large entries)
  std::size_t orderBytes = 0;  // bytes of the held orders' reference tables
  std::size_t indexBytes = 0;  // bytes of the held orders' search indexes and position guides
  int orders = 0;              // number of held orders
  bool keyed = false;          // whether the current order is sorted by a key
};
QueueStorageUse QueueStorage(Queue* queue);

// The held orders, most recently used first, for tests.
struct QueueOrderInfo {
  bool keyed = false;
  std::vector<int> key;  // as given to QueueSort / QueueAddByKey; empty for an unsorted order
  bool current = false;
};
std::vector<QueueOrderInfo> QueueOrders(Queue* queue);

// The stored image of the entry at `position` of the current order: for records of 128 bytes or
// more a 4-byte header (0 = plain record follows, else the encoded length) and the data; for
// smaller records the plain copy. Empty when there is no such entry. Tests read it to check the
// stored form and write it to simulate damage.
std::span<std::uint8_t> QueueEntryImage(Queue* queue, std::int32_t position);

}  // namespace vantrel
