#include "xvfb.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

namespace vantrel::gui_test {
namespace {

bool OnPath(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

Xvfb::Xvfb(Kind kind) {
  if (!OnPath("Xvfb") || !OnPath("xdotool")) {
    reason_ = "Xvfb or xdotool is not installed (make deps installs xvfb and xdotool)";
    return;
  }
  if (kind == Kind::kResetsWhenIdle) {
    char pattern[] = "/tmp/vantrel-xvfb-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) {
      reason_ = "cannot make a file for the server's log";
      return;
    }
    close(fd);
    log_ = pattern;
  }
  for (int n = 90 + getpid() % 100; n < 400; ++n) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (Exists(socket) || Exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
    const std::string name = ":" + std::to_string(n);
    pid_ = fork();
    if (pid_ == 0) {
      if (log_.empty()) {
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
      } else {
        // Audit level 4 logs each client's connects (with its process id) and disconnects.
        const int fd = open(log_.c_str(), O_WRONLY | O_APPEND);
        if (fd >= 0) dup2(fd, 2);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-audit", "4", static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (Exists(socket)) {
        name_ = name;
        return;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;  // that number was taken after all: try the next
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  reason_ = "Xvfb did not start";
}

Xvfb::~Xvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!log_.empty()) unlink(log_.c_str());
}

std::vector<int> Xvfb::ConnectionsOf(int pid) const {
  // "AUDIT: <date>: <server pid>: client 3 connected from local host ( uid=0 gid=0 pid=1234 )"
  // and "... client 3 disconnected": client numbers are reused, so each is mapped to the process
  // that holds it at the time.
  std::vector<int> counts;
  std::map<int, int> holder;  // client number -> process id
  int held = 0;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find(": client ");
    if (line.rfind("AUDIT:", 0) != 0 || at == std::string::npos) continue;
    const int client = std::atoi(line.c_str() + at + 9);
    if (line.find(" connected from ") != std::string::npos) {
      const std::size_t p = line.find(" pid=");
      holder[client] = p == std::string::npos ? -1 : std::atoi(line.c_str() + p + 5);
      if (holder[client] == pid) counts.push_back(++held);
    } else if (line.find(" disconnected") != std::string::npos) {
      const auto found = holder.find(client);
      if (found != holder.end() && found->second == pid) counts.push_back(--held);
      if (found != holder.end()) holder.erase(found);
    }
  }
  return counts;
}

int Xdotool(const Xvfb& display, const std::string& what, std::string* output) {
  const std::string command = "DISPLAY=" + display.Name() + " xdotool " + what + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int CountPixels(const Xvfb& display, int x, int y, int width, int height, unsigned rgb) {
  ::Display* screen = XOpenDisplay(display.Name().c_str());
  if (!screen) return -1;
  XImage* image =
      XGetImage(screen, DefaultRootWindow(screen), x, y, width, height, AllPlanes, ZPixmap);
  int count = -1;
  if (image) {
    count = 0;
    for (int py = 0; py < height; ++py) {
      for (int px = 0; px < width; ++px) {
        if ((XGetPixel(image, px, py) & 0xFFFFFF) == rgb) ++count;
      }
    }
    XDestroyImage(image);
  }
  XCloseDisplay(screen);
  return count;
}

int WindowIconWidth(const Xvfb& display, unsigned long window) {
  ::Display* screen = XOpenDisplay(display.Name().c_str());
  if (!screen) return 0;
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, left = 0;
  unsigned char* data = nullptr;
  int width = 0;
  const Atom icon = XInternAtom(screen, "_NET_WM_ICON", False);
  if (XGetWindowProperty(screen, window, icon, 0, 2, False, XA_CARDINAL, &type, &format, &items,
                         &left, &data) == Success &&
      data && format == 32 && items == 2) {
    width = static_cast<int>(reinterpret_cast<unsigned long*>(data)[0]);
  }
  if (data) XFree(data);
  XCloseDisplay(screen);
  return width;
}

std::pair<int, int> WindowMinimumSize(const Xvfb& display, unsigned long window) {
  ::Display* screen = XOpenDisplay(display.Name().c_str());
  if (!screen) return {0, 0};
  XSizeHints hints{};
  long supplied = 0;
  std::pair<int, int> size{0, 0};
  if (XGetWMNormalHints(screen, window, &hints, &supplied) && (hints.flags & PMinSize)) {
    size = {hints.min_width, hints.min_height};
  }
  XCloseDisplay(screen);
  return size;
}

bool RequestClose(const Xvfb& display, unsigned long window) {
  ::Display* screen = XOpenDisplay(display.Name().c_str());
  if (!screen) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(screen, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(screen, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(screen, window, False, NoEventMask, &event) != 0;
  XCloseDisplay(screen);
  return sent;
}

}  // namespace vantrel::gui_test
