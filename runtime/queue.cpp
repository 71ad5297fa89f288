// The queue engine.
//
// Storage: entries live in a per-queue arena (blocks that grow from 4 KiB to 1 MiB, with a free
// list per 4-byte size class), so a million small entries cost neither a million mallocs nor their
// per-block overhead. Records of 128 bytes or more are kept run-length encoded behind a 4-byte
// header (0 = the plain record follows, else the encoded length). Orders are plain arrays of entry
// pointers, so positional access is one index.
//
// Key comparison compares encoded entries where they lie: a cursor walks the items that cover a
// key field, so a search or a sort never decodes a whole record. Searches by one text field (the
// usual case) run a leaner comparison in line. A search over a large queue waits on memory, so it
// fetches ahead, and the big tables it jumps around in (an order's references, the entries laid
// out after a sort) ask the system for huge pages.
//
// Ordering of field types inside a key:
//   String         bytes compared as unsigned characters. Both sides have the field's width, so
//                  this is exactly the blank-padded comparison of FixedText (trailing blanks carry
//                  no weight) and it stays case-sensitive.
//   Long, Short    signed little-endian integers, compared numerically.
//   Byte           unsigned 8-bit, compared numerically (the same as its byte).
//   Group, arrays  the field's whole byte image, compared as unsigned bytes.
//   Descending fields reverse the result. Without a key (an empty key list) records compare as their
//   whole byte images.
//
// Failure rules: each operation first checks everything that can fail (allocation, damaged entries,
// positions) and only then changes the queue, so a failed operation leaves entries, orders, buffer
// and change counter as they were. A stored entry that no longer decodes (damaged memory) is
// refused with error 7 "Memory Corrupted"; the entry and the buffer are left alone.
#include "runtime/queue.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/error_codes.h"
#include "runtime/error_state.h"
#include "runtime/local_time.h"
#include "runtime/queue_testing.h"
#include "runtime/queue_rle.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantrel {
namespace {

constexpr int kMaxKeyFields = 16;
constexpr int kMaxOrders = 16;
constexpr std::uint32_t kEncodeFrom = 128;  // records this large or larger are stored encoded

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

using Entry = std::uint8_t*;

// Large tables that searches and random reads jump around in (an order's references, the entries
// laid out after a sort) ask for huge pages where the system offers them: with small pages a search
// over a million entries misses the address translation cache at nearly every step, for the
// reference and again for the entry. Only whole huge pages inside the block are affected, and only
// memory not yet touched; where the system declines nothing changes.
void PreferHugePages(void* p, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (bytes < 2 * kHugePage) return;
  const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

// ---------------------------------------------------------------------------------------------
// Entry arena

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

  Entry Allocate(std::size_t size) {
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

  void Release(Entry p, std::size_t size) {
    const std::size_t r = Rounded(size);
    inUse_ -= r;
    if (r > kLargeEntry) {
      largeBytes_ -= r;
      std::free(p);
      return;
    }
    PushFree(p, r);
  }

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

  void Clear() {
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
  bool NewBlock(std::size_t need) {
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

  void PushFree(Entry p, std::size_t r) {
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

  Entry blocks_ = nullptr;
  Entry next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t blockBytes_ = 0;
  std::size_t largeBytes_ = 0;
  std::size_t nextBlock_ = kFirstBlock;
  std::size_t inUse_ = 0;
  std::vector<Entry> free_;
};

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
    if (f->elements == 1 && f->type == FieldType::Short && f->size == 2) kf.kind = KeyKind::Signed16;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Orders

constexpr std::size_t kLargeOrder = 65536;  // references

struct Order {
  Entry* items = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;
  bool keyed = false;
  KeyList list;
  CompiledKey compiledKey;

  Order() = default;
  Order(const Order&) = delete;
  Order& operator=(const Order&) = delete;
  ~Order() { std::free(items); }

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
    std::memmove(items + index + 1, items + index, (size - index) * sizeof(Entry));
    items[index] = e;
    ++size;
  }
  void RemoveAt(std::size_t index) {
    std::memmove(items + index, items + index + 1, (size - index - 1) * sizeof(Entry));
    --size;
  }
  void Unkey() {
    keyed = false;
    list = KeyList{};
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Queue state

struct QueueState {
  const RecordLayout* layout = nullptr;
  std::uint8_t* buffer = nullptr;
  std::uint32_t recordSize = 0;
  bool encoded = false;
  Order* orders[kMaxOrders] = {};  // most recently used first
  int orderCount = 0;
  Order* current = nullptr;
  bool keyActive = false;
  std::uint32_t changes = 0;
  Entry currentEntry = nullptr;  // the current entry, shared by all orders
  std::size_t currentHint = 0;   // where it stood in the current order when last known
  Entry fetchedAhead = nullptr;  // the entry a walk by position asked the memory for last
  EntryArena arena;
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
    if (EntryArena::IsLarge(encoded ? recordSize + 4 : recordSize) && current) {
      for (std::size_t i = 0; i < current->size; ++i) {
        Entry e = current->items[i];
        if (EntryArena::IsLarge(EntrySize(e))) ReleaseEntry(e);
      }
    }
    arena.Clear();
  }

  // A damaged image no longer tells its true size: rather than hand the wrong amount back to the
  // arena (which would later overlap a neighbour), its memory stays unused until the arena is
  // cleared.
  void ReleaseEntry(Entry e) {
    std::uint32_t header = 0;
    if (encoded) std::memcpy(&header, e, 4);
    if (header != 0 && !rle::Validate(e + 4, header, recordSize)) return;
    arena.Release(e, EntrySize(e));
  }

  int IndexOf(const Order* o) const {
    for (int i = 0; i < orderCount; ++i) {
      if (orders[i] == o) return i;
    }
    return -1;
  }
  void MoveToFront(Order* o) {
    const int i = IndexOf(o);
    std::rotate(orders, orders + i, orders + i + 1);
  }
  void Discard(Order* o) {
    const int i = IndexOf(o);
    delete o;
    std::copy(orders + i + 1, orders + orderCount, orders + i);
    orders[--orderCount] = nullptr;
  }
};

namespace {

std::uint32_t SeedChanges() {
  const auto hundredths = static_cast<std::uint32_t>(ClockHundredths() + 1);
  return hundredths * 25781083u;  // wraps at 32 bits
}

// ---------------------------------------------------------------------------------------------
// Reading entries

struct View {
  const std::uint8_t* data;
  std::size_t length;
  bool plain;
};

View ViewOf(const QueueState& st, const std::uint8_t* e) {
  if (!st.encoded) return View{e, st.recordSize, true};
  std::uint32_t header;
  std::memcpy(&header, e, 4);
  if (header == 0) return View{e + 4, st.recordSize, true};
  return View{e + 4, header, false};
}

// Walks the items of a stored record that cover a range of record offsets. A plain record is one
// literal item. Damaged data stops the walk: the cursor then reads zeros and says so.
struct Cursor {
  View view;
  std::uint32_t recordSize;
  std::size_t next = 0;                   // offset of the next item header in the data
  std::uint32_t start = 0, end = 0;       // record offsets the current item covers
  const std::uint8_t* literal = nullptr;  // the current item's bytes, or null for a repeat
  std::uint8_t fill = 0;                  // the repeated byte
  bool damaged = false;

  Cursor(View v, std::uint32_t size) : view(v), recordSize(size) { Reset(); }

  void Reset() {
    next = 0;
    start = 0;
    if (view.plain) {
      end = recordSize;
      literal = view.data;
    } else {
      end = 0;
      literal = nullptr;
    }
  }
  void Fail() {
    damaged = true;
    literal = nullptr;
    fill = 0;
    end = recordSize;
  }
  void Advance() {
    if (damaged) return Fail();
    start = end;
    bool isLiteral;
    std::uint32_t count;
    const std::size_t h =
        rle::ReadCountHeader(view.data + next, view.length - next, &isLiteral, &count);
    if (h == 0 || count == 0 || count > recordSize - start) return Fail();
    next += h;
    if (isLiteral) {
      if (count > view.length - next) return Fail();
      literal = view.data + next;
      next += count;
    } else {
      if (next >= view.length) return Fail();
      literal = nullptr;
      fill = view.data[next++];
    }
    end = start + count;
  }
  void Seek(std::uint32_t offset) {
    if (offset < start) Reset();
    while (offset >= end) Advance();
  }
};

// Index of the first byte of p[0..n) that differs from `fill`, or n.
std::size_t MismatchFill(const std::uint8_t* p, std::size_t n, std::uint8_t fill) {
  const std::uint64_t pattern = 0x0101010101010101ull * fill;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w != pattern) break;
  }
  while (i < n && p[i] == fill) ++i;
  return i;
}

int CompareRange(Cursor& a, Cursor& b, std::uint32_t offset, std::uint32_t size) {
  if (size == 0) return 0;
  a.Seek(offset);
  b.Seek(offset);
  std::uint32_t pos = offset;
  const std::uint32_t stop = offset + size;
  for (;;) {
    const std::uint32_t k = std::min({a.end, b.end, stop}) - pos;
    const std::uint8_t* pa = a.literal ? a.literal + (pos - a.start) : nullptr;
    const std::uint8_t* pb = b.literal ? b.literal + (pos - b.start) : nullptr;
    if (pa && pb) {
      if (const int c = std::memcmp(pa, pb, k)) return c;
    } else if (pa) {
      const std::size_t m = MismatchFill(pa, k, b.fill);
      if (m < k) return pa[m] < b.fill ? -1 : 1;
    } else if (pb) {
      const std::size_t m = MismatchFill(pb, k, a.fill);
      if (m < k) return a.fill < pb[m] ? -1 : 1;
    } else if (a.fill != b.fill) {
      return a.fill < b.fill ? -1 : 1;
    }
    pos += k;
    if (pos >= stop) return 0;
    if (pos >= a.end) a.Advance();
    if (pos >= b.end) b.Advance();
  }
}

void ReadRange(Cursor& c, std::uint32_t offset, std::uint32_t size, std::uint8_t* out) {
  c.Seek(offset);
  std::uint32_t pos = offset;
  const std::uint32_t stop = offset + size;
  while (pos < stop) {
    const std::uint32_t k = std::min(c.end, stop) - pos;
    if (c.literal) {
      std::memcpy(out + (pos - offset), c.literal + (pos - c.start), k);
    } else {
      std::memset(out + (pos - offset), c.fill, k);
    }
    pos += k;
    if (pos < stop) c.Advance();
  }
}

inline int Sign(int c) { return (c > 0) - (c < 0); }

int CompareNumbers(KeyKind kind, const std::uint8_t* a, const std::uint8_t* b) {
  if (kind == KeyKind::Signed32) {
    std::int32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return (x > y) - (x < y);
  }
  std::int16_t x, y;
  std::memcpy(&x, a, 2);
  std::memcpy(&y, b, 2);
  return (x > y) - (x < y);
}

// Compares a[0..n) with b[0..n) as unsigned bytes: the sign of memcmp, in line and sixteen bytes at
// a time (a search makes one such comparison per step, mostly over a few dozen bytes).
inline int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFFu;
    if (differ) {
      const std::size_t k = i + static_cast<std::size_t>(__builtin_ctz(differ));
      return a[k] < b[k] ? -1 : 1;
    }
  }
#endif
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// Compares bytes [offset, offset + size) of an encoded record with the same bytes of a plain one,
// walking the items in place: <0, 0 or >0. The common case in searches: the probe is the plain
// buffer.
inline int CompareEncodedWithPlain(View enc, const std::uint8_t* plain, std::uint32_t offset,
                                   std::uint32_t size, std::uint32_t recordSize, bool* damaged) {
  const std::uint8_t* p = enc.data;
  const std::uint8_t* const end = enc.data + enc.length;
  std::uint32_t pos = 0;
  const std::uint32_t stop = offset + size;
  while (pos < stop) {
    bool literal;
    std::uint32_t count;
    std::size_t h;
    if (p < end && !(*p & 0x40)) {  // the one-byte count header of most items
      literal = (*p & 0x80) != 0;
      count = *p & 0x3Fu;
      h = 1;
    } else {
      h = rle::ReadCountHeader(p, static_cast<std::size_t>(end - p), &literal, &count);
    }
    if (h == 0 || count == 0 || count > recordSize - pos) break;
    p += h;
    const std::size_t dataLength = literal ? count : 1;
    if (dataLength > static_cast<std::size_t>(end - p)) break;
    const std::uint32_t itemEnd = pos + count;
    if (itemEnd > offset) {
      const std::uint32_t from = std::max(pos, offset);
      const std::uint32_t k = std::min(itemEnd, stop) - from;
      if (literal) {
        if (const int c = CompareBytes(p + (from - pos), plain + from, k)) return c;
      } else {
        const std::size_t m = MismatchFill(plain + from, k, *p);
        if (m < k) return *p < plain[from + m] ? -1 : 1;
      }
    }
    p += dataLength;
    pos = itemEnd;
  }
  if (pos < stop) *damaged = true;
  return 0;
}

// A search's usual comparison: a stored entry against the plain buffer on one text or byte-image
// field. The sign of (entry - probe) on that field; damaged data sets *damaged and compares as
// equal.
inline int CompareEntryField(const QueueState& st, Entry e, const KeyField& f,
                             const std::uint8_t* probe, bool* damaged) {
  if (!st.encoded) return CompareBytes(e + f.offset, probe + f.offset, f.size);
  std::uint32_t header;
  std::memcpy(&header, e, 4);
  if (header == 0) return CompareBytes(e + 4 + f.offset, probe + f.offset, f.size);
  return CompareEncodedWithPlain(View{e + 4, header, false}, probe, f.offset, f.size, st.recordSize,
                                 damaged);
}

// Compares stored records by a key. Damage found on the way is remembered in `damaged`; the
// comparison then goes on with zeros so that a search or sort still ends, and the caller refuses
// the result.
struct Comparer {
  const CompiledKey* key;
  std::uint32_t recordSize;
  bool damaged = false;

  int operator()(View a, View b) {
    if (a.plain && b.plain) {
      for (int i = 0; i < key->count; ++i) {
        const KeyField& f = key->fields[i];
        int c = f.kind == KeyKind::Bytes
                    ? Sign(std::memcmp(a.data + f.offset, b.data + f.offset, f.size))
                    : CompareNumbers(f.kind, a.data + f.offset, b.data + f.offset);
        if (c) return f.descending ? -c : c;
      }
      return 0;
    }
    if (a.plain != b.plain) {
      const bool encodedFirst = b.plain;
      const View enc = encodedFirst ? a : b;
      const std::uint8_t* plain = encodedFirst ? b.data : a.data;
      for (int i = 0; i < key->count; ++i) {
        const KeyField& f = key->fields[i];
        if (f.kind != KeyKind::Bytes) return CompareMixed(a, b, i);
        int c = Sign(CompareEncodedWithPlain(enc, plain, f.offset, f.size, recordSize, &damaged));
        if (!encodedFirst) c = -c;
        if (c) return f.descending ? -c : c;
      }
      return 0;
    }
    return CompareMixed(a, b, 0);
  }

  // The general walk, from key field `first` on.
  int CompareMixed(View a, View b, int first) {
    Cursor ca(a, recordSize), cb(b, recordSize);
    int result = 0;
    for (int i = first; i < key->count && result == 0; ++i) {
      const KeyField& f = key->fields[i];
      int c;
      if (f.kind == KeyKind::Bytes) {
        c = Sign(CompareRange(ca, cb, f.offset, f.size));
      } else {
        std::uint8_t x[4], y[4];
        ReadRange(ca, f.offset, f.size, x);
        ReadRange(cb, f.offset, f.size, y);
        c = CompareNumbers(f.kind, x, y);
      }
      result = f.descending ? -c : c;
    }
    if (ca.damaged || cb.damaged) damaged = true;
    return result;
  }
};

// The order's items seen without one index (the entry being moved), or all of them.
struct Items {
  const Order* order;
  std::size_t skip = kNone;
  std::size_t Size() const { return order->size - (skip == kNone ? 0 : 1); }
  Entry At(std::size_t i) const { return *Slot(i); }
  const Entry* Slot(std::size_t i) const {
    return order->items + (skip != kNone && i >= skip ? i + 1 : i);
  }
};

// Halving searches over an order for the probe record (usually the buffer).
// LowerBound: the first index whose entry is not below the probe.
// UpperBound: the index just after the last entry at or below the probe (the insertion place).
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

// `equal`, when given, is set to whether the entry at the result has the probe's key.
std::size_t LowerBound(const QueueState& st, Items items, Comparer& cmp, View probe,
                       bool* equal = nullptr) {
  return Bound<false>(st, items, cmp, probe, equal);
}
std::size_t UpperBound(const QueueState& st, Items items, Comparer& cmp, View probe) {
  return Bound<true>(st, items, cmp, probe, nullptr);
}

// Where entry `e`, whose contents are `contents`, stands in a held order; kNone when absent. A key
// order is searched by halving first; the scan behind it also finds entries that a damaged
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

// ---------------------------------------------------------------------------------------------
// Sorting

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
std::int32_t SortInto(const QueueState& st, const CompiledKey& compiledKey, const Order& source, Entry* out) {
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

// ---------------------------------------------------------------------------------------------
// Operations

QueueState* Begin(Queue* queue);

View BufferView(const QueueState& st) { return View{st.buffer, st.recordSize, true}; }

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

// Asks for the cache lines an entry may span, without waiting for them. (Prefetching past an
// entry's end is harmless; reading its header here to know its length would wait for it.)
void PrefetchEntry(const QueueState& st, Entry e) {
  const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(e);
  const std::uintptr_t to = from + std::min<std::size_t>(std::size_t{st.recordSize} + 4, 192);
  for (std::uintptr_t line = from & ~std::uintptr_t{63}; line < to; line += 64) {
    __builtin_prefetch(reinterpret_cast<const void*>(line), 0, 0);
  }
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

// Where a new entry (the buffer) goes in a held order other than the current one.
std::size_t PlaceInOther(const QueueState& st, const Order& o, bool* damaged) {
  if (!o.keyed) return o.size;
  Comparer cmp{&o.compiledKey, st.recordSize};
  const std::size_t at = UpperBound(st, Items{&o}, cmp, BufferView(st));
  if (cmp.damaged) *damaged = true;
  return at;
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
  Entry e = st->current->items[index];
  // A walk by position (each read one past the last) reads the next entry soon; reads that jump
  // around would only spend memory bandwidth on fetching it.
  const bool walking = st->currentEntry && index == st->currentHint + 1;
  // An entry spans a few cache lines; unless the last read fetched it already, ask for all of
  // them before the header is read, so that it arrives in one wait instead of one wait per line.
  if (e != st->fetchedAhead) PrefetchEntry(*st, e);
  if (!LoadEntry(*st, e)) {
    SetRuntimeError(error_code::kMemoryCorrupted);
    return;
  }
  st->currentEntry = e;
  st->currentHint = index;
  st->fetchedAhead = nullptr;
  if (walking && index + 1 < st->current->size) {
    st->fetchedAhead = st->current->items[index + 1];
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
    if (const std::int32_t err = MakeKeyOrder(*st, list, compiledKey, true)) return SetRuntimeError(err);
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
      o.items[index] = e;
      continue;
    }
    if (moves[i].to == kNone) {
      o.items[moves[i].from] = e;
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
  if (const std::int32_t err = MakeKeyOrder(*st, list, compiledKey, false)) return SetRuntimeError(err);
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
  for (int i = 0; i < st->orderCount; ++i) use.orderBytes += st->orders[i]->capacity * sizeof(Entry);
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
      out.push_back(QueueOrderInfo{
          o.keyed, std::vector<int>(o.list.numbers, o.list.numbers + o.list.count),
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
