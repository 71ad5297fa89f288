// The desktop tests' screen: a private Xvfb display, and xdotool as the user on it. There is no
// window manager, so windows sit exactly where they ask to be and keys go to the window under
// the pointer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vantrel::gui_test {

class Xvfb {
 public:
  enum class Kind {
    // Kept as it is while the tests come and go.
    kShared,
    // As a display started for one program: the server resets whenever its last client leaves,
    // and it logs every connection, which ConnectionsOf reads.
    kResetsWhenIdle,
  };
  // Starts Xvfb on the first free display number; Ok() is false (and Reason() says why) when
  // Xvfb or xdotool is not installed or the server did not come up.
  explicit Xvfb(Kind kind = Kind::kShared);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool Ok() const { return !name_.empty(); }
  const std::string& Reason() const { return reason_; }
  const std::string& Name() const { return name_; }  // ":N"

  // How many connections process pid held after each of its connects and disconnects, in the
  // order the server logged them (kResetsWhenIdle only).
  std::vector<int> ConnectionsOf(int pid) const;

 private:
  int pid_ = -1;
  std::string name_;
  std::string reason_;
  std::string log_;  // the server's log, for kResetsWhenIdle
};

// A test suite on one private display, started for the suite and stopped after it; its tests
// are skipped (with the reason) when there is none.
class DesktopTest : public ::testing::Test {
 public:
  static const Xvfb& Screen() { return *screen_; }

 protected:
  static void SetUpTestSuite() { screen_ = new Xvfb(); }
  static void TearDownTestSuite() {
    delete screen_;
    screen_ = nullptr;
  }
  void SetUp() override {
    if (!screen_->Ok()) GTEST_SKIP() << screen_->Reason();
  }

 private:
  static inline Xvfb* screen_ = nullptr;
};

// Runs `xdotool <what>` on the display; returns its exit status and, in output, what it printed.
int Xdotool(const Xvfb& display, const std::string& what, std::string* output = nullptr);

// How many pixels of the screen rectangle have the colour 0xRRGGBB (-1 when the screen cannot
// be read).
int CountPixels(const Xvfb& display, int x, int y, int width, int height, unsigned rgb);

// The width of the icon a window gives the desktop (_NET_WM_ICON), 0 when it gives none.
int WindowIconWidth(const Xvfb& display, unsigned long window);

// The smallest size a window asks the desktop to keep it at (WM_NORMAL_HINTS), {0, 0} when it
// asks for none.
std::pair<int, int> WindowMinimumSize(const Xvfb& display, unsigned long window);

// Asks the window to close as a window manager does for its close button (WM_DELETE_WINDOW);
// false when the message could not be sent.
bool RequestClose(const Xvfb& display, unsigned long window);

}  // namespace vantrel::gui_test
