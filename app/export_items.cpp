#include "app/export_items.h"

#include <cstdio>

#include "app/input_checks.h"
#include "app/settings_file.h"
#include "runtime/queue/queue.h"
#include "runtime/system/registry.h"

namespace vantrel::app {
namespace {

// The command whose values the export carries. The current values are exported as "Save
// current" followed by "Restore saved" would write them, so they go through the same plan.
int ApplyModeFor(ExportValues values) {
  switch (values) {
    case ExportValues::kDisable: return kApplyDisable;
    case ExportValues::kEnable: return kApplyEnable;
    case ExportValues::kSaved:
    case ExportValues::kCurrent: break;
  }
  return kApplySaved;
}

// Why the names cannot travel, or "" when they can. Control characters end a line of a .reg
// file and YAML refuses them; neither has an escape regedit or Ansible reads back.
std::string NameProblem(const ExportItem& item) {
  auto control = [](std::string_view text) -> int {
    for (unsigned char c : text)
      if (c < 0x20 || c == 0x7F) return c;
    return -1;
  };
  char code[16];
  if (item.keyName.empty()) return "it names no key";
  if (std::string problem = KeyPathProblem(item.keyName); !problem.empty()) return problem;
  if (!item.valueName.empty()) {
    if (std::string problem = ValueNameProblem(item.valueName); !problem.empty()) return problem;
  }
  if (ItemNamesHaveEdgeBlanks(item.keyName, item.valueName)) {
    return "its key path or value name begins or ends with a blank";
  }
  if (item.keyName.front() == '\\' || item.keyName.back() == '\\' ||
      item.keyName.find("\\\\") != std::string::npos) {
    return "its key path has an empty part";
  }
  if (const int c = control(item.keyName); c >= 0) {
    std::snprintf(code, sizeof code, "0x%02x", c);
    return std::string("its key path holds the control character ") + code;
  }
  if (const int c = control(item.valueName); c >= 0) {
    std::snprintf(code, sizeof code, "0x%02x", c);
    return std::string("its value name holds the control character ") + code;
  }
  return "";
}

}  // namespace

std::optional<ExportValues> ExportValuesNamed(std::string_view name) {
  for (ExportValues v : {ExportValues::kDisable, ExportValues::kEnable, ExportValues::kSaved,
                         ExportValues::kCurrent}) {
    if (ExportValuesName(v) == name) return v;
  }
  return std::nullopt;
}

std::string_view ExportValuesName(ExportValues values) {
  switch (values) {
    case ExportValues::kDisable: return "disable";
    case ExportValues::kEnable: return "enable";
    case ExportValues::kSaved: return "saved";
    case ExportValues::kCurrent: break;
  }
  return "current";
}

std::string DescribeExportItem(const ExportItem& item) {
  return "item " + std::to_string(item.position) + " (" + item.keyName + ", " +
         (item.valueName.empty() ? "the default value" : item.valueName) + ")";
}

bool CollectExportItems(MainData& data, ExportValues values, std::vector<ExportItem>* items,
                        std::string* error) {
  items->clear();
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    DisplayRecord row = data.displayQueue.buffer;
    if (values == ExportValues::kCurrent) row.SAVEDVALUE = row.CURRENTVALUE.View();
    const bool nameCut = NameWasCut(data, i);
    // The machines an export reaches are not known: the guard always holds (unless forced).
    const ApplyStep step =
        PlanApply(row, ApplyModeFor(values), nameCut, data.smb1Guard != Smb1Guard::kNever);
    ExportItem item;
    item.position = i;
    item.keyName = row.KEYNAME.Str();
    item.valueName = row.VALUENAME.Str();
    item.remove = step.kind != ApplyStep::kWrite;
    if (!item.remove) item.data = DwordFromText(step.value);
    std::string problem = NameProblem(item);
    if (problem.empty() && IsSambaKey(item.keyName)) {
      problem =
          "it is a parameter of Samba's smb.conf, which these files cannot set: run "
          "vantrelctl disable on the Samba server itself";
    }
    if (problem.empty() && nameCut) {
      problem =
          "its key path, value name or a value was cut, or a name lost a tab or line break, "
          "when the settings file was loaded: exported, it would name another key or value or "
          "another number";
    }
    if (problem.empty() && step.badValue) {
      problem = ValueTextProblem(step.value);
    } else if (problem.empty() && step.kind == ApplyStep::kRefuse) {
      problem = step.value == kNotAvailable
                    ? "its value is \"N/A\" but it names no value: removing it would delete the "
                      "whole key"
                    : step.refusal;
    }
    if (!problem.empty()) {
      *error = DescribeExportItem(item) + ": " + problem;
      return false;
    }
    items->push_back(std::move(item));
  }
  return true;
}

std::string ExportItemValueText(const ExportItem& item) {
  return item.remove ? std::string(kNotAvailable) : std::to_string(item.data);
}

TakesEffect ExportItemTakesEffect(const ExportItem& item) {
  const ValueName name[] = {{item.keyName, item.valueName}};
  return RestartsNeeded(name).front();
}

std::vector<TakesEffect> ExportRestarts(const std::vector<ExportItem>& items) {
  std::vector<ValueName> names;
  names.reserve(items.size());
  for (const ExportItem& item : items) names.push_back({item.keyName, item.valueName});
  return RestartsNeeded(names);
}

}  // namespace vantrel::app
