#include "framework/error_reporter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

#include "runtime/system/byte_file.h"
#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/fixed_text.h"
#include "runtime/system/local_time.h"
#include "runtime/dialog/message_dialog.h"
#include "runtime/text/picture.h"
#include "runtime/text/text_case.h"

namespace vantrel::framework {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::size_t kMacroBufferMax = 1999;
constexpr std::string_view kFatalSuffix = "  Press OK to end this application";
constexpr std::string_view kHaltCaption = "Halt";

std::size_t FindIgnoreCase(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty() || text.size() < what.size()) return std::string_view::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    if (EqualsIgnoreCase(text.substr(i, what.size()), what)) return i;
  }
  return std::string_view::npos;
}

// Replaces every occurrence of macro (any letter case) by value; the search goes on after the
// inserted value, so a value that contains its own macro is inserted once per occurrence.
void ReplaceMacro(std::string& buffer, std::string_view macro, std::string_view value) {
  if (EqualsIgnoreCase(value, macro)) return;
  std::size_t at = 0;
  while ((at = FindIgnoreCase(buffer, macro, at)) != std::string::npos) {
    buffer.replace(at, macro.size(), value);
    at += value.size();
    if (buffer.size() > kMacroBufferMax) buffer.resize(kMacroBufferMax);
  }
}

std::string Cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, text.size() < max ? text.size() : max));
}

// The icon of the history window is a number; the system-icon texts convert to 0 and so give
// the window its default icon.
int IconNumber(std::string_view icon) {
  icon = TrimTrailingBlanks(icon);
  if (icon.empty()) return 0;
  int value = 0;
  for (char c : icon) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The runtime's halt: shows the text in a box captioned "Halt", then ends the process.
void Halt(int status, std::string_view text) {
  text = TrimTrailingBlanks(text);
  if (!text.empty()) ShowMessage(text, kHaltCaption, kIconHand, {}, 0, 0);
  std::exit(status);
}

}  // namespace

ErrorStatus& ThreadErrorStatus() {
  thread_local ErrorStatus status;
  return status;
}

std::uint32_t CurrentThreadNumber() {
  static std::atomic<std::uint32_t> next{1};
  thread_local const std::uint32_t number = next.fetch_add(1);
  return number;
}

// ---------------------------------------------------------------------------------------------
// ErrorLogFile

ErrorLogFile::ErrorLogFile(std::recursive_mutex& lock, std::string path)
    : CRITSECT(lock), path_(std::move(path)) {}

ErrorLogFile::~ErrorLogFile() { Close(true); }

int ErrorLogFile::Open(bool force) {
  Lock lock(CRITSECT);
  if (USAGE == 0 || force) {
    if (!file_.IsOpen()) {
      // Created when missing, then opened for reading and writing with all access shared, so
      // that several programs can log to one file.
      if (!file_.Open(path_, kReadWriteDenyNone)) {
        if (RuntimeErrorCode() != error_code::kFileNotFound || !ByteFile::Create(path_)) {
          return error_code::kAccessDenied;
        }
        if (!file_.Open(path_, kReadWriteDenyNone)) return error_code::kAccessDenied;
      }
    }
    ++USAGE;
    return 0;
  }
  ++USAGE;
  return 0;
}

int ErrorLogFile::WriteLine(std::string_view text) {
  Lock lock(CRITSECT);
  if (USAGE == 0 || !file_.IsOpen()) return error_code::kAccessDenied;
  // The record is 1024 characters; its blank padding is not written.
  std::string line(TrimTrailingBlanks(text.substr(0, std::min(text.size(), kRecordSize))));
  line += "\r\n";
  return file_.Append(line.data(), line.size()) ? 0 : error_code::kAccessDenied;
}

