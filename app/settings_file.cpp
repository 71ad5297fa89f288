#include "app/settings_file.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/input_checks.h"
#include "app/journal.h"
#include "app/known_values.h"
#include "app/settings_text.h"
#include "app/shipped_files.h"
#include "runtime/text/ansi_text.h"
#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/dialog/message_dialog.h"
#include "runtime/system/os_version.h"
#include "runtime/queue/queue.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/system/safe_replace.h"
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
  if (code > 0 && code < xml::kFirstLibraryError && text == "Error: " + std::to_string(code))
    text = ErrorTextFor(code);
  return text;
}

// The writer's failure with what the file's replacement said: which file and why (the backup's
// name, a full disk ...).
std::string ReplaceText(std::int16_t code) {
  std::string text = WriterText(code);
  if (const std::string& problem = LastReplace().problem; !problem.empty()) text += "|" + problem;
  return text;
}

// The value an ApplyValues mode writes.
const FixedText<20>& ChosenValue(const DisplayRecord& row, int mode) {
  switch (mode) {
    case kApplySaved: return row.SAVEDVALUE;
    case kApplyDisable: return row.DISABLEVALUE;
    default: return row.ENABLEVALUE;
  }
}

// Whether the registry holds the disable value: the same text, or the same number written another
// way (a disable value of 0x10 is what the registry reads back as 16).
bool SameValue(const FixedText<20>& current, const FixedText<20>& disable) {
  if (current == disable) return true;
  const auto a = NumberText(current.Trimmed(), registry_type::kDword);
  // A blank disable value writes 0.
  const auto b = disable.IsBlank() ? std::optional<std::string>("0")
                                   : NumberText(disable.Trimmed(), registry_type::kDword);
  return a && b && *a == *b;
}

void SetRowStyle(DisplayRecord& row, std::int32_t style) {
  row.KEYNAME_STYLE = row.VALUENAME_STYLE = row.CURRENTVALUE_STYLE = row.SAVEDVALUE_STYLE =
      row.DISABLEVALUE_STYLE = row.ENABLEVALUE_STYLE = style;
}

// The settings file is replaced by a rename, which POSIX allows over a file that its owner made
// read-only and Windows refuses. Loading no longer opens the file for writing, so this is where
// a file that may not be written is found out, on both. A missing file may be created.
std::int16_t WriteAccessError(const std::string& fileName) {
  ByteFile probe;
  if (probe.Open(fileName, kAccessReadWrite | kDenyNone)) return 0;
  const auto code = static_cast<std::int16_t>(RuntimeErrorCode());
  return code == error_code::kFileNotFound ? 0 : code;
}

// Writes XmlQueue as the settings file. The library writes beside the file and renames over it
// only once everything is on the disk, so a failed save leaves the previous file whole. Returns
// false (and has told the user) when the file could not be created or completed.
bool WriteSettingsXml(MainData& data) {
  xml::CreateOptions options;
  options.keepBackup = data.keepBackup;
  options.expectedFingerprint = data.loadedFingerprint;
  // The file declares the code page of its text: undeclared, bytes that happen to form UTF-8
  // would read back as other letters.
  if (const std::int16_t code =
          xml::CreateXMLFile(data.settingsFile, "1.0", AnsiEncodingName(), options);
      code != 0) {
    ShowError("Error creating Vantrel.xml file,|", ReplaceText(code));
    return false;
  }
  xml::CreateParent("RegistryItems");
  xml::AddParent("", false, true, false);
  xml::QueueToXML(&data.xmlQueue, "RegistryItem");
  xml::CloseParent("", true);
  if (const std::int16_t code = xml::CloseXMLFile(); code != 0) {
    ShowError("Error writing Vantrel.xml file,|", ReplaceText(code));
    return false;
  }
  return true;
}

// The settings file's bytes as they are now, read as the library reads a document: a regular
// file of at most its size limit, never waiting on a FIFO or a device. Nothing when they cannot
// be read so.
std::optional<std::string> SettingsFileBytes(const std::string& fileName) {
  if (!ByteFile::RegularOrMissing(fileName)) return std::nullopt;
  ByteFile file;
  if (!file.Open(fileName, kAccessRead | kDenyNone)) return std::nullopt;
  if (!file.IsRegular() || file.Size() > xml::kMaxDocumentBytes) return std::nullopt;
  std::string bytes;
  char block[kByteFileBlock];
  for (;;) {
    const std::int64_t got = file.Read(block, sizeof block);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    bytes.append(block, static_cast<std::size_t>(got));
    if (static_cast<std::int64_t>(bytes.size()) > xml::kMaxDocumentBytes) return std::nullopt;
  }
  return bytes;
}

