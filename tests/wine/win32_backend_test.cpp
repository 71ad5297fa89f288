// The Win32 backend inside one process on Wine's desktop: the list paints each cell in the colours
// the list style code chooses (the colours the Linux list and the headless tests see), and the
// message dialog stands exactly where the computed layout puts its parts and answers by its rules.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_desc.h"
#include "runtime/dialog/message_dialog.h"
#include "tests/app/main_window_desc.h"
#include "ui/engine.h"
#include "ui/win32/win32_backend.h"

namespace vantrel::ui {
namespace {

std::uint32_t PixelRgb(HDC dc, int x, int y) {
  const COLORREF c = GetPixel(dc, x, y);
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

HWND ChildOfClass(HWND parent, const char* cls) {
  return FindWindowExA(parent, nullptr, cls, nullptr);
}

class Win32BackendTest : public ::testing::Test {
 protected:
  Win32BackendTest() : rows(app::DisplayRecord::kLayout) {
    auto made = std::make_unique<Win32Backend>();
    backend = made.get();
    engine = std::make_unique<Engine>(std::move(made));
  }
  Win32Backend* backend = nullptr;
  std::unique_ptr<Engine> engine;
  RecordListSource rows;
};

TEST_F(Win32BackendTest, ListCellsAreDrawnInTheColoursOfTheirStyles) {
  const app::DisplayRecord plain = testing::Row("SYSTEM\\A", "EnableOplocks", "0", "0", 1);
  const app::DisplayRecord marked = testing::Row("SYSTEM\\B", "UseOplocks", "1", "0", 2);
  const app::DisplayRecord chosen = testing::Row("SYSTEM\\C", "Cached", "5", "0", 2);
  rows.Add(&plain);
  rows.Add(&marked);
  rows.Add(&chosen);
  Window* window = engine->Open(testing::MainWindowDesc(&rows));
  testing::SetMainStyles(*engine, window);
  engine->SetNumber(window, app::kLstRegistryItems, prop::SelStart, 3);

  HWND main = FindWindowA(nullptr, window->Caption().c_str());
  ASSERT_NE(main, nullptr);
  HWND list = ChildOfClass(main, "VantrelList");
  ASSERT_NE(list, nullptr);
  RECT client;
  GetClientRect(list, &client);
  HDC screen = GetDC(list);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);

  const ControlState& c = *window->Find(app::kLstRegistryItems);
  const ListGeometry g = ListGeometryOf(*window, c);
  ASSERT_EQ(g.columns.size(), 6u);
  // Style 1 is a plain row; style 2 is light red, and a selected style-2 row keeps the list's
  // selection background with red text.
  const std::uint32_t expected[3] = {0xFFFFFF, 0xFFDDDD, 0x0078D7};
  for (std::int32_t r = 1; r <= 3; ++r) {
    const int y = g.headerHeight + (r - 1) * g.rowHeight + 1;
    for (std::size_t i = 0; i < g.columns.size(); ++i) {
      SCOPED_TRACE("row " + std::to_string(r) + ", column " + std::to_string(i + 1));
      const CellView v = DescribeCell(c.format.columns[i], rows, r, r == 3, c.styles, c.listColors);
      // Right of the text and left of the column's edge line (or of the list's own edge, which
      // cuts the last column): only the cell's background.
      const int x = std::min<int>(g.columns[i].Right() - 3, client.right - 1);
      ASSERT_GT(x, g.columns[i].left + g.columns[i].indent);
      const std::uint32_t drawn = PixelRgb(dc, x, y);
      EXPECT_EQ(drawn, v.backRgb);
      EXPECT_EQ(drawn, expected[r - 1]);
    }
  }
  // Some of the selected row's key name is drawn in pure red.
  bool red = false;
  const int top = g.headerHeight + 2 * g.rowHeight;
  for (int y = top; y < top + g.rowHeight && !red; ++y) {
    for (int x = g.columns[0].indent; x < g.columns[0].Right() - 3 && !red; ++x) {
      red = PixelRgb(dc, x, y) == 0xFF0000;
    }
  }
  EXPECT_TRUE(red) << "no red text in the selected style-2 row";
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(list, screen);
}

PixelRect ClientRectIn(HWND parent, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
          static_cast<int>(r.bottom - r.top)};
}

SIZE OuterSize(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// The main window sized by SetWindowPos, MoveWindow and a maximise: every child window stands
// where the engine's layout puts it for the client area as it is (the list and the sheet
// stretched, the buttons at the bottom edge, Close in the bottom-right corner), and the window
// cannot be made smaller than described.
TEST_F(Win32BackendTest, MainWindowControlsFollowItsSizeAndItKeepsItsMinimum) {
  Window* window = engine->Open(testing::MainWindowDesc(&rows));
  HWND main = FindWindowA(nullptr, window->Caption().c_str());
  ASSERT_NE(main, nullptr);
  auto clientSize = [main] {
    RECT r;
    GetClientRect(main, &r);
    return PixelSize{static_cast<int>(r.right), static_cast<int>(r.bottom)};
  };
  const PixelSize described = window->DescribedSize();
  ASSERT_EQ(clientSize(), described);
  const SIZE outerAtDescribed = OuterSize(main);
  auto childAt = [main](int field) {
    const PixelRect r = ClientRectIn(main, GetDlgItem(main, field));
    return Rect{r.x, r.y, r.width, r.height};
  };
  const Rect list0 = childAt(app::kLstRegistryItems);
  const Rect sheet0 = childAt(app::kShtVantrel);
  const Rect disable0 = childAt(app::kBtnDisable);
  const Rect close0 = childAt(app::kBtnClose);
  const Rect prompt0 = childAt(app::kPmtInfo1);
  // Every child as the engine places it now.
  auto expectLaidOut = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(window->ClientSize(), clientSize());
    for (const ControlState& c : window->Controls()) {
      if (c.desc.kind == ControlKind::Tab) continue;  // an item of the sheet, not a window
      EXPECT_EQ(childAt(c.desc.field), window->PixelRect(c)) << "control " << c.desc.field;
    }
  };

  RECT r;
  GetWindowRect(main, &r);
  ASSERT_TRUE(SetWindowPos(main, nullptr, r.left, r.top, outerAtDescribed.cx + 200,
                           outerAtDescribed.cy + 120, SWP_NOZORDER | SWP_NOACTIVATE));
  expectLaidOut("made larger");
  EXPECT_EQ(childAt(app::kLstRegistryItems),
            (Rect{list0.x, list0.y, list0.width + 200, list0.height + 120}));
  EXPECT_EQ(childAt(app::kShtVantrel),
            (Rect{sheet0.x, sheet0.y, sheet0.width + 200, sheet0.height + 120}));
  EXPECT_EQ(childAt(app::kBtnDisable),
            (Rect{disable0.x, disable0.y + 120, disable0.width, disable0.height}));
  EXPECT_EQ(childAt(app::kBtnClose),
            (Rect{close0.x + 200, close0.y + 120, close0.width, close0.height}));
  EXPECT_EQ(childAt(app::kPmtInfo1), prompt0);
  EXPECT_EQ(window->Frame().width, described.width + 200) << "the engine was told the new size";

  // Smaller than described: held at the described size, by SetWindowPos and MoveWindow alike.
  ASSERT_TRUE(MoveWindow(main, r.left, r.top, 120, 90, TRUE));
  EXPECT_EQ(OuterSize(main).cx, outerAtDescribed.cx);
  EXPECT_EQ(OuterSize(main).cy, outerAtDescribed.cy);
  EXPECT_EQ(clientSize(), described);
  expectLaidOut("made as small as it can be");
  EXPECT_EQ(childAt(app::kBtnClose), close0);
  EXPECT_EQ(childAt(app::kLstRegistryItems), list0);
  MINMAXINFO info{};
  SendMessageA(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, outerAtDescribed.cx);
  EXPECT_EQ(info.ptMinTrackSize.y, outerAtDescribed.cy);

  // Maximised, the controls fill the larger client area; restored, they are back.
  ShowWindow(main, SW_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(main));
  ASSERT_GT(clientSize().width, described.width);
  expectLaidOut("maximised");
  const Rect closeMax = childAt(app::kBtnClose);
  EXPECT_EQ(clientSize().width - (closeMax.x + closeMax.width),
            described.width - (close0.x + close0.width));
  EXPECT_EQ(clientSize().height - (closeMax.y + closeMax.height),
            described.height - (close0.y + close0.height));
  ShowWindow(main, SW_RESTORE);
  expectLaidOut("restored");
  EXPECT_EQ(childAt(app::kBtnClose), close0);
}

// Waits on another thread for this process's dialog with the caption, hands it to act, and keeps
// what act saw.
class DialogWatcher {
 public:
  DialogWatcher(const char* caption, std::function<void(HWND)> act)
      : thread_([this, caption, act] {
          const DWORD pid = GetCurrentProcessId();
          for (int i = 0; i < 200; ++i) {
            HWND hwnd = nullptr;
            while ((hwnd = FindWindowExA(nullptr, hwnd, "#32770", caption)) != nullptr) {
              DWORD owner = 0;
              GetWindowThreadProcessId(hwnd, &owner);
              if (owner == pid && IsWindowVisible(hwnd)) {
                Sleep(100);
                act(hwnd);
                found_ = true;
                return;
              }
            }
            Sleep(50);
          }
        }) {}
  ~DialogWatcher() { Join(); }
  bool Join() {
    if (thread_.joinable()) thread_.join();
    return found_;
  }

