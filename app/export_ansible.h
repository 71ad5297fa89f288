// The Ansible playbook of an export: one play for the hosts of an inventory group, one
// ansible.windows.win_regedit task per item, in list order: type dword with the value to set, or
// state absent for "N/A". Text is UTF-8 YAML; names are single-quoted scalars, tagged !unsafe
// where Ansible would otherwise read "{" as the start of a template.
//
// A task that changed a value notifies the restart the value needs: the Server service
// (LanmanServer) or the Workstation service (LanmanWorkstation), each restarted with
// ansible.windows.win_service and the services that stopping it stopped (those running before)
// started again; or a restart of the computer (ansible.windows.win_reboot). Handlers run only
// when a task changed something. Every task is tagged "vantrel" and by what it needs restarted
// (lanmanserver, lanmanworkstation, reboot). A value that is dangerous from Windows 10 / Server
// 2016 on (SMB 2 off, SMB 1 on: only with --force) is written only where the host's Windows is
// older, read by a fact-gathering task at the start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/export_items.h"

namespace vantrel::app {

// True for a group name an inventory can hold: a letter or underscore, then letters, digits
// and underscores.
bool IsAnsibleGroupName(std::string_view name);

// A YAML scalar holding the single-byte text exactly (converted to UTF-8).
std::string YamlText(std::string_view ansi);

// The playbook's bytes. `values` names the set in the play's title; without `restarts` the tasks
// notify nothing and the play has no handlers.
ExportResult WriteAnsiblePlaybook(const std::vector<ExportItem>& items, std::string_view group,
                                  ExportValues values, bool restarts = true);

// The tag of the tasks whose values need `effect`: lanmanserver, lanmanworkstation or reboot.
std::string_view AnsibleRestartTag(TakesEffect effect);

}  // namespace vantrel::app
