#include "runtime/system/store/wine_registry_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/text/ansi_text.h"
#include "runtime/system/local_time.h"

namespace vantrel::store {
namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";
constexpr uint64_t kTicks1601To1970 = 116444736000000000ull;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// A line of the file without its line break (a carriage return before it is dropped too).
std::string_view LineAt(const std::string& text, size_t begin, size_t end, size_t& next) {
  const char* nl = static_cast<const char*>(std::memchr(text.data() + begin, '\n', end - begin));
  size_t stop = nl ? static_cast<size_t>(nl - text.data()) : end;
  next = nl ? stop + 1 : end;
  if (stop > begin && text[stop - 1] == '\r') --stop;
  return std::string_view(text.data() + begin, stop - begin);
}

void AppendHex(std::string& out, uint64_t value, int width) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*llx", width, static_cast<unsigned long long>(value));
  out += buf;
}

// strtoul(text, &end, 16) of a C library with a 64-bit unsigned long, which is what Wine's
// loader reads numbers with: white space, a sign and "0x" may come first, a run of hex digits
// follows, a value too large gives 2^64-1 and a minus sign negates. `end` is where the digits
// stop; nothing converted leaves it at `pos`.
uint64_t StrToULongHex(std::string_view s, size_t pos, size_t& end) {
  size_t p = pos;
  while (p < s.size() && (IsSpace(s[p]) || s[p] == '\n')) ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  if (p + 2 < s.size() && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X') && IsHex(s[p + 2]))
    p += 2;
  if (p >= s.size() || !IsHex(s[p])) {
    end = pos;
    return 0;
  }
  uint64_t v = 0;
  bool overflow = false;
  for (; p < s.size() && IsHex(s[p]); ++p) {
    if (v >> 60) overflow = true;
    v = (v << 4) | static_cast<uint64_t>(HexValue(s[p]));
  }
  end = p;
  if (overflow) return ~0ull;
  return negative ? 0 - v : v;
}

// Hex bytes as Wine's loader reads them: each run of hex digits is one byte (a run above ff
// fails), separated by blanks and at most one comma. Appends the bytes to `out` when given and
// returns where the bytes stop, or npos on failure.
size_t ParseHexBytes(std::string_view s, size_t p, std::string* out) {
  while (p < s.size() && IsHex(s[p])) {
    // Wine writes "xx," runs: take those without the general parser.
    if (p + 2 < s.size() && IsHex(s[p + 1]) && s[p + 2] == ',') {
      if (out) out->push_back(static_cast<char>(HexValue(s[p]) * 16 + HexValue(s[p + 1])));
      p += 3;
      while (p < s.size() && IsSpace(s[p])) ++p;
      continue;
    }
    size_t end;
    uint64_t v = StrToULongHex(s, p, end);
    if (end == p || v > 0xff) return std::string_view::npos;
    if (out) out->push_back(static_cast<char>(v));
    p = end;
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p < s.size() && s[p] == ',') ++p;
    while (p < s.size() && IsSpace(s[p])) ++p;
  }
  return p;
}

// The type tag of a value's data, as Wine's loader reads it. Sets `type` and `kind` ('s' string,
// 'h' hex, 'd' dword) and returns the tag's length; 0 for no known tag.
size_t DataTag(std::string_view rest, uint32_t& type, char& kind) {
  struct Tag {
    std::string_view tag;
    uint32_t type;
    char kind;
  };
  static constexpr Tag kTags[] = {
      {"\"", 1, 's'},        {"str:\"", 1, 's'}, {"str(2):\"", 2, 's'},
      {"str(7):\"", 7, 's'}, {"hex:", 3, 'h'},   {"dword:", 4, 'd'},
  };
  for (const auto& t : kTags)
    if (rest.substr(0, t.tag.size()) == t.tag) {
      type = t.type;
      kind = t.kind;
      return t.tag.size();
    }
  if (rest.substr(0, 4) != "hex(") return 0;
  // "hex(N):" takes N as strtoul does, so "hex():" is type 0.
  size_t end;
  type = static_cast<uint32_t>(StrToULongHex(rest, 4, end));
  if (rest.substr(end, 2) != "):") return 0;
  kind = 'h';
  return end + 2;
}

// Reads the data of one value line (after "name"=) the way Wine's loader does. `more` supplies
// the continuation lines of hex data. Returns an empty reason on success.
template <typename NextLine>
std::string ParseData(std::string_view rest, RegValue& value, NextLine&& more) {
  char kind = 0;
  size_t pos = DataTag(rest, value.type, kind);
  value.data.clear();
  if (!pos) return "unknown value type";
  switch (kind) {
    case 's': {
      // Wine ignores whatever follows the closing quote.
      std::u16string units;
      if (!ParseEscaped(rest, pos, '"', units)) return "string without closing quote";
      units.push_back(u'\0');
      value.data.resize(units.size() * 2);
      for (size_t i = 0; i < units.size(); ++i) {
        value.data[2 * i] = static_cast<char>(units[i] & 0xFF);
        value.data[2 * i + 1] = static_cast<char>(units[i] >> 8);
      }
      return {};
    }
    case 'd': {
      // strtoul without any check: more than eight digits keep the low 32 bits, a number too
      // large gives ffffffff, no digits give 0, anything after the digits is ignored.
      size_t end;
      const uint32_t v = static_cast<uint32_t>(StrToULongHex(rest, pos, end));
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
      return {};
    }
    default: {
      std::string_view line = rest;
      for (;;) {
        pos = ParseHexBytes(line, pos, &value.data);
        if (pos == std::string_view::npos) return "malformed hex data";
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos >= line.size()) return {};
        // A backslash continues the data on the next line; Wine ignores the rest of this one.
        if (line[pos] != '\\') return "malformed hex data";
        if (!more(line)) return "hex data continued past the end of the key";
        pos = 0;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
      }
    }
  }
}

