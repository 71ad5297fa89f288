#include "ui/list_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/ui/test_window.h"
#include "ui/headless/headless.h"

namespace vantrel::ui {
namespace {

using testing::kTestList;
using testing::Seen;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kLightRed = 0xFFDDDD;
constexpr std::uint32_t kHighlight = 0x0078D7;

// Eight rows of which rows 3 and 5 are marked (style 2: light red, red text when selected), in a
// list that shows five rows and a part of a sixth.
class ListViewTest : public ::testing::Test {
 protected:
  ListViewTest() : rows(testing::TestRow::kLayout) {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<Engine>(std::move(backend));
    for (int i = 1; i <= 8; ++i) {
      const std::string name = "row" + std::to_string(i);
      const testing::TestRow row = testing::Row(name.c_str(), "v", i == 3 || i == 5 ? 2 : 1);
      rows.Add(&row);
    }
    window = engine->Open(testing::ListWindowDesc(&rows));
    engine->SetNumber(window, kTestList, prop::StyleBackColor, 0xDDDDFF, 2);
    engine->SetNumber(window, kTestList, prop::StyleTextSelected, 0x0000FF, 2);
    area = window->PixelRect(*window->Find(kTestList));
  }
  ControlState& List() { return *window->Find(kTestList); }
  // The name column's cells as painted, top to bottom.
  std::vector<CanvasCall> NameCells(const RecordingCanvas& canvas) const {
    std::vector<CanvasCall> out;
    for (const CanvasCall& c : canvas.Calls(CanvasCall::kFill)) {
      if (c.rect.x == area.x && c.rect.width == 150 && c.rect.height == 15) out.push_back(c);
    }
    return out;
  }
  std::vector<std::string> NameTexts(const RecordingCanvas& canvas) const {
    std::vector<std::string> out;
    for (const CanvasCall& c : canvas.Calls(CanvasCall::kText)) {
      if (c.rect.x == area.x + 2 && c.rect.y >= area.y + 17) out.push_back(c.text);
    }
    return out;
  }
  HeadlessBackend* screen = nullptr;
  std::unique_ptr<Engine> engine;
  RecordListSource rows;
  Window* window = nullptr;
  Rect area;
};

TEST_F(ListViewTest, PaintsTheRowsFromTheTopRowInsideItsArea) {
  // Tahoma 8 in the headless metrics: 6 x 13 pixels; a header band of 17, rows of 15.
  ASSERT_EQ(area, (Rect{6, 36, 270, 98}));
  RecordingCanvas canvas = screen->PaintedList(*window, kTestList);
  EXPECT_TRUE(canvas.Balanced());
  ASSERT_FALSE(canvas.Calls().empty());
  for (const CanvasCall& c : canvas.Calls()) EXPECT_EQ(c.clip, area);
  EXPECT_EQ(canvas.Calls().front().rect, area);  // the background first
  EXPECT_EQ(canvas.Calls().front().rgb, kWhite);
  std::vector<std::string> headers;
  for (const CanvasCall& c : canvas.Calls(CanvasCall::kText)) {
    if (c.rect.y == area.y) headers.push_back(c.text);
  }
  EXPECT_EQ(headers, (std::vector<std::string>{"Name", "Value"}));

  std::vector<CanvasCall> cells = NameCells(canvas);
  ASSERT_EQ(cells.size(), 6u);  // five rows and the top of a sixth
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cells[i].rect.y, area.y + 17 + static_cast<int>(i) * 15);
    EXPECT_EQ(cells[i].rgb, i == 2 || i == 4 ? kLightRed : kWhite);
  }
  EXPECT_EQ(cells.back().Visible().height, area.y + area.height - cells.back().rect.y);
  EXPECT_EQ(cells.back().Visible().height, 6);
  EXPECT_EQ(NameTexts(canvas),
            (std::vector<std::string>{"row1", "row2", "row3", "row4", "row5", "row6"}));
  // The column lines run over the row area to its bottom edge.
  int columnLines = 0;
  for (const CanvasCall& c : canvas.Calls(CanvasCall::kLine)) {
    if (c.rect.y == area.y + 17 && c.rect.width == 0) {
      ++columnLines;
      EXPECT_EQ(c.rect.y + c.rect.height, area.y + area.height);
    }
  }
  EXPECT_EQ(columnLines, 2);

