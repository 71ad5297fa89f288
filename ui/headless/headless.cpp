#include "ui/headless/headless.h"

#include <algorithm>

namespace vantrel::ui {
namespace {

bool IsFixedFace(std::string_view face) {
  return face == kFixedPitchFace || face == "Courier" || face == "Consolas" ||
         face == "Lucida Console" || face == "Fixedsys";
}

}  // namespace

FontMetrics HeadlessFontMetrics(const Font& font) {
  const int points = font.points > 0 ? font.points : 8;
  FontMetrics m;
  m.cy = (points * 4 + 1) / 3 + 2;  // 8 points: 13 pixels
  m.cx = IsFixedFace(font.face) ? (points * 8 + 9) / 10 : (points * 3 + 3) / 4;  // 7 and 6
  return m;
}

const DrawnControl* DrawnWindow::Control(int field) const {
  for (const DrawnControl& c : controls) {
    if (c.field == field) return &c;
  }
  return nullptr;
}

HeadlessBackend::HeadlessBackend() = default;

void HeadlessBackend::Script(std::string window, std::function<void(Engine&, Window*)> apply) {
  inputs_.push_back({std::move(window), std::move(apply)});
}

void HeadlessBackend::Click(int field, std::string window) {
  Script(std::move(window), [field](Engine& e, Window* w) { e.UserAccepted(w, field); });
}
void HeadlessBackend::CloseBox(std::string window) {
  Script(std::move(window), [](Engine& e, Window* w) { e.UserClose(w); });
}
void HeadlessBackend::Key(int code, std::string window) {
  Script(std::move(window), [code](Engine& e, Window* w) { e.UserKey(w, code); });
}
void HeadlessBackend::SelectRow(int field, int row, std::string window) {
  Script(std::move(window), [field, row](Engine& e, Window* w) {
    e.UserFocus(w, field);
    e.UserSelectRow(w, field, row);
  });
}
void HeadlessBackend::Edit(int field, std::string text, std::string window) {
  Script(std::move(window), [field, text](Engine& e, Window* w) { e.UserEdited(w, field, text); });
}
void HeadlessBackend::MoveTo(Rect frame, std::string window) {
  Script(std::move(window), [this, frame](Engine& e, Window* w) {
    // The desktop keeps a window from being made smaller than it may be.
    Rect placed = frame;
    placed.width = std::max(placed.width, w->MinimumSize().width);
    placed.height = std::max(placed.height, w->MinimumSize().height);
    e.UserMoved(w, placed);
    UpdateWindow(*w);
  });
}
void HeadlessBackend::SetState(bool maximized, bool iconized, std::string window) {
  Script(std::move(window), [this, maximized, iconized](Engine& e, Window* w) {
    e.UserState(w, maximized, iconized);
    UpdateWindow(*w);
  });
}
void HeadlessBackend::Do(std::function<void(Engine&, Window*)> step, std::string window) {
  Script(std::move(window), std::move(step));
}

void HeadlessBackend::SetMainFrame(const Rect* frame) {
  hasMainFrame_ = frame != nullptr;
  if (frame) mainFrame_ = {frame->x, frame->y, frame->width, frame->height};
}

Window* HeadlessBackend::Target(const std::string& name) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->IsOpen() && (name.empty() || (*it)->Desc().name == name)) return *it;
  }
  return nullptr;
}

Window* HeadlessBackend::FindWindow(std::string_view name) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->Desc().name == name) return *it;
  }
  return nullptr;
}

void HeadlessBackend::OpenWindow(Engine& engine, Window& window) {
  engine_ = &engine;
  windows_.push_back(&window);
}
void HeadlessBackend::CloseWindow(Window&) {}
void HeadlessBackend::UpdateWindow(Window& window) {
  // The client area takes the frame, or the whole work area while maximised.
  if (window.Iconized() || !engine_) return;
  const PixelSize client = window.Maximized()
                               ? PixelSize{work_.width, work_.height}
                               : PixelSize{window.Frame().width, window.Frame().height};
  engine_->ClientSized(&window, client);
}
void HeadlessBackend::UpdateControl(Window&, ControlState&) {}
void HeadlessBackend::SetFocus(Window&, int) {}
void HeadlessBackend::Beep(int) { ++beeps_; }

bool HeadlessBackend::Pump(Engine& engine, bool) {
  while (!inputs_.empty()) {
    Input input = std::move(inputs_.front());
    inputs_.pop_front();
    Window* target = Target(input.window);
    if (!target) continue;  // meant for a window that is not open: dropped, as a real click is
    input.apply(engine, target);
    return true;
  }
  return false;
}

