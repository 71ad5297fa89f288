#include "ui/fltk/fltk_backend.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "ui/cp1250.h"
#include "ui/desktop.h"
#include "ui/list_view.h"

namespace vantrel::ui {
namespace {

// ---------------------------------------------------------------------------------------------
// Fonts and colours

bool IsFixedFace(std::string_view face) {
  return face == kFixedPitchFace || face == "Courier" || face == "Consolas" ||
         face == "Lucida Console" || face == "Fixedsys";
}

Fl_Font FlFont(std::string_view face) { return IsFixedFace(face) ? FL_COURIER : FL_HELVETICA; }

// Points to pixels on a 96-dpi screen, as the program's fonts are sized on Windows.
Fl_Fontsize FlSize(int points) {
  return static_cast<Fl_Fontsize>((std::max(points, 1) * 96 + 36) / 72);
}

Fl_Color FlRgb(std::uint32_t rgb) {
  return fl_rgb_color(static_cast<uchar>(rgb >> 16), static_cast<uchar>(rgb >> 8),
                      static_cast<uchar>(rgb));
}

Fl_Color SysColor(int index, std::uint32_t fallback = 0) {
  return FlRgb(ColorToRgb(SystemColor(index), fallback));
}

// FLTK reads '@' in labels as a symbol; the program's texts mean the character.
std::string LabelText(std::string_view cp1250) {
  std::string utf8 = Cp1250ToUtf8(cp1250);
  std::string out;
  for (char c : utf8) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

Fl_Align FlAlign(ListAlign a) {
  switch (a) {
    case kAlignRight:
    case kAlignDecimal: return FL_ALIGN_RIGHT;
    case kAlignCenter: return FL_ALIGN_CENTER;
    case kAlignLeft: break;
  }
  return FL_ALIGN_LEFT;
}

// Windows virtual-key codes for the keys a window may alert on.
int KeyCode(int flKey) {
  if (flKey >= FL_F + 1 && flKey <= FL_F + 24) return 0x70 + (flKey - FL_F - 1);
  switch (flKey) {
    case FL_Enter:
    case FL_KP_Enter: return 13;
    case FL_Escape: return 27;
    case FL_Tab: return 9;
    case FL_BackSpace: return 8;
    case FL_Delete: return 46;
    case FL_Insert: return 45;
    case FL_Home: return 36;
    case FL_End: return 35;
    case FL_Page_Up: return 33;
    case FL_Page_Down: return 34;
    case FL_Up: return 38;
    case FL_Down: return 40;
    case FL_Left: return 37;
    case FL_Right: return 39;
    default: break;
  }
  if (flKey >= 'a' && flKey <= 'z') return flKey - 'a' + 'A';
  if (flKey >= 0x20 && flKey < 0x7F) return flKey;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Widgets

// Text drawn as it is: no '&' access keys, no '@' symbols.
class TextLabel : public Fl_Widget {
 public:
  TextLabel(int x, int y, int w, int h, Fl_Font font, Fl_Fontsize size)
      : Fl_Widget(x, y, w, h), font_(font), size_(size) {}
  void SetText(std::string_view cp1250) {
    text_ = Cp1250ToUtf8(cp1250);
    redraw();
  }
  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_font(font_, size_);
    fl_color(active_r() ? FL_BLACK : FL_INACTIVE_COLOR);
    fl_draw(text_.c_str(), x(), y() + fl_height() - fl_descent());
    fl_pop_clip();
  }

 private:
  std::string text_;
  Fl_Font font_;
  Fl_Fontsize size_;
};

// The standard icons, drawn: the program carries no icon images of its own.
void DrawIcon(int x, int y, int w, int h, int systemIcon, std::string_view name) {
  const int s = std::min(w, h);
  char glyph[2] = {'?', 0};
  Fl_Color fill = FlRgb(0x1E5AC8);
  switch (systemIcon) {
    case 32513:
      glyph[0] = 'X';
      fill = FlRgb(0xD02020);
      break;                            // hand
    case 32514: glyph[0] = '?'; break;  // question
    case 32515:
      glyph[0] = '!';
      fill = FlRgb(0xF0C020);
      break;                            // exclamation
    case 32516: glyph[0] = 'i'; break;  // asterisk
    default:
      glyph[0] =
          name.empty() ? '?' : static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      fill = FlRgb(0x808080);
      break;
  }
  if (systemIcon == 32515) {
    fl_color(fill);
    fl_polygon(x + s / 2, y, x + s - 1, y + s - 1, x, y + s - 1);
    fl_color(FL_BLACK);
  } else {
    fl_color(fill);
    fl_pie(x, y, s, s, 0, 360);
    fl_color(FL_WHITE);
  }
  fl_font(FL_HELVETICA_BOLD, s * 2 / 3);
  fl_draw(glyph, x, y + s / 8, s, s, FL_ALIGN_CENTER, nullptr, 0);
}

class IconBox : public Fl_Widget {
 public:
  IconBox(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void SetIcon(std::string_view text) {
    systemIcon_ = 0;
    name_.clear();
    if (SystemIconOf(text) != 0) {
      systemIcon_ = SystemIconOf(text);
    } else if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
      systemIcon_ = std::atoi(std::string(text).c_str());
    } else {
      name_ = std::string(text);
    }
    if (systemIcon_ == 0 && name_.empty()) systemIcon_ = 32515;
    redraw();
  }
  void draw() override { DrawIcon(x(), y(), w(), h(), systemIcon_, name_); }

 private:
  int systemIcon_ = 32515;
  std::string name_;
};

class ButtonWidget : public Fl_Button {
 public:
  ButtonWidget(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}
  // Enter presses the focused button, as on Windows.
  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
  void draw() override {
    Fl_Button::draw();
    if (isDefault) {
      fl_color(FL_BLACK);
      fl_rect(x(), y(), w(), h());
    }
  }
  bool isDefault = false;
};

// The list's canvas: FLTK's drawing calls in the current window.
class FltkListCanvas : public ListCanvas {
 public:
  FltkListCanvas(Fl_Font font, Fl_Fontsize size) : font_(font), size_(size) {}
  void PushClip(const Rect& r) override { fl_push_clip(r.x, r.y, r.width, r.height); }
  void PopClip() override { fl_pop_clip(); }
  void FillRect(const Rect& r, std::uint32_t rgb) override {
    fl_color(FlRgb(rgb));
    fl_rectf(r.x, r.y, r.width, r.height);
  }
  void Text(const Rect& r, std::string_view text, ListAlign align, std::uint32_t rgb) override {
    if (r.width <= 0) return;
    fl_font(font_, size_);
    fl_color(FlRgb(rgb));
    const std::string utf8 = Cp1250ToUtf8(text);
    fl_draw(utf8.c_str(), r.x, r.y, r.width, r.height,
            FlAlign(align) | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
  }
  void Line(int x1, int y1, int x2, int y2, std::uint32_t rgb) override {
    fl_color(FlRgb(rgb));
    if (x1 == x2 && y2 > y1) fl_yxline(x1, y1, y2 - 1);
    if (y1 == y2 && x2 > x1) fl_xyline(x1, y1, x2 - 1);
  }
  void FrameRect(const Rect& r, std::uint32_t rgb) override {
    fl_color(FlRgb(rgb));
    fl_rect(r.x, r.y, r.width, r.height);
  }
  void FocusRect(const Rect& r) override {
    fl_color(FL_BLACK);
    fl_line_style(FL_DOT);
    fl_rect(r.x, r.y, r.width, r.height);
    fl_line_style(0);
  }

 private:
  Fl_Font font_;
  Fl_Fontsize size_;
};

// The list control: a sunken frame around the portable list view, with FLTK's scroll bar.
class ListWidget : public Fl_Group {
 public:
  ListWidget(int x, int y, int w, int h, FltkBackend::Binding* binding)
      : Fl_Group(x, y, w, h),
        binding_(binding),
        view_(*binding->window, binding->field),
        bar_(x + w - Fl::scrollbar_size(), y, Fl::scrollbar_size(), h) {
    end();
    box(FL_DOWN_FRAME);
    bar_.type(FL_VERTICAL);
    bar_.callback(&ListWidget::Scrolled, this);
    bar_.linesize(1);
  }

  // The scroll bar keeps its width at the right edge (a group would scale it with the list).
  void resize(int x, int y, int w, int h) override {
    Fl_Widget::resize(x, y, w, h);
    bar_.resize(x + w - Fl::scrollbar_size(), y, Fl::scrollbar_size(), h);
  }

  // Inside the frame, left of the scroll bar when it shows.
  Rect Area() const {
    return {x() + 2, y() + 2, w() - 4 - (bar_.visible() ? bar_.w() : 0), h() - 4};
  }

  void Sync() {
    ControlState& c = *view_.State();
    const int rows = ListRowCount(c);
    const int visible = view_.VisibleRows(h() - 4);
    ClampListTop(c, visible);
    bar_.value(c.topRow, visible, 1, std::max(rows, visible));
    if (rows > visible) {
      bar_.show();
    } else {
      bar_.hide();
    }
    redraw();
  }

  void draw() override {
    const Font& font = binding_->window->Desc().font;
    draw_box();
    FltkListCanvas canvas(FlFont(font.face), FlSize(font.points));
    view_.Paint(canvas, Area(), Fl::focus() == this);
    if (bar_.visible()) draw_child(bar_);
  }

  int handle(int event) override {
    if (bar_.visible() && Fl::event_inside(&bar_) &&
        (event == FL_PUSH || event == FL_DRAG || event == FL_RELEASE)) {
      return Fl_Group::handle(event);
    }
    Engine& engine = *binding_->backend->GetEngine();
    const Rect area = Area();
    const int ex = Fl::event_x() - area.x;
    const int ey = Fl::event_y() - area.y;
    switch (event) {
      case FL_FOCUS:
      case FL_UNFOCUS:
        redraw();  // the focus mark
        return 1;
      case FL_ENTER: return 1;
      case FL_LEAVE: fl_cursor(FL_CURSOR_DEFAULT); return 1;
      case FL_MOVE:
        fl_cursor(view_.SizingCursorAt(ex, ey) ? FL_CURSOR_WE : FL_CURSOR_DEFAULT);
        return 1;
      case FL_PUSH: take_focus(); return Done(view_.Press(engine, ex, ey, Fl::event_clicks() != 0));
      case FL_DRAG: return Done(view_.Drag(ex));
      case FL_RELEASE: return Done(view_.Release());
      case FL_MOUSEWHEEL: return Done(view_.Wheel(Fl::event_dy()));
      case FL_KEYBOARD: return Done(view_.Key(engine, KeyCode(Fl::event_key()), h() - 4));
      default: break;
    }
    return Fl_Group::handle(event);
  }

 private:
  int Done(ListView::Result result) {
    switch (result) {
      case ListView::kPassOn: return 0;
      case ListView::kHandled: break;
      case ListView::kRepaint: redraw(); break;
      case ListView::kRescroll: Sync(); break;
    }
    return 1;
  }
  static void Scrolled(Fl_Widget*, void* data) {
    auto* self = static_cast<ListWidget*>(data);
    self->Done(self->view_.ScrollTo(static_cast<std::int32_t>(self->bar_.value())));
  }
  FltkBackend::Binding* binding_;
  ListView view_;
  Fl_Scrollbar bar_;
};

class EngineWindow : public Fl_Double_Window {
 public:
  EngineWindow(int x, int y, int w, int h, FltkBackend::Binding* binding)
      : Fl_Double_Window(x, y, w, h), binding_(binding) {}
  void resize(int x, int y, int w, int h) override {
    Fl_Double_Window::resize(x, y, w, h);
    Engine* engine = binding_->backend->GetEngine();
    if (shown() && !applying) engine->UserMoved(binding_->window, Rect{x, y, w, h});
    // Maximised or not, the controls stand in the window as it is now.
    engine->ClientSized(binding_->window, {w, h});
  }
  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      const int code = KeyCode(Fl::event_key());
      if (code != 0 && event == FL_KEYBOARD) {
        binding_->backend->GetEngine()->UserKey(binding_->window, code);
      }
    }
    return Fl_Double_Window::handle(event);
  }
  bool applying = false;
  Rect restore;  // the frame before a maximise

 private:
  FltkBackend::Binding* binding_;
};

void WindowClosed(Fl_Widget*, void* data) {
  auto* b = static_cast<FltkBackend::Binding*>(data);
  // Escape does not close a program window; the close box does.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  b->backend->GetEngine()->UserClose(b->window);
}

void ButtonPressed(Fl_Widget*, void* data) {
  auto* b = static_cast<FltkBackend::Binding*>(data);
  Engine* engine = b->backend->GetEngine();
  engine->UserFocus(b->window, b->field);
  engine->UserAccepted(b->window, b->field);
}

void TabChanged(Fl_Widget* w, void* data) {
  auto* b = static_cast<FltkBackend::Binding*>(data);
  auto* tabs = static_cast<Fl_Tabs*>(w);
  const int index = tabs->find(tabs->value());
  b->backend->GetEngine()->UserSelectRow(b->window, b->field, index + 1);
}

void EntryChanged(Fl_Widget* w, void* data) {
  auto* b = static_cast<FltkBackend::Binding*>(data);
  b->backend->GetEngine()->UserEdited(b->window, b->field,
                                      Utf8ToCp1250(static_cast<Fl_Input*>(w)->value()));
}

int TabBarHeight(const FontMetrics& m) { return m.cy + 8; }

// A tab's page: its sheet's rectangle below the row of tab titles.
Rect TabPageRect(const Window& window, const ControlState& tab) {
  const ControlState* sheet = window.Find(tab.desc.parent);
  const PixelSize client = window.ClientSize();
  const Rect sr = sheet ? window.PixelRect(*sheet) : Rect{0, 0, client.width, client.height};
  const int bar = TabBarHeight(window.Metrics());
  return {sr.x, sr.y + bar, sr.width, sr.height - bar};
}

// Icons are named as on Windows ("Vantrel.ico"); on this desktop each is a PNG of the same name
// in lower case ("vantrel.png") in the program's own folder.
std::string IconPngPath(const std::string& iconName) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string path(exe, static_cast<size_t>(n));
  path.erase(path.rfind('/') + 1);
  const size_t slash = iconName.find_last_of("\\/");
  std::string stem = iconName.substr(slash == std::string::npos ? 0 : slash + 1);
  stem = stem.substr(0, stem.rfind('.'));
  for (char& ch : stem) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return path + stem + ".png";
}

}  // namespace

