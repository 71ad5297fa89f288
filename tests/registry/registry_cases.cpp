#include "tests/registry/registry_cases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/errors/error_state.h"
#include "runtime/system/registry.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::seam;

constexpr std::uint32_t kUser = kHkeyCurrentUser;

HKEY Root(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

std::string Sub(const std::string& rest) { return std::string(kTestKey) + "\\" + rest; }

// Bytes as "01 00 ff" for readable failures.
std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

struct RawValue {
  bool exists = false;
  std::uint32_t type = 0;
  std::string data;
};

// The value as the primitives see it, bypassing the code under test.
RawValue ReadRaw(std::uint32_t root, const std::string& path, const std::string& name) {
  RawValue v;
  HKEY key = nullptr;
  if (RegOpenKeyExA(Root(root), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    v.data.assign(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(v.data.data()),
                         &size) == ERROR_SUCCESS) {
      v.exists = true;
      v.type = type;
      v.data.resize(size);
    }
  }
  RegCloseKey(key);
  return v;
}

bool KeyExists(std::uint32_t root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(Root(root), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void WriteRaw(std::uint32_t root, const std::string& path, const std::string& name,
              std::uint32_t type, const std::string& data) {
  HKEY key = nullptr;
  char noClass[] = "";
  ASSERT_EQ(
      RegCreateKeyExA(Root(root), path.c_str(), 0, noClass, 0, KEY_WRITE, nullptr, &key, nullptr),
      ERROR_SUCCESS)
      << path;
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS)
      << name;
  RegCloseKey(key);
}

class RegistryCases : public ::testing::Test {
 protected:
  void SetUp() override { Host().Prepare(); }
  void TearDown() override { Host().CleanUp(); }
};

#define B(literal) std::string(literal, sizeof(literal) - 1)

struct ReadCase {
  const char* what;
  std::uint32_t storedType;
  std::string stored;
  std::string text;
  std::uint32_t typeResult;
};

TEST_F(RegistryCases, ReadingConvertsEachType) {
  const ReadCase cases[] = {
      {"string", 1, B("on\0"), "on", 1},
      {"string stops at the first zero", 1, B("ab\0cd\0"), "ab", 1},
      {"expandable string is not expanded", 2, B("%SystemRoot%\\x\0"), "%SystemRoot%\\x", 2},
      {"ANSI letter", 1, B("\xe8\0"), "\xe8", 1},
      {"DWORD all bits set", 4, B("\xff\xff\xff\xff"), "4294967295", 4},
      {"DWORD little-endian", 4, B("\x2c\x01\x00\x00"), "300", 4},
      {"DWORD zero", 4, B("\0\0\0\0"), "0", 4},
      {"big-endian 300", 5, B("\x00\x00\x01\x2c"), "300", 5},
      {"big-endian 200", 5, B("\x00\x00\x00\xc8"), "200", 5},
      {"big-endian high byte unsigned", 5, B("\xff\x00\x00\x01"), "4278190081", 5},
      {"QWORD all bits set", 11, B("\xff\xff\xff\xff\xff\xff\xff\xff"), "18446744073709551615", 11},
      {"QWORD above 32 bits", 11, B("\x00\x00\x00\x00\x01\x00\x00\x00"), "4294967296", 11},
      {"binary keeps zero bytes", 3, B("\x01\x00\x20\x00"), B("\x01\x00\x20\x00"), 3},
      {"multi-string raw with its zeros", 7, B("a\0b\0\0"), B("a\0b\0\0"), 7},
      {"resource list raw", 8, B("\x10\x00\x20"), B("\x10\x00\x20"), 8},
      {"a type of its own raw", 0x4242, B("xyz"), "xyz", 0x4242},
      {"empty string", 1, B(""), "", 1},
      {"empty DWORD", 4, B(""), "", 4},
      {"REG_NONE with data", 0, B("abc"), "", 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    Host().Prepare();
    WriteRaw(kUser, kTestKey, "V", c.storedType, c.stored);
    std::uint32_t type = 99;
    SetRuntimeError(30);
    const std::string text = RegistryGetValue(kUser, kTestKey, "V", &type);
    EXPECT_EQ(Hex(text), Hex(c.text));
    EXPECT_EQ(type, c.typeResult);
    EXPECT_EQ(RuntimeErrorCode(), 0);
  }
}

TEST_F(RegistryCases, ReadingWhatIsMissingGivesEmptyTextAndCode2) {
  WriteRaw(kUser, kTestKey, "Other", REG_SZ, B("x\0"));
  std::uint32_t type = 99;
  EXPECT_EQ(RegistryGetValue(kUser, kTestKey, "Missing", &type), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(RuntimeErrorText(), "File Not Found");
  EXPECT_EQ(type, 0u);

  type = 99;
  EXPECT_EQ(RegistryGetValue(kUser, Sub("No\\Such\\Key"), "Other", &type), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(type, 0u);

  // The default value of a key that has none.
  EXPECT_EQ(RegistryGetValue(kUser, kTestKey, ""), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

TEST_F(RegistryCases, NamesAndPathsLoseTrailingBlanksOnly) {
  WriteRaw(kUser, kTestKey, "Name", REG_SZ, B("plain\0"));
  WriteRaw(kUser, kTestKey, " Name", REG_SZ, B("leading\0"));
  EXPECT_EQ(RegistryGetValue(kUser, std::string(kTestKey) + "   ", "Name  "), "plain");
  EXPECT_EQ(RegistryGetValue(kUser, kTestKey, " Name "), "leading");
  // A tab is data, not a blank.
  EXPECT_EQ(RegistryGetValue(kUser, kTestKey, "Name\t"), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

struct WriteCase {
  const char* what;
  std::string text;
  std::uint32_t type;
  std::string stored;
};

TEST_F(RegistryCases, WritingConvertsTextByType) {
  const std::uint32_t kCustom = 0x4242;
  const WriteCase cases[] = {
      {"string loses trailing blanks", "on   ", 1, B("on\0")},
      {"string keeps leading blanks", "  on", 1, B("  on\0")},
      {"trailing zeros dropped, then one added", B("ab\0\0"), 1, B("ab\0")},
      {"expandable string", "%TEMP%\\x", 2, B("%TEMP%\\x\0")},
      {"ANSI letter", "\xe8", 1, B("\xe8\0")},
      {"empty string", "", 1, B("\0")},
      {"binary as it stands", B("\x01\x00\x02"), 3, B("\x01\x00\x02")},
      {"binary loses trailing blanks and zeros", B("\x01\x02\0\0  "), 3, B("\x01\x02")},
      {"DWORD", "300", 4, B("\x2c\x01\x00\x00")},
      {"DWORD -1", "-1", 4, B("\xff\xff\xff\xff")},
      {"DWORD stops at a non-digit", "12x", 4, B("\x0c\x00\x00\x00")},
      {"DWORD without digits", "x", 4, B("\0\0\0\0")},
      {"DWORD sign alone", "-", 4, B("\0\0\0\0")},
      {"DWORD leading white space and plus", " \t+7", 4, B("\x07\x00\x00\x00")},
      {"DWORD too big", "99999999999", 4, B("\xff\xff\xff\x7f")},
      {"DWORD too small", "-99999999999", 4, B("\x00\x00\x00\x80")},
      {"DWORD most negative", "-2147483648", 4, B("\x00\x00\x00\x80")},
      {"DWORD as read back: unsigned max", "4294967295", 4, B("\xff\xff\xff\xff")},
      {"DWORD as read back: high half", "2147483648", 4, B("\x00\x00\x00\x80")},
      {"DWORD past unsigned max clamps", "4294967296", 4, B("\xff\xff\xff\x7f")},
      {"DWORD far too small", "-4294967295", 4, B("\x00\x00\x00\x80")},
      {"DWORD decimals ignored", "7.9", 4, B("\x07\x00\x00\x00")},
      {"big-endian 1", "1", 5, B("\x00\x00\x00\x01")},
      {"big-endian -2", "-2", 5, B("\xff\xff\xff\xfe")},
      {"multi-string", B("a\0b\0\0"), 7, B("a\0b\0\0")},
      {"multi-string of one", "a", 7, B("a\0\0")},
      {"QWORD", "4294967296", 11, B("\x00\x00\x00\x00\x01\x00\x00\x00")},
      {"QWORD rounds half up", "12.5", 11, B("\x0d\0\0\0\0\0\0\0")},
      {"QWORD rounds down below half", "12.49", 11, B("\x0c\0\0\0\0\0\0\0")},
      {"QWORD sign does not matter", "-3.5", 11, B("\x04\0\0\0\0\0\0\0")},
      {"QWORD fraction only", ".5", 11, B("\x01\0\0\0\0\0\0\0")},
      {"QWORD largest", "18446744073709551615", 11, B("\xff\xff\xff\xff\xff\xff\xff\xff")},
      {"QWORD beyond 64 bits saturates", "18446744073709551616", 11,
       B("\xff\xff\xff\xff\xff\xff\xff\xff")},
      {"QWORD largest rounded up saturates", "18446744073709551615.5", 11,
       B("\xff\xff\xff\xff\xff\xff\xff\xff")},
      {"QWORD without digits", "abc", 11, B("\0\0\0\0\0\0\0\0")},
      {"REG_NONE stores nothing", "abc", 0, B("")},
      {"link type stores nothing", "abc", 6, B("")},
      {"resource list stores nothing", "abc", 8, B("")},
      {"a type of its own stores nothing", "abc", kCustom, B("")},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    Host().Prepare();
    SetRuntimeError(30);
    EXPECT_EQ(RegistryPutValue(kUser, kTestKey, "V", c.text, c.type), 0);
    EXPECT_EQ(RuntimeErrorCode(), 0);
    const RawValue raw = ReadRaw(kUser, kTestKey, "V");
    EXPECT_TRUE(raw.exists);
    EXPECT_EQ(raw.type, c.type);
    EXPECT_EQ(Hex(raw.data), Hex(c.stored));
  }
}

TEST_F(RegistryCases, WrittenValuesReadBack) {
  struct RoundTrip {
    std::string text;
    std::uint32_t type;
    std::string back;
  } cases[] = {
      {"-1", REG_DWORD, "4294967295"},
      {"1", REG_DWORD_BIG_ENDIAN, "1"},
      {B("a\0b\0\0"), REG_MULTI_SZ, B("a\0b\0\0")},
      {"C:\\x \xe8", REG_SZ, "C:\\x \xe8"},
      {"18446744073709551615", REG_QWORD, "18446744073709551615"},
  };
  for (const RoundTrip& c : cases) {
    EXPECT_EQ(RegistryPutValue(kUser, kTestKey, "R", c.text, c.type), 0);
    std::uint32_t type = 0;
    EXPECT_EQ(Hex(RegistryGetValue(kUser, kTestKey, "R", &type)), Hex(c.back));
    EXPECT_EQ(type, c.type);
  }
}

TEST_F(RegistryCases, WritingCreatesTheWholePathAndTheDefaultValue) {
  EXPECT_EQ(RegistryPutValue(kUser, Sub("New\\Deep\\Er"), "", "default", REG_SZ), 0);
  EXPECT_TRUE(KeyExists(kUser, Sub("New\\Deep")));
  const RawValue raw = ReadRaw(kUser, Sub("New\\Deep\\Er"), "");
  EXPECT_TRUE(raw.exists);
  EXPECT_EQ(raw.data, B("default\0"));
  EXPECT_EQ(RegistryGetValue(kUser, Sub("New\\Deep\\Er"), "   "), "default");
  EXPECT_EQ(RegistryPutValue(kHkeyLocalMachine, Sub("Machine"), "M", "5", REG_DWORD), 0);
  EXPECT_EQ(RegistryGetValue(kHkeyLocalMachine, Sub("Machine"), "M"), "5");
}

TEST_F(RegistryCases, KeyPathIsCutAfter255Characters) {
  // Sub-key names of 49 characters, so that the cut falls inside one of them.
  std::string path = kTestKey;
  while (path.size() < 300)
    path += "\\" + std::string(49, static_cast<char>('a' + path.size() % 26));
  path.resize(300);
  const std::string used = path.substr(0, 255);
  ASSERT_NE(used.back(), '\\');
  EXPECT_EQ(RegistryPutValue(kUser, path, "Cut", "yes", REG_SZ), 0);
  EXPECT_EQ(ReadRaw(kUser, used, "Cut").data, B("yes\0"));
  EXPECT_FALSE(KeyExists(kUser, path.substr(0, 256)));
  EXPECT_EQ(RegistryGetValue(kUser, path, "Cut"), "yes");
  RegistryDelete(kUser, path, "Cut");
  EXPECT_EQ(RuntimeErrorCode(), 0);
  EXPECT_FALSE(ReadRaw(kUser, used, "Cut").exists);
}

TEST_F(RegistryCases, DeletingAValueKeepsTheRest) {
  WriteRaw(kUser, kTestKey, "Gone", REG_SZ, B("1\0"));
  WriteRaw(kUser, kTestKey, "Kept", REG_SZ, B("2\0"));
  RegistryDelete(kUser, kTestKey, "Gone  ");
  EXPECT_EQ(RuntimeErrorCode(), 0);
  EXPECT_FALSE(ReadRaw(kUser, kTestKey, "Gone").exists);
  EXPECT_TRUE(ReadRaw(kUser, kTestKey, "Kept").exists);

  RegistryDelete(kUser, kTestKey, "Gone");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  RegistryDelete(kUser, Sub("Missing"), "Kept");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_TRUE(ReadRaw(kUser, kTestKey, "Kept").exists);
}

TEST_F(RegistryCases, BlankValueNameDeletesTheWholeKeyTree) {
  WriteRaw(kUser, Sub("Tree"), "Top", REG_SZ, B("t\0"));
  WriteRaw(kUser, Sub("Tree\\A\\B\\C"), "Leaf", REG_DWORD, B("\1\0\0\0"));
  WriteRaw(kUser, Sub("Tree\\A2"), "", REG_SZ, B("d\0"));
  WriteRaw(kUser, Sub("Treehouse"), "Sibling", REG_SZ, B("s\0"));
  RegistryDelete(kUser, Sub("Tree"), "   ");
  EXPECT_EQ(RuntimeErrorCode(), 0);
  EXPECT_FALSE(KeyExists(kUser, Sub("Tree")));
  EXPECT_TRUE(ReadRaw(kUser, Sub("Treehouse"), "Sibling").exists);

  RegistryDelete(kUser, Sub("Tree"), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  RegistryDelete(kUser, Sub("NoParent\\Tree"), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

TEST_F(RegistryCases, KeyDirectlyUnderTheRootCanBeDeleted) {
  const std::string top = std::string("VantrelTestTop");
  WriteRaw(kUser, top + "\\Sub", "V", REG_SZ, B("x\0"));
  RegistryDelete(kUser, top, "");
  EXPECT_EQ(RuntimeErrorCode(), 0);
  EXPECT_FALSE(KeyExists(kUser, top));
}

TEST_F(RegistryCases, EmptyKeyPathDeletesNothingAndGivesCode2) {
  WriteRaw(kUser, kTestKey, "Kept", REG_SZ, B("k\0"));
  RegistryDelete(kUser, "   ", "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_TRUE(ReadRaw(kUser, kTestKey, "Kept").exists);
}

TEST_F(RegistryCases, FallbackDeletionRemovesNestedKeys) {
  for (const char* path : {"Fall\\A\\B", "Fall\\A\\C", "Fall\\D"}) {
    WriteRaw(kUser, Sub(path), "V", REG_SZ, B("v\0"));
  }
  WriteRaw(kUser, Sub("Fall"), "Own", REG_SZ, B("o\0"));
  EXPECT_EQ(DeleteRegistryTreeByEnumeration(kUser, kTestKey, "Fall"), 0);
  EXPECT_FALSE(KeyExists(kUser, Sub("Fall")));
  EXPECT_TRUE(KeyExists(kUser, kTestKey));
  EXPECT_EQ(DeleteRegistryTreeByEnumeration(kUser, kTestKey, "Fall"), 2);
}

TEST_F(RegistryCases, KeyContentCountsSubKeysValuesAndTheDefaultValue) {
  WriteRaw(kUser, Sub("WithValue"), "V", REG_SZ, B("v\0"));
  WriteRaw(kUser, Sub("WithDefault"), "", REG_SZ, B("d\0"));
  WriteRaw(kUser, Sub("WithSubKey\\Inner"), "V", REG_SZ, B("v\0"));
  WriteRaw(kUser, Sub("Emptied"), "Gone", REG_SZ, B("g\0"));
  RegistryDelete(kUser, Sub("Emptied"), "Gone");
  const struct {
    const char* key;
    bool holds;
  } cases[] = {{"WithValue", true},
               {"WithDefault", true},
               {"WithSubKey", true},
               {"WithSubKey\\Inner", true},
               {"Emptied", false}};
  for (const auto& c : cases) {
    const std::optional<bool> holds = RegistryKeyHasContent(kUser, Sub(c.key));
    ASSERT_TRUE(holds.has_value()) << c.key;
    EXPECT_EQ(*holds, c.holds) << c.key;
    EXPECT_EQ(RuntimeErrorCode(), 0) << c.key;
  }
  EXPECT_FALSE(RegistryKeyHasContent(kUser, Sub("Missing")).has_value());
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

TEST_F(RegistryCases, ABadRootIsReportedAsEntryNotFound) {
  const std::uint32_t kNoRoot = 0x80000010u;
  std::uint32_t type = 99;
  EXPECT_EQ(RegistryGetValue(kNoRoot, kTestKey, "V", &type), "");
  EXPECT_EQ(RuntimeErrorCode(), 30);
  EXPECT_EQ(RuntimeErrorText(), "Entry Not Found");
  EXPECT_EQ(type, 0u);
  const long rc = RegistryPutValue(kNoRoot, kTestKey, "V", "1", REG_DWORD);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(RuntimeErrorCode(), 30);
  // A success clears what the failure left.
  EXPECT_EQ(RegistryPutValue(kUser, kTestKey, "V", "1", REG_DWORD), 0);
  EXPECT_EQ(RuntimeErrorCode(), 0);
}

TEST(RegistryErrorMapping, OperatingSystemNumbersBecomeRuntimeCodes) {
  const struct {
    long os;
    std::int32_t code;
  } cases[] = {{0, 0},    {2, 2},  {5, 5},  {12, 5},   {8, 8},     {14, 8},
               {1450, 8}, {3, 30}, {6, 30}, {259, 30}, {1018, 30}, {-1, 30}};
  for (const auto& c : cases) {
    SetRuntimeError(81);
    SetRegistryError(c.os);
    EXPECT_EQ(RuntimeErrorCode(), c.code) << c.os;
  }
}

TEST(RegistryPaths, RootNamesAreRecognisedInAnyCase) {
  const struct {
    const char* text;
    bool ok;
    std::uint32_t root;
    const char* keyPath;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\X", true, kHkeyLocalMachine, "Software\\X"},
      {"hkey_local_machine\\a", true, kHkeyLocalMachine, "a"},
      {"HKEY_CLASSES_ROOT\\.txt", true, kHkeyClassesRoot, ".txt"},
      {"Hkey_Current_User\\Software\\ ", true, kHkeyCurrentUser, "Software\\ "},
      {"HKEY_USERS\\.Default", true, kHkeyUsers, ".Default"},
      {"HKEY_USERS\\", true, kHkeyUsers, ""},
      {"HKEY_USERS", false, 0, ""},
      {"HKEY_LOCAL_MACHINE/Software", false, 0, ""},
      {"HKEY_CURRENT_CONFIG\\x", false, 0, ""},
      {"HKLM\\Software", false, 0, ""},
      {" HKEY_USERS\\x", false, 0, ""},
      {"settings.ini", false, 0, ""},
      {"", false, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto split = SplitRegistryPath(c.text);
    ASSERT_EQ(split.has_value(), c.ok);
    if (!split) continue;
    EXPECT_EQ(split->root, c.root);
    EXPECT_EQ(split->keyPath, c.keyPath);
    EXPECT_EQ(RegistryRootName(c.root).size() + 1,
              std::string(c.text).size() - split->keyPath.size());
  }
}

TEST_F(RegistryCases, ProfileEntriesReadWriteAndRemove) {
  const std::string file = Host().ScratchFile("settings.ini");
  EXPECT_EQ(GETINI("Main", "X", "fallback", file), "fallback");  // no file yet
  ProfilePutEntry("Main  ", "X  ", "10  ", file);
  ProfilePutEntry("Main", "Y", "20", file);
  ProfilePutEntry("Other", "X", "30", file);
  EXPECT_EQ(GETINI("Main", "X", "fallback", file), "10");
  EXPECT_EQ(GETINI("MAIN", "y", "", file), "20");  // sections and entries ignore case
  EXPECT_EQ(GETINI("Main", "Z", "fallback  ", file), "fallback");
  EXPECT_EQ(GETINI("Missing", "X", "d", file), "d");

  ProfilePutEntry("Main", "X", std::nullopt, file);
  EXPECT_EQ(GETINI("Main", "X", "gone", file), "gone");
  EXPECT_EQ(GETINI("Main", "Y", "", file), "20");

  ProfilePutEntry("Main", std::nullopt, std::nullopt, file);
  EXPECT_EQ(GETINI("Main", "Y", "gone", file), "gone");
  EXPECT_EQ(GETINI("Other", "X", "", file), "30");
}

TEST_F(RegistryCases, ProfileValuesReadBackAsWindowsReadsThem) {
  const std::string file = Host().ScratchFile("settings.ini");
  ProfilePutEntry("S", "Quoted", "\"x y\"", file);
  ProfilePutEntry("S", "Padded", "   x", file);
  ProfilePutEntry("S", "Empty", "", file);
  EXPECT_EQ(GETINI("S", "Quoted", "d", file), "x y");  // one pair of quotes is taken off
  EXPECT_EQ(GETINI("S", "Padded", "d", file), "x");    // blanks around a value are not kept
  EXPECT_EQ(GETINI("S", "Empty", "d", file), "");      // present but empty is not missing
}

TEST_F(RegistryCases, ProfileTextsAreLimitedTo1023Characters) {
  const std::string file = Host().ScratchFile("long.ini");
  const std::string longText(1100, 'v');
  EXPECT_EQ(GETINI("S", "E", longText, file), longText.substr(0, 1023));
  ProfilePutEntry("S", "E", longText, file);
  EXPECT_EQ(GETINI("S", "E", "", file), longText.substr(0, 1023));
}

TEST_F(RegistryCases, SystemProfileIsUsedWithoutAFileName) {
  ProfilePutEntry("VantrelTest", "Entry", "sys", "   ");
  EXPECT_EQ(GETINI("VantrelTest", "Entry", "d", ""), "sys");
  ProfilePutEntry("VantrelTest", std::nullopt, std::nullopt, "");
  EXPECT_EQ(GETINI("VantrelTest", "Entry", "d", ""), "d");
}

}  // namespace
}  // namespace vantrel::testing
