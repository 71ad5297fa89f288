#include "ui/progress_window.h"

#include <string>

namespace vantrel::ui {
namespace {

// Ranges of progress controls on other windows, by window and control.
constexpr int kRangeProperty = 0x7C33;

}  // namespace

int ProgressPercent(std::int64_t value, std::int64_t range) {
  if (range <= 0 || value <= 0) return 0;
  if (value >= range) return 100;
  return static_cast<int>(value * 100 / range);
}

void ProgressWindow::Open(std::string_view prompt, std::int64_t range) {
  Close();
  WindowDesc desc;
  desc.name = kProgressWindowName;
  desc.caption = "Progress";
  desc.at = {kNoPosition, kNoPosition, 200, 50};
  ControlDesc text;
  text.kind = ControlKind::Prompt;
  text.field = kProgressPrompt;
  text.label = "?PROGRESS:PROMPT";
  text.text = std::string(prompt);
  text.at = {8, 8, 184, 10};
  ControlDesc bar;
  bar.kind = ControlKind::Progress;
  bar.field = kProgressBar;
  bar.label = "?PROGRESS:BAR";
  bar.at = {8, 24, 184, 12};
  desc.controls = {text, bar};
  range_ = range;
  window_ = engine_.Open(desc, engine_.ActiveWindow());
  engine_.Flush();
}

void ProgressWindow::SetValue(std::int64_t value) {
  if (!IsOpen()) return;
  engine_.SetNumber(window_, kProgressBar, prop::Progress, ProgressPercent(value, range_));
  engine_.Flush();
}

void ProgressWindow::Close() {
  if (window_) engine_.Close(window_);
  window_ = nullptr;
  engine_.Flush();
}

void ProgressWindow::SetControlRange(Engine& engine, Window* window, int control,
                                     std::int64_t range) {
  if (!window) window = engine.ActiveWindow();
  if (!window) return;
  engine.SetNumber(window, control, kRangeProperty, range);
  engine.SetNumber(window, control, prop::Progress, 0);
  engine.Flush();
}

void ProgressWindow::SetControlValue(Engine& engine, Window* window, int control,
                                     std::int64_t value) {
  if (!window) window = engine.ActiveWindow();
  if (!window) return;
  const std::int64_t range = engine.GetNumber(window, control, kRangeProperty);
  engine.SetNumber(window, control, prop::Progress, ProgressPercent(value, range));
  engine.Flush();
}

}  // namespace vantrel::ui
