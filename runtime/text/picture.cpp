#include "runtime/text/picture.h"

#include <algorithm>
#include <cstdlib>

namespace vantrel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string_view Trim(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

struct Picture {
  enum Kind { kString, kNumber, kDate, kTime } kind = kString;
  int width = 0;     // S and N
  int decimals = 0;  // N
  char sign = '-';   // N: '-', '+' or '('
  bool zeroFill = false;
  bool grouping = false;
  int layout = 0;      // D and T
  char separator = 0;  // D and T: 0 keeps the layout's own
};

bool ReadNumber(std::string_view t, std::size_t* i, int* out) {
  const std::size_t start = *i;
  long v = 0;
  while (*i < t.size() && IsDigit(t[*i]) && *i - start < 6) v = v * 10 + (t[(*i)++] - '0');
  *out = static_cast<int>(v);
  return *i > start;
}

std::optional<Picture> Parse(std::string_view text) {
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '@') t.remove_prefix(1);
  if (t.empty()) return std::nullopt;
  Picture p;
  std::size_t i = 1;
  switch (Lower(t[0])) {
    case 's':
      p.kind = Picture::kString;
      if (!ReadNumber(t, &i, &p.width)) return std::nullopt;
      break;
    case 'n':
      p.kind = Picture::kNumber;
      if (i < t.size() && (t[i] == '-' || t[i] == '+' || t[i] == '(')) p.sign = t[i++];
      if (i + 1 < t.size() && t[i] == '0' && (IsDigit(t[i + 1]) || t[i + 1] == ',')) {
        p.zeroFill = true;
        ++i;
      }
      if (i < t.size() && t[i] == ',') {
        p.grouping = true;
        ++i;
      }
      if (!ReadNumber(t, &i, &p.width) || p.width == 0) return std::nullopt;
      if (i < t.size() && t[i] == '.') {
        ++i;
        if (!ReadNumber(t, &i, &p.decimals) || p.decimals > 30) return std::nullopt;
      }
      break;
    case 'd':
    case 't':
      p.kind = Lower(t[0]) == 'd' ? Picture::kDate : Picture::kTime;
      if (i + 1 < t.size() && t[i] == '0' && IsDigit(t[i + 1])) {
        p.zeroFill = true;
        ++i;
      }
      if (!ReadNumber(t, &i, &p.layout)) return std::nullopt;
      if (p.layout < 1 || p.layout > (p.kind == Picture::kDate ? 17 : 8)) return std::nullopt;
      if (i < t.size() && std::string_view("/-.:_").find(t[i]) != std::string_view::npos) {
        p.separator = t[i] == '_' ? ' ' : t[i];
        ++i;
      }
      break;
    default: return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  return p;
}

// ---- Numbers ------------------------------------------------------------------------------------

struct Decimal {
  bool negative = false;
  std::string whole;     // digits, no leading zeros ("0" for none)
  std::string fraction;  // digits
};

// Plain decimal text: blanks around, a sign, digits, a point and digits.
std::optional<Decimal> ReadDecimal(std::string_view t) {
  t = Trim(t);
  Decimal d;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    d.negative = t.front() == '-';
    t.remove_prefix(1);
  }
  const std::size_t point = t.find('.');
  const std::string_view whole = t.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  for (char c : whole) {
    if (!IsDigit(c)) return std::nullopt;
  }
  for (char c : fraction) {
    if (!IsDigit(c)) return std::nullopt;
  }
  std::size_t lead = 0;
  while (lead + 1 < whole.size() && whole[lead] == '0') ++lead;
  d.whole = whole.empty() ? "0" : std::string(whole.substr(lead));
  d.fraction = std::string(fraction);
  return d;
}

