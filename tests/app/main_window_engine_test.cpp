// The window engine over the application's own main window: its description placed in pixels and
// following the window's size, its properties, and its list's format, styles and input.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/main_window_desc.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"
#include "ui/list_format.h"
#include "ui/list_style.h"

namespace vantrel::ui {
namespace {

using testing::MainWindowDesc;
using testing::Seen;

class MainWindowEngineTest : public ::testing::Test {
 protected:
  MainWindowEngineTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<Engine>(std::move(backend));
  }
  // Runs the window's loop, recording every event.
  std::vector<Seen> RunLoop(Window* w) {
    std::vector<Seen> seen;
    engine->Run(w, [&](const Event& e) {
      seen.push_back({e.number, e.control});
      return 0;
    });
    return seen;
  }
  HeadlessBackend* screen = nullptr;
  std::unique_ptr<Engine> engine;
};

TEST_F(MainWindowEngineTest, ControlsArePlacedByDialogUnitsOfTheWindowFont) {
  Window* w = engine->Open(MainWindowDesc(nullptr));
  // Tahoma 8 in the headless metrics: 6 x 13 pixels.
  ASSERT_EQ(w->Metrics().cx, 6);
  ASSERT_EQ(w->Metrics().cy, 13);
  const DrawnWindow d = screen->Snapshot(*w);
  EXPECT_EQ(d.Control(7)->rect, (Rect{14, 39, 690, 260}));   // 9*6/4 = 13.5 rounds to 14
  EXPECT_EQ(d.Control(21)->rect, (Rect{645, 345, 66, 23}));  // 22.75 rounds to 23
  EXPECT_EQ(d.frame.width, 720);
  EXPECT_EQ(d.frame.height, 374);  // 230*13/8 = 373.75
  // Centred on the work area.
  EXPECT_EQ(d.frame.x, (1280 - 720) / 2);
  EXPECT_EQ(d.frame.y, (984 - 374) / 2);
}

TEST_F(MainWindowEngineTest, WindowPropertiesInDialogUnits) {
  Window* w = engine->Open(MainWindowDesc(nullptr));
  engine->SetNumber(w, 0, prop::Xpos, 40);
  engine->SetNumber(w, 0, prop::Ypos, 16);
  engine->SetNumber(w, 0, prop::Width, 500);
  engine->SetNumber(w, 0, prop::Height, 240);
  EXPECT_EQ(w->Frame(), (Rect{60, 26, 750, 390}));
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Xpos), 40);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Ypos), 16);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Width), 500);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Height), 240);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Resize), 1);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Maximize), 0);
  engine->SetNumber(w, 0, prop::Maximize, 1);
  EXPECT_EQ(engine->GetNumber(w, 0, prop::Maximize), 1);
  EXPECT_EQ(engine->Get(w, 0, prop::Text), "Vantrel registry settings");
  engine->Set(w, 0, prop::Text, "Other");
  EXPECT_EQ(screen->Snapshot(*w).caption, "Other");
  // Every size change is reported with EVENT:Sized (opening, width, height); a maximise with
  // EVENT:Maximized.
  const std::vector<Seen> seen = RunLoop(w);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Seen{event::Sized, 0}), 3);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Seen{event::Maximized, 0}), 1);
}

