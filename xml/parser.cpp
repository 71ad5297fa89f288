// The parser: a forgiving tag scanner that turns a file (or a text) into the thread's Document.
//
// It keeps the stack of open element names and appends one record whenever an element or an
// attribute is complete. Files are scanned in buffers of a little over 1,900,000 bytes; a
// construct that a buffer cuts off (a tag, comment, CDATA section, declaration, script or a
// multi-byte character) is carried whole into the next buffer, so nothing is lost at an edge.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/system/local_time.h"
#include "runtime/text/ansi_text.h"
#include "runtime/text/text_case.h"
#include "xml/input_decode.h"
#include "xml/progress.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kBufferFill = 1900000;
constexpr std::size_t kBufferReserve = 2048000;
constexpr std::size_t kSavedTextMax = 128;
constexpr std::size_t kTagNameSearch = 128;
constexpr std::size_t kHtmlProbe = 5120;
// Entity decoding shrinks text at most ninefold ("&#38;amp;" gives "&"), so this much current
// text always holds what the longest value can take; anything beyond is cut.
constexpr std::size_t kCurrentTextMax = 16 * kValueSlot;
constexpr std::size_t kNeedMore = static_cast<std::size_t>(-1);
constexpr PathId kNoPath = static_cast<PathId>(-1);
constexpr std::size_t kMessageExcerpt = 200;
// How far a start tag is searched for the end of a quoted attribute value holding '>'.
constexpr std::size_t kQuotedTagMax = 65536;

enum class Mode {
  kRaw,   // bytes taken as they are
  kUtf8,  // multi-byte characters folded into single bytes
  kWide,  // a 16-bit encoding was declared: no byte decoding
};

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

// A byte of text between tags that UTF-8 mode appends unchanged: above 13, below the lead bytes
// 0xC0..0xFF, and not the no-break space 0xA0.
inline bool IsPlainUtf8TextByte(unsigned char b) { return b > 13 && b < 0xC0 && b != 0xA0; }

// Bytes of attribute text read as spaces, by mode (0 bytes as they are, 1 UTF-8): below 20, and in
// UTF-8 mode also 0xA0 and 0xC2.
constexpr auto kAttributeSpace = [] {
  std::array<std::array<bool, 256>, 2> table{};
  for (auto& mode : table) {
    for (int b = 0; b < 20; ++b) mode[static_cast<std::size_t>(b)] = true;
  }
  table[1][0xA0] = table[1][0xC2] = true;
  return table;
}();

bool IsNameEnd(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

// ---- byte scans ---------------------------------------------------------------------------------
// Text runs, tags and attribute values are mostly a few bytes long, too short for a library call
// to pay off; these look at 16 bytes a step (SSE2, part of every x86-64) and finish byte by byte.
// Each one is a byte test `Hit` and, where SSE2 is there, the same test over 16 bytes `Hits`.

struct CharIs {
  char c;
  bool Hit(unsigned char b) const { return b == static_cast<unsigned char>(c); }
#if defined(__SSE2__)
  int Hits(__m128i x) const { return _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(c))); }
#endif
};

// Where text between tags stops being copied as it is: the '<' that ends it, or a byte that is
// dropped or decoded (the bytes up to 13, and in UTF-8 mode also 0xA0 and the lead bytes from
// 0xC0; see IsPlainUtf8TextByte).
struct TextStop {
  bool utf8;
  bool Hit(unsigned char b) const { return b == '<' || (utf8 ? !IsPlainUtf8TextByte(b) : b <= 13); }
#if defined(__SSE2__)
  int Hits(__m128i x) const {
    const __m128i lt = _mm_cmpeq_epi8(x, _mm_set1_epi8('<'));
    if (!utf8) {
      const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(13)), x);
      return _mm_movemask_epi8(_mm_or_si128(lt, low));
    }
    // Adding 0x40 turns 0xC0..0xFF and 0..13 into 0..77, each other byte into 78 or more.
    const __m128i shifted = _mm_add_epi8(x, _mm_set1_epi8(0x40));
    const __m128i outside = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(77)), shifted);
    const __m128i nbsp = _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xA0)));
    return _mm_movemask_epi8(_mm_or_si128(lt, _mm_or_si128(outside, nbsp)));
  }
#endif
};

// The bytes of attribute text read as spaces (kAttributeSpace): below 20, and in UTF-8 mode also
// 0xA0 and 0xC2.
struct AttributeSpace {
  bool utf8;
  bool Hit(unsigned char b) const { return kAttributeSpace[utf8 ? 1 : 0][b]; }
#if defined(__SSE2__)
  int Hits(__m128i x) const {
    __m128i hit = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(19)), x);
    if (utf8) {
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xA0))));
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xC2))));
    }
    return _mm_movemask_epi8(hit);
  }
#endif
};

// The bytes that end a tag's name.
struct NameEnd {
  bool Hit(unsigned char b) const { return IsNameEnd(static_cast<char>(b)); }
#if defined(__SSE2__)
  int Hits(__m128i x) const {
    const __m128i space = _mm_cmpeq_epi8(x, _mm_set1_epi8(' '));
    const __m128i cr = _mm_cmpeq_epi8(x, _mm_set1_epi8('\r'));
    const __m128i lf = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
    const __m128i tab = _mm_cmpeq_epi8(x, _mm_set1_epi8('\t'));
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(space, cr), _mm_or_si128(lf, tab)));
  }
#endif
};

// The bytes that make an attribute value need decoding: '&', and in UTF-8 mode any from 0x80 up.
struct ValueToDecode {
  bool utf8;
  bool Hit(unsigned char b) const { return b == '&' || (utf8 && b > 0x7F); }
#if defined(__SSE2__)
  int Hits(__m128i x) const {
    const int amp = _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('&')));
    return utf8 ? amp | _mm_movemask_epi8(x) : amp;
  }
#endif
};

