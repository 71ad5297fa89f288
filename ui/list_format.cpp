#include "ui/list_format.h"

#include <cctype>
#include <climits>

#include "runtime/text/picture.h"

namespace vantrel::ui {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  ListFormat Run() {
    ListFormat out;
    int nextField = 1;
    int group = 0;
    while (pos_ < s_.size() && ok_) {
      const char c = s_[pos_];
      if (c == '[') {
        if (group != 0) {
          Fail("a group cannot hold another group");
          break;
        }
        ++pos_;
        out.groups.push_back({});
        out.groups.back().firstColumn = static_cast<int>(out.columns.size()) + 1;
        group = static_cast<int>(out.groups.size());
        continue;
      }
      if (c == ']') {
        if (group == 0) {
          Fail("']' without '['");
          break;
        }
        ListGroup& g = out.groups.back();
        g.lastColumn = static_cast<int>(out.columns.size());
        if (g.lastColumn < g.firstColumn) {
          Fail("an empty group");
          break;
        }
        ++pos_;
        GroupModifiers(g);
        group = 0;
        continue;
      }
      ListColumn col;
      col.group = group;
      Column(col);
      if (!ok_) break;
      // Fields: data, four colours, icon, tree level, style, tip; the next column goes on after.
      int f = col.fieldNumber != 0 ? col.fieldNumber : nextField;
      col.dataField = f++;
      if (col.hasColors) {
        col.colorField = f;
        f += 4;
      }
      if (col.hasIcon) col.iconField = f++;
      if (col.tree) col.treeField = f++;
      if (col.hasStyle) col.styleField = f++;
      if (col.hasTip) col.tipField = f++;
      nextField = f;
      if (f - 1 > out.fieldsUsed) out.fieldsUsed = f - 1;
      if (col.marked) out.markedColumn = static_cast<int>(out.columns.size()) + 1;
      out.columns.push_back(std::move(col));
    }
    if (ok_ && group != 0) Fail("'[' without ']'");
    if (!ok_) {
      ListFormat bad;
      bad.error = error_;
      bad.errorOffset = errorAt_;
      return bad;
    }
    out.valid = true;
    return out;
  }