// Decodes a value line. The line may continue on following lines (hex data). `named` is set once
// the name and its '=' were read: Wine then keeps the value even when its data cannot be read,
// as REG_NONE without data.
template <typename NextLine>
std::string ParseValueLine(std::string_view line, RegValue& value, bool& named, NextLine&& more) {
  size_t pos = 0;
  named = false;
  value.name.clear();
  if (line[0] == '@') {
    pos = 1;
  } else {
    pos = 1;
    if (!ParseEscaped(line, pos, '"', value.name)) return "malformed value name";
  }
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return "value name without '='";
  ++pos;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  named = true;
  return ParseData(line.substr(pos), value, more);
}

}  // namespace

char16_t LowerNameUnit(char16_t u) {
  if (u < 0x80) return (u >= 'A' && u <= 'Z') ? static_cast<char16_t>(u + 32) : u;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char16_t>(u + 32);
  if (u >= 0x100 && u <= 0x17F) {
    if (u == 0x130 || u == 0x131 || u == 0x138 || u == 0x149 || u == 0x17F) return u;
    if (u == 0x178) return 0xFF;
    bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
    bool upper = oddUpper ? (u & 1) : !(u & 1);
    return upper ? static_cast<char16_t>(u + 1) : u;
  }
  if (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) return static_cast<char16_t>(u + 32);
  if (u >= 0x410 && u <= 0x42F) return static_cast<char16_t>(u + 32);
  if (u >= 0x400 && u <= 0x40F) return static_cast<char16_t>(u + 80);
  return u;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = static_cast<int>(LowerNameUnit(a[i])) - static_cast<int>(LowerNameUnit(b[i]));
    if (d) return d;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  // Names are usually asked for as they are written: one block compare settles those.
  if (std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0) return true;
  return CompareNames(a, b) == 0;
}