// The bytes that keep a value from the one-pass decoding of named entities: '#', and in UTF-8
// mode 0xA0 and 0xC2 (see DecodeNamedInOnePass).
struct NeedsPasses {
  bool utf8;
  bool Hit(unsigned char b) const { return b == '#' || (utf8 && (b == 0xA0 || b == 0xC2)); }
#if defined(__SSE2__)
  int Hits(__m128i x) const {
    __m128i hit = _mm_cmpeq_epi8(x, _mm_set1_epi8('#'));
    if (utf8) {
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xA0))));
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xC2))));
    }
    return _mm_movemask_epi8(hit);
  }
#endif
};

// The first byte in [p, end) the test hits, or end. The bytes up to `limit` (at or past end) may
// be read, so that a short span is still looked at 16 bytes at once.
template <typename Test>
inline const char* FindFirst(const char* p, const char* end, const char* limit, Test test) {
#if defined(__SSE2__)
  while (limit - p >= 16) {
    unsigned hits =
        static_cast<unsigned>(test.Hits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    if (end - p < 16) hits &= (1u << (end - p)) - 1;
    if (hits != 0) return p + __builtin_ctz(hits);
    if (end - p <= 16) return end;
    p += 16;
  }
#else
  (void)limit;
#endif
  for (; p < end; ++p) {
    if (test.Hit(static_cast<unsigned char>(*p))) return p;
  }
  return end;
}

template <typename Test>
inline const char* FindFirst(const char* p, const char* end, Test test) {
  return FindFirst(p, end, end, test);
}

template <typename Test>
inline bool Contains(std::string_view s, Test test) {
  return FindFirst(s.data(), s.data() + s.size(), test) != s.data() + s.size();
}

#if defined(__SSE2__)
// The 16 bytes with 'A'..'Z' lower-cased.
inline __m128i LowerBlock(__m128i x) {
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('A' - 1)),
                                      _mm_cmplt_epi8(x, _mm_set1_epi8('Z' + 1)));
  return _mm_or_si128(x, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

// Lower-cases n bytes (at most kNameMax) from p into out, which has room for 16 bytes past them;
// the bytes up to `limit` may be read.
inline void LowerName(const char* p, std::size_t n, const char* limit, char* out) {
  std::size_t k = 0;
#if defined(__SSE2__)
  for (; k < n && limit - (p + k) >= 16; k += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     LowerBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k))));
  }
#else
  (void)limit;
#endif
  for (; k < n; ++k) {
    char c = p[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    out[k] = c;
  }
}

// The current text: at most kCurrentTextMax bytes, anything beyond is cut. One block with room
// for 16 bytes behind it, so that a short run goes in with one 16-byte move.
class TextBuffer {
 public:
  TextBuffer() : data_(std::make_unique_for_overwrite<char[]>(kCurrentTextMax + 16)) {}

  std::string_view View() const { return std::string_view(data_.get(), size_); }
  std::size_t Size() const { return size_; }
  void Clear() { size_ = 0; }

  // Appends len bytes from p; the bytes up to `limit` may be read.
  void Append(const char* p, std::size_t len, const char* limit) {
    const std::size_t n = std::min(len, kCurrentTextMax - size_);
#if defined(__SSE2__)
    if (n <= 16 && limit - p >= 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data_.get() + size_),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      size_ += n;
      return;
    }
#else
    (void)limit;
#endif
    std::memcpy(data_.get() + size_, p, n);
    size_ += n;
  }
  void Append(std::string_view text) {
    Append(text.data(), text.size(), text.data() + text.size());
  }
  void Push(char c) {
    if (size_ < kCurrentTextMax) data_[size_++] = c;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// Replaces every occurrence, left to right, without rescanning what was put in.
void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t pos = s.find(from);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  std::size_t last = 0;
  while (pos != std::string::npos) {
    out.append(s, last, pos - last);
    out.append(to);
    last = pos + from.size();
    pos = s.find(from, last);
  }
  out.append(s, last, std::string::npos);
  s.swap(out);
}

// "&#" and decimal digits, or "&#x" and hexadecimal ones, then ';': the character of that
// Unicode value, in the program's code page. XML means the character, not a byte: read as the
// byte, "&#232;" (è, which code page 1250 lacks) would be its 0xE8, "č", and name another key.
// A reference to a character the code page has no form for stays as written; false then, so
// that the value can be told from the text the file holds.
bool DecodeNumericReferences(std::string& s) {
  std::size_t pos = s.find("&#");
  if (pos == std::string::npos) return true;
  bool exact = true;
  std::string out;
  out.reserve(s.size());
  std::size_t last = 0;
  while (pos != std::string::npos) {
    std::size_t d = pos + 2;
    const bool hex = d < s.size() && s[d] == 'x';
    if (hex) ++d;
    const std::size_t first = d;
    char32_t value = 0;
    // Seven digits reach past U+10FFFF, the last character; more are no character at all.
    while (d < s.size() && d - first < 8) {
      const char c = s[d];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
      ++d;
    }
    // XML 1.0 has no control characters but tab and line breaks, not even as references: one
    // read as its byte would cut a name short (&#0;) or put an invisible byte in it.
    const bool control = value < 0x20 && value != '\t' && value != '\n' && value != '\r';
    const bool terminated = d > first && d < s.size() && s[d] == ';';
    const bool reference = terminated && value <= 0x10FFFF && !control;
    const int byte = !reference ? -1 : value < 0x80 ? static_cast<int>(value) : AnsiByteOf(value);
    if (byte >= 0) {
      out.append(s, last, pos - last);
      out.push_back(static_cast<char>(byte));
      last = d + 1;
      pos = s.find("&#", last);
    } else {
      if (reference || (terminated && control)) exact = false;
      pos = s.find("&#", pos + 2);
    }
  }
  out.append(s, last, std::string::npos);
  s.swap(out);
  return exact;
}

