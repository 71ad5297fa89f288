// A small desktop program for the gui tests: shows one message dialog, or a window with the main
// window's list, and reports on stdout where its buttons and cells are and what happened.
//
//   fltk_demo dialog <buttons> <default>   prints "button <id> <x> <y>" per button, then
//                                          "result <n>" once the dialog is answered
//   fltk_demo list                         prints "pixel <row> <RRGGBB>" for a cell of each row,
//                                          "button 21 <x> <y>", then "accepted <n>" per button
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/main_window_desc.h"
#include "ui/fltk/fltk_backend.h"

using namespace vantrel;
using namespace vantrel::ui;

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) Fl::wait(0.02);
  Fl::flush();
}

int Dialog(FltkBackend* backend, const char* buttons, int defaultButton) {
  backend->OnDialogShown([](const MessageLayout& layout, Fl_Window& window) {
    Settle();
    for (const MessageButtonLayout& b : layout.buttons) {
      std::printf("button %d %d %d\n", b.id, window.x() + b.rect.x + b.rect.width / 2,
                  window.y() + b.rect.y + b.rect.height / 2);
    }
    std::printf("text %d %d\n", window.x() + layout.textRect.x + 2,
                window.y() + layout.textRect.y + 2);
    std::fflush(stdout);
  });
  const int result = ShowMessage("Are you sure you want to disable Vantrel?|Second line",
                                 "Vantrel test", kIconQuestion, buttons, defaultButton);
  std::printf("result %d\n", result);
  std::fflush(stdout);
  return 0;
}

int List(Engine& engine) {
  RecordListSource rows(app::DisplayRecord::kLayout);
  const app::DisplayRecord plain =
      testing::Row("SYSTEM\\CurrentControlSet\\A", "EnableOplocks", "0", "0", 1);
  const app::DisplayRecord marked =
      testing::Row("SYSTEM\\CurrentControlSet\\B", "UseOplocks", "1", "0", 2);
  rows.Add(&plain);
  rows.Add(&marked);
  WindowDesc desc = testing::MainWindowDesc(&rows);
  desc.at.x = 20;
  desc.at.y = 20;
  ui::Window* w = engine.Open(desc);
  testing::SetMainStyles(engine, w);
  Settle();
  const ControlState& list = *w->Find(7);
  const Rect lr = w->PixelRect(list);
  const ListGeometry g = ListGeometryOf(*w, list);
  Fl_Window* native = FltkBackend::NativeWindow(*w);
  native->make_current();
  for (int row = 1; row <= 2; ++row) {
    // The middle of the "Current" cell (column 3), inside the list's frame.
    const int x = lr.x + 2 + g.columns[2].left + g.columns[2].width / 2;
    const int y = lr.y + 2 + g.headerHeight + (row - 1) * g.rowHeight + g.rowHeight / 2;
    uchar* p = fl_read_image(nullptr, x, y, 1, 1);
    std::printf("pixel %d %02X%02X%02X\n", row, p[0], p[1], p[2]);
    delete[] p;
  }
  // A picture of the whole window, for a person checking the drawing by eye.
  if (const char* shot = std::getenv("VANTREL_DEMO_SHOT")) {
    const int ww = native->w(), wh = native->h();
    uchar* image = fl_read_image(nullptr, 0, 0, ww, wh);
    if (FILE* f = std::fopen(shot, "wb")) {
      std::fprintf(f, "P6\n%d %d\n255\n", ww, wh);
      std::fwrite(image, 3, static_cast<std::size_t>(ww) * static_cast<std::size_t>(wh), f);
      std::fclose(f);
    }
    delete[] image;
  }
  const Rect close = w->PixelRect(*w->Find(21));
  std::printf("button 21 %d %d\n", w->Frame().x + close.x + close.width / 2,
              w->Frame().y + close.y + close.height / 2);
  std::fflush(stdout);
  engine.Run(w, [&](const Event& e) {
    if (e.number == event::Accepted) {
      std::printf("accepted %d\n", e.control);
      std::fflush(stdout);
      if (e.control == 21) return 3;
    }
    return 0;
  });
  engine.Close(w);  // before its rows go out of scope: the list reads them until it is gone
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  auto backend = std::make_unique<FltkBackend>();
  FltkBackend* fltk = backend.get();
  Engine engine(std::move(backend));
  if (mode == "dialog" && argc > 3) return Dialog(fltk, argv[2], std::atoi(argv[3]));
  if (mode == "list") return List(engine);
  std::fprintf(stderr, "usage: fltk_demo dialog <buttons> <default> | list\n");
  return 2;
}
