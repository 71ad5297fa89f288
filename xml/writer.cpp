// The writer: an XML file produced line by line from parents and queues, without building a
// document first.
//
// A new file is written beside its final name and put in place when it is closed, so a save
// that fails half-way leaves the earlier file as it was (runtime/system/safe_replace.h).
#include <algorithm>
#include <cstring>

#include "runtime/text/ansi_text.h"
#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/system/local_time.h"
#include "runtime/text/picture.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kParentNameMax = 128;
constexpr std::size_t kEscapedMax = 10240;

std::int16_t FileCode() { return static_cast<std::int16_t>(RuntimeErrorCode()); }

void Fail(WriterState& w, std::int16_t code) {
  if (!w.failed) {
    w.failed = true;
    w.failure = code;
  }
}

}  // namespace

// One line: to the file (followed by the line end) while it is open, else to the in-memory
// document (preceded by CR LF and the indent).
void Emit(std::string_view text) {
  WriterState& w = Lib().writer;
  const std::string indent(static_cast<std::size_t>(std::max(w.indent, 0)), ' ');
  if (w.open) {
    std::string line = indent;
    line.append(text);
    const std::size_t room = kLineBuffer - 1 - std::min(w.lineEnd.size(), kLineBuffer - 1);
    if (line.size() > room) line.resize(room);
    line += w.lineEnd;
    const bool written = w.replace.Active() ? w.replace.Append(line.data(), line.size())
                                            : w.file.Append(line.data(), line.size());
    if (!written) Fail(w, FileCode());
    if (w.keepCopy) {
      const std::size_t keep =
          std::min(line.size(), kLineBuffer - std::min(w.copy.size(), kLineBuffer));
      w.copy.append(line, 0, keep);
    }
    return;
  }
  std::string piece = "\r\n" + indent;
  piece.append(text);
  const std::size_t keep = std::min(
      piece.size(), kInMemoryDocumentMax - std::min(w.memory.size(), kInMemoryDocumentMax));
  w.memory.append(piece, 0, keep);
}

std::string Escape(std::string_view value) {
  const WriterState& w = Lib().writer;
  const bool utf8 = Lib().utf8;
  std::string source(TrimBlanks(value));
  if (source == "*ISO8601GMT") source = Iso8601Stamp();
  std::string out;
  out.reserve(source.size() + 16);
  auto put = [&](std::string_view piece) {
    // Cut whole pieces only: half an entity would make the file unreadable.
    if (out.size() + piece.size() > kEscapedMax) return false;
    out.append(piece);
    return true;
  };
  for (std::size_t i = 0; i < source.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(source[i]);
    bool ok = true;
    if (utf8 && b > 0x7F) {
      // The character the byte stands for in the program's code page, as the parser reads a
      // declared UTF-8 document back.
      std::string character;
      AppendUtf8(character, AnsiCharOf(b));
      ok = put(character);
    } else if (b == '&') {
      if (source.compare(i, 5, "&amp;") == 0) {
        ok = put("&amp;");
        i += 4;
      } else {
        ok = put(w.html ? "&#38;" : "&amp;");
      }
    } else if (b == '\'') {
      ok = put(w.html ? "&#39;" : "&apos;");
    } else if (b == '"') {
      ok = put(w.html ? "&#34;" : "&quot;");
    } else if (b == '>') {
      ok = put(w.html ? "&#62;" : "&gt;");
    } else if (b == '<') {
      ok = put(w.html ? "&#60;" : "&lt;");
    } else if (b == '\t' || b == '\n' || b == '\r') {
      // Tab, line feed and carriage return go as character references: a reader drops them from
      // text as layout, and so they come back.
      ok = put("&#" + std::to_string(b) + ";");
    } else if (b >= 1 && b < 0x20) {
      // XML 1.0 has no form for the other control characters, not even a reference: a file
      // holding one is refused by other programs. The file is not written (CloseXMLFile fails
      // with kErrorControlCharacter and leaves the earlier file as it was).
      if (Lib().writer.open) Fail(Lib().writer, kErrorControlCharacter);
    } else {
      ok = put(std::string_view(&source[i], 1));
    }
    if (!ok) break;
  }
  return out;
}