std::unique_ptr<Backend> MakeDesktopBackend() { return std::make_unique<FltkBackend>(); }

FltkBackend::FltkBackend() {
  fl_open_display();
  Fl::visible_focus(1);
}

FltkBackend::~FltkBackend() {
  // The engine closes its windows before it frees them, so normally none is left here.
  while (!windows_.empty()) CloseWindow(*windows_.back());
}

Fl_Window* FltkBackend::NativeWindow(const Window& window) {
  return static_cast<Fl_Window*>(window.native);
}

FltkBackend::Binding* FltkBackend::Bind(Window* window, int field) {
  bindings_.push_back(std::make_unique<Binding>(Binding{this, window, field}));
  return bindings_.back().get();
}

const Fl_RGB_Image* FltkBackend::WindowIcon(const Window& window) {
  std::string name = window.Desc().icon;
  if (name.empty() && engine_) name = engine_->GetSystem(prop::Icon);
  if (name.empty()) return nullptr;
  auto found = icons_.find(name);
  if (found == icons_.end()) {
    auto image = std::make_unique<Fl_PNG_Image>(IconPngPath(name).c_str());
    if (image->fail() != 0 || image->w() <= 0) image.reset();
    found = icons_.emplace(name, std::move(image)).first;
  }
  return found->second.get();
}