// One open element.
struct Level {
  char name[kNameMax + 16];  // lower-cased, cut to kNameMax (with LowerName's room behind it)
  std::size_t nameSize = 0;
  char saved[kSavedTextMax];  // the parent's text from before this element began (cut)
  std::size_t savedSize = 0;
  PathId path = kNoPath;         // kNoPath deeper than kMaxLevels, or under a level without a path
  PathId lastChild = kRootPath;  // the child path this element looked up last (NextChild)
  // Runs of this element's own text (not blank) that a child element ended, and whether `saved`
  // lost a control byte from inside it: both make the value stored differ from the text written.
  std::uint32_t parts = 0;
  bool savedAltered = false;

  std::string_view Name() const { return std::string_view(name, nameSize); }
  std::string_view Saved() const { return std::string_view(saved, savedSize); }
};

// Whether `text`, lower-cased, equals the level's name. (A 16-byte compare measured slower here
// than this loop over names of a few bytes.)
bool EqualsLowered(std::string_view text, const Level& level) {
  if (text.size() != level.nameSize) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != level.name[i]) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(LibraryState& lib, const LoadOptions& options, ProgressRun& progress)
      : lib_(lib), doc_(lib.document), options_(options), progress_(progress) {
    levels_.resize(3);
    levels_[0].path = kRootPath;
    if (!TrimBlanks(lib.currentEncoding).empty())
      SelectMode(Upper(TrimBlanks(lib.currentEncoding)));
  }

  // The input reaches the scanner as program text already (a Unicode document).
  void SetDecoded(bool decoded) {
    decoded_ = decoded;
    if (decoded) mode_ = Mode::kRaw;
  }

  void DetectHtml(std::string_view first) {
    first = first.substr(0, std::min(first.size(), kHtmlProbe));
    html_ = first.find("<html>") != std::string_view::npos ||
            first.find("<HTML>") != std::string_view::npos ||
            first.find("=\"text/html") != std::string_view::npos;
  }

  // Scans data[0..n): returns how many bytes were used up; the rest (a construct cut off by the
  // end of a buffer that is not the last) must be offered again with more input after it.
  std::size_t Scan(const char* data, std::size_t n, bool final, std::int64_t base) {
    d_ = data;
    n_ = n;
    final_ = final;
    base_ = base;
    std::size_t i = 0;
    while (i < n && !Done()) {
      if (d_[i] != '<') {
        std::size_t reached = 0;
        if (!Text(i, &reached)) return reached;
        i = reached;
        continue;
      }
      const std::size_t next = Tag(i);
      if (next == kNeedMore) return i;
      i = next;
      progress_.Step(base_ + static_cast<std::int64_t>(i));
    }
    lib_.openElements = level_;
    return Done() ? n : i;
  }

  bool Done() const { return failed_ || stopped_; }
  std::int16_t Result() const {
    if (failed_) return kErrorParsing;
    return tooDeep_ ? kErrorTooDeep : 0;
  }

 private:
  // ---- text between tags ----------------------------------------------------------------------

  void AppendByte(char c) { text_.Push(c); }

  // The current text is emptied; what was noted about it goes with it.
  void ClearText() {
    text_.Clear();
    innerDrop_ = kNoDrop;
    blankScanned_ = 0;
  }

  // A control byte is dropped here: when text that is not blank came before it, remember where,
  // so that completing the element can tell whether text follows too (the byte lay inside the
  // value, and the value read is not the one written) or only layout does.
  void NoteDrop() {
    const std::string_view t = text_.View();
    while (blankScanned_ < t.size() && t[blankScanned_] == ' ') ++blankScanned_;
    if (blankScanned_ < t.size()) innerDrop_ = t.size();
  }

  // Whether a control byte was dropped from inside the current text.
  bool TextAltered() const {
    return innerDrop_ != kNoDrop &&
           !IsBlank(text_.View().substr(std::min(innerDrop_, text_.Size())));
  }

  // Takes the text from d_[i] up to the next '<' (or the end of the data) and sets *stop there;
  // returns true. Returns false, with *stop on it, when a multi-byte character is cut off by the
  // end of a buffer that is not the last.
  bool Text(std::size_t i, std::size_t* stop) {
    const char* const end = d_ + n_;
    const TextStop test{mode_ == Mode::kUtf8};
    std::size_t j = i;
    for (;;) {
      // Bytes that are taken as they are (most text) go in as one run.
      const std::size_t run = static_cast<std::size_t>(FindFirst(d_ + j, end, test) - d_);
      if (run > j) text_.Append(d_ + j, run - j, end);
      j = run;
      if (j == n_ || d_[j] == '<') {
        *stop = j;
        return true;
      }
      const unsigned char b = static_cast<unsigned char>(d_[j]);
      if (!test.utf8 || b <= 13) {
        // Zero and the control bytes up to 13 (tab, line feed, carriage return ...) are dropped;
        // they mostly come in pairs.
        if (innerDrop_ == kNoDrop) NoteDrop();
        do {
          ++j;
        } while (j < n_ && static_cast<unsigned char>(d_[j]) <= 13);
      } else if (b == 0xA0) {
        AppendByte(' ');
        ++j;
      } else {
        // A lead byte (0xC0 and up) joins with what follows it, as far as the text goes: up to
        // two bytes before the next '<' or the end of the data.
        std::size_t after = 0;
        while (after < 2 && j + 1 + after < n_ && d_[j + 1 + after] != '<') ++after;
        const bool bufferEdge = !final_ && j + 1 + after == n_;
        if (b == 0xE2 && after < 2 && bufferEdge) {
          *stop = j;
          return false;
        }
        if (b == 0xE2 && after == 2 && static_cast<unsigned char>(d_[j + 1]) == 0x82 &&
            static_cast<unsigned char>(d_[j + 2]) == 0xAC) {
          AppendByte('\x80');
          j += 3;
        } else if (after >= 1) {
          const unsigned char next = static_cast<unsigned char>(d_[j + 1]);
          AppendByte(static_cast<char>(((b & 3) << 6) | (next & 0x3F)));
          j += 2;
        } else if (bufferEdge) {
          *stop = j;
          return false;
        } else {
          // A lead byte right before a tag (or at the very end) has nothing to join: it stays
          // as it is rather than swallow the tag's '<'.
          AppendByte(static_cast<char>(b));
          ++j;
        }
      }
    }
  }

  // The byte rules of text between tags applied to a whole value (attribute values, CDATA).
  std::string Utf8Bytes(std::string_view in, bool dropControls) const {
    std::string out;
    out.reserve(in.size());
    for (std::size_t j = 0; j < in.size();) {
      const unsigned char b = static_cast<unsigned char>(in[j]);
      if (b == 0) {
        ++j;
      } else if (b == 0xA0) {
        out.push_back(' ');
        ++j;
      } else if (b >= 0xC0 && j + 1 < in.size()) {
        if (b == 0xE2 && j + 2 < in.size() && static_cast<unsigned char>(in[j + 1]) == 0x82 &&
            static_cast<unsigned char>(in[j + 2]) == 0xAC) {
          out.push_back('\x80');
          j += 3;
        } else {
          out.push_back(static_cast<char>(((b & 3) << 6) | (in[j + 1] & 0x3F)));
          j += 2;
        }
      } else {
        if (b > 13 || !dropControls) out.push_back(static_cast<char>(b));
        ++j;
      }
    }
    return out;
  }

  // Entity decoding, in its fixed order. Element text has had its byte decoding when it was
  // collected; attribute values get it here. False when a character reference stayed as written
  // (the code page has no form for its character).
  bool Decode(std::string& v, bool byteDecoding) const {
    if (byteDecoding && mode_ == Mode::kUtf8) v = Utf8Bytes(v, true);
    if (DecodeNamedInOnePass(v)) return true;
    ReplaceAll(v, "&apos;", "'");
    ReplaceAll(v, "&gt;", ">");
    ReplaceAll(v, "&lt;", "<");
    ReplaceAll(v, "&quot;", "\"");
    if (mode_ == Mode::kUtf8) {
      // Left-overs of UTF-8 no-break spaces; in single-byte text these bytes are letters.
      std::replace(v.begin(), v.end(), '\xA0', ' ');
      v.erase(std::remove(v.begin(), v.end(), '\xC2'), v.end());
    }
    const bool exact = DecodeNumericReferences(v);
    ReplaceAll(v, "&amp;", "&");
    return exact;
  }

  // The usual value holds only the five named entities. Their occurrences cannot overlap (each
  // runs from its '&' to the next ';') and no replacement yields a character of another's name,
  // so the fixed order of passes gives what one pass from left to right gives. Not so for
  // numeric references (one may yield '&' before "amp;") or, in UTF-8 mode, for the bytes 0xA0 and
  // 0xC2 (dropping 0xC2 may join an entity): values holding those take the passes. Returns false,
  // leaving `v` alone, for them.
  bool DecodeNamedInOnePass(std::string& v) const {
    if (Contains(v, NeedsPasses{mode_ == Mode::kUtf8})) return false;
    char* const d = v.data();
    const std::size_t n = v.size();
    const char* const end = d + n;
    std::size_t in = static_cast<std::size_t>(FindFirst(d, end, CharIs{'&'}) - d);
    std::size_t out = in;
    while (in < n) {  // d[in] is an '&'
      const std::string_view rest(d + in, n - in);
      char c = '&';
      std::size_t used = 1;
      // The five names differ in their first letter but for "amp" and "apos".
      switch (rest.size() > 1 ? rest[1] : '\0') {
        case 'a':
          if (rest.starts_with("&amp;"))
            c = '&', used = 5;
          else if (rest.starts_with("&apos;"))
            c = '\'', used = 6;
          break;
        case 'g':
          if (rest.starts_with("&gt;")) c = '>', used = 4;
          break;
        case 'l':
          if (rest.starts_with("&lt;")) c = '<', used = 4;
          break;
        case 'q':
          if (rest.starts_with("&quot;")) c = '"', used = 6;
          break;
        default: break;
      }
      d[out++] = c;
      in += used;
      const std::size_t to = static_cast<std::size_t>(FindFirst(d + in, end, CharIs{'&'}) - d);
      std::memmove(d + out, d + in, to - in);
      out += to - in;
      in = to;
    }
    v.resize(out);
    return true;
  }

  void ApplyReplacements(std::string& v) const {
    for (const auto& [from, to] : lib_.replacements) ReplaceAll(v, from, to);
  }

  void Store(PathId path, std::string_view value) {
    if (!doc_.Append(path, value)) SetRuntimeError(error_code::kInsufficientMemory);
  }

  // ---- tags -----------------------------------------------------------------------------------

  // 1 when d_[i..] starts with lit, 0 when not, -1 when the buffer ends before it can tell.
  int Prefix(std::size_t i, std::string_view lit) const {
    const std::size_t have = std::min(lit.size(), n_ - i);
    if (std::memcmp(d_ + i, lit.data(), have) != 0) return 0;
    return have == lit.size() ? 1 : -1;
  }

  std::size_t Find(std::size_t from, std::string_view lit) const {
    if (from >= n_) return std::string_view::npos;
    return std::string_view(d_, n_).find(lit, from);
  }

  std::size_t Tag(std::size_t i) {
    if (i + 1 >= n_) return final_ ? Unclosed(i) : kNeedMore;
    const char c1 = d_[i + 1];
    if (c1 == '?') {
      const std::size_t q = Find(i + 2, "?>");
      if (q == std::string_view::npos) {
        if (!final_) return kNeedMore;
        return Fail(i, "No End ?> tag found after position: ");
      }
      Declaration(std::string_view(d_ + i + 2, q - (i + 2)));
      return q + 2;
    }
    if (c1 == '!') {
      const int comment = Prefix(i, "<!--");
      if (comment < 0 && !final_) return kNeedMore;
      if (comment > 0) {
        // The first '>' right after a '-' ends it, "->" included.
        const std::size_t q = Find(i + 3, "->");
        if (q == std::string_view::npos) return final_ ? n_ : kNeedMore;
        return q + 2;
      }
      const int cdata = Prefix(i, "<![CDATA[");
      if (cdata < 0 && !final_) return kNeedMore;
      if (cdata > 0) {
        const std::size_t q = Find(i + 9, "]]>");
        if (q == std::string_view::npos) {
          if (!final_) return kNeedMore;
          return Fail(i, "No End-Comment CDATA tag found after position: ");
        }
        Cdata(std::string_view(d_ + i + 9, q - (i + 9)), q + 3);
        return q + 3;
      }
      // <!DOCTYPE ...> and the like, with nested brackets.
      int depth = 0;
      for (std::size_t j = i; j < n_; ++j) {
        if (d_[j] == '<')
          ++depth;
        else if (d_[j] == '>' && --depth == 0)
          return j + 1;
      }
      return final_ ? Unclosed(i) : kNeedMore;
    }
    const char* const gt = FindFirst(d_ + i + 1, d_ + n_, CharIs{'>'});
    if (gt == d_ + n_) return final_ ? Unclosed(i) : kNeedMore;
    std::size_t q = static_cast<std::size_t>(gt - d_);
    if (c1 == '/') {
      EndTag(std::string_view(d_ + i + 2, q - i - 2));
      return q + 1;
    }
    q = QuotedTagEnd(i, q);
    if (q == kNeedMore) return kNeedMore;
    return StartTag(std::string_view(d_ + i + 1, q - i - 1), q);
  }

  // Where the start tag that begins at d_[i] ends, given the first '>' after it at `gt`. A '>'
  // inside a quoted attribute value belongs to the value (<Item Note="a > b">): ending the tag
  // there would read the rest of the value as the element's text, a key name for instance. A
  // quote that does not close before a '<' (which no attribute value may hold), within
  // kQuotedTagMax bytes or before the input ends is no quote: the tag then ends at its first '>',
  // as it always has. kNeedMore when the buffer ends before that can be told.
  std::size_t QuotedTagEnd(std::size_t i, std::size_t gt) const {
    struct Quote {
      bool Hit(unsigned char b) const { return b == '"' || b == '\''; }
#if defined(__SSE2__)
      int Hits(__m128i x) const {
        return _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                              _mm_cmpeq_epi8(x, _mm_set1_epi8('\''))));
      }
