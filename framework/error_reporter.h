// The error reporter: the framework's one place for reporting errors by number.
//
// It keeps a table of error definitions (number, severity, title, message, category), expands the
// message macros ("%File", "%ErrorText", "%Procedure" ...) with the raising thread's error status,
// shows the message in the message dialog or in its history window, keeps an optional history and
// an optional log file, and acts on the severity: a question answers Yes or No, a fatal error ends
// the program. It also keeps, per thread, a stack of procedure names.
//
// One re-entrant lock guards the tables and settings; it is never held while a message is shown,
// so another thread (or a handler inside the dialog) may report at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"
#include "runtime/system/byte_file.h"

namespace vantrel::framework {

// Severities of an error definition (FATALITY); any other value is handled as SeverityProgram.
enum Severity : std::uint8_t {
  SeverityQuiet = 0,      // nothing shown, level 0
  SeverityQuestion = 1,   // Yes/No: level 0 or 4
  SeverityProgram = 2,    // handled as fatal
  SeverityFatal = 3,      // message, then the program ends
  SeverityQuestion2 = 4,  // handled as SeverityQuestion
  SeverityNotice = 5,     // OK, level 5
};

// The exit status of a program ended by a fatal error. Non-zero so that scripts and installers
// that start the program see that it failed.
inline constexpr int kFatalExitStatus = 1;

// The name of the reporter's own log file, in the current directory.
inline constexpr std::string_view kErrorLogFileName = "OruError.Log";

// The message-window caption of ViewHistory.
inline constexpr std::string_view kHistoryCaption = "Errors History";

// One row of the error table. Entries made from a packed table refer to the table's bytes; those
// made by AddError own a copy of their texts.
struct ErrorEntry {
  std::int32_t ID = 0;
  std::string_view MESSAGE;
  std::string_view TITLE;
  std::uint8_t FATALITY = 0;
  std::string CATEGORY;
  std::shared_ptr<const std::string> owned;  // backing store of MESSAGE and TITLE, when owned
};

// The current error of a thread: like an error entry, with private copies of its texts.
struct CurrentError {
  std::int32_t ID = 0;
  std::string MESSAGE;
  std::string TITLE;
  std::uint8_t FATALITY = 0;
  std::string CATEGORY;
};

// The error status; one instance per thread. Texts hold at most 254 characters.
struct ErrorStatus {
  static constexpr std::size_t kTextMax = 254;

  std::string FIELDNAME;    // "%Field"
  std::string FILENAME;     // "%File"
  std::string KEYNAME;      // "%Key"
  std::string MESSAGETEXT;  // "%Message"
  std::string SAVEERROR;    // runtime error text captured by Throw
  std::int32_t SAVEERRORCODE = 0;
  std::string SAVEFILEERROR;      // file-driver error text captured by Throw
  std::string SAVEFILEERRORCODE;  // file-driver error code, as text
  CurrentError ERRORBUFFER;
  std::int32_t PREVERRORID = 0;

  void SetFieldName(std::string_view text) { FIELDNAME = Cut(text); }
  void SetFileName(std::string_view text) { FILENAME = Cut(text); }
  void SetKeyName(std::string_view text) { KEYNAME = Cut(text); }
  void SetMessageText(std::string_view text) { MESSAGETEXT = Cut(text); }
  static std::string Cut(std::string_view text) {
    return std::string(text.substr(0, text.size() < kTextMax ? text.size() : kTextMax));
  }
};

// The default per-thread status variable that Init binds to.
ErrorStatus& ThreadErrorStatus();
// A small number that names the calling thread (stable for the thread's life, never 0).
std::uint32_t CurrentThreadNumber();

struct HistoryEntry {
  static constexpr std::size_t kTextMax = 1023;
  std::string CATEGORY;
  std::string TXT;
  std::uint16_t ID = 0;
};

struct ProcedureEntry {
  std::uint32_t THREAD = 0;
  std::string NAME;
};

// The log interface that ERRORLOG refers to. Each call answers 0, or 5 on failure.
class ErrorLog {
 public:
  virtual int Close(bool force) = 0;
  virtual int Open(bool force) = 0;
  virtual int WriteLine(std::string_view text) = 0;
  virtual ~ErrorLog() = default;
};

// The reporter's own log: appends one line per WriteLine to a text file ("OruError.Log" in the
// current directory). USAGE counts nested opens; the file is open only while USAGE is above 0.
class ErrorLogFile : public ErrorLog {
 public:
  static constexpr std::size_t kRecordSize = 1024;

  explicit ErrorLogFile(std::recursive_mutex& lock,
                        std::string path = std::string(kErrorLogFileName));
  ~ErrorLogFile() override;  // closes the file with force

  int Close(bool force) override;
  int Open(bool force) override;
  int WriteLine(std::string_view text) override;

