// The real vantrel program on a private X display, end to end: it starts in a folder of its own
// with a settings file and a registry store, xdotool presses its buttons and answers its
// question, vantrelctl reads what it wrote, and the screen's pixels show the marked rows.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using vantrel::gui_test::Xdotool;
using vantrel::gui_test::DesktopTest;

const vantrel::gui_test::Xvfb& Screen() { return DesktopTest::Screen(); }

constexpr const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation\\Parameters";
constexpr unsigned kLightRed = 0xFFDDDD;

// The window's size and its controls in dialog units, as the main window describes them.
constexpr int kWindowUnitsX = 480;
constexpr int kWindowUnitsY = 230;
struct Units {
  int x, y, width, height;
};
constexpr Units kList{9, 24, 460, 160};
constexpr Units kDisableButton{145, 188, 64, 14};
constexpr Units kCloseButton{430, 212, 44, 14};

template <typename Predicate>
bool WaitFor(Predicate done, int milliseconds = 10000) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::string Output(const std::string& command) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  std::string text;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
  if (pipe) pclose(pipe);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// A top-level window found by its exact caption, with its place on the screen.
struct Placed {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;

  // The centre of a control given in dialog units, in screen pixels. The window's pixel size
  // is its size in dialog units scaled by the font, so the scale follows from it.
  std::pair<int, int> Centre(const Units& u) const {
    return {x + (2 * u.x + u.width) * width / (2 * kWindowUnitsX),
            y + (2 * u.y + u.height) * height / (2 * kWindowUnitsY)};
  }
  Units Pixels(const Units& u) const {
    return {x + u.x * width / kWindowUnitsX, y + u.y * height / kWindowUnitsY,
            u.width * width / kWindowUnitsX, u.height * height / kWindowUnitsY};
  }
};

bool FindWindow(const std::string& caption, Placed* found) {
  std::string ids;
  if (Xdotool(Screen(), "search --onlyvisible --name '^" + caption + "$'", &ids) != 0) return false;
  std::istringstream in(ids);
  if (!(in >> found->id)) return false;
  std::string shell;
  if (Xdotool(Screen(), "getwindowgeometry --shell " + found->id, &shell) != 0) return false;
  std::map<std::string, int> values;
  std::istringstream lines(shell);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  }
  found->x = values["X"];
  found->y = values["Y"];
  found->width = values["WIDTH"];
  found->height = values["HEIGHT"];
  return found->width > 0;
}

// Moves the pointer there (keys go to the window under it), and clicks when asked to.
void PointAt(std::pair<int, int> at, bool click = true) {
  std::string said;
  const std::string move = "mousemove " + std::to_string(at.first) + " " + std::to_string(at.second);
  ASSERT_EQ(Xdotool(Screen(), move + (click ? " click 1" : ""), &said), 0) << said;
}

// How many pixels of the screen area are light red, the background of a marked row.
int LightRedPixels(const Units& area) {
  return vantrel::gui_test::CountPixels(Screen(), area.x, area.y, area.width, area.height, kLightRed);
}

class VantrelWindow : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    char pattern[] = "/tmp/vantrel-gui-XXXXXX";
    folder_ = mkdtemp(pattern);
    fs::create_directory(folder_ / "registry");  // a named store folder must exist
  }
  void TearDown() override {
    Stop();
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  std::string Ctl(const std::string& args) const {
    return Output("VANTREL_REGISTRY='" + (folder_ / "registry").string() + "' '" VANTRELCTL "' " + args);
  }
  void WriteSettings(const std::string& text) const {
    std::ofstream(folder_ / "Vantrel.xml", std::ios::binary) << text;
  }

  void Start() {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder_.c_str()) != 0) _exit(126);
      setenv("DISPLAY", Screen().Name().c_str(), 1);
      setenv("VANTREL_REGISTRY", (folder_ / "registry").c_str(), 1);
      execl(VANTREL_PROGRAM, VANTREL_PROGRAM, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Waits for the program to end by itself; false when it is still running after the wait.
  bool Ended() {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
    if (ended) pid_ = -1;
    return ended;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  fs::path folder_;
  pid_t pid_ = -1;
};

TEST_F(VantrelWindow, ShowsItsIconDisableAnsweredNoThenYesAndThePlacementIsKept) {
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kParameters;
  ASSERT_EQ(Ctl("reg set '" + key + "' UseOpportunisticLocking 1 --type REG_DWORD"), "");
  ASSERT_EQ(Ctl("reg set '" + key + "' UtilizeNtCaching 0 --type REG_DWORD"), "");
  auto item = [](const std::string& value, const std::string& disable, const std::string& enable) {
    return std::string("<RegistryItem><KeyName>") + kParameters + "</KeyName><ValueName>" + value +
           "</ValueName><SavedValue>N/A</SavedValue><DisableValue>" + disable +
           "</DisableValue><EnableValue>" + enable + "</EnableValue></RegistryItem>";
  };
  WriteSettings("<?xml version=\"1.0\"?>\r\n<RegistryItems>" + item("UseOpportunisticLocking", "0", "1") +
                item("UtilizeNtCaching", "0", "1") + item("FileInfoCacheLifetime", "0", "N/A") +
                "</RegistryItems>\r\n");

  Start();
  Placed window;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &window); }))
      << "the window did not appear";
  EXPECT_GT(vantrel::gui_test::WindowIconWidth(Screen(), std::stoul(window.id)), 0)
      << "the window carries the program's icon";
  // Two rows differ from their disable value (1 and a missing value): they are light red.
  const Units list = window.Pixels(kList);
  EXPECT_TRUE(WaitFor([&] { return LightRedPixels(list) > 0; })) << "no marked row drawn";

  // The window opens with the focus on "Disable Vantrel": Enter presses it. The question's focus
  // starts on "&Yes"; Tab moves it to "&No", and No changes nothing.
  PointAt({window.x + 4, window.y + 4}, false);
  ASSERT_EQ(Xdotool(Screen(), "key Return"), 0);
  Placed question;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel", &question); })) << "no question asked";
  PointAt({question.x + 2, question.y + 2}, false);
  ASSERT_EQ(Xdotool(Screen(), "key Tab Return"), 0);
  ASSERT_TRUE(WaitFor([&] { return !FindWindow("Vantrel", &question); })) << "No did not answer";
  EXPECT_EQ(Ctl("reg get '" + key + "' UseOpportunisticLocking"), "1");
  EXPECT_GT(LightRedPixels(list), 0);

  // Clicked, and Enter answers Yes.
  PointAt(window.Centre(kDisableButton));
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel", &question); })) << "no question asked";
  PointAt({question.x + 2, question.y + 2}, false);
  ASSERT_EQ(Xdotool(Screen(), "key Return"), 0);

  EXPECT_TRUE(WaitFor([&] { return Ctl("reg get '" + key + "' FileInfoCacheLifetime") == "0"; }));
  EXPECT_EQ(Ctl("reg get '" + key + "' UseOpportunisticLocking --type"), "4\t0");
  EXPECT_EQ(Ctl("reg get '" + key + "' UtilizeNtCaching"), "0");
  EXPECT_TRUE(WaitFor([&] { return LightRedPixels(list) == 0; }))
      << "rows still marked after disabling: " << LightRedPixels(list) << " light red pixels";

  // Moved, then closed with its Close button: the next start puts it back there.
  ASSERT_EQ(Xdotool(Screen(), "windowmove " + window.id + " 97 83"), 0);
  Placed moved;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &moved) && moved.x == 97; }));
  PointAt(moved.Centre(kCloseButton));
  ASSERT_TRUE(Ended()) << "the Close button did not end the program";
  EXPECT_NE(Ctl("reg get 'HKEY_CURRENT_USER\\Software\\Brenlo\\Vantrel\\Main' XPos"), "");

  Start();
  Placed again;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &again); }));
  EXPECT_NEAR(again.x, 97, 2);
  EXPECT_NEAR(again.y, 83, 2);
  EXPECT_NEAR(again.width, window.width, 2);
  EXPECT_NEAR(again.height, window.height, 2);
  EXPECT_EQ(LightRedPixels(again.Pixels(kList)), 0);
  PointAt(again.Centre(kCloseButton));
  EXPECT_TRUE(Ended());
}

