// The queue engine: the operations, entries in and out of the record buffer, and the state's
// lifecycle. Its parts: queue_internal.h (types and state), queue_arena.* (storage),
// queue_compare.h and queue_search.cpp (comparing and searching), queue_order.cpp (keys, sorting
// and key orders), queue_rle.* (the encoding of large records).
//
// Entries live in a per-queue arena. Records of 128 bytes or more are kept run-length encoded
// behind a 4-byte header (0 = the plain record follows, else the encoded length). Orders are plain
// arrays of entry pointers, so positional access is one index.
//
// Failure rules: each operation first checks everything that can fail (allocation, damaged entries,
// positions) and only then changes the queue, so a failed operation leaves entries, orders, buffer
// and change counter as they were. A stored entry that no longer decodes (damaged memory) is
// refused with error 7 "Memory Corrupted"; the entry and the buffer are left alone.
#include "runtime/queue/queue.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/system/local_time.h"
#include "runtime/queue/queue_compare.h"
#include "runtime/queue/queue_internal.h"
#include "runtime/queue/queue_rle.h"
#include "runtime/queue/queue_testing.h"

namespace vantrel {

using namespace queue_detail;

namespace {

constexpr std::uint32_t kEncodeFrom = 128;  // records this large or larger are stored encoded

std::uint32_t SeedChanges() {
  const auto hundredths = static_cast<std::uint32_t>(ClockHundredths() + 1);
  return hundredths * 25781083u;  // wraps at 32 bits
}

// ---------------------------------------------------------------------------------------------
// Entries in and out of the buffer

// The current entry's index in the current order, or kNone.
std::size_t CurrentIndex(QueueState& st) {
  if (!st.currentEntry) return kNone;
  const Order& o = *st.current;
  if (st.currentHint < o.size && o.items[st.currentHint] == st.currentEntry) return st.currentHint;
  for (std::size_t i = 0; i < o.size; ++i) {
    if (o.items[i] == st.currentEntry) {
      st.currentHint = i;
      return i;
    }
  }
  return kNone;
}

// How much of an entry, from its start, a read asks for before it reads the header.
std::size_t PrefetchSpan(const QueueState& st) {
  return std::min<std::size_t>(std::size_t{st.recordSize} + 4, 192);
}

void PrefetchLines(std::uintptr_t from, std::uintptr_t to) {
  for (std::uintptr_t line = from & ~std::uintptr_t{63}; line < to; line += 64) {
    __builtin_prefetch(reinterpret_cast<const void*>(line), 0, 0);
  }
}

// Asks for the cache lines an entry may span, without waiting for them. (Prefetching past an
// entry's end is harmless; reading its header here to know its length would wait for it.)
void PrefetchEntry(const QueueState& st, Entry e) {
  const auto from = reinterpret_cast<std::uintptr_t>(e);
  PrefetchLines(from, from + PrefetchSpan(st));
}

// The position guide (Order::guide): a point every kGuideStep entries.
constexpr std::size_t kGuideStep = 16;

// Lays the guide out when the order's entries lie in its sequence, each guide point after the one
// before and no further from it than kGuideStep whole entries, within 4 GiB of the first entry.
// Otherwise no guide serves until the next change.
void BuildGuide(const QueueState& st, const Order& o) {
  const std::size_t points = (o.size - 1) / kGuideStep + 2;
  auto* guide = static_cast<std::uint32_t*>(std::malloc(points * sizeof(std::uint32_t)));
  o.guideRefused = true;
  if (!guide) return;
  const auto base = reinterpret_cast<std::uintptr_t>(o.items[0]);
  const std::uintptr_t widest = kGuideStep * (std::uintptr_t{st.recordSize} + 12);
  std::uintptr_t last = 0;
  for (std::size_t k = 0; k < points; ++k) {
    const std::size_t index = k + 1 < points ? k * kGuideStep : o.size - 1;
    // An entry below the first wraps around to far above it, and is refused as such.
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(o.items[index]) - base;
    if (at < last || at - last > widest || at > UINT32_MAX) {
      std::free(guide);
      return;
    }
    guide[k] = static_cast<std::uint32_t>(at);
    last = at;
  }
  o.guide = guide;
  o.guideBase = base;
  o.guidePoints = points;
  o.guideRefused = false;
}

// The lines a read asked for ahead of its entry.
struct Asked {
  std::uintptr_t from = 0;
  std::uintptr_t to = 0;
  bool Covers(Entry e, std::size_t span) const {
    const auto at = reinterpret_cast<std::uintptr_t>(e);
    return at >= from && at + span <= to;
  }
};

// Before a read by position that jumps: asks for the lines where the guide places the entry at
// `index`, around the straight line between the two guide points about it. The guide is laid out
// once enough such reads have come without a change to repay reading one reference in kGuideStep.
Asked PrefetchByGuide(const QueueState& st, const Order& o, std::size_t index) {
  if (!o.guide) {
    if (o.guideRefused || o.size < kLargeOrder || ++o.jumpsUnchanged < o.size / 64) return {};
    BuildGuide(st, o);
    if (!o.guide) return {};
  }
  const std::size_t k = index / kGuideStep;
  const std::size_t step = index % kGuideStep;
  const std::uintptr_t before = o.guide[k];
  const std::uintptr_t gap = o.guide[k + 1] - before;
  // Entries from this point to the next: kGuideStep, but fewer before the last entry, and none
  // when the last entry is itself a point (then step is 0 too).
  const std::size_t width = std::min(kGuideStep, o.size - 1 - k * kGuideStep);
  const std::uintptr_t guess = o.guideBase + before + (step == 0 ? 0 : gap * step / width);
  // Half a line either side of the guess: entries differ in length, so the guess is near, not
  // exact.
  Asked asked{(guess - 32) & ~std::uintptr_t{63},
              (guess + PrefetchSpan(st) + 32 + 63) & ~std::uintptr_t{63}};
  PrefetchLines(asked.from, asked.to);
  return asked;
}

// Copies an entry into the buffer, or refuses a damaged one and leaves the buffer alone: encoded
// entries are decoded into the scratch record first.
bool LoadEntry(const QueueState& st, Entry e) {
  const View v = ViewOf(st, e);
  if (v.plain) {
    std::memcpy(st.buffer, v.data, st.recordSize);
    return true;
  }
  if (!rle::DecodeWide(v.data, v.length, st.scratch, st.recordSize)) return false;
  std::memcpy(st.buffer, st.scratch, st.recordSize);
  return true;
}

// Stores a record as an entry image: its size, and the bytes in `st.scratch` (encoded) or in the
// record itself (plain).
struct Image {
  std::uint32_t header = 0;  // encoded length, 0 for plain
  std::size_t size = 0;      // bytes of the whole entry
};

Image MakeImage(QueueState& st, const std::uint8_t* record) {
  if (!st.encoded) return Image{0, st.recordSize};
  const std::size_t n = rle::Encode(record, st.recordSize, st.scratch, st.recordSize - 14);
  if (n == rle::kNoFit || n + 16 > st.recordSize) return Image{0, 4 + std::size_t{st.recordSize}};
  return Image{static_cast<std::uint32_t>(n), 4 + n};
}

void WriteImage(const QueueState& st, Entry e, const Image& image, const std::uint8_t* record) {
  if (!st.encoded) {
    std::memcpy(e, record, st.recordSize);
    return;
  }
  std::memcpy(e, &image.header, 4);
  if (image.header) {
    std::memcpy(e + 4, st.scratch, image.header);
  } else {
    std::memcpy(e + 4, record, st.recordSize);
  }
}

Entry NewEntry(QueueState& st) {
  const Image image = MakeImage(st, st.buffer);
  Entry e = st.arena.Allocate(image.size);
  if (e) WriteImage(st, e, image, st.buffer);
  return e;
}

bool ReserveAll(QueueState& st, std::size_t n) {
  for (int i = 0; i < st.orderCount; ++i) {
    if (!st.orders[i]->Reserve(n)) return false;
  }
  return true;
}

QueueState* Begin(Queue* queue) {
  ClearRuntimeError();
  if (!queue) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return nullptr;
  }
  QueueState* st = EnsureQueueState(queue);
  if (!st) SetRuntimeError(error_code::kInsufficientMemory);
  return st;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// State lifecycle

Queue::Queue(const RecordLayout& layout, void* buffer) : layout_(&layout), buffer_(buffer) {}

Queue::~Queue() { DisposeQueueState(this); }

QueueState* ExistingQueueState(Queue* queue) { return queue->state_; }

QueueState* EnsureQueueState(Queue* queue) {
  if (queue->state_) return queue->state_;
  auto* st = new (std::nothrow) QueueState;
  if (!st) return nullptr;
  st->layout = queue->layout_;
  st->buffer = static_cast<std::uint8_t*>(queue->buffer_);
  st->recordSize = queue->layout_->recordSize;
  st->encoded = st->recordSize >= kEncodeFrom;
  // Room for wide decoding, which may write a little past the record.
  const std::size_t room = std::size_t{st->recordSize} + 2 * rle::kWideSlack;
  st->scratch = static_cast<std::uint8_t*>(std::malloc(room));
  st->oldRecord = static_cast<std::uint8_t*>(std::malloc(room));
  st->orders[0] = new (std::nothrow) Order;
  if (!st->scratch || !st->oldRecord || !st->orders[0]) {
    delete st->orders[0];
    st->orders[0] = nullptr;
    delete st;
    return nullptr;
  }
  st->orderCount = 1;
  st->current = st->orders[0];
  st->changes = SeedChanges();
  queue->state_ = st;
  return st;
}

void DisposeQueueState(Queue* queue) {
  if (!queue) return;
  delete queue->state_;
  queue->state_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// The operations

std::int32_t QueueRecords(Queue* queue) {
  ClearRuntimeError();
  if (!queue) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return 0;
  }
  const QueueState* st = ExistingQueueState(queue);
  return st ? static_cast<std::int32_t>(st->current->size) : 0;
}

void QueueGetAt(Queue* queue, std::int32_t position) {
  QueueState* st = Begin(queue);
  if (!st) return;
  if (position == 0) {
    st->currentEntry = nullptr;
    SetRuntimeError(error_code::kEntryNotFound);
    return;
  }
  if (position < 0 || static_cast<std::size_t>(position) > st->current->size) {
    SetRuntimeError(error_code::kEntryNotFound);
    return;
  }
  const std::size_t index = static_cast<std::size_t>(position) - 1;
  const Order& o = *st->current;
  // A walk by position (each read one past the last) reads the next entry soon; reads that jump
  // around would only spend memory bandwidth on fetching it.
  const bool walking = st->currentEntry && index == st->currentHint + 1;
  // A read that jumps waits on memory for the reference and then for the entry; the guide lets it
  // ask for both at once.
  const Asked asked = walking ? Asked{} : PrefetchByGuide(*st, o, index);
  Entry e = o.items[index];
  // An entry spans a few cache lines; unless they were asked for already, ask for all of them
  // before the header is read, so that it arrives in one wait instead of one wait per line.
  if (e != st->fetchedAhead && !asked.Covers(e, PrefetchSpan(*st))) PrefetchEntry(*st, e);
  if (!LoadEntry(*st, e)) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return;
  }
  st->currentEntry = e;
  st->currentHint = index;
  st->fetchedAhead = nullptr;
  if (walking && index + 1 < o.size) {
    st->fetchedAhead = o.items[index + 1];
    PrefetchEntry(*st, st->fetchedAhead);
  }
}

void QueueGetByKey(Queue* queue, QueueKey key) {
  QueueState* st = Begin(queue);
  if (!st) return;
  KeyList list;
  CompiledKey compiledKey;
  if (!ParseKey(*st->layout, key, &list, &compiledKey)) {
    SetRuntimeError(error_code::kInvalidFieldType);
    return;
  }
  const Order& o = *st->current;
  if (list.count == 0 || o.size == 0) {
    SetRuntimeError(error_code::kEntryNotFound);
    return;
  }
  st->keyActive = true;
  Comparer cmp{&compiledKey, st->recordSize};
  bool found = false;
  const std::size_t at = LowerBound(*st, Items{&o}, cmp, BufferView(*st), &found);
  if (cmp.damaged) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return;
  }
  if (!found) {
    SetRuntimeError(error_code::kEntryNotFound);
    return;
  }
  if (!LoadEntry(*st, o.items[at])) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return;
  }
  st->currentEntry = o.items[at];
  st->currentHint = at;
}