// How the settings file's items are read: one entry for each RegistryItem, each field from its
// own element, and a file whose items cannot be told apart refused rather than guessed at.
xml::LoadQueueOptions ItemLoadOptions() {
  xml::LoadQueueOptions options;
  options.deep = true;
  options.recordBoundary = true;
  options.strict = true;
  return options;
}

// Whether `text` loads as exactly the items of XmlQueue: the same count, every field the same,
// nothing cut or changed, every element closed.
bool LoadsAsXmlQueue(MainData& data, std::string_view text) {
  if (xml::LoadText(text) != 0 || xml::FindNode("RegistryItems", "RegistryItem") != 0 ||
      xml::State().openElements > 0) {
    return false;
  }
  XmlQueue loaded;
  bool cut = false;
  xml::LoadQueueOptions options = ItemLoadOptions();
  options.onCut = [&cut](std::int32_t, const FieldDesc&) { cut = true; };
  options.onAltered = options.onCut;
  xml::LoadQueue(&loaded, options);
  const std::int32_t count = QueueRecords(&data.xmlQueue);
  bool same = !cut && xml::LastError() == 0 && QueueRecords(&loaded) == count;
  for (std::int32_t i = 1; same && i <= count; ++i) {
    QueueGetAt(&data.xmlQueue, i);
    QueueGetAt(&loaded, i);
    const XmlRecord& a = data.xmlQueue.buffer;
    const XmlRecord& b = loaded.buffer;
    same = a.KEYNAME.View() == b.KEYNAME.View() && a.VALUENAME.View() == b.VALUENAME.View() &&
           a.SAVEDVALUE.View() == b.SAVEDVALUE.View() &&
           a.DISABLEVALUE.View() == b.DISABLEVALUE.View() &&
           a.ENABLEVALUE.View() == b.ENABLEVALUE.View();
  }
  QueueFree(&loaded);
  return same;
}

// The first text of the list that a save cannot write, named by its item and field, or empty.
// XML 1.0 has no form for the control characters other than tab, line feed and carriage return
// (not even a character reference): a file holding one is refused by other programs, and the
// writer refuses to make one. Saying which item holds it lets the user find the value.
std::string UnwritableText(MainData& data) {
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& item = data.displayQueue.buffer;
    const std::pair<const char*, std::string_view> fields[] = {
        {"key path", item.KEYNAME.View()},           {"value name", item.VALUENAME.View()},
        {"current value", item.CURRENTVALUE.View()}, {"disable value", item.DISABLEVALUE.View()},
        {"enable value", item.ENABLEVALUE.View()},
    };
    if (std::binary_search(data.cutCurrentRows.begin(), data.cutCurrentRows.end(), i)) {
      return "Item " + std::to_string(i) + " (" + std::string(item.KEYNAME.Trimmed()) +
             ", value name \"" + std::string(item.VALUENAME.Trimmed()) +
             "\"): its current value is longer than the 20 characters a saved value holds, so "
             "nothing was saved.";
    }
    for (const auto& [what, text] : fields) {
      for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 || b == '\t' || b == '\n' || b == '\r') continue;
        static constexpr char kHex[] = "0123456789ABCDEF";
        return "Item " + std::to_string(i) + " (" + std::string(item.KEYNAME.Trimmed()) +
               ", value name \"" + std::string(item.VALUENAME.Trimmed()) + "\"): its " + what +
               " holds the control character 0x" + kHex[b >> 4] + kHex[b & 15] +
               ", which an XML 1.0 file cannot hold, so nothing was saved.";
      }
    }
  }
  return {};
}

enum class TextSave { kWritten, kFailed, kNotPossible };