// Rounds to `decimals` places, half away from zero, on the digits themselves (no binary
// fractions in between: 0.285 rounds to 0.29).
void Round(Decimal* d, int decimals) {
  const std::size_t keep = static_cast<std::size_t>(decimals);
  const bool up = d->fraction.size() > keep && d->fraction[keep] >= '5';
  d->fraction.resize(keep, '0');
  if (up) {
    std::string digits = d->whole + d->fraction;
    int k = static_cast<int>(digits.size()) - 1;
    while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9')
      digits[static_cast<std::size_t>(k--)] = '0';
    if (k < 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[static_cast<std::size_t>(k)];
    }
    d->whole = digits.substr(0, digits.size() - keep);
    d->fraction = digits.substr(digits.size() - keep);
  }
  const bool zero = d->whole.find_first_not_of('0') == std::string::npos &&
                    d->fraction.find_first_not_of('0') == std::string::npos;
  if (zero) d->negative = false;  // no "-0"
}

std::string Grouped(const std::string& whole) {
  std::string out;
  const std::size_t n = whole.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += whole[i];
  }
  return out;
}

std::string Fit(std::string text, int width) {
  const std::size_t w = static_cast<std::size_t>(width);
  if (text.size() > w) return std::string(w, '#');
  return std::string(w - text.size(), ' ') + text;
}

std::string FormatNumber(const Picture& p, std::string_view value) {
  std::optional<Decimal> d = Trim(value).empty() ? ReadDecimal("0") : ReadDecimal(value);
  if (!d) {
    std::string as(
        value.substr(0, std::min<std::size_t>(value.size(), static_cast<std::size_t>(p.width))));
    return as + std::string(static_cast<std::size_t>(p.width) - as.size(), ' ');
  }
  Round(&*d, p.decimals);
  std::string body = p.grouping ? Grouped(d->whole) : d->whole;
  if (p.decimals > 0) body += "." + d->fraction;
  std::string before, after;
  if (d->negative) {
    if (p.sign == '(') {
      before = "(";
      after = ")";
    } else {
      before = "-";
    }
  } else if (p.sign == '+' &&
             !(d->whole == "0" && d->fraction.find_first_not_of('0') == std::string::npos)) {
    before = "+";
  }
  if (p.zeroFill) {
    const std::size_t used = before.size() + body.size() + after.size();
    if (used < static_cast<std::size_t>(p.width))
      body.insert(0, static_cast<std::size_t>(p.width) - used, '0');
  }
  return Fit(before + body + after, p.width);
}

std::optional<std::string> DeformatNumber(std::string_view text) {
  std::string t;
  for (char c : text) {
    if (c != ' ' && c != ',') t += c;
  }
  if (t.empty()) return std::string();
  bool negative = false;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    negative = true;
    t = t.substr(1, t.size() - 2);
  } else if (t.size() >= 2 && t.back() == '-') {
    negative = true;
    t.pop_back();
  }
  if (negative && !t.empty() && (t.front() == '-' || t.front() == '+')) return std::nullopt;
  std::optional<Decimal> d = ReadDecimal(t);
  if (!d) return std::nullopt;
  if (negative) d->negative = true;
  if (d->whole == "0" && d->fraction.find_first_not_of('0') == std::string::npos)
    d->negative = false;
  std::string out = d->negative ? "-" : "";
  out += d->whole;
  if (!d->fraction.empty()) out += "." + d->fraction;
  return out;
}

// ---- Dates and times ----------------------------------------------------------------------------

// Layout letters: m month, d day, h hour (two places, filled); y two-digit year, Y four-digit year;
// M minutes, S seconds (two digits); b month abbreviation, B month name; X AM or PM; '/' and ':'
// the separators a picture may replace; anything else stands for itself.
constexpr const char* kDateLayouts[] = {
    "m/d/y", "m/d/Y", "b d, Y", "B d, Y", "d/m/y", "d/m/Y", "d b y", "d b Y", "y/m/d",
    "Y/m/d", "ymd",   "Ymd",    "m/y",    "m/Y",   "y/m",   "Y/m",   "m/d/Y",
};
constexpr const char* kTimeLayouts[] = {"h:M", "hM",     "h:MX", "h:M:S",
                                        "hMS", "h:M:SX", "h:M",  "h:M:S"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

constexpr std::int32_t kFirstYear = 1801;
constexpr std::int32_t kLastYear = 9999;
constexpr std::int32_t kTimeMax = 24 * 60 * 60 * 100;

// Days from 1970-01-01 of a proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*month <= 2));
}

