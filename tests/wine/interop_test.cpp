// vantrelctl and the real Wine on one prefix, both ways: what one writes the other reads with the
// same type and data. run_in_prefix.sh gives the program a fresh, saved prefix (WINEPREFIX) with
// no wineserver running; VANTRELCTL and WINE64 name the two programs.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/bounded_command.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

using Result = vantrel::test::CommandResult;

// Each call into Wine (or vantrelctl) has a minute and a half: a hang fails the test quickly and
// says which call hung.
constexpr int kCallSeconds = 90;

// Runs the program and collects its standard output (and its errors too when asked).
Result RunProgram(const std::vector<std::string>& argv, bool withErrors = false) {
  std::string command;
  for (const std::string& a : argv) command += vantrel::test::ShellQuote(a) + " ";
  command += withErrors ? "2>&1" : "2>/dev/null";
  return vantrel::test::RunBounded(command, kCallSeconds);
}

Result Ctl(std::vector<std::string> args, bool withErrors = false) {
  args.insert(args.begin(), Env("VANTRELCTL"));
  return RunProgram(args, withErrors);
}

// Wine takes command-line text as UTF-8 only under a UTF-8 locale.
Result Wine(std::vector<std::string> args) {
  args.insert(args.begin(), {"env", "LC_ALL=C.UTF-8", Env("WINE64")});
  return RunProgram(args);
}

// Waits until the prefix's wineserver has saved the registry and ended: the store reads the files
// and refuses to write while a wineserver could overwrite them.
std::string WineServer() {
  const std::string wine = Env("WINE64");
  return wine.substr(0, wine.rfind('/') + 1) + "wineserver";
}

void SettleWine() { RunProgram({WineServer(), "-w"}); }

// The data column of `reg query` for one value: "    Name    REG_TYPE    data".
std::string QueryLine(const std::string& output, const std::string& name) {
  std::istringstream lines(output);
  std::string line;
  const std::string prefix = "    " + name + "    ";
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return "(no line for " + name + ")";
}

// `reg export` writes UTF-16LE; UTF-8 makes the expectations readable.
std::string Utf16FileAsUtf8(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                            << 8;
    if (c == 0xFEFF || c == '\r') continue;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class WineInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("WINEPREFIX").empty());
    ASSERT_FALSE(Env("VANTRELCTL").empty());
    ASSERT_FALSE(Env("WINE64").empty());
    unsetenv("VANTREL_REGISTRY");  // the prefix is the store
  }
};