bool ParseEscaped(std::string_view s, size_t& pos, char endChar, std::u16string& out) {
  size_t p = pos;
  while (p < s.size() && s[p] != endChar) {
    unsigned char c = static_cast<unsigned char>(s[p]);
    if (c == '\\' && p + 1 < s.size()) {
      char e = s[p + 1];
      char16_t simple = 0;
      switch (e) {
        case 'a': simple = u'\a'; break;
        case 'b': simple = u'\b'; break;
        case 'e': simple = 0x1B; break;
        case 'f': simple = u'\f'; break;
        case 'n': simple = u'\n'; break;
        case 'r': simple = u'\r'; break;
        case 't': simple = u'\t'; break;
        case 'v': simple = u'\v'; break;
        default: break;
      }
      if (simple) {
        out.push_back(simple);
        p += 2;
        continue;
      }
      if (e == 'x') {
        p += 2;
        if (p >= s.size() || !IsHex(s[p])) {
          out.push_back(u'x');
          continue;
        }
        unsigned v = 0;
        for (int i = 0; i < 4 && p < s.size() && IsHex(s[p]); ++i) v = v * 16 + HexValue(s[p++]);
        out.push_back(static_cast<char16_t>(v));
        continue;
      }
      if (e >= '0' && e <= '7') {
        p += 1;
        unsigned v = 0;
        for (int i = 0; i < 3 && p < s.size() && s[p] >= '0' && s[p] <= '7'; ++i)
          v = v * 8 + static_cast<unsigned>(s[p++] - '0');
        out.push_back(static_cast<char16_t>(v));
        continue;
      }
      // Any other escaped character stands for itself.
      ++p;
      c = static_cast<unsigned char>(s[p]);
    }
    if (c < 0x80) {
      out.push_back(c);
      ++p;
      continue;
    }
    // Raw UTF-8 (Wine writes escapes, but reads UTF-8 too).
    const Utf8Char ch = DecodeUtf8(std::string_view(s).substr(p));
    if (ch.size == 0 || !ch.valid) {
      out.push_back(c);  // not UTF-8: keep the byte as a Latin-1 unit
      ++p;
      continue;
    }
    uint32_t cp = ch.c;
    const size_t q = p + ch.size;
    p = q;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  if (p >= s.size()) return false;
  pos = p + 1;
  return true;
}

size_t AppendEscaped(std::string& out, std::u16string_view str, const char specials[2]) {
  static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
  size_t start = out.size();
  char buf[16];
  for (size_t i = 0; i < str.size(); ++i) {
    char16_t u = str[i];
    size_t left = str.size() - i;
    if (u > 127) {
      bool hexNext = left > 1 && str[i + 1] < 128 && IsHex(static_cast<char>(str[i + 1]));
      std::snprintf(buf, sizeof buf, hexNext ? "\\x%04x" : "\\x%x", static_cast<unsigned>(u));
      out += buf;
      continue;
    }
    if (u < 32) {
      if (kEscapes[u] != '.') {
        out += '\\';
        out += kEscapes[u];
      } else {
        bool octNext = left > 1 && str[i + 1] >= '0' && str[i + 1] <= '7';
        std::snprintf(buf, sizeof buf, octNext ? "\\%03o" : "\\%o", static_cast<unsigned>(u));
        out += buf;
      }
      continue;
    }
    char c = static_cast<char>(u);
    if (c == '\\' || c == specials[0] || c == specials[1]) out += '\\';
    out += c;
  }
  return out.size() - start;
}

void AppendValueLine(std::string& out, const RegValue& v) {
  size_t count;
  if (!v.name.empty()) {
    out += '"';
    count = 1 + AppendEscaped(out, v.name, "\"\"");
    out += "\"=";
    count += 2;
  } else {
    out += "@=";
    count = 2;
  }
  const size_t len = v.data.size();
  auto unit = [&](size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(v.data[2 * i]) |
                                 (static_cast<unsigned char>(v.data[2 * i + 1]) << 8));
  };
  if ((v.type == 1 || v.type == 2 || v.type == 7) && len >= 2 && len % 2 == 0 &&
      unit(len / 2 - 1) == 0) {
    if (v.type != 1) out += v.type == 2 ? "str(2):" : "str(7):";
    out += '"';
    // The terminating zero is implied by the closing quote.
    std::u16string units(len / 2 - 1, u'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = unit(i);
    AppendEscaped(out, units, "\"\"");
    out += "\"\n";
    return;
  }
  if (v.type == 4 && len == 4) {
    uint32_t dw = 0;
    for (int i = 3; i >= 0; --i) dw = (dw << 8) | static_cast<unsigned char>(v.data[i]);
    out += "dword:";
    AppendHex(out, dw, 8);
    out += '\n';
    return;
  }
  if (v.type == 3) {
    out += "hex:";
    count += 4;
  } else {
    char buf[24];
    int n = std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    out += buf;
    count += static_cast<size_t>(n);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < len; ++i) {
    unsigned char b = static_cast<unsigned char>(v.data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    count += 2;
    if (i < len - 1) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
}

void KeyContent::Reindex() {
  const size_t n = values.size();
  index_.resize(n);
  for (size_t i = 0; i < n; ++i) index_[i] = static_cast<uint32_t>(i);
  indexed_ = true;
  // Wine keeps a key's values sorted and writes them so: usually there is nothing to sort.
  bool sorted = true;
  for (size_t i = 1; i < n && sorted; ++i)
    sorted = CompareNames(values[i - 1].name, values[i].name) < 0;
  if (sorted) return;
  std::stable_sort(index_.begin(), index_.end(), [this](uint32_t a, uint32_t b) {
    return CompareNames(values[a].name, values[b].name) < 0;
  });
  std::vector<bool> drop;
  for (size_t i = 0; i < n;) {
    size_t j = i + 1;
    while (j < n && SameName(values[index_[i]].name, values[index_[j]].name)) ++j;
    if (j - i > 1) {
      if (drop.empty()) drop.assign(n, false);
      RegValue& first = values[index_[i]];
      RegValue& last = values[index_[j - 1]];
      first.type = last.type;
      first.data = std::move(last.data);
      first.srcEnd = 0;  // its own line no longer says what it holds
      for (size_t k = i + 1; k < j; ++k) drop[index_[k]] = true;
    }
    i = j;
  }
  if (drop.empty()) return;
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i)
    if (!drop[i]) {
      if (kept != i) values[kept] = std::move(values[i]);
      ++kept;
    }
  values.resize(kept);
  Reindex();
}

size_t KeyContent::Lower(std::u16string_view name) const {
  auto at = std::lower_bound(
      index_.begin(), index_.end(), name,
      [this](uint32_t a, std::u16string_view b) { return CompareNames(values[a].name, b) < 0; });
  return static_cast<size_t>(at - index_.begin());
}

RegValue* KeyContent::Find(std::u16string_view name) {
  if (!indexed_ || index_.size() != values.size()) Reindex();
  const size_t i = Lower(name);
  if (i < index_.size() && SameName(values[index_[i]].name, name)) return &values[index_[i]];
  return nullptr;
}

RegValue& KeyContent::Set(RegValue value) {
  if (!indexed_ || index_.size() != values.size()) Reindex();
  const size_t i = Lower(value.name);
  if (i < index_.size() && SameName(values[index_[i]].name, value.name)) {
    RegValue& old = values[index_[i]];
    old.type = value.type;
    old.data = std::move(value.data);
    old.srcEnd = 0;
    return old;
  }
  const uint32_t at = i < index_.size() ? index_[i] : static_cast<uint32_t>(values.size());
  value.srcBegin = value.srcEnd = 0;
  values.insert(values.begin() + at, std::move(value));
  for (uint32_t& x : index_)
    if (x >= at) ++x;
  index_.insert(index_.begin() + static_cast<long>(i), at);
  return values[at];
}

bool KeyContent::Erase(std::u16string_view name) {
  if (!indexed_ || index_.size() != values.size()) Reindex();
  const size_t i = Lower(name);
  if (i >= index_.size() || !SameName(values[index_[i]].name, name)) return false;
  const uint32_t at = index_[i];
  values.erase(values.begin() + at);
  index_.erase(index_.begin() + static_cast<long>(i));
  for (uint32_t& x : index_)
    if (x > at) --x;
  return true;
}

uint64_t FileTimeNow() { return CurrentFileTime(); }

// ---------------------------------------------------------------------------------------------

void RegistryFile::Fail(size_t offset, const std::string& reason) {
  if (!problem_.empty()) return;
  problem_ = reason;
  problemLine_ = 1 + static_cast<size_t>(std::count(text_.begin(), text_.begin() + offset, '\n'));
}

std::u16string_view RegistryFile::Intern(std::u16string_view name) {
  if (nameChunks_.empty() || chunkUsed_ + name.size() > chunkSize_) {
    chunkSize_ = std::max<size_t>(name.size(), 32768);
    nameChunks_.push_back(std::make_unique<char16_t[]>(chunkSize_));
    chunkUsed_ = 0;
  }
  char16_t* at = nameChunks_.back().get() + chunkUsed_;
  std::copy(name.begin(), name.end(), at);
  chunkUsed_ += name.size();
  return std::u16string_view(at, name.size());
}

RegistryFile::Node* RegistryFile::NewNode(Node* parent, std::u16string_view name) {
  Node& n = nodes_.Add();
  n.name = Intern(name);
  n.parent = parent;
  if (parent) {
    auto& kids = parent->children;
    if (parent->sorted && !kids.empty() && CompareNames(kids.back()->name, n.name) > 0) {
      auto at = std::lower_bound(kids.begin(), kids.end(), &n, [](const Node* a, const Node* b) {
        return CompareNames(a->name, b->name) < 0;
      });
      kids.insert(at, &n);
    } else {
      kids.push_back(&n);
    }
  }
  return &n;
}

RegistryFile::Node* RegistryFile::Child(Node* parent, std::u16string_view name) {
  // Keys come sorted in Wine's files, so a new child usually sorts after the last one.
  auto& kids = parent->children;
  if (kids.empty() || CompareNames(kids.back()->name, name) < 0) return NewNode(parent, name);
  if (Node* found = ChildByName(parent, name)) return found;
  return NewNode(parent, name);
}

RegistryFile::Node* RegistryFile::ChildByName(Node* parent, std::u16string_view name) {
  auto& kids = parent->children;
  auto at = std::lower_bound(
      kids.begin(), kids.end(), name,
      [](const Node* a, std::u16string_view b) { return CompareNames(a->name, b) < 0; });
  return (at != kids.end() && SameName((*at)->name, name)) ? *at : nullptr;
}

namespace {

// Skips a quoted text of the file (escapes included) starting after its opening quote; returns
// the position after the closing quote, or npos. A quote is escaped exactly when an odd run of
// backslashes precedes it (every other escape of the format is a backslash and letters or
// digits), so the search can jump from quote to quote.
size_t SkipQuoted(std::string_view s, size_t p, char endChar) {
  const char* base = s.data();
  while (p < s.size()) {
    const void* hit = std::memchr(base + p, endChar, s.size() - p);
    if (!hit) return std::string_view::npos;
    size_t q = static_cast<size_t>(static_cast<const char*>(hit) - base);
    size_t run = 0;
    while (q - run > p && base[q - run - 1] == '\\') ++run;
    // Backslashes before the search start belong to escapes already passed.
    if (run % 2 == 0) return q + 1;
    p = q + 1;
  }
  return std::string_view::npos;
}

// Length of the common start of two texts, eight bytes at a time.
size_t CommonPrefix(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size()), i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) return i + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

size_t SkipSpace(std::string_view s, size_t p) {
  while (p < s.size() && IsSpace(s[p])) ++p;
  return p;
}

// Hex bytes from `p` as Wine reads them; sets `continued` when a backslash continues them on
// the next line (Wine ignores the rest of the line after it).
const char* CheckHexBytes(std::string_view s, size_t p, bool& continued) {
  continued = false;
  p = ParseHexBytes(s, p, nullptr);
  if (p == std::string_view::npos) return "malformed hex data";
  p = SkipSpace(s, p);
  if (p >= s.size()) return nullptr;
  if (s[p] != '\\') return "malformed hex data";
  continued = true;
  return nullptr;
}

// The same rules as ParseValueLine, without decoding anything: the whole file is checked this
// way before it is first written, so that only files that can be written back completely are
// changed.
const char* CheckValueLine(std::string_view s, bool& continued) {
  continued = false;
  size_t p = 1;
  if (s[0] == '"') {
    p = SkipQuoted(s, 1, '"');
    if (p == std::string_view::npos) return "malformed value name";
  }
  p = SkipSpace(s, p);
  if (p >= s.size() || s[p] != '=') return "value name without '='";
  std::string_view d = s.substr(SkipSpace(s, p + 1));
  uint32_t type = 0;
  char kind = 0;
  const size_t q = DataTag(d, type, kind);
  if (!q) return "unknown value type";
  if (kind == 's')
    return SkipQuoted(d, q, '"') == std::string_view::npos ? "string without closing quote"
                                                           : nullptr;
  if (kind == 'd') return nullptr;  // Wine reads any dword line
  return CheckHexBytes(d, q, continued);
}

// Decodes a name that holds no escapes and only ASCII without building it unit by unit. False
// when the name was plain, so that it cannot hold a backslash.
bool DecodeName(std::string_view raw, std::u16string& out) {
  out.clear();
  bool plain = true;
  for (char c : raw)
    if (c == '\\' || static_cast<unsigned char>(c) >= 0x80) {
      plain = false;
      break;
    }
  if (plain) {
    out.assign(raw.begin(), raw.end());
    return false;
  }
  std::string s(raw);
  s += '\n';  // a terminator that cannot occur inside a line
  size_t pos = 0;
  ParseEscaped(s, pos, '\n', out);
  return true;
}

}  // namespace

bool RegistryFile::Load(std::string text) {
  ++generation_;
  validated_ = false;
  text_ = std::move(text);
  nodes_.Clear();
  blocks_.Clear();
  order_.clear();
  order_.reserve(text_.size() / 128);
  nameChunks_.clear();
  chunkUsed_ = chunkSize_ = 0;
  problem_.clear();
  problemLine_ = 0;
  nodes_.Add();  // the file's root

  size_t next = 0;
  std::string_view first = LineAt(text_, 0, text_.size(), next);
  if (first != kSignature) {
    Fail(0, "not a Wine registry file (the first line is not \"WINE REGISTRY Version 2\")");
    headerEnd_ = text_.size();
    return false;
  }
  headerEnd_ = text_.size();
  // The previous key's raw name and where each of its components ends in it: Wine writes keys
  // in order, so most of a key's path repeats the one before and needs no decoding.
  std::string_view prevRaw;
  std::vector<std::pair<size_t, Node*>> prevComps;
  std::vector<std::pair<size_t, Node*>> comps;
  std::u16string name;
  Block* open = nullptr;
  const size_t size = text_.size();
  // Only the key lines are read now; a key's values are decoded when someone asks for them, and
  // the rest of the lines are checked by Validate() before the file is first written. A key
  // line is one whose first character after blanks is '[', as Wine reads them; values cannot
  // hold a line break and hex data cannot hold '['. `bracket` is set to the '['.
  size_t bracket = 0;
  auto nextKey = [&](size_t from) -> size_t {
    // '[' hardly occurs anywhere but in key lines, so look for it alone.
    while (from < size) {
      const void* hit = std::memchr(text_.data() + from, '[', size - from);
      if (!hit) return size;
      size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text_.data());
      size_t start = at;
      while (start > 0 && IsSpace(text_[start - 1])) --start;
      if (start == 0 || text_[start - 1] == '\n') {
        bracket = at;
        return start;
      }
      from = at + 1;
    }
    return size;
  };
  for (size_t at = nextKey(next); at < size; at = nextKey(next)) {
    if (open)
      open->end = at;
    else
      headerEnd_ = at;
    Block& block = blocks_.Add();
    block.begin = at;
    block.end = size;
    order_.push_back(&block);
    open = &block;

    // Wine reads the file line by line, so the name must close on its own line; the rest of the
    // line (the time stamp) is not needed. A key line that cannot be read leaves its block
    // without a key: Wine skips it and the values below it, and Validate() refuses the file.
    std::string_view rest(text_.data() + bracket, size - bracket);
    size_t close = SkipQuoted(rest, 1, ']');
    if (close == std::string_view::npos || std::memchr(rest.data(), '\n', close)) {
      Fail(at, "malformed key line (the name has no closing bracket)");
      LineAt(text_, at, size, next);
      continue;
    }
    next = bracket + close;
    std::string_view raw = rest.substr(1, close - 2);
    // Components shared byte for byte with the previous key.
    size_t common = CommonPrefix(raw, prevRaw);
    comps.clear();
    Node* node = Root();
    size_t startRaw = 0;
    for (const auto& [end, n] : prevComps) {
      if (end > common) break;
      if (end != raw.size() && !(raw[end] == '\\' && end + 1 < raw.size() && raw[end + 1] == '\\'))
        break;
      comps.emplace_back(end, n);
      node = n;
      startRaw = end == raw.size() ? end : end + 2;
    }
    // The rest, component by component ("\\" separates; other escapes stay inside a name).
    size_t i = startRaw;
    while (i < raw.size()) {
      size_t j = i;
      while (j < raw.size()) {
        if (raw[j] == '\\') {
          if (j + 1 < raw.size() && raw[j + 1] == '\\') break;
          j += 2;
          continue;
        }
        ++j;
      }
      if (j > raw.size()) j = raw.size();
      if (j > i) {
        if (!DecodeName(raw.substr(i, j - i), name)) {
          node = Child(node, name);
        } else {
          // Wine splits the decoded name, so an escaped backslash (\x005c) separates components
          // as well; empty components are skipped as Wine skips repeated and leading ones.
          std::u16string_view rest(name);
          for (size_t s = 0; s < rest.size();) {
            size_t e = std::min(rest.find(u'\\', s), rest.size());
            if (e > s) node = Child(node, rest.substr(s, e - s));
            s = e + 1;
          }
        }
        comps.emplace_back(j, node);
      }
      i = j + 2;
    }
    prevRaw = raw;
    prevComps.swap(comps);
    if (node->block) {
      Fail(at, "the key is listed twice");
      continue;
    }
    node->block = &block;
    block.node = node;
  }
  return true;
}