// A constant, not a computed global: other files' globals may ask for day numbers first.
constexpr std::int64_t kDayZero = DaysFromCivil(1800, 12, 28);

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Two(int v, char fill) {
  std::string out = std::to_string(v % 100);
  if (out.size() < 2) out.insert(out.begin(), fill);
  return out;
}

struct Moment {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::string Render(const Picture& p, const Moment& t) {
  const char* layout =
      p.kind == Picture::kDate ? kDateLayouts[p.layout - 1] : kTimeLayouts[p.layout - 1];
  const char fill = p.zeroFill ? '0' : ' ';
  const bool twelve = std::string_view(layout).find('X') != std::string_view::npos;
  std::string out;
  for (const char* c = layout; *c; ++c) {
    switch (*c) {
      case 'm': out += Two(t.month, fill); break;
      case 'd': out += Two(t.day, fill); break;
      case 'y': out += Two(t.year, '0'); break;
      case 'Y': out += std::to_string(t.year); break;
      case 'b': out += std::string(kMonths[t.month - 1], 3); break;
      case 'B': out += kMonths[t.month - 1]; break;
      case 'h': out += Two(twelve ? (t.hour + 11) % 12 + 1 : t.hour, fill); break;
      case 'M': out += Two(t.minute, '0'); break;
      case 'S': out += Two(t.second, '0'); break;
      case 'X': out += t.hour < 12 ? "AM" : "PM"; break;
      case '/':
      case ':': out += p.separator ? p.separator : *c; break;
      default: out += *c;
    }
  }
  return out;
}

std::string FormatMoment(const Picture& p, std::string_view value) {
  const std::string_view v = Trim(value);
  if (v.empty()) return {};
  std::int64_t n = 0;
  for (char c : v) {
    if (!IsDigit(c) || n > kTimeMax * 10LL) return std::string(value);
    n = n * 10 + (c - '0');
  }
  if (n == 0) return {};
  Moment t;
  if (p.kind == Picture::kDate) {
    CivilFromDays(kDayZero + n, &t.year, &t.month, &t.day);
    if (t.year < kFirstYear || t.year > kLastYear) return std::string(value);
  } else {
    if (n > kTimeMax) return std::string(value);
    const std::int64_t s = (n - 1) / 100;
    t.hour = static_cast<int>(s / 3600);
    t.minute = static_cast<int>(s / 60 % 60);
    t.second = static_cast<int>(s % 60);
  }
  return Render(p, t);
}

// Reads a text laid out as the picture shows it; numbers may lose their fill.
std::optional<std::string> DeformatMoment(const Picture& p, std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) return std::string();
  const char* layout =
      p.kind == Picture::kDate ? kDateLayouts[p.layout - 1] : kTimeLayouts[p.layout - 1];
  // A layout without separators is read by position: its fill blanks count as zeros, and a text
  // shorter than the layout lacks leading zeros ("945" under hhmm is 9:45).
  std::string packed;
  if (std::all_of(layout, layout + std::char_traits<char>::length(layout),
                  [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); })) {
    std::size_t length = 0;
    for (const char* c = layout; *c; ++c) length += *c == 'Y' ? 4 : 2;
    for (char c : t) packed += c == ' ' ? '0' : c;
    if (packed.size() < length) packed.insert(0, length - packed.size(), '0');
    t = packed;
  }
  Moment m;
  int twelve = -1;  // 0 AM, 1 PM, -1 a 24-hour layout
  bool twoDigitYear = false;
  std::size_t i = 0;
  auto number = [&](int most, int* out) {
    while (i < t.size() && t[i] == ' ') ++i;
    const std::size_t start = i;
    int v = 0;
    while (i < t.size() && IsDigit(t[i]) && static_cast<int>(i - start) < most)
      v = v * 10 + (t[i++] - '0');
    *out = v;
    return i > start;
  };
  for (const char* c = layout; *c; ++c) {
    bool ok = true;
    switch (*c) {
      case 'm': ok = number(2, &m.month); break;
      case 'd': ok = number(2, &m.day); break;
      case 'h': ok = number(2, &m.hour); break;
      case 'M': ok = number(2, &m.minute); break;
      case 'S': ok = number(2, &m.second); break;
      case 'y':
        ok = number(2, &m.year);
        twoDigitYear = true;
        break;
      case 'Y': ok = number(4, &m.year); break;
      case 'b':
      case 'B': {
        while (i < t.size() && t[i] == ' ') ++i;
        std::size_t end = i;
        while (end < t.size() && Lower(t[end]) >= 'a' && Lower(t[end]) <= 'z') ++end;
        const std::string_view word = t.substr(i, end - i);
        m.month = 0;
        for (int k = 0; k < 12 && word.size() >= 3; ++k) {
          const std::string_view name = kMonths[k];
          if (word.size() > name.size()) continue;
          bool same = true;
          for (std::size_t j = 0; j < word.size(); ++j)
            same = same && Lower(word[j]) == Lower(name[j]);
          if (same) m.month = k + 1;
        }
        ok = m.month != 0;
        i = end;
        break;
      }
      case 'X': {
        while (i < t.size() && t[i] == ' ') ++i;
        const std::string_view rest = t.substr(i, 2);
        if (rest.size() == 2 && Lower(rest[1]) == 'm' &&
            (Lower(rest[0]) == 'a' || Lower(rest[0]) == 'p')) {
          twelve = Lower(rest[0]) == 'p';
          i += 2;
        } else {
          ok = false;
        }
        break;
      }
      default: {
        const char sep = (*c == '/' || *c == ':') && p.separator ? p.separator : *c;
        if (sep == ' ') {
          ok = i < t.size() && t[i] == ' ';
          while (i < t.size() && t[i] == ' ') ++i;
        } else {
          ok = i < t.size() && t[i] == sep;
          ++i;
        }
      }
    }
    if (!ok) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  if (p.kind == Picture::kTime) {
    if (twelve >= 0) {
      if (m.hour < 1 || m.hour > 12) return std::nullopt;
      m.hour = m.hour % 12 + 12 * twelve;
    }
    const std::int32_t n = TimeNumber(m.hour, m.minute, m.second);
    if (n == 0) return std::nullopt;
    return std::to_string(n);
  }
  if (twoDigitYear) m.year += m.year < 50 ? 2000 : 1900;
  if (m.day == 0 && std::string_view(layout).find('d') == std::string_view::npos) m.day = 1;
  const std::int32_t n = DateNumber(m.year, m.month, m.day);
  if (n == 0) return std::nullopt;
  return std::to_string(n);
}

}  // namespace

