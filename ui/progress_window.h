// Progress: a small window with a prompt and a bar, shown while a long job runs inside an event
// handler, or a progress control on a window of the program's own.
//
// Values run from 0 to a range the caller gives (a file's size, say); the bar shows the share.
// Every change is flushed to the screen at once, since the job keeps the event loop waiting.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/engine.h"

namespace vantrel::ui {

inline constexpr const char kProgressWindowName[] = "P1$PROGRESSWINDOW";
inline constexpr int kProgressPrompt = 1;  // field numbers in the progress window
inline constexpr int kProgressBar = 2;

// The bar's position in percent: value out of range, clamped; a range of 0 or less shows 0.
int ProgressPercent(std::int64_t value, std::int64_t range);

class ProgressWindow {
 public:
  explicit ProgressWindow(Engine& engine) : engine_(engine) {}
  ~ProgressWindow() { Close(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Opens the window (closing one this object had open) with the prompt and the bar at 0.
  void Open(std::string_view prompt, std::int64_t range);
  void SetValue(std::int64_t value);
  void Close();
  bool IsOpen() const { return window_ != nullptr && window_->IsOpen(); }
  Window* GetWindow() const { return window_; }

  // A progress control on another window (the active one when window is null).
  static void SetControlRange(Engine& engine, Window* window, int control, std::int64_t range);
  static void SetControlValue(Engine& engine, Window* window, int control, std::int64_t value);

 private:
  Engine& engine_;
  Window* window_ = nullptr;
  std::int64_t range_ = 0;
};

}  // namespace vantrel::ui
