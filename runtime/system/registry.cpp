#include "runtime/system/registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/fixed_text.h"
#include "runtime/text/text_case.h"
#include "runtime/seam/win32_seam.h"

#ifdef _WIN32
#define VANTREL_WINAPI WINAPI
#else
#define VANTREL_WINAPI
#endif

namespace vantrel {
namespace {

using namespace vantrel::seam;

// Access for reading values: KEY_QUERY_VALUE with the standard read right. Not KEY_READ, which
// also asks to enumerate and be notified, and is refused on some keys that allow queries.
constexpr REGSAM kQueryAccess = 0x20001;
constexpr std::size_t kProfileTextMax = 1023;
constexpr std::size_t kProfileFileMax = 259;
constexpr DWORD kSubKeyNameBuffer = 256;

using ShDeleteKeyFn = LONG(VANTREL_WINAPI*)(HKEY, LPCSTR);

// The predefined handles are the root's value sign-extended to pointer width, as winreg.h has it.
HKEY RootKey(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

std::string Trimmed(std::string_view text) { return std::string(TrimTrailingBlanks(text)); }

std::string Trimmed(std::string_view text, std::size_t max) {
  std::string_view t = TrimTrailingBlanks(text);
  return std::string(t.substr(0, max));
}

std::string KeyPathArg(std::string_view keyPath) { return Trimmed(keyPath, kRegistryKeyPathMax); }

// Reads the leading integer of the text as the 32 bits of a DWORD: white space, one optional
// sign, digits. No digits is 0; a negative number is its two's complement. Beyond the signed
// 32-bit range the nearest end of it, with one exception: 2147483648 to 4294967295 are the texts
// that reading a DWORD gives back for the high half of its range, so they keep their bits
// (4294967295 is all bits set). Otherwise a value saved as text and written back would change.
std::uint32_t ReadDwordBits(std::string_view text) {
  std::size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kSignedEnd = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  constexpr std::int64_t kUnsignedEnd = std::int64_t{std::numeric_limits<std::uint32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kUnsignedEnd) magnitude = kUnsignedEnd;  // more digits cannot bring it back
  }
  if (negative) return static_cast<std::uint32_t>(-std::min(magnitude, kSignedEnd));
  if (magnitude >= kUnsignedEnd) return static_cast<std::uint32_t>(kSignedEnd - 1);
  return static_cast<std::uint32_t>(magnitude);
}

// Reads the text as a decimal number and gives its magnitude rounded half up at the first
// decimal place; a sign does not matter. Beyond 64 bits the result is the largest 64-bit number,
// the same saturation as the 32-bit reading, rather than a wrapped value nobody asked for.
std::uint64_t ReadQwordMagnitude(std::string_view text) {
  std::size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (kMax - digit) / 10) {
      saturated = true;
    } else if (!saturated) {
      value = value * 10 + digit;
    }
  }
  if (saturated) return kMax;
  if (i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1]) && text[i + 1] >= '5') {
    if (value == kMax) return kMax;
    ++value;
  }
  return value;
}

LONG DeleteTreeByEnumeration(HKEY parent, const char* name) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  // Always take index 0: each deletion shifts the remaining sub-keys down.
  for (;;) {
    char sub[kSubKeyNameBuffer];
    DWORD size = kSubKeyNameBuffer;
    rc = RegEnumKeyExA(key, 0, sub, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) {
      rc = ERROR_SUCCESS;
      break;
    }
    if (rc != ERROR_SUCCESS) break;
    rc = DeleteTreeByEnumeration(key, sub);
    if (rc != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(parent, name);
  return rc;
}

// The shell's tree deletion does the whole job in one call where it exists.
LONG DeleteTreeWithShell(HKEY parent, const char* name) {
  HMODULE lib = LoadLibraryA("SHLWAPI.DLL");
  if (lib == nullptr) return ERROR_FILE_NOT_FOUND;
  LONG rc = ERROR_FILE_NOT_FOUND;
  if (FARPROC proc = GetProcAddress(lib, "SHDeleteKeyA")) {
    // Through void(*)(): the generic function pointer type, so the cast says what it means.
    auto fn = reinterpret_cast<ShDeleteKeyFn>(reinterpret_cast<void (*)()>(proc));
    rc = static_cast<LONG>(fn(parent, name));
  }
  FreeLibrary(lib);
  return rc;
}

}  // namespace

std::uint32_t DwordFromText(std::string_view text) { return ReadDwordBits(text); }

void SetRegistryError(long osError) {
  switch (osError) {
    case 0: ClearRuntimeError(); return;
    case 2: SetRuntimeError(error_code::kFileNotFound); return;
    case 5:
    case 12: SetRuntimeError(error_code::kAccessDenied); return;
    case 8:
    case 14:
    case 1450: SetRuntimeError(error_code::kInsufficientMemory); return;
    default: SetRuntimeError(error_code::kEntryNotFound); return;
  }
}

