// The FLTK backend on a real X server: a private Xvfb display, the fltk_demo program, and
// xdotool as the user. Skipped (with the reason) when Xvfb or xdotool is not installed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

bool OnPath(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

class Display {
 public:
  Display() {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) {
      reason_ = "Xvfb or xdotool is not installed (make deps installs xvfb and xdotool)";
      return;
    }
    for (int n = 90 + getpid() % 100; n < 400; ++n) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      struct stat st;
      if (stat(socket.c_str(), &st) == 0 || stat(lock.c_str(), &st) == 0) continue;
      const std::string name = ":" + std::to_string(n);
      pid_ = fork();
      if (pid_ == 0) {
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100; ++i) {
        if (stat(socket.c_str(), &st) == 0) {
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
  ~Display() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Ok() const { return !name_.empty(); }
  const std::string& Reason() const { return reason_; }
  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string reason_;
};

Display* gDisplay = nullptr;

// One run of the demo program: read its report lines, act as the user in between.
class Demo {
 public:
  explicit Demo(const std::string& args) {
    const std::string command = "DISPLAY=" + gDisplay->Name() + " timeout 30 " +
                                VANTREL_FLTK_DEMO + " " + args + " 2>&1";
    pipe_ = popen(command.c_str(), "r");
  }
  ~Demo() {
    if (pipe_) pclose(pipe_);
  }
  // Reads lines until one starts with `word`; returns its fields after the word.
  std::vector<std::string> Until(const std::string& word) {
    char line[512];
    while (pipe_ && std::fgets(line, sizeof line, pipe_)) {
      std::istringstream in(line);
      std::string first;
      in >> first;
      std::vector<std::string> fields;
      for (std::string f; in >> f;) fields.push_back(f);
      if (first == "button" && fields.size() == 3) {
        buttons_[std::stoi(fields[0])] = {std::stoi(fields[1]), std::stoi(fields[2])};
      }
      if (first == word) return fields;
      seen_ += line;
    }
    ADD_FAILURE() << "no '" << word << "' from the demo; it said:\n" << seen_;
    return {};
  }
  void Click(int id) {
    ASSERT_TRUE(buttons_.count(id)) << "no button " << id;
    const auto [x, y] = buttons_[id];
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  // Keys go to the window under the pointer (there is no window manager).
  void Key(const std::string& key) {
    const auto [x, y] = buttons_.begin()->second;
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y - 30) + " key " + key);
  }
  static void Xdo(const std::string& what) {
    const std::string command = "DISPLAY=" + gDisplay->Name() + " xdotool " + what;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }

 private:
  FILE* pipe_ = nullptr;
  std::map<int, std::pair<int, int>> buttons_;
  std::string seen_;
};

class Gui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gDisplay = new Display(); }
  static void TearDownTestSuite() {
    delete gDisplay;
    gDisplay = nullptr;
  }
  void SetUp() override {
    if (!gDisplay->Ok()) GTEST_SKIP() << gDisplay->Reason();
  }
};

int ResultOf(Demo& demo) {
  const std::vector<std::string> r = demo.Until("result");
  return r.empty() ? -1 : std::stoi(r[0]);
}

TEST_F(Gui, YesNoQuestionAnsweredByEnterIsYes) {
  Demo demo("dialog 6 0");
  demo.Until("text");
  demo.Key("Return");  // the focus starts on "&Yes"
  EXPECT_EQ(ResultOf(demo), 2);
}

TEST_F(Gui, YesNoQuestionAnsweredByClickingNo) {
  Demo demo("dialog 6 0");
  demo.Until("text");
  demo.Click(7);
  EXPECT_EQ(ResultOf(demo), 4);
}

TEST_F(Gui, EscapeWithoutCancelIsIgnored) {
  Demo demo("dialog 6 0");
  demo.Until("text");
  demo.Key("Escape");
  demo.Click(6);
  EXPECT_EQ(ResultOf(demo), 2);
}

TEST_F(Gui, CaptionListEscapeAnswersWithCancelsPosition) {
  Demo demo("'dialog' 'Go|Cancel|Stop' 0");
  demo.Until("text");
  demo.Key("Escape");
  EXPECT_EQ(ResultOf(demo), 2);
}

TEST_F(Gui, OkAloneByEnterAndAbortRetryIgnoreByClick) {
  {
    Demo demo("dialog '' 0");
    demo.Until("text");
    demo.Key("Return");
    EXPECT_EQ(ResultOf(demo), 1);
  }
  {
    Demo demo("dialog 56 16");
    demo.Until("text");
    demo.Click(5);
    EXPECT_EQ(ResultOf(demo), 32);
  }
}

TEST_F(Gui, MainListDrawsStyleTwoRowsLightRedAndTheCloseButtonAnswers) {
  Demo demo("list");
  const std::vector<std::string> plain = demo.Until("pixel");
  const std::vector<std::string> marked = demo.Until("pixel");
  ASSERT_EQ(plain.size(), 2u);
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_EQ(plain[1], "FFFFFF");
  EXPECT_EQ(marked[1], "FFDDDD");
  demo.Until("button");
  demo.Click(21);
  const std::vector<std::string> accepted = demo.Until("accepted");
  ASSERT_EQ(accepted.size(), 1u);
  EXPECT_EQ(accepted[0], "21");
}

}  // namespace
