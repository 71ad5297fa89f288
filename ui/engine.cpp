#include "ui/engine.h"

#include <algorithm>
#include <cstdlib>

#include "ui/list_format.h"

namespace vantrel::ui {
namespace {

thread_local Engine* tEngine = nullptr;

// a * b / c rounded to the nearest integer, halves away from zero (as MulDiv does).
int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const long long p = static_cast<long long>(a) * b;
  const long long half = (c > 0 ? c : -c) / 2;
  return static_cast<int>((p + (p >= 0 ? half : -half)) / c);
}

long long ToNumber(std::string_view text) {
  std::string s(text);
  return std::strtoll(s.c_str(), nullptr, 10);
}

std::string Trimmed(const TextVar& var) { return std::string(TrimTrailingBlanks(var.View())); }

void WriteVar(const TextVar& var, std::string_view text) {
  if (!var.Bound()) return;
  const std::size_t n = std::min(text.size(), var.size);
  std::copy_n(text.data(), n, var.bytes);
  std::fill(var.bytes + n, var.bytes + var.size, ' ');
}

std::int32_t* StyleColor(ListStyleEntry& s, int property) {
  switch (property) {
    case prop::StyleFontColor: return &s.fontColor;
    case prop::StyleTextColor: return &s.textColor;
    case prop::StyleBackColor: return &s.backColor;
    case prop::StyleTextSelected: return &s.textSelected;
    case prop::StyleBackSelected: return &s.backSelected;
    case prop::StyleSelectedFifth: return &s.fifth;
    default: return nullptr;
  }
}

bool IsStyleProperty(int property) {
  return property >= prop::StyleFontName && property <= prop::StyleSelectedFifth;
}

// One axis of a control's place (start and length, pixels) in a window grown by `growth` pixels
// along it (negative: shrunk) beyond its described size.
void FollowAxis(Follow follow, int growth, int* start, int* length) {
  switch (follow) {
    case Follow::Stay: break;
    case Follow::Move: *start += growth; break;
    case Follow::Stretch: *length = std::max(0, *length + growth); break;
  }
}

}  // namespace

FontMetrics DialogBaseUnits(int sampleWidth, int height) {
  const int letters = static_cast<int>(sizeof kAverageWidthSample - 1) / 2;
  return FontMetrics{(sampleWidth / letters + 1) / 2, height};
}

int UnitsToPixelsX(int units, FontMetrics m) { return MulDiv(units, m.cx, 4); }
int UnitsToPixelsY(int units, FontMetrics m) { return MulDiv(units, m.cy, 8); }
int PixelsToUnitsX(int pixels, FontMetrics m) { return MulDiv(pixels, 4, m.cx); }
int PixelsToUnitsY(int pixels, FontMetrics m) { return MulDiv(pixels, 8, m.cy); }
Rect UnitsToPixels(const Rect& u, FontMetrics m) {
  return {UnitsToPixelsX(u.x, m), UnitsToPixelsY(u.y, m), UnitsToPixelsX(u.width, m),
          UnitsToPixelsY(u.height, m)};
}

int ControlTypeCode(ControlKind kind) {
  switch (kind) {
    case ControlKind::Prompt: return 1;
    case ControlKind::String: return 2;
    case ControlKind::Entry: return 3;
    case ControlKind::Button: return 4;
    case ControlKind::Panel: return 5;
    case ControlKind::Image: return 6;
    case ControlKind::List: return 8;
    case ControlKind::Sheet: return 37;
    case ControlKind::Tab: return 38;
    case ControlKind::Progress: return 39;
  }
  return 0;
}

std::int32_t ListRowCount(const ControlState& list) { return list.rows ? list.rows->Rows() : 0; }

