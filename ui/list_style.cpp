#include "ui/list_style.h"

#include <cstdlib>

namespace vantrel::ui {
namespace {

// The standard Windows colour scheme, as 0x00BBGGRR, by system colour index.
constexpr std::uint32_t kSystemColors[] = {
    0xC8C8C8,  //  0 scroll bar
    0x000000,  //  1 desktop
    0xD1B499,  //  2 active caption
    0xDBCDBF,  //  3 inactive caption
    0xF0F0F0,  //  4 menu
    0xFFFFFF,  //  5 window
    0x646464,  //  6 window frame
    0x000000,  //  7 menu text
    0x000000,  //  8 window text
    0x000000,  //  9 caption text
    0xB4B4B4,  // 10 active border
    0xFCF7F4,  // 11 inactive border
    0xABABAB,  // 12 application workspace
    0xD77800,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xF0F0F0,  // 15 button face
    0xA0A0A0,  // 16 button shadow
    0x6D6D6D,  // 17 grey text
    0x000000,  // 18 button text
    0x544E43,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x696969,  // 21 3D dark shadow
    0xE3E3E3,  // 22 3D light
    0x000000,  // 23 tooltip text
    0xE1FFFF,  // 24 tooltip background
};

constexpr std::int32_t kListDefaults[4] = {SystemColor(kSysWindowText), SystemColor(kSysWindow),
                                           SystemColor(kSysHighlightText),
                                           SystemColor(kSysHighlight)};

std::uint32_t Swap(std::uint32_t bgr) {
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

}  // namespace

std::uint32_t ColorToRgb(std::int32_t color, std::uint32_t fallback) {
  if (color == kNoColor) return fallback;
  if (color >= 0) return Swap(static_cast<std::uint32_t>(color) & 0xFFFFFF);
  const std::uint32_t index = static_cast<std::uint32_t>(color) & 0xFFFF;
  if (index < sizeof(kSystemColors) / sizeof(kSystemColors[0])) return Swap(kSystemColors[index]);
  return fallback;
}

int CellStyle(const ListColumn& column, ListSource& rows, std::int32_t row) {
  if (column.hasStyle && column.styleField != 0) {
    const long long own = rows.Number(row, column.styleField);
    if (own != 0) return static_cast<int>(own);
  }
  return column.defaultStyle;
}

CellColors ChooseCellColors(const ListColumn& column, const std::int32_t* cellFields,
                            const ListStyleEntry* style, const ListColors& list) {
  CellColors out;
  for (int role = 0; role < 4; ++role) {
    std::int32_t chosen = kNoColor;
    if (cellFields && column.hasColors) chosen = cellFields[role];
    if (chosen == kNoColor) chosen = column.colors[role];
    if (chosen == kNoColor && style) {
      const std::int32_t styleRoles[4] = {style->textColor, style->backColor, style->textSelected,
                                          style->backSelected};
      chosen = styleRoles[role];
    }
    if (chosen == kNoColor) chosen = list.roles[role];
    if (chosen == kNoColor) chosen = kListDefaults[role];
    out.roles[role] = chosen;
  }
  out.fifth = column.fifth;
  if (out.fifth == kNoColor && style) out.fifth = style->fifth;
  if (out.fifth == kNoColor) out.fifth = list.fifth;
  return out;
}

CellView DescribeCell(const ListColumn& column, ListSource& rows, std::int32_t row, bool selected,
                      const std::vector<ListStyleEntry>& styles, const ListColors& list) {
  CellView v;
  v.text = ColumnText(column, rows.Cell(row, column.dataField));
  v.style = CellStyle(column, rows, row);
  v.selected = selected;
  std::int32_t fields[4];
  if (column.hasColors) {
    for (int i = 0; i < 4; ++i) {
      fields[i] = static_cast<std::int32_t>(rows.Number(row, column.colorField + i));
    }
  }
  const ListStyleEntry* style = v.style >= 1 && v.style <= static_cast<int>(styles.size())
                                    ? &styles[static_cast<std::size_t>(v.style - 1)]
                                    : nullptr;
  v.colors = ChooseCellColors(column, column.hasColors ? fields : nullptr, style, list);
  v.textRgb = ColorToRgb(v.colors.roles[selected ? kRoleSelectedText : kRoleText]);
  v.backRgb = ColorToRgb(v.colors.roles[selected ? kRoleSelectedBack : kRoleBack], 0xFFFFFF);
  return v;
}

std::vector<ColumnGeometry> LayoutColumns(const ListFormat& format, int cx) {
  std::vector<ColumnGeometry> out;
  int x = 0;
  auto px = [cx](int units) { return units <= 0 ? 0 : (units * cx + 2) / 4; };
  for (const ListColumn& c : format.columns) {
    ColumnGeometry g;
    g.left = x;
    g.width = px(c.width);
    g.indent = c.indent < 0 ? -px(-c.indent) : px(c.indent);
    g.headerIndent = c.headerIndent < 0 ? -px(-c.headerIndent) : px(c.headerIndent);
    x += g.width;
    out.push_back(g);
  }
  return out;
}

ListHit HitTest(const ListFormat& format, const ListGeometry& geometry, int x, int y) {
  ListHit hit;
  const std::size_t n = std::min(format.columns.size(), geometry.columns.size());
  // Sizing zones first, at any height: they sit over the headers and the rows alike.
  const int reach = 3 * geometry.lineWidth;
  for (std::size_t i = 0; i < n; ++i) {
    if (!format.columns[i].resizable) continue;
    if (std::abs(x - geometry.columns[i].Right()) <= reach) {
      hit.kind = ListHit::kSizingZone;
      hit.column = static_cast<int>(i) + 1;
      return hit;
    }
  }
  int column = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const ColumnGeometry& g = geometry.columns[i];
    if (x >= g.left && x < g.Right()) {
      column = static_cast<int>(i) + 1;
      break;
    }
  }
  if (column == 0 || y < 0) return hit;
  hit.column = column;
  if (y < geometry.headerHeight) {
    hit.kind = ListHit::kHeader;
    return hit;
  }
  const int rowHeight = geometry.rowHeight > 0 ? geometry.rowHeight : 1;
  const std::int32_t row = geometry.firstRow + (y - geometry.headerHeight) / rowHeight;
  if (row < 1 || row > geometry.rowCount) {
    hit.column = 0;
    return hit;
  }
  hit.row = row;
  const ListColumn& c = format.columns[static_cast<std::size_t>(column - 1)];
  const ColumnGeometry& g = geometry.columns[static_cast<std::size_t>(column - 1)];
  hit.kind = c.hasIcon && x < g.left + geometry.iconWidth ? ListHit::kIcon : ListHit::kCell;
  return hit;
}

}  // namespace vantrel::ui
