// The program's spine: the application-wide services, the per-thread request and response bytes,
// the program body and the one window procedure, Main.
#pragma once

#include <cstdint>

namespace vantrel::framework {
class ErrorReporter;
class SettingsStore;
}  // namespace vantrel::framework

namespace vantrel::app {

// The application-wide services, constructed before the program body runs (the reporter first)
// and destroyed after it in the reverse order.
framework::ErrorReporter& GlobalErrorReporter();
framework::SettingsStore& GlobalSettingsStore();

// Where the window placement lives: HKEY_CURRENT_USER\Software\Brenlo\Vantrel.
inline constexpr const char kSettingsKeyPath[] = "Software\\Brenlo\\Vantrel";
inline constexpr std::int32_t kStoreRegistryKind = 1;

// The request the next window procedure opens with, the response of the last one that ended,
// and the navigation request the controller's VCRREQUEST refers to. One of each per thread.
std::uint8_t& ThreadRequest();
std::uint8_t& ThreadResponse();
std::int32_t& ThreadVcrRequest();

// The program body: services up, desktop adjusted, Main, then everything undone in reverse.
// Needs the calling thread's window engine.
void ProgramBody();

// The main window procedure. Its controller's result goes to ThreadResponse.
void Main();

}  // namespace vantrel::app