ListGeometry ListGeometryOf(const Window& window, const ControlState& list) {
  const FontMetrics m = window.Metrics();
  ListGeometry g;
  g.columns = LayoutColumns(list.format, m.cx);
  const auto sizedByUser = [&list](std::size_t i) {
    return i < list.columnWidths.size() && list.columnWidths[i] >= 0;
  };
  // A list the window has made wider than described shares the room among its columns, each in
  // proportion to its own width, so that the widest (the main list's key name) gains most and
  // the rest of the room is not left empty; a column the user has sized keeps that width.
  const int growth = window.PixelRect(list).width - UnitsToPixelsX(list.at.width, m);
  long long shared = 0;
  for (std::size_t i = 0; i < g.columns.size(); ++i) {
    if (!sizedByUser(i)) shared += std::max(0, g.columns[i].width);
  }
  if (growth > 0 && shared > 0) {
    int given = 0;
    std::size_t first = g.columns.size();
    for (std::size_t i = 0; i < g.columns.size(); ++i) {
      if (sizedByUser(i) || g.columns[i].width <= 0) continue;
      if (first == g.columns.size()) first = i;
      const int more =
          static_cast<int>(growth * static_cast<long long>(g.columns[i].width) / shared);
      g.columns[i].width += more;
      given += more;
    }
    if (first < g.columns.size()) g.columns[first].width += growth - given;
  }
  int left = 0;
  for (std::size_t i = 0; i < g.columns.size(); ++i) {
    if (sizedByUser(i)) g.columns[i].width = list.columnWidths[i];
    g.columns[i].left = left;
    left += g.columns[i].width;
  }
  int headerLines = 0;
  for (const ListColumn& c : list.format.columns) {
    if (!c.hasHeader) continue;
    int lines = 1;
    for (char ch : c.header) lines += ch == '\n';
    headerLines = std::max(headerLines, lines);
  }
  g.headerHeight = headerLines > 0 ? headerLines * m.cy + 4 : 0;
  g.rowHeight = list.lineHeight > 0 ? UnitsToPixelsY(list.lineHeight, m) : m.cy + 2;
  g.firstRow = list.topRow;
  g.rowCount = ListRowCount(list);
  return g;
}

int ListVisibleRows(const ListGeometry& g, int areaHeight) {
  return std::max(1, (areaHeight - g.headerHeight) / std::max(1, g.rowHeight));
}

void ClampListTop(ControlState& list, int visibleRows) {
  const std::int32_t last = std::max<std::int32_t>(1, ListRowCount(list) - visibleRows + 1);
  list.topRow = std::clamp<std::int32_t>(list.topRow, 1, last);
}

std::int32_t ListKeyTarget(int keyCode, std::int32_t row, std::int32_t rows, int visibleRows) {
  if (rows <= 0) return 0;
  switch (keyCode) {
    case 0x26: return std::max<std::int32_t>(1, row - 1);               // up
    case 0x28: return std::min<std::int32_t>(rows, row + 1);            // down
    case 0x21: return std::max<std::int32_t>(1, row - visibleRows);     // page up
    case 0x22: return std::min<std::int32_t>(rows, row + visibleRows);  // page down
    case 0x24: return 1;                                                // home
    case 0x23: return rows;                                             // end
    default: return 0;
  }
}

void ScrollListTo(ControlState& list, std::int32_t row, int visibleRows) {
  if (row < list.topRow) list.topRow = row;
  if (row >= list.topRow + visibleRows) list.topRow = row - visibleRows + 1;
}

void DragColumnEdge(ControlState& list, const ListGeometry& g, int column, int x) {
  if (column < 1 || column > static_cast<int>(g.columns.size())) return;
  const std::size_t i = static_cast<std::size_t>(column - 1);
  if (list.columnWidths.size() < g.columns.size()) list.columnWidths.resize(g.columns.size(), -1);
  list.columnWidths[i] = std::max(0, x - g.columns[i].left);
}

ControlState* Window::Find(int field) {
  for (ControlState& c : controls_) {
    if (c.desc.field == field) return &c;
  }
  return nullptr;
}

const ControlState* Window::Find(int field) const { return const_cast<Window*>(this)->Find(field); }

PixelSize Window::DescribedSize() const {
  return {UnitsToPixelsX(desc_.at.width, metrics_), UnitsToPixelsY(desc_.at.height, metrics_)};
}

PixelSize Window::MinimumSize() const { return desc_.resizable ? DescribedSize() : PixelSize{}; }

Rect Window::PixelRect(const ControlState& control) const {
  Rect r = UnitsToPixels(control.at, metrics_);
  const PixelSize described = DescribedSize();
  FollowAxis(control.desc.followX, client_.width - described.width, &r.x, &r.width);
  FollowAxis(control.desc.followY, client_.height - described.height, &r.y, &r.height);
  return r;
}

bool Window::Visible(const ControlState& control) const {
  const ControlState* c = &control;
  for (int depth = 0; c && depth < 16; ++depth) {
    if (c->hidden) return false;
    if (c->desc.parent == 0) return true;
    const ControlState* parent = Find(c->desc.parent);
    if (!parent) return true;
    if (c->desc.kind == ControlKind::Tab || parent->desc.kind != ControlKind::Tab) {
      c = parent;
      continue;
    }
    // On a tab: shown only while the tab is its sheet's selected one.
    const ControlState* sheet = Find(parent->desc.parent);
    if (sheet) {
      int number = 0;
      for (const ControlState& t : controls_) {
        if (t.desc.kind == ControlKind::Tab && t.desc.parent == sheet->desc.field) {
          ++number;
          if (&t == parent) break;
        }
      }
      if (number != sheet->selStart) return false;
    }
    c = parent;
  }
  return true;
}

