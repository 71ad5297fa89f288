// The Ansible playbook of an export: one play for the hosts of an inventory group, one
// ansible.windows.win_regedit task per item, in list order: type dword with the value to set, or
// state absent for "N/A". Text is UTF-8 YAML; names are single-quoted scalars, tagged !unsafe
// where Ansible would otherwise read "{" as the start of a template.
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

// The playbook's bytes. `values` names the set in the play's title.
ExportResult WriteAnsiblePlaybook(const std::vector<ExportItem>& items, std::string_view group,
                                  ExportValues values);

}  // namespace vantrel::app
