// The FLTK backend: the window engine on the Linux desktop.
//
// Windows, sheets with tabs, buttons, prompts, panels, strings, entries, images, progress bars
// and the list control are FLTK widgets placed at the pixel rectangles the engine computes; the
// list draws every cell in the colours the list style code chooses. Program text (code page 1250)
// becomes UTF-8 here and nowhere else. Message dialogs show exactly the computed layout.
//
// Only the program body (through ui/desktop.h) and the desktop tests name this class.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/engine.h"

class Fl_RGB_Image;
class Fl_Window;

namespace vantrel::ui {

class FltkBackend : public Backend, public MessagePresenter {
 public:
  FltkBackend();
  ~FltkBackend() override;

  // Called once a message dialog is on the screen, with its layout and its FLTK window: lets a
  // test driver find the buttons it wants to press.
  void OnDialogShown(std::function<void(const MessageLayout&, Fl_Window&)> fn) {
    onDialogShown_ = std::move(fn);
  }
  // The FLTK window showing an engine window (nullptr when it is not open).
  static Fl_Window* NativeWindow(const Window& window);

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

  // What a widget callback needs to reach the engine.
  struct Binding {
    FltkBackend* backend = nullptr;
    Window* window = nullptr;
    int field = 0;
  };
  Engine* GetEngine() const { return engine_; }

 private:
  Binding* Bind(Window* window, int field);
  // The window's icon (its own, else the program's) as a PNG beside the program; null when
  // there is none.
  const Fl_RGB_Image* WindowIcon(const Window& window);

  Engine* engine_ = nullptr;
  std::vector<Window*> windows_;  // the open ones, in the order they opened
  std::vector<std::unique_ptr<Binding>> bindings_;
  std::function<void(const MessageLayout&, Fl_Window&)> onDialogShown_;
  std::map<std::string, std::unique_ptr<Fl_RGB_Image>> icons_;  // by icon name, null if missing
};

}  // namespace vantrel::ui
