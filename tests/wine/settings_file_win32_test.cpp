// Saving the settings file on Windows, where the rename that completes a save can be refused: a
// file is not replaced while another program holds it open without sharing deletion (a POSIX
// rename replaces it).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/settings_file.h"
#include "runtime/queue/queue.h"
#include "tests/app/settings_file_cases.h"

namespace vantrel::app {
namespace {

using testing::Item;
using testing::kParameters;
using testing::SettingsFile;
using testing::SettingsFileTest;
using testing::Shown;
using testing::Temporaries;

// A viewer has the file open to read it, sharing reading and writing but not deletion.
TEST_F(SettingsFileTest, SaveOverAFileHeldOpenElsewhereFailsAndLeavesItWhole) {
  const std::string original = SettingsFile({Item(kParameters, "Value", "3", "0", "1")});
  WriteFile("Vantrel.xml", original);
  MainData data;
  LoadSettingsFile(data);
  ASSERT_TRUE(Shown().empty());
  const HANDLE viewer = CreateFileA("Vantrel.xml", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);

  SaveSettingsFile(data);
  CloseHandle(viewer);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(
      Shown()[0].text.rfind("Error writing Vantrel.xml file,|Access Denied.|cannot write ", 0), 0u)
      << Shown()[0].text;
  EXPECT_EQ(ReadFile("Vantrel.xml"), original);
  EXPECT_TRUE(Temporaries().empty()) << "the temporary file was left";
  EXPECT_EQ(QueueRecords(&data.displayQueue), 1) << "the file is read again";

  Shown().clear();
  SaveSettingsFile(data);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Registry settings saved to Vantrel.xml file.");
}

}  // namespace
}  // namespace vantrel::app