FontMetrics FltkBackend::Metrics(const Font& font) {
  fl_font(FlFont(font.face), FlSize(font.points));
  return DialogBaseUnits(static_cast<int>(fl_width(kAverageWidthSample)), fl_height());
}

Rect FltkBackend::ScreenArea() {
  int x, y, w, h;
  Fl::screen_work_area(x, y, w, h, 0);
  return {x, y, w, h};
}

PixelRect FltkBackend::WorkArea() const {
  int x, y, w, h;
  Fl::screen_work_area(x, y, w, h, 0);
  return {x, y, w, h};
}

int FltkBackend::ScrollBarWidth() const { return Fl::scrollbar_size(); }

PixelSize FltkBackend::AverageCharSize(const MessageFont& font) const {
  const FontMetrics m = const_cast<FltkBackend*>(this)->Metrics(Font{font.face, font.points});
  return {m.cx, m.cy};
}

int FltkBackend::TextWidth(const MessageFont& font, std::string_view run) const {
  fl_font(FlFont(font.face), FlSize(font.points));
  const std::string utf8 = Cp1250ToUtf8(run);
  return static_cast<int>(fl_width(utf8.c_str()) + 0.999);
}

void FltkBackend::OpenWindow(Engine& engine, Window& window) {
  engine_ = &engine;
  windows_.push_back(&window);
  Fl_Group::current(nullptr);
  const Rect f = window.Frame();
  auto* win = new EngineWindow(f.x, f.y, f.width, f.height, Bind(&window, 0));
  win->end();
  win->copy_label(Cp1250ToUtf8(window.Caption()).c_str());
  win->callback(&WindowClosed, Bind(&window, 0));
  win->color(SysColor(kSysButtonFace));
  window.native = win;
  const Font& font = window.Desc().font;

  for (ControlState& c : window.Controls()) {
    const Rect r = window.PixelRect(c);
    Fl_Widget* widget = nullptr;
    switch (c.desc.kind) {
      case ControlKind::Sheet: {
        auto* tabs = new Fl_Tabs(r.x, r.y, r.width, r.height);
        tabs->end();
        // Every control is placed by the engine's layout; FLTK's own scaling of a group's
        // children would only move them somewhere else first.
        tabs->resizable(nullptr);
        tabs->callback(&TabChanged, Bind(&window, c.desc.field));
        tabs->when(FL_WHEN_CHANGED);
        widget = tabs;
        break;
      }
      case ControlKind::Tab: {
        const Rect pr = TabPageRect(window, c);
        auto* page = new Fl_Group(pr.x, pr.y, pr.width, pr.height);
        page->end();
        page->resizable(nullptr);
        page->copy_label(LabelText(c.text).c_str());
        page->labelfont(FlFont(font.face));
        page->labelsize(FlSize(font.points));
        page->color(SysColor(kSysButtonFace));
        page->box(FL_THIN_UP_BOX);
        widget = page;
        break;
      }
      case ControlKind::Button: {
        auto* b = new ButtonWidget(r.x, r.y, r.width, r.height);
        b->callback(&ButtonPressed, Bind(&window, c.desc.field));
        b->labelfont(FlFont(font.face));
        b->labelsize(FlSize(font.points));
        widget = b;
        break;
      }
      case ControlKind::Prompt:
      case ControlKind::String:
        widget = new TextLabel(r.x, r.y, r.width, r.height, FlFont(font.face), FlSize(font.points));
        break;
      case ControlKind::Entry: {
        auto* in = new Fl_Input(r.x, r.y, r.width, r.height);
        in->callback(&EntryChanged, Bind(&window, c.desc.field));
        in->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
        in->textfont(FlFont(font.face));
        in->textsize(FlSize(font.points));
        widget = in;
        break;
      }
      case ControlKind::Panel: {
        auto* p = new Fl_Box(r.x, r.y, r.width, r.height);
        p->box(FL_ENGRAVED_FRAME);
        widget = p;
        break;
      }
      case ControlKind::Image: widget = new IconBox(r.x, r.y, r.width, r.height); break;
      case ControlKind::List: {
        auto* list = new ListWidget(r.x, r.y, r.width, r.height, Bind(&window, c.desc.field));
        widget = list;
        break;
      }
      case ControlKind::Progress: {
        auto* p = new Fl_Progress(r.x, r.y, r.width, r.height);
        p->minimum(0);
        p->maximum(100);
        p->selection_color(FlRgb(0x06B025));
        widget = p;
        break;
      }
    }
    c.native = widget;
    // Into its parent: a tab page, a sheet (for its tabs), or the window.
    Fl_Group* parent = win;
    if (const ControlState* p = window.Find(c.desc.parent)) {
      if (p->native && (p->desc.kind == ControlKind::Tab || p->desc.kind == ControlKind::Sheet)) {
        parent = static_cast<Fl_Group*>(p->native);
      }
    }
    parent->add(widget);
  }
  // A resizable frame: FLTK itself moves no control (only an invisible corner stretches); the
  // engine places them all for the new size. The desktop is asked not to make the window smaller
  // than the engine allows.
  if (window.Desc().resizable) {
    auto* corner = new Fl_Box(f.width - 1, f.height - 1, 1, 1);
    win->add(corner);
    win->resizable(corner);
    const PixelSize minimum = window.MinimumSize();
    win->size_range(std::max(minimum.width, 1), std::max(minimum.height, 1));
  }
  for (ControlState& c : window.Controls()) UpdateControl(window, c);
  if (window.Desc().modal) win->set_modal();
  // The desktop takes the icon when the window is first shown.
  if (const Fl_RGB_Image* icon = WindowIcon(window)) win->icon(icon);
  win->show();
  UpdateWindow(window);
}

