#include "app/export_reg.h"

#include <cstdio>

#include "runtime/ansi_text.h"

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
  if (const std::vector<TakesEffect> restarts = sayRestarts ? ExportRestarts(items)
                                                            : std::vector<TakesEffect>{};
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
