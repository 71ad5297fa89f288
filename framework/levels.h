// Codes shared by the framework classes: the level every handler returns, a procedure's response,
// and the message buttons.
#pragma once

#include <cstdint>

namespace vantrel::framework {

// The result of every Handle... operation, of Init and Shutdown, and of ErrorReporter::Throw.
enum Level : int {
  LevelQuiet = 0,      // carry on with the default processing
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

// Message buttons; a set is their sum, a dialog answers with the bit of the button pressed.
enum Button : int {
  ButtonOk = 1,
  ButtonYes = 2,
  ButtonNo = 4,
  ButtonAbort = 8,
  ButtonRetry = 16,
  ButtonIgnore = 32,
  ButtonCancel = 64,
  ButtonHelp = 128,
};

}  // namespace vantrel::framework