// Writes the saved values into the settings file's own text, so that its comments and layout
// stay. Used only when the changed text loads back as exactly the items a whole new file would
// hold; otherwise (kNotPossible, `why` saying what stood in the way) the file is written whole.
TextSave WriteSavedValuesIntoText(MainData& data, std::string* why) {
  const std::optional<std::string> original = SettingsFileBytes(data.settingsFile);
  if (!original) {
    *why = "its text could not be read again";
    return TextSave::kNotPossible;
  }
  std::vector<std::string> values;
  const std::int32_t count = QueueRecords(&data.xmlQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.xmlQueue, i);
    values.push_back(data.xmlQueue.buffer.SAVEDVALUE.Str());
  }
  // A letter above 0x7F goes in as the file is read: byte for byte, or as UTF-8 when the file is
  // UTF-8. Which one that is, the reading back decides: the first form that reads back exactly.
  std::optional<std::string> text;
  bool fits = false;
  for (const LetterForm letters : {LetterForm::kBytes, LetterForm::kUtf8}) {
    text = WithSavedValues(*original, values, letters, why);
    if (!text) break;
    fits = LoadsAsXmlQueue(data, *text);
    if (fits) break;
    *why = "the values written into its text would not read back exactly";
  }
  xml::Reset();
  if (!fits) return TextSave::kNotPossible;
  ReplaceOptions options;
  options.keepBackup = data.keepBackup;
  options.expectedFingerprint = data.loadedFingerprint;
  // Said as the whole file's writer says it: creating the new file, or writing it into place.
  SafeReplace replace;
  if (!replace.Begin(data.settingsFile, options)) {
    ShowError("Error creating Vantrel.xml file,|",
              ReplaceText(static_cast<std::int16_t>(RuntimeErrorCode())));
    return TextSave::kFailed;
  }
  if (!replace.Append(text->data(), text->size()) || !replace.Commit()) {
    ShowError("Error writing Vantrel.xml file,|",
              ReplaceText(static_cast<std::int16_t>(RuntimeErrorCode())));
    return TextSave::kFailed;
  }
  return TextSave::kWritten;
}

// The window's button for a mode, as the journal names the command.
std::string_view ButtonText(int mode) {
  switch (mode) {
    case kApplySaved: return "Restore saved";
    case kApplyDisable: return "Disable Vantrel";
    default: return "Enable Vantrel";
  }
}

// Records what the steps are about to change in the journal, before anything is written, so
// that the change can be undone. A journal that cannot take it is said, and the command goes on.
void RecordInJournal(MainData& data, int mode, const std::vector<ApplyStep>& steps) {
  std::vector<JournalRow> rows;
  std::string unread;
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    const ApplyStep& step = steps[static_cast<std::size_t>(i - 1)];
    if (step.kind == ApplyStep::kRefuse) continue;
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& row = data.displayQueue.buffer;
    JournalRow journalRow{
        std::string(row.KEYNAME.Trimmed()), std::string(row.VALUENAME.Trimmed()), {}, {}};
    std::string problem;
    if (!ReadRecordedValue(journalRow.keyName, journalRow.valueName, &journalRow.before,
                           &problem)) {
      // The write goes on as it always has; only its way back is missing, and that is said.
      if (unread.empty()) unread = journalRow.keyName + " (" + problem + ")";
      continue;
    }
    if (step.kind == ApplyStep::kWrite) {
      journalRow.after = {false, registry_type::kDword, std::to_string(DwordFromText(step.value))};
    }
    rows.push_back(std::move(journalRow));
  }
  const std::string command = data.journalCommand.empty()
                                  ? "window: " + std::string(ButtonText(mode))
                                  : data.journalCommand;
  std::string problem = RecordChange(command, SettingsFilePlace(data.settingsFile), rows);
  // A value that cannot be read was named when the list was read (readProblem); said again
  // here it would be a second message for the same key.
  if (problem.empty() && !unread.empty() && data.readProblem.empty()) {
    problem = "The value of " + unread +
              " could not be read before writing, so the journal of "
              "changes does not hold it and it cannot be undone";
  }
  if (!problem.empty()) ShowMessage(problem + ".", "Warning", kIconExclamation, "1", kButtonOk);
}

}  // namespace

