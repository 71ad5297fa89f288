#include "xml/input_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/text/ansi_text.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kDeclarationProbe = 99;
constexpr std::size_t kDeclarationSearch = 1024;

// Where the run of ASCII bytes from data[from] ends (at most n), with the line feeds in it added to
// *lines. ASCII, most of any document, is the same bytes in every code page, so such runs are
// moved whole rather than a character at a time through the code page; eight bytes are tested
// (and their line feeds counted) at a time.
std::size_t AsciiRunEnd(const char* data, std::size_t from, std::size_t n, std::int64_t* lines) {
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  constexpr std::uint64_t kEach = 0x0101010101010101u;
  std::size_t r = from;
  while (r + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, data + r, 8);
    if (word & kHigh) break;
    // The high bit of each byte that is a line feed, exactly (no carry crosses a byte).
    const std::uint64_t x = word ^ (kEach * '\n');
    const std::uint64_t feeds = ~(((x & kLow7) + kLow7) | x) & kHigh;
    *lines += static_cast<std::int64_t>(((feeds >> 7) * kEach) >> 56);
    r += 8;
  }
  for (; r < n && static_cast<unsigned char>(data[r]) < 0x80; ++r) {
    if (data[r] == '\n') ++*lines;
  }
  return r;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsWideName(std::string_view upper) {
  return StartsWith(upper, "UTF-16") || StartsWith(upper, "UTF16") || StartsWith(upper, "UTF-32") ||
         StartsWith(upper, "UCS");
}

}  // namespace

std::optional<std::string> DeclaredEncoding(std::string_view declaration) {
  const std::string_view text =
      declaration.substr(0, std::min(declaration.size(), kDeclarationProbe));
  const std::size_t at = text.find("encoding=");
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t from = at + 9 + 1;  // past the opening quote
  if (from > text.size()) return std::nullopt;
  const std::string_view rest = text.substr(from, 16);
  std::size_t end = rest.find('"');
  if (end == std::string_view::npos) end = rest.find('\'');
  if (end == std::string_view::npos) return std::nullopt;
  return Upper(rest.substr(0, end));
}

InputEncoding DetectInputEncoding(std::string_view first, std::string_view setEncoding) {
  auto byte = [&first](std::size_t i) {
    return i < first.size() ? static_cast<unsigned char>(first[i]) : 0x100u;
  };
  if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return InputEncoding::kUtf8;
  if (byte(0) == 0xFF && byte(1) == 0xFE) return InputEncoding::kUtf16Le;
  if (byte(0) == 0xFE && byte(1) == 0xFF) return InputEncoding::kUtf16Be;
  // 16-bit text shows a zero among its first characters' bytes: after the first byte when the
  // low byte comes first, else before the second.
  for (std::size_t k : {1u, 3u, 4u, 5u, 6u}) {
    if (byte(k) != 0) continue;
    if (byte(0) != 0 && byte(1) == 0 && byte(3) == 0) return InputEncoding::kUtf16Le;
    if (byte(0) == 0 && byte(2) == 0 && byte(1) != 0) return InputEncoding::kUtf16Be;
    return InputEncoding::kDropZeros;
  }
  std::optional<std::string> declared;
  if (!TrimBlanks(setEncoding).empty()) {
    declared = Upper(TrimBlanks(setEncoding));
  } else {
    const std::string_view probe = first.substr(0, std::min(first.size(), kDeclarationSearch));
    // The parser takes the encoding from a "<?" anywhere; the declaration stands near the start.
    const std::size_t open = probe.find("<?");
    if (open != std::string_view::npos) declared = DeclaredEncoding(probe.substr(open + 2));
  }
  if (declared) {
    if (StartsWith(*declared, "UTF") && !IsWideName(*declared)) return InputEncoding::kUtf8;
    return InputEncoding::kBytes;
  }
  bool beyondLatin1 = false;
  for (std::size_t i = 0; i < first.size();) {
    if (static_cast<unsigned char>(first[i]) < 0x80) {  // most of a document: nothing to decode
      ++i;
      continue;
    }
    const Utf8Char ch = DecodeUtf8(first.substr(i));
    if (ch.size == 0) break;  // cut by the end of the buffer
    if (!ch.valid) return InputEncoding::kBytes;
    beyondLatin1 = beyondLatin1 || ch.c > 0xFF;
    i += ch.size;
  }
  return beyondLatin1 ? InputEncoding::kUtf8 : InputEncoding::kBytes;
}

