// The Win32 registry calls of the store behave as advapi32 documents them: results, sizes and
// error numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/system/store/registry_store.h"
#include "runtime/seam/win32_seam.h"
#include "tests/store/store_test_support.h"

using namespace vantrel::seam;
using vantrel::store::testing::ReadFile;
using vantrel::store::testing::ScratchStore;

namespace {

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
            ERROR_SUCCESS)
      << path;
  return key;
}

LONG Open(HKEY root, const char* path, HKEY* key, REGSAM access = KEY_ALL_ACCESS) {
  return RegOpenKeyExA(root, path, 0, access, key);
}

LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

// The value's type and bytes as RegQueryValueExA returns them (size first, then data).
LONG Query(HKEY key, const char* name, DWORD* type, std::string* bytes) {
  DWORD size = 0;
  LONG r = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  if (r != ERROR_SUCCESS) return r;
  bytes->assign(size, '\0');
  r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes->data()), &size);
  bytes->resize(size);
  return r;
}

class StoreSemantics : public ::testing::Test {
 protected:
  ScratchStore store;
};

TEST_F(StoreSemantics, CreateOpensExistingAndMakesEveryMissingKey) {
  HKEY k;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Brenlo\\A\\B", &k), ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  HKEY created = Create(HKEY_LOCAL_MACHINE, "Software\\Brenlo\\A\\B", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\brenlo\\a\\b", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Brenlo\\A", &k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
  // The store was made on first write with Wine's three files.
  EXPECT_EQ(ReadFile(store.File("user.reg"))
                .rfind("WINE REGISTRY Version 2\n;; All keys relative to "
                       "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n",
                       0),
            0u);
  EXPECT_NE(ReadFile(store.File("system.reg")).find("[Software\\\\Brenlo\\\\A\\\\B] "),
            std::string::npos);
  EXPECT_EQ(ReadFile(store.File("userdef.reg")),
            "WINE REGISTRY Version 2\n;; All keys relative to "
            "REGISTRY\\\\User\\\\.Default\n\n#arch=win64\n");
}

