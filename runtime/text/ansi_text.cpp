#include "runtime/text/ansi_text.h"

#include <cstdio>

namespace vantrel {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char b : text) {
    const char32_t c = AnsiCharOf(static_cast<unsigned char>(b));
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char b : text) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte < 0x80) {
      out += b;
    } else {
      AppendUtf8(out, AnsiCharOf(byte));
    }
  }
  return out;
}

Utf8Char DecodeUtf8(std::string_view text) {
  Utf8Char r;
  if (text.empty()) return r;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return Utf8Char{lead, 1, true};
  std::size_t extra = 0;
  char32_t c = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return Utf8Char{lead, 1, false};
  }
  for (std::size_t k = 1; k <= extra; ++k) {
    if (k >= text.size()) return Utf8Char{0, 0, true};  // cut short: more bytes may follow
    const auto b = static_cast<unsigned char>(text[k]);
    if ((b & 0xC0) != 0x80) return Utf8Char{lead, 1, false};
    c = c << 6 | (b & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return Utf8Char{lead, 1, false};
  return Utf8Char{c, extra + 1, true};
}

AnsiConversion Utf8ToAnsi(std::string_view utf8) {
  AnsiConversion r;
  r.text.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Char ch = DecodeUtf8(utf8.substr(i));
    const int byte = ch.size == 0 || !ch.valid ? -1 : AnsiByteOf(ch.c);
    if (byte < 0) {
      r.ok = false;
      r.malformed = ch.size == 0 || !ch.valid;
      r.missing = r.malformed ? 0 : ch.c;
      r.at = i;
      return r;
    }
    r.text += static_cast<char>(byte);
    i += ch.size;
  }
  return r;
}

AnsiConversion Utf16ToAnsi(std::u16string_view utf16) {
  AnsiConversion r;
  r.text.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    std::size_t units = 1;
    bool malformed = false;
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        units = 2;
      } else {
        malformed = true;
      }
    } else if (c >= 0xDC00 && c < 0xE000) {
      malformed = true;
    }
    const int byte = malformed ? -1 : AnsiByteOf(c);
    if (byte < 0) {
      r.ok = false;
      r.malformed = malformed;
      r.missing = malformed ? 0 : c;
      r.at = i;
      return r;
    }
    r.text += static_cast<char>(byte);
    i += units - 1;
  }
  return r;
}

std::string DescribeChar(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  std::string out = code;
  // Shown as itself too, unless it is a control character or a lone half of a pair.
  const bool shown = c >= 0xA0 && !(c >= 0xD800 && c < 0xE000) && c <= 0x10FFFF;
  if (shown) {
    out += " '";
    AppendUtf8(out, c);
    out += "'";
  }
  return out;
}

std::string AnsiConversionProblem(const AnsiConversion& conversion, std::string_view encoding) {
  if (conversion.ok) return {};
  if (conversion.malformed) return "it is not valid " + std::string(encoding);
  return "the character " + DescribeChar(conversion.missing) + " has no form in code page " +
         AnsiCodePageName() + ", the program's single-byte text";
}

std::string AnsiEncodingName() { return "windows-" + AnsiCodePageName(); }

}  // namespace vantrel
