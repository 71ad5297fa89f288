// Shows the XML library's parse progress through the window engine: the library only knows its
// presenter interface, the engine only knows windows; this joins them for the program's thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/engine.h"
#include "ui/progress_window.h"
#include "xml/xml.h"

namespace vantrel::app {

class ParseProgress : public xml::ProgressPresenter {
 public:
  explicit ParseProgress(ui::Engine& engine) : engine_(engine), window_(engine) {
    xml::SetProgressPresenter(this);
  }
  ~ParseProgress() override { xml::SetProgressPresenter(nullptr); }

  void OpenWindow(std::string_view prompt, std::int64_t range) override {
    window_.Open(prompt, range);
  }
  void SetWindowValue(std::int64_t value) override { window_.SetValue(value); }
  void CloseWindow() override { window_.Close(); }
  void SetControlRange(int control, std::int64_t range) override {
    ui::ProgressWindow::SetControlRange(engine_, nullptr, control, range);
  }
  void SetControlValue(int control, std::int64_t value) override {
    ui::ProgressWindow::SetControlValue(engine_, nullptr, control, value);
  }

 private:
  ui::Engine& engine_;
  ui::ProgressWindow window_;
};

}  // namespace vantrel::app