namespace {

std::string PendingAttributes(bool escape) {
  WriterState& w = Lib().writer;
  std::string out;
  for (const auto& [name, value] : w.pending) {
    out += ' ';
    out += TrimBlanks(name);
    out += "=\"";
    out += escape ? Escape(value) : std::string(TrimBlanks(value));
    out += '"';
  }
  w.pending.clear();
  return out;
}

void RaiseIndent() {
  WriterState& w = Lib().writer;
  if (!w.lineEnd.empty()) ++w.indent;
}

void LowerIndent() {
  WriterState& w = Lib().writer;
  if (!w.lineEnd.empty() && w.indent > 0) --w.indent;
}

// Gives up an output whose creation failed: the flag is cleared so that the next save can try.
std::int16_t AbandonOutput(std::int16_t code) {
  LibraryState& lib = Lib();
  WriterState& w = lib.writer;
  w.file.Close();
  w.replace.Abandon();
  w.open = false;
  w.parents.clear();
  w.pending.clear();
  w.indent = 0;
  lib.lastError = code;
  return code;
}

}  // namespace

void Reset() {
  LibraryState& lib = Lib();
  lib.document.Clear();
  lib.alteredRecords.clear();
  lib.replacements.clear();
  lib.fieldSettings.clear();
  lib.translations.clear();
  lib.nestedLists.clear();
  lib.savedState = SavedState{};
  lib.parentPath.clear();
  lib.currentRecord = 0;
  lib.deepestLevel = 0;
  lib.openElements = 0;
  lib.lastFileLoaded.clear();
  lib.currentEncoding.clear();
  lib.fromFile = false;
  lib.parseTime = 0;
  lib.progress.threshold = 0;
  lib.lastError = 0;
}

std::int16_t CreateXMLFile(std::string_view fileName, std::string_view version,
                           std::string_view encoding, const CreateOptions& options) {
  LibraryState& lib = Lib();
  WriterState& w = lib.writer;
  if (w.open) {
    lib.lastError = error_code::kAccessDenied;
    return lib.lastError;
  }
  const std::string_view name = TrimBlanks(fileName);
  // Cut to the field, the name would be another file's.
  if (name.size() > kFileNameMax) {
    lib.lastError = error_code::kInvalidFileName;
    return lib.lastError;
  }
  w.open = true;
  w.fileName = std::string(name);
  lib.currentFileName = w.fileName;
  w.html = Upper(w.fileName).find(".HTM") != std::string::npos;
  w.copy.clear();
  w.keepCopy = options.keepCopy;
  w.lineEnd = options.lineEnd ? options.lineEnd->substr(0, 2) : std::string("\r\n");
  w.failed = false;
  w.failure = 0;
  if (!options.append) {
    ReplaceOptions replace;
    replace.keepBackup = options.keepBackup;
    replace.expectedFingerprint = options.expectedFingerprint;
    if (!w.replace.Begin(w.fileName, replace)) return AbandonOutput(FileCode());
    // The file must be one this thread may replace: opening it as the writer would tells. (Begin
    // has refused anything but a regular file, which opening could disturb.)
    ByteFile probe;
    if (probe.Open(w.fileName, kReadWriteDenyWrite)) {
      probe.Close();
    } else if (RuntimeErrorCode() != error_code::kFileNotFound) {
      return AbandonOutput(FileCode());
    }
  }
  lib.currentEncoding = Upper(TrimBlanks(encoding)).substr(0, kEncodingMax);
  lib.utf8 = lib.currentEncoding == "UTF-8";
  if (options.append) {
    if (!ByteFile::RegularOrMissing(w.fileName)) return AbandonOutput(error_code::kAccessDenied);
    if (!w.file.Open(w.fileName, kReadWriteDenyWrite)) return AbandonOutput(FileCode());
    if (!w.file.IsRegular()) return AbandonOutput(error_code::kAccessDenied);
  }
  w.indent = 0;
  lib.lastError = 0;
  const std::string_view v = TrimBlanks(version);
  const std::string_view e = TrimBlanks(encoding);
  if (!v.empty() || !e.empty()) {
    std::string line = "<?xml";
    if (!v.empty()) line += " version=\"" + std::string(v) + "\"";
    if (!e.empty()) line += " encoding=\"" + std::string(e) + "\"";
    line += PendingAttributes(true);
    line += " ?>";
    Emit(line);
  }
  w.pending.clear();
  if (options.comment) {
    const LocalTime t = CurrentLocalTime();
    Emit("<!--Created with XmlKit - Date: " + FormatPicture("d017", std::to_string(DateOf(t))) +
         "  Time: " + FormatPicture("t07", std::to_string(TimeOf(t))) + "-->");
  }
  return 0;
}

