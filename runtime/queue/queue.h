// The queue engine: the program's in-memory table of fixed-layout records.
//
// A queue is declared by its owner as a record buffer plus the buffer's layout; entries are
// independent copies of the buffer, reached by position (from 1) in the current order or by key.
// Every operation clears the thread's runtime error state on entry and sets it on failure
// (7 no queue or a damaged stored entry, 8 out of memory, 30 entry not found, 75 a key naming no
// field of the record, in every keyed operation); a failed operation leaves entries, buffer and
// change counter as they were. Key fields compare by type: text and byte images as unsigned bytes
// (which for equal widths is the blank-padded text comparison), LONG and SHORT as signed numbers,
// BYTE unsigned. No exception leaves the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "runtime/text/record_layout.h"

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

// Number of entries; 0 for a queue never used (this call does not create its state).
std::int32_t QueueRecords(Queue* queue);
// Copies the entry at `position` of the current order into the buffer and makes it current.
// 0 sets 30 and forgets the current entry; below 0 or past the end sets 30 and changes nothing.
void QueueGetAt(Queue* queue, std::int32_t position);
// Finds, by halving the current order, the first entry whose key fields equal the buffer's, copies
// it into the buffer and makes it current. 30 when the key is empty, the queue is empty or no entry
// matches (the buffer stays as it was).
void QueueGetByKey(Queue* queue, QueueKey key);
// Appends the buffer as a new entry to the current order (and at their own places to the other held
// orders); a key order that the entry does not end in sorted order becomes unsorted.
void QueueAdd(Queue* queue);
// Inserts the buffer after the entries with an equal or lower key; builds the key's order first
// when none is held. Callers sort by the key first: the current order is searched by this key.
void QueueAddByKey(Queue* queue, QueueKey key);
// Writes the buffer over the current entry; other key orders move it to its new place.
void QueuePut(Queue* queue);
// Removes the current entry from every order.
void QueueDelete(Queue* queue);
// Removes all entries and orders; a fresh unsorted order remains. Never fails.
void QueueFree(Queue* queue);
// Makes the order by `key` current, building it (stable merge sort) when it is not held. Up to 16
// orders are held; the least recently used one that is not current makes room. An empty key orders
// whole records.
void QueueSort(Queue* queue, QueueKey key);
// Position of the current entry in the current order, 0 when there is none.
std::int32_t QueuePointer(Queue* queue);
// Where the buffer's key stands in the current order: the first equal entry, or (with error 30) the
// place it would be inserted; an unsorted order is searched by whole records.
std::int32_t QueuePosition(Queue* queue);
// The change counter: seeded from the time of day, one more for every change.
std::uint32_t QueueChanges(Queue* queue);

// Frees every entry and order of the queue and forgets its state; the next operation starts it
// afresh. The queue's destructor does this; owners of run-time queues may call it earlier.
void DisposeQueueState(Queue* queue);

// For displays that show a queue while the program works with it (a list control): the number
// of entries, and a copy of the entry at `position` of the current order into `out` (RecordSize()
// bytes). Neither touches the record buffer, the current entry or the error state; QueuePeek
// returns false and leaves `out` alone when there is no such entry.
std::int32_t QueuePeekRecords(Queue* queue);
bool QueuePeek(Queue* queue, std::int32_t position, void* out);

}  // namespace vantrel
