#include "ui/list_view.h"

#include <algorithm>

namespace vantrel::ui {
namespace {

constexpr std::uint32_t kHeaderText = 0x000000;
constexpr int kSysButtonShadow = 16;  // the column lines

std::uint32_t LineRgb() { return ColorToRgb(SystemColor(kSysButtonShadow), 0); }

bool IsNavigationKey(int keyCode) { return ListKeyTarget(keyCode, 1, 1, 1) != 0; }

}  // namespace

void PaintList(const Window& window, const ControlState& c, ListCanvas& canvas, const Rect& area,
               bool focused) {
  const ListGeometry g = ListGeometryOf(window, c);
  const int x0 = area.x;
  const int y0 = area.y;
  const int right = area.x + area.width;
  const int bottom = area.y + area.height;
  canvas.PushClip(area);
  const std::int32_t back = c.listColors.roles[kRoleBack] != kNoColor
                                ? c.listColors.roles[kRoleBack]
                                : SystemColor(kSysWindow);
  canvas.FillRect(area, ColorToRgb(back, 0xFFFFFF));
  const std::size_t n = std::min(c.format.columns.size(), g.columns.size());
  if (g.headerHeight > 0) {
    canvas.FillRect({x0, y0, area.width, g.headerHeight}, ColorToRgb(SystemColor(kSysButtonFace)));
    for (std::size_t i = 0; i < n; ++i) {
      const ListColumn& col = c.format.columns[i];
      const ColumnGeometry& cg = g.columns[i];
      if (cg.width <= 0) continue;
      canvas.Text(
          {x0 + cg.left + cg.headerIndent, y0, cg.width - cg.headerIndent - 1, g.headerHeight},
          col.header, col.headerAlign, kHeaderText);
      canvas.Line(x0 + cg.Right() - 1, y0, x0 + cg.Right() - 1, y0 + g.headerHeight, LineRgb());
    }
    canvas.Line(x0, y0 + g.headerHeight - 1, right, y0 + g.headerHeight - 1, LineRgb());
  }
  const std::int32_t rows = ListRowCount(c);
  const int top = y0 + g.headerHeight;
  for (std::int32_t r = c.topRow, y = top; r <= rows && y < bottom; ++r, y += g.rowHeight) {
    for (std::size_t i = 0; i < n; ++i) {
      const ColumnGeometry& cg = g.columns[i];
      if (cg.width <= 0) continue;
      const CellView v =
          DescribeCell(c.format.columns[i], *c.rows, r, r == c.selStart, c.styles, c.listColors);
      const Rect cell{x0 + cg.left, y, cg.width, g.rowHeight};
      canvas.FillRect(cell, v.backRgb);
      canvas.Text({cell.x + cg.indent, y, cg.width - cg.indent - 1, g.rowHeight}, v.text,
                  c.format.columns[i].align, v.textRgb);
      if (v.selected && v.colors.fifth != kNoColor) {
        canvas.FrameRect(cell, ColorToRgb(v.colors.fifth));
      }
    }
  }
  // The '|' lines at the columns' right edges, over the row area.
  for (std::size_t i = 0; i < n; ++i) {
    if (c.format.columns[i].rightBorder && g.columns[i].width > 0) {
      canvas.Line(x0 + g.columns[i].Right() - 1, top, x0 + g.columns[i].Right() - 1, bottom,
                  LineRgb());
    }
  }
  // The keyboard user sees which row the keys move from, as in every list of the desktop.
  if (focused && c.selStart >= c.topRow && c.selStart <= rows) {
    const int y = top + (c.selStart - c.topRow) * g.rowHeight;
    const int width =
        g.columns.empty() ? area.width : std::min(area.width, g.columns.back().Right());
    canvas.FocusRect({x0, y, width, g.rowHeight});
  }
  canvas.PopClip();
}

ListAction ListKeyAction(int keyCode, std::int32_t selected, std::int32_t rows, int visibleRows) {
  if (keyCode == 0x0D) return {ListAction::kAccept};
  if (!IsNavigationKey(keyCode)) return {ListAction::kNone};
  const std::int32_t row = ListKeyTarget(keyCode, selected, rows, visibleRows);
  if (row == 0) return {ListAction::kNothing};  // no rows to move to
  return {ListAction::kSelect, row};
}

ListAction ListPressAction(const ListFormat& format, const ListGeometry& geometry, int x, int y,
                           bool doubleClick) {
  const ListHit hit = HitTest(format, geometry, x, y);
  switch (hit.kind) {
    case ListHit::kSizingZone: return {ListAction::kStartSizing, hit.column};
    case ListHit::kCell:
    case ListHit::kIcon: return {ListAction::kClickRow, hit.row, doubleClick};
    case ListHit::kHeader:
    case ListHit::kNothing: break;
  }
  return {ListAction::kNothing};
}

ListAction ListWheelAction(int notches) { return {ListAction::kScrollBy, notches * 3}; }

ListView::Result ListView::Apply(Engine& engine, const ListAction& action, int visibleRows) {
  ControlState& c = *State();
  switch (action.kind) {
    case ListAction::kNone: return kPassOn;
    case ListAction::kNothing: return kHandled;
    case ListAction::kSelect:
      ScrollListTo(c, action.value, visibleRows);
      engine.UserSelectRow(window_, field_, action.value);
      return kRescroll;
    case ListAction::kAccept: engine.UserAccepted(window_, field_); return kHandled;
    case ListAction::kClickRow:
      engine.UserFocus(window_, field_);
      engine.UserSelectRow(window_, field_, action.value);
      if (action.doubleClick) engine.UserAccepted(window_, field_);
      return kHandled;
    case ListAction::kStartSizing: dragging_ = action.value; return kHandled;
    case ListAction::kScrollBy: c.topRow += action.value; return kRescroll;
    case ListAction::kScrollTo: c.topRow = action.value; return kRescroll;
  }
  return kPassOn;
}

ListView::Result ListView::Key(Engine& engine, int keyCode, int areaHeight) {
  const int visible = VisibleRows(areaHeight);
  const ControlState& c = *State();
  return Apply(engine, ListKeyAction(keyCode, c.selStart, ListRowCount(c), visible), visible);
}

ListView::Result ListView::Press(Engine& engine, int x, int y, bool doubleClick) {
  return Apply(engine, ListPressAction(State()->format, Geometry(), x, y, doubleClick), 1);
}

ListView::Result ListView::Drag(int x) {
  if (dragging_ <= 0) return kHandled;
  DragColumnEdge(*State(), Geometry(), dragging_, x);
  return kRepaint;
}

ListView::Result ListView::Release() {
  dragging_ = 0;
  return kHandled;
}

ListView::Result ListView::Wheel(int notches) { return ScrollBy(ListWheelAction(notches).value); }

ListView::Result ListView::ScrollBy(std::int32_t rows) {
  State()->topRow += rows;
  return kRescroll;
}

ListView::Result ListView::ScrollTo(std::int32_t topRow) {
  State()->topRow = topRow;
  return kRescroll;
}

bool ListView::SizingCursorAt(int x, int y) const {
  return dragging_ > 0 || HitTest(State()->format, Geometry(), x, y).kind == ListHit::kSizingZone;
}

}  // namespace vantrel::ui
