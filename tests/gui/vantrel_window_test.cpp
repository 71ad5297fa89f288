// The real vantrel program on a private X display, end to end: it starts in a folder of its own
// with a settings file and a registry store, xdotool presses its buttons and answers its
// question, vantrelctl reads what it wrote, and the screen's pixels show the marked rows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using vantrel::gui_test::DesktopTest;
using vantrel::gui_test::Xdotool;

const vantrel::gui_test::Xvfb& Screen() { return DesktopTest::Screen(); }

constexpr const char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation\\Parameters";
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

// Generous, as a loaded machine and the AddressSanitizer build start the program slowly; a wait
// that succeeds ends as soon as it does.
template <typename Predicate>
bool WaitFor(Predicate done, int milliseconds = 30000) {
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

bool FindWindow(const std::string& caption, Placed* found,
                const vantrel::gui_test::Xvfb& display = Screen()) {
  std::string ids;
  if (Xdotool(display, "search --onlyvisible --name '^" + caption + "$'", &ids) != 0) return false;
  std::istringstream in(ids);
  if (!(in >> found->id)) return false;
  std::string shell;
  if (Xdotool(display, "getwindowgeometry --shell " + found->id, &shell) != 0) return false;
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
void PointAt(std::pair<int, int> at, bool click = true,
             const vantrel::gui_test::Xvfb& display = Screen()) {
  std::string said;
  const std::string move =
      "mousemove " + std::to_string(at.first) + " " + std::to_string(at.second);
  ASSERT_EQ(Xdotool(display, move + (click ? " click 1" : ""), &said), 0) << said;
}

// How many pixels of the screen area are light red, the background of a marked row.
int LightRedPixels(const Units& area) {
  return vantrel::gui_test::CountPixels(Screen(), area.x, area.y, area.width, area.height,
                                        kLightRed);
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
    return Output("VANTREL_REGISTRY='" + (folder_ / "registry").string() + "' '" VANTRELCTL "' " +
                  args);
  }
  static std::string Item(const std::string& value, const std::string& disable,
                          const std::string& enable) {
    return std::string("<RegistryItem><KeyName>") + kParameters + "</KeyName><ValueName>" + value +
           "</ValueName><SavedValue>N/A</SavedValue><DisableValue>" + disable +
           "</DisableValue><EnableValue>" + enable + "</EnableValue></RegistryItem>";
  }
  void WriteSettings(const std::vector<std::string>& items) const {
    std::string text = "<?xml version=\"1.0\"?>\r\n<RegistryItems>";
    for (const std::string& item : items) text += item;
    std::ofstream(folder_ / "Vantrel.xml", std::ios::binary) << text << "</RegistryItems>\r\n";
  }

  // Starts the program in its folder on the display, its errors going to a file there.
  void Start(const vantrel::gui_test::Xvfb& display = Screen()) {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder_.c_str()) != 0) _exit(126);
      const int errors = open("errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (errors >= 0) dup2(errors, 2);
      setenv("DISPLAY", display.Name().c_str(), 1);
      setenv("VANTREL_REGISTRY", (folder_ / "registry").c_str(), 1);
      execl(VANTREL_PROGRAM, VANTREL_PROGRAM, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Waits for the program to end by itself: it must exit with status 0. A failure says how it
  // ended instead, with what it wrote to its standard error.
  ::testing::AssertionResult EndsCleanly() {
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) {
      return ::testing::AssertionFailure() << "the program is still running";
    }
    pid_ = -1;
    std::ifstream in(folder_ / "errors.txt");
    const std::string errors((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    if (WIFSIGNALED(status)) {
      return ::testing::AssertionFailure() << "the program was ended by signal " << WTERMSIG(status)
                                           << " (" << strsignal(WTERMSIG(status)) << ")\n"
                                           << errors;
    }
    if (WEXITSTATUS(status) != 0) {
      return ::testing::AssertionFailure()
             << "the program exited with status " << WEXITSTATUS(status) << "\n"
             << errors;
    }
    return ::testing::AssertionSuccess();
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  std::string SavedPlacement() const {
    return Ctl("reg get 'HKEY_CURRENT_USER\\Software\\Brenlo\\Vantrel\\Main' XPos");
  }

  fs::path folder_;
  pid_t pid_ = -1;
};

TEST_F(VantrelWindow, ShowsItsIconDisableAnsweredNoThenYesAndThePlacementIsKept) {
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kParameters;
  ASSERT_EQ(Ctl("reg set '" + key + "' UseOpportunisticLocking 1 --type REG_DWORD"), "");
  ASSERT_EQ(Ctl("reg set '" + key + "' UtilizeNtCaching 0 --type REG_DWORD"), "");
  WriteSettings({Item("UseOpportunisticLocking", "0", "1"), Item("UtilizeNtCaching", "0", "1"),
                 Item("FileInfoCacheLifetime", "0", "N/A")});

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
  ASSERT_TRUE(
      WaitFor([&] { return FindWindow("Vantrel registry settings", &moved) && moved.x == 97; }));
  PointAt(moved.Centre(kCloseButton));
  ASSERT_TRUE(EndsCleanly()) << "after the Close button";
  EXPECT_NE(SavedPlacement(), "");

  Start();
  Placed again;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &again); }));
  EXPECT_NEAR(again.x, 97, 2);
  EXPECT_NEAR(again.y, 83, 2);
  EXPECT_NEAR(again.width, window.width, 2);
  EXPECT_NEAR(again.height, window.height, 2);
  EXPECT_EQ(LightRedPixels(again.Pixels(kList)), 0);
  PointAt(again.Centre(kCloseButton));
  EXPECT_TRUE(EndsCleanly()) << "after the Close button";
}

