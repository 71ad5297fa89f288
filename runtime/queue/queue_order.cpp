// Key orders: compiling a key list against the record layout, sorting an order by a key, and
// making, reusing or replacing the held order for a key.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/errors/error_codes.h"
#include "runtime/queue/queue_compare.h"
#include "runtime/queue/queue_internal.h"

namespace vantrel::queue_detail {
namespace {

constexpr std::size_t kInsertionRun = 12;

template <class Less>
void MergeSort(Entry* a, std::size_t n, Entry* tmp, Less& lessOrEqual) {
  if (n <= kInsertionRun) {
    for (std::size_t i = 1; i < n; ++i) {
      Entry x = a[i];
      std::size_t j = i;
      while (j > 0 && !lessOrEqual(a[j - 1], x)) {
        a[j] = a[j - 1];
        --j;
      }
      a[j] = x;
    }
    return;
  }
  const std::size_t half = n / 2;
  MergeSort(a, half, tmp, lessOrEqual);
  MergeSort(a + half, n - half, tmp, lessOrEqual);
  if (lessOrEqual(a[half - 1], a[half])) return;  // already in order
  // The left half moves to the temporary table; right-half entries go after left-half entries with
  // an equal key, so equal keys keep their relative order.
  // Entries are fetched two steps ahead on both sides: large merges wait on memory otherwise.
  std::memcpy(tmp, a, half * sizeof(Entry));
  std::size_t i = 0, j = half, k = 0;
  __builtin_prefetch(tmp[1]);
  if (half + 1 < n) __builtin_prefetch(a[half + 1]);
  while (i < half && j < n) {
    if (lessOrEqual(tmp[i], a[j])) {
      a[k++] = tmp[i++];
      if (i + 1 < half) __builtin_prefetch(tmp[i + 1]);
    } else {
      a[k++] = a[j++];
      if (j + 1 < n) __builtin_prefetch(a[j + 1]);
    }
  }
  while (i < half) a[k++] = tmp[i++];
}

// Fills `out` with the entries of `source` sorted by the key. Returns 0, or the error code.
std::int32_t SortInto(const QueueState& st, const CompiledKey& compiledKey, const Order& source,
                      Entry* out) {
  const std::size_t n = source.size;
  std::memcpy(out, source.items, n * sizeof(Entry));
  if (n < 2) return 0;
  auto* tmp = static_cast<Entry*>(std::malloc((n / 2 + 1) * sizeof(Entry)));
  if (!tmp) return error_code::kInsufficientMemory;
  Comparer cmp{&compiledKey, st.recordSize};
  auto lessOrEqual = [&](Entry a, Entry b) { return cmp(ViewOf(st, a), ViewOf(st, b)) <= 0; };
  MergeSort(out, n, tmp, lessOrEqual);
  std::free(tmp);
  return cmp.damaged ? error_code::kMemoryCorrupted : 0;
}

}  // namespace

CompiledKey WholeRecordKey(std::uint32_t recordSize) {
  CompiledKey compiledKey;
  if (recordSize > 0) {
    compiledKey.count = 1;
    compiledKey.fields[0] = KeyField{0, recordSize, KeyKind::Bytes, false};
  }
  return compiledKey;
}

// Checks every field number of the key (0, or beyond the field count, or a field that does not lie
// inside the record, is refused) and keeps the first 16. An empty key orders whole records.
bool ParseKey(const RecordLayout& layout, QueueKey key, KeyList* list, CompiledKey* compiledKey) {
  for (int n : key) {
    const long long field = n < 0 ? -static_cast<long long>(n) : n;
    if (field < 1 || field > layout.FieldCount()) return false;
    const FieldDesc* f = layout.Field(static_cast<int>(field));
    if (f->offset > layout.recordSize || f->size > layout.recordSize - f->offset) return false;
  }
  list->count = static_cast<int>(std::min<std::size_t>(key.size(), kMaxKeyFields));
  if (list->count == 0) {
    *compiledKey = WholeRecordKey(layout.recordSize);
    return true;
  }
  compiledKey->count = list->count;
  for (int i = 0; i < list->count; ++i) {
    const int n = key[static_cast<std::size_t>(i)];
    list->numbers[i] = n;
    const FieldDesc* f = layout.Field(n < 0 ? -n : n);
    KeyField& kf = compiledKey->fields[i];
    kf.offset = f->offset;
    kf.size = f->size;
    kf.descending = n < 0;
    kf.kind = KeyKind::Bytes;
    if (f->elements == 1 && f->type == FieldType::Long && f->size == 4) kf.kind = KeyKind::Signed32;
    if (f->elements == 1 && f->type == FieldType::Short && f->size == 2)
      kf.kind = KeyKind::Signed16;
  }
  return true;
}

// Makes the order sorted by the key and puts it first and current; see QueueSort.
// Returns 0 or an error code, changing nothing on error.
std::int32_t MakeKeyOrder(QueueState& st, const KeyList& list, const CompiledKey& compiledKey,
                          bool reuseEmptyCurrent) {
  for (int i = 0; i < st.orderCount; ++i) {
    Order* o = st.orders[i];
    if (!o->keyed || !(o->list == list)) continue;
    Order* previous = st.current;
    st.MoveToFront(o);
    st.current = o;
    if (previous != o && !previous->keyed) st.Discard(previous);
    return 0;
  }
  Order* target = nullptr;
  bool fresh = false;
  if (!st.current->keyed || (reuseEmptyCurrent && st.current->size == 0)) {
    target = st.current;
  } else if (st.orderCount < kMaxOrders) {
    target = new (std::nothrow) Order;
    if (!target) return error_code::kInsufficientMemory;
    fresh = true;
  } else {
    // The least recently used order that is not the current one.
    for (int i = st.orderCount - 1; i >= 0 && !target; --i) {
      if (st.orders[i] != st.current) target = st.orders[i];
    }
  }
  const std::size_t n = st.current->size;
  auto* items = static_cast<Entry*>(std::malloc(std::max<std::size_t>(n, 1) * sizeof(Entry)));
  if (items) PreferHugePages(items, n * sizeof(Entry));
  if (!items) {
    if (fresh) delete target;
    return error_code::kInsufficientMemory;
  }
  if (const std::int32_t err = SortInto(st, compiledKey, *st.current, items)) {
    std::free(items);
    if (fresh) delete target;
    return err;
  }
  std::free(target->items);
  target->items = items;
  target->size = n;
  target->capacity = std::max<std::size_t>(n, 1);
  target->keyed = true;
  target->list = list;
  target->compiledKey = compiledKey;
  // The only order, freshly sorted: lay the entries out in its sequence, so that walks and searches
  // over it read memory in order (memory comes back in one block; skipped if it is not there).
  if (st.orderCount == 1 && target == st.current && n > 1 &&
      !EntryArena::IsLarge(std::size_t{st.recordSize} + 4)) {
    const Entry* at = std::find(items, items + n, st.currentEntry);
    const std::size_t currentAt = static_cast<std::size_t>(at - items);
    if (st.arena.Compact(items, n, [&](Entry e) { return st.EntrySize(e); }) && currentAt < n) {
      st.currentEntry = items[currentAt];
      st.currentHint = currentAt;
    }
  }
  if (fresh) {
    std::copy_backward(st.orders, st.orders + st.orderCount, st.orders + st.orderCount + 1);
    st.orders[0] = target;
    ++st.orderCount;
  } else {
    st.MoveToFront(target);
  }
  st.current = target;
  return 0;
}

}  // namespace vantrel::queue_detail
