// A fixture for the application's routines: a fresh current folder (the settings file is opened
// by its bare name), a registry without the keys the tests write, and every message the routines
// show recorded and answered from a script instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_data.h"
#include "app/program.h"
#include "runtime/dialog/message_dialog.h"
#include "runtime/system/registry.h"
#include "tests/support/scratch_folder.h"

namespace vantrel::app::testing {

struct ShownMessage {
  std::string text;
  std::string caption;
  std::string icon;
  std::string buttons;
  int defaultButton = 0;
};

inline std::vector<ShownMessage>& Shown() {
  static std::vector<ShownMessage> shown;
  return shown;
}
inline std::deque<int>& Answers() {
  static std::deque<int> answers;
  return answers;
}

inline int RecordMessage(std::string_view text, std::string_view caption, std::string_view icon,
                         std::string_view buttons, int defaultButton, int) {
  Shown().push_back({std::string(text), std::string(caption), std::string(icon),
                     std::string(buttons), defaultButton});
  if (Answers().empty()) return 1;
  const int answer = Answers().front();
  Answers().pop_front();
  return answer;
}

class AppFixture : public ::testing::Test {
 protected:
  // Messages go to the recorder unless a test shows them on a (headless) screen.
  explicit AppFixture(bool recordMessages = true) : recordMessages_(recordMessages) {}

  void SetUp() override {
    namespace fs = std::filesystem;
    root_ = vantrel::test::MakeScratchFolder("vantrel-app-");
    previous_ = fs::current_path();
    fs::create_directories(root_ / "work");
    fs::current_path(root_ / "work");
#ifndef _WIN32
    // A store of the test's own, never the user's. A folder named by VANTREL_REGISTRY must
    // exist, as a Wine prefix does.
    fs::create_directories(root_ / "registry");
    setenv("VANTREL_REGISTRY", (root_ / "registry").c_str(), 1);
#endif
    // On Windows the registry is the system's own (a Wine prefix for the whole test program), so
    // every test starts from, and leaves, a registry without the keys these tests write.
    RemoveTestKeys();
    Shown().clear();
    Answers().clear();
    if (recordMessages_) SetMessageHook(&RecordMessage);
  }
  void TearDown() override {
    RemoveTestKeys();
    SetMessageHook(nullptr);
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(root_);
  }

  // The key under which the tests keep their values, and the program's own settings key (the
  // window placement).
  static void RemoveTestKeys() {
    RegistryDelete(kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Test", "");
    RegistryDelete(kHkeyCurrentUser, kSettingsKeyPath, "");
    SetRegistryError(0);
  }

  static void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool recordMessages_;
  std::filesystem::path root_;
  std::filesystem::path previous_;
};

}  // namespace vantrel::app::testing
