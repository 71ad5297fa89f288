#include "runtime/queue/queue_rle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vantrel::rle {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encoded(const Bytes& record, std::size_t capacity = 1 << 20) {
  Bytes out(capacity);
  const std::size_t n = Encode(record.data(), record.size(), out.data(), capacity);
  if (n == kNoFit) return {};
  out.resize(n);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Fill(std::size_t n, std::uint8_t b) { return Bytes(n, b); }
// n bytes in which no two neighbours are equal.
Bytes Distinct(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>('a' + i % 3);
  return out;
}

// The same algorithm, byte by byte, as the reference for the word-wide encoder.
Bytes ReferenceEncode(const Bytes& r) {
  Bytes out;
  auto header = [&](bool literal, std::uint32_t count) {
    std::uint8_t h[5];
    const std::size_t n = WriteCountHeader(h, literal, count);
    out.insert(out.end(), h, h + n);
  };
  std::size_t lit = 0, i = 0;
  while (i < r.size()) {
    std::size_t j = i;
    while (j < r.size() && r[j] == r[i]) ++j;
    const std::size_t run = j - i;
    if (run >= 4 || (run >= 3 && j == r.size())) {
      if (i > lit) {
        header(true, static_cast<std::uint32_t>(i - lit));
        out.insert(out.end(), r.begin() + static_cast<std::ptrdiff_t>(lit),
                   r.begin() + static_cast<std::ptrdiff_t>(i));
      }
      header(false, static_cast<std::uint32_t>(run));
      out.push_back(r[i]);
      lit = j;
    }
    i = j;
  }
  if (lit < r.size()) {
    header(true, static_cast<std::uint32_t>(r.size() - lit));
    out.insert(out.end(), r.begin() + static_cast<std::ptrdiff_t>(lit), r.end());
  }
  return out;
}

TEST(QueueRle, CountHeadersTakeTheDocumentedForms) {
  struct Case {
    bool literal;
    std::uint32_t count;
    Bytes header;
  };
  const Case cases[] = {
      {true, 1, {0x81}},
      {false, 63, {0x3F}},
      {true, 64, {0xC0, 0x40}},
      {false, 300, {0x41, 0x2C}},
      {true, 8191, {0xDF, 0xFF}},
      {false, 8192, {0x7F, 0x00, 0x20}},
      {true, 65535, {0xFF, 0xFF, 0xFF}},
      {false, 65536, {0x70, 0x00, 0x00, 0x01, 0x00}},
      {true, 0x12345678, {0xF0, 0x78, 0x56, 0x34, 0x12}},
  };
  for (const Case& c : cases) {
    std::uint8_t h[5];
    const std::size_t n = WriteCountHeader(h, c.literal, c.count);
    EXPECT_EQ(Bytes(h, h + n), c.header) << c.count;
    bool literal;
    std::uint32_t count;
    EXPECT_EQ(ReadCountHeader(h, n, &literal, &count), n);
    EXPECT_EQ(literal, c.literal);
    EXPECT_EQ(count, c.count);
  }
}

TEST(QueueRle, EncodesRecordsByteExactly) {
  struct Case {
    const char* what;
    Bytes record;
    Bytes encoded;
  };
  const Case cases[] = {
      {"literal then a run of blanks",
       Concat({{'A', 'B', 'C'}, Fill(5, ' ')}),
       {0x83, 'A', 'B', 'C', 0x05, ' '}},
      {"three equal bytes inside stay literal",
       Concat({{'x', 0, 0, 0, 'y'}}),
       {0x85, 'x', 0, 0, 0, 'y'}},
      {"three equal bytes that end the record repeat",
       Concat({{'x', 0, 0, 0}}),
       {0x81, 'x', 0x03, 0}},
      {"two equal bytes at the end stay literal", Concat({{'x', 0, 0}}), {0x83, 'x', 0, 0}},
      {"four equal bytes repeat",
       Concat({{'x'}, Fill(4, 7), {'y'}}),
       {0x81, 'x', 0x04, 7, 0x81, 'y'}},
      {"only one run", Fill(10, 'z'), {0x0A, 'z'}},
      {"two runs back to back", Concat({Fill(4, 1), Fill(5, 2)}), {0x04, 1, 0x05, 2}},
      {"two-byte repeat header", Concat({{'k'}, Fill(200, ' ')}), {0x81, 'k', 0x40, 200, ' '}},
      {"three-byte repeat header", Fill(10000, ' '), {0x7F, 0x10, 0x27, ' '}},
      {"five-byte repeat header", Fill(70000, 0), {0x70, 0x70, 0x11, 0x01, 0x00, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Encoded(c.record), c.encoded) << c.what;

  // Long literal stretches: two-, three- and five-byte literal headers.
  for (std::uint32_t n : {63u, 64u, 8191u, 8192u, 65535u, 65536u, 70001u}) {
    const Bytes record = Distinct(n);
    const Bytes out = Encoded(record);
    std::uint8_t h[5];
    const std::size_t hn = WriteCountHeader(h, true, n);
    ASSERT_EQ(out.size(), hn + n) << n;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(hn)), Bytes(h, h + hn));
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(hn), out.end()), record);
  }
}

