// The main window's description as the tests build it: the controls, positions and list format
// the application uses, with the list showing an in-memory table of DisplayQueue records.
#pragma once

#include <cstring>
#include <string>

#include "app/item_tables.h"
#include "ui/engine.h"

namespace vantrel::ui::testing {

inline constexpr const char kMainFormat[] =
    "224L(1)|MY~Key Name~L(2)@s200@Z(1)88L(1)|MY~Value Name~L(2)@s100@36L(1)|MY~Current~L(2)@s20@"
    "36L(1)|MY~Saved~L(2)@s20@36L(1)|MY~Disable~L(2)@s20@36L(1)|MY~Enable~L(2)@s20@";

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

inline WindowDesc MainWindowDesc(ListSource* rows, TextVar os = {}) {
  WindowDesc w;
  w.name = "P1$WINDOW";
  w.caption = "Vantrel registry settings";
  w.font = {"Tahoma", 8};
  w.icon = "Vantrel.ico";
  w.at = {kNoPosition, kNoPosition, 480, 230};
  w.resizable = true;
  using K = ControlKind;
  w.controls = {
      Make(K::Sheet, 1, "?SHTVANTREL", "", {4, 4, 472, 204}),
      Make(K::Tab, 2, "?TABITEMS", "Registry items", {}, 1),
      Make(K::Button, 3, "?BTNDISABLE", "Disable Vantrel", {145, 188, 64, 14}, 2),
      Make(K::Button, 4, "?BTNENABLE", "Enable Vantrel", {213, 188, 64, 14}, 2),
      Make(K::Button, 5, "?BTNSAVE", "Save current", {9, 188, 64, 14}, 2),
      Make(K::Button, 6, "?BTNRESTORE", "Restore saved", {77, 188, 64, 14}, 2),
      Make(K::List, 7, "?LSTREGISTRYITEMS", "", {9, 24, 460, 160}, 2),
      Make(K::Tab, 8, "?TABINFO", "Info", {}, 1),
      Make(K::Prompt, 9, "?PMTINFO:1",
           "Manage Opportunistic Locking and Read Caching registry settings, allows you to;",
           {12, 24, 456, 10}, 8),
      Make(K::Prompt, 10, "?PMTINFO:2", "- view which settings sholud be changed", {12, 38, 456, 10}, 8),
      Make(K::Prompt, 11, "?PMTINFO:3", "- save current registry values to Vantrel.xml file",
           {12, 51, 456, 10}, 8),
      Make(K::Prompt, 12, "?PMTINFO:4", "- restore previously saved changes", {12, 65, 456, 10}, 8),
      Make(K::Prompt, 13, "?PMTINFO:5", "- set registry values to disable Vantrel", {12, 78, 456, 10}, 8),
      Make(K::Prompt, 14, "?PMTINFO:6", "- set registry values to enable Vantrel", {12, 92, 456, 10}, 8),
      Make(K::Panel, 15, "?PANEL1", "", {12, 153, 456, 16}, 8),
      Make(K::Prompt, 16, "?PMTOS", "Operating system:", {12, 160, 88, 10}, 8),
      Make(K::String, 17, "?LOC:OS", "", {103, 160, 360, 10}, 8),
      Make(K::Panel, 18, "?PANEL1:2", "", {12, 177, 456, 16}, 8),
      Make(K::Prompt, 19, "?PMTAUTHOR", "Brenlo", {12, 181, 456, 15}, 8),
      Make(K::Prompt, 20, "?PMTMAIL", "brenlo@example.org", {12, 192, 456, 15}, 8),
      Make(K::Button, 21, "?BTNCLOSE", "Close", {430, 212, 44, 14}),
  };
  w.controls[6].format = kMainFormat;
  w.controls[6].rows = rows;
  w.controls[16].variable = os;
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

// The list styles the main window sets when it opens.
inline void SetMainStyles(Engine& engine, Window* w) {
  engine.SetNumber(w, 7, prop::LineHeight, 11);
  engine.SetNumber(w, 7, prop::StyleBackColor, -1, 1);
  engine.SetNumber(w, 7, prop::StyleBackSelected, -1, 1);
  engine.SetNumber(w, 7, prop::StyleTextColor, 0, 2);
  engine.SetNumber(w, 7, prop::StyleBackColor, 0xDDDDFF, 2);
  engine.SetNumber(w, 7, prop::StyleTextSelected, 0x0000FF, 2);
  engine.SetNumber(w, 7, prop::StyleBackSelected, -1, 2);
}

}  // namespace vantrel::ui::testing