Engine::Engine(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {
  if (!tEngine) tEngine = this;
  previousPresenter_ = ThreadMessagePresenter();
  SetThreadMessagePresenter(&backend_->Presenter());
}

Engine::~Engine() {
  for (auto& w : windows_) {
    if (w->open_) backend_->CloseWindow(*w);
  }
  SetThreadMessagePresenter(previousPresenter_);
  if (tEngine == this) tEngine = nullptr;
}

Engine* Engine::Current() { return tEngine; }

Window* Engine::Open(const WindowDesc& desc, Window* owner) {
  auto window = std::make_unique<Window>();
  Window* w = window.get();
  windows_.push_back(std::move(window));
  w->desc_ = desc;
  w->owner_ = owner;
  w->caption_ = desc.caption;
  w->icon_ = desc.icon;
  w->metrics_ = backend_->Metrics(desc.font);
  for (const ControlDesc& d : desc.controls) {
    ControlState c;
    c.desc = d;
    c.at = d.at;
    c.text = d.variable.Bound() ? Trimmed(d.variable) : d.text;
    c.hidden = d.hidden;
    c.disabled = d.disabled;
    c.isDefault = d.isDefault;
    c.rows = d.rows;
    if (d.kind == ControlKind::Sheet) c.selStart = 1;
    if (d.kind == ControlKind::List) c.format = ParseListFormat(d.format);
    w->controls_.push_back(std::move(c));
  }
  const Rect work = backend_->ScreenArea();
  Rect frame{0, 0, UnitsToPixelsX(desc.at.width, w->metrics_),
             UnitsToPixelsY(desc.at.height, w->metrics_)};
  if (desc.at.x == kNoPosition || desc.at.y == kNoPosition) {
    frame.x = work.x + (work.width - frame.width) / 2;
    frame.y = work.y + (work.height - frame.height) / 2;
  } else {
    frame.x = UnitsToPixelsX(desc.at.x, w->metrics_);
    frame.y = UnitsToPixelsY(desc.at.y, w->metrics_);
  }
  w->frame_ = frame;
  w->client_ = {frame.width, frame.height};
  w->open_ = true;
  backend_->OpenWindow(*this, *w);
  Post(w, event::OpenWindow);
  Post(w, event::Sized);
  return w;
}

void Engine::Close(Window* window) {
  if (!window || !window->open_) return;
  window->open_ = false;
  std::erase_if(queue_, [window](const Event& e) { return e.window == window; });
  backend_->CloseWindow(*window);
}

void Engine::Post(Window* window, int number, int control, bool front) {
  if (!window || !window->open_) return;
  Event e;
  e.number = number;
  e.control = control;
  e.window = window;
  if (front) {
    queue_.push_front(e);
  } else {
    queue_.push_back(e);
  }
}

void Engine::PostNotify(Window* window, int code, int thread, long long parameter) {
  if (!window || !window->open_) return;
  Event e;
  e.number = event::Notify;
  e.window = window;
  e.notifyCode = code;
  e.notifyThread = thread;
  e.notifyParameter = parameter;
  queue_.push_back(e);
}

bool Engine::NextEvent(Window* window, Event* out) {
  while (true) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      if (it->window == window) {
        *out = *it;
        queue_.erase(it);
        return true;
      }
    }
    if (!window->open_) return false;
    if (backend_->Pump(*this, true)) {
      window->closeOffered_ = false;
    } else {
      // No input will ever come: offer the close once, as if the user closed the window; if
      // that is refused the loop ends anyway rather than waiting forever.
      if (window->closeOffered_) return false;
      window->closeOffered_ = true;
      Post(window, event::CloseWindow);
    }
  }
}

void Engine::Run(Window* window, const std::function<int(const Event&)>& handler) {
  if (!window || !window->open_) return;
  const Event outer = current_;
  Event e;
  while (window->open_ && NextEvent(window, &e)) {
    current_ = e;
    const int level = handler(e);
    if (level == 3) break;
    if (level != 5) DefaultAction(window, e);
  }
  current_ = outer;
}

