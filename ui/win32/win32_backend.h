// The Win32 backend: the window engine on the Windows desktop.
//
// Every engine window is a top-level window of its own class; its controls are standard child
// windows placed at the pixel rectangles the engine computes from dialog units: a sheet is a tab
// control whose tabs show and hide the controls standing on them, buttons, statics, frames, edit
// boxes, icons and progress bars are the system's own, and the list is a control of this backend
// that paints every cell in the colours the list style code chooses. Text stays single-byte: the
// A functions take the program's bytes as they are. Message dialogs are built from the computed
// layout in a dialog of their own.
//
// Only the program body (through ui/desktop.h) names this class.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/engine.h"

namespace vantrel::ui {

class Win32Backend : public Backend, public MessagePresenter {
 public:
  Win32Backend();
  ~Win32Backend() override;

  // Backend.
  FontMetrics Metrics(const Font& font) override;
  Rect ScreenArea() override;
  void OpenWindow(Engine& engine, Window& window) override;
  void CloseWindow(Window& window) override;
  void UpdateWindow(Window& window) override;
  void UpdateControl(Window& window, ControlState& control) override;
  void SetFocus(Window& window, int field) override;
  bool Pump(Engine& engine, bool wait) override;
  void Beep(int sound) override;
  void Flush() override;
  MessagePresenter& Presenter() override { return *this; }

  // MessagePresenter.
  MessageFont StandardFont() const override { return {"Tahoma", 8}; }
  PixelSize AverageCharSize(const MessageFont& font) const override;
  int TextWidth(const MessageFont& font, std::string_view run) const override;
  PixelRect WorkArea() const override;
  int ScrollBarWidth() const override;
  int Present(const MessageLayout& layout) override;

  // What the window procedures need (defined in the source file).
  struct NativeWindow;
  struct NativeControl;
  Engine* GetEngine() const { return engine_; }
  // The font handle (an HFONT) for a face and size, made once and kept until the backend ends.
  void* FontHandle(const std::string& face, int points) const;

 private:
  Engine* engine_ = nullptr;
  std::vector<std::unique_ptr<NativeWindow>> windows_;
  mutable std::map<std::pair<std::string, int>, void*> fonts_;
};

}  // namespace vantrel::ui
