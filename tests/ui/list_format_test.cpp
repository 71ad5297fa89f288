#include "ui/list_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/test_window.h"
#include "ui/headless/headless.h"
#include "ui/list_style.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/picture.h"

namespace vantrel::ui {
namespace {

struct FieldCase {
  const char* format;
  std::vector<std::vector<int>> fields;  // per column: data, colour, icon, tree, style, tip
};

TEST(ListFormat, FieldsConsumedPerColumn) {
  const FieldCase cases[] = {
      {"10L20R30C40D",
       {{1, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {3, 0, 0, 0, 0, 0}, {4, 0, 0, 0, 0, 0}}},
      {"10L*IYTP20L", {{1, 2, 6, 7, 8, 9}, {10, 0, 0, 0, 0, 0}}},
      {"10LPYTJ*20L", {{1, 2, 6, 7, 8, 9}, {10, 0, 0, 0, 0, 0}}},  // order of letters is free
      {"10L#5#Y20L", {{5, 0, 0, 0, 6, 0}, {7, 0, 0, 0, 0, 0}}},
      {"10L20L#1#", {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}},
      {"0L-5Ly10L",
       {{1, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 3, 0}, {4, 0, 0, 0, 0, 0}}},  // empty columns count
      {"[10L20LI]|30L", {{1, 0, 0, 0, 0, 0}, {2, 0, 3, 0, 0, 0}, {4, 0, 0, 0, 0, 0}}},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.format);
    const ListFormat f = ParseListFormat(c.format);
    ASSERT_TRUE(f.valid) << f.error;
    ASSERT_EQ(f.columns.size(), c.fields.size());
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
      const ListColumn& col = f.columns[i];
      EXPECT_EQ((std::vector<int>{col.dataField, col.colorField, col.iconField, col.treeField,
                                  col.styleField, col.tipField}),
                c.fields[i])
          << "column " << i + 1;
    }
  }
}

TEST(ListFormat, ModifiersAndTheirValues) {
  ListFormat f = ParseListFormat(
      "12R(3)~Head\nTwo~C(-2)_fsh(4)/?E(0FFH,,-1,80000005H)B(255)Q'it''s'T(LR1BI)J"
      "8Lm~x~?Q\"say \"\"hi\"\"\"E(1)S(20)");
  ASSERT_TRUE(f.valid) << f.error;
  ASSERT_EQ(f.columns.size(), 2u);
  const ListColumn& a = f.columns[0];
  EXPECT_EQ(a.width, 12);
  EXPECT_EQ(a.align, kAlignRight);
  EXPECT_EQ(a.indent, 3);
  EXPECT_EQ(a.header, "Head\nTwo");
  EXPECT_EQ(a.headerAlign, kAlignCenter);
  EXPECT_EQ(a.headerIndent, -2);
  EXPECT_TRUE(a.underline && a.fixed && a.scroll && a.hFlag && a.slash && a.marked);
  EXPECT_EQ(a.scrollWidth, -1);
  EXPECT_EQ(a.hNumber, 4);
  EXPECT_EQ(a.colors[0], 0xFF);  // pure red
  EXPECT_EQ(a.colors[1], kNoColor);
  EXPECT_EQ(a.colors[2], kNoColor);
  EXPECT_EQ(a.colors[3], SystemColor(5));
  EXPECT_EQ(a.fifth, 255);
  EXPECT_EQ(a.defaultTip, "it's");
  EXPECT_TRUE(a.tree);
  EXPECT_EQ(a.treeOptions, kTreeNoLines | kTreeNoRoot | kTreeOffset | kTreeNoBoxes | kTreeIcons);
  EXPECT_TRUE(a.hasIcon && a.iconFlag);
  const ListColumn& b = f.columns[1];
  EXPECT_TRUE(b.resizable);
  EXPECT_EQ(b.headerAlign, kAlignLeft);  // the cell's alignment until the header names its own
  EXPECT_EQ(b.defaultTip, "say \"hi\"");
  EXPECT_EQ(b.colors[0], 1);
  EXPECT_EQ(b.scrollWidth, 20);
  EXPECT_EQ(f.markedColumn, 2);
}

TEST(ListFormat, GroupsKeepTheirColumnsAndHeader) {
  const ListFormat f = ParseListFormat("[10L~a~20L]~Both~|30L[5L]");
  ASSERT_TRUE(f.valid) << f.error;
  ASSERT_EQ(f.groups.size(), 2u);
  EXPECT_EQ(f.groups[0].firstColumn, 1);
  EXPECT_EQ(f.groups[0].lastColumn, 2);
  EXPECT_EQ(f.groups[0].header, "Both");
  EXPECT_TRUE(f.groups[0].rightBorder);
  EXPECT_EQ(f.groups[1].firstColumn, 4);
  EXPECT_EQ(f.columns[2].group, 0);
  EXPECT_EQ(f.columns[3].group, 2);
}

TEST(ListFormat, InvalidFormats) {
  const char* bad[] = {
      "10X",   // not L, R, C or D
      "10l",   // alignment letters are upper case
      "L",     // no width
      "10L(",  // indent not closed
      "10L(x)",
      "10L@s20",   // picture not closed
      "10L~Head",  // header not closed
      "10L#3",     // field number not closed
      "10L#0#",
      "10LE(1,2,3,4,5)",  // more than four colours
      "10LE(1,2",         // not closed
      "10LE1",
      "10LE(FFH)",  // hexadecimal must start with a decimal digit
      "10LE(12G)",
      "10LE(1)E(2)",  // once per column
      "10LB(1,2)",
      "10LB()x",
      "10LB(1)B(1)",
      "10LZ",
      "10LZ(1)Z(2)",
      "10LZ(a)",
      "10LH",
      "10LT(l)",  // tree options are upper case
      "10LT(LR",
      "10LQ'open",
      "10LQx",
      "10Lk",  // no such modifier
      "[10L",
      "10L]",
      "[[10L]]",
      "[]",
  };
  for (const char* format : bad) {
    SCOPED_TRACE(format);
    const ListFormat f = ParseListFormat(format);
    EXPECT_FALSE(f.valid);
    EXPECT_TRUE(f.columns.empty());
    EXPECT_FALSE(f.error.empty());
  }
  EXPECT_TRUE(ParseListFormat("").valid);  // no columns at all is a valid, empty list
}

TEST(ListFormat, ColorValues) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"255", true, 255},
      {"0FFH", true, 0xFF},
      {"0ffh", true, 0xFF},
      {"-1", true, -1},
      {"-1H", true, -1},
      {"0DDDDFFH", true, 0xDDDDFF},
      {"80000005H", true, SystemColor(5)},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"FFH", false, 0},
      {"H", false, 0},
      {"12x", false, 0},
      {"", false, 0},
      {"1FFFFFFFFH", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t v = 12345;
    EXPECT_EQ(ParseColorValue(c.text, &v), c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
}

TEST(CellColors, TheFourStepChainAndTheFifthColour) {
  ListColumn plain;
  ListColumn withE;
  withE.colors[kRoleText] = 0x0000FF;
  withE.colors[kRoleBack] = kNoColor;
  withE.hasColors = true;
  withE.fifth = 0x00FF00;
  ListStyleEntry style;
  style.textColor = 0x111111;
  style.backColor = 0xDDDDFF;
  style.textSelected = 0x0000FF;
  style.fifth = 0x222222;
  ListColors list;
  list.roles[kRoleBack] = 0x333333;

  // Cell field -1 under '*' falls back to E; a set cell field wins over everything.
  const std::int32_t fields[4] = {kNoColor, 0x444444, kNoColor, kNoColor};
  CellColors c = ChooseCellColors(withE, fields, &style, list);
  EXPECT_EQ(c.roles[kRoleText], 0x0000FF);                            // E
  EXPECT_EQ(c.roles[kRoleBack], 0x444444);                            // the cell's own
  EXPECT_EQ(c.roles[kRoleSelectedText], 0x0000FF);                    // style
  EXPECT_EQ(c.roles[kRoleSelectedBack], SystemColor(kSysHighlight));  // the system's
  EXPECT_EQ(c.fifth, 0x00FF00);                                       // B

  c = ChooseCellColors(plain, nullptr, &style, list);
  EXPECT_EQ(c.roles[kRoleText], 0x111111);
  EXPECT_EQ(c.roles[kRoleBack], 0xDDDDFF);
  EXPECT_EQ(c.fifth, 0x222222);

  c = ChooseCellColors(plain, nullptr, nullptr, list);
  EXPECT_EQ(c.roles[kRoleText], SystemColor(kSysWindowText));
  EXPECT_EQ(c.roles[kRoleBack], 0x333333);  // the list's own
  EXPECT_EQ(c.fifth, kNoColor);

  // Colour fields are ignored for a column without '*'.
  c = ChooseCellColors(plain, fields, nullptr, ListColors{});
  EXPECT_EQ(c.roles[kRoleBack], SystemColor(kSysWindow));

  EXPECT_EQ(ColorToRgb(0xDDDDFF), 0xFFDDDDu);
  EXPECT_EQ(ColorToRgb(SystemColor(kSysHighlight)), 0x0078D7u);
  EXPECT_EQ(ColorToRgb(SystemColor(5)), 0xFFFFFFu);
  EXPECT_EQ(ColorToRgb(kNoColor, 0x123456), 0x123456u);
  EXPECT_EQ(ColorToRgb(SystemColor(999), 0x123456), 0x123456u);
}

TEST(ListSourceTest, QueueRowsReadWithoutDisturbingBufferPositionOrErrorState) {
  testing::TestQueue queue;
  queue.buffer = testing::Row("K1", "V1", 2);
  QueueAdd(&queue);
  queue.buffer = testing::Row("K2", "V2", 1);
  QueueAdd(&queue);
  QueueGetAt(&queue, 1);
  queue.buffer = testing::Row("in the buffer", "", 0);
  SetRuntimeError(2);  // an error the program has yet to report
  QueueListSource source(&queue);
  EXPECT_EQ(source.Rows(), 2);
  EXPECT_EQ(source.Cell(1, 1), "K1");
  EXPECT_EQ(source.Number(1, 2), 2);
  EXPECT_EQ(source.Cell(2, 3), "V2");
  EXPECT_EQ(source.Cell(3, 1), "");
  EXPECT_EQ(source.Cell(0, 1), "");
  EXPECT_EQ(source.Cell(1, 13), "");
  EXPECT_EQ(queue.buffer.NAME.Str(), "in the buffer");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(QueuePointer(&queue), 1);
  // A change to the queue is seen at the next read.
  QueueGetAt(&queue, 2);
  queue.buffer.NAME = "K2 changed";
  QueuePut(&queue);
  EXPECT_EQ(source.Cell(2, 1), "K2 changed");
}

TEST(ListFormat, CellsShowTheirFieldsThroughTheColumnPictures) {
  const ListFormat f = ParseListFormat("40R@n-,12.2@40L@D010-@40L@s3@40L@T4@40L");
  ASSERT_TRUE(f.valid) << f.error;
  const std::vector<std::string> fields = {"-1234.5", std::to_string(DateNumber(2027, 1, 5)),
                                           "abcdef", "x", "  as is"};
  CallbackListSource rows(
      [] { return 1; },
      [&](std::int32_t, int field) { return fields[static_cast<std::size_t>(field - 1)]; });
  const std::vector<std::string> shown = {"   -1,234.50", "2027-01-05", "abc", "x", "  as is"};
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(DescribeCell(f.columns[i], rows, 1, false, {}, {}).text, shown[i]) << i;
  }
}

}  // namespace
}  // namespace vantrel::ui