void QueueAdd(Queue* queue) {
  QueueState* st = Begin(queue);
  if (!st) return;
  st->keyActive = false;
  Order& cur = *st->current;
  if (!ReserveAll(*st, cur.size + 1)) return SetRuntimeError(error_code::kInsufficientMemory);
  // Everything that compares comes first, so damage found on the way changes nothing.
  std::size_t places[kMaxOrders];
  bool damaged = false;
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != &cur) places[i] = PlaceInOther(*st, *st->orders[i], &damaged);
  }
  bool staysSorted = true;
  if (cur.keyed && cur.size > 0) {
    Comparer cmp{&cur.compiledKey, st->recordSize};
    staysSorted = cmp(BufferView(*st), ViewOf(*st, cur.items[cur.size - 1])) >= 0;
    damaged = damaged || cmp.damaged;
  }
  if (damaged) return SetRuntimeError(error_code::kMemoryCorrupted);
  Entry e = NewEntry(*st);
  if (!e) return SetRuntimeError(error_code::kInsufficientMemory);
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != &cur) st->orders[i]->InsertAt(places[i], e);
  }
  cur.InsertAt(cur.size, e);
  if (!staysSorted) cur.Unkey();
  st->currentEntry = e;
  st->currentHint = cur.size - 1;
  ++st->changes;
}

