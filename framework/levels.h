// Codes shared by the framework classes: the level every handler returns, a procedure's response,
// and the message buttons.
#pragma once

#include <cstdint>

#include "runtime/dialog/message_dialog.h"

namespace vantrel::framework {

// The result of every Handle... operation, of Init and Shutdown, and of ErrorReporter::Throw.
enum Level : int {
  LevelQuiet = 0,  // carry on with the default processing
  LevelQuestion = 1,
  LevelProgram = 2,
  LevelFatal = 3,      // ends the event loop
  LevelCancelled = 4,  // the user declined
  LevelNotice = 5,     // the event is fully handled: skip the rest of its processing
};

// The outcome of a window procedure.
enum Response : std::uint8_t {
  ResponseNone = 0,
  RequestCompleted = 1,
  RequestCancelled = 2,
};

// Message buttons, under the framework's names: the message dialog's own bits.
enum Button : int {
  ButtonOk = kButtonOk,
  ButtonYes = kButtonYes,
  ButtonNo = kButtonNo,
  ButtonAbort = kButtonAbort,
  ButtonRetry = kButtonRetry,
  ButtonIgnore = kButtonIgnore,
  ButtonCancel = kButtonCancel,
  ButtonHelp = kButtonHelp,
};

}  // namespace vantrel::framework