// The main window at another size than its description's: the sheet and the list take the
// difference, the buttons under the list keep their distance to the bottom edge, Close its
// distance to the bottom-right corner, everything else stays; whoever sizes the window, it cannot
// be made smaller than described (its controls would be cut off).
TEST_F(MainWindowEngineTest, MainWindowControlsFollowTheWindowsSize) {
  const FontMetrics m = HeadlessFontMetrics(Font{"Tahoma", 8});
  const PixelSize described{UnitsToPixelsX(480, m), UnitsToPixelsY(230, m)};
  auto setSize = [](int width, int height) {
    return [width, height](Engine& e, Window* w) {
      e.SetNumber(w, 0, prop::Width, width);  // dialog units, as a remembered placement is
      e.SetNumber(w, 0, prop::Height, height);
    };
  };
  struct Case {
    const char* how;
    std::function<void(HeadlessBackend&)> resize;
    PixelSize client;
  };
  const Case cases[] = {
      {"dragged larger",
       [](HeadlessBackend& s) {
         s.MoveTo({10, 20, 1000, 600});
       },
       {1000, 600}},
      {"dragged smaller than described",
       [](HeadlessBackend& s) {
         s.MoveTo({10, 20, 300, 200});
       },
       described},
      {"dragged narrower only",
       [](HeadlessBackend& s) {
         s.MoveTo({10, 20, 500, 700});
       },
       {described.width, 700}},
      {"placement restored larger",
       [&](HeadlessBackend& s) { s.Do(setSize(600, 300)); },
       {900, 488}},
      {"placement restored smaller", [&](HeadlessBackend& s) { s.Do(setSize(300, 100)); },
       described},
      {"maximised", [](HeadlessBackend& s) { s.SetState(true, false); }, {1280, 984}},
      {"maximised by the program",
       [](HeadlessBackend& s) {
         s.Do([](Engine& e, Window* w) { e.SetNumber(w, 0, prop::Maximize, 1); });
       },
       {1280, 984}},
      {"maximised, then restored",
       [](HeadlessBackend& s) {
         s.SetState(true, false);
         s.SetState(false, false);
       },
       described},
  };
  const DrawnWindow atDescribedSize = screen->Snapshot(*engine->Open(MainWindowDesc(nullptr)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Window* w = engine->Open(MainWindowDesc(nullptr));
    c.resize(*screen);
    DrawnWindow drawn;
    PixelSize client;
    screen->Do([&](Engine&, Window* win) {
      drawn = screen->Snapshot(*win);
      client = win->ClientSize();
    });
    RunLoop(w);
    ASSERT_EQ(client, c.client);
    if (!drawn.maximized) {
      EXPECT_EQ(drawn.frame.width, client.width);
      EXPECT_EQ(drawn.frame.height, client.height);
    }
    const int dx = client.width - described.width;
    const int dy = client.height - described.height;
    for (const DrawnControl& now : drawn.controls) {
      SCOPED_TRACE("control " + std::to_string(now.field));
      Rect expected = atDescribedSize.Control(now.field)->rect;
      switch (now.field) {
        case app::kShtVantrel:
        case app::kTabItems:
        case app::kTabInfo:
        case app::kLstRegistryItems:
          expected.width += dx;
          expected.height += dy;
          break;
        case app::kBtnSave:
        case app::kBtnRestore:
        case app::kBtnDisable:
        case app::kBtnEnable: expected.y += dy; break;
        case app::kBtnClose:
          expected.x += dx;
          expected.y += dy;
          break;
        default: break;
      }
      EXPECT_EQ(now.rect, expected);
      // Nothing is cut off.
      EXPECT_LE(now.rect.x + now.rect.width, client.width);
      EXPECT_LE(now.rect.y + now.rect.height, client.height);
    }
  }
}

TEST_F(MainWindowEngineTest, ControlProperties) {
  Window* w = engine->Open(MainWindowDesc(nullptr));
  EXPECT_EQ(engine->GetNumber(w, 1, prop::Type), 37);
  EXPECT_EQ(engine->GetNumber(w, 7, prop::Type), ControlTypeCode(ControlKind::List));
  EXPECT_EQ(engine->GetNumber(w, 7, prop::Columns), 6);
  EXPECT_EQ(engine->Get(w, 3, prop::Text), "Disable Vantrel");
  EXPECT_EQ(engine->GetNumber(w, 3, prop::Xpos), 145);
  engine->SetNumber(w, 3, prop::Default, 1);
  engine->SetNumber(w, 4, prop::Default, 1);
  EXPECT_EQ(engine->GetNumber(w, 3, prop::Default), 0);  // one default button per window
  EXPECT_EQ(engine->GetNumber(w, 4, prop::Default), 1);
  engine->SetNumber(w, 5, prop::Disable, 1);
  EXPECT_TRUE(screen->Snapshot(*w).Control(5)->disabled);
  engine->SetNumber(w, 3, prop::Alrt, 27, 255);
  EXPECT_EQ(engine->GetNumber(w, 3, prop::Alrt, 255), 27);
  EXPECT_EQ(engine->GetNumber(w, 3, prop::Alrt, 1), 0);
  engine->Set(w, 3, 0x7777, "kept", 3);  // a number the engine does not know is kept
  EXPECT_EQ(engine->Get(w, 3, 0x7777, 3), "kept");
  EXPECT_EQ(engine->Get(w, 3, 0x7777, 2), "");
  engine->SetNumber(w, 7, prop::StyleBackColor, 0xDDDDFF, 2);
  EXPECT_EQ(engine->GetNumber(w, 7, prop::StyleBackColor, 2), 0xDDDDFF);
  EXPECT_EQ(engine->GetNumber(w, 7, prop::StyleBackColor, 1), -1);
  EXPECT_EQ(engine->Get(w, 99, prop::Text), "");  // no such control
  // A disabled button cannot be pressed.
  screen->Click(5);
  const std::vector<Seen> seen = RunLoop(w);
  EXPECT_EQ(std::find(seen.begin(), seen.end(), Seen{event::Accepted, 5}), seen.end());
}

TEST(ListFormat, MainWindowFormatGivesSixColumnsOverTwelveFields) {
  const ListFormat f = ParseListFormat(testing::kMainFormat);
  ASSERT_TRUE(f.valid) << f.error;
  ASSERT_EQ(f.columns.size(), 6u);
  EXPECT_EQ(f.fieldsUsed, 12);
  const char* headers[] = {"Key Name", "Value Name", "Current", "Saved", "Disable", "Enable"};
  const int widths[] = {224, 88, 36, 36, 36, 36};
  const char* pictures[] = {"s200", "s100", "s20", "s20", "s20", "s20"};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const ListColumn& c = f.columns[static_cast<std::size_t>(i)];
    EXPECT_EQ(c.header, headers[i]);
    EXPECT_EQ(c.width, widths[i]);
    EXPECT_EQ(c.picture, pictures[i]);
    EXPECT_EQ(c.align, kAlignLeft);
    EXPECT_EQ(c.indent, 1);
    EXPECT_EQ(c.headerAlign, kAlignLeft);
    EXPECT_EQ(c.headerIndent, 2);
    EXPECT_TRUE(c.rightBorder);
    EXPECT_TRUE(c.resizable);
    EXPECT_TRUE(c.hasStyle);
    EXPECT_FALSE(c.hasColors);
    EXPECT_EQ(c.dataField, 2 * i + 1);
    EXPECT_EQ(c.styleField, 2 * i + 2);
    EXPECT_EQ(c.defaultStyle, i == 0 ? 1 : 0);
  }
}

