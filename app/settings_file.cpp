#include "app/settings_file.h"

#include <string>
#include <string_view>

#include "runtime/error_state.h"
#include "runtime/message_dialog.h"
#include "runtime/queue.h"
#include "runtime/registry.h"
#include "xml/xml.h"

namespace vantrel::app {
namespace {

// Every failure is shown the same way: the program's line, then the error text under it.
void ShowError(std::string_view line, std::string_view errorText = {}) {
  std::string text(line);
  text += TrimTrailingBlanks(errorText);
  ShowMessage(text, "Error", kIconExclamation, "1", kButtonOk);
}

std::string RuntimeText() { return RuntimeErrorText(); }
std::string LibraryText() { return xml::ErrorText(0, true); }

// The text of a code the writer returned. The library has words for its own codes and the common
// file errors; any other file error (a full disk, say) is named by the runtime rather than shown
// as a bare number.
std::string WriterText(std::int16_t code) {
  std::string text = xml::ErrorText(code);
  if (code > 0 && code < 1000 && text == "Error: " + std::to_string(code)) text = ErrorTextFor(code);
  return text;
}

// The value an ApplyValues mode writes.
const FixedText<20>& ChosenValue(const DisplayRecord& row, int mode) {
  switch (mode) {
    case kApplySaved:
      return row.SAVEDVALUE;
    case kApplyDisable:
      return row.DISABLEVALUE;
    default:
      return row.ENABLEVALUE;
  }
}

void SetRowStyle(DisplayRecord& row, std::int32_t style) {
  row.KEYNAME_STYLE = row.VALUENAME_STYLE = row.CURRENTVALUE_STYLE = row.SAVEDVALUE_STYLE =
      row.DISABLEVALUE_STYLE = row.ENABLEVALUE_STYLE = style;
}

// Writes XmlQueue as the settings file. The library writes beside the file and renames over it
// only once everything is on the disk, so a failed save leaves the previous file whole. Returns
// false (and has told the user) when the file could not be created or completed.
bool WriteSettingsXml(MainData& data) {
  if (const std::int16_t code = xml::CreateXMLFile(data.settingsFile, "1.0", ""); code != 0) {
    ShowError("Error creating Vantrel.xml file,|", WriterText(code));
    return false;
  }
  xml::CreateParent("RegistryItems");
  xml::AddParent("", false, true, false);
  xml::QueueToXML(&data.xmlQueue, "RegistryItem");
  xml::CloseParent("", true);
  if (const std::int16_t code = xml::CloseXMLFile(); code != 0) {
    ShowError("Error writing Vantrel.xml file,|", WriterText(code));
    return false;
  }
  return true;
}

}  // namespace

void LoadSettingsFile(MainData& data) {
  QueueFree(&data.xmlQueue);
  if (xml::LoadFile(data.settingsFile) != 0) {
    ShowError("Error opening Vantrel.xml file,|", LibraryText());
  } else if (xml::FindNode("RegistryItems", "RegistryItem") != 0) {
    ShowError("Error finding RegistryItems node,|", LibraryText());
  } else {
    xml::LoadQueueOptions options;
    options.deep = true;
    options.recordBoundary = true;
    xml::LoadQueue(&data.xmlQueue, options);
  }

  QueueFree(&data.displayQueue);
  const std::int32_t count = QueueRecords(&data.xmlQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.xmlQueue, i);
    const XmlRecord& item = data.xmlQueue.buffer;
    DisplayRecord& row = data.displayQueue.buffer;
    row.KEYNAME = item.KEYNAME.View();
    row.VALUENAME = item.VALUENAME.View();
    row.SAVEDVALUE = item.SAVEDVALUE.View();
    row.DISABLEVALUE = item.DISABLEVALUE.View();
    row.ENABLEVALUE = item.ENABLEVALUE.View();
    row.KEYNAME_STYLE = row.VALUENAME_STYLE = row.SAVEDVALUE_STYLE = row.DISABLEVALUE_STYLE =
        row.ENABLEVALUE_STYLE = kStyleAsDisabled;
    QueueAdd(&data.displayQueue);
    if (RuntimeErrorCode() != 0) ShowError("Error inserting into display queue,|", RuntimeText());
  }
  RefreshCurrentValues(data);
}

void RefreshCurrentValues(MainData& data) {
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    DisplayRecord& row = data.displayQueue.buffer;
    data.work = RegistryGetValue(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View());
    if (data.work.IsBlank()) data.work = kNotAvailable;
    row.CURRENTVALUE = data.work.View();
    SetRowStyle(row, row.CURRENTVALUE == row.DISABLEVALUE ? kStyleAsDisabled : kStyleDiffers);
    QueuePut(&data.displayQueue);
    if (RuntimeErrorCode() != 0) ShowError("Error updating display queue,|", RuntimeText());
  }
}

ApplyStep PlanApply(const DisplayRecord& row, int mode) {
  const FixedText<20>& chosen = ChosenValue(row, mode);
  ApplyStep step;
  step.value = chosen.Str();
  if (chosen == kNotAvailable) {
    // Without a value name the registry layer would delete the key itself with all its
    // sub-keys; an item never means that, so it is refused.
    step.kind = row.VALUENAME.IsBlank() ? ApplyStep::kRefuse : ApplyStep::kDelete;
  }
  return step;
}

void ApplyValues(MainData& data, int mode) {
  // A registry that cannot be written at all (on Linux a Wine prefix that a running wineserver
  // holds) is said once, naming the place and the reason, instead of failing every item with a
  // message of its own; nothing is written then.
  if (std::string problem = RegistryWriteProblem(); !problem.empty()) {
    if (problem[0] >= 'a' && problem[0] <= 'z') problem[0] = static_cast<char>(problem[0] - 32);
    ShowError("Error writing to registry,|", problem);
    return;
  }
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& row = data.displayQueue.buffer;
    const std::string_view key = row.KEYNAME.Trimmed();
    const ApplyStep step = PlanApply(row, mode);
    switch (step.kind) {
      case ApplyStep::kRefuse:
        ShowError("Error deleting value from " + std::string(key) +
                  ",|The item names no value: deleting it would remove the whole key with all "
                  "its sub-keys, so nothing was deleted.");
        break;
      case ApplyStep::kDelete:
        RegistryDelete(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View());
        break;
      case ApplyStep::kWrite:
        if (RegistryPutValue(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View(),
                             step.value, 4 /* REG_DWORD */) != 0) {
          ShowError("Error writing " + std::string(key) + " to registry");
        }
        break;
    }
  }
  RefreshCurrentValues(data);
}

void SaveSettingsFile(MainData& data) {
  QueueFree(&data.xmlQueue);
  xml::Reset();
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& row = data.displayQueue.buffer;
    XmlRecord& item = data.xmlQueue.buffer;
    item.KEYNAME = row.KEYNAME.View();
    item.VALUENAME = row.VALUENAME.View();
    item.SAVEDVALUE = row.CURRENTVALUE.View();
    item.DISABLEVALUE = row.DISABLEVALUE.View();
    item.ENABLEVALUE = row.ENABLEVALUE.View();
    QueueAdd(&data.xmlQueue);
    if (RuntimeErrorCode() != 0) ShowError("Error inserting into xml queue,|", RuntimeText());
  }

  const bool written = WriteSettingsXml(data);
  LoadSettingsFile(data);
  if (written) {
    ShowMessage("Registry settings saved to Vantrel.xml file.", "Vantrel", kIconAsterisk, "1",
                kButtonOk);
  }
}

}  // namespace vantrel::app
