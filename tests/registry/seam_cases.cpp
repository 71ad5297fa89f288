// The registry primitives themselves, on every host: the native build runs these cases against
// the registry store, the Windows build runs them under wine64, so Wine confirms each
// expectation. The expectations are Windows' documented behaviour and what Wine's own
// conformance tests assert for it: name limits, handles to deleted keys, string sizes, key
// information and the edge cases of opening a key.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/seam/win32_seam.h"
#include "tests/registry/registry_cases.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::seam;

constexpr LONG kKeyDeleted = 1018;
constexpr LONG kBadPathname = 161;

class SeamCases : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Prepare();
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    Host().CleanUp();
  }
  LONG Set(HKEY key, const char* name, DWORD type, const char* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data), size);
  }
  LONG Create(HKEY parent, const std::string& sub, HKEY* out = nullptr, LPSTR keyClass = nullptr) {
    HKEY key = nullptr;
    const LONG r = RegCreateKeyExA(parent, sub.c_str(), 0, keyClass, 0, KEY_ALL_ACCESS, nullptr,
                                   &key, nullptr);
    if (r == ERROR_SUCCESS) {
      if (out)
        *out = key;
      else
        RegCloseKey(key);
    }
    return r;
  }
  bool Exists(HKEY parent, const std::string& sub) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  HKEY key_ = nullptr;
};

TEST_F(SeamCases, NamesOverWindowsLimitsAreRefused) {
  const struct {
    size_t length;
    LONG set, query;
  } values[] = {{16383, ERROR_SUCCESS, ERROR_SUCCESS},
                {16384, ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND},
                {20000, ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND}};
  for (const auto& c : values) {
    SCOPED_TRACE(c.length);
    const std::string name(c.length, 'n');
    EXPECT_EQ(Set(key_, name.c_str(), REG_SZ, "x", 2), c.set);
    char data[8];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                               &size),
              c.query);
  }
  // One key name component of up to 256 characters is taken; a sub-key text longer than 260
  // characters does not fit the buffer the "A" functions convert it in.
  const struct {
    std::string subKey;
    LONG create;
  } keys[] = {
      {std::string(255, 'k'), ERROR_SUCCESS},
      {std::string(256, 'k'), ERROR_SUCCESS},
      {std::string(257, 'k'), ERROR_INVALID_PARAMETER},
      {"a\\" + std::string(257, 'k'), ERROR_INVALID_PARAMETER},
      {"b\\" + std::string(258, 'k'), ERROR_INVALID_PARAMETER},
      {"c\\" + std::string(259, 'k'), ERROR_MORE_DATA},
      {std::string(100, 'p') + "\\" + std::string(100, 'q') + "\\" + std::string(100, 'r'),
       ERROR_MORE_DATA},
  };
  for (const auto& c : keys) {
    SCOPED_TRACE(c.subKey.size());
    EXPECT_EQ(Create(key_, c.subKey), c.create);
    HKEY opened = nullptr;
    const LONG open = RegOpenKeyExA(key_, c.subKey.c_str(), 0, KEY_READ, &opened);
    EXPECT_EQ(open, c.create);
    if (open == ERROR_SUCCESS) RegCloseKey(opened);
    EXPECT_EQ(RegDeleteKeyA(key_, c.subKey.c_str()), c.create);
  }
}