std::string RegistryGetValue(std::uint32_t root, std::string_view keyPath,
                             std::string_view valueName, std::uint32_t* type) {
  const std::string path = KeyPathArg(keyPath);
  DWORD valueType = 0;
  std::string result;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), path.c_str(), 0, kQueryAccess, &key);
  if (rc == ERROR_SUCCESS) {
    const std::string name = Trimmed(valueName);
    DWORD size = 0;
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &valueType, nullptr, &size);
    if (rc != ERROR_SUCCESS) valueType = 0;
    if (rc == ERROR_SUCCESS && size != 0 && valueType != REG_NONE) {
      std::string data(size, '\0');
      DWORD got = size;
      rc = RegQueryValueExA(key, name.c_str(), nullptr, &valueType,
                            reinterpret_cast<LPBYTE>(data.data()), &got);
      if (rc == ERROR_SUCCESS) {
        data.resize(got < size ? got : size);
        // Numbers shorter than their width read as if the missing high bytes were zero, rather
        // than from past the end of the data.
        auto bytesOf = [&data](std::size_t width) {
          std::array<unsigned char, 8> b{};
          std::memcpy(b.data(), data.data(), data.size() < width ? data.size() : width);
          return b;
        };
        switch (valueType) {
          case REG_SZ:
          case REG_EXPAND_SZ: result = data.substr(0, data.find('\0')); break;
          case REG_DWORD: {
            const auto b = bytesOf(4);
            result = std::to_string(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                    std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24);
            break;
          }
          case REG_DWORD_BIG_ENDIAN: {
            const auto b = bytesOf(4);
            result = std::to_string(std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 |
                                    std::uint32_t{b[2]} << 8 | std::uint32_t{b[3]});
            break;
          }
          case REG_QWORD: {
            const auto b = bytesOf(8);
            std::uint64_t v = 0;
            for (int i = 7; i >= 0; --i) v = v << 8 | b[static_cast<std::size_t>(i)];
            result = std::to_string(v);
            break;
          }
          default: result = std::move(data); break;
        }
      }
    }
    RegCloseKey(key);
  }
  if (type != nullptr) *type = valueType;
  SetRegistryError(rc);
  return result;
}

long RegistryPutValue(std::uint32_t root, std::string_view keyPath, std::string_view valueName,
                      std::string_view text, std::uint32_t type) {
  const std::string path = KeyPathArg(keyPath);
  HKEY key = nullptr;
  char noClass[] = "";
  DWORD disposition = 0;
  LONG rc = RegCreateKeyExA(RootKey(root), path.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &key, &disposition);
  if (rc != ERROR_SUCCESS) {
    SetRegistryError(rc);
    return rc;
  }
  const std::string name = Trimmed(valueName);
  std::string_view value = TrimTrailingBlanks(text);
  while (!value.empty() && value.back() == '\0') value.remove_suffix(1);

  std::string data;
  switch (type) {
    case REG_NONE: break;
    case REG_SZ:
    case REG_EXPAND_SZ:
      data.assign(value);
      data.push_back('\0');
      break;
    case REG_BINARY: data.assign(value); break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      const std::uint32_t n = ReadDwordBits(value);
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>(n >> (8 * i)));
      if (type == REG_DWORD_BIG_ENDIAN) std::swap(data[0], data[3]), std::swap(data[1], data[2]);
      break;
    }
    case REG_MULTI_SZ:
      data.assign(value);
      data.append(2, '\0');
      break;
    case REG_QWORD: {
      const std::uint64_t n = ReadQwordMagnitude(value);
      for (int i = 0; i < 8; ++i) data.push_back(static_cast<char>(n >> (8 * i)));
      break;
    }
    default: break;  // an empty value of that type
  }
  rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                      static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  SetRegistryError(rc);
  return rc;
}

void RegistryDelete(std::uint32_t root, std::string_view keyPath, std::string_view valueName) {
  const std::string path = KeyPathArg(keyPath);
  const std::string name = Trimmed(valueName);
  if (!name.empty()) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
      rc = RegDeleteValueA(key, name.c_str());
      RegCloseKey(key);
    }
    SetRegistryError(rc);
    return;
  }
  if (path.empty()) {
    SetRegistryError(ERROR_FILE_NOT_FOUND);
    return;
  }
  const std::size_t cut = path.rfind('\\');
  const std::string parentPath = cut == std::string::npos ? std::string() : path.substr(0, cut);
  const std::string child = cut == std::string::npos ? path : path.substr(cut + 1);
  HKEY parent = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), parentPath.c_str(), 0, KEY_ALL_ACCESS, &parent);
  if (rc != ERROR_SUCCESS) {
    SetRegistryError(rc);
    return;
  }
  rc = DeleteTreeWithShell(parent, child.c_str());
  // A refusal is the answer, not a reason to try piece by piece: that would delete the sub-keys
  // it may delete and then fail on the same key (the Linux store's keys that stand for Samba's
  // configuration), leaving half a tree.
  if (rc != ERROR_SUCCESS && rc != ERROR_ACCESS_DENIED)
    rc = DeleteTreeByEnumeration(parent, child.c_str());
  RegCloseKey(parent);
  SetRegistryError(rc);
}