bool IsPicture(std::string_view picture) { return Parse(picture).has_value(); }

std::string FormatPicture(std::string_view picture, std::string_view value) {
  const std::optional<Picture> p = Parse(picture);
  if (!p) return std::string(value);
  switch (p->kind) {
    case Picture::kString: {
      const std::size_t w = static_cast<std::size_t>(p->width);
      std::string out(value.substr(0, std::min(value.size(), w)));
      out.resize(w, ' ');
      return out;
    }
    case Picture::kNumber: return FormatNumber(*p, value);
    default: return FormatMoment(*p, value);
  }
}

std::optional<std::string> DeformatPicture(std::string_view picture, std::string_view text) {
  const std::optional<Picture> p = Parse(picture);
  if (!p) return std::string(text);
  switch (p->kind) {
    case Picture::kString:
      return std::string(text.substr(0, std::min(text.size(), static_cast<std::size_t>(p->width))));
    case Picture::kNumber: return DeformatNumber(text);
    default: return DeformatMoment(*p, text);
  }
}

std::int32_t DateNumber(int year, int month, int day) {
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12) return 0;
  if (day < 1 || day > DaysInMonth(year, month)) return 0;
  return static_cast<std::int32_t>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDayZero);
}

std::int32_t TimeNumber(int hours, int minutes, int seconds, int hundredths) {
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
      hundredths < 0 || hundredths > 99) {
    return 0;
  }
  return ((hours * 60 + minutes) * 60 + seconds) * 100 + hundredths + 1;
}

}  // namespace vantrel
