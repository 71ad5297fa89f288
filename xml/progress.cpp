#include "xml/progress.h"

#include "xml/state.h"

namespace vantrel::xml {
namespace {

// The setting names a control when it is a number.
bool ControlNumber(std::string_view setting, int* control) {
  setting = TrimBlanks(setting);
  while (!setting.empty() && setting.front() == ' ') setting.remove_prefix(1);
  if (setting.empty() || setting.size() > 9) return false;
  int n = 0;
  std::size_t i = 0;
  bool negative = false;
  if (setting[0] == '-') {
    negative = true;
    i = 1;
    if (setting.size() == 1) return false;
  }
  for (; i < setting.size(); ++i) {
    if (setting[i] < '0' || setting[i] > '9') return false;
    n = n * 10 + (setting[i] - '0');
  }
  *control = negative ? -n : n;
  return true;
}

}  // namespace

ProgressRun::ProgressRun(std::int64_t documentSize) {
  ProgressState& state = Lib().progress;
  large_ = documentSize > kLargeDocument;
  if (state.threshold == -1 || documentSize < state.threshold || !state.presenter) return;
  active_ = true;
  if (ControlNumber(state.setting, &control_)) {
    state.presenter->SetControlRange(control_, documentSize);
    state.presenter->SetControlValue(control_, 0);
    return;
  }
  const std::string_view prompt = TrimBlanks(state.setting);
  state.presenter->OpenWindow(prompt.empty() ? "Loading XML Data ..." : prompt, documentSize);
  ownWindow_ = true;
  state.windowOpen = true;
}

ProgressRun::~ProgressRun() {
  ProgressState& state = Lib().progress;
  if (ownWindow_ && state.presenter) state.presenter->CloseWindow();
  if (ownWindow_) state.windowOpen = false;
}

void ProgressRun::Show(std::int64_t position) {
  ProgressState& state = Lib().progress;
  if (!state.presenter) return;
  if (ownWindow_)
    state.presenter->SetWindowValue(position);
  else
    state.presenter->SetControlValue(control_, position);
}

void SetProgressPresenter(ProgressPresenter* presenter) { Lib().progress.presenter = presenter; }
void SetProgressThreshold(std::int32_t bytes) { Lib().progress.threshold = bytes; }
void SetProgressSetting(std::string_view setting) {
  Lib().progress.setting = std::string(setting.substr(0, 50));
}

}  // namespace vantrel::xml