void CreateParent(std::string_view name) {
  WriterState& w = Lib().writer;
  const std::string_view n = TrimBlanks(name);
  w.parents.emplace_back(n.substr(0, std::min(n.size(), kParentNameMax)));
  RaiseIndent();
}

void AddParent(std::string_view value, bool closeAtOnce, bool keepOpen, bool noValue) {
  WriterState& w = Lib().writer;
  if (w.parents.empty()) {
    LibraryMessage(
        "Error encountered called XML:AddParent().||Possible: XML:AddParent() called "
        "before XML:CreateParent().",
        "XmlKit Error");
    return;
  }
  const std::string name = w.parents.back();
  const std::string attrs = PendingAttributes(true);
  if (keepOpen) {
    Emit("<" + name + attrs + ">");
    return;
  }
  if (closeAtOnce) {
    if (!noValue && !TrimBlanks(value).empty()) {
      Emit("<" + name + attrs + ">" + Escape(value) + "</" + name + ">");
    } else {
      Emit("<" + name + attrs + "/>");
    }
    w.parents.pop_back();
    LowerIndent();
    return;
  }
  // Neither: the start tag and the value, the element left open for CloseParent.
  Emit("<" + name + attrs + ">" + (noValue ? std::string() : Escape(value)));
}

void AddAttribute(std::string_view name, std::string_view value) {
  Lib().writer.pending.emplace_back(std::string(TrimBlanks(name)), std::string(value));
}

void CloseParent(std::string_view name, bool noCheck) {
  WriterState& w = Lib().writer;
  if (w.parents.empty()) return;
  const std::string top = w.parents.back();
  if (!noCheck && TrimBlanks(name) != top) {
    std::string levels;
    for (const std::string& p : w.parents) levels += "<" + p + ">";
    LibraryMessage(
        "Programmer Error has occurred.||Tag Expected: " + std::string(TrimBlanks(name)) +
            "||Tag Encountered: " + top + "||Levels: " + levels,
        "XmlKit CloseTag Error");
  }
  Emit("</" + top + ">");
  w.parents.pop_back();
  LowerIndent();
}

void AddComment(std::string_view text) {
  if (Lib().writer.open)
    Emit("<!--" + std::string(text) + "-->");
  else
    Emit("<!-- " + std::string(text) + " -->");
}

std::int16_t CloseXMLFile(bool clearCopy) {
  LibraryState& lib = Lib();
  WriterState& w = lib.writer;
  while (!w.parents.empty()) CloseParent({}, true);
  std::int16_t code = 0;
  if (w.replace.Active()) {
    // Put in place only when every line reached the file.
    if (w.failed) {
      w.replace.Abandon();
    } else if (!w.replace.Commit()) {
      Fail(w, FileCode());
    }
  } else if (w.file.IsOpen() && !w.file.Close()) {
    Fail(w, FileCode());
  }
  if (w.failed) code = w.failure;
  w.open = false;
  w.parents.clear();
  w.pending.clear();
  w.indent = 0;
  lib.currentEncoding.clear();
  if (clearCopy) w.copy.clear();
  lib.lastError = code;
  return code;
}

std::string InMemoryDocument() { return Lib().writer.memory; }
std::string KeptCopy() { return Lib().writer.copy; }

}  // namespace vantrel::xml