#endif
    };
    // Most tags hold no quote before their first '>', or only closed ones: hop from quote to
    // quote, and only a quote still open at that '>' needs the walk below.
    const char* const end = d_ + gt;
    for (const char* p = d_ + i + 1;;) {
      const char* const open = FindFirst(p, end, d_ + n_, Quote{});
      if (open == end) return gt;
      const char* const close = FindFirst(open + 1, end, d_ + n_, CharIs{*open});
      if (close == end) break;
      p = close + 1;
    }
    const std::size_t limit = std::min(n_, i + kQuotedTagMax);
    char quote = 0;
    for (std::size_t j = i + 1; j < limit; ++j) {
      const char c = d_[j];
      if (c == '<') return gt;
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        return j;
      }
    }
    return final_ || limit - i >= kQuotedTagMax ? gt : kNeedMore;
  }

  void Declaration(std::string_view text) {
    // A caller that has set an encoding has the last word: the declaration's is not read.
    if (!TrimBlanks(lib_.currentEncoding).empty()) return;
    const std::optional<std::string> name = DeclaredEncoding(text);
    if (!name) return;
    lib_.detectedEncoding = name->substr(0, kDetectedEncodingMax);
    SelectMode(*name);
  }

  void SelectMode(const std::string& name) {
    lib_.utf8 = name == "UTF-8";
    // Text the input decoder has made program text of is read byte for byte.
    if (decoded_) return;
    if (name.compare(0, 3, "UTF") == 0)
      mode_ = name == "UTF-16" ? Mode::kWide : Mode::kUtf8;
    else
      mode_ = Mode::kRaw;
  }

  void Cdata(std::string_view content, std::size_t after) {
    // The section's content is the element's whole text (markup-free, so its line breaks stay).
    // Text beside it in the same element is not part of the value then: such a value is not
    // the element's text as written.
    std::size_t next = after;
    while (next < n_ &&
           (d_[next] == ' ' || d_[next] == '\t' || d_[next] == '\r' || d_[next] == '\n'))
      ++next;
    cdataAltered_ = !IsBlank(text_.View()) ||
                    (next < n_ && (d_[next] != '<' || next + 1 >= n_ || d_[next + 1] != '/'));
    ClearText();
    if (mode_ == Mode::kUtf8)
      text_.Append(Utf8Bytes(content, false));
    else
      text_.Append(content);
    Complete(false);
  }

  // Where the name that starts at body[from] ends, at most at `to`: body lies in the data.
  std::size_t NameEndIn(std::string_view body, std::size_t from, std::size_t to) const {
    return static_cast<std::size_t>(
        FindFirst(body.data() + from, body.data() + to, d_ + n_, NameEnd{}) - body.data());
  }

  void EndTag(std::string_view body) {
    std::size_t s = 0;
    while (s < body.size() && body[s] == ' ') ++s;
    const std::size_t e = NameEndIn(body, s, body.size());
    if (level_ == 0) return;
    const std::string_view name = body.substr(s, std::min(e - s, kNameMax));
    if (EqualsLowered(name, levels_[static_cast<std::size_t>(level_)])) Complete(false);
  }

  std::size_t StartTag(std::string_view body, std::size_t q) {
    if (html_ && (StartsWithIgnoreCase(body, "BR") &&
                  (body.size() == 2 || (body.size() == 3 && body[2] == '/') ||
                   (body.size() == 4 && body[2] == ' ' && body[3] == '/')))) {
      text_.Append("\r\n");
      return q + 1;
    }
    std::size_t s = 0;
    while (s < body.size() && body[s] == ' ') ++s;
    const std::size_t limit = std::min(body.size(), s + kTagNameSearch);
    const std::size_t e = NameEndIn(body, s, limit);
    const std::string_view name = body.substr(s, e - s);
    std::string_view attrs = body.substr(e);
    if (name.empty() || name.back() == '/') return q + 1;  // <a/>: no record
    const bool selfClosing = body.back() == '/';
    if (selfClosing) attrs.remove_suffix(1);
    if (!selfClosing && options_.stopAtBody && Upper(name).find(":BODY") != std::string::npos) {
      stopped_ = true;
      return n_;
    }
    // The name goes straight into the next level's slot (unused until Push takes it).
    Level& next = LevelAt(static_cast<std::size_t>(level_) + 1);
    next.nameSize = std::min(name.size(), kNameMax);
    LowerName(name.data(), next.nameSize, d_ + n_, next.name);
    const std::string_view lname = next.Name();
    std::size_t scriptEnd = std::string_view::npos;
    const bool script = html_ && !selfClosing && lname == "script";
    if (script) {
      for (std::size_t j = q + 1; j < n_; ++j) {
        if (d_[j] == '<' && StartsWithIgnoreCase(std::string_view(d_ + j, n_ - j), "</SCRIPT>")) {
          scriptEnd = j;
          break;
        }
      }
      if (scriptEnd == std::string_view::npos && !final_) return kNeedMore;
    }
    Push();
    Attributes(attrs);
    if (selfClosing || (html_ && IsHtmlEmpty(lname))) {
      Complete(false);
      return q + 1;
    }
    if (script) {
      const std::size_t end = scriptEnd == std::string_view::npos ? n_ : scriptEnd;
      ClearText();
      text_.Append(std::string_view(d_ + q + 1, end - (q + 1)));
      Complete(true);
      return scriptEnd == std::string_view::npos ? n_ : scriptEnd + 9;
    }
    return q + 1;
  }

  static bool IsHtmlEmpty(std::string_view n) {
    return n == "meta" || n == "img" || n == "input" || n == "font" || n == "nobr" || n == "link" ||
           n == "hr" || n == "area" || n == "embed";
  }

  // The level at l, made (with the one below it, whose saved text Complete reads) when missing.
  Level& LevelAt(std::size_t l) {
    if (levels_.size() < l + 2) levels_.resize(l + 2);
    return levels_[l];
  }

  // Opens the element whose name StartTag has put in the next level's slot.
  void Push() {
    ++level_;
    const std::size_t l = static_cast<std::size_t>(level_);
    Level& level = LevelAt(l);  // first: it may move the levels
    Level& parent = levels_[l - 1];
    if (parent.path != kNoPath && level_ <= kMaxLevels) {
      level.path = doc_.NextChild(parent.path, level.Name(), parent.lastChild);
      parent.lastChild = level.path;
    } else {
      // A record holds kMaxLevels names: what lies deeper cannot be kept, and the load says so.
      if (level_ > kMaxLevels) tooDeep_ = true;
      level.path = kNoPath;
    }
    level.lastChild = kRootPath;
    level.parts = 0;
    level.savedSize = std::min(text_.Size(), kSavedTextMax);
    CopyShort(level.saved, text_.View().data(), level.savedSize);
    level.savedAltered = TextAltered();
    if (!IsBlank(text_.View())) ++parent.parts;
    ClearText();
  }

  void Attributes(std::string_view attrs) {
    if (attrs.empty()) return;  // (text without '=' gives nothing either; see the loop)
    const std::size_t level = static_cast<std::size_t>(level_);
    const PathId element = levels_[level].path;
    if (element == kNoPath) return;
    if (level_ + 1 > kMaxLevels) {
      tooDeep_ = tooDeep_ || attrs.find('=') != std::string_view::npos;
      return;
    }
    const bool utf8 = mode_ == Mode::kUtf8;
    std::string_view t = attrs;
    // The attribute text lies in the data, which may be read past its end.
    const char* limit = d_ + n_;
    // Bytes read as spaces are rare: only text that holds one is copied to change them.
    if (FindFirst(attrs.data(), attrs.data() + attrs.size(), limit, AttributeSpace{utf8}) !=
        attrs.data() + attrs.size()) {
      attributeText_.assign(attrs.data(), attrs.size());
      const bool* const toSpace = kAttributeSpace[utf8 ? 1 : 0].data();
      for (char& c : attributeText_) {
        if (toSpace[static_cast<unsigned char>(c)]) c = ' ';
      }
      t = attributeText_;
      limit = t.data() + t.size();
    }
    const char* const end = t.data() + t.size();
    std::size_t pos = 0;
    while (pos < t.size()) {
      const char* const at = FindFirst(t.data() + pos, end, limit, CharIs{'='});
      if (at == end) break;
      const std::size_t eq = static_cast<std::size_t>(at - t.data());
      std::string_view name(t.data() + pos, eq - pos);
      while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
      while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
      std::size_t open = eq + 1;
      while (open < t.size() && t[open] != '"' && t[open] != '\'') ++open;
      if (open == t.size()) break;
      const std::size_t close = static_cast<std::size_t>(
          FindFirst(t.data() + open + 1, end, limit, CharIs{t[open]}) - t.data());
      std::string_view value = t.substr(open + 1, close - open - 1);
      const char* const valueEnd = value.data() + value.size();
      const bool decode = FindFirst(value.data(), valueEnd, limit, ValueToDecode{utf8}) != valueEnd;
      // Most values are stored as they stand in the text; the others are changed in a copy.
      bool altered = false;
      if (decode || !lib_.replacements.empty()) {
        attributeValue_.assign(value.data(), value.size());
        if (decode) altered = !Decode(attributeValue_, true);
        ApplyReplacements(attributeValue_);
        value = attributeValue_;
      }
      if (!name.empty()) {
        const std::size_t nameLength = std::min(name.size(), kNameMax);
        LowerName(name.data(), nameLength, limit, attributeName_);
        const std::string_view lowered(attributeName_, nameLength);
        const PathId path = doc_.NextChild(element, lowered, levels_[level].lastChild);
        levels_[level].lastChild = path;
        Store(path, value);
        if (altered && path != kNoPath) lib_.alteredRecords.push_back(doc_.Records());
      }
      pos = close + 1;
    }
  }

  void Complete(bool raw) {
    if (level_ == 0) {
      ClearText();
      return;
    }
    const std::size_t l = static_cast<std::size_t>(level_);
    // Most values are stored as the text holds them; the others are changed in a copy.
    std::string_view value = text_.View();
    // The value is not the element's text as written when a control byte inside it was dropped,
    // or when child elements split its text (only one run is kept).
    bool altered = !IsBlank(value) && (levels_[l].parts > 0 || TextAltered());
    const bool decode = !raw && Contains(value, CharIs{'&'});
    if (decode || !lib_.replacements.empty()) {
      value_.assign(value.data(), value.size());
      if (decode && !Decode(value_, false)) altered = true;
      ApplyReplacements(value_);
      value = value_;
    }
    Level& child = levels_[l + 1];
    if (IsBlank(value) && !IsBlank(child.Saved())) {
      // The element's own text that came before its last child.
      altered = child.savedAltered || levels_[l].parts > 1;
      value_.assign(child.saved, child.savedSize);
      if (Contains(value_, CharIs{'&'}) && !Decode(value_, false)) altered = true;
      ApplyReplacements(value_);
      value = value_;
    }
    if (cdataAltered_) altered = true;
    cdataAltered_ = false;
    if (levels_[l].path != kNoPath) {
      Store(levels_[l].path, value);
      if (altered) lib_.alteredRecords.push_back(doc_.Records());
      lib_.deepestLevel = std::max(lib_.deepestLevel, level_);
    }
    levels_[l].nameSize = 0;
    child.savedSize = 0;
    child.savedAltered = false;
    ClearText();
    --level_;
  }

  // ---- faults ---------------------------------------------------------------------------------

  std::string Excerpt(std::size_t i) const {
    return std::string(d_ + i, std::min(kMessageExcerpt, n_ - i));
  }

  // A '<' whose '>' never comes: the tag is dropped, the parse still succeeds.
  std::size_t Unclosed(std::size_t i) {
    if (!options_.quiet) {
      LibraryMessage("Invalid tag (missing End Bracket) located around position: " +
                         std::to_string(base_ + static_cast<std::int64_t>(i) + 1) +
                         "||Data: " + Excerpt(i) +
                         "||Pointer: " + std::to_string(base_ + static_cast<std::int64_t>(n_)),
                     "Error Occurred");
    }
    return n_;
  }

  std::size_t Fail(std::size_t i, std::string_view message) {
    if (!options_.quiet) {
      LibraryMessage(
          std::string(message) + std::to_string(base_ + static_cast<std::int64_t>(i) + 1),
          "Error Occurred");
    }
    failed_ = true;
    return n_;
  }

  LibraryState& lib_;
  Document& doc_;
  const LoadOptions& options_;
  ProgressRun& progress_;
  Mode mode_ = Mode::kRaw;
  bool decoded_ = false;
  bool tooDeep_ = false;  // an element or attribute lay deeper than a record holds
  bool html_ = false;
  bool failed_ = false;
  bool stopped_ = false;

  int level_ = 0;
  std::vector<Level> levels_;  // by level: the open elements (0 the document itself)
  TextBuffer text_;            // current text
  // Where in the current text the first control byte with text before it was dropped (kNoDrop:
  // none), and how far the text is known to be blank (NoteDrop).
  static constexpr std::size_t kNoDrop = static_cast<std::size_t>(-1);
  std::size_t innerDrop_ = kNoDrop;
  std::size_t blankScanned_ = 0;
  std::string value_;                  // the value being completed
  std::string attributeText_;          // the attribute text being read
  char attributeName_[kNameMax + 16];  // one attribute's name, lower-cased
  std::string attributeValue_;         // one attribute's value

  const char* d_ = nullptr;
  std::size_t n_ = 0;
  bool cdataAltered_ = false;  // the CDATA section being completed had text beside it
  bool final_ = false;
  std::int64_t base_ = 0;
};