// The main window's list on the headless screen: styles from the style fields, colours by style.
class MainListTest : public ::testing::Test {
 protected:
  MainListTest() : rows(app::DisplayRecord::kLayout) {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<Engine>(std::move(backend));
    const app::DisplayRecord plain = testing::Row("SYSTEM\\A", "EnableOplocks", "0", "0", 1);
    const app::DisplayRecord marked = testing::Row("SYSTEM\\B", "UseOplocks", "1", "0", 2);
    app::DisplayRecord zero = testing::Row("SYSTEM\\C", "Zero", "N/A", "0", 0);
    rows.Add(&plain);
    rows.Add(&marked);
    rows.Add(&zero);
    window = engine->Open(testing::MainWindowDesc(&rows));
    testing::SetMainStyles(*engine, window);
  }
  HeadlessBackend* screen = nullptr;
  std::unique_ptr<Engine> engine;
  RecordListSource rows;
  Window* window = nullptr;
};

TEST_F(MainListTest, RowsAreDrawnInTheirStylesColours) {
  DrawnWindow d = screen->Snapshot(*window);
  const DrawnControl& list = *d.Control(7);
  ASSERT_TRUE(list.formatValid);
  ASSERT_EQ(list.rows.size(), 3u);
  EXPECT_EQ(list.rowHeight, 18);  // 11 units of a 13-pixel font
  EXPECT_EQ(list.headerHeight, 17);
  ASSERT_EQ(list.columns.size(), 6u);
  EXPECT_EQ(list.columns[0].header, "Key Name");
  EXPECT_EQ(list.columns[1].headerRect.x - list.columns[0].headerRect.x, 336);  // 224 units
  EXPECT_EQ(list.columns[2].headerRect.width, 54);
  EXPECT_TRUE(list.columns[5].rightBorder);
  EXPECT_EQ(list.columns[0].indent, 2);  // 1 unit = 1.5 pixels, rounded
  for (int col = 0; col < 6; ++col) {
    SCOPED_TRACE(col);
    // Style 1: a plain row.
    EXPECT_EQ(list.rows[0][col].style, 1);
    EXPECT_EQ(list.rows[0][col].backRgb, 0xFFFFFFu);
    EXPECT_EQ(list.rows[0][col].textRgb, 0x000000u);
    // Style 2: black on light red.
    EXPECT_EQ(list.rows[1][col].style, 2);
    EXPECT_EQ(list.rows[1][col].backRgb, 0xFFDDDDu);
    EXPECT_EQ(list.rows[1][col].textRgb, 0x000000u);
    // A style field of 0 takes the first column's default style 1; the others have none.
    EXPECT_EQ(list.rows[2][col].style, col == 0 ? 1 : 0);
    EXPECT_EQ(list.rows[2][col].backRgb, 0xFFFFFFu);
  }
  EXPECT_EQ(list.rows[1][1].text, "UseOplocks");
  EXPECT_EQ(list.rows[1][0].rect, (Rect{14, 39 + 17 + 18, 336, 18}));

  // Selected: style 2 turns its text red on the list's selection background.
  screen->SelectRow(7, 2);
  screen->SelectRow(7, 1);
  std::vector<int> selections;
  engine->Run(window, [&](const Event& e) {
    if (e.number == event::NewSelection) {
      selections.push_back(static_cast<int>(engine->GetNumber(window, 7, prop::SelStart)));
      if (selections.size() == 1) {
        d = screen->Snapshot(*window);
        return 3;
      }
    }
    return 0;
  });
  const DrawnControl& selected = *d.Control(7);
  EXPECT_TRUE(selected.rows[1][3].selected);
  EXPECT_EQ(selected.rows[1][3].textRgb, 0xFF0000u);
  EXPECT_EQ(selected.rows[1][3].backRgb, 0x0078D7u);
  EXPECT_FALSE(selected.rows[0][3].selected);
  EXPECT_EQ(selections, (std::vector<int>{2}));
}