TEST(QueueRle, MatchesTheByteWiseReferenceAndRoundTrips) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    Bytes record;
    const std::size_t size = 1 + rng() % 700;
    // Pieces of random bytes and of runs of every length around the thresholds.
    while (record.size() < size) {
      const unsigned kind = rng() % 3;
      const std::uint8_t b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : ' ');
      if (kind == 0) {
        record.insert(record.end(), 1 + rng() % 9, b);
      } else if (kind == 1) {
        record.insert(record.end(), 1 + rng() % 300, b);
      } else {
        for (unsigned k = rng() % 20; k > 0; --k)
          record.push_back(static_cast<std::uint8_t>(rng()));
      }
    }
    record.resize(size);
    const Bytes out = Encoded(record);
    ASSERT_EQ(out, ReferenceEncode(record)) << "round " << round;
    Bytes back(size, 0xAA);
    ASSERT_TRUE(Decode(out.data(), out.size(), back.data(), size));
    ASSERT_EQ(back, record) << "round " << round;
    // The wide decoder (the queue's reads) gives the same record; it may use the slack behind the
    // data and the record, and nothing beyond it.
    Bytes source = out;
    source.resize(out.size() + kWideSlack, 0x5A);
    Bytes wide(size + 2 * kWideSlack, 0xAA);
    ASSERT_TRUE(DecodeWide(source.data(), out.size(), wide.data(), size)) << "round " << round;
    ASSERT_EQ(Bytes(wide.begin(), wide.begin() + static_cast<long>(size)), record)
        << "round " << round;
    ASSERT_EQ(Bytes(wide.begin() + static_cast<long>(size + kWideSlack), wide.end()),
              Bytes(kWideSlack, 0xAA))
        << "round " << round;
  }
}

TEST(QueueRle, StopsWhenTheEncodingOutgrowsItsRoom) {
  const Bytes record = Distinct(100);
  std::vector<std::uint8_t> out(200);
  EXPECT_EQ(Encode(record.data(), record.size(), out.data(), 100), kNoFit);
  EXPECT_EQ(Encode(record.data(), record.size(), out.data(), 102), 102u);
  const Bytes runs = Concat({Fill(10, 1), Fill(10, 2), Fill(10, 3)});
  EXPECT_EQ(Encode(runs.data(), runs.size(), out.data(), 5), kNoFit);
  EXPECT_EQ(Encode(runs.data(), runs.size(), out.data(), 6), 6u);
}

TEST(QueueRle, DecoderRefusesDamagedData) {
  struct Case {
    const char* what;
    Bytes encoded;
    std::size_t size;
  };
  const Case cases[] = {
      {"literal runs past the data", {0x85, 'a', 'b'}, 5},
      {"repeat without its byte", {0x05}, 5},
      {"two-byte header cut off", {0x81, 'a', 0x41}, 300},
      {"three-byte header cut off", {0x7F, 0x10}, 10000},
      {"five-byte header cut off", {0x70, 0, 0, 1}, 65536},
      {"repeat runs past the record", {0x0A, ' '}, 8},
      {"literal runs past the record", {0x83, 'a', 'b', 'c'}, 2},
      {"items end before the record does", {0x83, 'a', 'b', 'c'}, 4},
      {"empty item", {0x80, 0x83, 'a', 'b', 'c'}, 3},
      {"no items at all", {}, 3},
  };
  for (const Case& c : cases) {
    Bytes out(c.size + 8, 0xEE);
    EXPECT_FALSE(Validate(c.encoded.data(), c.encoded.size(), c.size)) << c.what;
    EXPECT_FALSE(Decode(c.encoded.data(), c.encoded.size(), out.data(), c.size)) << c.what;
    // Nothing is ever written past the record.
    EXPECT_EQ(out[c.size], 0xEE) << c.what;
    Bytes source = c.encoded;
    source.resize(c.encoded.size() + kWideSlack, 0x5A);
    Bytes wide(c.size + kWideSlack, 0xEE);
    EXPECT_FALSE(DecodeWide(source.data(), c.encoded.size(), wide.data(), c.size)) << c.what;
  }
  const Bytes good = {0x83, 'a', 'b', 'c', 0x04, ' '};
  EXPECT_TRUE(Validate(good.data(), good.size(), 7));
}

TEST(QueueRle, MostlyBlankLargeRecordEncodesToAFewBytes) {
  Bytes record(18 * 1024, ' ');
  const std::string name = "RegistryItem";
  std::copy(name.begin(), name.end(), record.begin() + 4096);
  const Bytes out = Encoded(record);
  EXPECT_EQ(out.size(), (2 + 1) + (1 + name.size()) + (3 + 1));
  Bytes back(record.size());
  ASSERT_TRUE(Decode(out.data(), out.size(), back.data(), back.size()));
  EXPECT_EQ(back, record);
}

}  // namespace
}  // namespace vantrel::rle
