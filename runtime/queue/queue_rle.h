// Run-length encoding of fixed-layout records, as the queue engine stores large entries.
//
// An encoded record is a sequence of items. Each item is a count header followed by its data: a
// literal item (kind bit 0x80) carries `count` bytes, a repeat item (kind bit 0x00) carries the one
// byte to repeat `count` times. Count headers:
//
//   1 .. 63          one byte:    kind | count
//   64 .. 8191       two bytes:   kind | 0x40 | (count >> 8), count & 0xFF
//   8192 .. 65535    three bytes: kind | 0x7F, count as 16-bit little-endian
//   above 65535      five bytes:  kind | 0x70, count as 32-bit little-endian
//
// Runs of 4 or more equal bytes (3 or more at the very end of the record) become repeat items;
// everything between them is written as one literal item. The encoding of a record is therefore
// unique, so equal records always have equal images.
//
// Both directions run at memory speed: runs are found and skipped eight bytes at a time, literal
// stretches are copied whole and repeats are filled with memset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel::rle {

inline constexpr std::size_t kNoFit = static_cast<std::size_t>(-1);

// Encodes src[0..size) into dst, which holds `capacity` bytes. Returns the encoded length, or
// kNoFit as soon as the encoding would exceed `capacity` (the caller then stores the record plain).
std::size_t Encode(const std::uint8_t* src, std::size_t size, std::uint8_t* dst,
                   std::size_t capacity);

// Writes the count header of one item (literal or repeat) into dst (room for 5 bytes) and returns
// its length. `count` must be at least 1.
std::size_t WriteCountHeader(std::uint8_t* dst, bool literal, std::uint32_t count);

// Checks that encoded[0..length) decodes to exactly `size` bytes: every header and every item's
// data lies inside the encoded data, no item runs past `size`, no item is empty, and the items
// fill the record completely.
bool Validate(const std::uint8_t* encoded, std::size_t length, std::size_t size);

// Decodes encoded[0..length) into dst[0..size). Returns false, with dst possibly partly written,
// when Validate would refuse the data; callers that must keep dst intact validate first.
bool Decode(const std::uint8_t* encoded, std::size_t length, std::uint8_t* dst, std::size_t size);

// Reads one count header at encoded[0..length). On success stores the item kind and count and
// returns the header length; returns 0 when the header runs past the data. Inline: every walk over
// encoded data calls it once per item.
inline std::size_t ReadCountHeader(const std::uint8_t* encoded, std::size_t length, bool* literal,
                                   std::uint32_t* count) {
  if (length == 0) return 0;
  const std::uint8_t h = encoded[0];
  *literal = (h & 0x80) != 0;
  if (!(h & 0x40)) {
    *count = h & 0x3Fu;
    return 1;
  }
  const std::uint32_t form = h & 0x3Fu;
  if (form < 0x30) {
    if (length < 2) return 0;
    *count = (form << 8) | encoded[1];
    return 2;
  }
  if (form == 0x30) {
    if (length < 5) return 0;
    *count = static_cast<std::uint32_t>(encoded[1]) |
             (static_cast<std::uint32_t>(encoded[2]) << 8) |
             (static_cast<std::uint32_t>(encoded[3]) << 16) |
             (static_cast<std::uint32_t>(encoded[4]) << 24);
    return 5;
  }
  if (length < 3) return 0;
  *count = static_cast<std::uint32_t>(encoded[1]) | (static_cast<std::uint32_t>(encoded[2]) << 8);
  return 3;
}

inline constexpr std::size_t kWideSlack = 32;

// Moves of whole 32-byte steps for DecodeWide: the first step needs no loop, which is most items
// of a blank-padded record.
inline void CopyWide(std::uint8_t* d, const std::uint8_t* p, std::uint32_t count) {
#if defined(__SSE2__)
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
  for (std::uint32_t i = 32; i < count; i += 32) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
  }
#else
  for (std::uint32_t i = 0; i < count; i += 32) std::memcpy(d + i, p + i, 32);
#endif
}

inline void FillWide(std::uint8_t* d, std::uint8_t b, std::uint32_t count) {
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi8(static_cast<char>(b));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), v);
  for (std::uint32_t i = 32; i < count; i += 32) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), v);
  }
#else
  std::memset(d, b, (count + 31) & ~31u);
#endif
}

// Decodes like Decode, but copies and fills in 32-byte steps: it may write up to kWideSlack bytes
// past dst[size) and read up to kWideSlack bytes past encoded[length). For callers that keep that
// slack on both sides (the queue engine's arena and scratch records). Inline and lean, since every
// positional read of a large entry runs it: per item one header, one combined range check and
// whole 32-byte moves, so a blank-padded record of a dozen items decodes in a few hundred
// instructions and without calls.
inline bool DecodeWide(const std::uint8_t* encoded, std::size_t length, std::uint8_t* dst,
                       std::size_t size) {
  const std::uint8_t* p = encoded;
  const std::uint8_t* const end = encoded + length;
  std::uint8_t* d = dst;
  std::uint8_t* const stop = dst + size;
  while (p < end) {
    const std::uint8_t h = *p;
    std::uint32_t count;
    if (!(h & 0x40)) {  // the one-byte header of most items
      count = h & 0x3Fu;
      ++p;
    } else {
      bool literal;
      const std::size_t n = ReadCountHeader(p, static_cast<std::size_t>(end - p), &literal, &count);
      if (n == 0) return false;
      p += n;
    }
    // An empty item, or one that runs past the record (count - 1 wraps for an empty one).
    if (std::size_t{count} - 1 >= static_cast<std::size_t>(stop - d)) return false;
    if (h & 0x80) {
      if (count > static_cast<std::size_t>(end - p)) return false;
      CopyWide(d, p, count);
      p += count;
    } else {
      if (p >= end) return false;
      FillWide(d, *p++, count);
    }
    d += count;
  }
  return d == stop;
}

}  // namespace vantrel::rle
