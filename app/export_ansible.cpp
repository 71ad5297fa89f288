#include "app/export_ansible.h"

#include <cstdio>

#include "runtime/text/ansi_text.h"

namespace vantrel::app {

bool IsAnsibleGroupName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    const bool word =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
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
  for (char b : ansi)
    printable = printable && YamlPrintable(AnsiCharOf(static_cast<unsigned char>(b)));
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

std::string_view AnsibleRestartTag(TakesEffect effect) {
  switch (effect) {
    case TakesEffect::kRestartServer: return "lanmanserver";
    case TakesEffect::kRestartWorkstation: return "lanmanworkstation";
    case TakesEffect::kReboot:
    case TakesEffect::kReloadSamba:  // Samba's rows are never exported (CollectExportItems)
    case TakesEffect::kRestartSmbd: break;
  }
  return "reboot";
}

namespace {

// The handler topic a task notifies for `effect`.
std::string RestartTopic(TakesEffect effect) {
  return "vantrel " + std::string(AnsibleRestartTag(effect));
}

// Restarting a service with win_service stops the services that depend on it and does not start
// them again: their names (those running before) are noted first and started after.
void AppendServiceHandlers(std::string& out, TakesEffect effect) {
  const bool server = effect == TakesEffect::kRestartServer;
  const std::string service = server ? "LanmanServer" : "LanmanWorkstation";
  const std::string title = server ? "the Server service" : "the Workstation service";
  const std::string topic = RestartTopic(effect);
  const std::string noted = "vantrel_services_before_" + std::string(AnsibleRestartTag(effect));
  out += "    - name: Note the running services that depend on " + title + "\n";
  out += "      ansible.windows.win_service_info: {}\n";
  out += "      register: " + noted + "\n";
  out += "      listen: " + topic + "\n";
  out += "    - name: Restart " + title + " (" + service + ")\n";
  out += "      ansible.windows.win_service:\n";
  out += "        name: " + service + "\n";
  out += "        state: restarted\n";
  out += "        force_dependent_services: true\n";
  out += "      listen: " + topic + "\n";
  out += "    - name: Start again the services that stopping " + title + " stopped\n";
  out += "      ansible.windows.win_service:\n";
  out += "        name: '{{ item }}'\n";
  out += "        state: started\n";
  out += "      loop: \"{{ " + noted + ".services | selectattr('name', 'in', (" + noted +
         ".services | selectattr('name', 'equalto', '" + service +
         "') | map(attribute='dependency_of') | first | default([], true))) | "
         "selectattr('state', 'equalto', 'started') | map(attribute='name') | list }}\"\n";
  out += "      listen: " + topic + "\n";
}

}  // namespace

ExportResult WriteAnsiblePlaybook(const std::vector<ExportItem>& items, std::string_view group,
                                  ExportValues values, bool restarts) {
  ExportResult result;
  if (!IsAnsibleGroupName(group)) {
    result.error =
        "'" + std::string(group) +
        "' is no inventory group name (letters, digits and _, not starting with a digit)";
    return result;
  }
  // Values that switch SMB 2 off or SMB 1 on (exported only with --force) are guarded by the
  // host's Windows version, which needs its facts.
  auto dangerousFrom10 = [](const ExportItem& item) {
    return !Smb1FallbackRefusal(item.keyName, item.valueName, ExportItemValueText(item)).empty();
  };
  bool guarded = false;
  for (const ExportItem& item : items) guarded = guarded || dangerousFrom10(item);

  std::string& out = result.bytes;
  out += "---\n";
  out += "- name: Vantrel registry values (" + std::string(ExportValuesName(values)) + ")\n";
  out += "  hosts: " + std::string(group) + "\n";
  out += "  gather_facts: false\n";
  out += "  tasks:\n";
  if (guarded) {
    out +=
        "    - name: Read the Windows version (some values are dangerous from Windows 10 / "
        "Server 2016 on)\n";
    out += "      ansible.windows.setup:\n";
    out += "        gather_subset: ['!all']\n";
    out += "      tags: [always]\n";
  }
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
    const bool guard = dangerousFrom10(item);
    out += "    - name: " +
           YamlText((item.remove ? "Remove " + where
                                 : "Set " + where + " to " + std::to_string(item.data)) +
                    (guard ? " (only before Windows 10 / Server 2016)" : "")) +
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
    const TakesEffect effect = ExportItemTakesEffect(item);
    if (guard)
      out += "      when: ansible_facts['distribution_major_version'] is version('10', '<')\n";
    if (restarts) out += "      notify: " + RestartTopic(effect) + "\n";
    out += "      tags: [vantrel, " + std::string(AnsibleRestartTag(effect)) + "]\n";
  }
  if (restarts && !items.empty()) {
    out += "  handlers:\n";
    // In the order of TakesEffect: the services first, the computer last.
    for (TakesEffect effect : ExportRestarts(items)) {
      if (effect != TakesEffect::kReboot) {
        AppendServiceHandlers(out, effect);
        continue;
      }
      out += "    - name: Restart the computer\n";
      out += "      ansible.windows.win_reboot:\n";
      out += "        msg: " + YamlText("Vantrel: restarting for changed registry values") + "\n";
      out += "      listen: " + RestartTopic(effect) + "\n";
    }
  }
  return result;
}

}  // namespace vantrel::app
