// List cell styles and colours, column geometry and hit testing.
//
// The list control asks this code for every cell: which style it has, which colours it is drawn
// in, where the columns' edges are, and what a point hits. Backends only draw what it says.
//
// Colours are Windows colour values: 0 or more is 0x00BBGGRR; a negative value names a system
// colour by its low 16 bits; -1 (kNoColor) means "not set at this level".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/list_format.h"
#include "ui/list_source.h"

namespace vantrel::ui {

// One entry of a list's style table (numbered from 1).
struct ListStyleEntry {
  std::string fontName;
  int fontSize = 0;
  std::int32_t fontColor = kNoColor;
  int fontStyle = 0;
  int charSet = 0;
  std::int32_t textColor = kNoColor;
  std::int32_t backColor = kNoColor;
  std::int32_t textSelected = kNoColor;
  std::int32_t backSelected = kNoColor;
  std::int32_t fifth = kNoColor;  // used only for selected cells
};

// Colour roles of a cell, in the order of E and of the four colour fields.
enum ColorRole : int { kRoleText = 0, kRoleBack = 1, kRoleSelectedText = 2, kRoleSelectedBack = 3 };

// System colour indexes the list falls back on.
inline constexpr int kSysWindow = 5;
inline constexpr int kSysWindowText = 8;
inline constexpr int kSysHighlight = 13;
inline constexpr int kSysHighlightText = 14;
inline constexpr int kSysButtonFace = 15;
inline constexpr std::int32_t SystemColor(int index) {
  return static_cast<std::int32_t>(0x80000000u | static_cast<std::uint32_t>(index));
}

// A colour value as 0xRRGGBB for drawing: RGB values swapped from 0x00BBGGRR, system colours
// from the standard Windows scheme. kNoColor gives the fallback.
std::uint32_t ColorToRgb(std::int32_t color, std::uint32_t fallback = 0x000000);

// The cell's style number: the cell's style field when the column has Y and the field is not 0,
// else the column's Z default (0 = no style).
int CellStyle(const ListColumn& column, ListSource& rows, std::int32_t row);

// The list's own colours, one per role; kNoColor entries take the system's.
struct ListColors {
  std::int32_t roles[4] = {kNoColor, kNoColor, kNoColor, kNoColor};
  std::int32_t fifth = kNoColor;
};

// The chosen colours of one cell (each still a colour value, possibly a system colour).
struct CellColors {
  std::int32_t roles[4] = {kNoColor, kNoColor, kNoColor, kNoColor};
  std::int32_t fifth = kNoColor;
};

// The colour chain: the cell's own field (column with *), the column's E colour, the style's
// colour, the list's own; the fifth colour: the column's B, the style's fifth, the list's own.
// cellFields holds the four colour fields of the row, or is null when the column has no '*'.
CellColors ChooseCellColors(const ListColumn& column, const std::int32_t* cellFields,
                            const ListStyleEntry* style, const ListColors& list);

// What a backend draws for one cell.
struct CellView {
  std::string text;
  int style = 0;
  bool selected = false;
  CellColors colors;
  std::uint32_t textRgb = 0;  // the colour in effect, selected or not
  std::uint32_t backRgb = 0;
};
// styles[0] is style 1.
CellView DescribeCell(const ListColumn& column, ListSource& rows, std::int32_t row, bool selected,
                      const std::vector<ListStyleEntry>& styles, const ListColors& list);

// Columns in pixels: width and indents from dialog units of the list's font.
struct ColumnGeometry {
  int left = 0;   // from the list's left edge
  int width = 0;  // 0 for an empty column
  int indent = 0;
  int headerIndent = 0;
  int Right() const { return left + width; }
};
std::vector<ColumnGeometry> LayoutColumns(const ListFormat& format, int cx);

// What a point of the list hits.
struct ListHit {
  enum Kind { kNothing, kSizingZone, kHeader, kCell, kIcon } kind = kNothing;
  int column = 0;        // 1-based
  std::int32_t row = 0;  // 1-based row number for kCell and kIcon
};
struct ListGeometry {
  std::vector<ColumnGeometry> columns;
  int headerHeight = 0;  // 0 when the list shows no headers
  int rowHeight = 1;
  std::int32_t firstRow = 1;  // the row at the top of the row area
  std::int32_t rowCount = 0;
  int lineWidth = 1;  // the engine's line width
  int iconWidth = 16;
};
// x and y are relative to the list's top-left corner.
ListHit HitTest(const ListFormat& format, const ListGeometry& geometry, int x, int y);

}  // namespace vantrel::ui
