// The headless backend: the window engine without a display, for tests.
//
// Fonts have fixed metrics (every character is one average width wide), the user is a script of
// inputs played one per event wait, message dialogs are answered from a script, and every window
// and control can be read back as it would be drawn: texts, pixel rectangles and the colours of
// every list cell.
//
//   auto backend = std::make_unique<HeadlessBackend>();
//   HeadlessBackend* screen = backend.get();
//   Engine engine(std::move(backend));         // the thread's engine from here on
//   screen->Click(21);                         // the user's first action in the next window loop
//   screen->AnswerDialog(DialogAnswer::Button(7));
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/engine.h"
#include "ui/headless/recording_canvas.h"

namespace vantrel::ui {

// The headless fonts: height from the point size, proportional faces a little narrower than
// "Courier New" (and any face whose name says it is fixed).
FontMetrics HeadlessFontMetrics(const Font& font);

struct DrawnCell {
  std::string text;
  Rect rect;  // in the window's client area
  int style = 0;
  bool selected = false;
  CellColors colors;          // the chosen colour values
  std::uint32_t textRgb = 0;  // 0xRRGGBB as drawn
  std::uint32_t backRgb = 0;
};

struct DrawnColumn {
  std::string header;
  Rect headerRect;
  ListAlign align = kAlignLeft;
  ListAlign headerAlign = kAlignLeft;
  int indent = 0;            // pixels
  bool rightBorder = false;  // a line at the right edge over the rows
  bool sizingZone = false;   // the right edge can be dragged
};

struct DrawnControl {
  int field = 0;
  ControlKind kind = ControlKind::Prompt;
  std::string label;
  std::string text;
  Rect rect;  // in the window's client area, pixels
  bool visible = false;
  bool disabled = false;
  bool isDefault = false;
  bool focused = false;
  int selStart = 0;
  // Lists only.
  bool formatValid = false;
  int rowHeight = 0;
  int headerHeight = 0;
  std::vector<DrawnColumn> columns;
  std::vector<std::vector<DrawnCell>> rows;  // every row of the source, rows[0] is row 1
};

struct DrawnWindow {
  std::string name;
  std::string caption;
  Rect frame;  // client area on the screen, pixels
  bool open = false;
  bool maximized = false;
  bool iconized = false;
  bool modal = false;
  std::vector<DrawnControl> controls;
  const DrawnControl* Control(int field) const;
};

// How a scripted user answers the next message dialog.
struct DialogAnswer {
  enum Kind { kButtonId, kCaption, kPosition, kEscape, kEnter } kind = kEnter;
  int value = 0;  // control identifier, or 1-based position in the row
  std::string caption;
  static DialogAnswer Button(int id) { return {kButtonId, id, {}}; }
  static DialogAnswer Caption(std::string text) { return {kCaption, 0, std::move(text)}; }
  static DialogAnswer Position(int n) { return {kPosition, n, {}}; }
  static DialogAnswer Escape() { return {kEscape, 0, {}}; }
  static DialogAnswer Enter() { return {kEnter, 0, {}}; }
};

struct ShownDialog {
  MessageLayout layout;
  PixelRect frame;                     // where it was placed on the screen
  int endedBy = 0;                     // the control identifier that ended it
  bool scripted = true;                // false: no answer was scripted and Enter was assumed
  std::vector<std::string> textLines;  // the text as wrapped in the text rectangle
};

class HeadlessBackend : public Backend, public MessagePresenter {
 public:
  HeadlessBackend();

  // The user's script. Each input is played when a window loop waits for an event, against the
  // most recently opened window that is still open (or the named one).
  void Click(int field, std::string window = {});
  void CloseBox(std::string window = {});
  void Key(int code, std::string window = {});
  void SelectRow(int field, int row, std::string window = {});
  void Edit(int field, std::string text, std::string window = {});
  // The user moves or sizes the window (not below its minimum size) ...
  void MoveTo(Rect frame, std::string window = {});
  // ... or maximises, minimises or restores it.
  void SetState(bool maximized, bool iconized, std::string window = {});
  // Any other step: runs with the engine and the target window when its turn comes.
  void Do(std::function<void(Engine&, Window*)> step, std::string window = {});
  std::size_t PendingInputs() const { return inputs_.size(); }

  // Dialog answers, used in order.
  void AnswerDialog(DialogAnswer answer) { answers_.push_back(std::move(answer)); }

  // The screen.
  void SetWorkArea(Rect area) { work_ = {area.x, area.y, area.width, area.height}; }
  void SetDialogFontOption(bool on) { dialogFontOption_ = on; }
  void SetResourceString(int id, std::string text) { resources_[id] = std::move(text); }
  void SetMainFrame(const Rect* frame);

  // What was drawn.
  DrawnWindow Snapshot(const Window& window) const;
  // The list control `field` as the desktop backends paint it, at its place in the client area
  // (no frame, no scroll bar), with the focus mark when the window's focus is on it.
  RecordingCanvas PaintedList(const Window& window, int field) const;
  // Windows in the order they were opened (closed ones included).
  const std::vector<Window*>& Windows() const { return windows_; }
  Window* FindWindow(std::string_view name) const;  // the newest window of that name
  const std::vector<ShownDialog>& Dialogs() const { return dialogs_; }
  int Beeps() const { return beeps_; }

  // Backend.
  FontMetrics Metrics(const Font& font) override { return HeadlessFontMetrics(font); }
  Rect ScreenArea() override { return {work_.x, work_.y, work_.width, work_.height}; }
  void OpenWindow(Engine& engine, Window& window) override;
  void CloseWindow(Window& window) override;
  void UpdateWindow(Window& window) override;
  void UpdateControl(Window& window, ControlState& control) override;
  void SetFocus(Window& window, int field) override;
  bool Pump(Engine& engine, bool wait) override;
  void Beep(int sound) override;
  MessagePresenter& Presenter() override { return *this; }

  // MessagePresenter.
  MessageFont StandardFont() const override { return {"Tahoma", 8}; }
  bool DialogFontOption() const override { return dialogFontOption_; }
  PixelSize AverageCharSize(const MessageFont& font) const override;
  int TextWidth(const MessageFont& font, std::string_view run) const override;
  PixelRect WorkArea() const override { return work_; }
  int ScrollBarWidth() const override { return 17; }
  std::optional<std::string> ResourceString(int id) const override;
  int Present(const MessageLayout& layout) override;

 private:
  struct Input {
    std::string window;
    std::function<void(Engine&, Window*)> apply;
  };
  Window* Target(const std::string& name) const;
  void Script(std::string window, std::function<void(Engine&, Window*)> apply);

  Engine* engine_ = nullptr;
  PixelRect work_{0, 0, 1280, 984};
  bool dialogFontOption_ = false;
  bool hasMainFrame_ = false;
  PixelRect mainFrame_;
  std::map<int, std::string> resources_;
  std::deque<Input> inputs_;
  std::deque<DialogAnswer> answers_;
  std::vector<Window*> windows_;
  std::vector<ShownDialog> dialogs_;
  int beeps_ = 0;
};

}  // namespace vantrel::ui