DrawnWindow HeadlessBackend::Snapshot(const Window& window) const {
  DrawnWindow out;
  out.name = window.Desc().name;
  out.caption = window.Caption();
  out.frame = window.Frame();
  out.open = window.IsOpen();
  out.maximized = window.Maximized();
  out.iconized = window.Iconized();
  out.modal = window.Desc().modal;
  const FontMetrics m = window.Metrics();
  for (const ControlState& c : window.Controls()) {
    DrawnControl d;
    d.field = c.desc.field;
    d.kind = c.desc.kind;
    d.label = c.desc.label;
    d.text = c.text;
    d.rect = window.PixelRect(c);
    d.visible = window.Visible(c);
    d.disabled = c.disabled;
    d.isDefault = c.isDefault;
    d.focused = window.Focus() == c.desc.field;
    d.selStart = c.selStart;
    if (c.desc.kind == ControlKind::List) {
      d.formatValid = c.format.valid;
      const ListGeometry g = ListGeometryOf(window, c);
      d.rowHeight = g.rowHeight;
      d.headerHeight = g.headerHeight;
      for (std::size_t i = 0; i < c.format.columns.size(); ++i) {
        const ListColumn& col = c.format.columns[i];
        DrawnColumn dc;
        dc.header = col.header;
        dc.headerRect = {d.rect.x + g.columns[i].left, d.rect.y, g.columns[i].width,
                         g.headerHeight};
        dc.align = col.align;
        dc.headerAlign = col.headerAlign;
        dc.indent = g.columns[i].indent;
        dc.rightBorder = col.rightBorder;
        dc.sizingZone = col.resizable;
        d.columns.push_back(std::move(dc));
      }
      const std::int32_t rows = ListRowCount(c);
      for (std::int32_t r = 1; r <= rows; ++r) {
        std::vector<DrawnCell> cells;
        for (std::size_t i = 0; i < c.format.columns.size(); ++i) {
          const CellView v = DescribeCell(c.format.columns[i], *c.rows, r, r == c.selStart,
                                          c.styles, c.listColors);
          DrawnCell cell;
          cell.text = v.text;
          cell.rect = {d.rect.x + g.columns[i].left,
                       d.rect.y + g.headerHeight + (r - c.topRow) * g.rowHeight, g.columns[i].width,
                       g.rowHeight};
          cell.style = v.style;
          cell.selected = v.selected;
          cell.colors = v.colors;
          cell.textRgb = v.textRgb;
          cell.backRgb = v.backRgb;
          cells.push_back(std::move(cell));
        }
        d.rows.push_back(std::move(cells));
      }
    }
    (void)m;
    out.controls.push_back(std::move(d));
  }
  return out;
}

RecordingCanvas HeadlessBackend::PaintedList(const Window& window, int field) const {
  RecordingCanvas canvas;
  const ControlState* c = window.Find(field);
  if (c && c->desc.kind == ControlKind::List) {
    PaintList(window, *c, canvas, window.PixelRect(*c), window.Focus() == field);
  }
  return canvas;
}

PixelSize HeadlessBackend::AverageCharSize(const MessageFont& font) const {
  const FontMetrics m = HeadlessFontMetrics(Font{font.face, font.points});
  return {m.cx, m.cy};
}

int HeadlessBackend::TextWidth(const MessageFont& font, std::string_view run) const {
  return static_cast<int>(run.size()) * AverageCharSize(font).width;
}

std::optional<std::string> HeadlessBackend::ResourceString(int id) const {
  auto it = resources_.find(id);
  if (it == resources_.end()) return std::nullopt;
  return it->second;
}

int HeadlessBackend::Present(const MessageLayout& layout) {
  ShownDialog shown;
  shown.layout = layout;
  // The frame adds a caption bar and borders around the client area.
  const PixelSize frame{layout.client.width + 6, layout.client.height + 25};
  shown.frame = PlaceMessageDialog(frame, work_, hasMainFrame_ ? &mainFrame_ : nullptr, nullptr);
  shown.textLines = WrapText(*this, layout.textFont, layout.text, layout.wrapWidth);
  auto find = [&layout](int id) {
    return std::any_of(layout.buttons.begin(), layout.buttons.end(),
                       [id](const MessageButtonLayout& b) { return b.id == id; });
  };
  int ended = 0;
  while (ended == 0 && !answers_.empty()) {
    const DialogAnswer a = answers_.front();
    answers_.pop_front();
    switch (a.kind) {
      case DialogAnswer::kButtonId:
        if (find(a.value)) ended = a.value;  // a command for a missing control is ignored
        break;
      case DialogAnswer::kCaption:
        for (const MessageButtonLayout& b : layout.buttons) {
          if (b.caption == a.caption) {
            ended = b.id;
            break;
          }
        }
        break;
      case DialogAnswer::kPosition:
        if (a.value >= 1 && a.value <= static_cast<int>(layout.buttons.size())) {
          ended = layout.buttons[static_cast<std::size_t>(a.value - 1)].id;
        }
        break;
      case DialogAnswer::kEscape:
        if (layout.EscapeCloses()) ended = 2;
        break;
      case DialogAnswer::kEnter:
        ended = layout.buttons[static_cast<std::size_t>(layout.focus)].id;
        break;
    }
  }
  if (ended == 0) {
    shown.scripted = false;
    ended = layout.buttons[static_cast<std::size_t>(layout.focus)].id;
  }
  shown.endedBy = ended;
  dialogs_.push_back(std::move(shown));
  return ended;
}

}  // namespace vantrel::ui
