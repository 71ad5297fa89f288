// The queue engine: the program's in-memory table of fixed-layout records.
//
// A queue is declared by its owner as a record buffer plus the buffer's layout; entries are
// independent copies of the buffer, reached by position (from 1) in the current order or by key.
// Every operation clears the thread's runtime error state on entry and sets it on failure
// (7 no queue, 8 out of memory, 30 entry not found, 75 bad key field); a failed operation leaves
// entries, buffer and change counter as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "runtime/record_layout.h"

namespace vantrel {

struct QueueState;  // created on first use, private to the engine

// A key: up to 16 field numbers (1 = first field), positive ascending, negative descending.
using QueueKey = std::span<const int>;

class Queue {
 public:
  Queue(const RecordLayout& layout, void* buffer);
  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  const RecordLayout& Layout() const { return *layout_; }
  void* Buffer() const { return buffer_; }
  std::uint32_t RecordSize() const { return layout_->recordSize; }

 private:
  friend QueueState* EnsureQueueState(Queue* queue);
  friend QueueState* ExistingQueueState(Queue* queue);
  friend void DisposeQueueState(Queue* queue);
  const RecordLayout* layout_;
  void* buffer_;
  QueueState* state_ = nullptr;
};

// A queue whose record buffer is a typed record struct with a static `kLayout`.
template <class Record>
class RecordQueue : public Queue {
 public:
  RecordQueue() : Queue(Record::kLayout, &buffer) {}
  Record buffer;
};

std::int32_t QueueRecords(Queue* queue);
void QueueGetAt(Queue* queue, std::int32_t position);
void QueueGetByKey(Queue* queue, QueueKey key);
void QueueAdd(Queue* queue);
void QueueAddByKey(Queue* queue, QueueKey key);
void QueuePut(Queue* queue);
void QueueDelete(Queue* queue);
void QueueFree(Queue* queue);
void QueueSort(Queue* queue, QueueKey key);
std::int32_t QueuePointer(Queue* queue);
std::int32_t QueuePosition(Queue* queue);
std::uint32_t QueueChanges(Queue* queue);

// Frees every entry and order of the queue and forgets its state; the next operation starts it
// afresh. The queue's destructor does this; owners of run-time queues may call it earlier.
void DisposeQueueState(Queue* queue);

// What a queue holds, for tests and benchmarks. Touches neither the queue nor the error state.
struct QueueStorageUse {
  std::size_t entries = 0;     // number of entries
  std::size_t entryBytes = 0;  // bytes of the stored entries (headers included, rounded as kept)
  std::size_t arenaBytes = 0;  // bytes reserved for entries (arena blocks and large entries)
  std::size_t orderBytes = 0;  // bytes of the held orders' reference tables
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