std::u16string RegistryFile::HeaderRoot() const {
  constexpr std::string_view kMark = ";; All keys relative to ";
  size_t next = 0;
  LineAt(text_, 0, text_.size(), next);
  for (size_t at = next; at < headerEnd_; at = next) {
    std::string_view line = LineAt(text_, at, headerEnd_, next);
    if (line.substr(0, kMark.size()) == kMark) {
      std::string_view rest = line.substr(kMark.size());
      std::u16string out;
      for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '\\') ++i;
        out.push_back(static_cast<unsigned char>(rest[i]));
      }
      return out;
    }
  }
  return {};
}

void RegistryFile::DecodeBlock(const Block& block, KeyContent& c) const {
  size_t next = 0;
  size_t at = block.begin;
  LineAt(text_, at, block.end, next);              // the key line itself
  std::vector<std::pair<size_t, size_t>> pending;  // blank and comment lines not yet placed
  RegValue value;
  for (at = next; at < block.end; at = next) {
    std::string_view raw = LineAt(text_, at, block.end, next);
    size_t p = 0;
    while (p < raw.size() && IsSpace(raw[p])) ++p;
    std::string_view line = raw.substr(p);
    if (line.empty() || line[0] == ';') {
      pending.emplace_back(at, next);
      continue;
    }
    for (auto& [b, e] : pending) {
      size_t n = 0;
      std::string_view l = LineAt(text_, b, e, n);
      if (!l.empty()) c.keptLines.emplace_back(l);
    }
    pending.clear();
    if (line[0] == '#') {
      if (line.substr(0, 6) == "#time=") {
        uint64_t t = 0;
        for (size_t i = 6; i < line.size() && IsHex(line[i]); ++i) t = (t << 4) | HexValue(line[i]);
        c.hasTime = true;
        c.time = t;
      } else if (line.substr(0, 7) == "#class=") {
        size_t q = 8;
        std::u16string cls;
        if (line.size() < 8 || line[7] != '"' || !ParseEscaped(line, q, '"', cls)) {
          if (c.badOffset < 0)
            c.badOffset = static_cast<long>(at), c.badReason = "malformed #class";
        } else {
          c.hasClass = true;
          c.keyClass = std::move(cls);
        }
      } else if (line.substr(0, 5) == "#link") {
        c.link = true;
      } else {
        c.keptLines.emplace_back(raw);
      }
      continue;
    }
    if (line[0] != '@' && line[0] != '"') {
      if (c.badOffset < 0) c.badOffset = static_cast<long>(at), c.badReason = "unrecognized line";
      continue;
    }
    size_t lineStart = at;
    auto more = [&](std::string_view& l) {
      if (next >= block.end) return false;
      l = LineAt(text_, next, block.end, next);
      return true;
    };
    bool named = false;
    std::string why = ParseValueLine(line, value, named, more);
    if (!why.empty()) {
      if (c.badOffset < 0) c.badOffset = static_cast<long>(lineStart), c.badReason = why;
      if (!named) continue;
      // Wine keeps a value whose data it cannot read, empty and of type REG_NONE.
      value.type = 0;
      value.data.clear();
    }
    // Wine drops a value whose name is longer than Windows allows; its lines stay in the file
    // as they are, so that rewriting the key loses nothing Wine could read before.
    if (value.name.size() > kMaxValueNameLength) {
      std::string_view raw(text_.data() + lineStart, next - lineStart);
      while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
      c.keptLines.emplace_back(raw);
      value = RegValue{};
      continue;
    }
    value.srcBegin = lineStart - block.begin;
    value.srcEnd = next - block.begin;
    c.values.push_back(std::move(value));
    value = RegValue{};
  }
  // A value listed twice holds what its last line says (Reindex merges them).
  c.Reindex();
  if (!pending.empty())
    c.tail.assign(text_, pending.front().first, block.end - pending.front().first);
}