void QueueAddByKey(Queue* queue, QueueKey key) {
  QueueState* st = Begin(queue);
  if (!st) return;
  KeyList list;
  CompiledKey compiledKey;
  if (!ParseKey(*st->layout, key, &list, &compiledKey))
    return SetRuntimeError(error_code::kInvalidFieldType);
  if (!ReserveAll(*st, st->current->size + 1))
    return SetRuntimeError(error_code::kInsufficientMemory);

  Order* held = nullptr;
  for (int i = 0; i < st->orderCount && !held; ++i) {
    if (st->orders[i]->keyed && st->orders[i]->list == list) held = st->orders[i];
  }
  if (!held) {
    // Sorting first keeps the failure rule simple: if it fails, nothing has changed yet; if a later
    // step fails, the queue holds the same entries, only with one more (valid) order.
    if (const std::int32_t err = MakeKeyOrder(*st, list, compiledKey, true))
      return SetRuntimeError(err);
    if (!ReserveAll(*st, st->current->size + 1))
      return SetRuntimeError(error_code::kInsufficientMemory);
    held = st->current;
  } else if (held != st->current) {
    st->MoveToFront(held);  // used now; positions still refer to the current order
  }

  Order& cur = *st->current;
  std::size_t places[kMaxOrders];
  bool damaged = false;
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != &cur) places[i] = PlaceInOther(*st, *st->orders[i], &damaged);
  }
  Comparer cmp{&compiledKey, st->recordSize};
  const std::size_t at = UpperBound(*st, Items{&cur}, cmp, BufferView(*st));
  // When the current order is sorted by another key, the new entry must also fit that key, or the
  // order can no longer claim to be sorted.
  bool staysSorted = true;
  if (cur.keyed && !(cur.list == list)) {
    Comparer own{&cur.compiledKey, st->recordSize};
    if (at > 0 && own(ViewOf(*st, cur.items[at - 1]), BufferView(*st)) > 0) staysSorted = false;
    if (at < cur.size && own(BufferView(*st), ViewOf(*st, cur.items[at])) > 0) staysSorted = false;
    damaged = damaged || own.damaged;
  }
  if (damaged || cmp.damaged) return SetRuntimeError(error_code::kMemoryCorrupted);
  Entry e = NewEntry(*st);
  if (!e) return SetRuntimeError(error_code::kInsufficientMemory);
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != &cur) st->orders[i]->InsertAt(places[i], e);
  }
  cur.InsertAt(at, e);
  if (!staysSorted) cur.Unkey();
  st->keyActive = true;
  st->currentEntry = e;
  st->currentHint = at;
  ++st->changes;
}