void BeginParse(LibraryState& lib, const LoadOptions& options) {
  if (!options.append) {
    lib.document.Clear();
    lib.parentPath.clear();
    lib.currentRecord = 0;
    lib.deepestLevel = 0;
  }
  if (!options.append) lib.alteredRecords.clear();
  lib.openElements = 0;
  lib.errorDetail.clear();
  lib.parseTime = ClockHundredths();
}

std::int16_t EndParse(LibraryState& lib, std::int16_t code) {
  lib.deepestLevel += 1;
  lib.currentRecord = 0;
  lib.currentEncoding.clear();
  std::int32_t elapsed = ClockHundredths() - lib.parseTime;
  if (elapsed < 0) elapsed += 24 * 60 * 60 * 100;  // past midnight
  lib.parseTime = elapsed;
  lib.lastError = code;
  return code;
}

std::string_view WithoutTrailingBlanks(std::string_view s) { return TrimBlanks(s); }

// The bytes of a file not yet scanned. The file's blocks are read straight into its free room,
// so each byte is copied once on its way to the scanner.
class WorkBuffer {
 public:
  explicit WorkBuffer(std::size_t capacity)
      : data_(std::make_unique_for_overwrite<char[]>(capacity)), capacity_(capacity) {}

  std::string_view Text() const { return std::string_view(data_.get(), size_); }
  std::size_t Size() const { return size_; }
  char* Data() { return data_.get(); }
  // Keeps the first `size` bytes (the input decoder has made them shorter).
  void Truncate(std::size_t size) { size_ = std::min(size, size_); }