std::string MissingSettingsFileHint(const std::string& fileName, std::string_view otherFileHint,
                                    bool folderMissing) {
  const char separator = FolderSeparator();
  const std::size_t cut = fileName.find_last_of(separator == '/' ? "/" : "\\/");
  const std::string name = cut == std::string::npos ? fileName : fileName.substr(cut + 1);
  std::string folder = cut == std::string::npos ? std::string() : fileName.substr(0, cut);
  const bool absolute =
      !fileName.empty() && (fileName[0] == separator || fileName[0] == '/' ||
                            (separator == '\\' && fileName.size() > 1 && fileName[1] == ':'));
  if (cut == 0) folder = std::string(1, separator);
  if (!absolute || folder.empty()) {
    const std::string here = CurrentFolder();
    if (folder.empty()) {
      folder = here.empty() ? "the current folder" : here;
    } else if (!here.empty()) {
      folder = here + (here.back() == separator ? "" : std::string(1, separator)) + folder;
    }
  }
  // A name that ls shows but that opens as "not found" is a link to nothing; a folder that is
  // not there cannot take a copy until it is made. Said, so that neither is a riddle.
  std::string why;
  std::string copy = "copy one there as ";
  if (const std::string target = ByteFile::LinkTarget(fileName); target != fileName) {
    why = ": " + name + " is a symbolic link to " + target + ", which is not there";
  } else if (folderMissing) {
    why = ", a folder that is not there or cannot be reached";
    copy = "copy one into a folder that is there, as ";
  }
  return "Looked for " + name + " in " + folder + why +
         ".|The settings files that ship with Vantrel are in " + ShippedFilesPlace() + ": " + copy +
         name + std::string(otherFileHint) + ".";
}

void LoadSettingsFile(MainData& data) {
  QueueFree(&data.xmlQueue);
  data.incompleteLoad.clear();
  data.cutNameRows.clear();
  data.droppedBreakRows.clear();
  std::vector<std::int32_t> cutNameItems;      // XmlQueue positions
  std::vector<std::int32_t> alteredNameItems;  // of them, those whose text lost a control byte
  // Taken before the file is read: a change made while it loads makes a later save refuse.
  data.loadedFingerprint = FileFingerprint(data.settingsFile);
  xml::LoadOptions readOnly;
  readOnly.defaultMode = false;
  readOnly.mode = kAccessRead | kDenyWrite;
  if (const std::int16_t code = xml::LoadFile(data.settingsFile, readOnly); code != 0) {
    std::string text(TrimTrailingBlanks(LibraryText()));
    // The window opens on an empty list then: say where the file was looked for and where the
    // shipped ones are, so that the first start is no dead end.
    if (code == error_code::kFileNotFound || code == error_code::kPathNotFound) {
      text += "|" + MissingSettingsFileHint(data.settingsFile, data.otherFileHint,
                                            code == error_code::kPathNotFound);
    }
    ShowError("Error opening Vantrel.xml file,|", text);
    // A file that is not there holds nothing a save could lose.
    if (code != error_code::kFileNotFound) {
      data.incompleteLoad =
          "it could not be read: " + std::string(TrimTrailingBlanks(LibraryText()));
    }
  } else if (xml::FindNode("RegistryItems", "RegistryItem") != 0) {
    ShowError("Error finding RegistryItems node,|", LibraryText());
    data.incompleteLoad = "it holds no RegistryItems node with items";
  } else {
    // The parser keeps what it read of a file that ends in the middle, and says nothing when the
    // cut falls between two tags.
    if (xml::State().openElements > 0) {
      data.incompleteLoad = "it ends before its elements are closed";
    }
    xml::LoadQueueOptions options = ItemLoadOptions();
    // A cut name names another key or value; a cut value text is another number (cut after 20
    // characters "000000000000000000001" reads 0). Either way the row is not what the file says.
    options.onCut = [&cutNameItems](std::int32_t entry, const FieldDesc&) {
      if (cutNameItems.empty() || cutNameItems.back() != entry) cutNameItems.push_back(entry);
    };
    // A tab or line break inside a text is dropped by the reader, and what is left names another
    // key or value, or another number ("1<tab>0" reads 10). A key name cannot hold one at all; a
    // value name or value can, but the file then holds it as &#9; or &#10; (as saves write it),
    // never raw. Such items are refused as cut ones are.
    options.onAltered = [&](std::int32_t entry, const FieldDesc& field) {
      if (alteredNameItems.empty() || alteredNameItems.back() != entry)
        alteredNameItems.push_back(entry);
      options.onCut(entry, field);
    };
    xml::LoadQueue(&data.xmlQueue, options);
    if (xml::LastError() == xml::kErrorAmbiguousRecord) {
      // Which value belongs to which item could only be guessed: a guess applied writes the
      // wrong value to the wrong key, so nothing of the file is taken.
      QueueFree(&data.xmlQueue);
      cutNameItems.clear();
      alteredNameItems.clear();
      ShowError(
          "Error opening Vantrel.xml file,|",
          LibraryText() + "|No item was loaded: put each value in one element of its own item.");
      data.incompleteLoad = "it could not be read unambiguously: " + LibraryText();
    }
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
    if (RuntimeErrorCode() != 0) {
      ShowError("Error inserting into display queue,|", RuntimeText());
      data.incompleteLoad = "an item could not be added to the list";
    } else if (std::binary_search(cutNameItems.begin(), cutNameItems.end(), i)) {
      const std::int32_t row = QueueRecords(&data.displayQueue);
      data.cutNameRows.push_back(row);
      if (std::binary_search(alteredNameItems.begin(), alteredNameItems.end(), i))
        data.droppedBreakRows.push_back(row);
      if (data.incompleteLoad.empty()) {
        data.incompleteLoad = "item " + std::to_string(i) + "'s key path, value name or a value " +
                              NameCutReason(data, row);
      }
    }
  }
  RefreshCurrentValues(data);
}