// However the window goes away (its Close button, the window manager's close, or another
// program destroying it) the program ends with status 0, having saved where the window was.
TEST_F(VantrelWindow, EndsCleanlyAndSavesThePlacementHoweverTheWindowCloses) {
  WriteSettings({Item("UseOpportunisticLocking", "0", "1")});
  struct Case {
    const char* how;
    std::function<void(const Placed&)> close;
  };
  const Case cases[] = {
      {"its Close button", [](const Placed& w) { PointAt(w.Centre(kCloseButton)); }},
      {"the window manager's close",
       [](const Placed& w) {
         ASSERT_TRUE(vantrel::gui_test::RequestClose(Screen(), std::stoul(w.id)));
       }},
      {"xdotool windowclose",
       [](const Placed& w) { ASSERT_EQ(Xdotool(Screen(), "windowclose " + w.id), 0); }},
  };
  int step = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    const std::string before = SavedPlacement();
    Start();
    Placed window;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &window); }));
    // Somewhere else each time, so that each run's save shows.
    const int x = 40 + 30 * ++step;
    ASSERT_EQ(Xdotool(Screen(), "windowmove " + window.id + " " + std::to_string(x) + " 60"), 0);
    ASSERT_TRUE(
        WaitFor([&] { return FindWindow("Vantrel registry settings", &window) && window.x == x; }));
    c.close(window);
    ASSERT_TRUE(EndsCleanly());
    const std::string after = SavedPlacement();
    EXPECT_NE(after, "");
    EXPECT_NE(after, before) << "the placement was not saved";
  }
}