  // Scrolled down by three: row 4 stands at the top and the last row fits whole.
  ListView view(*window, kTestList);
  EXPECT_EQ(view.ScrollTo(4), ListView::kRescroll);
  canvas = screen->PaintedList(*window, kTestList);
  cells = NameCells(canvas);
  ASSERT_EQ(cells.size(), 5u);
  EXPECT_EQ(cells[0].rect.y, area.y + 17);
  EXPECT_EQ(cells[1].rgb, kLightRed);  // row 5
  EXPECT_EQ(NameTexts(canvas), (std::vector<std::string>{"row4", "row5", "row6", "row7", "row8"}));
}

TEST_F(ListViewTest, SelectedRowAndTheFocusMark) {
  engine->SetNumber(window, kTestList, prop::SelStart, 3);
  RecordingCanvas canvas = screen->PaintedList(*window, kTestList);
  std::vector<CanvasCall> cells = NameCells(canvas);
  ASSERT_GE(cells.size(), 3u);
  EXPECT_EQ(cells[2].rgb, kHighlight);
  EXPECT_EQ(cells[1].rgb, kWhite);
  for (const CanvasCall& c : canvas.Calls(CanvasCall::kText)) {
    if (c.text == "row3") {
      EXPECT_EQ(c.rgb, 0xFF0000u);  // a marked row's selected text is red
    }
  }
  EXPECT_TRUE(canvas.Calls(CanvasCall::kFocus).empty()) << "the list does not have the focus";

  engine->UserFocus(window, kTestList);
  canvas = screen->PaintedList(*window, kTestList);
  std::vector<CanvasCall> focus = canvas.Calls(CanvasCall::kFocus);
  ASSERT_EQ(focus.size(), 1u);
  // Across the columns (narrower than the list), on the selected row, drawn last.
  EXPECT_EQ(focus[0].rect, (Rect{area.x, area.y + 17 + 2 * 15, 240, 15}));
  EXPECT_EQ(canvas.Calls().back().kind, CanvasCall::kFocus);

  // The selected row scrolled out of view: no mark anywhere.
  ListView(*window, kTestList).ScrollTo(4);
  EXPECT_TRUE(screen->PaintedList(*window, kTestList).Calls(CanvasCall::kFocus).empty());
  // Nothing selected: no mark either.
  List().topRow = 1;
  engine->SetNumber(window, kTestList, prop::SelStart, 0);
  EXPECT_TRUE(screen->PaintedList(*window, kTestList).Calls(CanvasCall::kFocus).empty());
}

TEST(ListInput, KeysGiveTheSameActionOnEveryDesktop) {
  struct Case {
    const char* what;
    int key;
    std::int32_t selected, rows;
    ListAction expected;
  };
  constexpr int kVisible = 5;
  const Case cases[] = {
      {"down", 0x28, 2, 8, {ListAction::kSelect, 3}},
      {"down at the last row", 0x28, 8, 8, {ListAction::kSelect, 8}},
      {"down with nothing selected", 0x28, 0, 8, {ListAction::kSelect, 1}},
      {"up", 0x26, 5, 8, {ListAction::kSelect, 4}},
      {"up at the first row", 0x26, 1, 8, {ListAction::kSelect, 1}},
      {"page down", 0x22, 1, 8, {ListAction::kSelect, 6}},
      {"page down near the end", 0x22, 6, 8, {ListAction::kSelect, 8}},
      {"page up", 0x21, 7, 8, {ListAction::kSelect, 2}},
      {"home", 0x24, 5, 8, {ListAction::kSelect, 1}},
      {"end", 0x23, 2, 8, {ListAction::kSelect, 8}},
      {"enter", 0x0D, 2, 8, {ListAction::kAccept}},
      {"a letter", 0x41, 2, 8, {ListAction::kNone}},
      {"F1", 0x70, 2, 8, {ListAction::kNone}},
      {"left", 0x25, 2, 8, {ListAction::kNone}},
      // An empty list takes its navigation keys and does nothing with them.
      {"down, empty", 0x28, 0, 0, {ListAction::kNothing}},
      {"up, empty", 0x26, 0, 0, {ListAction::kNothing}},
      {"page down, empty", 0x22, 0, 0, {ListAction::kNothing}},
      {"page up, empty", 0x21, 0, 0, {ListAction::kNothing}},
      {"home, empty", 0x24, 0, 0, {ListAction::kNothing}},
      {"end, empty", 0x23, 0, 0, {ListAction::kNothing}},
      {"enter, empty", 0x0D, 0, 0, {ListAction::kAccept}},
      {"a letter, empty", 0x41, 0, 0, {ListAction::kNone}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ListKeyAction(c.key, c.selected, c.rows, kVisible), c.expected);
  }
  EXPECT_EQ(ListWheelAction(2), (ListAction{ListAction::kScrollBy, 6}));
  EXPECT_EQ(ListWheelAction(-1), (ListAction{ListAction::kScrollBy, -3}));
}