void QueuePut(Queue* queue) {
  QueueState* st = Begin(queue);
  if (!st) return;
  Order& cur = *st->current;
  const std::size_t index = CurrentIndex(*st);
  if (index == kNone) return SetRuntimeError(error_code::kEntryNotFound);
  const Entry old = cur.items[index];
  // The old contents, to find the entry in the key orders and to see which keys changed.
  {
    const View v = ViewOf(*st, old);
    if (v.plain) {
      std::memcpy(st->oldRecord, v.data, st->recordSize);
    } else if (!rle::DecodeWide(v.data, v.length, st->oldRecord, st->recordSize)) {
      return SetRuntimeError(error_code::kMemoryCorrupted);
    }
  }
  const View oldView{st->oldRecord, st->recordSize, true};
  const View newView = BufferView(*st);

  struct Move {
    std::size_t from = kNone;
    std::size_t to = kNone;  // index once `from` is removed; kNone when the entry stays
  } moves[kMaxOrders];
  for (int i = 0; i < st->orderCount; ++i) {
    Order& o = *st->orders[i];
    if (&o == &cur) continue;
    moves[i].from = Locate(*st, o, old, oldView);
    if (moves[i].from == kNone) return SetRuntimeError(error_code::kMemoryCorrupted);
    if (!o.keyed) continue;
    Comparer cmp{&o.compiledKey, st->recordSize};
    if (cmp(oldView, newView) == 0) continue;
    moves[i].to = UpperBound(*st, Items{&o, moves[i].from}, cmp, newView);
    if (cmp.damaged) return SetRuntimeError(error_code::kMemoryCorrupted);
  }
  bool unkeyCurrent = false;
  if (cur.keyed) {
    Comparer cmp{&cur.compiledKey, st->recordSize};
    unkeyCurrent = cmp(oldView, newView) != 0;
  }

  // Re-encode; the entry keeps its place in memory when the new image has the same size.
  const Image image = MakeImage(*st, st->buffer);
  const std::size_t oldSize = st->EntrySize(old);
  Entry e = old;
  if (EntryArena::Rounded(image.size) != EntryArena::Rounded(oldSize)) {
    e = st->arena.Allocate(image.size);
    if (!e) return SetRuntimeError(error_code::kInsufficientMemory);
  }
  ++st->changes;
  WriteImage(*st, e, image, st->buffer);
  if (e != old) st->arena.Release(old, oldSize);
  for (int i = 0; i < st->orderCount; ++i) {
    Order& o = *st->orders[i];
    if (&o == &cur) {
      o.Replace(index, e);
      continue;
    }
    if (moves[i].to == kNone) {
      o.Replace(moves[i].from, e);
    } else {
      o.RemoveAt(moves[i].from);
      o.InsertAt(moves[i].to, e);
    }
  }
  if (unkeyCurrent) cur.Unkey();
  st->currentEntry = e;
  st->currentHint = index;
}

