#include "ui/win32/win32_backend.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ui/list_view.h"

namespace vantrel::ui {

// What each engine window and control is on the desktop.
struct Win32Backend::NativeControl {
  Win32Backend* backend = nullptr;
  Window* window = nullptr;
  int field = 0;
  HWND hwnd = nullptr;             // none for a tab: it is an item of its sheet's tab control
  int tabIndex = -1;               // a tab's position in its sheet
  HICON icon = nullptr;            // an image's icon, when this backend loaded it from a file
  std::unique_ptr<ListView> list;  // a list's view, which draws it and reads its input
  ControlState* State() const { return window->Find(field); }
};

struct Win32Backend::NativeWindow {
  Win32Backend* backend = nullptr;
  Window* window = nullptr;
  HWND hwnd = nullptr;
  HWND owner = nullptr;  // disabled while a modal window is open
  HWND focus = nullptr;  // the control that had the focus when the window was left
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  bool ownsIcons = false;
  bool applying = false;   // placement being applied: not the user's doing
  HBITMAP page = nullptr;  // the sheet's page as the tab control draws it
  HBRUSH pageBrush = nullptr;
  std::vector<std::unique_ptr<NativeControl>> controls;
};

namespace {

constexpr char kWindowClass[] = "VantrelWindow";
constexpr char kListClass[] = "VantrelList";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

DWORD WindowStyle(const WindowDesc& desc) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  if (desc.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  return style;
}

// The outer rectangle of a window whose client area is at frame on the screen.
RECT OuterRect(HWND hwnd, const Rect& frame) {
  RECT r{frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE)));
  return r;
}

Rect ClientOnScreen(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  POINT p{0, 0};
  ClientToScreen(hwnd, &p);
  return Rect{static_cast<int>(p.x), static_cast<int>(p.y), static_cast<int>(r.right - r.left),
              static_cast<int>(r.bottom - r.top)};
}

PixelRect ToPixelRect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
          static_cast<int>(r.bottom - r.top)};
}

// Shows or hides a control by its own flag (its window may not be showing yet).
void ShowControl(HWND hwnd, bool show) {
  const bool shown = (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (shown != show) ShowWindow(hwnd, show ? SW_SHOWNA : SW_HIDE);
}

RECT WorkRect() {
  RECT r{0, 0, 0, 0};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0) || r.right <= r.left) {
    r = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return r;
}