std::vector<Seen> RunOut(Engine& engine, Window* w) {
  std::vector<Seen> seen;
  engine.Run(w, [&](const Event& e) {
    if (e.number != event::OpenWindow && e.number != event::Sized) {
      seen.push_back({e.number, e.control});
    }
    return e.number == event::CloseWindow ? 3 : 0;
  });
  return seen;
}

TEST_F(ListViewTest, KeysOnAnEmptyListAreTakenAndChangeNothing) {
  rows.Clear();
  ListView view(*window, kTestList);
  for (int key : {0x28, 0x26, 0x22, 0x21, 0x24, 0x23}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(view.Key(*engine, key, area.height), ListView::kHandled);
    EXPECT_EQ(List().selStart, 0);
    EXPECT_EQ(List().topRow, 1);
  }
  EXPECT_EQ(view.Key(*engine, 0x41, area.height), ListView::kPassOn);
  EXPECT_EQ(RunOut(*engine, window), (std::vector<Seen>{{event::CloseWindow, 0}}));
}

TEST_F(ListViewTest, KeysMoveTheSelectionAndKeepItInView) {
  ListView view(*window, kTestList);
  EXPECT_EQ(view.Key(*engine, 0x23, area.height), ListView::kRescroll);  // end
  EXPECT_EQ(List().selStart, 8);
  EXPECT_EQ(List().topRow, 4);
  EXPECT_EQ(view.Key(*engine, 0x21, area.height), ListView::kRescroll);  // page up
  EXPECT_EQ(List().selStart, 3);
  EXPECT_EQ(List().topRow, 3);
  EXPECT_EQ(view.Key(*engine, 0x0D, area.height), ListView::kHandled);
  EXPECT_EQ(RunOut(*engine, window), (std::vector<Seen>{{event::NewSelection, kTestList},
                                                        {event::NewSelection, kTestList},
                                                        {event::Accepted, kTestList},
                                                        {event::CloseWindow, 0}}));
}

TEST_F(ListViewTest, MouseSelectsDragsEdgesAndScrolls) {
  ListView view(*window, kTestList);
  // The name column's right edge, in the header band: its sizing zone.
  EXPECT_EQ(view.Press(*engine, 150, 5, false), ListView::kHandled);
  EXPECT_TRUE(view.Sizing());
  EXPECT_TRUE(view.SizingCursorAt(60, 40));  // held: the cursor stays wherever the mouse is
  EXPECT_EQ(view.Drag(120), ListView::kRepaint);
  EXPECT_EQ(view.Geometry().columns[0].width, 120);
  EXPECT_EQ(view.Geometry().columns[1].left, 120);
  view.Release();
  EXPECT_FALSE(view.Sizing());
  EXPECT_EQ(view.Drag(60), ListView::kHandled);  // not held: nothing moves
  EXPECT_EQ(view.Geometry().columns[0].width, 120);
  EXPECT_FALSE(view.SizingCursorAt(60, 40));
  EXPECT_TRUE(view.SizingCursorAt(119, 40));

  EXPECT_EQ(view.Press(*engine, 10, 17 + 15 + 3, false), ListView::kHandled);  // row 2
  EXPECT_EQ(List().selStart, 2);
  EXPECT_EQ(window->Focus(), kTestList);
  EXPECT_EQ(view.Press(*engine, 10, 17 + 2 * 15 + 3, true), ListView::kHandled);  // row 3, twice
  EXPECT_EQ(List().selStart, 3);
  EXPECT_EQ(view.Press(*engine, 10, 5, false), ListView::kHandled);  // a header: nothing
  EXPECT_EQ(List().selStart, 3);

  EXPECT_EQ(view.Wheel(1), ListView::kRescroll);
  EXPECT_EQ(List().topRow, 4);
  EXPECT_EQ(view.Wheel(-1), ListView::kRescroll);
  EXPECT_EQ(List().topRow, 1);
  EXPECT_EQ(RunOut(*engine, window), (std::vector<Seen>{{event::Selected, kTestList},
                                                        {event::NewSelection, kTestList},
                                                        {event::NewSelection, kTestList},
                                                        {event::Accepted, kTestList},
                                                        {event::CloseWindow, 0}}));
}

}  // namespace
}  // namespace vantrel::ui