int ErrorLogFile::Close(bool force) {
  Lock lock(CRITSECT);
  if (USAGE == 0 && !force) return 0;
  if (USAGE == 1 || force) {
    if (file_.IsOpen() && !file_.Close()) return error_code::kAccessDenied;
    USAGE = 0;
    return 0;
  }
  --USAGE;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// ErrorReporter: set-up and tables

ErrorReporter::ErrorReporter() : CRITSECT(std::make_unique<std::recursive_mutex>()) {}

ErrorReporter::~ErrorReporter() { Kill(); }

void ErrorReporter::Init(StatusSlot status) {
  Lock lock(*CRITSECT);
  STATUS = status ? status : &ThreadErrorStatus;
  if (STDERRORLOG) return;
  STDERRORLOG = std::make_unique<ErrorLogFile>(*CRITSECT);
  DEFAULTCATEGORY = "Oru";
  ERRORS.reset();
  PROCNAMES.reset();
  HISTORY.reset();
  HISTORYTHRESHOLD = 0;
  HISTORYVIEWLEVEL = 3;
  HISTORYRESETONVIEW = 0;
  SetErrorLog(STDERRORLOG.get());
}

void ErrorReporter::Kill() {
  Lock lock(*CRITSECT);
  ERRORS.reset();
  HISTORY.reset();
  PROCNAMES.reset();
  // The log in use must not outlive the file log it may point at.
  if (ERRORLOG == STDERRORLOG.get()) ERRORLOG = nullptr;
  STDERRORLOG.reset();
}

void ErrorReporter::SetErrorLog(ErrorLog* log) {
  Lock lock(*CRITSECT);
  ERRORLOG = log;
  if (!ERRORS) ERRORS = std::make_unique<std::vector<ErrorEntry>>();
  AddErrors(BuiltInErrorTable());
  if (!PROCNAMES) PROCNAMES = std::make_unique<std::vector<ProcedureEntry>>();
  if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryEntry>>();
}

void ErrorReporter::AddError(std::int32_t id, std::string_view message, std::string_view title,
                             std::uint8_t severity, std::string_view category) {
  Lock lock(*CRITSECT);
  if (!ERRORS) ERRORS = std::make_unique<std::vector<ErrorEntry>>();
  auto owned = std::make_shared<std::string>();
  owned->reserve(message.size() + title.size());
  owned->append(message).append(title);
  ErrorEntry entry;
  entry.ID = id;
  entry.MESSAGE = std::string_view(*owned).substr(0, message.size());
  entry.TITLE = std::string_view(*owned).substr(message.size());
  entry.FATALITY = severity;
  entry.CATEGORY = std::string(category);
  entry.owned = std::move(owned);
  ERRORS->push_back(std::move(entry));
}

void ErrorReporter::AddErrors(std::span<const std::uint8_t> table) {
  Lock lock(*CRITSECT);
  if (!ERRORS) ERRORS = std::make_unique<std::vector<ErrorEntry>>();
  if (table.size() < 2) return;
  const std::size_t count = table[0] | (std::size_t{table[1]} << 8);
  std::size_t at = 2;
  const auto text = [&](std::string_view& out) {
    if (at >= table.size()) return false;
    const std::size_t length = table[at++];
    if (length > table.size() - at) return false;
    out = std::string_view(reinterpret_cast<const char*>(table.data() + at), length);
    at += length;
    return true;
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (table.size() - at < 3) return;
    ErrorEntry entry;
    entry.ID = table[at] | (std::int32_t{table[at + 1]} << 8);
    entry.FATALITY = table[at + 2];
    at += 3;
    if (!text(entry.TITLE) || !text(entry.MESSAGE)) return;
    ERRORS->push_back(std::move(entry));
  }
}

void ErrorReporter::RemoveError(std::int32_t id) {
  Lock lock(*CRITSECT);
  const std::ptrdiff_t found = Lookup(id);
  if (found >= 0) ERRORS->erase(ERRORS->begin() + found);
}

std::ptrdiff_t ErrorReporter::Lookup(std::int32_t id) const {
  if (!ERRORS) return -1;
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(ERRORS->size()) - 1; i >= 0; --i) {
    if ((*ERRORS)[static_cast<std::size_t>(i)].ID == id) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Reporting

ErrorStatus& ErrorReporter::Status() {
  StatusSlot slot;
  {
    Lock lock(*CRITSECT);
    slot = STATUS;
  }
  return slot ? slot() : ThreadErrorStatus();
}

void ErrorReporter::MakeCurrent(std::int32_t id) {
  ErrorStatus& status = Status();
  status.PREVERRORID = status.ERRORBUFFER.ID;
  CurrentError current;
  {
    Lock lock(*CRITSECT);
    const std::ptrdiff_t found = Lookup(id);
    if (found >= 0) {
      const ErrorEntry& entry = (*ERRORS)[static_cast<std::size_t>(found)];
      current.ID = entry.ID;
      current.MESSAGE = std::string(entry.MESSAGE);
      current.TITLE = std::string(entry.TITLE);
      current.FATALITY = entry.FATALITY;
      current.CATEGORY = entry.CATEGORY;
    }
  }
  status.ERRORBUFFER = std::move(current);
}

int ErrorReporter::Throw(std::int32_t id) {
  ErrorStatus& status = Status();
  const std::int32_t code = RuntimeErrorCode();
  status.SAVEERRORCODE = code;
  status.SAVEERROR = Cut(TrimTrailingBlanks(RuntimeErrorText()), ErrorStatus::kTextMax);
  // There is no file driver with codes of its own: a failed file operation leaves the operating
  // system's error behind it, and that is the file-driver error.
  const std::uint32_t os = code != 0 ? RuntimeOsError() : 0;
  status.SAVEFILEERRORCODE = os != 0 ? std::to_string(os) : std::string();
  status.SAVEFILEERROR =
      os != 0 ? Cut(ErrorTextFor(static_cast<std::int32_t>(os + error_code::kOsErrorBase)),
                    ErrorStatus::kTextMax)
              : std::string();

  MakeCurrent(id);
  switch (status.ERRORBUFFER.FATALITY) {
    case SeverityQuiet: return HandleQuiet();
    case SeverityQuestion:
    case SeverityQuestion2: return HandleQuestion();
    case SeverityProgram: return HandleProgram();
    case SeverityFatal: return HandleFatal();
    case SeverityNotice: HandleNotice(); return LevelNotice;
    default: return HandleUnknown();
  }
}

int ErrorReporter::Message(std::int32_t id, int buttons, int defaultButton) {
  if (GetSilent()) return defaultButton;
  MakeCurrent(id);
  const std::string title = Status().ERRORBUFFER.TITLE;
  return DisplayMessage(SubstituteMacros(), title, kIconQuestion, buttons, defaultButton,
                        MessageStyle());
}

int ErrorReporter::MessageStyle() {
  Lock lock(*CRITSECT);
  return MSGSTYLE;
}

int ErrorReporter::HandleQuiet() { return LevelQuiet; }

int ErrorReporter::HandleQuestion() {
  const std::string title = Status().ERRORBUFFER.TITLE;
  const int answer = Report(SubstituteMacros(), title, kIconQuestion, ButtonYes + ButtonNo,
                            ButtonYes, MessageStyle());
  return answer == ButtonYes ? LevelQuiet : LevelCancelled;
}

void ErrorReporter::HandleNotice() {
  const std::string title = Status().ERRORBUFFER.TITLE;
  Report(SubstituteMacros(), title, kIconExclamation, ButtonOk, ButtonOk, MessageStyle());
}

int ErrorReporter::HandleFatal() {
  const std::string title = Status().ERRORBUFFER.TITLE;
  Report(SubstituteMacros() + std::string(kFatalSuffix), title, kIconExclamation, ButtonOk,
         ButtonOk, MessageStyle());
  Halt(kFatalExitStatus, title);
  return LevelFatal;
}

int ErrorReporter::HandleUnknown() { return HandleProgram(); }

int ErrorReporter::HandleProgram() { return HandleFatal(); }

std::string ErrorReporter::LogLine(std::string_view text) const {
  const LocalTime now = CurrentLocalTime();
  return FormatPicture("D17", std::to_string(DateOf(now))) + "@" +
         FormatPicture("T8", std::to_string(TimeOf(now))) + " --> " + std::string(text);
}

int ErrorReporter::Report(std::string_view text, std::string_view title, std::string_view icon,
                          int buttons, int defaultButton, int style) {
  bool silent;
  bool viewInHistory;
  bool resetOnView;
  {
    Lock lock(*CRITSECT);
    if (LOGERRORS && ERRORLOG) {
      // A log that cannot be written never stops the message.
      ERRORLOG->Open(false);
      ERRORLOG->WriteLine(LogLine(text));
      ERRORLOG->Close(false);
    }
    const CurrentError& current = Status().ERRORBUFFER;
    if (HISTORYTHRESHOLD != 0) {
      if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryEntry>>();
      if (HISTORYTHRESHOLD > 0) {
        const std::size_t keep = static_cast<std::size_t>(HISTORYTHRESHOLD);
        if (HISTORY->size() >= keep) {
          HISTORY->erase(HISTORY->begin(), HISTORY->begin() + (HISTORY->size() - keep + 1));
        }
      }
      historyBuffer_.TXT = Cut(text, HistoryEntry::kTextMax);
      historyBuffer_.ID = static_cast<std::uint16_t>(current.ID);
      historyBuffer_.CATEGORY = GetCategory(current.ID);
      AddHistory();
    }
    silent = SILENT != 0;
    viewInHistory = HISTORYTHRESHOLD != 0 && current.FATALITY == HISTORYVIEWLEVEL;
    resetOnView = HISTORYRESETONVIEW != 0;
  }
  // The lock is released here: nothing is shown while it is held.
  if (silent) return defaultButton;
  if (viewInHistory) {
    const int answer = HistoryMessage(title, IconNumber(icon), buttons, defaultButton);
    if (resetOnView) ResetHistory();
    return answer;
  }
  return DisplayMessage(text, title, icon, buttons, defaultButton, style);
}

int ErrorReporter::DisplayMessage(std::string_view text, std::string_view title,
                                  std::string_view icon, int buttons, int defaultButton,
                                  int style) {
  return ShowMessage(text, title, icon, std::to_string(buttons), defaultButton, style);
}

void ErrorReporter::AddHistory() {
  Lock lock(*CRITSECT);
  if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryEntry>>();
  HISTORY->push_back(historyBuffer_);
}

void ErrorReporter::ResetHistory() {
  Lock lock(*CRITSECT);
  if (HISTORY) HISTORY->clear();
}

std::vector<HistoryEntry> ErrorReporter::HistorySnapshot() {
  Lock lock(*CRITSECT);
  return HISTORY ? *HISTORY : std::vector<HistoryEntry>{};
}

void ErrorReporter::ViewHistory() {
  HistoryMessage(kHistoryCaption, 0, ButtonOk + ButtonHelp, ButtonOk);
}

// ---------------------------------------------------------------------------------------------
// Macros

std::string ErrorReporter::SubstituteMacros() {
  const ErrorStatus status = Status();  // a copy: the values as they stand now
  std::string buffer = Cut(status.ERRORBUFFER.MESSAGE, kMacroBufferMax);
  const std::string errorCode = std::to_string(status.SAVEERRORCODE);
  const bool fileError = status.SAVEERRORCODE == error_code::kFileSystemError ||
                         status.SAVEERRORCODE == error_code::kTriggerError;
  const std::string errorText = fileError
                                    ? status.SAVEFILEERROR + " (" + status.SAVEFILEERRORCODE + ")"
                                    : status.SAVEERROR + " (" + errorCode + ")";

  // Longer macros go first so that "%FileErrorCode" is never taken for "%File".
  ReplaceMacro(buffer, "%FileErrorCode", status.SAVEFILEERRORCODE);
  ReplaceMacro(buffer, "%FileError", status.SAVEFILEERROR);
  ReplaceMacro(buffer, "%File", status.FILENAME);
  ReplaceMacro(buffer, "%Key", status.KEYNAME);
  ReplaceMacro(buffer, "%ErrorCode", errorCode);
  ReplaceMacro(buffer, "%ErrorText", errorText);
  ReplaceMacro(buffer, "%Error", status.SAVEERROR);
  ReplaceMacro(buffer, "%Message", status.MESSAGETEXT);
  ReplaceMacro(buffer, "%Field", status.FIELDNAME);
  ReplaceMacro(buffer, "%Procedure", GetProcedureName());
  ReplaceMacro(buffer, "%Category", status.ERRORBUFFER.CATEGORY);
  if (buffer.find("%Previous") != std::string::npos) {
    std::string previous;
    {
      Lock lock(*CRITSECT);
      const std::ptrdiff_t found = Lookup(status.PREVERRORID);
      if (found >= 0) previous = std::string((*ERRORS)[static_cast<std::size_t>(found)].MESSAGE);
    }
    ReplaceMacro(buffer, "%Previous", previous);
  }
  return buffer;
}

// ---------------------------------------------------------------------------------------------
// Procedure names and categories

void ErrorReporter::SetProcedureName(std::string_view name, bool pop) {
  Lock lock(*CRITSECT);
  const std::uint32_t thread = CurrentThreadNumber();
  if (!pop) {
    if (!PROCNAMES) PROCNAMES = std::make_unique<std::vector<ProcedureEntry>>();
    PROCNAMES->push_back(ProcedureEntry{thread, std::string(TrimTrailingBlanks(name))});
    return;
  }
  if (!PROCNAMES) return;
  for (auto it = PROCNAMES->rbegin(); it != PROCNAMES->rend(); ++it) {
    if (it->THREAD == thread) {
      if (it->NAME.empty()) return;  // GetProcedureName would answer empty: nothing to pop
      PROCNAMES->erase(std::next(it).base());
      return;
    }
  }
}

std::string ErrorReporter::GetProcedureName() {
  Lock lock(*CRITSECT);
  if (!PROCNAMES) return {};
  const std::uint32_t thread = CurrentThreadNumber();
  for (auto it = PROCNAMES->rbegin(); it != PROCNAMES->rend(); ++it) {
    if (it->THREAD == thread) return it->NAME;
  }
  return {};
}

void ErrorReporter::SetCategory(std::int32_t id, std::string_view category) {
  Lock lock(*CRITSECT);
  if (id == -1) {
    DEFAULTCATEGORY = std::string(category);
    return;
  }
  const std::ptrdiff_t found = Lookup(id);
  if (found >= 0) (*ERRORS)[static_cast<std::size_t>(found)].CATEGORY = std::string(category);
}

std::string ErrorReporter::GetCategory(std::int32_t id) {
  Lock lock(*CRITSECT);
  if (id == -1) return DEFAULTCATEGORY;
  const std::ptrdiff_t found = Lookup(id);
  if (found >= 0 && !(*ERRORS)[static_cast<std::size_t>(found)].CATEGORY.empty()) {
    return (*ERRORS)[static_cast<std::size_t>(found)].CATEGORY;
  }
  return DEFAULTCATEGORY;
}

// ---------------------------------------------------------------------------------------------
// Settings

std::int32_t ErrorReporter::GetHistoryThreshold() {
  Lock lock(*CRITSECT);
  return HISTORYTHRESHOLD;
}
void ErrorReporter::SetHistoryThreshold(std::int32_t value) {
  Lock lock(*CRITSECT);
  HISTORYTHRESHOLD = value;
}
std::int32_t ErrorReporter::GetHistoryViewLevel() {
  Lock lock(*CRITSECT);
  return HISTORYVIEWLEVEL;
}
void ErrorReporter::SetHistoryViewLevel(std::int32_t value) {
  Lock lock(*CRITSECT);
  HISTORYVIEWLEVEL = value;
}
bool ErrorReporter::GetHistoryResetOnView() {
  Lock lock(*CRITSECT);
  return HISTORYRESETONVIEW != 0;
}
void ErrorReporter::SetHistoryResetOnView(bool value) {
  Lock lock(*CRITSECT);
  HISTORYRESETONVIEW = value ? 1 : 0;
}
std::string ErrorReporter::GetDefaultCategory() {
  Lock lock(*CRITSECT);
  return DEFAULTCATEGORY;
}
void ErrorReporter::SetDefaultCategory(std::string_view value) {
  Lock lock(*CRITSECT);
  DEFAULTCATEGORY = std::string(value);
}
bool ErrorReporter::GetSilent() {
  Lock lock(*CRITSECT);
  return SILENT != 0;
}
bool ErrorReporter::GetLogErrors() {
  Lock lock(*CRITSECT);
  return LOGERRORS != 0;
}

}  // namespace vantrel::framework