 private:
  void Fail(const std::string& what) {
    if (ok_) {
      ok_ = false;
      error_ = what;
      errorAt_ = pos_;
    }
  }
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }

  // Decimal digits with an optional leading '-'.
  bool Number(int* value) {
    std::size_t p = pos_;
    bool negative = false;
    if (p < s_.size() && s_[p] == '-') {
      negative = true;
      ++p;
    }
    if (p >= s_.size() || !IsDigit(s_[p])) return false;
    long long v = 0;
    while (p < s_.size() && IsDigit(s_[p])) {
      v = v * 10 + (s_[p] - '0');
      if (v > INT_MAX) v = INT_MAX;
      ++p;
    }
    pos_ = p;
    *value = static_cast<int>(negative ? -v : v);
    return true;
  }

  // "(" number ")"
  bool Parenthesised(int* value, const char* what) {
    if (Peek() != '(') {
      Fail(std::string(what) + " needs a number in parentheses");
      return false;
    }
    ++pos_;
    if (!Number(value)) {
      Fail(std::string(what) + " needs a number in parentheses");
      return false;
    }
    if (Peek() != ')') {
      Fail(std::string(what) + ": ')' expected");
      return false;
    }
    ++pos_;
    return true;
  }

  bool Alignment(ListAlign* align) {
    switch (Peek()) {
      case 'L': *align = kAlignLeft; break;
      case 'R': *align = kAlignRight; break;
      case 'C': *align = kAlignCenter; break;
      case 'D': *align = kAlignDecimal; break;
      default: return false;
    }
    ++pos_;
    return true;
  }

  // Text up to the closing delimiter; pos_ ends after it.
  bool Delimited(char close, std::string* text, const char* what) {
    const std::size_t end = s_.find(close, pos_);
    if (end == std::string_view::npos) {
      Fail(std::string(what) + " is not closed by '" + close + "'");
      return false;
    }
    *text = std::string(s_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }

  // One colour value of E or B, up to the next ',' or ')'. Empty sets none.
  bool ColorValue(std::int32_t* value) {
    const std::size_t start = pos_;
    while (!AtEnd() && Peek() != ',' && Peek() != ')') ++pos_;
    const std::string_view text = s_.substr(start, pos_ - start);
    if (text.empty()) {
      *value = kNoColor;
      return true;
    }
    if (!ParseColorValue(text, value)) {
      pos_ = start;
      Fail("'" + std::string(text) + "' is not a colour value");
      return false;
    }
    return true;
  }

  void Column(ListColumn& col) {
    if (!Number(&col.width)) {
      Fail("a column starts with its width");
      return;
    }
    if (!Alignment(&col.align)) {
      Fail("the width must be followed by L, R, C or D");
      return;
    }
    if (Peek() == '(') {
      if (!Parenthesised(&col.indent, "the indent")) return;
    }
    col.headerAlign = col.align;
    col.headerIndent = col.indent;
    bool seenE = false, seenB = false, seenZ = false;
    while (ok_ && !AtEnd()) {
      const char c = Peek();
      if (IsDigit(c) || c == '-' || c == '[' || c == ']') return;  // the next column
      ++pos_;
      switch (Upper(c)) {
        case '~': {
          col.hasHeader = true;
          if (!Delimited('~', &col.header, "a header")) return;
          if (Alignment(&col.headerAlign)) {
            if (Peek() == '(' && !Parenthesised(&col.headerIndent, "the header indent")) return;
          }
          break;
        }
        case '@':
          if (!Delimited('@', &col.picture, "a picture")) return;
          break;
        case '#': {
          int n = 0;
          if (!Number(&n) || n < 1) {
            Fail("a field number must be a positive number");
            return;
          }
          if (Peek() != '#') {
            Fail("a field number is not closed by '#'");
            return;
          }
          ++pos_;
          col.fieldNumber = n;
          break;
        }
        case 'M': col.resizable = true; break;
        case '|': col.rightBorder = true; break;
        case '_': col.underline = true; break;
        case 'F': col.fixed = true; break;
        case 'Y': col.hasStyle = true; break;
        case '*': col.hasColors = true; break;
        case 'I': col.hasIcon = true; break;
        case 'J':
          col.hasIcon = true;
          col.iconFlag = true;
          break;
        case 'P': col.hasTip = true; break;
        case '/': col.slash = true; break;
        case '?': col.marked = true; break;
        case 'T':
          col.tree = true;
          if (Peek() == '(') {
            ++pos_;
            while (!AtEnd() && Peek() != ')') {
              switch (Peek()) {
                case 'L': col.treeOptions |= kTreeNoLines; break;
                case '1': col.treeOptions |= kTreeOffset; break;
                case 'R': col.treeOptions |= kTreeNoRoot; break;
                case 'B': col.treeOptions |= kTreeNoBoxes; break;
                case 'I': col.treeOptions |= kTreeIcons; break;
                default: Fail(std::string("unknown tree option '") + Peek() + "'"); return;
              }
              ++pos_;
            }
            if (AtEnd()) {
              Fail("the tree options are not closed by ')'");
              return;
            }
            ++pos_;
          }
          break;
        case 'Q': {
          const char quote = Peek();
          if (quote != '\'' && quote != '"') {
            Fail("Q must be followed by a quoted text");
            return;
          }
          ++pos_;
          std::string tip;
          bool closed = false;
          while (!AtEnd()) {
            const char q = s_[pos_++];
            if (q == quote) {
              if (Peek() == quote) {
                tip += quote;
                ++pos_;
                continue;
              }
              closed = true;
              break;
            }
            tip += q;
          }
          if (!closed) {
            Fail("the tip text is not closed");
            return;
          }
          col.hasDefaultTip = true;
          col.defaultTip = std::move(tip);
          break;
        }
        case 'Z':
          if (seenZ) {
            Fail("Z may appear once per column");
            return;
          }
          seenZ = true;
          if (!Parenthesised(&col.defaultStyle, "Z")) return;
          break;
        case 'E': {
          if (seenE) {
            Fail("E may appear once per column");
            return;
          }
          seenE = true;
          if (Peek() != '(') {
            Fail("E needs its colours in parentheses");
            return;
          }
          ++pos_;
          int count = 0;
          while (true) {
            if (count == 4) {
              Fail("E holds at most four colours");
              return;
            }
            if (!ColorValue(&col.colors[count])) return;
            ++count;
            if (Peek() == ',') {
              ++pos_;
              continue;
            }
            if (Peek() == ')') {
              ++pos_;
              break;
            }
            Fail("E's colours are not closed by ')'");
            return;
          }
          break;
        }
        case 'B': {
          if (seenB) {
            Fail("B may appear once per column");
            return;
          }
          seenB = true;
          if (Peek() != '(') {
            Fail("B needs one colour in parentheses");
            return;
          }
          ++pos_;
          if (!ColorValue(&col.fifth)) return;
          if (Peek() != ')') {
            Fail("B holds one colour closed by ')'");
            return;
          }
          ++pos_;
          break;
        }
        case 'S':
          col.scroll = true;
          if (Peek() == '(' && !Parenthesised(&col.scrollWidth, "S")) return;
          break;
        case 'H':
          col.hFlag = true;
          if (!Parenthesised(&col.hNumber, "H")) return;
          break;
        default:
          --pos_;
          Fail(std::string("unknown modifier '") + c + "'");
          return;
      }
    }
  }

  // After ']': an optional header and the edge flags for the whole group.
  void GroupModifiers(ListGroup& g) {
    while (ok_ && !AtEnd()) {
      const char c = Peek();
      switch (Upper(c)) {
        case '~':
          ++pos_;
          g.hasHeader = true;
          if (!Delimited('~', &g.header, "a group header")) return;
          break;
        case '|':
          ++pos_;
          g.rightBorder = true;
          break;
        case '_':
          ++pos_;
          g.underline = true;
          break;
        case 'M':
          ++pos_;
          g.resizable = true;
          break;
        case 'F':
          ++pos_;
          g.fixed = true;
          break;
        default: return;
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  bool ok_ = true;
  std::string error_;
  std::size_t errorAt_ = 0;
};

}  // namespace

bool ParseColorValue(std::string_view text, std::int32_t* value) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || !IsDigit(text.front())) return false;
  long long v = 0;
  if (text.back() == 'H' || text.back() == 'h') {
    text.remove_suffix(1);
    if (text.empty()) return false;
    for (char c : text) {
      if (!IsHexDigit(c)) return false;
      const int d = IsDigit(c) ? c - '0' : Upper(c) - 'A' + 10;
      v = v * 16 + d;
      if (v > 0xFFFFFFFFLL) return false;
    }
    // Hexadecimal values name all 32 bits: 80000005H is the system colour 5.
    const auto bits = static_cast<std::uint32_t>(v);
    *value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  for (char c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
    if (v > 0x80000000LL) return false;
  }
  if (!negative && v > INT32_MAX) return false;
  *value = static_cast<std::int32_t>(negative ? -v : v);
  return true;
}

ListFormat ParseListFormat(std::string_view format) { return Parser(format).Run(); }

std::string ColumnText(const ListColumn& column, std::string_view value) {
  if (column.picture.empty()) return std::string(value);
  std::string text = FormatPicture(column.picture, value);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace vantrel::ui