// The user makes the window larger: the list grows into the new room (its white background
// fills it), the buttons keep their place against the bottom edge (Disable Vantrel answers where
// it now stands) and Close its place against the bottom-right corner (pressing it there ends the
// program). The window asks the desktop to keep it at least at the size it opens with.
TEST_F(VantrelWindow, ControlsFollowTheWindowsSize) {
  WriteSettings(std::string("<?xml version=\"1.0\"?>\r\n<RegistryItems><RegistryItem><KeyName>") +
                kParameters + "</KeyName><ValueName>UseOpportunisticLocking</ValueName>"
                "<SavedValue>N/A</SavedValue><DisableValue>0</DisableValue><EnableValue>1</EnableValue>"
                "</RegistryItem></RegistryItems>\r\n");
  Start();
  Placed opened;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &opened); }))
      << "the window did not appear";
  EXPECT_EQ(vantrel::gui_test::WindowMinimumSize(Screen(), std::stoul(opened.id)),
            std::make_pair(opened.width, opened.height))
      << "the window does not ask to be kept at its described size";

  constexpr int dx = 240, dy = 150;
  ASSERT_EQ(Xdotool(Screen(), "windowsize " + opened.id + " " + std::to_string(opened.width + dx) + " " +
                                  std::to_string(opened.height + dy)),
            0);
  Placed grown;
  ASSERT_TRUE(WaitFor([&] {
    return FindWindow("Vantrel registry settings", &grown) && grown.width == opened.width + dx &&
           grown.height == opened.height + dy;
  })) << "the window did not take its new size";
  // The list's new room, right of and below where its edges were, shows nothing but the list's
  // background: clear of its frame, of its one row, and (below) of the lines between columns,
  // the first of which stands halfway across the list.
  const Units list = opened.Pixels(kList);
  const Units right{list.x + list.width + 6, list.y + list.height / 2, dx - 16, list.height / 2 + dy - 8};
  const Units below{list.x + 8, list.y + list.height + 6, list.width / 3, dy - 16};
  for (const Units& room : {right, below}) {
    EXPECT_TRUE(WaitFor([&] {
      return vantrel::gui_test::CountPixels(Screen(), room.x, room.y, room.width, room.height, 0xFFFFFF) ==
             room.width * room.height;
    })) << "the list did not grow into " << room.x << "," << room.y << " " << room.width << "x"
        << room.height;
  }

  // Disable Vantrel, moved down with the bottom edge, asks its question; No answers it.
  const auto [disableX, disableY] = opened.Centre(kDisableButton);
  PointAt({disableX, disableY + dy});
  Placed question;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel", &question); }))
      << "no question: Disable Vantrel is not at the bottom edge";
  PointAt({question.x + 2, question.y + 2}, false);
  ASSERT_EQ(Xdotool(Screen(), "key Tab Return"), 0);
  ASSERT_TRUE(WaitFor([&] { return !FindWindow("Vantrel", &question); })) << "No did not answer";

  const auto [closeX, closeY] = opened.Centre(kCloseButton);
  PointAt({closeX + dx, closeY + dy});
  ASSERT_TRUE(Ended()) << "Close is not in the bottom-right corner";
}

}  // namespace
