// Fixed-length text: N single-byte characters, blank padded on the right, no terminator.
//
// Records keep their text in these fields so that a record is a plain byte image that the queue
// engine can copy, compare and compress. Assigning cuts or pads; comparison ignores trailing
// blanks and is case-sensitive.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace vantrel {

// Removes trailing blanks (0x20 only; other white space is data).
constexpr std::string_view TrimTrailingBlanks(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return text.substr(0, n);
}

// Compares two texts as if both were padded with blanks to the same length, byte by byte as
// unsigned characters. Returns <0, 0 or >0.
inline int CompareBlankPadded(std::string_view a, std::string_view b) {
  a = TrimTrailingBlanks(a);
  b = TrimTrailingBlanks(b);
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  if (common > 0) {
    if (int c = std::memcmp(a.data(), b.data(), common)) return c;
  }
  if (a.size() == b.size()) return 0;
  // The shorter one continues with blanks: the first byte of the longer one's rest that is not
  // a blank decides (after trimming there is always one).
  const std::string_view rest = a.size() > b.size() ? a.substr(common) : b.substr(common);
  std::size_t i = 0;
  while (rest[i] == ' ') ++i;
  const bool restBelowBlank = static_cast<unsigned char>(rest[i]) < 0x20;
  if (a.size() > b.size()) return restBelowBlank ? -1 : 1;
  return restBelowBlank ? 1 : -1;
}

template <std::size_t N>
struct FixedText {
  static_assert(N > 0, "a text field holds at least one byte");
  char bytes[N];

  FixedText() { std::memset(bytes, ' ', N); }
  FixedText(std::string_view text) { Assign(text); }  // NOLINT: assignment from text is the point

  FixedText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }

  void Assign(std::string_view text) {
    const std::size_t n = text.size() < N ? text.size() : N;
    if (n > 0) std::memmove(bytes, text.data(), n);
    std::memset(bytes + n, ' ', N - n);
  }
  void Clear() { std::memset(bytes, ' ', N); }

  static constexpr std::size_t size() { return N; }
  std::string_view View() const { return std::string_view(bytes, N); }
  // The text without its trailing blanks: what every runtime service uses.
  std::string_view Trimmed() const { return TrimTrailingBlanks(View()); }
  std::string Str() const { return std::string(Trimmed()); }
  bool IsBlank() const { return Trimmed().empty(); }

  friend bool operator==(const FixedText& a, std::string_view b) {
    return CompareBlankPadded(a.View(), b) == 0;
  }
  template <std::size_t M>
  friend bool operator==(const FixedText& a, const FixedText<M>& b) {
    return CompareBlankPadded(a.View(), b.View()) == 0;
  }
  template <std::size_t M>
  friend int Compare(const FixedText& a, const FixedText<M>& b) {
    return CompareBlankPadded(a.View(), b.View());
  }
};

}  // namespace vantrel