// An icon the program names ("Vantrel.ico"): the icon resource of that name without its
// extension, else the file itself. Null when neither exists.
HICON LoadNamedIcon(std::string_view name, int size, bool* fromFile) {
  *fromFile = false;
  std::string resource(name.substr(0, name.rfind('.')));
  for (char& c : resource) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!resource.empty()) {
    if (auto* icon = static_cast<HICON>(
            LoadImageA(Instance(), resource.c_str(), IMAGE_ICON, size, size, LR_DEFAULTCOLOR))) {
      return icon;
    }
  }
  const std::string file(name);
  auto* icon = static_cast<HICON>(
      LoadImageA(nullptr, file.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
  *fromFile = icon != nullptr;
  return icon;
}

// The icon an icon text names: a system icon, or one loaded by name (its owner frees it when
// *owned comes back true).
HICON IconFromText(std::string_view text, int size, bool* owned) {
  *owned = false;
  if (const int system = SystemIconOf(text)) {
    return LoadIconA(nullptr, MAKEINTRESOURCEA(system));
  }
  if (text.empty()) return nullptr;
  return LoadNamedIcon(text, size, owned);
}

// The backend's object for one of its windows: handed over at creation, kept in the window.
template <class T>
T* ObjectOf(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    return object;
  }
  return reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

Win32Backend::NativeControl* NativeOf(const ControlState& c) {
  return static_cast<Win32Backend::NativeControl*>(c.native);
}

// The tab control of the sheet that a tab belongs to; null when it has none (yet).
HWND SheetOf(const Window& window, const ControlState* tab) {
  const ControlState* sheet = tab ? window.Find(tab->desc.parent) : nullptr;
  const Win32Backend::NativeControl* native = sheet ? NativeOf(*sheet) : nullptr;
  return native ? native->hwnd : nullptr;
}

// Inserts (TCM_INSERTITEMA) or renames (TCM_SETITEMA) the sheet's tab at `index`.
void SendTabText(HWND sheet, UINT message, int index, const std::string& text) {
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(sheet, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// Where the window's client area is now, told to the engine: the frame while the window is
// neither maximised nor minimised (so that the normal placement is what gets remembered), and the
// state always.
void ReportPlacement(Win32Backend::NativeWindow* nw) {
  if (!nw || nw->applying || !nw->window->IsOpen()) return;
  Engine* engine = nw->backend->GetEngine();
  const bool zoomed = IsZoomed(nw->hwnd) != 0;
  const bool iconic = IsIconic(nw->hwnd) != 0;
  if (!zoomed && !iconic && IsWindowVisible(nw->hwnd)) {
    engine->UserMoved(nw->window, ClientOnScreen(nw->hwnd));
  }
  if (zoomed != nw->window->Maximized() || iconic != nw->window->Iconized()) {
    engine->UserState(nw->window, zoomed, iconic);
  }
}

// ---------------------------------------------------------------------------------------------
// The list control

int ListAreaHeight(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  return r.bottom - r.top;
}

void SyncList(Win32Backend::NativeControl* nc) {
  ControlState* c = nc->State();
  if (!c || !nc->list) return;
  const int visible = nc->list->VisibleRows(ListAreaHeight(nc->hwnd));
  ClampListTop(*c, visible);
  const std::int32_t rows = ListRowCount(*c);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 1;
  si.nMax = std::max(rows, 1);
  si.nPage = static_cast<UINT>(visible);
  si.nPos = c->topRow;
  SetScrollInfo(nc->hwnd, SB_VERT, &si, TRUE);
  InvalidateRect(nc->hwnd, nullptr, FALSE);
}

// The list's canvas: GDI calls on a device context, with the list's font selected.
class GdiListCanvas : public ListCanvas {
 public:
  GdiListCanvas(HDC dc, HFONT font) : dc_(dc) {
    oldFont_ = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
  }
  ~GdiListCanvas() override { SelectObject(dc_, oldFont_); }
  GdiListCanvas(const GdiListCanvas&) = delete;
  GdiListCanvas& operator=(const GdiListCanvas&) = delete;

  void PushClip(const Rect& r) override {
    SaveDC(dc_);
    IntersectClipRect(dc_, r.x, r.y, r.x + r.width, r.y + r.height);
  }
  void PopClip() override { RestoreDC(dc_, -1); }
  void FillRect(const Rect& r, std::uint32_t rgb) override {
    const RECT rect = ToRect(r);
    SetBkColor(dc_, ToColorRef(rgb));
    ExtTextOutA(dc_, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  }
  void Text(const Rect& r, std::string_view text, ListAlign align, std::uint32_t rgb) override {
    RECT rect = ToRect(r);
    if (rect.right <= rect.left) return;
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    switch (align) {
      case kAlignRight:
      case kAlignDecimal: flags |= DT_RIGHT; break;
      case kAlignCenter: flags |= DT_CENTER; break;
      case kAlignLeft: flags |= DT_LEFT; break;
    }
    SetTextColor(dc_, ToColorRef(rgb));
    DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &rect, flags);
  }
  void Line(int x1, int y1, int x2, int y2, std::uint32_t rgb) override {
    HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(rgb));
    HGDIOBJ old = SelectObject(dc_, pen);
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
    SelectObject(dc_, old);
    DeleteObject(pen);
  }
  void FrameRect(const Rect& r, std::uint32_t rgb) override {
    const RECT rect = ToRect(r);
    HBRUSH brush = CreateSolidBrush(ToColorRef(rgb));
    ::FrameRect(dc_, &rect, brush);
    DeleteObject(brush);
  }
  void FocusRect(const Rect& r) override {
    const RECT rect = ToRect(r);
    DrawFocusRect(dc_, &rect);
  }

 private:
  static RECT ToRect(const Rect& r) { return RECT{r.x, r.y, r.x + r.width, r.y + r.height}; }
  HDC dc_;
  HGDIOBJ oldFont_;
};

void PaintList(Win32Backend::NativeControl* nc, HDC dc, const RECT& area) {
  const Font& font = nc->window->Desc().font;
  GdiListCanvas canvas(dc, static_cast<HFONT>(nc->backend->FontHandle(font.face, font.points)));
  nc->list->Paint(canvas, Rect{area.left, area.top, area.right - area.left, area.bottom - area.top},
                  GetFocus() == nc->hwnd);
}

// What the backend does after the list took an input.
LRESULT ListDone(Win32Backend::NativeControl* nc, ListView::Result result, HWND hwnd, UINT msg,
                 WPARAM wp, LPARAM lp) {
  switch (result) {
    case ListView::kPassOn: return DefWindowProcA(hwnd, msg, wp, lp);
    case ListView::kHandled: break;
    case ListView::kRepaint: InvalidateRect(hwnd, nullptr, FALSE); break;
    case ListView::kRescroll: SyncList(nc); break;
  }
  return 0;
}

LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32Backend::NativeControl* nc = ObjectOf<Win32Backend::NativeControl>(hwnd, msg, lp);
  ControlState* c = nc && nc->hwnd && nc->list ? nc->State() : nullptr;
  if (!c) return DefWindowProcA(hwnd, msg, wp, lp);
  ListView& view = *nc->list;
  Engine& engine = *nc->backend->GetEngine();
  const int areaHeight = ListAreaHeight(hwnd);
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT area;
      GetClientRect(hwnd, &area);
      // Drawn off screen first: the list repaints whole and must not flicker.
      HDC mem = CreateCompatibleDC(dc);
      HBITMAP bitmap =
          CreateCompatibleBitmap(dc, std::max<LONG>(1, area.right), std::max<LONG>(1, area.bottom));
      HGDIOBJ old = SelectObject(mem, bitmap);
      PaintList(nc, mem, area);
      BitBlt(dc, 0, 0, area.right, area.bottom, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteObject(bitmap);
      DeleteDC(mem);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT: {
      // Drawn into the caller's device context (printing the window, animations, tests).
      RECT area;
      GetClientRect(hwnd, &area);
      PaintList(nc, reinterpret_cast<HDC>(wp), area);
      return 0;
    }
    case WM_SIZE: SyncList(nc); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_GETDLGCODE:
      // The arrows move the selection and Enter accepts the list rather than moving the focus.
      if (const auto* m = reinterpret_cast<const MSG*>(lp);
          m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) {
        return DLGC_WANTARROWS | DLGC_WANTMESSAGE;
      }
      return DLGC_WANTARROWS;
    case WM_VSCROLL: {
      const int visible = view.VisibleRows(areaHeight);
      switch (LOWORD(wp)) {
        case SB_LINEUP: return ListDone(nc, view.ScrollBy(-1), hwnd, msg, wp, lp);
        case SB_LINEDOWN: return ListDone(nc, view.ScrollBy(1), hwnd, msg, wp, lp);
        case SB_PAGEUP: return ListDone(nc, view.ScrollBy(-visible), hwnd, msg, wp, lp);
        case SB_PAGEDOWN: return ListDone(nc, view.ScrollBy(visible), hwnd, msg, wp, lp);
        case SB_TOP: return ListDone(nc, view.ScrollTo(1), hwnd, msg, wp, lp);
        case SB_BOTTOM: return ListDone(nc, view.ScrollTo(ListRowCount(*c)), hwnd, msg, wp, lp);
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
          SCROLLINFO si{};
          si.cbSize = sizeof si;
          si.fMask = SIF_TRACKPOS;
          GetScrollInfo(hwnd, SB_VERT, &si);
          return ListDone(nc, view.ScrollTo(si.nTrackPos), hwnd, msg, wp, lp);
        }
        default: break;
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      return ListDone(nc, view.Wheel(-GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA), hwnd, msg, wp, lp);
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(hwnd, &p);
        if (view.SizingCursorAt(p.x, p.y)) {
          SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32644)));  // IDC_SIZEWE
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      ::SetFocus(hwnd);
      const ListView::Result result =
          view.Press(engine, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)),
                     msg == WM_LBUTTONDBLCLK);
      if (view.Sizing()) SetCapture(hwnd);
      ListDone(nc, result, hwnd, msg, wp, lp);
      return 0;
    }
    case WM_MOUSEMOVE:
      ListDone(nc, view.Drag(static_cast<short>(LOWORD(lp))), hwnd, msg, wp, lp);
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (view.Sizing()) {
        view.Release();
        if (msg == WM_LBUTTONUP) ReleaseCapture();
      }
      return 0;
    case WM_KEYDOWN:
      return ListDone(nc, view.Key(engine, static_cast<int>(wp), areaHeight), hwnd, msg, wp, lp);
    default: break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------------