void RefreshCurrentValues(MainData& data) {
  data.readProblem.clear();
  std::int32_t unreadable = 0;
  const std::int32_t count = QueueRecords(&data.displayQueue);
  data.currentTypes.assign(static_cast<std::size_t>(count > 0 ? count : 0), 0);
  data.cutCurrentRows.clear();
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    DisplayRecord& row = data.displayQueue.buffer;
    std::uint32_t type = 0;
    const std::string current =
        RegistryGetValue(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View(), &type);
    const std::int32_t readError = RuntimeErrorCode();
    data.work = current;
    if (readError == 0 && TrimTrailingBlanks(current).size() > data.work.size())
      data.cutCurrentRows.push_back(i);
    // Only a key or value that does not exist is "N/A". Any other failure leaves the value
    // unknown: shown as "N/A" it would be saved, exported and restored as a deletion.
    if (readError != 0 && readError != error_code::kFileNotFound) {
      if (unreadable++ == 0) {
        std::string reason = RegistryProblemText();
        if (reason.empty()) {
          reason = std::string(TrimTrailingBlanks(RuntimeText())) + " (error " +
                   std::to_string(readError) + ")";
        }
        data.readProblem =
            "Error reading " + std::string(row.KEYNAME.Trimmed()) + " from registry,|" + reason;
      }
      data.work = "";
      type = 0;
    } else if (data.work.IsBlank()) {
      data.work = kNotAvailable;
    }
    row.CURRENTVALUE = data.work.View();
    data.currentTypes[static_cast<std::size_t>(i - 1)] = type;
    // Windows reads these values as REG_DWORD only: a "0" kept as text is no 0 to it, so a
    // value of another type differs from every number a disable value can name.
    const bool wrongType =
        type != 0 && type != registry_type::kDword &&
        NumberText(row.DISABLEVALUE.Trimmed(), registry_type::kDword).has_value();
    SetRowStyle(row, SameValue(row.CURRENTVALUE, row.DISABLEVALUE) && !wrongType ? kStyleAsDisabled
                                                                                 : kStyleDiffers);
    QueuePut(&data.displayQueue);
    if (RuntimeErrorCode() != 0) ShowError("Error updating display queue,|", RuntimeText());
  }
  // One message for the whole list: a registry file that cannot be read fails every item alike.
  if (unreadable > 1) {
    data.readProblem += "|(" + std::to_string(unreadable) + " items could not be read)";
  }
  if (!data.readProblem.empty()) ShowError(data.readProblem);
}

bool NameWasCut(const MainData& data, std::int32_t position) {
  return std::binary_search(data.cutNameRows.begin(), data.cutNameRows.end(), position);
}

std::string NameCutReason(const MainData& data, std::int32_t position) {
  return std::binary_search(data.droppedBreakRows.begin(), data.droppedBreakRows.end(), position)
             ? "holds a tab or line break (or is split by an element), which reading drops, or a "
               "character reference to a letter the code page does not have"
             : "is longer than the list holds and was cut";
}

std::uint32_t CurrentType(const MainData& data, std::int32_t position) {
  if (position < 1 || static_cast<std::size_t>(position) > data.currentTypes.size()) return 0;
  return data.currentTypes[static_cast<std::size_t>(position - 1)];
}

bool Smb1GuardApplies(const MainData& data) {
  switch (data.smb1Guard) {
    case Smb1Guard::kAlways: return true;
    case Smb1Guard::kNever: return false;
    case Smb1Guard::kBySystem: break;
  }
  return LacksSmb1Fallback(SystemVersionRecord());
}

