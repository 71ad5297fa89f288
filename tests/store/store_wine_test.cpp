// The store and the real Wine read each other's registry files: a Wine-written system.reg keeps
// every line the store did not change, values the store writes are what `wine64 reg` exports,
// and values `wine64 reg add` writes are what the store reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/text/cp1250.h"
#include "runtime/seam/win32_seam.h"
#include "tests/store/store_test_support.h"

using namespace vantrel::seam;
using namespace vantrel::store::testing;

namespace {

// The file cut into its keys: header first, then one piece per "[key]" line.
std::vector<std::string> Keys(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at = text.find("\n["); at != std::string::npos; at = text.find("\n[", at + 1)) {
    out.push_back(text.substr(start, at + 1 - start));
    start = at + 1;
  }
  out.push_back(text.substr(start));
  return out;
}

class StoreWithWine : public ::testing::Test {
 protected:
  void SetUp() override {
    pristine_ = PristinePrefix();
    if (pristine_.empty()) GTEST_SKIP() << "Wine is not installed";
    ASSERT_EQ(Shell("cp -a '" + pristine_ + "/.' '" + store.Dir() + "/'"), 0);
  }
  // Every call into Wine is bounded, so that a hang fails the test and says what hung.
  static constexpr const char* kTimeout = "timeout 120 ";
  std::string Wine(const std::string& args, std::string* out = nullptr) {
    std::string env = "WINEPREFIX='" + store.Dir() + "' WINEDEBUG=-all LC_ALL=C.UTF-8 ";
    int status = Shell(env + kTimeout + Wine64() + " " + args + " 2>/dev/null", out);
    EXPECT_NE(status, 124) << "wine64 " << args << " hung";
    EXPECT_EQ(status, 0) << args;
    return out ? *out : std::string();
  }
  void StopWine() {
    int status = Shell("WINEPREFIX='" + store.Dir() + "' " + kTimeout + Wineserver() + " -w");
    EXPECT_EQ(status, 0) << "wineserver -w failed or hung";
  }
  ScratchStore store;
  std::string pristine_;
};

TEST_F(StoreWithWine, WineFileKeepsEveryLineTheStoreDidNotChange) {
  std::string before = ReadFile(store.File("system.reg"));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "System\\CurrentControlSet\\Services\\LanmanServer\\Parameters", 0,
                          KEY_WRITE, &key),
            ERROR_SUCCESS);
  DWORD v = 0xFFFFFFFFu;
  ASSERT_EQ(
      RegSetValueExA(key, "EnableOplocks", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
      ERROR_SUCCESS);
  RegCloseKey(key);
  std::string after = ReadFile(store.File("system.reg"));
  auto a = Keys(before), b = Keys(after);
  ASSERT_EQ(a.size(), b.size());
  int changed = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    ++changed;
    EXPECT_EQ(a[i].substr(0, a[i].find(']')),
              "[System\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters");
    EXPECT_NE(b[i].find("\n\"EnableOplocks\"=dword:ffffffff\n"), std::string::npos);
    // Apart from the time stamps and the new value, the key's lines are as Wine wrote them.
    std::string valuesBefore = a[i].substr(a[i].find('\n', a[i].find("#time=")) + 1);
    std::string valuesAfter = b[i].substr(b[i].find('\n', b[i].find("#time=")) + 1);
    size_t at = valuesAfter.find("\"EnableOplocks\"");
    valuesAfter.erase(at, valuesAfter.find('\n', at) + 1 - at);
    EXPECT_EQ(valuesBefore, valuesAfter);
  }
  EXPECT_EQ(changed, 1);
}