// Program windows

void DropPage(Win32Backend::NativeWindow* nw);

// Shows each control whose tab is selected and hides the rest.
void ShowTabs(Win32Backend::NativeWindow* nw) {
  DropPage(nw);
  for (ControlState& c : nw->window->Controls()) {
    Win32Backend::NativeControl* nc = NativeOf(c);
    if (!nc || !nc->hwnd) continue;
    ShowControl(nc->hwnd, nw->window->Visible(c));
  }
}

void DropPage(Win32Backend::NativeWindow* nw) {
  if (nw->pageBrush) DeleteObject(nw->pageBrush);
  if (nw->page) DeleteObject(nw->page);
  nw->pageBrush = nullptr;
  nw->page = nullptr;
}

// Draws the sheet's tab control, with the frames standing on its selected tab, into a bitmap: the
// brush of its texts' backgrounds, so that a text reaching over a frame's edge leaves it showing.
// Made again when another tab is chosen.
void PaintPage(Win32Backend::NativeWindow* nw, HWND sheet) {
  RECT r;
  GetClientRect(sheet, &r);
  HDC dc = GetDC(sheet);
  HDC mem = CreateCompatibleDC(dc);
  nw->page = CreateCompatibleBitmap(dc, std::max<LONG>(1, r.right), std::max<LONG>(1, r.bottom));
  HGDIOBJ old = SelectObject(mem, nw->page);
  FillRect(mem, &r, GetSysColorBrush(COLOR_BTNFACE));
  SendMessageA(sheet, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
  for (const ControlState& c : nw->window->Controls()) {
    const Win32Backend::NativeControl* nc = NativeOf(c);
    if (c.desc.kind != ControlKind::Panel || !nc || !nc->hwnd || !nw->window->Visible(c)) continue;
    RECT frame;
    GetWindowRect(nc->hwnd, &frame);
    MapWindowPoints(HWND_DESKTOP, sheet, reinterpret_cast<POINT*>(&frame), 2);
    DrawEdge(mem, &frame, EDGE_ETCHED, BF_RECT);
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(sheet, dc);
  nw->pageBrush = CreatePatternBrush(nw->page);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32Backend::NativeWindow* nw = ObjectOf<Win32Backend::NativeWindow>(hwnd, msg, lp);
  if (!nw || !nw->hwnd) return DefWindowProcA(hwnd, msg, wp, lp);
  Engine* engine = nw->backend->GetEngine();
  Window* window = nw->window;
  switch (msg) {
    case WM_CLOSE: engine->UserClose(window); return 0;
    case WM_MOVE: ReportPlacement(nw); break;
    case WM_SIZE:
      ReportPlacement(nw);
      // Maximised too, and while a placement is being applied: the controls stand in the client
      // area as it is now. A minimised window keeps them as they were.
      if (wp == SIZE_RESTORED || wp == SIZE_MAXIMIZED) {
        engine->ClientSized(window, {static_cast<int>(LOWORD(lp)), static_cast<int>(HIWORD(lp))});
      }
      break;
    case WM_GETMINMAXINFO: {
      // The smallest frame whose client area holds the window's minimum size; the user's sizing
      // stops there, and the system holds every other resize to it as well.
      const PixelSize minimum = window->MinimumSize();
      if (minimum.width > 0 && minimum.height > 0) {
        const RECT outer = OuterRect(hwnd, Rect{0, 0, minimum.width, minimum.height});
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize.x = std::max<LONG>(info->ptMinTrackSize.x, outer.right - outer.left);
        info->ptMinTrackSize.y = std::max<LONG>(info->ptMinTrackSize.y, outer.bottom - outer.top);
      }
      return 0;
    }
    case WM_ACTIVATE:
      // The focus goes back to the control that had it when the window was left.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) nw->focus = focus;
      } else if (nw->focus && IsWindow(nw->focus) && IsWindowVisible(nw->focus)) {
        ::SetFocus(nw->focus);
        return 0;
      }
      break;
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      const int code = HIWORD(wp);
      HWND from = reinterpret_cast<HWND>(lp);
      ControlState* c = from ? window->Find(id) : nullptr;
      Win32Backend::NativeControl* nc = c ? NativeOf(*c) : nullptr;
      if (!nc || nc->hwnd != from) break;
      if (c->desc.kind == ControlKind::Button && code == BN_CLICKED) {
        engine->UserFocus(window, id);
        engine->UserAccepted(window, id);
        return 0;
      }
      if (c->desc.kind == ControlKind::Entry && code == EN_KILLFOCUS) {
        std::string text(static_cast<std::size_t>(GetWindowTextLengthA(from)) + 1, '\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextA(from, text.data(), static_cast<int>(text.size()))));
        if (text != c->text) engine->UserEdited(window, id, text);
        return 0;
      }
      break;
    }
    case WM_CTLCOLORSTATIC: {
      // Texts and frames on a tab stand on the tab control's page (a themed one is not the
      // button face): their background is the page as the tab control draws it.
      HWND control = reinterpret_cast<HWND>(lp);
      const ControlState* c = window->Find(GetDlgCtrlID(control));
      const ControlState* tab = c ? window->Find(c->desc.parent) : nullptr;
      HWND sheet = tab && tab->desc.kind == ControlKind::Tab ? SheetOf(*window, tab) : nullptr;
      if (!sheet) break;
      if (!nw->pageBrush) PaintPage(nw, sheet);
      POINT origin{0, 0};
      MapWindowPoints(control, sheet, &origin, 1);
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(nw->pageBrush);
    }
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
        const int id = static_cast<int>(hdr->idFrom);
        const int index = static_cast<int>(SendMessageA(hdr->hwndFrom, TCM_GETCURSEL, 0, 0));
        engine->UserSelectRow(window, id, index + 1);
        ShowTabs(nw);
        return 0;
      }
      break;
    }
    default: break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX),
                           ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kWindowClass;
  RegisterClassExA(&wc);
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ListProc;
  wc.hbrBackground = nullptr;
  wc.lpszClassName = kListClass;
  RegisterClassExA(&wc);
}