std::string ValueTextProblem(std::string_view text) {
  text = TrimTrailingBlanks(text);
  // A blank value has always written 0, and settings files rely on that.
  if (text.empty() || text == kNotAvailable || NumberText(text, registry_type::kDword)) return {};
  return "the value text \"" + std::string(text) + "\" is neither N/A nor " +
         NumberRule(registry_type::kDword) + ", so nothing was written for it";
}

ApplyStep PlanApply(const DisplayRecord& row, int mode, bool nameCut, bool smb1Guard) {
  const FixedText<20>& chosen = ChosenValue(row, mode);
  ApplyStep step;
  step.value = chosen.Str();
  if (chosen != kNotAvailable) {
    // The registry layer would read whatever digits lead the text and write 0 for none; an
    // item's value is either a number taken exactly or refused.
    if (step.value.empty()) {
      step.value = "0";  // what a blank text has always written
    } else if (const auto number = NumberText(step.value, registry_type::kDword)) {
      step.value = *number;
    } else {
      step.kind = ApplyStep::kRefuse;
      step.badValue = true;
      step.refusal = ValueTextProblem(step.value) + ".";
      step.refusal[0] = static_cast<char>(step.refusal[0] - 32);
    }
  } else {
    // Without a value name the registry layer would delete the key itself with all its
    // sub-keys; an item never means that, so it is refused.
    step.kind = row.VALUENAME.IsBlank() ? ApplyStep::kRefuse : ApplyStep::kDelete;
    if (step.kind == ApplyStep::kRefuse) {
      step.refusal =
          "The item names no value: deleting it would remove the whole key with all "
          "its sub-keys, so nothing was deleted.";
    }
  }
  if (smb1Guard && step.kind == ApplyStep::kWrite) {
    if (std::string refusal =
            Smb1FallbackRefusal(row.KEYNAME.Trimmed(), row.VALUENAME.Trimmed(), step.value);
        !refusal.empty()) {
      step.kind = ApplyStep::kRefuse;
      step.refusal = std::move(refusal) + " So it was not written.";
    }
  }
  if (NormalKeyPath(row.KEYNAME.Trimmed()).empty()) {
    // An empty key path is HKEY_LOCAL_MACHINE itself: no item means its values.
    step.kind = ApplyStep::kRefuse;
    step.refusal =
        "The item names no key: its value would be written to HKEY_LOCAL_MACHINE "
        "itself, so the item was left alone.";
  }
  if (ItemNamesHaveEdgeBlanks(row.KEYNAME.Trimmed(), row.VALUENAME.Trimmed())) {
    // `reg set` refuses such names too.
    step.kind = ApplyStep::kRefuse;
    step.refusal =
        "The item's key path or value name begins or ends with a blank, which names another key "
        "or value than the one meant, so the item was left alone.";
  }
  if (nameCut) {
    // A cut key path names one of the key's parents, a cut value name another value; a name
    // without the tab or line break the file holds inside it names another key or value too.
    step.kind = ApplyStep::kRefuse;
    step.refusal =
        "The item's key path, value name or a value is not the one the settings file holds: "
        "it was longer than the list holds and was cut, or a tab or line break inside it was "
        "dropped, or it holds a character reference the code page cannot hold, when the file "
        "was loaded; read so, it names another key or value or another number, so the item "
        "was left alone.";
  }
  return step;
}