  // Room for one more block at the end, the buffer grown when it has less.
  char* Room() {
    if (capacity_ - size_ < kByteFileBlock) {
      const std::size_t capacity = std::max(capacity_ * 2, size_ + kByteFileBlock);
      auto data = std::make_unique_for_overwrite<char[]>(capacity);
      std::memcpy(data.get(), data_.get(), size_);
      data_ = std::move(data);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  // The block read into Room() that kept `got` bytes.
  void Filled(std::size_t got) { size_ += got; }
  // Drops the first `used` bytes.
  void Consume(std::size_t used) {
    std::memmove(data_.get(), data_.get() + used, size_ - used);
    size_ -= used;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

// A Unicode document that does not become program text stops the load: the error names the
// character and its line (ErrorText adds it to the words of kErrorEncoding).
std::int16_t EncodingFailure(LibraryState& lib, const InputDecoder& decoder) {
  lib.errorDetail = decoder.Problem();
  return kErrorEncoding;
}

std::int16_t ParseFile(LibraryState& lib, ByteFile& file, const LoadOptions& options) {
  ProgressRun progress(file.Size());
  Parser parser(lib, options, progress);
  WorkBuffer work(kBufferReserve + kByteFileBlock);
  // Made once the first buffer is read: the encoding is decided from it.
  std::optional<InputDecoder> decoder;
  bool eof = false;
  bool mustGrow = false;
  std::int64_t base = 0;
  std::int64_t read = 0;
  while (!parser.Done()) {
    while (!eof && (work.Size() <= kBufferFill || mustGrow)) {
      char* const block = work.Room();
      const std::int64_t n = file.Read(block, kByteFileBlock);
      if (n < 0) return static_cast<std::int16_t>(RuntimeErrorCode());
      if (n == 0) {
        eof = true;
        break;
      }
      mustGrow = false;
      // A file that grows while it is read (or lies about its size) stops at the same limit.
      if (read + n > kMaxDocumentBytes) return kErrorFileTooLarge;
      std::size_t got = static_cast<std::size_t>(n);
      if (decoder) {
        got = decoder->Decode(block, got, false);
        if (decoder->Failed()) return EncodingFailure(lib, *decoder);
      }
      work.Filled(got);
      read += n;
      progress.BlockRead(read);
    }
    if (!decoder) {
      decoder.emplace(DetectInputEncoding(work.Text(), lib.currentEncoding));
      work.Truncate(decoder->Decode(work.Data(), work.Size(), eof));
      parser.SetDecoded(decoder->Unicode());
      parser.DetectHtml(work.Text());
    } else if (eof) {
      decoder->Decode(work.Room(), 0, true);  // a character the file's end cut short
    }
    if (decoder->Failed()) return EncodingFailure(lib, *decoder);
    if (eof) {
      const std::string_view text = WithoutTrailingBlanks(work.Text());
      parser.Scan(text.data(), text.size(), true, base);
      break;
    }
    const std::string_view text = work.Text();
    const std::size_t used = parser.Scan(text.data(), text.size(), false, base);
    work.Consume(used);
    base += static_cast<std::int64_t>(used);
    mustGrow = used == 0;
  }
  return parser.Result();
}

}  // namespace

std::int16_t LoadFile(std::string_view fileName, const LoadOptions& options) {
  LibraryState& lib = Lib();
  lib.lastError = 0;
  // Cut to the field, the name would be another file's (and side files would be looked for
  // beside that one).
  if (fileName.size() > kFileNameMax) return lib.lastError = error_code::kInvalidFileName;
  lib.currentFileName = std::string(fileName);
  // A FIFO would never end or never answer, a device may be endless or act on being opened: only
  // regular files are read, and no more of them than a document may hold.
  if (!ByteFile::RegularOrMissing(fileName)) return lib.lastError = kErrorNotRegularFile;
  ByteFile file;
  if (!file.Open(fileName, options.defaultMode ? kReadWriteDenyWrite : options.mode)) {
    lib.lastError = static_cast<std::int16_t>(RuntimeErrorCode());
    return lib.lastError;
  }
  if (!file.IsRegular()) return lib.lastError = kErrorNotRegularFile;
  if (file.Size() > kMaxDocumentBytes) return lib.lastError = kErrorFileTooLarge;
  file.SendOption("FILEBUFFERS=1500");
  BeginParse(lib, options);
  lib.fromFile = true;
  const std::int16_t code = ParseFile(lib, file, options);
  lib.fromFile = false;
  file.Close();
  lib.lastFileLoaded = lib.currentFileName;
  return EndParse(lib, code);
}

std::int16_t LoadText(std::string_view text, const LoadOptions& options) {
  LibraryState& lib = Lib();
  lib.lastError = 0;
  BeginParse(lib, options);
  std::int16_t code;
  {
    ProgressRun progress(static_cast<std::int64_t>(text.size()));
    Parser parser(lib, options, progress);
    InputDecoder decoder(DetectInputEncoding(text, lib.currentEncoding));
    std::string decoded;
    if (decoder.Active()) {
      decoded.assign(text);
      decoded.resize(decoder.Decode(decoded.data(), decoded.size(), true));
      text = decoded;
      parser.SetDecoded(decoder.Unicode());
    }
    if (decoder.Failed()) {
      code = EncodingFailure(lib, decoder);
    } else {
      parser.DetectHtml(text);
      const std::string_view trimmed = WithoutTrailingBlanks(text);
      parser.Scan(trimmed.data(), trimmed.size(), true, 0);
      code = parser.Result();
    }
  }
  return EndParse(lib, code);
}

const Document& ThreadDocument() { return Lib().document; }

void AddReplacement(std::string_view from, std::string_view to) {
  Lib().replacements.emplace_back(std::string(TrimBlanks(from)), std::string(TrimBlanks(to)));
}

void ClearReplacements() { Lib().replacements.clear(); }

StateView State() {
  const LibraryState& lib = Lib();
  std::string parent;
  for (const std::string& n : lib.parentPath) {
    if (!parent.empty()) parent += '/';
    parent += n;
  }
  return StateView{lib.lastError,       lib.currentRecord,    lib.deepestLevel, parent,
                   lib.currentEncoding, lib.detectedEncoding, lib.utf8,         lib.lastFileLoaded,
                   lib.parseTime,       lib.openElements};
}

void SetCurrentEncoding(std::string_view encoding) {
  LibraryState& lib = Lib();
  lib.currentEncoding = Upper(TrimBlanks(encoding)).substr(0, kEncodingMax);
  lib.utf8 = lib.currentEncoding == "UTF-8";
}

}  // namespace vantrel::xml