bool RegistryFile::Validate() {
  if (!problem_.empty()) return false;
  if (validated_) return true;
  // Wine reads each line as a C string, so a NUL byte ends the line for Wine but not for us;
  // such a file would mean different things to the two, so it is not written back.
  if (const void* nul = std::memchr(text_.data(), 0, text_.size())) {
    Fail(static_cast<size_t>(static_cast<const char*>(nul) - text_.data()),
         "NUL byte inside a line");
    return false;
  }
  size_t next = 0;
  LineAt(text_, 0, text_.size(), next);
  bool continued = false;
  bool inKey = false;
  size_t blockIndex = 0;
  const size_t size = text_.size();
  for (size_t at = next; at < size; at = next) {
    std::string_view line = LineAt(text_, at, size, next);
    if (continued) {
      if (const char* why = CheckHexBytes(line, SkipSpace(line, 0), continued)) Fail(at, why);
      if (!problem_.empty()) return false;
      continue;
    }
    size_t p = SkipSpace(line, 0);
    if (p == line.size() || line[p] == ';') continue;
    char c = line[p];
    if (c == '[') {
      // Load() took every line whose first character after blanks is '[' as a key, in order;
      // volatile keys have no lines.
      while (blockIndex < order_.size() && order_[blockIndex]->node &&
             order_[blockIndex]->node->isVolatile)
        ++blockIndex;
      if (blockIndex >= order_.size() || order_[blockIndex]->begin != at) {
        Fail(at, "key line not where it was read");
        return false;
      }
      if (SkipQuoted(line, p + 1, ']') == std::string_view::npos) {
        Fail(at, "malformed key line");
        return false;
      }
      ++blockIndex;
      inKey = true;
    } else if (c == '#') {
      if (inKey && line.substr(p, 7) == "#class=" &&
          (line.substr(p + 7, 1) != "\"" || SkipQuoted(line, p + 8, '"') == std::string_view::npos))
        Fail(at, "malformed #class");
    } else if (c == '@' || c == '"') {
      if (!inKey)
        Fail(at, "value without a key");
      else if (const char* why = CheckValueLine(line.substr(p), continued))
        Fail(at, why);
    } else {
      Fail(at, "unrecognized line");
    }
    if (!problem_.empty()) return false;
  }
  if (continued) {
    Fail(size, "hex data continued past the end of the file");
    return false;
  }
  validated_ = true;
  return true;
}

