// Halving searches over an order, for a key search, a place to insert, or an entry's own place.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/queue/queue_compare.h"
#include "runtime/queue/queue_internal.h"

namespace vantrel::queue_detail {
namespace {

// While one entry is compared, the two entries the next step may need are fetched: a search over
// a large queue waits on memory, not on comparisons.
inline void PrefetchNextSteps(const Items& items, std::size_t lo, std::size_t mid, std::size_t hi,
                              bool referencesFetched) {
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
  // ...and the references of the step after; once all references of the range are on their way,
  // the entries of that step as well, so that two steps' waits for entries overlap.
  const std::size_t after[4] = {lo + (left - lo) / 2, left + 1 + (mid - left - 1) / 2,
                                mid + 1 + (right - mid - 1) / 2, right + 1 + (hi - right - 1) / 2};
  for (const std::size_t i : after) {
    if (referencesFetched) {
      const Entry e = items.At(i);
      __builtin_prefetch(e);
      __builtin_prefetch(e + 64);
    } else {
      __builtin_prefetch(items.Slot(i));
    }
  }
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

// ---------------------------------------------------------------------------------------------
// The search index of a large order sorted by one text field (Order::searchIndex)
//
// A halving search over an order of n entries always compares the same entry first, then one of
// the same two, and so on: its first levels form a fixed tree. The index keeps, for each step of
// those levels, kIndexBytes of the key of the entry compared there, laid out level by level so
// that a step and its two successors lie close together. Each step keeps the bytes from where its
// range's two bounding entries first differ: every key that a search can still meet there (the
// buffer's among them) lies between those two and so shares everything before, and the bytes from
// there on mostly decide the step. Only when they are equal is the entry itself read.

// One step per kEntriesPerStep entries or fewer: the index costs about one byte per entry, and
// the steps it leaves to the entries cover a range of a few cache lines of references.
constexpr std::size_t kEntriesPerStep = 32;
constexpr int kMinIndexLevels = 6;  // smaller orders are searched in cache anyway

int IndexLevelsFor(std::size_t n) {
  return static_cast<int>(std::bit_width(n / kEntriesPerStep + 1)) - 1;
}

bool IndexServes(const Order& o, Items items, const KeyField& f) {
  if (items.skip != kNone || !o.keyed || o.compiledKey.count != 1) return false;
  const KeyField& own = o.compiledKey.fields[0];
  return own.offset == f.offset && own.size == f.size && own.kind == f.kind &&
         own.descending == f.descending && f.size > 0;
}

struct IndexBuilder {
  const QueueState& st;
  Items items;
  const KeyField& f;
  IndexNode* nodes;
  int levels;
  std::uint8_t* keys;  // one key per level, the entries compared on the way down
  bool damaged = false;

  void Fill(std::size_t k, std::size_t lo, std::size_t hi, int depth, const std::uint8_t* low,
            const std::uint8_t* high) {
    // Every range at these levels holds kEntriesPerStep entries or more, so lo < hi.
    if (depth == levels || damaged) return;
    const std::size_t mid = lo + (hi - lo) / 2;
    std::uint8_t* key = keys + static_cast<std::size_t>(depth) * f.size;
    Cursor c(ViewOf(st, items.At(mid)), st.recordSize);
    ReadRange(c, f.offset, f.size, key);
    if (c.damaged) {
      damaged = true;
      return;
    }
    std::size_t shared = 0;  // at the outer edges one bound is missing: nothing is shared
    if (low && high) {
      while (shared < f.size && low[shared] == high[shared]) ++shared;
    }
    const std::size_t width = std::min<std::size_t>(kIndexBytes, f.size);
    const std::size_t from = std::min<std::size_t>(shared, f.size - width);
    IndexNode& node = nodes[k];
    std::memset(&node, 0, sizeof node);
    node.from = static_cast<std::uint32_t>(from);
    std::memcpy(node.bytes, key + from, width);
    Fill(2 * k, lo, mid, depth + 1, low, key);
    Fill(2 * k + 1, mid + 1, hi, depth + 1, key, high);
  }
};

// Builds the index; leaves none when memory is short or an entry on the way is damaged (the
// searches then go on without it and report the damage as before).
void BuildIndex(const QueueState& st, const Order& o, const KeyField& f, int levels) {
  const std::size_t nodes = std::size_t{1} << levels;
  void* memory = std::malloc(nodes * sizeof(IndexNode) + kIndexAlign);
  auto* keys = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(levels) * f.size));
  if (memory && keys) {
    const auto at =
        (reinterpret_cast<std::uintptr_t>(memory) + kIndexAlign - 1) & ~(kIndexAlign - 1);
    IndexBuilder builder{st, Items{&o}, f, reinterpret_cast<IndexNode*>(at), levels, keys};
    builder.Fill(1, 0, o.size, 0, nullptr, nullptr);
    if (!builder.damaged) {
      o.indexMemory = memory;
      o.searchIndex = builder.nodes;
      o.indexLevels = levels;
      memory = nullptr;
    }
  }
  std::free(memory);
  std::free(keys);
  o.searchesUnchanged = 0;
}

// The steps of a search that the index covers, from the whole order down: narrows [lo, hi) as the
// halving search would and notes, like it, whether the last step that moved hi found an equal key.
template <bool kUpper>
void IndexSteps(const QueueState& st, const Order& o, Items items, Comparer& cmp,
                const std::uint8_t* probe, std::size_t& lo, std::size_t& hi, bool& hiEqual) {
  const KeyField& f = cmp.key->fields[0];
  const IndexNode* const nodes = o.searchIndex;
  const std::size_t end = std::size_t{1} << o.indexLevels;
  const std::size_t width = std::min<std::size_t>(kIndexBytes, f.size);
  const std::uint8_t* const key = probe + f.offset;
  std::size_t k = 1;
  for (int depth = 0; depth < o.indexLevels; ++depth) {
    if (4 * k < end) __builtin_prefetch(nodes + 4 * k);  // the steps after next: one line
    const std::size_t mid = lo + (hi - lo) / 2;
    const IndexNode& node = nodes[k];
    int c = CompareBytes(node.bytes, key + node.from, width);
    if (c == 0) c = CompareEntryField(st, items.At(mid), f, probe, &cmp.damaged);
    if (f.descending) c = -c;
    if (kUpper ? c <= 0 : c < 0) {
      lo = mid + 1;
      k = 2 * k + 1;
    } else {
      hi = mid;
      hiEqual = c == 0;
      k = 2 * k;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Searches

// A key of one text (or byte-image) field searched for the buffer, the usual search, is compared
// in line. Sets *equal, when asked, to whether the entry at the result has the probe's key: the
// last step that moved the upper end to it compared the two.
template <bool kUpper>
std::size_t BoundOneField(const QueueState& st, Items items, Comparer& cmp,
                          const std::uint8_t* probe, bool* equal) {
  const KeyField& f = cmp.key->fields[0];
  std::size_t lo = 0, hi = items.Size();
  bool hiEqual = false;
  const Order& o = *items.order;
  if (IndexServes(o, items, f)) {
    const int levels = IndexLevelsFor(o.size);
    // Building reads one entry per step of the index; it waits until as many searches as half
    // its steps have run on the unchanged order, so orders that change between searches never
    // pay for it.
    if (!o.searchIndex && levels >= kMinIndexLevels &&
        ++o.searchesUnchanged >= (std::size_t{1} << (levels - 1))) {
      BuildIndex(st, o, f, levels);
    }
    if (o.searchIndex) IndexSteps<kUpper>(st, o, items, cmp, probe, lo, hi, hiEqual);
  }
  NearFetch near;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    near.Step(items, lo, hi);
    PrefetchNextSteps(items, lo, mid, hi, near.references);
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
    near.Step(items, lo, hi);
    PrefetchNextSteps(items, lo, mid, hi, near.references);
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
