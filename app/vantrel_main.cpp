// The vantrel executable: the window on the desktop.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/parse_progress.h"
#include "app/program.h"
#include "runtime/system/os_version.h"
#include "ui/desktop.h"
#include "ui/engine.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  // Past a file size limit a write fails and is reported; the signal would end the window.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  if (argc > 1 && std::string(argv[1]) == "--version") {
    std::printf("vantrel %s\n", VANTREL_VERSION);
    return 0;
  }
  std::string why;
  const bool available = vantrel::ui::DesktopAvailable(&why);
  // Scripts ask whether the window could open without opening it.
  if (argc > 1 && std::string(argv[1]) == "--probe-display") return available ? 0 : 2;
  if (!available) {
    std::fprintf(stderr,
                 "vantrel: cannot open a display (%s); 'vantrelctl list' shows the same rows "
                 "without a window.\n",
                 why.c_str());
    return 2;
  }
  vantrel::ui::Engine engine(vantrel::ui::MakeDesktopBackend());
  engine.SetSystemReader(vantrel::ui::prop::WindowsVersion,
                         [] { return vantrel::WindowsVersion(); });
  vantrel::app::ParseProgress progress(engine);
  vantrel::app::ProgramBody();
  return 0;
}
