// The library's per-thread state, shared by the parser, navigation, writer and progress code.
// Private to xml/.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/system/byte_file.h"
#include "runtime/system/safe_replace.h"
#include "xml/document.h"
#include "xml/xml.h"

namespace vantrel::xml {

inline constexpr std::size_t kFileNameMax = 384;
inline constexpr std::size_t kEncodingMax = 20;
inline constexpr std::size_t kDetectedEncodingMax = 32;
inline constexpr std::size_t kLineBuffer = 65519;
inline constexpr std::size_t kInMemoryDocumentMax = 4096000;

inline constexpr std::int16_t kErrorParsing = 1000;
inline constexpr std::int16_t kErrorNotOnRecord = 1003;
inline constexpr std::int16_t kErrorNodeNotFound = 1005;
inline constexpr std::int16_t kErrorInvalidParameters = 1006;
inline constexpr std::int16_t kErrorStateNeverSaved = 1007;
inline constexpr std::int16_t kErrorSiblingNotFound = 1010;
inline constexpr std::int16_t kErrorChildNotFound = 1011;
inline constexpr std::int16_t kErrorParentNotFound = 1012;
inline constexpr std::int16_t kErrorCreateBinary = 1055;
inline constexpr std::int16_t kErrorOpenBinary = 1056;
inline constexpr std::int16_t kErrorNotRegularFile = 1057;
inline constexpr std::int16_t kErrorFileTooLarge = 1058;
// A Unicode document holds a character the program's code page has no form for, or is malformed.
inline constexpr std::int16_t kErrorEncoding = 1059;
// An element or attribute lies deeper than a node record's kMaxLevels names.
inline constexpr std::int16_t kErrorTooDeep = 1060;
static_assert(kErrorAmbiguousRecord == 1061);
static_assert(kErrorControlCharacter == 1062);

struct FieldSetting {
  std::string name;  // lower-cased match name
  bool required = false;
  std::string picture;
  bool forceWrite = false;
};

// A name translation: the field named by `field` is matched by records whose path ends in
// `names` (outermost first; `lower` holds them lower-cased for the comparison).
struct NameTranslation {
  std::string field;
  std::vector<std::string> names;
  std::vector<std::string> lower;
};

struct NestedList {
  std::string field;  // lower-cased, without its "PRE:"
  bool deep = false;
  ChildQueueMaker make;
};

struct SavedState {
  bool saved = false;
  std::int32_t record = 0;
  std::vector<std::string> parentPath;
};

struct WriterState {
  bool open = false;
  ByteFile file;         // a file appended to
  SafeReplace replace;   // a file created or replaced: written beside it, put in place at close
  std::string fileName;  // the name the caller gave
  bool failed = false;   // a write failed since the file was created
  std::int16_t failure = 0;
  std::string lineEnd = "\r\n";
  std::int32_t indent = 0;
  std::vector<std::string> parents;
  std::vector<std::pair<std::string, std::string>> pending;
  bool html = false;
  bool keepCopy = false;
  std::string copy;
  std::string memory;
};

struct ProgressState {
  std::int32_t threshold = 0;
  std::string setting;
  bool windowOpen = false;
  ProgressPresenter* presenter = nullptr;
};

struct LibraryState {
  Document document;
  // DocumentState
  std::int16_t lastError = 0;
  std::string errorDetail;  // what kErrorEncoding concerns: the character and its line
  std::int32_t currentRecord = 0;
  std::vector<std::string> parentPath;  // names of levels 1..k
  std::int32_t deepestLevel = 0;
  std::int32_t openElements = 0;  // elements the last parse left open when its input ended
  // The records (ascending) whose value is not their element's text as written: a control byte
  // the parser drops (a tab, a line break) lay inside it, or child elements split it.
  std::vector<std::int32_t> alteredRecords;
  std::string currentEncoding;
  std::string detectedEncoding;
  bool utf8 = false;
  std::string currentFileName;
  std::string lastFileLoaded;
  bool fromFile = false;
  std::int32_t parseTime = 0;

  std::vector<std::pair<std::string, std::string>> replacements;
  std::vector<FieldSetting> fieldSettings;
  std::vector<NameTranslation> translations;
  std::vector<NestedList> nestedLists;
  SavedState savedState;
  WriterState writer;
  ProgressState progress;
  MessageHook messageHook;
};

LibraryState& Lib();

// Shows one of the library's message boxes (Ok button).
int LibraryMessage(std::string_view text, std::string_view caption);

// The name a queue field is matched by: lower-cased, "PRE:" dropped unless the caller keeps it.
std::string MatchName(std::string_view fieldName, bool keepPrefix);

// Puts the saved navigation state back. False when the document no longer holds the saved
// record inside the saved parent: the state is dropped and the runtime error set (35).
bool RepositionOnSavedState(LibraryState& lib);

// The translation that gives a record with this path its match name, or null.
const NameTranslation* TranslationFor(const Document& doc, PathId path);

// Writer pieces shared by the queue writer.
void Emit(std::string_view text);
std::string Escape(std::string_view value);

std::string Upper(std::string_view text);
std::string Lower(std::string_view text);
std::string_view TrimBlanks(std::string_view text);  // trailing blanks only

}  // namespace vantrel::xml