TEST_F(StoreWithWine, WineReadsWhatTheStoreWrote) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vantrel Test", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::string text = "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2";  // CP1250
  text.push_back('\0');
  std::string multi("a\0b\0\0", 5);
  std::string binary("\x00\x01\xfe\xff", 4);
  DWORD all = 0xFFFFFFFFu;
  ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                           static_cast<DWORD>(text.size())),
            ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()), 5),
      ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExA(key, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary.data()), 4),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "All bits", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&all), 4),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::string out;
  Wine("reg export \"HKLM\\Software\\Vantrel Test\" Z:" + store.Dir() + "/export.reg /y");
  StopWine();
  // reg export writes UTF-16LE with a byte order mark.
  std::string raw = ReadFile(store.Dir() + "/export.reg");
  ASSERT_GE(raw.size(), 2u);
  std::u16string wide;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                         (static_cast<unsigned char>(raw[i + 1]) << 8)));
  std::string exported = vantrel::Utf16ToCp1250(wide);
  EXPECT_NE(exported.find("\"Text\"=\"" + text.substr(0, text.size() - 1) + "\""),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00"), std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Binary\"=hex:00,01,fe,ff"), std::string::npos) << exported;
  EXPECT_NE(exported.find("\"All bits\"=dword:ffffffff"), std::string::npos) << exported;
}

TEST_F(StoreWithWine, StoreReadsWhatWineWrote) {
  std::string key = "\"HKCU\\Software\\Wine Test\"";
  Wine("reg add " + key + " /v Text /t REG_SZ /d 'Příliš žluťoučký kůň' /f");
  Wine("reg add " + key + " /v Multi /t REG_MULTI_SZ /d 'a\\0ď' /f");
  Wine("reg add " + key + " /v Binary /t REG_BINARY /d 00ff10 /f");
  Wine("reg add " + key + " /v AllBits /t REG_DWORD /d 0xffffffff /f");
  StopWine();
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine Test", 0, KEY_QUERY_VALUE, &k),
            ERROR_SUCCESS);
  auto query = [&](const char* name, DWORD* type) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(k, name, nullptr, type, nullptr, &size), ERROR_SUCCESS) << name;
    std::string data(size, '\0');
    RegQueryValueExA(k, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
    return data;
  };
  DWORD type = 0;
  EXPECT_EQ(query("text", &type),
            std::string("P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2") + '\0');
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(query("Multi", &type), std::string("a\0\xef\0\0", 5));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(query("Binary", &type), std::string("\x00\xff\x10", 3));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(query("AllBits", &type), "\xff\xff\xff\xff");
  EXPECT_EQ(type, REG_DWORD);
  RegCloseKey(k);
}

// Names the two could read differently mean the same to both: a key name holding an escaped
// backslash is two keys, one starting with a backslash is read without it, and a value name
// ending in a zero is a value of its own, also after the store has rewritten its key.
TEST_F(StoreWithWine, OddNamesMeanTheSameToWineAndTheStore) {
  const std::string path = store.File("system.reg");
  WriteFile(path, ReadFile(path) +
                      "\n[Software\\\\Vantrel Odd\\\\A\\x005cB] 1796877833\n#time=1dd88610ee17a40\n"
                      "\"v\"=dword:00000007\n"
                      "\n[Software\\\\Vantrel Odd\\\\N] 1796877833\n#time=1dd88610ee17a40\n"
                      "\"n\\0\"=\"with zero\"\n\"n\"=\"plain\"\n"
                      "\n[\\\\Software\\\\Vantrel Odd\\\\Lead] 1796877833\n#time=1dd88610ee17a40\n"
                      "\"v\"=dword:00000007\n");
  HKEY key;
  DWORD v = 0;
  for (const char* path : {"Software\\Vantrel Odd\\A\\B", "Software\\Vantrel Odd\\Lead"}) {
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS)
        << path;
    DWORD size = 4;
    v = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 7u) << path;
    RegCloseKey(key);
  }
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vantrel Odd\\N", 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::string out;
  for (const char* path : {"A\\B", "Lead"}) {
    Wine("reg query \"HKLM\\Software\\Vantrel Odd\\" + std::string(path) + "\" /v v", &out);
    EXPECT_NE(out.find("0x7"), std::string::npos) << path << ": " << out;
  }
  Wine("reg query \"HKLM\\Software\\Vantrel Odd\\N\"", &out);
  StopWine();
  EXPECT_NE(out.find("with zero"), std::string::npos) << out;
  EXPECT_NE(out.find("plain"), std::string::npos) << out;
  EXPECT_NE(out.find("other"), std::string::npos) << out;
}

}  // namespace