void Engine::DefaultAction(Window* window, const Event& e) {
  switch (e.number) {
    case event::CloseWindow:
    case event::CloseDown: Close(window); break;
    case event::Completed: window->acceptAll_ = false; break;
    default: break;
  }
}

int Engine::FocusedControl(Window* window) const {
  if (!window) window = current_.window;
  return window ? window->focus_ : 0;
}

void Engine::Select(Window* window, int control) {
  if (!window || !window->open_) return;
  if (control == 0) {
    window->acceptAll_ = true;
    for (const ControlState& c : window->controls_) {
      if (c.desc.kind != ControlKind::Entry) continue;
      Event e;
      e.number = event::Accepted;
      e.control = c.desc.field;
      e.window = window;
      e.validation = true;
      queue_.push_back(e);
    }
    Event done;
    done.number = event::Completed;
    done.window = window;
    done.validation = true;
    queue_.push_back(done);
    return;
  }
  if (!window->Find(control)) return;
  if (window->acceptAll_) {
    // Selecting a control during validation stops the pass there: the control needs the user.
    std::erase_if(queue_, [window](const Event& e) { return e.window == window && e.validation; });
    window->acceptAll_ = false;
  }
  window->focus_ = control;
  backend_->SetFocus(*window, control);
  Post(window, event::Selected, control);
}

void Engine::Display(Window* window, int control) {
  if (!window || !window->open_) return;
  for (ControlState& c : window->controls_) {
    if (control != 0 && c.desc.field != control) continue;
    if (c.desc.variable.Bound()) c.text = Trimmed(c.desc.variable);
    backend_->UpdateControl(*window, c);
  }
}

void Engine::Beep(int sound) { backend_->Beep(sound); }

Window* Engine::ActiveWindow() const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->open_) return it->get();
  }
  return nullptr;
}

std::string Engine::Get(Window* window, int control, int property, int index) const {
  if (!window) return {};
  const FontMetrics m = window->metrics_;
  if (control == 0) {
    switch (property) {
      case prop::Text: return window->caption_;
      case prop::Xpos: return std::to_string(PixelsToUnitsX(window->frame_.x, m));
      case prop::Ypos: return std::to_string(PixelsToUnitsY(window->frame_.y, m));
      case prop::Width: return std::to_string(PixelsToUnitsX(window->frame_.width, m));
      case prop::Height: return std::to_string(PixelsToUnitsY(window->frame_.height, m));
      case prop::Maximize: return window->maximized_ ? "1" : "0";
      case prop::Iconize: return window->iconized_ ? "1" : "0";
      case prop::Resize: return window->desc_.resizable ? "1" : "0";
      case prop::AcceptAll: return window->acceptAll_ ? "1" : "0";
      case prop::Icon: return window->icon_;
      default: break;
    }
    auto it = window->other_.find({property, index});
    return it == window->other_.end() ? std::string() : it->second;
  }
  const ControlState* c = window->Find(control);
  if (!c) return {};
  if (IsStyleProperty(property)) {
    const ListStyleEntry* s = c->Style(index);
    if (!s) return property == prop::StyleFontName ? std::string() : std::string("-1");
    switch (property) {
      case prop::StyleFontName: return s->fontName;
      case prop::StyleFontSize: return std::to_string(s->fontSize);
      case prop::StyleFontStyle: return std::to_string(s->fontStyle);
      case prop::StyleFontCharSet: return std::to_string(s->charSet);
      default: return std::to_string(*StyleColor(const_cast<ListStyleEntry&>(*s), property));
    }
  }
  switch (property) {
    case prop::Text: return c->text;
    case prop::Type: return std::to_string(ControlTypeCode(c->desc.kind));
    case prop::Xpos: return std::to_string(c->at.x);
    case prop::Ypos: return std::to_string(c->at.y);
    case prop::Width: return std::to_string(c->at.width);
    case prop::Height: return std::to_string(c->at.height);
    case prop::Hide: return c->hidden ? "1" : "0";
    case prop::Disable: return c->disabled ? "1" : "0";
    case prop::Default: return c->isDefault ? "1" : "0";
    case prop::SelStart: return std::to_string(c->selStart);
    case prop::LineHeight: return std::to_string(c->lineHeight);
    case prop::Progress: return std::to_string(c->progress);
    case prop::Format: return c->desc.format;
    case prop::Items: return std::to_string(ListRowCount(*c));
    case prop::Columns: return std::to_string(c->format.columns.size());
    case prop::FontColor: return std::to_string(c->listColors.roles[0]);
    case prop::Color: return std::to_string(c->listColors.roles[1]);
    case prop::SelectedColor: return std::to_string(c->listColors.roles[2]);
    case prop::SelectedFillColor: return std::to_string(c->listColors.roles[3]);
    case prop::Alrt: {
      auto it = c->alerts.find(index);
      return std::to_string(it == c->alerts.end() ? 0 : it->second);
    }
    default: break;
  }
  auto it = c->other.find({property, index});
  return it == c->other.end() ? std::string() : it->second;
}

