#include "app/export_ansible.h"

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

std::string YamlText(std::string_view ansi) {
  // In single quotes YAML takes every character as it stands except the quote, which doubles.
  std::string out = "'";
  for (char c : AnsiToUtf8(ansi)) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += "'";
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
