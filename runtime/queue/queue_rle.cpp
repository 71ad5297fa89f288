#include "runtime/queue/queue_rle.h"

#include <bit>
#include <cstring>

namespace vantrel::rle {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the word-wide run scan reads bytes in little-endian order");

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Flags the zero bytes of v; the lowest flag is exact (higher ones may be false after a borrow).
inline std::uint64_t ZeroBytes(std::uint64_t v) { return (v - kOnes) & ~v & kHighs; }

// End of the run of bytes equal to src[start].
std::size_t RunEnd(const std::uint8_t* src, std::size_t start, std::size_t size) {
  const std::uint8_t b = src[start];
  const std::uint64_t pattern = kOnes * b;
  std::size_t i = start + 1;
  while (i + 8 <= size) {
    const std::uint64_t diff = Load64(src + i) ^ pattern;
    if (diff) return i + (static_cast<std::size_t>(std::countr_zero(diff)) >> 3);
    i += 8;
  }
  while (i < size && src[i] == b) ++i;
  return i;
}

// Start of the first run at or after `from` that becomes a repeat item: four equal bytes, or three
// that end the record. `from` never lies inside a run that began earlier (it is 0 or the end of a
// maximal run), so the first start found is the start of its run. Returns `size` when none.
std::size_t NextRepeatStart(const std::uint8_t* src, std::size_t from, std::size_t size) {
  std::size_t i = from;
  // Eight bytes at a time: byte k of `x` is zero where src[i+k] == src[i+k+1]; byte k of `y` is
  // zero where four equal bytes start at i+k. Bytes 0..4 of `y` are exact, the rest are masked off.
  while (i + 8 <= size) {
    const std::uint64_t w = Load64(src + i);
    const std::uint64_t x = w ^ (w >> 8);
    const std::uint64_t y = x | (x >> 8) | (x >> 16) | 0xFFFFFF0000000000ull;
    const std::uint64_t z = ZeroBytes(y);
    if (z) return i + (static_cast<std::size_t>(std::countr_zero(z)) >> 3);
    i += 5;
  }
  for (; i + 3 <= size; ++i) {
    if (src[i] != src[i + 1] || src[i] != src[i + 2]) continue;
    if (i + 3 == size || src[i + 3] == src[i]) return i;
  }
  return size;
}

inline std::size_t HeaderLength(std::uint32_t count) {
  if (count < 64) return 1;
  if (count < 8192) return 2;
  if (count < 65536) return 3;
  return 5;
}

}  // namespace

std::size_t WriteCountHeader(std::uint8_t* dst, bool literal, std::uint32_t count) {
  const std::uint8_t kind = literal ? 0x80 : 0x00;
  if (count < 64) {
    dst[0] = static_cast<std::uint8_t>(kind | count);
    return 1;
  }
  if (count < 8192) {
    dst[0] = static_cast<std::uint8_t>(kind | 0x40 | (count >> 8));
    dst[1] = static_cast<std::uint8_t>(count & 0xFF);
    return 2;
  }
  if (count < 65536) {
    dst[0] = static_cast<std::uint8_t>(kind | 0x7F);
    dst[1] = static_cast<std::uint8_t>(count & 0xFF);
    dst[2] = static_cast<std::uint8_t>(count >> 8);
    return 3;
  }
  dst[0] = static_cast<std::uint8_t>(kind | 0x70);
  for (int k = 0; k < 4; ++k) dst[1 + k] = static_cast<std::uint8_t>(count >> (8 * k));
  return 5;
}

std::size_t Encode(const std::uint8_t* src, std::size_t size, std::uint8_t* dst,
                   std::size_t capacity) {
  std::size_t out = 0;
  std::size_t literalStart = 0;
  std::size_t i = 0;
  auto putLiteral = [&](std::size_t from, std::size_t to) {
    const std::uint32_t count = static_cast<std::uint32_t>(to - from);
    if (HeaderLength(count) + count > capacity - out) return false;
    out += WriteCountHeader(dst + out, true, count);
    std::memcpy(dst + out, src + from, count);
    out += count;
    return true;
  };
  while (i < size) {
    const std::size_t start = NextRepeatStart(src, i, size);
    if (start >= size) break;
    const std::size_t end = RunEnd(src, start, size);
    if (start > literalStart && !putLiteral(literalStart, start)) return kNoFit;
    const std::uint32_t count = static_cast<std::uint32_t>(end - start);
    if (HeaderLength(count) + 1 > capacity - out) return kNoFit;
    out += WriteCountHeader(dst + out, false, count);
    dst[out++] = src[start];
    i = literalStart = end;
  }
  if (literalStart < size && !putLiteral(literalStart, size)) return kNoFit;
  return out;
}

namespace {

// One pass for both Validate and Decode: `dst` null only checks.
bool Walk(const std::uint8_t* encoded, std::size_t length, std::uint8_t* dst, std::size_t size) {
  std::size_t p = 0;
  std::size_t out = 0;
  while (p < length) {
    bool literal;
    std::uint32_t count;
    const std::size_t h = ReadCountHeader(encoded + p, length - p, &literal, &count);
    if (h == 0 || count == 0 || count > size - out) return false;
    p += h;
    if (literal) {
      if (count > length - p) return false;
      if (dst) std::memcpy(dst + out, encoded + p, count);
      p += count;
    } else {
      if (p >= length) return false;
      if (dst) std::memset(dst + out, encoded[p], count);
      ++p;
    }
    out += count;
  }
  return out == size;
}

}  // namespace

bool Validate(const std::uint8_t* encoded, std::size_t length, std::size_t size) {
  return Walk(encoded, length, nullptr, size);
}

bool Decode(const std::uint8_t* encoded, std::size_t length, std::uint8_t* dst, std::size_t size) {
  return Walk(encoded, length, dst, size);
}

}  // namespace vantrel::rle
