// Comparing stored entries by a compiled key, where they lie: a cursor walks the items that cover
// a key field, so a search or a sort never decodes a whole record. Searches by one text field (the
// usual case) run a leaner comparison in line. All in line here: sorting and searching call these
// once per step. Inside the engine only (runtime/queue*.cpp).
//
// Ordering of field types inside a key:
//   String         bytes compared as unsigned characters. Both sides have the field's width, so
//                  this is exactly the blank-padded comparison of FixedText (trailing blanks carry
//                  no weight) and it stays case-sensitive.
//   Long, Short    signed little-endian integers, compared numerically.
//   Byte           unsigned 8-bit, compared numerically (the same as its byte).
//   Group, arrays  the field's whole byte image, compared as unsigned bytes.
//   Descending fields reverse the result. Without a key (an empty key list) records compare as
//   their whole byte images.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/queue/queue_internal.h"
#include "runtime/queue/queue_rle.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel::queue_detail {

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
inline std::size_t MismatchFill(const std::uint8_t* p, std::size_t n, std::uint8_t fill) {
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

inline int CompareRange(Cursor& a, Cursor& b, std::uint32_t offset, std::uint32_t size) {
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

inline void ReadRange(Cursor& c, std::uint32_t offset, std::uint32_t size, std::uint8_t* out) {
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

inline int CompareNumbers(KeyKind kind, const std::uint8_t* a, const std::uint8_t* b) {
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
    const unsigned differ =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFFu;
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

// Halving searches over an order for the probe record (usually the buffer), in queue_search.cpp.
// LowerBound: the first index whose entry is not below the probe; `equal`, when given, is set to
// whether the entry there has the probe's key.
// UpperBound: the index just after the last entry at or below the probe (the insertion place).
std::size_t LowerBound(const QueueState& st, Items items, Comparer& cmp, View probe,
                       bool* equal = nullptr);
std::size_t UpperBound(const QueueState& st, Items items, Comparer& cmp, View probe);

// Where entry `e`, whose contents are `contents`, stands in a held order; kNone when absent.
std::size_t Locate(const QueueState& st, const Order& o, Entry e, View contents);

// Where a new entry (the buffer) goes in a held order other than the current one.
std::size_t PlaceInOther(const QueueState& st, const Order& o, bool* damaged);

}  // namespace vantrel::queue_detail
