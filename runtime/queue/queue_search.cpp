// Halving searches over an order, for a key search, a place to insert, or an entry's own place.
#include <cstddef>
#include <cstdint>

#include "runtime/queue/queue_compare.h"
#include "runtime/queue/queue_internal.h"

namespace vantrel::queue_detail {
namespace {

// While one entry is compared, the two entries the next step may need are fetched: a search over
// a large queue waits on memory, not on comparisons.
// While one entry is compared, the two entries the next step may need are fetched: a search over
// a large queue waits on memory, not on comparisons.
inline void PrefetchNextSteps(const Items& items, std::size_t lo, std::size_t mid, std::size_t hi) {
  if (hi - lo < 16) return;
  // The entries of the next step, whose references were fetched a step earlier...
  const std::size_t left = lo + (mid - lo) / 2;
  const std::size_t right = mid + 1 + (hi - mid - 1) / 2;
  // (A key usually reaches into an entry's second cache line: both are asked for.)
  const Entry leftEntry = items.At(left), rightEntry = items.At(right);
  __builtin_prefetch(leftEntry);
  __builtin_prefetch(leftEntry + 64);
  __builtin_prefetch(rightEntry);
  __builtin_prefetch(rightEntry + 64);
  // ...and the references of the step after.
  __builtin_prefetch(items.Slot(lo + (left - lo) / 2));
  __builtin_prefetch(items.Slot(left + 1 + (mid - left - 1) / 2));
  __builtin_prefetch(items.Slot(mid + 1 + (right - mid - 1) / 2));
  __builtin_prefetch(items.Slot(right + 1 + (hi - right - 1) / 2));
}

// Once the range has narrowed to a few dozen lines of references they are fetched together, and
// once it holds a handful of entries so are those: the last steps then find them arriving at once
// instead of waiting on each in turn.
struct NearFetch {
  static constexpr std::size_t kReferences = 128;  // 16 cache lines of references
  static constexpr std::size_t kEntries = 16;
  bool references = false;
  bool entries = false;

  void Step(const Items& items, std::size_t lo, std::size_t hi) {
    if (!references && hi - lo <= kReferences) {
      references = true;
      const auto* from = reinterpret_cast<const std::uint8_t*>(items.Slot(lo));
      const auto* last = reinterpret_cast<const std::uint8_t*>(items.Slot(hi - 1));
      for (const std::uint8_t* r = from; r < last + 64; r += 64) __builtin_prefetch(r);
    }
    if (!entries && hi - lo <= kEntries) {
      entries = true;
      for (std::size_t i = lo; i < hi; ++i) {
        const Entry e = items.At(i);
        __builtin_prefetch(e);
        __builtin_prefetch(e + 64);
      }
    }
  }
};

// A key of one text (or byte-image) field searched for the buffer, the usual search, is compared
// in line. Sets *equal, when asked, to whether the entry at the result has the probe's key: the
// last step that moved the upper end to it compared the two.
template <bool kUpper>
std::size_t BoundOneField(const QueueState& st, Items items, Comparer& cmp,
                          const std::uint8_t* probe, bool* equal) {
  const KeyField& f = cmp.key->fields[0];
  std::size_t lo = 0, hi = items.Size();
  bool hiEqual = false;
  NearFetch near;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    PrefetchNextSteps(items, lo, mid, hi);
    near.Step(items, lo, hi);
    int c = CompareEntryField(st, items.At(mid), f, probe, &cmp.damaged);
    if (f.descending) c = -c;
    if (kUpper ? c <= 0 : c < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
      hiEqual = c == 0;
    }
  }
  if (equal) *equal = lo < items.Size() && hiEqual;
  return lo;
}

template <bool kUpper>
std::size_t Bound(const QueueState& st, Items items, Comparer& cmp, View probe, bool* equal) {
  if (probe.plain && cmp.key->count == 1 && cmp.key->fields[0].kind == KeyKind::Bytes) {
    return BoundOneField<kUpper>(st, items, cmp, probe.data, equal);
  }
  std::size_t lo = 0, hi = items.Size();
  NearFetch near;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    PrefetchNextSteps(items, lo, mid, hi);
    near.Step(items, lo, hi);
    const View entry = ViewOf(st, items.At(mid));
    const bool right = kUpper ? cmp(probe, entry) >= 0 : cmp(entry, probe) < 0;
    if (right) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (equal) *equal = lo < items.Size() && cmp(ViewOf(st, items.At(lo)), probe) == 0;
  return lo;
}

}  // namespace

std::size_t LowerBound(const QueueState& st, Items items, Comparer& cmp, View probe, bool* equal) {
  return Bound<false>(st, items, cmp, probe, equal);
}
std::size_t UpperBound(const QueueState& st, Items items, Comparer& cmp, View probe) {
  return Bound<true>(st, items, cmp, probe, nullptr);
}

// A key order is searched by halving first; the scan behind it also finds entries that a damaged
// neighbour or a foreign key placed elsewhere.
std::size_t Locate(const QueueState& st, const Order& o, Entry e, View contents) {
  if (o.keyed) {
    Comparer cmp{&o.compiledKey, st.recordSize};
    std::size_t i = LowerBound(st, Items{&o}, cmp, contents);
    for (; i < o.size && !cmp.damaged; ++i) {
      if (o.items[i] == e) return i;
      if (cmp(ViewOf(st, o.items[i]), contents) != 0) break;
    }
  }
  for (std::size_t i = 0; i < o.size; ++i) {
    if (o.items[i] == e) return i;
  }
  return kNone;
}

std::size_t PlaceInOther(const QueueState& st, const Order& o, bool* damaged) {
  if (!o.keyed) return o.size;
  Comparer cmp{&o.compiledKey, st.recordSize};
  const std::size_t at = UpperBound(st, Items{&o}, cmp, BufferView(st));
  if (cmp.damaged) *damaged = true;
  return at;
}

}  // namespace vantrel::queue_detail