ApplyStep PlanCurrentRow(MainData& data, int mode) {
  return PlanApply(data.displayQueue.buffer, mode,
                   NameWasCut(data, QueuePointer(&data.displayQueue)), Smb1GuardApplies(data));
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
  // The same for a registry that cannot be read (a damaged or unreadable store file): every
  // write would fail alike, and the refresh after them could not show what happened.
  if (std::string problem = RegistryReadProblem(kHkeyLocalMachine); !problem.empty()) {
    ShowError("Error writing to registry,|", problem + "; nothing was written");
    return;
  }
  const bool smb1Guard = Smb1GuardApplies(data);
  const std::int32_t count = QueueRecords(&data.displayQueue);
  std::vector<ApplyStep> steps;
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    steps.push_back(PlanApply(data.displayQueue.buffer, mode, NameWasCut(data, i), smb1Guard));
  }
  RecordInJournal(data, mode, steps);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    const DisplayRecord& row = data.displayQueue.buffer;
    const std::string key(row.KEYNAME.Trimmed());
    const bool nameCut = NameWasCut(data, i);
    const ApplyStep& step = steps[static_cast<std::size_t>(i - 1)];
    switch (step.kind) {
      case ApplyStep::kRefuse: {
        // The message names the item: its key, and for a cut name its place and value name.
        std::string text = step.value == kNotAvailable ? "Error deleting value from " + key
                                                       : "Error writing " + key + " to registry";
        text += ",|";
        if (nameCut || step.badValue) {
          text += "Item " + std::to_string(i) + " (value name \"" +
                  std::string(row.VALUENAME.Trimmed()) + "\"): ";
        }
        ShowError(text + step.refusal);
        break;
      }
      case ApplyStep::kDelete:
        RegistryDelete(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View());
        // A value already absent is what N/A asks for; any other failure (a file behind the
        // registry that refuses the change) must not pass for a deletion.
        if (const std::int32_t code = RuntimeErrorCode();
            code != 0 && code != error_code::kFileNotFound) {
          const std::string reason = RegistryProblemText();
          ShowError("Error deleting value from " + key + ",|",
                    reason.empty() ? RuntimeText() : reason);
        }
        break;
      case ApplyStep::kWrite:
        if (RegistryPutValue(kHkeyLocalMachine, row.KEYNAME.View(), row.VALUENAME.View(),
                             step.value, registry_type::kDword) != 0) {
          // The registry's own words when it has them (Samba's testparm refusing the change,
          // naming the file); a bare failure keeps its one line.
          const std::string reason = RegistryProblemText();
          ShowError("Error writing " + key + " to registry" + (reason.empty() ? "" : ",|"), reason);
        }
        break;
    }
  }
  RefreshCurrentValues(data);
}

std::string SaveRefusal(MainData& data) {
  if (!data.incompleteLoad.empty()) {
    return "The settings file did not load completely (" + data.incompleteLoad +
           "). Saving would replace it with only what was read, so it was left as it is.";
  }
  if (!data.readProblem.empty()) {
    std::string problem = data.readProblem;
    for (char& c : problem) {
      if (c == '|') c = ' ';
    }
    return "The registry could not be read (" + problem +
           "). Saving would record values nobody read, so the file was left as it is.";
  }
  if (QueueRecords(&data.displayQueue) == 0) {
    return "The list is empty. A settings file without items cannot be loaded again, so nothing "
           "was saved.";
  }
  return {};
}

void SaveSettingsFile(MainData& data) {
  data.wholeFileSave.clear();
  if (const std::string refusal = SaveRefusal(data); !refusal.empty()) {
    ShowError("Error saving Vantrel.xml file,|", refusal);
    return;
  }
  if (const std::string problem = UnwritableText(data); !problem.empty()) {
    ShowError("Error saving Vantrel.xml file,|", problem);
    return;
  }
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

  // Another save of the same folder (the window and vantrelctl, two scripts) waits for this one.
  const FolderLock lock(data.settingsFile);
  bool written = false;
  if (FileFingerprint(data.settingsFile) != data.loadedFingerprint) {
    // Written whole from the items loaded, it would drop what another program wrote since, or
    // go where a link put in its place leads.
    ShowError("Error saving Vantrel.xml file,|",
              data.settingsFile +
                  " changed since it was loaded (another program wrote it, or "
                  "put another file or a link in its place); nothing was saved. Load it again and "
                  "save then.");
  } else if (const std::int16_t code = WriteAccessError(data.settingsFile); code != 0) {
    ShowError("Error writing Vantrel.xml file,|", WriterText(code));
  } else {
    std::string why;
    switch (WriteSavedValuesIntoText(data, &why)) {
      case TextSave::kWritten: written = true; break;
      case TextSave::kFailed: break;
      case TextSave::kNotPossible:
        written = WriteSettingsXml(data);
        // The window keeps its one message; vantrelctl says what this save did not keep.
        if (written) data.wholeFileSave = why;
        break;
    }
  }
  LoadSettingsFile(data);
  if (written) {
    // The window's file is always Vantrel.xml; vantrelctl names the one --settings gave.
    ShowMessage("Registry settings saved to " + data.settingsFile + " file.", "Vantrel",
                kIconAsterisk, "1", kButtonOk);
  }
}

}  // namespace vantrel::app
