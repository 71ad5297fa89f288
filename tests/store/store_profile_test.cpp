// Profile (INI) files with Windows' rules, and nothing else in the file changed by a write.
#include <gtest/gtest.h>

#include <string>

#include "runtime/seam/win32_seam.h"
#include "tests/store/store_test_support.h"

using namespace vantrel::seam;
using namespace vantrel::store::testing;

namespace {

std::string Get(const char* section, const char* key, const char* def, const std::string& file,
                DWORD size = 256) {
  char buf[256];
  DWORD n = GetPrivateProfileStringA(section, key, def, buf, size, file.c_str());
  return std::string(buf, n);
}

class StoreProfiles : public ::testing::Test {
 protected:
  ScratchStore store;
};

TEST_F(StoreProfiles, ReadsWithWindowsRules) {
  std::string file = store.File("app.ini");
  WriteFile(file,
            "; comment\r\n[Main]\r\n  XPos = 12 \r\nQuoted=\"  padded  \"\r\nEmpty=\r\nNoEquals\r\n"
            "[Other]\r\nXPos=99\r\n");
  struct Case {
    const char* section;
    const char* key;
    const char* def;
    std::string expected;
  } cases[] = {
      {"main", "xpos", "d", "12"},            // sections and entries ignore case; blanks trimmed
      {"Main", "Quoted", "d", "  padded  "},  // one pair of quotes removed
      {"Main", "Empty", "d", ""},
      {"Main", "Missing", "default  ", "default"},  // trailing blanks of the default dropped
      {"Missing", "XPos", nullptr, ""},
      {"Other", "XPos", "d", "99"},
  };
  for (const auto& c : cases) EXPECT_EQ(Get(c.section, c.key, c.def, file), c.expected) << c.key;
  EXPECT_EQ(Get("Main", "XPos", "d", file + ".missing"), "d");
  EXPECT_EQ(Get("Main", "Quoted", "d", file, 5), "  pa");  // cut to the buffer
  EXPECT_EQ(Get(nullptr, nullptr, "", file), std::string("Main\0Other\0", 11));
  EXPECT_EQ(Get("Other", nullptr, "", file), std::string("XPos\0", 5));
}

TEST_F(StoreProfiles, WritesChangeOnlyTheirLines) {
  std::string file = store.File("app.ini");
  WriteFile(file, "; keep me\n[Main]\nXPos=1\n; inner comment\nYPos = 2\n\n[Tail]\nA=1\n");
  ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "ypos", "20", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Main", "Width", "300", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Tail", "A", nullptr, file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("New", "B", "x y", file.c_str()));
  EXPECT_EQ(
      ReadFile(file),
      "; keep me\n[Main]\nXPos=1\n; inner comment\nYPos=20\nWidth=300\n\n[Tail]\n[New]\nB=x y\n");
  ASSERT_TRUE(WritePrivateProfileStringA("main", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(ReadFile(file), "; keep me\n[Tail]\n[New]\nB=x y\n");
  EXPECT_EQ(Get("New", "b", "", file), "x y");
}

TEST_F(StoreProfiles, BareNamesAndTheSystemProfileLiveInTheStore) {
  ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "v", "bare.ini"));
  EXPECT_EQ(ReadFile(store.File("bare.ini")), "[S]\r\nK=v\r\n");
  ASSERT_TRUE(WriteProfileStringA("Windows", "Beep", "yes"));
  char buf[16];
  EXPECT_EQ(GetProfileStringA("windows", "BEEP", "", buf, sizeof buf), 3u);
  EXPECT_EQ(std::string(buf), "yes");
  EXPECT_EQ(ReadFile(store.File("win.ini")), "[Windows]\r\nBeep=yes\r\n");
  // In a Wine prefix the Windows folder is drive_c/windows.
  Shell("mkdir -p '" + store.Dir() + "/drive_c/windows'");
  ASSERT_TRUE(WriteProfileStringA("Windows", "Beep", "no"));
  EXPECT_EQ(ReadFile(store.Dir() + "/drive_c/windows/win.ini"), "[Windows]\r\nBeep=no\r\n");
}

}  // namespace