 private:
  std::atomic<bool> found_{false};
  std::thread thread_;
};

// The dialog shows exactly the computed layout: client size, icon, text and buttons.
TEST_F(Win32BackendTest, MessageDialogStandsAsItsLayoutAndAnswersNo) {
  const MessageRequest request{"Are you sure you want to disable Vantrel?|A second line.",
                               "Vantrel",
                               kIconQuestion,
                               "6",
                               0,
                               0};
  const MessageLayout layout = LayoutMessage(request, *backend);
  ASSERT_EQ(layout.buttons.size(), 2u);
  PixelSize client;
  std::vector<PixelRect> buttons;
  PixelRect text, icon;
  HWND focus = nullptr, yes = nullptr;
  DialogWatcher watcher("Vantrel", [&](HWND dialog) {
    RECT r;
    GetClientRect(dialog, &r);
    client = {static_cast<int>(r.right), static_cast<int>(r.bottom)};
    for (const MessageButtonLayout& b : layout.buttons)
      buttons.push_back(ClientRectIn(dialog, GetDlgItem(dialog, b.id)));
    text = ClientRectIn(dialog, GetDlgItem(dialog, kMessageTextId));
    icon = ClientRectIn(dialog, GetDlgItem(dialog, kMessageIconId));
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
    focus = gui.hwndFocus;
    yes = GetDlgItem(dialog, 6);
    PostMessageA(GetDlgItem(dialog, 7), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(ShowMessage(request.text, request.caption, request.icon, request.buttons), kButtonNo);
  ASSERT_TRUE(watcher.Join()) << "no dialog captioned Vantrel";
  EXPECT_EQ(client, layout.client);
  for (std::size_t i = 0; i < buttons.size(); ++i)
    EXPECT_EQ(buttons[i], layout.buttons[i].rect) << i;
  EXPECT_EQ(text, layout.textRect);
  EXPECT_EQ(icon.x, layout.iconRect.x);
  EXPECT_EQ(icon.y, layout.iconRect.y);
  EXPECT_EQ(focus, yes);
}

// Escape is the Cancel button's command: with Cancel shown it closes the dialog, answering with
// Cancel's position in a caption list.
TEST_F(Win32BackendTest, EscapeAnswersWithCancelWhenItIsShown) {
  DialogWatcher watcher("Choose", [](HWND dialog) {
    HWND focus = GetDlgItem(dialog, kFirstCustomButtonId);
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0);
  });
  EXPECT_EQ(ShowMessage("Which one?", "Choose", {}, "First|Cancel|Third"), 2);
  EXPECT_TRUE(watcher.Join());
}

}  // namespace
}  // namespace vantrel::ui