TEST_F(SeamCases, AHandleToADeletedKeyStaysDeleted) {
  HKEY gone = nullptr;
  ASSERT_EQ(Create(key_, "Gone", &gone), ERROR_SUCCESS);
  ASSERT_EQ(Create(key_, "Gone\\Child"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(key_, "Gone\\Child"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(key_, "Gone"), ERROR_SUCCESS);

  auto operations = [&](const char* when) {
    SCOPED_TRACE(when);
    char buffer[16];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    HKEY other = nullptr;
    EXPECT_EQ(RegQueryValueExA(gone, "v", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              kKeyDeleted);
    EXPECT_EQ(Set(gone, "v", REG_SZ, "a", 2), kKeyDeleted);
    EXPECT_EQ(RegOpenKeyExA(gone, "c", 0, KEY_READ, &other), kKeyDeleted);
    EXPECT_EQ(RegOpenKeyExA(gone, "", 0, KEY_READ, &other), kKeyDeleted);
    EXPECT_EQ(RegOpenKeyExA(gone, nullptr, 0, KEY_READ, &other), kKeyDeleted);
    EXPECT_EQ(RegCreateKeyExA(gone, "c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              kKeyDeleted);
    EXPECT_EQ(RegCreateKeyExA(gone, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              kKeyDeleted);
    size = sizeof buffer;
    EXPECT_EQ(RegEnumKeyExA(gone, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr),
              kKeyDeleted);
    DWORD subKeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(gone, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              kKeyDeleted);
    EXPECT_EQ(RegDeleteValueA(gone, "v"), kKeyDeleted);
    EXPECT_EQ(RegDeleteKeyA(gone, "c"), kKeyDeleted);
    // RegOpenKeyA without a sub-key hands back the same handle without looking at the key.
    EXPECT_EQ(RegOpenKeyA(gone, "", &other), ERROR_SUCCESS);
    EXPECT_EQ(other, gone);
  };
  operations("deleted");
  EXPECT_FALSE(Exists(key_, "Gone"))
      << "creating a sub-key through the old handle brought the key back";

  // A key of the same name created again is another key: the old handle does not reach it.
  HKEY again = nullptr;
  ASSERT_EQ(Create(key_, "Gone", &again), ERROR_SUCCESS);
  operations("created again");
  char buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(again, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Exists(again, "c"));
  RegCloseKey(again);
  EXPECT_EQ(RegCloseKey(gone), ERROR_SUCCESS);

  // A handle below a deleted tree is deleted too.
  HKEY below = nullptr;
  ASSERT_EQ(Create(key_, "T\\U\\V", &below), ERROR_SUCCESS);
  HMODULE shell = LoadLibraryA("SHLWAPI.DLL");
  ASSERT_NE(shell, nullptr);
  using TreeDelete = DWORD (*)(HKEY, LPCSTR);
  auto treeDelete = reinterpret_cast<TreeDelete>(
      reinterpret_cast<void (*)()>(GetProcAddress(shell, "SHDeleteKeyA")));
  ASSERT_NE(treeDelete, nullptr);
  ASSERT_EQ(treeDelete(key_, "T"), 0u);
  EXPECT_EQ(Set(below, "v", REG_SZ, "a", 2), kKeyDeleted);
  ASSERT_EQ(Create(key_, "T\\U\\V"), ERROR_SUCCESS);
  EXPECT_EQ(Set(below, "v", REG_SZ, "a", 2), kKeyDeleted);
  RegCloseKey(below);
  FreeLibrary(shell);
}

// What RegQueryValueExA reports for a string value written with RegSetValueExA.
struct StringCase {
  const char* what;
  DWORD type;
  const char* written;  // the caller's buffer, with what follows the count
  DWORD count;
  DWORD size;  // size of the stored value in bytes, as the "A" query reports it
  struct {
    DWORD room;
    LONG result;
    DWORD size;
    const char* bytes;  // the first five bytes of the buffer afterwards ('#' untouched)
  } reads[3];
};

TEST_F(SeamCases, StringSizesAreThoseWindowsReports) {
  const StringCase cases[] = {
      {"count without the terminator, a zero after it",
       REG_SZ,
       "abc",
       3,
       4,
       {{3, ERROR_MORE_DATA, 4, "#####"},
        {4, ERROR_SUCCESS, 4, "abc\0#"},
        {5, ERROR_SUCCESS, 4, "abc\0#"}}},
      {"count with the terminator",
       REG_SZ,
       "abc",
       4,
       4,
       {{3, ERROR_MORE_DATA, 4, "#####"},
        {4, ERROR_SUCCESS, 4, "abc\0#"},
        {0, ERROR_MORE_DATA, 4, "#####"}}},
      {"count without the terminator, no zero after it",
       REG_SZ,
       "abcX",
       3,
       3,
       {{3, ERROR_SUCCESS, 3, "abc##"},
        {4, ERROR_SUCCESS, 3, "abc\0#"},
        {2, ERROR_MORE_DATA, 3, "#####"}}},
      {"empty",
       REG_SZ,
       "",
       0,
       0,
       {{8, ERROR_SUCCESS, 0, "#####"},
        {0, ERROR_SUCCESS, 0, "#####"},
        {1, ERROR_SUCCESS, 0, "#####"}}},
      {"expandable",
       REG_EXPAND_SZ,
       "abc",
       3,
       4,
       {{3, ERROR_MORE_DATA, 4, "#####"},
        {4, ERROR_SUCCESS, 4, "abc\0#"},
        {0, ERROR_MORE_DATA, 4, "#####"}}},
      {"multi-string",
       REG_MULTI_SZ,
       "a\0b",
       3,
       4,
       {{8, ERROR_SUCCESS, 4, "a\0b\0#"},
        {3, ERROR_MORE_DATA, 4, "#####"},
        {4, ERROR_SUCCESS, 4, "a\0b\0#"}}},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Set(key_, "s", c.type, c.written, c.count), ERROR_SUCCESS);
    DWORD type = 99, size = 0;
    EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(type, c.type);
    for (const auto& read : c.reads) {
      SCOPED_TRACE(read.room);
      char buffer[8];
      std::memset(buffer, '#', sizeof buffer);
      size = read.room;
      EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
                read.result);
      EXPECT_EQ(size, read.size);
      EXPECT_EQ(std::string(buffer, 5), std::string(read.bytes, 5));
    }
  }
}

TEST_F(SeamCases, QueriesOfMissingValuesAndSharedOutParameters) {
  // A missing value: the type becomes 0; the size becomes 0 when no buffer was given and stays
  // as it was when one was.
  DWORD type = 55, size = 77;
  EXPECT_EQ(RegQueryValueExA(key_, "missing", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(size, 0u);
  char buffer[8];
  type = 55;
  size = sizeof buffer;
  EXPECT_EQ(
      RegQueryValueExA(key_, "missing", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(size, 8u);

  // Type and size in one variable: the room is taken before the type is written, and the size
  // is written last.
  ASSERT_EQ(Set(key_, "s", REG_SZ, "abc", 4), ERROR_SUCCESS);
  const DWORD five = 5;
  ASSERT_EQ(RegSetValueExA(key_, "d", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), 4),
            ERROR_SUCCESS);
  const struct {
    const char* name;
    DWORD room;
    bool withData;
    LONG result;
    DWORD after;
  } shared[] = {{"s", 8, true, ERROR_SUCCESS, 4},
                {"d", 4, true, ERROR_SUCCESS, 4},
                {"d", 0, false, ERROR_SUCCESS, 4},
                {"d", 2, true, ERROR_MORE_DATA, 4}};
  for (const auto& c : shared) {
    DWORD both = c.room;
    EXPECT_EQ(RegQueryValueExA(key_, c.name, nullptr, &both,
                               c.withData ? reinterpret_cast<BYTE*>(buffer) : nullptr, &both),
              c.result)
        << c.name << " " << c.room;
    EXPECT_EQ(both, c.after) << c.name << " " << c.room;
  }
  // Data without a size, a reserved pointer, data missing behind a size.
  EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "s", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key_, "n", 0, REG_BINARY, nullptr, 4), 998);
  EXPECT_EQ(RegSetValueExA(key_, "n", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
}

TEST_F(SeamCases, KeyInformationFollowsWindows) {
  HKEY key = nullptr;
  char cls[] = "someclass";
  char longer[] = "longerclassname";
  ASSERT_EQ(Create(key_, "Cls", &key, cls), ERROR_SUCCESS);
  ASSERT_EQ(Create(key, "Sub", nullptr, longer), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "valname", REG_SZ, "hello", 6), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "bin", REG_BINARY, "123", 3), ERROR_SUCCESS);
  const struct {
    int room;  // -1: no class buffer
    LONG result;
    DWORD size;
    const char* text;  // the buffer afterwards, up to its terminator ('#' untouched)
  } cases[] = {
      {-1, ERROR_SUCCESS, 9, "#"},         {0, ERROR_SUCCESS, 9, "#"},
      {1, ERROR_MORE_DATA, 0, ""},         {5, ERROR_MORE_DATA, 4, "some"},
      {9, ERROR_MORE_DATA, 8, "someclas"}, {10, ERROR_SUCCESS, 9, "someclass"},
      {20, ERROR_SUCCESS, 9, "someclass"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    buffer[1] = 0;
    DWORD size = c.room < 0 ? 0 : static_cast<DWORD>(c.room);
    DWORD subKeys = 0, maxSubKey = 0, maxClass = 0, values = 0, maxName = 0, maxData = 0;
    EXPECT_EQ(
        RegQueryInfoKeyA(key, c.room < 0 ? nullptr : buffer, &size, nullptr, &subKeys, &maxSubKey,
                         &maxClass, &values, &maxName, &maxData, nullptr, nullptr),
        c.result);
    EXPECT_EQ(size, c.size);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(maxSubKey, 3u);
    EXPECT_EQ(maxClass, 15u);  // the longest class of a sub-key, not the key's own
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 7u);
    EXPECT_EQ(maxData, 12u);  // "hello" and its terminator as the key keeps them: UTF-16
  }
  char buffer[4];
  EXPECT_EQ(RegQueryInfoKeyA(key, buffer, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(SeamCases, BelowAVolatileKeyOnlyVolatileKeys) {
  HKEY vol = nullptr, key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key_, "Vol", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &vol, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(Create(vol, "Lasting"), ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(Create(key_, "Vol\\Lasting"), ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(RegCreateKeyExA(vol, "Child", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  // Opening an existing volatile key asks nothing of its options.
  DWORD disposition = 0;
  ASSERT_EQ(
      RegCreateKeyExA(key_, "Vol", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  // Keys made on the way to a volatile one are volatile too.
  ASSERT_EQ(RegCreateKeyExA(key_, "Way\\Deep", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Create(key_, "Way\\Lasting"), ERROR_CHILD_MUST_BE_VOLATILE);
  // A volatile key holds values like any other.
  ASSERT_EQ(Set(vol, "v", REG_SZ, "x", 2), ERROR_SUCCESS);
  char buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(vol, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "x");
  RegCloseKey(vol);
}

TEST_F(SeamCases, OpeningEdgeCases) {
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyA(nullptr, "Software", &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
  // A predefined key with no sub-key opens as itself, through either function.
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE}) {
    for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
      SCOPED_TRACE(sub ? "empty" : "null");
      out = nullptr;
      EXPECT_EQ(RegOpenKeyA(root, sub, &out), ERROR_SUCCESS);
      EXPECT_EQ(out, root);
      out = nullptr;
      EXPECT_EQ(RegOpenKeyExA(root, sub, 0, KEY_READ, &out), ERROR_SUCCESS);
      EXPECT_EQ(out, root);
    }
  }
  // An open key with no sub-key: RegOpenKeyA gives the same handle, RegOpenKeyExA a new one.
  out = nullptr;
  EXPECT_EQ(RegOpenKeyA(key_, nullptr, &out), ERROR_SUCCESS);
  EXPECT_EQ(out, key_);
  out = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key_, "", 0, KEY_READ, &out), ERROR_SUCCESS);
  EXPECT_NE(out, key_);
  RegCloseKey(out);
  // A predefined key given by its low 32 bits, zero-extended.
  for (std::uintptr_t root : {std::uintptr_t{0x80000001u}, std::uintptr_t{0x80000002u}}) {
    out = nullptr;
    EXPECT_EQ(RegCreateKeyExA(reinterpret_cast<HKEY>(root), kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &out, nullptr),
              ERROR_SUCCESS)
        << root;
    RegCloseKey(out);
    out = nullptr;
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(root), kTestKey, 0, KEY_READ, &out),
              ERROR_SUCCESS)
        << root;
    RegCloseKey(out);
  }
  // A missing key leaves no handle behind; a leading backslash is not a path.
  out = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(RegOpenKeyExA(key_, "Missing", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(RegOpenKeyA(key_, "Missing", &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(RegOpenKeyExA(key_, "\\x", 0, KEY_READ, &out), kBadPathname);
  EXPECT_EQ(RegCreateKeyExA(key_, "\\x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            kBadPathname);
  EXPECT_EQ(RegDeleteKeyA(key_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(key_, "NoSuch"), ERROR_FILE_NOT_FOUND);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  ASSERT_EQ(std::fclose(f), 0);
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// The profile functions' answer as bytes, with its count.
std::string Profile(const char* section, const char* key, const std::string& file) {
  char buffer[256];
  std::memset(buffer, '#', sizeof buffer);
  const DWORD n =
      GetPrivateProfileStringA(section, key, "def", buffer, sizeof buffer, file.c_str());
  return std::to_string(n) + ":" + std::string(buffer, n + 1);
}

TEST_F(SeamCases, ProfileFilesReadAndWrittenAsWindowsDoes) {
  const std::string file = Host().ScratchFile("settings.ini");
  // Lines ended by a carriage return alone; a write lands in its own section.
  WriteBytes(file, "[A]\rx=1\ry=2\r[B]\rz=3\r");
  EXPECT_EQ(Profile("A", "y", file), Bytes("1:2\0"));
  EXPECT_EQ(Profile("B", "z", file), Bytes("1:3\0"));
  EXPECT_EQ(Profile("A", nullptr, file), Bytes("4:x\0y\0\0"));
  ASSERT_TRUE(WritePrivateProfileStringA("A", "w", "9", file.c_str()));
  EXPECT_EQ(Profile("A", "w", file), Bytes("1:9\0"));
  EXPECT_EQ(Profile("B", "w", file), Bytes("3:def\0"));
  EXPECT_EQ(Profile("B", "z", file), Bytes("1:3\0"));
  EXPECT_LT(ReadBytes(file).find("w=9"), ReadBytes(file).find("[B]"));

  // A line without '=' and a final zero byte are no entries.
  WriteBytes(file, Bytes("[S]\r\nnoequals\r\nk=v\r\n\0"));
  EXPECT_EQ(Profile("S", nullptr, file), Bytes("2:k\0\0"));
  EXPECT_EQ(Profile(nullptr, nullptr, file), Bytes("2:S\0\0"));
  EXPECT_EQ(Profile("S", "noequals", file), Bytes("3:def\0"));

  // A new section follows the last line, without a blank line; a new file gets the section.
  WriteBytes(file, "[S]\r\nk=v\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("T", "a", "1", file.c_str()));
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=v\r\n[T]\r\na=1\r\n");
  const std::string fresh = Host().ScratchFile("long.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("T", "a", "1", fresh.c_str()));
  EXPECT_EQ(ReadBytes(fresh), "[T]\r\na=1\r\n");

  // An empty file name is refused; without a section nothing is written.
  SetLastError(0);
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileStringA("S", "k", "def", buffer, sizeof buffer, ""), 3u);
  EXPECT_STREQ(buffer, "def");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", ""));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=v\r\n[T]\r\na=1\r\n");
}

}  // namespace
}  // namespace vantrel::testing