void FltkBackend::CloseWindow(Window& window) {
  // The engine may free the window once it is closed: nothing here keeps pointing at it.
  std::erase(windows_, &window);
  auto* win = static_cast<EngineWindow*>(window.native);
  if (!win) return;
  win->hide();
  Fl::delete_widget(win);
  window.native = nullptr;
  for (ControlState& c : window.Controls()) c.native = nullptr;
  Fl::check();  // deletes the widgets, whose callbacks held the window's bindings
  std::erase_if(bindings_,
                [&window](const std::unique_ptr<Binding>& b) { return b->window == &window; });
}

void FltkBackend::UpdateWindow(Window& window) {
  auto* win = static_cast<EngineWindow*>(window.native);
  if (!win) return;
  win->copy_label(Cp1250ToUtf8(window.Caption()).c_str());
  win->applying = true;
  if (window.Maximized()) {
    if (win->restore.width == 0) win->restore = Rect{win->x(), win->y(), win->w(), win->h()};
    const Rect work = ScreenArea();
    win->resize(work.x, work.y, work.width, work.height);
  } else {
    const Rect f = window.Frame();
    if (win->x() != f.x || win->y() != f.y || win->w() != f.width || win->h() != f.height) {
      win->resize(f.x, f.y, f.width, f.height);
    }
    win->restore = Rect{};
  }
  win->applying = false;
  if (window.Iconized()) {
    win->iconize();
  } else if (win->shown() && !win->visible()) {
    win->show();
  }
}