long long Engine::GetNumber(Window* window, int control, int property, int index) const {
  return ToNumber(Get(window, control, property, index));
}

void Engine::SetNumber(Window* window, int control, int property, long long value, int index) {
  Set(window, control, property, std::to_string(value), index);
}

void Engine::Set(Window* window, int control, int property, std::string_view value, int index) {
  if (!window) return;
  const FontMetrics m = window->metrics_;
  if (control == 0) {
    Rect frame = window->frame_;
    switch (property) {
      case prop::Text:
        window->caption_ = std::string(value);
        backend_->UpdateWindow(*window);
        return;
      case prop::Icon:
        window->icon_ = std::string(value);
        backend_->UpdateWindow(*window);
        return;
      case prop::Xpos: frame.x = UnitsToPixelsX(static_cast<int>(ToNumber(value)), m); break;
      case prop::Ypos: frame.y = UnitsToPixelsY(static_cast<int>(ToNumber(value)), m); break;
      // A size the user could not give the window (a placement remembered from a smaller
      // window, say) is raised to the smallest one the window can have.
      case prop::Width:
        frame.width = std::max(UnitsToPixelsX(static_cast<int>(ToNumber(value)), m),
                               window->MinimumSize().width);
        break;
      case prop::Height:
        frame.height = std::max(UnitsToPixelsY(static_cast<int>(ToNumber(value)), m),
                                window->MinimumSize().height);
        break;
      case prop::Maximize:
      case prop::Iconize: {
        const bool on = ToNumber(value) != 0;
        const bool wasMax = window->maximized_;
        if (property == prop::Maximize) {
          window->maximized_ = on;
          if (on) window->iconized_ = false;
        } else {
          window->iconized_ = on;
        }
        backend_->UpdateWindow(*window);
        if (window->maximized_ && !wasMax) Post(window, event::Maximized);
        if (!window->maximized_ && wasMax) Post(window, event::Restored);
        return;
      }
      case prop::Resize:
        window->desc_.resizable = ToNumber(value) != 0;
        backend_->UpdateWindow(*window);
        return;
      case prop::AcceptAll: window->acceptAll_ = ToNumber(value) != 0; return;
      default: window->other_[{property, index}] = std::string(value); return;
    }
    Resized(window, frame, false);
    return;
  }
  ControlState* c = window->Find(control);
  if (!c) return;
  if (IsStyleProperty(property)) {
    if (index < 1 || index > 255) return;
    if (c->styles.size() < static_cast<std::size_t>(index))
      c->styles.resize(static_cast<std::size_t>(index));
    ListStyleEntry& s = c->styles[static_cast<std::size_t>(index - 1)];
    switch (property) {
      case prop::StyleFontName: s.fontName = std::string(value); break;
      case prop::StyleFontSize: s.fontSize = static_cast<int>(ToNumber(value)); break;
      case prop::StyleFontStyle: s.fontStyle = static_cast<int>(ToNumber(value)); break;
      case prop::StyleFontCharSet: s.charSet = static_cast<int>(ToNumber(value)); break;
      default: *StyleColor(s, property) = static_cast<std::int32_t>(ToNumber(value)); break;
    }
    backend_->UpdateControl(*window, *c);
    return;
  }
  const int number = static_cast<int>(ToNumber(value));
  switch (property) {
    case prop::Text: c->text = std::string(value); break;
    case prop::Xpos: c->at.x = number; break;
    case prop::Ypos: c->at.y = number; break;
    case prop::Width: c->at.width = number; break;
    case prop::Height: c->at.height = number; break;
    case prop::Hide: c->hidden = number != 0; break;
    case prop::Disable: c->disabled = number != 0; break;
    case prop::Default:
      // One default button per window.
      if (number != 0) {
        for (ControlState& other : window->controls_) {
          if (&other != c && other.isDefault) {
            other.isDefault = false;
            backend_->UpdateControl(*window, other);
          }
        }
      }
      c->isDefault = number != 0;
      break;
    case prop::SelStart: c->selStart = number; break;
    case prop::LineHeight: c->lineHeight = number; break;
    case prop::Progress: c->progress = std::clamp(number, 0, 100); break;
    case prop::Format:
      c->desc.format = std::string(value);
      c->format = ParseListFormat(c->desc.format);
      break;
    case prop::FontColor: c->listColors.roles[0] = number; break;
    case prop::Color: c->listColors.roles[1] = number; break;
    case prop::SelectedColor: c->listColors.roles[2] = number; break;
    case prop::SelectedFillColor: c->listColors.roles[3] = number; break;
    case prop::Alrt: c->alerts[index] = number; return;
    case prop::Type:
    case prop::Items:
    case prop::Columns: return;  // read only
    default: c->other[{property, index}] = std::string(value); return;
  }
  backend_->UpdateControl(*window, *c);
}

