// The main window as the window engine's tests use it: the application's description with the
// list showing an in-memory table of DisplayQueue records, and its row styles.
#pragma once

#include "app/item_tables.h"
#include "app/main_window_desc.h"
#include "tests/ui/test_window.h"
#include "ui/engine.h"

namespace vantrel::ui::testing {

inline constexpr const char* kMainFormat = app::kMainListFormat;

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
