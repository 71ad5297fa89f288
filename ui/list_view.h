// The list control, drawn and driven the same way on every desktop.
//
// A backend gives the list a canvas to draw on (ListCanvas) and forwards the user's keys, clicks,
// drags, wheel turns and scroll-bar moves to a ListView; the ListView decides what they mean
// (ListAction), tells the engine, and answers what the backend has to do next (ListView::Result).
// The backend keeps only what its desktop owns: its surface, its scroll bar, its mouse capture.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/engine.h"
#include "ui/list_style.h"

namespace vantrel::ui {

// What the list draws with. Coordinates are pixels of the backend's surface; colours 0xRRGGBB.
class ListCanvas {
 public:
  virtual ~ListCanvas() = default;
  // Nothing is drawn outside r until the matching PopClip.
  virtual void PushClip(const Rect& r) = 0;
  virtual void PopClip() = 0;
  virtual void FillRect(const Rect& r, std::uint32_t rgb) = 0;
  // Program text (code page 1250) on one line inside r, cut at its edges, centred vertically.
  virtual void Text(const Rect& r, std::string_view text, ListAlign align, std::uint32_t rgb) = 0;
  // A one-pixel line from (x1, y1) up to, not including, (x2, y2): horizontal or vertical.
  virtual void Line(int x1, int y1, int x2, int y2, std::uint32_t rgb) = 0;
  // A one-pixel outline just inside r.
  virtual void FrameRect(const Rect& r, std::uint32_t rgb) = 0;
  // The desktop's mark of the row that has the keyboard focus (a dotted outline).
  virtual void FocusRect(const Rect& r) = 0;
};

// Draws the list into area: its background, the header band, the rows from the top row down as
// far as they fit, the column lines, and the focus mark on the selected row when the list has the
// keyboard focus and that row is in view.
void PaintList(const Window& window, const ControlState& list, ListCanvas& canvas, const Rect& area,
               bool focused);

// What one input means to a list.
struct ListAction {
  enum Kind {
    kNone,         // not the list's: the backend passes it on
    kNothing,      // the list's, with nothing to do (a navigation key on an empty list)
    kSelect,       // select row `value` and scroll it into view
    kAccept,       // the list is accepted (Enter)
    kClickRow,     // a click on row `value`; a double click accepts it as well
    kStartSizing,  // the user takes hold of column `value`'s sizing edge
    kScrollBy,     // the top row moves by `value` rows (negative: up)
    kScrollTo,     // the top row becomes `value`
  } kind = kNone;
  std::int32_t value = 0;
  bool doubleClick = false;
  friend bool operator==(const ListAction&, const ListAction&) = default;
};

// A key (a Windows virtual-key code) on a list whose selected row is `selected` (0: none) of
// `rows`, with `visibleRows` in view: the arrows, page up and down, home and end select a row,
// Enter accepts, every other key is not the list's.
ListAction ListKeyAction(int keyCode, std::int32_t selected, std::int32_t rows, int visibleRows);
// A press of the left button at (x, y) from the list's top-left corner.
ListAction ListPressAction(const ListFormat& format, const ListGeometry& geometry, int x, int y,
                           bool doubleClick);
// The mouse wheel turned by `notches` (positive: towards the end): three rows a notch.
ListAction ListWheelAction(int notches);

// One list control of an open window, as a backend drives it.
class ListView {
 public:
  // What the backend does after an input.
  enum Result {
    kPassOn,   // not the list's input
    kHandled,  // taken; nothing to show
    kRepaint,  // taken; paint the list again
    kRescroll  // taken; the top row or the rows changed: set the scroll bar and paint again
  };

  ListView(Window& window, int field) : window_(&window), field_(field) {}

  ControlState* State() const { return window_->Find(field_); }
  ListGeometry Geometry() const { return ListGeometryOf(*window_, *State()); }
  // Rows that fit in a row area areaHeight pixels high (the header band included).
  int VisibleRows(int areaHeight) const { return ListVisibleRows(Geometry(), areaHeight); }
  void Paint(ListCanvas& canvas, const Rect& area, bool focused) const {
    PaintList(*window_, *State(), canvas, area, focused);
  }

  // Inputs; x and y are pixels from the list area's top-left corner.
  Result Key(Engine& engine, int keyCode, int areaHeight);
  Result Press(Engine& engine, int x, int y, bool doubleClick);
  Result Drag(int x);
  Result Release();
  Result Wheel(int notches);
  Result ScrollBy(std::int32_t rows);
  Result ScrollTo(std::int32_t topRow);
  // Whether a sizing edge is held (the backend keeps the mouse meanwhile).
  bool Sizing() const { return dragging_ > 0; }
  // Whether the mouse at (x, y) shows the sizing cursor.
  bool SizingCursorAt(int x, int y) const;

  // Carries out an action on the list.
  Result Apply(Engine& engine, const ListAction& action, int visibleRows);

 private:
  Window* window_;
  int field_;
  int dragging_ = 0;  // the column whose sizing edge the mouse holds (from 1)
};

}  // namespace vantrel::ui