void FltkBackend::UpdateControl(Window& window, ControlState& c) {
  auto* widget = static_cast<Fl_Widget*>(c.native);
  if (!widget) return;
  const Rect r = window.PixelRect(c);
  switch (c.desc.kind) {
    case ControlKind::Sheet: {
      auto* tabs = static_cast<Fl_Tabs*>(widget);
      if (c.selStart >= 1 && c.selStart <= tabs->children()) {
        tabs->value(tabs->child(c.selStart - 1));
      }
      tabs->resize(r.x, r.y, r.width, r.height);
      break;
    }
    case ControlKind::Tab: {
      widget->copy_label(LabelText(c.text).c_str());
      const Rect pr = TabPageRect(window, c);
      widget->resize(pr.x, pr.y, pr.width, pr.height);
      break;
    }
    case ControlKind::Button: {
      auto* b = static_cast<ButtonWidget*>(widget);
      b->copy_label(LabelText(c.text).c_str());
      b->isDefault = c.isDefault;
      b->shortcut(c.isDefault ? FL_Enter : 0);
      widget->resize(r.x, r.y, r.width, r.height);
      break;
    }
    case ControlKind::Prompt:
    case ControlKind::String:
      static_cast<TextLabel*>(widget)->SetText(c.text);
      widget->resize(r.x, r.y, r.width, r.height);
      break;
    case ControlKind::Entry: {
      const std::string utf8 = Cp1250ToUtf8(c.text);
      auto* in = static_cast<Fl_Input*>(widget);
      if (utf8 != in->value()) in->value(utf8.c_str());
      widget->resize(r.x, r.y, r.width, r.height);
      break;
    }
    case ControlKind::Image:
      static_cast<IconBox*>(widget)->SetIcon(c.text);
      widget->resize(r.x, r.y, r.width, r.height);
      break;
    case ControlKind::List:
      widget->resize(r.x, r.y, r.width, r.height);
      static_cast<ListWidget*>(widget)->Sync();
      break;
    case ControlKind::Progress:
      static_cast<Fl_Progress*>(widget)->value(static_cast<float>(c.progress));
      widget->resize(r.x, r.y, r.width, r.height);
      break;
    case ControlKind::Panel: widget->resize(r.x, r.y, r.width, r.height); break;
  }
  if (c.desc.kind != ControlKind::Tab) {
    if (c.hidden) {
      widget->hide();
    } else if (!widget->visible() && c.desc.kind != ControlKind::Tab) {
      widget->show();
    }
  }
  if (c.disabled) {
    widget->deactivate();
  } else {
    widget->activate();
  }
  widget->redraw();
  if (widget->window()) widget->window()->redraw();
}