TEST_F(StoreSemantics, ValuesKeepTheirTypeAndBytes) {
  HKEY k = Create(HKEY_LOCAL_MACHINE, "Software\\Values");
  struct Case {
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"sz", REG_SZ, std::string("on\0", 3)},
      {"expand", REG_EXPAND_SZ, std::string("%PATH%;x\0", 9)},
      {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"binary", REG_BINARY, std::string("\x00\xff\x10 \\\"", 6)},
      {"dword", REG_DWORD, std::string("\xff\xff\xff\xff", 4)},
      {"bigendian", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x01\x2c", 4)},
      {"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"none", REG_NONE, std::string()},
      {"odd type", 0x1234, std::string("xyz")},
      {"short dword", REG_DWORD, std::string("\x01\x02", 2)},
      {"czech", REG_SZ,
       std::string("P\xf8\xedli\x9a \x9e") + "lu\x9d" + std::string("ou\xe8k\xfd\0", 6)},
      {"", REG_SZ, std::string("default\0", 8)},
  };
  for (const auto& c : cases)
    ASSERT_EQ(SetBytes(k, c.name, c.type, c.bytes), ERROR_SUCCESS) << c.name;
  // Read back through a fresh process view: drop nothing, but re-open the key.
  RegCloseKey(k);
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "software\\VALUES", &k, KEY_QUERY_VALUE), ERROR_SUCCESS);
  for (const auto& c : cases) {
    DWORD type = 99;
    std::string bytes;
    ASSERT_EQ(Query(k, c.name, &type, &bytes), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(bytes, c.bytes) << c.name;
  }
  // The default value answers to the null name too; names ignore case.
  DWORD type;
  std::string bytes;
  EXPECT_EQ(Query(k, nullptr, &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("default\0", 8));
  EXPECT_EQ(Query(k, "DWORD", &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(Query(k, "missing", &type, &bytes), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
}

TEST_F(StoreSemantics, QuerySizesAndSmallBuffers) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Sizes");
  ASSERT_EQ(SetBytes(k, "s", REG_SZ, std::string("hello\0", 6)), ERROR_SUCCESS);
  // Stored without a terminator: the byte after the count is no zero (with one there, Windows
  // would count it).
  ASSERT_EQ(RegSetValueExA(k, "unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcX"), 3),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, REG_SZ);
  char buf[16];
  size = 3;
  EXPECT_EQ(RegQueryValueExA(k, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  // A string stored without terminator gets one when the buffer has room, not counted.
  std::memset(buf, 'x', sizeof buf);
  size = sizeof buf;
  EXPECT_EQ(
      RegQueryValueExA(k, "unterminated", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::string(buf, 4), std::string("abc\0", 4));
  size = 3;
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(
      RegQueryValueExA(k, "unterminated", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(buf[3], 'x');
  // Parameter errors.
  EXPECT_EQ(RegQueryValueExA(k, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(k, "s", 0, REG_SZ, nullptr, 4), 998);  // ERROR_NOACCESS
  RegCloseKey(k);
}

// A volatile key lives in memory only: its lines never reach the file, while a key written
// beside it does.
TEST_F(StoreSemantics, VolatileKeysAreNotWrittenToTheFile) {
  HKEY kept = Create(HKEY_CURRENT_USER, "Software\\Lasting");
  HKEY vol = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fleeting\\Deep", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &vol, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(vol, "v", REG_DWORD, std::string(4, '\1')), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(kept, "v", REG_DWORD, std::string(4, '\2')), ERROR_SUCCESS);
  const std::string text = ReadFile(store.File("user.reg"));
  EXPECT_EQ(text.find("Fleeting"), std::string::npos) << text;
  EXPECT_NE(text.find("[Software\\\\Lasting]"), std::string::npos) << text;
  std::string bytes;
  DWORD type = 0;
  EXPECT_EQ(Query(vol, "v", &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string(4, '\1'));
  RegCloseKey(vol);
  RegCloseKey(kept);
}

TEST_F(StoreSemantics, DeletingKeysAndValues) {
  HKEY parent = Create(HKEY_LOCAL_MACHINE, "Software\\Del");
  HKEY child = Create(parent, "Child\\Grandchild");
  ASSERT_EQ(SetBytes(child, "v", REG_DWORD, std::string(4, '\1')), ERROR_SUCCESS);
  // Keys with sub-keys are refused, as Windows does.
  EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(child, "nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(child, "V"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, "child\\grandchild"), ERROR_SUCCESS);
  // The handle of a deleted key reports that; the parent keeps existing.
  std::string bytes;
  DWORD type;
  EXPECT_EQ(Query(child, "v", &type, &bytes), ERROR_KEY_DELETED);
  EXPECT_EQ(SetBytes(child, "v", REG_SZ, std::string("x\0", 2)), ERROR_KEY_DELETED);
  HKEY k;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Del\\Child", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegDeleteKeyA(parent, "Child\\Grandchild"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  RegCloseKey(child);
  RegCloseKey(parent);
}

TEST_F(StoreSemantics, TreeDeletionThroughShlwapi) {
  HKEY k = Create(HKEY_LOCAL_MACHINE, "Software\\Tree\\A\\B\\C");
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Tree\\A\\D"));
  RegCloseKey(k);
  HMODULE lib = LoadLibraryA("shlwapi.dll");
  ASSERT_NE(lib, nullptr);
  using TreeDelete = DWORD (*)(HKEY, LPCSTR);
  auto fn = reinterpret_cast<TreeDelete>(
      reinterpret_cast<void (*)()>(GetProcAddress(lib, "SHDeleteKeyA")));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(GetProcAddress(lib, "SHDeleteKeyW"), nullptr);
  HKEY tree;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Tree", &tree), ERROR_SUCCESS);
  EXPECT_EQ(fn(tree, "a"), ERROR_SUCCESS);
  EXPECT_EQ(fn(tree, "a"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Tree\\A\\B", &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Tree", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  RegCloseKey(tree);
  EXPECT_EQ(FreeLibrary(lib), 1);
  EXPECT_EQ(LoadLibraryA("NOSUCH.DLL"), nullptr);
  vantrel::store::SetTreeDeleteAvailable(false);
  EXPECT_EQ(GetProcAddress(lib, "SHDeleteKeyA"), nullptr);
  vantrel::store::SetTreeDeleteAvailable(true);
}

TEST_F(StoreSemantics, EnumerationIsSortedWithoutCase) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Enum");
  for (const char* name : {"beta", "Alpha", "gamma", "_under"}) RegCloseKey(Create(k, name));
  std::vector<std::string> names;
  char name[256];
  DWORD index = 0;
  for (;; ++index) {
    DWORD size = sizeof name;
    LONG r = RegEnumKeyExA(k, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(size, std::strlen(name));
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"_under", "Alpha", "beta", "gamma"}));
  DWORD size = 5;  // "Alpha" needs six with its terminator
  EXPECT_EQ(RegEnumKeyExA(k, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  RegCloseKey(k);
}

TEST_F(StoreSemantics, HandlesRootsAndAccess) {
  HKEY k;
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x4321)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(Open(reinterpret_cast<HKEY>(0x4321), "x", &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "\\Software", &k), 161);  // ERROR_BAD_PATHNAME
  // HKEY_CLASSES_ROOT is Software\Classes of the machine; HKEY_USERS\.Default is userdef.reg.
  HKEY cls = Create(HKEY_CLASSES_ROOT, ".vtl");
  ASSERT_EQ(SetBytes(cls, "", REG_SZ, std::string("vtlfile\0", 8)), ERROR_SUCCESS);
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\.VTL", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  RegCloseKey(cls);
  HKEY def = Create(HKEY_USERS, ".Default\\Software\\Brenlo");
  RegCloseKey(def);
  EXPECT_NE(ReadFile(store.File("userdef.reg")).find("[Software\\\\Brenlo]"), std::string::npos);
  ASSERT_EQ(Open(HKEY_USERS, "S-1-5-21-0-0-0-1000", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(Open(HKEY_USERS, "S-1-5-18", &k), ERROR_FILE_NOT_FOUND);
  // A handle opened for reading cannot write.
  ASSERT_EQ(Open(HKEY_USERS, ".Default\\Software\\Brenlo", &k, KEY_QUERY_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(SetBytes(k, "x", REG_SZ, std::string("1\0", 2)), ERROR_ACCESS_DENIED);
  RegCloseKey(k);
  // RegOpenKeyA with no sub-key hands back the same handle.
  HKEY same = nullptr;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, HKEY_CURRENT_USER);
}

}  // namespace