void QueueDelete(Queue* queue) {
  QueueState* st = Begin(queue);
  if (!st) return;
  Order& cur = *st->current;
  const std::size_t index = CurrentIndex(*st);
  if (index == kNone) return SetRuntimeError(error_code::kEntryNotFound);
  const Entry e = cur.items[index];
  // A damaged entry can still be deleted: it is found by its address when its key cannot be read.
  std::size_t from[kMaxOrders];
  for (int i = 0; i < st->orderCount; ++i) {
    const Order& o = *st->orders[i];
    if (&o == &cur) continue;
    from[i] = Locate(*st, o, e, ViewOf(*st, e));
    if (from[i] == kNone) return SetRuntimeError(error_code::kMemoryCorrupted);
  }
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != &cur) st->orders[i]->RemoveAt(from[i]);
  }
  cur.RemoveAt(index);
  st->ReleaseEntry(e);
  st->currentEntry = nullptr;
  ++st->changes;
}

void QueueFree(Queue* queue) {
  ClearRuntimeError();
  if (!queue) return;
  QueueState* st = ExistingQueueState(queue);
  if (!st) return;
  st->FreeAllEntries();
  // Keep one order object: a fresh empty unsorted order needs no allocation, so this cannot fail.
  Order* keep = st->current;
  for (int i = 0; i < st->orderCount; ++i) {
    if (st->orders[i] != keep) delete st->orders[i];
    st->orders[i] = nullptr;
  }
  std::free(keep->items);
  keep->items = nullptr;
  keep->size = keep->capacity = 0;
  keep->Unkey();
  st->orders[0] = keep;
  st->orderCount = 1;
  st->current = keep;
  st->keyActive = false;
  st->currentEntry = nullptr;
  ++st->changes;
}

void QueueSort(Queue* queue, QueueKey key) {
  QueueState* st = Begin(queue);
  if (!st) return;
  KeyList list;
  CompiledKey compiledKey;
  if (!ParseKey(*st->layout, key, &list, &compiledKey))
    return SetRuntimeError(error_code::kInvalidFieldType);
  if (const std::int32_t err = MakeKeyOrder(*st, list, compiledKey, false))
    return SetRuntimeError(err);
  st->keyActive = true;
  ++st->changes;
}