void FltkBackend::SetFocus(Window& window, int field) {
  const ControlState* c = window.Find(field);
  auto* widget = c ? static_cast<Fl_Widget*>(c->native) : nullptr;
  // A control on a tab that is not showing cannot take the focus.
  if (widget && widget->visible_r()) widget->take_focus();
}

bool FltkBackend::Pump(Engine& engine, bool wait) {
  engine_ = &engine;
  if (!Fl::first_window()) return false;
  Fl::wait(wait ? 1e20 : 0.0);
  return true;
}

void FltkBackend::Beep(int) { fl_beep(); }

void FltkBackend::Flush() {
  Fl::flush();
  Fl::check();
}

namespace {

// The message dialog's own widgets.
class DialogText : public Fl_Widget {
 public:
  DialogText(int x, int y, int w, int h, std::vector<std::string> lines, Fl_Font font,
             Fl_Fontsize size)
      : Fl_Widget(x, y, w, h), lines_(std::move(lines)), font_(font), size_(size) {}
  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_font(font_, size_);
    fl_color(FL_BLACK);
    int yy = y() + fl_height() - fl_descent();
    for (const std::string& line : lines_) {
      // Tabs expand to the next multiple of eight average characters.
      int xx = x();
      std::size_t start = 0;
      while (true) {
        const std::size_t tab = line.find('\t', start);
        const std::string run = Cp1250ToUtf8(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        fl_draw(run.c_str(), xx, yy);
        xx += static_cast<int>(fl_width(run.c_str()));
        if (tab == std::string::npos) break;
        const int tabWidth = 8 * tabUnit;
        if (tabWidth > 0) xx = x() + ((xx - x()) / tabWidth + 1) * tabWidth;
        start = tab + 1;
      }
      yy += fl_height();
    }
    fl_pop_clip();
  }
  int tabUnit = 0;

