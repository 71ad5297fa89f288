#include "tools/text_escapes.h"

#include <cstdlib>

#include "runtime/text/ansi_text.h"
#include "runtime/text/text_case.h"

namespace vantrel::tools {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string UnescapeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == '\\') {
        out += '\\';
        ++i;
        continue;
      }
      if (text[i + 1] == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 &&
          HexDigit(text[i + 3]) >= 0) {
        out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

TypingEncoding TerminalEncoding() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view locale(value);
    const std::size_t dot = locale.find('.');
    // "C", "POSIX" and a locale without a code set name type bytes as they are.
    if (dot == std::string_view::npos) return {TypingEncoding::kBytes, {}};
    const std::string_view codeset = locale.substr(dot + 1, locale.find('@') - dot - 1);
    if (EqualsIgnoreCase(codeset, "UTF-8") || EqualsIgnoreCase(codeset, "utf8")) {
      return {TypingEncoding::kUtf8, {}};
    }
    if (EqualsIgnoreCase(codeset, "CP1250") || EqualsIgnoreCase(codeset, "windows-1250")) {
      return {TypingEncoding::kBytes, {}};
    }
    return {TypingEncoding::kOther, std::string(codeset)};
  }
  return {TypingEncoding::kBytes, {}};
}

TypedText ArgumentText(std::string_view argument) {
#ifdef _WIN32
  return {std::string(argument), {}};
#else
  bool ascii = true;
  for (char c : argument) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return {std::string(argument), {}};
  const TypingEncoding terminal = TerminalEncoding();
  if (terminal.kind == TypingEncoding::kBytes) return {std::string(argument), {}};
  if (terminal.kind == TypingEncoding::kOther) {
    // Its bytes would be other letters in the code page: a Latin-2 "š" is 1250's "ą".
    return {{},
            "the locale's character set " + terminal.codeset +
                " is neither UTF-8 nor the program's code page 1250; type it in a UTF-8 "
                "locale, or give its code-page bytes under LC_ALL=C"};
  }
  const AnsiConversion converted = Utf8ToAnsi(argument);
  if (converted.ok) return {converted.text, {}};
  return {{},
          AnsiConversionProblem(converted, "UTF-8") +
              " (the terminal's locale types UTF-8; give code-page bytes under LC_ALL=C)"};
#endif
}

}  // namespace vantrel::tools