HWND MakeChild(const char* cls, const std::string& text, DWORD style, DWORD exStyle, const Rect& r,
               HWND parent, int id, void* param = nullptr) {
  return CreateWindowExA(exStyle, cls, text.c_str(), WS_CHILD | style, r.x, r.y, r.width, r.height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(),
                         param);
}

void MoveChild(HWND hwnd, const Rect& r) {
  RECT now;
  GetWindowRect(hwnd, &now);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&now), 2);
  if (now.left != r.x || now.top != r.y || now.right - now.left != r.width ||
      now.bottom - now.top != r.height) {
    MoveWindow(hwnd, r.x, r.y, r.width, r.height, TRUE);
  }
}

void SetText(HWND hwnd, const std::string& text) {
  const int length = GetWindowTextLengthA(hwnd);
  std::string now(static_cast<std::size_t>(length) + 1, '\0');
  now.resize(static_cast<std::size_t>(GetWindowTextA(hwnd, now.data(), length + 1)));
  if (now != text) SetWindowTextA(hwnd, text.c_str());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The backend

Win32Backend::Win32Backend() { RegisterClasses(); }

Win32Backend::~Win32Backend() {
  // The engine closes its windows first; whatever is left goes now (closing removes it).
  while (!windows_.empty()) {
    Window& window = *windows_.back()->window;
    if (window.native) {
      CloseWindow(window);
    } else {
      windows_.pop_back();
    }
  }
  for (auto& entry : fonts_) DeleteObject(static_cast<HFONT>(entry.second));
}

void* Win32Backend::FontHandle(const std::string& face, int points) const {
  auto& font = fonts_[{face, points}];
  if (!font) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(std::max(points, 1), GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    font = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  }
  return font;
}

FontMetrics Win32Backend::Metrics(const Font& font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(FontHandle(font.face, font.points)));
  SIZE sample{0, 0};
  GetTextExtentPoint32A(dc, kAverageWidthSample, static_cast<int>(sizeof kAverageWidthSample - 1),
                        &sample);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return DialogBaseUnits(sample.cx, tm.tmHeight);
}