// On a display where the program is the only client, the server resets as soon as the program
// holds no connection, and refuses connections for a moment. The program keeps a connection
// from its first look at the display to its end.
TEST_F(VantrelWindow, NeverLeavesTheDisplayWithoutAConnectionWhileItRuns) {
  WriteSettings({Item("UseOpportunisticLocking", "0", "1")});
  vantrel::gui_test::Xvfb fresh(vantrel::gui_test::Xvfb::Kind::kResetsWhenIdle);
  ASSERT_TRUE(fresh.Ok()) << fresh.Reason();
  Start(fresh);
  const int pid = pid_;
  // The test's own look for the window waits until the program is connected: that client
  // leaving would reset the server under the program's start as well.
  ASSERT_TRUE(WaitFor([&] { return !fresh.ConnectionsOf(pid).empty(); }))
      << "the program did not connect: " << EndsCleanly().message();
  Placed window;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &window, fresh); }))
      << "the window did not appear: " << EndsCleanly().message();
  PointAt(window.Centre(kCloseButton), true, fresh);
  ASSERT_TRUE(EndsCleanly());
  // The server logs the last disconnect a moment after the program has gone.
  std::vector<int> held;
  EXPECT_TRUE(WaitFor([&] {
    held = fresh.ConnectionsOf(pid);
    return !held.empty() && held.back() == 0;
  })) << "the server did not log the program's connections";
  for (std::size_t i = 0; i + 1 < held.size(); ++i) {
    EXPECT_GT(held[i], 0) << "the program held no connection after its connection event " << i + 1
                          << " of " << held.size();
  }
}

// The user makes the window larger: the list grows into the new room (its white background
// fills it), the buttons keep their place against the bottom edge (Disable Vantrel answers where
// it now stands) and Close its place against the bottom-right corner (pressing it there ends the
// program). The window asks the desktop to keep it at least at the size it opens with.
TEST_F(VantrelWindow, ControlsFollowTheWindowsSize) {
  WriteSettings({Item("UseOpportunisticLocking", "0", "1")});
  Start();
  Placed opened;
  ASSERT_TRUE(WaitFor([&] { return FindWindow("Vantrel registry settings", &opened); }))
      << "the window did not appear";
  EXPECT_EQ(vantrel::gui_test::WindowMinimumSize(Screen(), std::stoul(opened.id)),
            std::make_pair(opened.width, opened.height))
      << "the window does not ask to be kept at its described size";

  constexpr int dx = 240, dy = 150;
  ASSERT_EQ(Xdotool(Screen(), "windowsize " + opened.id + " " + std::to_string(opened.width + dx) +
                                  " " + std::to_string(opened.height + dy)),
            0);
  Placed grown;
  ASSERT_TRUE(WaitFor([&] {
    return FindWindow("Vantrel registry settings", &grown) && grown.width == opened.width + dx &&
           grown.height == opened.height + dy;
  })) << "the window did not take its new size";
  // The list's new room, right of and below where its edges were, shows the list's background:
  // clear of its frame and of its one row. Below, the first line between columns stands more
  // than halfway across the list; on the right the columns have taken the room, so the lines
  // between them (one pixel wide, at most one for each of the six) cross it.
  const Units list = opened.Pixels(kList);
  const Units right{list.x + list.width + 6, list.y + list.height / 2, dx - 16,
                    list.height / 2 + dy - 8};
  const Units below{list.x + 8, list.y + list.height + 6, list.width / 3, dy - 16};
  const auto white = [&](const Units& room) {
    return vantrel::gui_test::CountPixels(Screen(), room.x, room.y, room.width, room.height,
                                          0xFFFFFF);
  };
  EXPECT_TRUE(WaitFor([&] { return white(below) == below.width * below.height; }))
      << "the list did not grow into " << below.x << "," << below.y << " " << below.width << "x"
      << below.height;
  EXPECT_TRUE(WaitFor([&] {
    const int background = white(right);
    return background < right.width * right.height &&
           background >= right.width * right.height - 6 * right.height;
  })) << "the columns did not share the room at "
      << right.x << "," << right.y << " " << right.width << "x" << right.height << ": "
      << white(right) << " of " << right.width * right.height << " pixels are background";

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
  ASSERT_TRUE(EndsCleanly()) << "Close is not in the bottom-right corner";
}

}  // namespace