TEST_F(MainListTest, HitTesting) {
  const ControlState& list = *window->Find(7);
  const ListGeometry g = ListGeometryOf(*window, list);
  struct Case {
    int x, y;
    ListHit::Kind kind;
    int column;
    int row;
  };
  const Case cases[] = {
      {336, 100, ListHit::kSizingZone, 1, 0},  // on the edge, in the rows
      {333, 5, ListHit::kSizingZone, 1, 0},    // three line widths away, in the header
      {339, 5, ListHit::kSizingZone, 1, 0},
      {340, 5, ListHit::kHeader, 2, 0},  // four pixels away
      {332, 5, ListHit::kHeader, 1, 0},
      {341, 5, ListHit::kHeader, 2, 0},
      {10, 17, ListHit::kCell, 1, 1},
      {10, 17 + 18 * 2 + 17, ListHit::kCell, 1, 3},
      {10, 17 + 18 * 3, ListHit::kNothing, 0, 0},  // below the last row
      {700, 30, ListHit::kNothing, 0, 0},          // right of the last column
  };
  const ListFormat& f = list.format;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    const ListHit h = HitTest(f, g, c.x, c.y);
    EXPECT_EQ(h.kind, c.kind);
    EXPECT_EQ(h.column, c.column);
    EXPECT_EQ(h.row, c.row);
  }
  // An icon column's cell has its icon area at the left.
  const ListFormat icons = ParseListFormat("40LI40L");
  ListGeometry ig;
  ig.columns = LayoutColumns(icons, 6);
  ig.rowHeight = 10;
  ig.rowCount = 2;
  EXPECT_EQ(HitTest(icons, ig, 5, 5).kind, ListHit::kIcon);
  EXPECT_EQ(HitTest(icons, ig, 30, 5).kind, ListHit::kCell);
  EXPECT_EQ(HitTest(icons, ig, 65, 5).kind, ListHit::kCell);
  EXPECT_EQ(HitTest(icons, ig, 65, 15).row, 2);
}

