#include "app/export_reg.h"

#include <algorithm>
#include <cstdio>

#include "runtime/text/ansi_text.h"

namespace vantrel::app {
namespace {

void AppendUtf16Le(std::string& out, std::u16string_view units) {
  for (char16_t u : units) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
}

// One line of the file, from single-byte text, with regedit's CR LF.
void AppendLine(std::string& out, std::string_view ansi) {
  AppendUtf16Le(out, AnsiToUtf16(ansi));
  AppendUtf16Le(out, u"\r\n");
}

// hex(N):aa,bb,... (hex: for REG_BINARY), the form regedit writes for data of any type.
std::string HexData(std::uint32_t type, std::string_view bytes) {
  std::string out = type == 3 ? "hex:" : "hex(" + [type] {
    char t[12];
    std::snprintf(t, sizeof t, "%x", static_cast<unsigned>(type));
    return std::string(t);
  }() + "):";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%s%02x", i == 0 ? "" : ",", static_cast<unsigned char>(bytes[i]));
    out += b;
  }
  return out;
}

std::string Utf16Bytes(std::string_view ansi) {
  std::string out;
  AppendUtf16Le(out, AnsiToUtf16(ansi));
  return out;
}

// The data part of a value's line.
std::string RegData(const RegFileValue& value) {
  if (value.remove) return "-";
  const std::string& data = value.data;
  std::uint64_t number = 0;
  for (char c : data) number = number * 10 + static_cast<unsigned>(c - '0');
  char text[24];
  switch (value.type) {
    case 4:
      std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
      return text;
    case 5:
      return HexData(5,
                     std::string{static_cast<char>(number >> 24), static_cast<char>(number >> 16),
                                 static_cast<char>(number >> 8), static_cast<char>(number)});
    case 11: {
      std::string bytes;
      for (int i = 0; i < 8; ++i) bytes += static_cast<char>(number >> (8 * i));
      return HexData(11, bytes);
    }
    case 1: {
      // Quoted where regedit can read it back so; a control character needs the hex form.
      if (std::none_of(data.begin(), data.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return data.empty() ? "\"\"" : RegValueName(data);  // quoted as a name is
      }
      return HexData(1, Utf16Bytes(data + '\0'));
    }
    case 2: return HexData(2, Utf16Bytes(data + '\0'));
    case 7: return HexData(7, Utf16Bytes(data));
    default: return HexData(value.type, data);
  }
}

}  // namespace

std::string RegValueName(std::string_view valueName) {
  if (valueName.empty()) return "@";
  std::string out = "\"";
  for (char c : valueName) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

ExportResult WriteRegFile(const std::vector<ExportItem>& items, bool sayRestarts) {
  ExportResult result;
  std::string& out = result.bytes;
  AppendUtf16Le(out, u"\uFEFF");
  AppendLine(out, "Windows Registry Editor Version 5.00");
  if (const std::vector<TakesEffect> restarts =
          sayRestarts ? ExportRestarts(items) : std::vector<TakesEffect>{};
      !restarts.empty()) {
    AppendLine(out, "");
    AppendLine(out, "; Once imported:");
    for (TakesEffect e : restarts) AppendLine(out, "; " + std::string(TakesEffectLine(e)));
  }
  const std::string* section = nullptr;
  // A key path goes between the brackets as it stands: regedit takes the line's last ']' as the
  // end, so brackets and quotes inside key names need no escape.
  for (const ExportItem& item : items) {
    if (section == nullptr || *section != item.keyName) {
      AppendLine(out, "");
      AppendLine(out, "[HKEY_LOCAL_MACHINE\\" + item.keyName + "]");
      section = &item.keyName;
    }
    char data[16];
    std::snprintf(data, sizeof data, "dword:%08x", static_cast<unsigned>(item.data));
    AppendLine(out, RegValueName(item.valueName) + "=" + (item.remove ? "-" : data));
  }
  AppendLine(out, "");
  return result;
}

}  // namespace vantrel::app

namespace vantrel::app {

ExportResult WriteTypedRegFile(const std::vector<RegFileValue>& values) {
  ExportResult result;
  std::string& out = result.bytes;
  AppendUtf16Le(out, u"\uFEFF");
  AppendLine(out, "Windows Registry Editor Version 5.00");
  const std::string* section = nullptr;
  for (const RegFileValue& value : values) {
    if (section == nullptr || *section != value.keyName) {
      AppendLine(out, "");
      AppendLine(out, "[HKEY_LOCAL_MACHINE\\" + value.keyName + "]");
      section = &value.keyName;
    }
    AppendLine(out, RegValueName(value.valueName) + "=" + RegData(value));
  }
  AppendLine(out, "");
  return result;
}

}  // namespace vantrel::app