Rect Win32Backend::ScreenArea() {
  const PixelRect r = ToPixelRect(WorkRect());
  return {r.x, r.y, r.width, r.height};
}

PixelRect Win32Backend::WorkArea() const { return ToPixelRect(WorkRect()); }

int Win32Backend::ScrollBarWidth() const { return GetSystemMetrics(SM_CXVSCROLL); }

PixelSize Win32Backend::AverageCharSize(const MessageFont& font) const {
  const FontMetrics m = const_cast<Win32Backend*>(this)->Metrics(Font{font.face, font.points});
  return {m.cx, m.cy};
}

int Win32Backend::TextWidth(const MessageFont& font, std::string_view run) const {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(FontHandle(font.face, font.points)));
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc, run.data(), static_cast<int>(run.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

void Win32Backend::OpenWindow(Engine& engine, Window& window) {
  engine_ = &engine;
  windows_.push_back(std::make_unique<NativeWindow>());
  NativeWindow* nw = windows_.back().get();
  nw->backend = this;
  nw->window = &window;
  const WindowDesc& desc = window.Desc();
  const DWORD style = WindowStyle(desc);
  HWND owner = nullptr;
  if (Window* o = window.Owner(); o && o->native) {
    owner = static_cast<NativeWindow*>(o->native)->hwnd;
  }
  HWND hwnd =
      CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, window.Caption().c_str(), style,
                      CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner, nullptr, Instance(), nw);
  nw->hwnd = hwnd;
  window.native = nw;
  HFONT font = static_cast<HFONT>(FontHandle(desc.font.face, desc.font.points));

  std::vector<HWND> bottom;  // the sheets and frames, kept under the controls standing on them
  for (ControlState& c : window.Controls()) {
    nw->controls.push_back(std::make_unique<NativeControl>());
    NativeControl* nc = nw->controls.back().get();
    nc->backend = this;
    nc->window = &window;
    nc->field = c.desc.field;
    c.native = nc;
    const Rect r = window.PixelRect(c);
    const int id = c.desc.field;
    switch (c.desc.kind) {
      case ControlKind::Sheet:
        nc->hwnd = MakeChild(WC_TABCONTROLA, "", WS_CLIPSIBLINGS | WS_TABSTOP, 0, r, hwnd, id);
        bottom.push_back(nc->hwnd);
        break;
      case ControlKind::Tab: {
        HWND sheet = SheetOf(window, &c);
        if (!sheet) break;
        nc->tabIndex = static_cast<int>(SendMessageA(sheet, TCM_GETITEMCOUNT, 0, 0));
        SendTabText(sheet, TCM_INSERTITEMA, nc->tabIndex, c.text);
        break;
      }
      case ControlKind::Button:
        nc->hwnd = MakeChild("BUTTON", c.text, WS_TABSTOP | BS_PUSHBUTTON, 0, r, hwnd, id);
        break;
      case ControlKind::Prompt:
      case ControlKind::String:
        nc->hwnd = MakeChild("STATIC", c.text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, r, hwnd, id);
        break;
      case ControlKind::Entry:
        nc->hwnd =
            MakeChild("EDIT", c.text, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, r, hwnd, id);
        break;
      case ControlKind::Panel:
        nc->hwnd = MakeChild("STATIC", "", WS_CLIPSIBLINGS | SS_ETCHEDFRAME, 0, r, hwnd, id);
        bottom.push_back(nc->hwnd);
        break;
      case ControlKind::Image: nc->hwnd = MakeChild("STATIC", "", SS_ICON, 0, r, hwnd, id); break;
      case ControlKind::List:
        nc->list = std::make_unique<ListView>(window, c.desc.field);
        nc->hwnd =
            MakeChild(kListClass, "", WS_TABSTOP | WS_VSCROLL, WS_EX_CLIENTEDGE, r, hwnd, id, nc);
        break;
      case ControlKind::Progress:
        nc->hwnd = MakeChild(PROGRESS_CLASSA, "", 0, 0, r, hwnd, id);
        SendMessageA(nc->hwnd, PBM_SETRANGE32, 0, 100);
        break;
    }
    if (nc->hwnd) {
      SendMessageA(nc->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      // The description's order is the tab order, which the dialog manager takes from the
      // z-order: each control goes under the ones before it.
      SetWindowPos(nc->hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  // Frames first, sheets last: at the bottom, so that they never cover what stands on them.
  std::stable_partition(bottom.begin(), bottom.end(), [](HWND h) {
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    return lstrcmpiA(cls, "STATIC") == 0;
  });
  for (HWND h : bottom) {
    SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  for (ControlState& c : window.Controls()) UpdateControl(window, c);
  if (desc.modal && owner) {
    nw->owner = owner;
    EnableWindow(owner, FALSE);
  }
  UpdateWindow(window);
  ShowWindow(hwnd, window.Iconized()    ? SW_SHOWMINIMIZED
                   : window.Maximized() ? SW_SHOWMAXIMIZED
                                        : SW_SHOWNORMAL);
  ::UpdateWindow(hwnd);
  ReportPlacement(nw);
}

void Win32Backend::CloseWindow(Window& window) {
  auto* nw = static_cast<NativeWindow*>(window.native);
  if (!nw) return;
  if (nw->owner) {
    EnableWindow(nw->owner, TRUE);
    SetActiveWindow(nw->owner);
  }
  HWND hwnd = nw->hwnd;
  nw->hwnd = nullptr;  // the window procedure sees a closing window from here on
  DestroyWindow(hwnd);
  for (auto& nc : nw->controls) {
    if (nc->icon) DestroyIcon(nc->icon);
  }
  DropPage(nw);
  if (nw->ownsIcons) {
    DestroyIcon(nw->bigIcon);
    DestroyIcon(nw->smallIcon);
  }
  window.native = nullptr;
  for (ControlState& c : window.Controls()) c.native = nullptr;
  std::erase_if(windows_, [nw](const std::unique_ptr<NativeWindow>& p) { return p.get() == nw; });
}

void Win32Backend::UpdateWindow(Window& window) {
  auto* nw = static_cast<NativeWindow*>(window.native);
  if (!nw || !nw->hwnd) return;
  SetText(nw->hwnd, window.Caption());
  // The window's icon, else the program's.
  std::string icon = engine_ ? engine_->Get(&window, 0, prop::Icon) : std::string();
  if (icon.empty() && engine_) icon = engine_->GetSystem(prop::Icon);
  if (!nw->bigIcon && !icon.empty()) {
    bool bigOwned = false, smallOwned = false;
    nw->bigIcon = IconFromText(icon, GetSystemMetrics(SM_CXICON), &bigOwned);
    nw->smallIcon = IconFromText(icon, GetSystemMetrics(SM_CXSMICON), &smallOwned);
    nw->ownsIcons = bigOwned || smallOwned;
    SendMessageA(nw->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(nw->bigIcon));
    SendMessageA(nw->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(nw->smallIcon));
  }
  // The placement: the frame is the client area of the normal (restored) window.
  const bool resizable = window.Desc().resizable;
  const LONG_PTR style = GetWindowLongPtrA(nw->hwnd, GWL_STYLE);
  const LONG_PTR frameStyle =
      resizable ? (style | WS_THICKFRAME | WS_MAXIMIZEBOX)
                : (style & ~static_cast<LONG_PTR>(WS_THICKFRAME | WS_MAXIMIZEBOX));
  nw->applying = true;
  if (frameStyle != style) SetWindowLongPtrA(nw->hwnd, GWL_STYLE, frameStyle);
  const RECT outer = OuterRect(nw->hwnd, window.Frame());
  const RECT work = WorkRect();
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(nw->hwnd, &wp);
  // Placements count from the work area's corner, not the screen's.
  const RECT placed{outer.left - work.left, outer.top - work.top, outer.right - work.left,
                    outer.bottom - work.top};
  wp.flags = 0;
  // Only what changed is applied, without taking the activation from another program.
  const UINT now = IsIconic(nw->hwnd)   ? SW_SHOWMINIMIZED
                   : IsZoomed(nw->hwnd) ? SW_SHOWMAXIMIZED
                                        : SW_SHOWNORMAL;
  const UINT wanted = window.Iconized()    ? SW_SHOWMINIMIZED
                      : window.Maximized() ? SW_SHOWMAXIMIZED
                                           : SW_SHOWNORMAL;
  const RECT normal = wp.rcNormalPosition;
  if (!EqualRect(&normal, &placed) || now != wanted || !IsWindowVisible(nw->hwnd)) {
    wp.rcNormalPosition = placed;
    if (!IsWindowVisible(nw->hwnd)) {
      wp.showCmd = SW_HIDE;
    } else {
      wp.showCmd = wanted == SW_SHOWMINIMIZED ? SW_SHOWMINNOACTIVE
                   : wanted == SW_SHOWNORMAL  ? SW_SHOWNOACTIVATE
                                              : SW_SHOWMAXIMIZED;
    }
    SetWindowPlacement(nw->hwnd, &wp);
  }
  if (frameStyle != style) {
    SetWindowPos(nw->hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  nw->applying = false;
}

void Win32Backend::UpdateControl(Window& window, ControlState& c) {
  NativeControl* nc = NativeOf(c);
  if (!nc) return;
  if (c.desc.kind == ControlKind::Tab) {
    HWND sheet = SheetOf(window, &c);
    if (sheet && nc->tabIndex >= 0) SendTabText(sheet, TCM_SETITEMA, nc->tabIndex, c.text);
    return;
  }
  HWND hwnd = nc->hwnd;
  if (!hwnd) return;
  MoveChild(hwnd, window.PixelRect(c));
  switch (c.desc.kind) {
    case ControlKind::Sheet:
      if (c.selStart >= 1 && SendMessageA(hwnd, TCM_GETCURSEL, 0, 0) != c.selStart - 1) {
        SendMessageA(hwnd, TCM_SETCURSEL, static_cast<WPARAM>(c.selStart - 1), 0);
      }
      break;
    case ControlKind::Button: {
      SetText(hwnd, c.text);
      const bool isDefault = (GetWindowLongPtrA(hwnd, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
      if (isDefault != c.isDefault) {
        SendMessageA(hwnd, BM_SETSTYLE, c.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
      }
      break;
    }
    case ControlKind::Prompt:
    case ControlKind::String:
    case ControlKind::Entry: SetText(hwnd, c.text); break;
    case ControlKind::Image: {
      if (nc->icon) DestroyIcon(nc->icon);
      bool owned = false;
      HICON icon = IconFromText(c.text, GetSystemMetrics(SM_CXICON), &owned);
      nc->icon = owned ? icon : nullptr;
      SendMessageA(hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
      break;
    }
    case ControlKind::List: SyncList(nc); break;
    case ControlKind::Progress:
      SendMessageA(hwnd, PBM_SETPOS, static_cast<WPARAM>(c.progress), 0);
      break;
    case ControlKind::Panel:
    case ControlKind::Tab: break;
  }
  const bool enabled = !c.disabled;
  if ((IsWindowEnabled(hwnd) != 0) != enabled) EnableWindow(hwnd, enabled);
  // A sheet's selection decides what shows on every tab.
  if (c.desc.kind == ControlKind::Sheet) {
    ShowTabs(static_cast<NativeWindow*>(window.native));
  } else {
    ShowControl(hwnd, window.Visible(c));
  }
}

void Win32Backend::SetFocus(Window& window, int field) {
  const ControlState* c = window.Find(field);
  const NativeControl* nc = c ? NativeOf(*c) : nullptr;
  // A control on a tab that is not showing cannot take the focus.
  if (nc && nc->hwnd && window.Visible(*c)) ::SetFocus(nc->hwnd);
}

bool Win32Backend::Pump(Engine& engine, bool wait) {
  engine_ = &engine;
  const bool anyOpen =
      std::any_of(windows_.begin(), windows_.end(),
                  [](const std::unique_ptr<NativeWindow>& nw) { return nw->hwnd; });
  if (!anyOpen) return false;
  auto dispatch = [this](MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    NativeWindow* nw = nullptr;
    for (auto& w : windows_) {
      if (w->hwnd && w->hwnd == root) nw = w.get();
    }
    if (nw && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) &&
        msg.wParam != VK_SHIFT && msg.wParam != VK_CONTROL && msg.wParam != VK_MENU) {
      engine_->UserKey(nw->window, static_cast<int>(msg.wParam));
    }
    // Tab, the arrows, Enter and access keys move between the controls as in a dialog.
    if (nw && IsDialogMessageA(nw->hwnd, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  };
  MSG msg;
  if (wait) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loops
      return false;
    }
    dispatch(msg);
  }
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    dispatch(msg);
  }
  return true;
}

void Win32Backend::Beep(int sound) { MessageBeep(static_cast<UINT>(sound)); }

void Win32Backend::Flush() {
  for (auto& nw : windows_) {
    if (nw->hwnd) RedrawWindow(nw->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

// ---------------------------------------------------------------------------------------------
// Message dialogs

namespace {

struct DialogState {
  Win32Backend* backend = nullptr;
  const MessageLayout* layout = nullptr;
  HWND mainFrame = nullptr;  // the program's main window when it shows
  HWND owner = nullptr;
  HICON icon = nullptr;
  bool ownsIcon = false;
};

PixelRect WindowRectOf(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return ToPixelRect(r);
}

void BuildDialog(HWND dialog, DialogState& s) {
  const MessageLayout& layout = *s.layout;
  SetWindowTextA(dialog, layout.caption.c_str());
  // Only Move stays on the system menu.
  if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE, SC_TASKLIST}) {
      DeleteMenu(menu, command, MF_BYCOMMAND);
    }
  }
  HFONT dialogFont =
      static_cast<HFONT>(s.backend->FontHandle(layout.dialogFont.face, layout.dialogFont.points));
  HFONT textFont =
      static_cast<HFONT>(s.backend->FontHandle(layout.textFont.face, layout.textFont.points));
  auto make = [dialog](const char* cls, const std::string& text, DWORD style, const PixelRect& r,
                       int id) {
    return CreateWindowExA(0, cls, text.c_str(), style, r.x, r.y, r.width, r.height, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  };
  if (layout.hasIcon) {
    s.icon = layout.systemIcon != 0
                 ? LoadIconA(nullptr, MAKEINTRESOURCEA(layout.systemIcon))
                 : LoadNamedIcon(layout.iconName, layout.iconRect.width, &s.ownsIcon);
    HWND icon =
        make("STATIC", "", WS_CHILD | WS_VISIBLE | SS_ICON, layout.iconRect, kMessageIconId);
    SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(s.icon), 0);
  }
  std::string text = layout.text;
  if (!layout.selectable) {
    // The lines the layout measured, so that the static control breaks nothing on its own.
    text.clear();
    for (const std::string& line :
         WrapText(*s.backend, layout.textFont, layout.text, layout.wrapWidth)) {
      if (!text.empty()) text += "\r\n";
      text += line;
    }
  }
  DWORD textStyle = layout.textStyle;
  if (layout.selectable && layout.scrolls) textStyle |= kVerticalScrollStyle;
  HWND textControl =
      make(std::string(layout.textClass).c_str(), text, textStyle, layout.textRect, kMessageTextId);
  SendMessageA(textControl, WM_SETFONT, reinterpret_cast<WPARAM>(textFont), FALSE);
  HWND focus = nullptr;
  for (std::size_t i = 0; i < layout.buttons.size(); ++i) {
    const MessageButtonLayout& b = layout.buttons[i];
    HWND button = make("BUTTON", b.caption, b.style, b.rect, b.id);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), FALSE);
    if (static_cast<int>(i) == layout.focus) focus = button;
    // Enter away from the buttons presses the default one (without one, it asks for OK).
    if (b.isDefault) SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(b.id), 0);
  }
  // The frame around the layout's client area, placed on the main window or the owner.
  RECT frame{0, 0, layout.client.width, layout.client.height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
  const PixelSize size{static_cast<int>(frame.right - frame.left),
                       static_cast<int>(frame.bottom - frame.top)};
  PixelRect mainRect, ownerRect;
  const PixelRect* mainPtr = nullptr;
  const PixelRect* ownerPtr = nullptr;
  if (s.mainFrame) {
    mainRect = WindowRectOf(s.mainFrame);
    mainPtr = &mainRect;
  }
  if (s.owner) {
    ownerRect = WindowRectOf(s.owner);
    ownerPtr = &ownerRect;
  }
  const PixelRect at = PlaceMessageDialog(size, s.backend->WorkArea(), mainPtr, ownerPtr);
  SetWindowPos(dialog, nullptr, at.x, at.y, at.width, at.height, SWP_NOZORDER | SWP_NOACTIVATE);
  if (focus) SetFocus(focus);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* s = reinterpret_cast<DialogState*>(lp);
      SetWindowLongPtrA(dialog, DWLP_USER, lp);
      BuildDialog(dialog, *s);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      // A click, Enter or Escape ends the dialog only for a button that exists: Enter without a
      // default button asks for OK and Escape for Cancel, each counting only when shown.
      auto* s = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
      const int id = LOWORD(wp);
      if (s && HIWORD(wp) == BN_CLICKED) {
        for (const MessageButtonLayout& b : s->layout->buttons) {
          if (b.id == id && GetDlgItem(dialog, id)) {
            EndDialog(dialog, id);
            return TRUE;
          }
        }
      }
      return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // Everything on the button face.
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    default: return FALSE;
  }
}

// An empty in-memory dialog template: the style, the caption and the font; the controls are
// made when the dialog starts, at the layout's pixel rectangles.
std::vector<WORD> DialogTemplate(const MessageLayout& layout) {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  DLGTEMPLATE head{};
  head.style = layout.dialogStyle;
  std::memcpy(t.data(), &head, sizeof head);
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  t.push_back(0);  // the caption comes later, as the program's bytes
  t.push_back(static_cast<WORD>(layout.dialogFont.points));
  for (char ch : layout.dialogFont.face) t.push_back(static_cast<unsigned char>(ch));
  t.push_back(0);
  return t;
}

}  // namespace

int Win32Backend::Present(const MessageLayout& layout) {
  HWND previousFocus = GetFocus();
  DialogState state;
  state.backend = this;
  state.layout = &layout;
  // The owner: the thread's active program window, else the active window, else the desktop.
  for (auto& nw : windows_) {
    if (!nw->hwnd || !IsWindowVisible(nw->hwnd)) continue;
    if (!state.mainFrame) state.mainFrame = nw->hwnd;
    state.owner = nw->hwnd;
  }
  if (!state.owner) state.owner = GetActiveWindow();
  const std::vector<WORD> tmpl = DialogTemplate(layout);
  const INT_PTR result =
      DialogBoxIndirectParamA(Instance(), reinterpret_cast<const DLGTEMPLATE*>(tmpl.data()),
                              state.owner, DialogProc, reinterpret_cast<LPARAM>(&state));
  if (state.ownsIcon) DestroyIcon(state.icon);
  if (previousFocus && IsWindow(previousFocus)) ::SetFocus(previousFocus);
  return result > 0 ? static_cast<int>(result) : 0;
}

// ---------------------------------------------------------------------------------------------

}  // namespace vantrel::ui