RegistryFile::Node* RegistryFile::Find(const std::vector<std::u16string>& path) {
  Node* node = Root();
  for (const auto& comp : path) {
    node = ChildByName(node, comp);
    if (!node) return nullptr;
  }
  return node;
}

RegistryFile::Node* RegistryFile::FindJoined(std::u16string_view joined) {
  Node* node = Root();
  size_t i = 0;
  while (node && i < joined.size()) {
    size_t j = joined.find(u'\\', i);
    if (j == std::u16string_view::npos) j = joined.size();
    if (j > i) node = ChildByName(node, joined.substr(i, j - i));
    i = j + 1;
  }
  return node;
}

const std::vector<RegistryFile::Node*>& RegistryFile::Children(Node* node) {
  if (!node->sorted) {
    std::stable_sort(
        node->children.begin(), node->children.end(),
        [](const Node* a, const Node* b) { return CompareNames(a->name, b->name) < 0; });
    node->sorted = true;
  }
  return node->children;
}

KeyContent* RegistryFile::Content(Node* node) {
  static KeyContent empty;
  if (!node->block) {
    empty = KeyContent{};
    return &empty;
  }
  Block* b = node->block;
  if (!b->content) {
    b->content = std::make_unique<KeyContent>();
    DecodeBlock(*b, *b->content);
  }
  return b->content.get();
}

