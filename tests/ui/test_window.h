// Windows and list rows of the ui tests' own: a record layout for list rows (text cells, each
// followed by its style number) and small window descriptions built from it. Nothing here comes
// from the application; its own window is tested in tests/app.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "runtime/text/fixed_text.h"
#include "runtime/queue/queue.h"
#include "runtime/text/record_layout.h"
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

// An event as a test saw it.
struct Seen {
  int number;
  int control;
  friend bool operator==(const Seen&, const Seen&) = default;
};

#pragma pack(push, 1)
struct TestRow {
  FixedText<40> NAME;
  std::int32_t NAME_STYLE = 0;
  FixedText<20> VALUE;
  std::int32_t VALUE_STYLE = 0;

  static const RecordLayout kLayout;
};
#pragma pack(pop)

inline constexpr FieldDesc kTestRowFields[] = {
    TextField("TR:NAME", "", offsetof(TestRow, NAME), 40),
    LongField("TR:NAME_STYLE", "", offsetof(TestRow, NAME_STYLE)),
    TextField("TR:VALUE", "", offsetof(TestRow, VALUE), 20),
    LongField("TR:VALUE_STYLE", "", offsetof(TestRow, VALUE_STYLE)),
};
inline constexpr RecordLayout kTestRowLayout{kTestRowFields, sizeof(TestRow)};
static_assert(kTestRowLayout.IsConsistent());
inline const RecordLayout TestRow::kLayout = kTestRowLayout;
using TestQueue = RecordQueue<TestRow>;

inline TestRow Row(const char* name, const char* value, int style) {
  TestRow r;
  r.NAME = name;
  r.VALUE = value;
  r.NAME_STYLE = r.VALUE_STYLE = style;
  return r;
}

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

// Two resizable, headed columns over TestRow: name (style 1 by default) and value.
inline constexpr const char kTestListFormat[] =
    "100L(1)|M~Name~L(2)@s40@YZ(1)60L(1)|M~Value~L(2)@s20@Y";
inline constexpr int kTestList = 2;

// A window with a list (field 2) between two buttons (fields 1 and 3).
inline WindowDesc ListWindowDesc(ListSource* rows) {
  WindowDesc w;
  w.name = "listwindow";
  w.caption = "List";
  w.at = {0, 0, 200, 100};
  w.controls = {Make(ControlKind::Button, 1, "?FIRST", "First", {4, 4, 40, 14}),
                Make(ControlKind::List, kTestList, "?LIST", "", {4, 22, 180, 60}),
                Make(ControlKind::Button, 3, "?LAST", "Last", {4, 84, 40, 14})};
  w.controls[1].format = kTestListFormat;
  w.controls[1].rows = rows;
  return w;
}

// A resizable window with a sheet (field 1) of two tabs: tab 2 holds buttons 3, 5 and 6, tab 8 a
// prompt (16) and a string (17) showing `text`; button 21 stands below the sheet.
inline WindowDesc SheetWindowDesc(TextVar text = {}) {
  WindowDesc w;
  w.name = "sheetwindow";
  w.caption = "Sheet";
  w.at = {kNoPosition, kNoPosition, 200, 120};
  w.resizable = true;
  w.controls = {Make(ControlKind::Sheet, 1, "?SHEET", "", {4, 4, 192, 94}),
                Make(ControlKind::Tab, 2, "?TABONE", "One", {4, 4, 192, 94}, 1),
                Make(ControlKind::Button, 3, "?BTNTHREE", "Three", {9, 24, 50, 14}, 2),
                Make(ControlKind::Button, 5, "?BTNFIVE", "Five", {63, 24, 50, 14}, 2),
                Make(ControlKind::Button, 6, "?BTNSIX", "Six", {117, 24, 50, 14}, 2),
                Make(ControlKind::Tab, 8, "?TABTWO", "Two", {4, 4, 192, 94}, 1),
                Make(ControlKind::Prompt, 16, "?PMTTEXT", "Text:", {12, 24, 40, 10}, 8),
                Make(ControlKind::String, 17, "?TEXT", "", {56, 24, 120, 10}, 8),
                Make(ControlKind::Button, 21, "?BTNCLOSE", "Close", {150, 102, 44, 14})};
  w.controls[7].variable = text;
  return w;
}

}  // namespace vantrel::ui::testing