InputDecoder::Unit InputDecoder::Next(std::string_view in) const {
  if (encoding_ == InputEncoding::kUtf8) {
    const Utf8Char ch = DecodeUtf8(in);
    return Unit{ch.c, ch.size, ch.valid};
  }
  const bool little = encoding_ == InputEncoding::kUtf16Le;
  auto unit = [&in, little](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(in[i]);
    const auto b = static_cast<unsigned char>(in[i + 1]);
    return little ? static_cast<char32_t>(a | b << 8) : static_cast<char32_t>(a << 8 | b);
  };
  if (in.size() < 2) return Unit{0, 0, true};
  const char32_t u = unit(0);
  if (u >= 0xDC00 && u < 0xE000) return Unit{u, 2, false};
  if (u < 0xD800 || u >= 0xE000) return Unit{u, 2, true};
  if (in.size() < 4) return Unit{0, 0, true};
  const char32_t low = unit(2);
  if (low < 0xDC00 || low >= 0xE000) return Unit{u, 2, false};
  return Unit{0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), 4, true};
}

void InputDecoder::Fail(const Unit& unit) {
  AnsiConversion conversion;
  conversion.ok = false;
  conversion.malformed = unit.size == 0 || !unit.valid;
  conversion.missing = unit.c;
  const char* name = encoding_ == InputEncoding::kUtf8 ? "UTF-8" : "UTF-16";
  problem_ = "line " + std::to_string(line_) + ": " + AnsiConversionProblem(conversion, name);
}

std::size_t InputDecoder::Decode(char* data, std::size_t n, bool final) {
  if (encoding_ == InputEncoding::kBytes) return n;
  if (encoding_ == InputEncoding::kDropZeros) {
    std::size_t w = 0;
    for (std::size_t r = 0; r < n; ++r) {
      if (data[r] != 0) data[w++] = data[r];
    }
    return w;
  }
  std::size_t r = 0;  // read from data
  std::size_t w = 0;  // written to data; never passes r
  auto put = [&](const Unit& unit) {
    const int byte = AnsiByteOf(unit.c);
    if (byte < 0) {
      Fail(unit);
      return false;
    }
    if (unit.c == '\n') ++line_;
    data[w++] = static_cast<char>(byte);
    return true;
  };
  // A character the last block cut off, completed from this one.
  while (carrySize_ > 0 && !Failed()) {
    char joined[8];
    const std::size_t more = std::min(n - r, sizeof joined - carrySize_);
    std::memcpy(joined, carry_, carrySize_);
    std::memcpy(joined + carrySize_, data + r, more);
    const Unit unit = Next(std::string_view(joined, carrySize_ + more));
    if (unit.size == 0) {
      // Still cut short: this block was smaller than the character's rest.
      std::memcpy(carry_ + carrySize_, data + r, more);
      carrySize_ += more;
      r += more;
      if (final) Fail(unit);
      return w;
    }
    if (!started_) {
      started_ = true;
      if (unit.c == 0xFEFF && unit.valid) {
        r += unit.size - carrySize_;
        carrySize_ = 0;
        continue;
      }
    }
    if (!unit.valid) {
      Fail(unit);
      return w;
    }
    r += unit.size - carrySize_;
    carrySize_ = 0;
    if (!put(unit)) return w;
  }
  while (r < n && !Failed()) {
    if (encoding_ == InputEncoding::kUtf8 && started_) {
      const std::size_t from = r;
      r = AsciiRunEnd(data, r, n, &line_);
      if (r > from) {
        if (w != from) std::memmove(data + w, data + from, r - from);
        w += r - from;
        continue;
      }
    }
    const Unit unit = Next(std::string_view(data + r, n - r));
    if (unit.size == 0) {
      if (final) {
        Fail(unit);
        return w;
      }
      carrySize_ = n - r;
      std::memcpy(carry_, data + r, carrySize_);
      return w;
    }
    if (!started_) {
      started_ = true;
      if (unit.c == 0xFEFF && unit.valid) {  // the byte-order mark is no text
        r += unit.size;
        continue;
      }
    }
    if (!unit.valid) {
      Fail(unit);
      return w;
    }
    r += unit.size;
    if (!put(unit)) return w;
  }
  return w;
}

}  // namespace vantrel::xml