void RegistryDeleteDefaultValue(std::uint32_t root, std::string_view keyPath) {
  const std::string path = KeyPathArg(keyPath);
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegDeleteValueA(key, "");
    RegCloseKey(key);
  }
  SetRegistryError(rc);
}

std::optional<bool> RegistryKeyHasContent(std::uint32_t root, std::string_view keyPath) {
  const std::string path = KeyPathArg(keyPath);
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), path.c_str(), 0, kQueryAccess, &key);
  if (rc != ERROR_SUCCESS) {
    SetRegistryError(rc);
    return std::nullopt;
  }
  DWORD subKeys = 0;
  DWORD values = 0;
  rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                        nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  SetRegistryError(rc);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return subKeys != 0 || values != 0;
}

std::string RegistryReadProblem(std::uint32_t root) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), "", 0, kQueryAccess, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
  }
  SetRegistryError(rc);
  if (rc == ERROR_SUCCESS) return {};
  if (std::string text = RegistryProblemText(); !text.empty()) return text;
  return std::string(RegistryRootName(root)) + ": " + RuntimeErrorText() + " (system error " +
         std::to_string(rc) + ")";
}

long DeleteRegistryTreeByEnumeration(std::uint32_t root, std::string_view parentPath,
                                     std::string_view name) {
  HKEY parent = nullptr;
  LONG rc =
      RegOpenKeyExA(RootKey(root), std::string(parentPath).c_str(), 0, KEY_ALL_ACCESS, &parent);
  if (rc != ERROR_SUCCESS) return rc;
  rc = DeleteTreeByEnumeration(parent, std::string(name).c_str());
  RegCloseKey(parent);
  return rc;
}

std::string GETINI(std::string_view section, std::string_view entry, std::string_view defaultText,
                   std::string_view fileName) {
  const std::string sectionArg = Trimmed(section);
  const std::string entryArg = Trimmed(entry);
  const std::string defaultArg = Trimmed(defaultText, kProfileTextMax);
  const std::string fileArg = Trimmed(fileName, kProfileFileMax);
  char buffer[kProfileTextMax + 1] = {};
  const DWORD n = fileArg.empty() ? GetProfileStringA(sectionArg.c_str(), entryArg.c_str(),
                                                      defaultArg.c_str(), buffer, sizeof buffer)
                                  : GetPrivateProfileStringA(sectionArg.c_str(), entryArg.c_str(),
                                                             defaultArg.c_str(), buffer,
                                                             sizeof buffer, fileArg.c_str());
  return std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1);
}

void ProfilePutEntry(std::string_view section, std::optional<std::string_view> entry,
                     std::optional<std::string_view> value, std::string_view fileName) {
  const std::string sectionArg = Trimmed(section);
  const std::optional<std::string> entryArg =
      entry ? std::optional<std::string>(Trimmed(*entry)) : std::nullopt;
  const std::optional<std::string> valueArg =
      value ? std::optional<std::string>(Trimmed(*value, kProfileTextMax)) : std::nullopt;
  const std::string fileArg = Trimmed(fileName, kProfileFileMax);
  const char* entryPtr = entryArg ? entryArg->c_str() : nullptr;
  const char* valuePtr = valueArg ? valueArg->c_str() : nullptr;
  if (fileArg.empty()) {
    WriteProfileStringA(sectionArg.c_str(), entryPtr, valuePtr);
  } else {
    WritePrivateProfileStringA(sectionArg.c_str(), entryPtr, valuePtr, fileArg.c_str());
  }
}

namespace {

struct RootPrefix {
  std::string_view prefix;  // with its closing backslash
  std::uint32_t root;
};

constexpr RootPrefix kRootPrefixes[] = {
    {"HKEY_CLASSES_ROOT\\", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER\\", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE\\", kHkeyLocalMachine},
    {"HKEY_USERS\\", kHkeyUsers},
};

}  // namespace

std::optional<RegistryPath> SplitRegistryPath(std::string_view text) {
  for (const RootPrefix& p : kRootPrefixes) {
    if (StartsWithIgnoreCase(text, p.prefix)) {
      return RegistryPath{p.root, std::string(text.substr(p.prefix.size()))};
    }
  }
  return std::nullopt;
}

std::string_view RegistryRootName(std::uint32_t root) {
  for (const RootPrefix& p : kRootPrefixes) {
    if (p.root == root) return p.prefix.substr(0, p.prefix.size() - 1);
  }
  return {};
}

}  // namespace vantrel
