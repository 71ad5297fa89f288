// The window engine: windows built from a description, events delivered one at a time, and
// window, control and system properties read and set by number.
//
// The framework and the application reach windows only through these types (ui/desktop.h gives
// them the platform's backend); nothing above ui/ includes a backend's header. A backend
// (ui/headless for tests, ui/fltk on Linux, ui/win32 on Windows) implements `Backend` and draws
// what the engine's model says; it reports what the user does back through the `Engine` calls
// listed under "Backend side". The engine keeps one state per thread: create an `Engine` with a
// backend on the thread that shows windows, and it becomes that thread's engine (and installs
// the backend's message-dialog presenter) until it is destroyed.
//
// Text inside the program is single-byte: code page 1250 on Linux, which the FLTK backend turns
// into UTF-8 at the display edge; on Windows the system's ANSI code page, which the native
// backend passes to the system's "A" calls as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/fixed_text.h"
#include "runtime/dialog/message_dialog.h"
#include "ui/list_source.h"
#include "ui/list_style.h"

namespace vantrel::ui {

// Event numbers. A field event names a control; a window event has control 0.
namespace event {
inline constexpr int Accepted = 1;
inline constexpr int NewSelection = 2;
inline constexpr int AlertKey = 15;
inline constexpr int Rejected = 26;
inline constexpr int Selected = 257;
inline constexpr int CloseWindow = 513;
inline constexpr int CloseDown = 514;
inline constexpr int OpenWindow = 515;
inline constexpr int LoseFocus = 517;
inline constexpr int GainFocus = 518;
inline constexpr int Notify = 522;
inline constexpr int Completed = 549;
inline constexpr int Sized = 561;
inline constexpr int Restored = 562;
inline constexpr int Maximized = 563;
inline constexpr int Resizer = 1023;  // the window resizer's own deferred event
}  // namespace event

// Property numbers. Values cross the interface as text (numbers in decimal); an index selects an
// element of an array property (a style number, an alert slot).
namespace prop {
// Window and control properties.
inline constexpr int Text = 0x7C00;  // caption, control text; an image's icon text
inline constexpr int Type = 0x7C01;  // control type code (read only), see ControlTypeCode
inline constexpr int Xpos = 0x7C02;  // dialog units
inline constexpr int Ypos = 0x7C03;
inline constexpr int Width = 0x7C04;
inline constexpr int Height = 0x7C05;
inline constexpr int Resize = 0x7C1A;      // window: the frame can be resized
inline constexpr int Hide = 0x7C2A;        // control or window hidden (1) or shown (0)
inline constexpr int Disable = 0x7C2B;     // control disabled (1) or enabled (0)
inline constexpr int Format = 0x7C30;      // list: format string
inline constexpr int Items = 0x7C31;       // list: number of rows (read only)
inline constexpr int Progress = 0x7C32;    // progress bar: 0..100
inline constexpr int Default = 0x7C5E;     // button: the default button of its window
inline constexpr int Icon = 0x7C68;        // window icon; as a system property the program's
inline constexpr int Iconize = 0x7C69;     // window minimised
inline constexpr int Maximize = 0x7C6F;    // window maximised
inline constexpr int SelStart = 0x7C8F;    // list: selected row (1..); sheet: selected tab (1..)
inline constexpr int AcceptAll = 0x7C9A;   // window: a select-all validation pass is running
inline constexpr int LineHeight = 0x7CFD;  // list: row height in vertical dialog units
inline constexpr int Alrt = 0x7D06;        // alert key code, index 1..255
inline constexpr int Columns = 0x7E0A;     // list: number of columns (read only)
// The list's own colours (Windows colour values; negative = system colour).
inline constexpr int FontColor = 0x7E10;
inline constexpr int Color = 0x7E11;
inline constexpr int SelectedColor = 0x7E12;
inline constexpr int SelectedFillColor = 0x7E13;
// The list's style table, index = style number (from 1).
inline constexpr int StyleFontName = 0x7E20;
inline constexpr int StyleFontSize = 0x7E21;
inline constexpr int StyleFontColor = 0x7E22;
inline constexpr int StyleFontStyle = 0x7E23;
inline constexpr int StyleFontCharSet = 0x7E24;
inline constexpr int StyleTextColor = 0x7E25;
inline constexpr int StyleBackColor = 0x7E26;
inline constexpr int StyleTextSelected = 0x7E27;
inline constexpr int StyleBackSelected = 0x7E28;
inline constexpr int StyleSelectedFifth = 0x7E29;  // the fifth colour, for selected cells
// A virtual list's data: see Engine::SetListSource.
inline constexpr int VLBProc = 0x7A1C;
inline constexpr int VLBVal = 0x7A1D;
// System properties (Engine::GetSystem / SetSystem).
inline constexpr int WindowsVersion = 0x7A5B;  // read only, from the reader the program installs
}  // namespace prop

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool Contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
  std::string face = "Tahoma";
  int points = 8;
  friend bool operator==(const Font&, const Font&) = default;
};

