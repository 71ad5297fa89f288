// Windows code page 1250 (Central European): the program's single-byte text on Linux, where the
// registry store's "A" calls, the display and the built-in error texts need its characters.
// The table is constexpr so that texts can be converted while compiling as well.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {
namespace cp1250_detail {

// The UTF-16 units of the bytes 0x80..0xFF. The five bytes the code page leaves undefined map to
// the C1 control of the same number, as Windows' own table does.
inline constexpr char16_t kHigh[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

// The byte of every unit below 0x0300 (where almost every letter of the page lives), 0 where
// the page has none; the few punctuation marks above it are searched for directly.
inline constexpr std::size_t kLowUnits = 0x300;
inline constexpr std::array<unsigned char, kLowUnits> kLow = [] {
  std::array<unsigned char, kLowUnits> low{};
  for (std::size_t i = 0; i < 0x80; ++i) low[i] = static_cast<unsigned char>(i);
  for (std::size_t i = 0; i < 128; ++i) {
    if (kHigh[i] < kLowUnits) low[kHigh[i]] = static_cast<unsigned char>(0x80 + i);
  }
  return low;
}();

}  // namespace cp1250_detail

// The UTF-16 unit of one code page byte.
constexpr char16_t Cp1250ToUnicode(unsigned char byte) {
  return byte < 0x80 ? static_cast<char16_t>(byte) : cp1250_detail::kHigh[byte - 0x80];
}

// The code page byte of a Unicode character, or -1 when the page has none.
constexpr int Cp1250ByteOf(char32_t c) {
  if (c < cp1250_detail::kLowUnits) {
    const unsigned char b = cp1250_detail::kLow[c];
    return b != 0 || c == 0 ? b : -1;
  }
  for (std::size_t i = 0; i < 128; ++i) {
    if (cp1250_detail::kHigh[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// The code page byte of one UTF-16 unit; characters the code page cannot show become '?', the
// default character Windows substitutes.
constexpr unsigned char UnicodeToCp1250(char16_t unit) {
  const int b = Cp1250ByteOf(unit);
  return b < 0 ? '?' : static_cast<unsigned char>(b);
}

std::u16string Cp1250ToUtf16(std::string_view text);
std::string Utf16ToCp1250(std::u16string_view text);

}  // namespace vantrel