// The bound itself: a call that hangs is stopped at its limit and the failure names it.
TEST(WineCalls, AHungCallIsStoppedAtItsLimitAndNamed) {
  static Result result;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_NONFATAL_FAILURE(result = vantrel::test::RunBounded("sleep 60", 1),
                          "did not finish within 1 s: sleep 60");
  EXPECT_EQ(result.status, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(WineInterop, WineReadsWhatVantrelctlWrote) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\VantrelInterop";
  EXPECT_EQ(Ctl({"reg", "set", key, "Text", "a\\xe8b"}).status, 0);  // cp1250: a, c caron, b
  EXPECT_EQ(Ctl({"reg", "set", key, "Multi", "one\\x00two\\x00", "--type", "REG_MULTI_SZ"}).status,
            0);
  EXPECT_EQ(Ctl({"reg", "set", key, "Bin", "\\x01\\x00\\xff", "--type", "REG_BINARY"}).status, 0);
  EXPECT_EQ(Ctl({"reg", "set", key, "Dword", "-1", "--type", "REG_DWORD"}).status, 0);
  EXPECT_EQ(Ctl({"reg", "set", "HKLM\\Software\\VantrelInterop", "Big", "18446744073709551615",
                 "--type", "11"})
                .status,
            0);

  const Result user = Wine({"reg", "query", "HKCU\\Software\\VantrelInterop"});
  ASSERT_EQ(user.status, 0) << user.output;
  EXPECT_EQ(QueryLine(user.output, "Dword"), "REG_DWORD    0xffffffff");
  EXPECT_EQ(QueryLine(user.output, "Bin"), "REG_BINARY    0100FF");
  EXPECT_EQ(QueryLine(user.output, "Multi"), "REG_MULTI_SZ    one\\0two");
  EXPECT_EQ(QueryLine(user.output, "Text").substr(0, 10), "REG_SZ    ");
  // Wine 8's reg query names a QWORD's type but prints no data for it: the export shows it.
  const Result machine = Wine({"reg", "query", "HKLM\\Software\\VantrelInterop"});
  EXPECT_EQ(QueryLine(machine.output, "Big").substr(0, 13), "REG_QWORD    ");
  ASSERT_EQ(
      Wine({"reg", "export", "HKLM\\Software\\VantrelInterop", "C:\\machine.reg", "/y"}).status, 0);
  EXPECT_NE(Utf16FileAsUtf8(Env("WINEPREFIX") + "/drive_c/machine.reg")
                .find("\"Big\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff"),
            std::string::npos);

  // reg query prints in the console's code page; the exported file has the exact letters.
  const std::string file = Env("WINEPREFIX") + "/drive_c/export.reg";
  ASSERT_EQ(
      Wine({"reg", "export", "HKCU\\Software\\VantrelInterop", "C:\\export.reg", "/y"}).status, 0);
  const std::string exported = Utf16FileAsUtf8(file);
  EXPECT_NE(exported.find("\"Text\"=\"a\xc4\x8d"
                          "b\""),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Multi\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00"),
            std::string::npos)
      << exported;
  SettleWine();

  // A deleted key is gone for Wine too.
  EXPECT_EQ(Ctl({"reg", "delete", key, "--recursive"}).status, 0);
  EXPECT_NE(Wine({"reg", "query", "HKCU\\Software\\VantrelInterop"}).status, 0);
  SettleWine();
}

TEST_F(WineInterop, VantrelctlReadsWhatWineWrote) {
  const std::string key = "HKCU\\Software\\VantrelFromWine";
  ASSERT_EQ(Wine({"reg", "add", key, "/v", "Text", "/d",
                  "a\xc4\x8d"
                  "b",
                  "/f"})
                .status,
            0);
  ASSERT_EQ(Wine({"reg", "add", key, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two", "/f"})
                .status,
            0);
  ASSERT_EQ(Wine({"reg", "add", key, "/v", "Bin", "/t", "REG_BINARY", "/d", "0100ff", "/f"}).status,
            0);
  ASSERT_EQ(
      Wine({"reg", "add", key, "/v", "Dword", "/t", "REG_DWORD", "/d", "0xffffffff", "/f"}).status,
      0);
  ASSERT_EQ(Wine({"reg", "add", key, "/ve", "/d", "default", "/f"}).status, 0);
  SettleWine();

  const std::string path = "HKEY_CURRENT_USER\\Software\\VantrelFromWine";
  EXPECT_EQ(Ctl({"reg", "get", path, "Text", "--type"}).output, "1\ta\\xe8b\n");
  EXPECT_EQ(Ctl({"reg", "get", path, "Multi", "--type"}).output, "7\tone\\x00two\\x00\\x00\n");
  EXPECT_EQ(Ctl({"reg", "get", path, "Bin", "--type"}).output, "3\t\\x01\\x00\\xff\n");
  EXPECT_EQ(Ctl({"reg", "get", path, "Dword", "--type"}).output, "4\t4294967295\n");
  EXPECT_EQ(Ctl({"reg", "get", path}).output, "default\n");
  const Result missing = Ctl({"reg", "get", path, "Missing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "");
}

TEST_F(WineInterop, NoWriteWhileWineRunsOnThePrefix) {
  // A wineserver saves its own copy of the registry when it ends, so a change made meanwhile
  // would be lost: the store refuses and says why.
  ASSERT_EQ(RunProgram({WineServer(), "-p"}).status, 0);  // stays until told to go
  const Result refused =
      Ctl({"reg", "set", "HKCU\\Software\\VantrelBusy", "V", "1"}, /*withErrors=*/true);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("wineserver"), std::string::npos) << refused.output;
  // Said once, in vantrelctl's one form, with the store's own words for the reason.
  EXPECT_EQ(refused.output.rfind(
                "vantrelctl: HKCU\\Software\\VantrelBusy value \"V\": cannot write: ", 0),
            0u)
      << refused.output;
  EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
  // A command asks before its first write: one line that names the prefix and the reason, exit
  // status 1, and none of the items written (not one refusal per item).
  const std::string key = "SOFTWARE\\Brenlo\\VantrelBusy";
  std::string items;
  for (const char* name : {"One", "Two", "Three"}) {
    items += std::string("<RegistryItem><KeyName>") + key + "</KeyName><ValueName>" + name +
             "</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue>"
             "<EnableValue>0</EnableValue></RegistryItem>";
  }
  const std::string folder = Env("WINEPREFIX") + "/vantrel-busy";
  ASSERT_EQ(RunProgram({"mkdir", "-p", folder}).status, 0);
  std::ofstream(folder + "/Vantrel.xml")
      << "<?xml version=\"1.0\"?><RegistryItems>" << items << "</RegistryItems>";
  const Result disable =
      RunProgram({"sh", "-c", "cd \"$0\" && \"$1\" disable", folder, Env("VANTRELCTL")},
                 /*withErrors=*/true);
  EXPECT_EQ(disable.status, 1);
  EXPECT_EQ(std::count(disable.output.begin(), disable.output.end(), '\n'), 1) << disable.output;
  EXPECT_NE(disable.output.find("wineserver"), std::string::npos) << disable.output;
  EXPECT_NE(disable.output.find(Env("WINEPREFIX")), std::string::npos) << disable.output;
  RunProgram({WineServer(), "-k"});
  SettleWine();
  EXPECT_EQ(Ctl({"reg", "get", "HKCU\\Software\\VantrelBusy", "V"}).status, 1);
  EXPECT_EQ(Ctl({"reg", "get", "HKLM\\" + key, "One"}).status, 1) << "an item was written";
}

TEST_F(WineInterop, OsDescriptionFollowsThePrefix) {
  const Result q = Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"});
  SettleWine();
  ASSERT_EQ(q.status, 0);
  const std::string version = QueryLine(q.output, "CurrentVersion");
  const std::string build = QueryLine(q.output, "CurrentBuildNumber");
  const std::string sp = QueryLine(q.output, "CSDVersion");
  const std::string text = Ctl({"os"}).output;
  ASSERT_EQ(build.substr(0, 10), "REG_SZ    ");
  EXPECT_EQ(text.substr(0, 8), "Windows ");
  EXPECT_NE(text.find(" Build " + build.substr(10) + "\n"), std::string::npos) << text;
  if (version == "REG_SZ    6.1" && sp.rfind("REG_SZ    ", 0) == 0) {
    EXPECT_EQ(text,
              "Windows 7 Business/Ultimate " + sp.substr(10) + " Build " + build.substr(10) + "\n");
  }
}

// `vantrelctl os` names a Windows 10 prefix as the window does there (the Windows build's own
// case is in the window tests): the major version 10 from the registry, and the build.
TEST_F(WineInterop, OsDescriptionOfAWindows10Prefix) {
  const Result set = Wine({"winecfg", "/v", "win10"});
  ASSERT_EQ(set.status, 0) << "winecfg /v win10 failed";
  SettleWine();
  const Result q = Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"});
  SettleWine();
  ASSERT_EQ(q.status, 0);
  EXPECT_EQ(QueryLine(q.output, "CurrentMajorVersionNumber"), "REG_DWORD    0xa");
  const std::string build = QueryLine(q.output, "CurrentBuildNumber").substr(10);
  const std::string name = std::stoul(build) >= 22000 ? "11" : "10";
  EXPECT_EQ(Ctl({"os"}).output, "Windows " + name + " Build " + build + "\n");
}

}  // namespace