int RegistryFile::ComparePaths(const Node* a, const Node* b) {
  std::vector<const Node*> pa, pb;
  for (; a && a->parent; a = a->parent) pa.push_back(a);
  for (; b && b->parent; b = b->parent) pb.push_back(b);
  size_t i = pa.size(), j = pb.size();
  while (i > 0 && j > 0) {
    int d = CompareNames(pa[--i]->name, pb[--j]->name);
    if (d) return d;
  }
  return static_cast<int>(i) - static_cast<int>(j) != 0 ? (i > 0 ? 1 : -1) : 0;
}

RegistryFile::Block* RegistryFile::NewBlock(Node* node, uint64_t now) {
  Block& b = blocks_.Add();
  b.node = node;
  b.dirty = true;
  b.content = std::make_unique<KeyContent>();
  b.content->hasTime = true;
  b.content->time = now;
  node->block = &b;
  InsertInOrder(&b);
  return &b;
}

void RegistryFile::InsertInOrder(Block* block) {
  auto at =
      std::upper_bound(order_.begin(), order_.end(), block, [](const Block* a, const Block* b) {
        if (!b->node) return false;
        if (!a->node) return true;
        return ComparePaths(a->node, b->node) < 0;
      });
  order_.insert(at, block);
}

RegistryFile::Node* RegistryFile::CreatePath(const std::vector<std::u16string>& path, uint64_t now,
                                             bool& created) {
  created = false;
  Node* node = Root();
  for (const auto& comp : path) {
    Node* child = ChildByName(node, comp);
    if (!child) {
      child = NewNode(node, comp);
      created = true;
    }
    node = child;
  }
  if (created) NewBlock(node, now);
  return node;
}