// A font's average character width (cx) and height (cy) in pixels: the base of dialog units.
struct FontMetrics {
  int cx = 0;
  int cy = 0;
};

// The text whose width gives a font's average character width, and the width and height that
// make the dialog base units from it, as Windows computes them for a dialog's font.
inline constexpr char kAverageWidthSample[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
FontMetrics DialogBaseUnits(int sampleWidth, int height);

// Dialog units and pixels, as Windows maps a dialog template (nearest pixel): a horizontal unit is
// a quarter of cx, a vertical unit an eighth of cy.
int UnitsToPixelsX(int units, FontMetrics m);
int UnitsToPixelsY(int units, FontMetrics m);
int PixelsToUnitsX(int pixels, FontMetrics m);
int PixelsToUnitsY(int pixels, FontMetrics m);
Rect UnitsToPixels(const Rect& units, FontMetrics m);

enum class ControlKind : std::uint8_t {
  Prompt,  // static text
  String,  // display-only text, usually bound to a variable
  Entry,   // editable text bound to a variable
  Button,
  Panel,     // a frame
  Image,     // an icon or picture; Text names it
  List,      // rows of a ListSource in the columns of its format string
  Sheet,     // holds tabs
  Tab,       // a page of a sheet; its parent is the sheet
  Progress,  // a progress bar
};
// The value of the Type property for each kind (a sheet is 37: a new selection on it may retarget
// the toolbar).
int ControlTypeCode(ControlKind kind);

// A text variable shown by a control: blank-padded single-byte text in the caller's storage.
struct TextVar {
  char* bytes = nullptr;
  std::size_t size = 0;
  template <std::size_t N>
  static TextVar Of(FixedText<N>& text) {
    return TextVar{text.bytes, N};
  }
  bool Bound() const { return bytes != nullptr; }
  std::string_view View() const { return {bytes, size}; }
};

// How a control follows its window's size along one axis (width or height) when the window is
// larger or smaller than its description says: it stays where the description puts it, moves with
// the window's far edge (right or bottom), or stretches so that both its edges keep their distance
// to the window's edges.
enum class Follow : std::uint8_t { Stay, Move, Stretch };

// One control of a window description.
struct ControlDesc {
  ControlKind kind = ControlKind::Prompt;
  int field = 0;                  // the control's field number in its window (unique, from 1)
  std::string label;              // "?BTNDISABLE"
  std::string text;               // caption, prompt text, tab title (code page 1250)
  Rect at;                        // x, y, width, height in dialog units of the window's font
  Follow followX = Follow::Stay;  // along the window's width
  Follow followY = Follow::Stay;  // along the window's height
  int parent = 0;                 // field number of the tab (or, for a tab, the sheet) holding it
  std::string format;             // list format string
  TextVar variable;               // a String or Entry control's variable
  ListSource* rows = nullptr;     // a list's rows (see ui/list_source.h for a queue's)
  bool hidden = false;
  bool disabled = false;
  bool isDefault = false;  // a button that Enter presses
};

inline constexpr int kNoPosition = -2147483647 - 1;

// A window description: what every backend builds the window from.
struct WindowDesc {
  std::string name;  // "P1$WINDOW"
  std::string caption;
  Font font;
  std::string icon;                         // "Vantrel.ico", empty for the program's icon
  Rect at{kNoPosition, kNoPosition, 0, 0};  // dialog units; no position = centred
  bool resizable = false;             // the user can size it, never below the size given in `at`
  bool modal = false;                 // blocks its owner while open
  std::vector<ControlDesc> controls;  // in order: the order is the tab order
};

class Window;

struct Event {
  int number = 0;
  int control = 0;  // 0 for a window event
  Window* window = nullptr;
  // EVENT:Notify only.
  int notifyCode = 0;
  int notifyThread = 0;
  long long notifyParameter = 0;
  bool validation = false;  // queued by a select-all validation pass
};

// The live state of one control, kept by the engine and drawn by the backend.
struct ControlState {
  ControlDesc desc;
  Rect at;           // dialog units in the window at its described size (the window's
                     // size moves and stretches it as desc.followX and followY say)
  std::string text;  // current text (a bound variable's trimmed text after Display)
  bool hidden = false;
  bool disabled = false;
  bool isDefault = false;
  int selStart = 0;    // list row / sheet tab, from 1; 0 none
  int lineHeight = 0;  // list row height in vertical dialog units; 0 = the font's
  int progress = 0;
  ListSource* rows = nullptr;
  ListColors listColors;               // the list's own colours
  ListFormat format;                   // a list's parsed format string
  std::int32_t topRow = 1;             // the list row shown at the top
  std::vector<int> columnWidths;       // pixels, -1 = the format's; set by dragging an M edge
  std::vector<ListStyleEntry> styles;  // styles[0] is style 1
  std::map<int, int> alerts;           // Alrt index -> key code
  std::map<std::pair<int, int>, std::string> other;  // properties the engine only keeps
  void* native = nullptr;                            // the backend's object for it

  const ListStyleEntry* Style(int number) const {
    return number >= 1 && number <= static_cast<int>(styles.size())
               ? &styles[static_cast<std::size_t>(number - 1)]
               : nullptr;
  }
};

// An open (or closed) window. The engine owns it; handles stay valid until the engine ends.
class Window {
 public:
  const WindowDesc& Desc() const { return desc_; }
  bool IsOpen() const { return open_; }
  Window* Owner() const { return owner_; }
  const std::string& Caption() const { return caption_; }
  // Client area on the screen, in pixels, while the window is neither maximised nor minimised
  // (kept as it was while it is: the placement to go back to and to remember).
  const Rect& Frame() const { return frame_; }
  // The size of the client area as it is now (maximised too), in pixels: the controls stand in it.
  PixelSize ClientSize() const { return client_; }
  // The client area's size as the description gives it, in pixels.
  PixelSize DescribedSize() const;
  // The smallest client area the window may have: its described size when the user can size it
  // (smaller, the controls at the bottom and right would be cut off), else no limit (0 x 0).
  PixelSize MinimumSize() const;
  bool Maximized() const { return maximized_; }
  bool Iconized() const { return iconized_; }
  FontMetrics Metrics() const { return metrics_; }
  int Focus() const { return focus_; }
  std::vector<ControlState>& Controls() { return controls_; }
  const std::vector<ControlState>& Controls() const { return controls_; }
  ControlState* Find(int field);
  const ControlState* Find(int field) const;
  // The control's rectangle in pixels of the client area at its present size.
  Rect PixelRect(const ControlState& control) const;
  // Shown: not hidden, and every tab above it is its sheet's selected tab.
  bool Visible(const ControlState& control) const;
  void* native = nullptr;  // the backend's object for the window

 private:
  friend class Engine;
  WindowDesc desc_;
  Window* owner_ = nullptr;
  bool open_ = false;
  std::string caption_;
  Rect frame_;
  PixelSize client_;
  bool maximized_ = false;
  bool iconized_ = false;
  FontMetrics metrics_;
  int focus_ = 0;
  bool acceptAll_ = false;
  bool closeOffered_ = false;
  std::string icon_;
  std::vector<ControlState> controls_;
  std::map<std::pair<int, int>, std::string> other_;
};

// A list control's geometry in pixels (relative to the list's top-left corner): columns from
// its format (less any widths the user dragged), a header band when any column has a header,
// the row height from LineHeight.
ListGeometry ListGeometryOf(const Window& window, const ControlState& list);
// How many rows fit below the header band in a row area areaHeight pixels high (at least one).
int ListVisibleRows(const ListGeometry& geometry, int areaHeight);
// Keeps the top row inside the rows, with no empty space below the last one while they fit.
void ClampListTop(ControlState& list, int visibleRows);
// The row a navigation key (a Windows virtual-key code: arrows, page up and down, home, end)
// moves the selection to, 0 for any other key or an empty list.
std::int32_t ListKeyTarget(int keyCode, std::int32_t row, std::int32_t rows, int visibleRows);
// Scrolls the list just enough that row shows.
void ScrollListTo(ControlState& list, std::int32_t row, int visibleRows);
// The user dragged column's (1-based) sizing edge to x pixels from the list's left edge.
void DragColumnEdge(ControlState& list, const ListGeometry& geometry, int column, int x);
// The rows of a list's data (0 without a source).
std::int32_t ListRowCount(const ControlState& list);

class Engine;

// What a backend does for the engine. All calls come on the engine's thread.
class Backend {
 public:
  virtual ~Backend() = default;
  // The average character size of a font, in pixels.
  virtual FontMetrics Metrics(const Font& font) = 0;
  // The screen's work area in pixels.
  virtual Rect ScreenArea() = 0;
  // Creates the native window from window.Desc() and the current state, and shows it.
  virtual void OpenWindow(Engine& engine, Window& window) = 0;
  virtual void CloseWindow(Window& window) = 0;
  // The window's caption, frame, maximised or minimised state changed.
  virtual void UpdateWindow(Window& window) = 0;
  // A control's state changed (text, position, visibility, rows, colours ...): draw it anew.
  virtual void UpdateControl(Window& window, ControlState& control) = 0;
  virtual void SetFocus(Window& window, int field) = 0;
  // Feeds what the user did into the engine (Engine::Post and the backend-side calls). With
  // wait it blocks until something happened. Returns false when no input can come any more
  // (a headless script that has run out).
  virtual bool Pump(Engine& engine, bool wait) = 0;
  virtual void Beep(int sound) = 0;
  // Brings the screen up to date with the model without taking any input (a long job calls
  // this between steps so that its progress shows).
  virtual void Flush() {}
  // The presenter that shows message dialogs on this backend.
  virtual MessagePresenter& Presenter() = 0;
};

class Engine {
 public:
  // Becomes the calling thread's engine (replacing none: a thread has at most one) and installs
  // the backend's message presenter for the thread.
  explicit Engine(std::unique_ptr<Backend> backend);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The calling thread's engine, nullptr when it has none.
  static Engine* Current();
  Backend& GetBackend() { return *backend_; }

  // Windows. Open builds the window from its description, shows it (centred on the work area
  // without a position) and queues EVENT:OpenWindow and EVENT:Sized for it.
  Window* Open(const WindowDesc& desc, Window* owner = nullptr);
  void Close(Window* window);

  // The event loop of one window: delivers its events one at a time to handler, which returns a
  // level: 3 ends the loop, 5 skips the engine's default processing of the event (for
  // EVENT:CloseWindow and EVENT:CloseDown the default is closing the window). The loop also ends
  // when the window closes. Events of other windows wait in the queue.
  void Run(Window* window, const std::function<int(const Event&)>& handler);

  // The event being handled (number 0 outside a handler) and its parts.
  const Event& CurrentEvent() const { return current_; }
  int EventNumber() const { return current_.number; }
  int EventField() const { return current_.control; }
  int Accepted() const { return current_.number == event::Accepted ? current_.control : 0; }
  // The control that has the focus in window (the current event's window when null).
  int FocusedControl(Window* window = nullptr) const;

  // Queues an event (at the back, or at the front to come next).
  void Post(Window* window, int number, int control = 0, bool front = false);
  void PostNotify(Window* window, int code, int thread, long long parameter);

  // Gives the control the focus and queues EVENT:Selected for it. Control 0 runs a validation
  // pass: AcceptAll is set, every Entry control gets EVENT:Accepted in order, then EVENT:Completed
  // comes and AcceptAll is cleared.
  void Select(Window* window, int control);
  // Reads bound variables again and redraws the control (0 = all controls).
  void Display(Window* window, int control = 0);
  void Beep(int sound = 0);
  // Repaints what changed without handling input: for long jobs inside an event handler.
  void Flush() { backend_->Flush(); }
  // The most recently opened window that is still open (nullptr when none).
  Window* ActiveWindow() const;

  // The key code of the last key pressed (0 = none).
  int KeyCode() const { return keyCode_; }
  void SetKeyCode(int code) { keyCode_ = code; }

  // Properties by number: window properties with control 0. Unknown numbers are kept and read
  // back as set.
  std::string Get(Window* window, int control, int property, int index = 0) const;
  void Set(Window* window, int control, int property, std::string_view value, int index = 0);
  long long GetNumber(Window* window, int control, int property, int index = 0) const;
  void SetNumber(Window* window, int control, int property, long long value, int index = 0);
  // System properties. A reader installed for a number supplies its value on every read.
  std::string GetSystem(int property) const;
  void SetSystem(int property, std::string_view value);
  void SetSystemReader(int property, std::function<std::string()> reader);

  // A list's rows: a queue (QueueListSource) or a virtual source.
  void SetListSource(Window* window, int control, ListSource* rows);

  // Backend side: what the user did.
  void UserAccepted(Window* window, int control);            // a button pressed
  void UserFocus(Window* window, int control);               // focus moved to a control
  void UserSelectRow(Window* window, int control, int row);  // list row or sheet tab chosen
  void UserEdited(Window* window, int control, std::string_view text);  // an entry's new text
  void UserMoved(Window* window, const Rect& frame);                    // moved or resized (pixels)
  // The client area's size now, whoever changed it (the user, a maximise, the program through
  // the backend): the controls are placed anew for it. Backends report it also while the window
  // is maximised; never while it is minimised.
  void ClientSized(Window* window, PixelSize size);
  void UserState(Window* window, bool maximized, bool iconized);
  void UserClose(Window* window);          // the close box
  void UserKey(Window* window, int code);  // a key the window saw

 private:
  bool NextEvent(Window* window, Event* out);
  void DefaultAction(Window* window, const Event& e);
  void Resized(Window* window, const Rect& frame, bool byUser);

  std::unique_ptr<Backend> backend_;
  std::vector<std::unique_ptr<Window>> windows_;
  std::deque<Event> queue_;
  Event current_;
  int keyCode_ = 0;
  std::map<int, std::string> system_;
  std::map<int, std::function<std::string()>> readers_;
  MessagePresenter* previousPresenter_ = nullptr;
};

}  // namespace vantrel::ui
