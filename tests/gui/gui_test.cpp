// The FLTK backend on a real X server: a private Xvfb display, the fltk_demo program, and
// xdotool as the user. Skipped (with the reason) when Xvfb or xdotool is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "xvfb.h"

namespace {

using vantrel::gui_test::DesktopTest;

const vantrel::gui_test::Xvfb& Screen() { return DesktopTest::Screen(); }

// One run of the demo program: read its report lines, act as the user in between.
class Demo {
 public:
  explicit Demo(const std::string& args) {
    const std::string command =
        "DISPLAY=" + Screen().Name() + " timeout 30 " + VANTREL_FLTK_DEMO + " " + args + " 2>&1";
    pipe_ = popen(command.c_str(), "r");
  }
  // The demo must end by itself with status 0 (a crash on the way out shows here).
  ~Demo() {
    if (!pipe_) return;
    char line[512];
    while (std::fgets(line, sizeof line, pipe_)) seen_ += line;
    const int status = pclose(pipe_);
    // It runs under timeout(1), which passes a signal on as 128 + its number.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the demo ended with status " << (WIFEXITED(status) ? WEXITSTATUS(status) : status)
        << "; it said:\n"
        << seen_;
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
    std::string said;
    ASSERT_EQ(vantrel::gui_test::Xdotool(Screen(), what, &said), 0) << what << ": " << said;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }

 private:
  FILE* pipe_ = nullptr;
  std::map<int, std::pair<int, int>> buttons_;
  std::string seen_;
};

class Gui : public DesktopTest {};

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