KeyContent* RegistryFile::Modify(Node* node, uint64_t now) {
  Block* b = node->block;
  if (!b) {
    b = NewBlock(node, now);
  } else if (!b->content) {
    b->content = std::make_unique<KeyContent>();
    DecodeBlock(*b, *b->content);
  }
  b->dirty = true;
  b->content->hasTime = true;
  b->content->time = now;
  return b->content.get();
}

void RegistryFile::RemoveTree(Node* node, uint64_t now) {
  ++generation_;
  std::vector<Node*> stack{node};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    n->removed = true;
    if (n->block) n->block->removed = true;
    for (Node* k : n->children) stack.push_back(k);
  }
  order_.erase(std::remove_if(order_.begin(), order_.end(), [](Block* b) { return b->removed; }),
               order_.end());
  Node* parent = node->parent;
  auto& kids = parent->children;
  kids.erase(std::remove(kids.begin(), kids.end(), node), kids.end());
  // A key that only existed through its sub-keys would vanish from the file with them; Windows
  // keeps the parent, so give it lines of its own.
  if (parent->parent && !parent->block && kids.empty()) NewBlock(parent, now);
}

std::string RegistryFile::Serialize() {
  std::string out;
  out.reserve(text_.size() + 4096);
  out.append(text_, 0, headerEnd_);
  auto endBlankLine = [&out]() {
    if (out.empty()) return;
    if (out.back() != '\n') out += '\n';
    if (out.size() < 2 || out[out.size() - 2] != '\n') out += '\n';
  };
  Block* previous = nullptr;
  for (Block* b : order_) {
    if (b->node && b->node->isVolatile) continue;  // its content stays what is read
    bool generated = b->dirty;
    if (generated || (previous && previous->dirty)) {
      size_t before = out.size();
      endBlankLine();
      if (previous) {
        previous->end = out.size();
        if (previous->dirty) previous->content->tail.append(out, before, out.size() - before);
      }
    }
    size_t begin = out.size();
    if (!generated) {
      out.append(text_, b->begin, b->end - b->begin);
    } else {
      KeyContent& c = *b->content;
      std::vector<const Node*> chain;
      for (const Node* n = b->node; n && n->parent; n = n->parent) chain.push_back(n);
      out += '[';
      for (size_t i = chain.size(); i-- > 0;) {
        AppendEscaped(out, chain[i]->name, "[]");
        if (i) out += "\\\\";
      }
      uint64_t t = c.hasTime ? c.time : FileTimeNow();
      out += "] ";
      out += std::to_string(t > kTicks1601To1970 ? (t - kTicks1601To1970) / 10000000ull : 0);
      out += "\n#time=";
      char buf[32];
      std::snprintf(buf, sizeof buf, "%x%08x", static_cast<unsigned>(t >> 32),
                    static_cast<unsigned>(t & 0xFFFFFFFFu));
      out += buf;
      out += '\n';
      if (c.hasClass) {
        out += "#class=\"";
        AppendEscaped(out, c.keyClass, "\"\"");
        out += "\"\n";
      }
      if (c.link) out += "#link\n";
      for (const auto& l : c.keptLines) {
        out += l;
        out += '\n';
      }
      // Values as they were read keep their lines; lines that follow each other in the old text
      // are copied in one piece, so one change in a key of many values costs a copy, not a
      // rewrite of every value.
      const size_t oldBegin = b->begin;
      size_t runBegin = 0, runEnd = 0, runFirst = 0;
      auto flush = [&](size_t upTo) {
        if (runEnd == runBegin) return;
        const size_t at = out.size();
        out.append(text_, runBegin, runEnd - runBegin);
        for (size_t k = runFirst; k < upTo; ++k) {
          RegValue& v = c.values[k];
          v.srcBegin = oldBegin + v.srcBegin - runBegin + at - begin;
          v.srcEnd = oldBegin + v.srcEnd - runBegin + at - begin;
        }
        if (out.back() != '\n') {  // the file's last line had no line break
          out += '\n';
          ++c.values[upTo - 1].srcEnd;
        }
        runBegin = runEnd = 0;
      };
      for (size_t k = 0; k < c.values.size(); ++k) {
        RegValue& v = c.values[k];
        if (v.srcEnd > v.srcBegin) {
          if (runEnd == runBegin || oldBegin + v.srcBegin != runEnd) {
            flush(k);
            runBegin = oldBegin + v.srcBegin;
            runFirst = k;
          }
          runEnd = oldBegin + v.srcEnd;
          continue;
        }
        flush(k);
        v.srcBegin = out.size() - begin;
        AppendValueLine(out, v);
        v.srcEnd = out.size() - begin;
      }
      flush(c.values.size());
      out += c.tail;
    }
    b->begin = begin;
    b->end = out.size();
    previous = b;
  }
  for (Block* b : order_)
    if (!b->node || !b->node->isVolatile) b->dirty = false;
  text_ = out;
  // Untouched keys were checked before the change and the changed ones were written here.
  validated_ = true;
  return out;
}

}  // namespace vantrel::store
