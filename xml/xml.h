// The XML document library: read an XML file into the thread's Document, find a node by a short
// path of names, fill any queue from the records below it, and write a queue out as XML.
//
// Every procedure that can fail returns a 16-bit code and keeps it as the thread's last error:
// codes below 1000 are the runtime's file errors passed through (2, 3, 4, 5, 45 ...), 1000 and up
// are the library's own (ErrorText gives the texts). All state is per thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/system/byte_file.h"
#include "runtime/queue/queue.h"

namespace vantrel::xml {

// The lowest of the library's own codes; anything lower is a runtime code passed through.
inline constexpr std::int16_t kFirstLibraryError = 1000;

class Document;

// ---- Parsing -----------------------------------------------------------------------------------

struct LoadOptions {
  bool append = false;      // keep the existing records and add the new ones after them
  bool quiet = false;       // no message boxes during the parse
  bool stopAtBody = false;  // end the parse at the first start tag whose name holds ":BODY"
  bool defaultMode = true;  // open read/write, deny write (0x22) instead of `mode`
  std::uint32_t mode = kReadWriteDenyWrite;
};

// The largest file LoadFile reads (256 MiB): a settings file holds a few kilobytes, and a name
// that leads to an endless source must not fill the memory.
inline constexpr std::int64_t kMaxDocumentBytes = std::int64_t{256} << 20;

// Parses a file into the thread's Document. Only a regular file is read (1057 for a folder,
// device, FIFO or pipe, found without waiting on it), of at most kMaxDocumentBytes (1058); a
// name longer than the 384 characters the library keeps is refused (45), never cut. 0 on success;
// an open failure returns the runtime's file error and leaves the document as it was; a malformed
// document returns 1000 and keeps the records read before the fault.
std::int16_t LoadFile(std::string_view fileName, const LoadOptions& options = {});
// The same parse over text held in memory.
std::int16_t LoadText(std::string_view text, const LoadOptions& options = {});

// The thread's document (read-only for callers).
const Document& ThreadDocument();

// The replacement table: while it holds pairs, every node value has each FROM replaced by its TO
// before it is stored.
void AddReplacement(std::string_view from, std::string_view to);
void ClearReplacements();

// The thread's library state that callers may look at.
struct StateView {
  std::int16_t lastError;
  std::int32_t currentRecord;
  std::int32_t deepestLevel;
  std::string parentPath;  // names joined by '/'
  std::string currentEncoding;
  std::string detectedEncoding;
  bool utf8;
  std::string lastFileLoaded;
  std::int32_t parseTime;  // hundredths of a second taken by the last parse
  // Elements still open when the last parse's input ended: more than 0 when the document was cut
  // short (its records so far are kept and the parse still reports success).
  std::int32_t openElements;
};
StateView State();
// The current encoding (upper-cased): while set, parses use it instead of the declaration's.
void SetCurrentEncoding(std::string_view encoding);

// ---- Navigation and queue loading --------------------------------------------------------------

// Positions on the first record (from the current one) whose path holds the given names in
// sequence (names lower-cased, compared on 50 characters). 0 found, 1005 not found.
std::int16_t FindNode(std::string_view name1, std::string_view name2 = {},
                      std::string_view name3 = {}, std::string_view name4 = {},
                      std::string_view name5 = {}, bool exact = false);

struct LoadQueueOptions {
  bool deep = false;            // match records at any depth below the parent
  bool recordBoundary = false;  // a record element's own record completes a queue entry
  bool repeatStartsRecord = true;
  std::int32_t maximumRecords = 0;  // entries to add at most, 0 = no limit
  bool keepPrefix = false;          // match field names with their "PRE:" prefix
  // Called for every text that was longer than its field and so was cut, once the entry it went
  // into is added: the entry's position in the queue and the field.
  std::function<void(std::int32_t entry, const FieldDesc& field)> onCut = nullptr;
  // Called the same way for every text that is not its element's text as written: the parser
  // dropped a tab, line break or other control byte from inside it, or child elements split it
  // (<Name>a<b/>c</Name> keeps one part).
  std::function<void(std::int32_t entry, const FieldDesc& field)> onAltered = nullptr;
  // Read each record element as exactly one entry, each field from its own element, and refuse
  // what could only be guessed. Without it a field met again starts a new entry and a field's
  // name is matched at any depth (deep). With it the load stops, setting the last error to
  // kErrorAmbiguousRecord (ErrorText names the record element by its number), at the first
  // record element that holds a field twice (in any letter case, as element or attribute, empty
  // or not), a field inside another field's element, or an element named like the record
  // element inside it; the entries before it stay added. Elements of other names between the
  // record elements are passed over instead of ending the load. The last error is 0 otherwise.
  bool strict = false;
};
// The last error of a strict LoadQueue that met a record element it could not read unambiguously.
inline constexpr std::int16_t kErrorAmbiguousRecord = 1061;
// Adds the records below the current parent to the queue, one entry per record element, fields
// matched by name. Returns the queue's entry count afterwards.
std::int32_t LoadQueue(Queue* queue, const LoadQueueOptions& options = {});

// Moves from the current record: to its first child record, to its parent's record, to its next
// sibling. 1003 with no current record; 1011, 1012, 1010 when there is nothing to move to.
std::int16_t GotoChild();
std::int16_t GotoParent();
std::int16_t GotoNextSibling();

// FieldSettings: per field name, whether a value is required for an entry to be added, a display
// picture to de-format the text by (runtime/text/picture.h: "1,234" under @n10 fills 1234; a text
// not of the picture's form fills nothing and counts as no value), and whether meeting the field
// completes the entry.
void AddFieldSetting(std::string_view fieldName, bool required, std::string_view picture,
                     bool forceWrite);
void ClearFieldSettings();

// Name translations: a record's match name made of its own name and up to three ancestors, so
// that <Item><Key><Name> fills KeyName while <Item><Value><Name> fills ValueName:
//   AddNameTranslation("KeyName", "Key/Name"); AddNameTranslation("ValueName", "Value/Name");
// The path is one to four names joined by '/', outermost first; it fits a record whose path ends
// in those names (letter case ignored). The first translation added that fits a record gives
// the field it fills; a record none fits is matched by its own name. Records below a record's
// child elements are reached only with LoadQueueOptions::deep. QueueToXML writes a translated
// field as nested elements, names in the case given (<Key><Name>v</Name></Key>), one level of the
// path dropped when it is the record element's own name; neighbouring fields that share
// ancestors share their elements. Attributes (fieldsAsAttributes) keep the field's own name.
// False, and nothing added, for an empty field name or a path of no, empty or over four names.
bool AddNameTranslation(std::string_view fieldName, std::string_view path);
void ClearNameTranslations();

// Nested lists. A field of type QueueRef (QueueRefField) holds a reference to a child queue. With
// a nested list for the field, the child elements named after the field inside a record element
// (<Order><Id>1</Id><Line>..</Line><Line>..</Line></Order> for a field Line) load into a child
// queue that `make` gives for that entry (empty and owned by the caller; nullptr skips them):
// each child element is one entry, loaded as LoadQueue does with recordBoundary and `deep`; the
// child queue's own fields may be nested lists in turn. An entry with child entries has data.
// QueueToXML writes a non-null reference's entries as child elements named after the field.
using ChildQueueMaker = std::function<Queue*()>;
void AddNestedList(std::string_view fieldName, bool deep, ChildQueueMaker make);
void ClearNestedLists();

// Saved navigation state: SaveState keeps the current record and parent path, RestoreState puts
// them back once (0; 1007 when no state is saved; 1003 when the document no longer holds the
// saved record inside its parent: the state is dropped then). While a state is saved, LoadQueue
// ends by re-positioning on it instead of clearing the parent path; when that fails it shows
// "XMLKIT Exception Occurred" (procedure "XML:LoadQueue", the runtime's error text, code 35),
// drops the state and leaves the position as a load without a saved state does. Reset drops it.
void SaveState();
std::int16_t RestoreState();

// ---- Writing -----------------------------------------------------------------------------------

// Frees the document and the reading tables (replacements, field settings, name translations,
// nested lists, the saved state) and clears the reading state and the last error.
void Reset();

// The writer makes a file line by line: CreateXMLFile opens it, CreateParent and AddParent write
// elements that hold others, QueueToXML writes a queue's entries as records, CloseParent ends an
// element and CloseXMLFile completes the file. Each line is indented one blank for every level
// CreateParent opened that is not closed yet (no indent when the line end is empty). Values are
// written without their trailing blanks, with the markup characters, tab and line breaks as
// references (other control characters make the file fail, see CloseXMLFile) ("*ISO8601GMT" becomes
// Iso8601Stamp()); in a UTF-8 file a byte above 0x7F is written as the two-byte UTF-8 of the same
// number (0x80 as the euro sign). Calls made while no file is open write to the in-memory document
// instead (InMemoryDocument).

struct CreateOptions {
  std::optional<std::string> lineEnd = std::nullopt;  // default: carriage return + line feed
  bool append = false;      // add to an existing file instead of creating it
  bool keepCopy = false;    // also keep what is written in memory (KeptCopy)
  bool comment = false;     // write a creation comment after the declaration
  bool keepBackup = false;  // keep the file replaced as NAME.bak (made as the new one lands)
  // When not empty: written only over the file with this FileFingerprint (the one loaded).
  std::string expectedFingerprint{};
};
// Opens the file for writing and writes the declaration (<?xml version=".." encoding=".." ?>,
// with any pending attributes) when a version or an encoding is given. Unless appending, the file
// is written beside its name and put in its place by CloseXMLFile, so a save that fails leaves
// the earlier file as it was (runtime/system/safe_replace.h: the temporary is created exclusively,
// links at it or at the backup are never followed, mode and owner are kept). 0; 5 when a file is
// already open on this thread; 45 for a name longer than the 384 characters the library keeps
// (never cut); the runtime's file error when the file may not be replaced or cannot be created
// (nothing is left behind; LastReplace() says why in words).
std::int16_t CreateXMLFile(std::string_view fileName, std::string_view version,
                           std::string_view encoding, const CreateOptions& options = {});
// Names the next element (at most 128 characters) and opens a level for it; AddParent writes it.
void CreateParent(std::string_view name);
// Writes the innermost element CreateParent named, with the pending attributes:
//   keepOpen (the default)  the start tag only; the element stays open for what goes inside it
//   closeAtOnce             the whole element, <name>value</name> (<name/> when the value is blank
//                           or noValue), and its level is closed
//   neither                 the start tag and the value on one line; CloseParent ends it
// Without a CreateParent before it, it shows an "XmlKit Error" message and writes nothing.
void AddParent(std::string_view value = {}, bool closeAtOnce = false, bool keepOpen = true,
               bool noValue = false);
// Pending attribute for the next start tag (or declaration).
void AddAttribute(std::string_view name, std::string_view value);
struct QueueToXmlOptions {
  bool fieldsAsAttributes = false;  // fields as attributes of the record element
  bool selfClosing = false;         // with attributes: <record a=".."/> for an entry without
                                    // child queues
  bool skipEmpty = false;           // leave out fields whose value is empty
  bool keepPrefix = false;          // name elements by the whole field name lower-cased,
                                    // "PRE:" included
};
// Writes every entry of the queue as an element named recordName below the open parents: each
// field a child element named after the field (without its "PRE:" prefix), a group field an
// element around its members, an array field one element per non-empty element. Name
// translations and nested lists shape the output as described above. Stops at the first entry
// the queue cannot give.
void QueueToXML(Queue* queue, std::string_view recordName, const QueueToXmlOptions& options = {});
// Writes the end tag of the innermost open element and closes its level; nothing when none is
// open. With noCheck false and a name that is not the innermost element's, it shows an "XmlKit
// CloseTag Error" message naming both and the open levels, and closes the innermost one anyway.
void CloseParent(std::string_view name = {}, bool noCheck = true);
// A comment line ("<!--text-->").
void AddComment(std::string_view text);
// Closes the open parents and the file. 0, or the file error when the file could not be
// completed (the file named in CreateXMLFile is then left as it was), or kErrorControlCharacter
// when a value held a control character other than tab, line feed and carriage return: XML 1.0
// has no form for those, so no file holding one is written.
std::int16_t CloseXMLFile(bool clearCopy = false);
inline constexpr std::int16_t kErrorControlCharacter = 1062;

// What was written while no file was open, and the kept copy of the lines written to the file.
std::string InMemoryDocument();
std::string KeptCopy();

// ---- Errors, helpers, messages and progress ----------------------------------------------------

// The text of a code; with useLastError (or code 0) the text of the thread's last error.
std::string ErrorText(std::int16_t code, bool useLastError = false);
std::int16_t LastError();

// The current local date and time with the UTC offset: 2011-05-04T13:45:10+02:00.
std::string Iso8601Stamp();
// Decodes standard base64, skipping characters outside the alphabet.
std::string Base64Decode(std::string_view text);
// Standard base64 with padding, on one line.
std::string Base64Encode(std::string_view bytes);

// Base64 side files: binary data kept in a file beside the document, base64 inside it. A side
// name lies below the folder of the last file loaded (Base64ToSideFile) or of the file being
// written (AddBase64Element): an absolute name, a drive, a ".." step, a symbolic link on the way
// or at the name, or a name longer than 384 characters is refused (1055 / 1056). Side files are
// written through the safe replacement (runtime/system/safe_replace.h).
// Decodes the current record's value into the side file, created or replaced whole. 0; 1003 with
// no current record; 1055 when the file cannot be created or written (nothing is left behind),
// or when the value fills all 10,239 characters a record keeps (it may have been cut).
std::int16_t Base64ToSideFile(std::string_view sideName);
// Writes element `name` holding the side file's bytes in base64, 76 characters a line, below
// the innermost open parent. 0, or 1056 when the side file cannot be opened or read (nothing is
// written then).
std::int16_t AddBase64Element(std::string_view name, std::string_view sideName);

// The library's message boxes go through ShowMessage unless a hook is installed for the thread
// (the hook gets the text and the caption and returns the button pressed).
using MessageHook = std::function<int(std::string_view text, std::string_view caption)>;
void SetMessageHook(MessageHook hook);

// Shows the progress of a parse. The window-engine backend installs one for the thread; without
// one the parse shows nothing.
class ProgressPresenter {
 public:
  virtual ~ProgressPresenter() = default;
  // The library's own window: prompt and a bar from 0 to `range`.
  virtual void OpenWindow(std::string_view prompt, std::int64_t range) = 0;
  // Moves the bar and redisplays the window.
  virtual void SetWindowValue(std::int64_t value) = 0;
  virtual void CloseWindow() = 0;
  // A progress control on the caller's window, named by its number.
  virtual void SetControlRange(int control, std::int64_t range) = 0;
  virtual void SetControlValue(int control, std::int64_t value) = 0;
};
void SetProgressPresenter(ProgressPresenter* presenter);
// Bytes from which a parse shows progress (0 = always, -1 = never).
void SetProgressThreshold(std::int32_t bytes);
// A control number (progress goes to that control) or the prompt of the library's own window.
void SetProgressSetting(std::string_view setting);

}  // namespace vantrel::xml