// What the desktop backends share: keys move the selection, the list scrolls to keep it in
// view without leaving space below the last row, and a dragged sizing edge moves the columns after
// it.
TEST_F(MainListTest, KeysScrollingAndDraggedEdges) {
  struct Key {
    int code;
    std::int32_t from;
    std::int32_t to;
  };
  const Key keys[] = {
      {0x28, 0, 1}, {0x28, 2, 3}, {0x28, 3, 3},  // down, stopping at the last row
      {0x26, 0, 1}, {0x26, 3, 2}, {0x26, 1, 1},  // up, stopping at the first
      {0x22, 1, 3}, {0x21, 3, 1},                // a page of two rows each way
      {0x24, 3, 1}, {0x23, 1, 3},                // home, end
      {0x41, 2, 0}, {0x0D, 2, 0},                // other keys do not move it
  };
  for (const Key& k : keys) {
    SCOPED_TRACE(std::to_string(k.code) + " from " + std::to_string(k.from));
    EXPECT_EQ(ListKeyTarget(k.code, k.from, 3, 2), k.to);
  }
  EXPECT_EQ(ListKeyTarget(0x28, 0, 0, 2), 0);  // no rows, nothing to select

  ControlState& list = *window->Find(7);
  const ListGeometry g = ListGeometryOf(*window, list);
  EXPECT_EQ(ListVisibleRows(g, g.headerHeight + 2 * g.rowHeight + g.rowHeight / 2), 2);
  EXPECT_EQ(ListVisibleRows(g, 0), 1);
  ScrollListTo(list, 3, 2);
  EXPECT_EQ(list.topRow, 2);
  ScrollListTo(list, 1, 2);
  EXPECT_EQ(list.topRow, 1);
  list.topRow = 3;
  ClampListTop(list, 2);
  EXPECT_EQ(list.topRow, 2);
  ClampListTop(list, 5);
  EXPECT_EQ(list.topRow, 1);

  DragColumnEdge(list, g, 1, 100);
  const ListGeometry dragged = ListGeometryOf(*window, list);
  EXPECT_EQ(dragged.columns[0].width, 100);
  EXPECT_EQ(dragged.columns[1].left, 100);
  EXPECT_EQ(dragged.columns[1].width, g.columns[1].width);
  EXPECT_EQ(dragged.columns[2].left, 100 + g.columns[1].width);
  DragColumnEdge(list, dragged, 2, 50);  // left of the column's own left edge: an empty column
  EXPECT_EQ(ListGeometryOf(*window, list).columns[1].width, 0);
}

}  // namespace
}  // namespace vantrel::ui