std::string Engine::GetSystem(int property) const {
  if (auto it = readers_.find(property); it != readers_.end() && it->second) return it->second();
  auto it = system_.find(property);
  return it == system_.end() ? std::string() : it->second;
}

void Engine::SetSystem(int property, std::string_view value) {
  if (readers_.count(property)) return;  // a read-only property
  system_[property] = std::string(value);
}

void Engine::SetSystemReader(int property, std::function<std::string()> reader) {
  readers_[property] = std::move(reader);
}

void Engine::SetListSource(Window* window, int control, ListSource* rows) {
  if (!window) return;
  if (ControlState* c = window->Find(control)) {
    c->rows = rows;
    if (rows && c->selStart > rows->Rows()) c->selStart = rows->Rows();
    backend_->UpdateControl(*window, *c);
  }
}

void Engine::Resized(Window* window, const Rect& frame, bool byUser) {
  const bool sized = frame.width != window->frame_.width || frame.height != window->frame_.height;
  window->frame_ = frame;
  if (!byUser) backend_->UpdateWindow(*window);
  if (sized) Post(window, event::Sized);
}

void Engine::UserAccepted(Window* window, int control) {
  if (!window || !window->open_) return;
  const ControlState* c = window->Find(control);
  if (!c || c->disabled || !window->Visible(*c)) return;
  Post(window, event::Accepted, control);
}

void Engine::UserFocus(Window* window, int control) {
  if (!window || !window->open_ || window->focus_ == control) return;
  window->focus_ = control;
  if (control != 0) Post(window, event::Selected, control);
}

void Engine::UserSelectRow(Window* window, int control, int row) {
  if (!window || !window->open_) return;
  ControlState* c = window->Find(control);
  if (!c || c->selStart == row) return;
  c->selStart = row;
  backend_->UpdateControl(*window, *c);
  Post(window, event::NewSelection, control);
}

void Engine::UserEdited(Window* window, int control, std::string_view text) {
  if (!window || !window->open_) return;
  ControlState* c = window->Find(control);
  if (!c) return;
  c->text = std::string(text);
  WriteVar(c->desc.variable, text);
  Post(window, event::Accepted, control);
}

void Engine::UserMoved(Window* window, const Rect& frame) {
  if (!window || !window->open_) return;
  Resized(window, frame, true);
}

void Engine::ClientSized(Window* window, PixelSize size) {
  if (!window || !window->open_ || size == window->client_) return;
  window->client_ = size;
  for (ControlState& c : window->controls_) backend_->UpdateControl(*window, c);
}

void Engine::UserState(Window* window, bool maximized, bool iconized) {
  if (!window || !window->open_) return;
  const bool wasMax = window->maximized_;
  window->maximized_ = maximized;
  window->iconized_ = iconized;
  if (maximized && !wasMax) Post(window, event::Maximized);
  if (!maximized && wasMax) Post(window, event::Restored);
}

void Engine::UserClose(Window* window) { Post(window, event::CloseWindow); }

void Engine::UserKey(Window* window, int code) {
  if (!window || !window->open_) return;
  keyCode_ = code;
  auto alerted = [code](const std::map<int, int>& alerts) {
    return std::any_of(alerts.begin(), alerts.end(),
                       [code](const auto& a) { return a.second == code && code != 0; });
  };
  const ControlState* focused = window->Find(window->focus_);
  if (focused && alerted(focused->alerts)) {
    Post(window, event::AlertKey, window->focus_);
    return;
  }
  for (const ControlState& c : window->controls_) {
    if (alerted(c.alerts)) {
      Post(window, event::AlertKey, window->focus_);
      return;
    }
  }
}

}  // namespace vantrel::ui
