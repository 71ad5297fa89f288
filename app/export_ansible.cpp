#include "app/export_ansible.h"

#include <cstdio>

#include "runtime/ansi_text.h"

namespace vantrel::app {

bool IsAnsibleGroupName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_';
    if (!word) return false;
  }
  return true;
}

namespace {

// The characters YAML lets a file hold as they are; every other one (control characters, the C1
// controls that code page 1250 puts at its unassigned bytes) only in an escape.
bool YamlPrintable(char32_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E) || c == 0x85 ||
         (c >= 0xA0 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD && c != 0xFEFF) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

std::string YamlText(std::string_view ansi) {
  bool printable = true;
  for (char b : ansi) printable = printable && YamlPrintable(AnsiCharOf(static_cast<unsigned char>(b)));
  std::string out;
  if (printable) {
    // In single quotes YAML takes every character as it stands except the quote, which doubles.
    out = "'";
    for (char c : AnsiToUtf8(ansi)) {
      out += c;
      if (c == '\'') out += '\'';
    }
    out += "'";
  } else {
    // Double quotes are the one YAML form with escapes; every reader takes \uXXXX there.
    out = "\"";
    for (char b : ansi) {
      const char32_t c = AnsiCharOf(static_cast<unsigned char>(b));
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (YamlPrintable(c) && c != 0x09 && c != 0x0A && c != 0x0D) {
        AppendUtf8(out, c);
      } else {
        char code[8];
        std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
        out += code;
      }
    }
    out += "\"";
  }
  // Ansible runs every string of a task through its template engine; !unsafe keeps it literal.
  return ansi.find('{') == std::string_view::npos ? out : "!unsafe " + out;
}

ExportResult WriteAnsiblePlaybook(const std::vector<ExportItem>& items, std::string_view group,
                                  ExportValues values) {
  ExportResult result;
  if (!IsAnsibleGroupName(group)) {
    result.error = "'" + std::string(group) +
                   "' is no inventory group name (letters, digits and _, not starting with a digit)";
    return result;
  }
  std::string& out = result.bytes;
  out += "---\n";
  out += "- name: Vantrel registry values (" + std::string(ExportValuesName(values)) + ")\n";
  out += "  hosts: " + std::string(group) + "\n";
  out += "  gather_facts: false\n";
  out += "  tasks:\n";
  for (const ExportItem& item : items) {
    // The module turns the key's default value into a string whatever type it is asked for.
    if (item.valueName.empty() && !item.remove) {
      result.bytes.clear();
      result.error = DescribeExportItem(item) +
                     ": win_regedit writes a key's default value only as a string, not a dword";
      return result;
    }
    const std::string path = "HKLM:\\" + item.keyName;
    const std::string where = path + "\\" + item.valueName;
    out += "    - name: " +
           YamlText((item.remove ? "Remove " + where : "Set " + where + " to " +
                                                           std::to_string(item.data))) +
           "\n";
    out += "      ansible.windows.win_regedit:\n";
    out += "        path: " + YamlText(path) + "\n";
    out += "        name: " + YamlText(item.valueName) + "\n";
    if (item.remove) {
      out += "        state: absent\n";
    } else {
      out += "        data: " + std::to_string(item.data) + "\n";
      out += "        type: dword\n";
      out += "        state: present\n";
    }
  }
  return result;
}

}  // namespace vantrel::app