  const std::string& Path() const { return path_; }

  std::recursive_mutex& CRITSECT;
  std::int32_t USAGE = 0;

 private:
  std::string path_;
  ByteFile file_;
};

class ErrorReporter {
 public:
  // Returns the calling thread's error status.
  using StatusSlot = ErrorStatus& (*)();

  ErrorReporter();
  ErrorReporter(const ErrorReporter&) = delete;
  ErrorReporter& operator=(const ErrorReporter&) = delete;

  // Virtual operations, in their slot order (the destructor is slot 0: Kill, then the lock goes).
  virtual ~ErrorReporter();
  virtual void AddError(std::int32_t id, std::string_view message, std::string_view title,
                        std::uint8_t severity, std::string_view category = {});
  // Appends every entry of a packed table: a 16-bit little-endian count, then per entry a 16-bit
  // little-endian number, a severity byte, a title length byte and the title, a message length
  // byte and the message. The table must outlive the reporter (entries refer to its bytes). An
  // entry that would run past the end of the table ends the load.
  virtual void AddErrors(std::span<const std::uint8_t> table);
  virtual void AddHistory();
  virtual int HistoryMessage(std::string_view caption, int icon, int buttons, int defaultButton);
  virtual int Report(std::string_view text, std::string_view title, std::string_view icon,
                     int buttons, int defaultButton, int style);
  virtual int DisplayMessage(std::string_view text, std::string_view title, std::string_view icon,
                             int buttons, int defaultButton, int style);
  virtual void RemoveError(std::int32_t id);
  virtual void SetErrorLog(ErrorLog* log);
  virtual int HandleQuiet();
  virtual int HandleFatal();
  virtual void HandleNotice();
  virtual int HandleUnknown();
  virtual int HandleProgram();
  virtual int HandleQuestion();
  virtual void ViewHistory();

  // Start-up: binds the per-thread status and, on the first call only, creates the tables, the
  // file log and the built-in definitions.
  void Init(StatusSlot status = &ThreadErrorStatus);
  void Kill();

  // Reports error id with its severity and returns the level.
  int Throw(std::int32_t id);
  // Shows error id as a question with the given buttons; answers the button pressed. Neither
  // logged nor recorded in the history.
  int Message(std::int32_t id, int buttons, int defaultButton);

  void SetProcedureName(std::string_view name, bool pop = false);
  std::string GetProcedureName();
  // id -1 stands for the default category.
  void SetCategory(std::int32_t id, std::string_view category);
  std::string GetCategory(std::int32_t id);
  void ResetHistory();

  std::int32_t GetHistoryThreshold();
  void SetHistoryThreshold(std::int32_t value);
  std::int32_t GetHistoryViewLevel();
  void SetHistoryViewLevel(std::int32_t value);
  bool GetHistoryResetOnView();
  void SetHistoryResetOnView(bool value);
  std::string GetDefaultCategory();
  void SetDefaultCategory(std::string_view value);
  bool GetSilent();
  bool GetLogErrors();

  // The current error's message with its macros expanded (at most 1999 characters).
  std::string SubstituteMacros();

  // The calling thread's status (as bound by Init; the default slot before Init).
  ErrorStatus& Status();
  // A copy of the history, for inspection and for the history window.
  std::vector<HistoryEntry> HistorySnapshot();

  // Fields, in their order.
  std::string DEFAULTCATEGORY;
  std::unique_ptr<std::vector<ErrorEntry>> ERRORS;
  ErrorLog* ERRORLOG = nullptr;
  std::unique_ptr<std::vector<HistoryEntry>> HISTORY;
  std::unique_ptr<std::vector<ProcedureEntry>> PROCNAMES;
  std::unique_ptr<ErrorLogFile> STDERRORLOG;
  std::uint8_t SILENT = 0;
  std::uint8_t LOGERRORS = 0;
  std::int32_t HISTORYTHRESHOLD = 0;
  std::int32_t HISTORYVIEWLEVEL = 0;
  std::uint8_t HISTORYRESETONVIEW = 0;
  std::unique_ptr<std::recursive_mutex> CRITSECT;
  StatusSlot STATUS = nullptr;
  std::int16_t MSGSTYLE = 0;

 protected:
  // The history buffer that AddHistory appends.
  HistoryEntry historyBuffer_;

 private:
  // Makes id the thread's current error (step 2 of Throw).
  void MakeCurrent(std::int32_t id);
  // Index of the newest entry with this number, or -1. Caller holds the lock.
  std::ptrdiff_t Lookup(std::int32_t id) const;
  std::string LogLine(std::string_view text) const;
  int MessageStyle();
};

// The built-in error definitions as a packed table (texts in code page 1250).
std::span<const std::uint8_t> BuiltInErrorTable();

}  // namespace vantrel::framework