std::int32_t QueuePointer(Queue* queue) {
  QueueState* st = Begin(queue);
  if (!st) return 0;
  const std::size_t index = CurrentIndex(*st);
  return index == kNone ? 0 : static_cast<std::int32_t>(index + 1);
}

std::int32_t QueuePosition(Queue* queue) {
  QueueState* st = Begin(queue);
  if (!st) return 0;
  const Order& o = *st->current;
  const CompiledKey compiledKey = o.keyed ? o.compiledKey : WholeRecordKey(st->recordSize);
  Comparer cmp{&compiledKey, st->recordSize};
  const View probe = BufferView(*st);
  const std::size_t place = UpperBound(*st, Items{&o}, cmp, probe);
  const bool equal = place > 0 && cmp(ViewOf(*st, o.items[place - 1]), probe) == 0;
  std::size_t first = place;
  if (equal) first = LowerBound(*st, Items{&o}, cmp, probe);
  if (cmp.damaged) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return 0;
  }
  if (place == 0) {
    SetRuntimeError(error_code::kEntryNotFound);
    return 1;
  }
  if (!equal) {
    SetRuntimeError(error_code::kEntryNotFound);
    return static_cast<std::int32_t>(place + 1);
  }
  return static_cast<std::int32_t>(first + 1);
}

std::uint32_t QueueChanges(Queue* queue) {
  QueueState* st = Begin(queue);
  return st ? st->changes : 0;
}

// ---------------------------------------------------------------------------------------------
// Diagnostics

QueueStorageUse QueueStorage(Queue* queue) {
  QueueStorageUse use;
  if (!queue) return use;
  const QueueState* st = ExistingQueueState(queue);
  if (!st) return use;
  use.entries = st->current->size;
  use.entryBytes = st->arena.InUse();
  use.arenaBytes = st->arena.Reserved();
  for (int i = 0; i < st->orderCount; ++i) {
    use.orderBytes += st->orders[i]->capacity * sizeof(Entry);
    use.indexBytes += st->orders[i]->IndexBytes();
  }
  use.orders = st->orderCount;
  use.keyed = st->current->keyed;
  return use;
}

std::vector<QueueOrderInfo> QueueOrders(Queue* queue) {
  std::vector<QueueOrderInfo> out;
  if (!queue) return out;
  const QueueState* st = ExistingQueueState(queue);
  if (!st) return out;
  try {
    for (int i = 0; i < st->orderCount; ++i) {
      const Order& o = *st->orders[i];
      out.push_back(QueueOrderInfo{o.keyed,
                                   std::vector<int>(o.list.numbers, o.list.numbers + o.list.count),
                                   &o == st->current});
    }
  } catch (const std::bad_alloc&) {
    out.clear();
  }
  return out;
}

std::span<std::uint8_t> QueueEntryImage(Queue* queue, std::int32_t position) {
  if (!queue) return {};
  const QueueState* st = ExistingQueueState(queue);
  if (!st || position < 1 || static_cast<std::size_t>(position) > st->current->size) return {};
  // The caller may write the image: what the search indexes copied from entries may no longer hold.
  for (int i = 0; i < st->orderCount; ++i) st->orders[i]->Changed();
  Entry e = st->current->items[position - 1];
  return std::span<std::uint8_t>(e, st->EntrySize(e));
}

// Displays read the queue while the program works with it: these reads leave the record buffer,
// the current entry and the thread's error state exactly as they were.
std::int32_t QueuePeekRecords(Queue* queue) {
  if (!queue) return 0;
  const QueueState* st = ExistingQueueState(queue);
  return st ? static_cast<std::int32_t>(st->current->size) : 0;
}

bool QueuePeek(Queue* queue, std::int32_t position, void* out) {
  if (!queue || !out) return false;
  const QueueState* st = ExistingQueueState(queue);
  if (!st || position < 1 || static_cast<std::size_t>(position) > st->current->size) return false;
  const View v = ViewOf(*st, st->current->items[position - 1]);
  if (v.plain) {
    std::memcpy(out, v.data, st->recordSize);
    return true;
  }
  std::vector<std::uint8_t> record(std::size_t{st->recordSize} + 2 * rle::kWideSlack);
  if (!rle::DecodeWide(v.data, v.length, record.data(), st->recordSize)) return false;
  std::memcpy(out, record.data(), st->recordSize);
  return true;
}

}  // namespace vantrel