 private:
  std::vector<std::string> lines_;
  Fl_Font font_;
  Fl_Fontsize size_;
};

class IconWidget : public Fl_Widget {
 public:
  IconWidget(int x, int y, int w, int h, int systemIcon, std::string name)
      : Fl_Widget(x, y, w, h), systemIcon_(systemIcon), name_(std::move(name)) {}
  void draw() override { DrawIcon(x(), y(), w(), h(), systemIcon_, name_); }

 private:
  int systemIcon_;
  std::string name_;
};

struct DialogState {
  const MessageLayout* layout = nullptr;
  int ended = 0;
  std::vector<ButtonWidget*> buttons;
};

class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(int w, int h, DialogState* state) : Fl_Double_Window(w, h), state_(state) {}
  int handle(int event) override {
    if (event == FL_SHORTCUT && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      // Enter away from the buttons: the default button, else the command for OK (ignored
      // when there is no OK).
      for (std::size_t i = 0; i < state_->buttons.size(); ++i) {
        if (state_->layout->buttons[i].isDefault) {
          state_->ended = state_->layout->buttons[i].id;
          return 1;
        }
      }
      if (state_->layout->ResultFor(1) != 0) state_->ended = 1;
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  DialogState* state_;
};

struct ButtonBinding {
  DialogState* state;
  int id;
};

void DialogButton(Fl_Widget*, void* data) {
  auto* b = static_cast<ButtonBinding*>(data);
  b->state->ended = b->id;
}

// Escape and the close box send the cancel command, which counts only with a Cancel button.
void DialogCancel(Fl_Widget*, void* data) {
  auto* state = static_cast<DialogState*>(data);
  if (state->layout->EscapeCloses()) state->ended = 2;
}

}  // namespace

int FltkBackend::Present(const MessageLayout& layout) {
  Fl_Widget* previousFocus = Fl::focus();
  Fl_Group::current(nullptr);
  DialogState state;
  state.layout = &layout;
  Fl_Text_Buffer buffer;  // outlives the dialog's text display
  DialogWindow dialog(layout.client.width, layout.client.height, &state);
  dialog.end();
  dialog.copy_label(Cp1250ToUtf8(layout.caption).c_str());
  dialog.color(SysColor(kSysButtonFace));
  dialog.callback(&DialogCancel, &state);
  dialog.set_modal();

  if (layout.hasIcon) {
    dialog.add(new IconWidget(layout.iconRect.x, layout.iconRect.y, layout.iconRect.width,
                              layout.iconRect.height, layout.systemIcon, layout.iconName));
  }
  const PixelRect& t = layout.textRect;
  if (layout.selectable) {
    std::string utf8;
    for (char c : Cp1250ToUtf8(layout.text)) {
      if (c != '\r') utf8 += c;
    }
    buffer.text(utf8.c_str());
    auto* box = new Fl_Text_Display(t.x, t.y, t.width, t.height);
    box->buffer(&buffer);
    box->textfont(FlFont(layout.textFont.face));
    box->textsize(FlSize(layout.textFont.points));
    box->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
    box->scrollbar_width(layout.scrolls ? Fl::scrollbar_size() : 0);
    box->box(FL_FLAT_BOX);
    box->color(SysColor(kSysButtonFace));
    dialog.add(box);
  } else {
    auto* text = new DialogText(t.x, t.y, t.width, t.height,
                                WrapText(*this, layout.textFont, layout.text, layout.wrapWidth),
                                FlFont(layout.textFont.face), FlSize(layout.textFont.points));
    text->tabUnit = AverageCharSize(layout.textFont).width;
    dialog.add(text);
  }
  std::vector<std::unique_ptr<ButtonBinding>> bindings;
  for (const MessageButtonLayout& b : layout.buttons) {
    auto* button = new ButtonWidget(b.rect.x, b.rect.y, b.rect.width, b.rect.height);
    button->copy_label(LabelText(b.caption).c_str());
    button->labelfont(FlFont(layout.dialogFont.face));
    button->labelsize(FlSize(layout.dialogFont.points));
    button->isDefault = b.isDefault;
    bindings.push_back(std::make_unique<ButtonBinding>(ButtonBinding{&state, b.id}));
    button->callback(&DialogButton, bindings.back().get());
    dialog.add(button);
    state.buttons.push_back(button);
  }

  // Centred on the program's main window when it is showing, else on the owner's part of the
  // work area.
  const PixelRect work = WorkArea();
  PixelRect mainFrame, owner;
  const PixelRect* mainPtr = nullptr;
  const PixelRect* ownerPtr = nullptr;
  for (Window* w : windows_) {
    if (w->IsOpen() && w->native && static_cast<Fl_Window*>(w->native)->visible()) {
      const Rect f = w->Frame();
      if (!mainPtr) {
        mainFrame = {f.x, f.y, f.width, f.height};
        mainPtr = &mainFrame;
      }
      owner = {f.x, f.y, f.width, f.height};
      ownerPtr = &owner;
    }
  }
  const PixelRect at = PlaceMessageDialog(layout.client, work, mainPtr, ownerPtr);
  dialog.position(at.x, at.y);
  dialog.show();
  if (!state.buttons.empty()) {
    state.buttons[static_cast<std::size_t>(layout.focus)]->take_focus();
  }
  Fl::flush();
  if (onDialogShown_) onDialogShown_(layout, dialog);
  while (state.ended == 0 && dialog.shown()) Fl::wait();
  dialog.hide();
  if (previousFocus && previousFocus->window() && previousFocus->window()->shown()) {
    previousFocus->take_focus();
  }
  return state.ended;
}

}  // namespace vantrel::ui
