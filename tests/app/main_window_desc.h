// The main window as the ui tests use it: the application's description with the list showing an
// in-memory table of DisplayQueue records, and its row styles.
#pragma once

#include <cstring>
#include <ostream>
#include <string>

#include "app/item_tables.h"
#include "app/main_window_desc.h"
#include "ui/engine.h"

namespace vantrel {

// Sizes in test failures as "widthxheight".
inline void PrintTo(const PixelSize& s, std::ostream* os) { *os << s.width << "x" << s.height; }

}  // namespace vantrel

namespace vantrel::ui {

// Rectangles in test failures as "x,y widthxheight".
inline void PrintTo(const Rect& r, std::ostream* os) {
  *os << r.x << "," << r.y << " " << r.width << "x" << r.height;
}

}  // namespace vantrel::ui

namespace vantrel::ui::testing {

inline constexpr const char* kMainFormat = app::kMainListFormat;

inline ControlDesc Make(ControlKind kind, int field, const char* label, const char* text, Rect at,
                        int parent = 0) {
  ControlDesc c;
  c.kind = kind;
  c.field = field;
  c.label = label;
  c.text = text;
  c.at = at;
  c.parent = parent;
  return c;
}

// The application's own description, its ?LOC:OS bound to `os` instead of a MainData.
inline WindowDesc MainWindowDesc(ListSource* rows, TextVar os = {}) {
  static app::MainData unbound;
  WindowDesc w = app::MainWindowDescription(unbound, rows);
  for (ControlDesc& c : w.controls) {
    if (c.field == app::kLocOs) c.variable = os;
  }
  return w;
}

inline app::DisplayRecord Row(const char* key, const char* value, const char* current,
                              const char* disable, int style) {
  app::DisplayRecord r;
  r.KEYNAME = key;
  r.VALUENAME = value;
  r.CURRENTVALUE = current;
  r.SAVEDVALUE = "N/A";
  r.DISABLEVALUE = disable;
  r.ENABLEVALUE = "1";
  r.KEYNAME_STYLE = r.VALUENAME_STYLE = r.CURRENTVALUE_STYLE = r.SAVEDVALUE_STYLE =
      r.DISABLEVALUE_STYLE = r.ENABLEVALUE_STYLE = style;
  return r;
}

// The row height and list styles the main window sets when it opens.
inline void SetMainStyles(Engine& engine, Window* w) {
  engine.SetNumber(w, app::kLstRegistryItems, prop::LineHeight, app::kMainListRowHeight);
  app::SetMainListStyles(engine, w);
}

}  // namespace vantrel::ui::testing
