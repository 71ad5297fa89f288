// vantrelctl reg get|set|delete and vantrelctl os: the registry operations of the runtime, as a
// script would use them.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/error_state.h"
#include "runtime/os_version.h"
#include "runtime/registry.h"
#include "tools/commands.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

struct TypeName {
  const char* name;
  std::uint32_t type;
};

constexpr TypeName kTypeNames[] = {
    {"REG_NONE", 0},
    {"REG_SZ", 1},
    {"REG_EXPAND_SZ", 2},
    {"REG_BINARY", 3},
    {"REG_DWORD", 4},
    {"REG_DWORD_LITTLE_ENDIAN", 4},
    {"REG_DWORD_BIG_ENDIAN", 5},
    {"REG_LINK", 6},
    {"REG_MULTI_SZ", 7},
    {"REG_RESOURCE_LIST", 8},
    {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
    {"REG_RESOURCE_REQUIREMENTS_LIST", 10},
    {"REG_QWORD", 11},
    {"REG_QWORD_LITTLE_ENDIAN", 11},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// A type name or number (decimal, or hex with 0x).
std::optional<std::uint32_t> ParseType(std::string_view text) {
  for (const TypeName& t : kTypeNames) {
    if (EqualsNoCase(text, t.name)) return t.type;
  }
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (*end != '\0' || s[0] == '-' || s[0] == '+' || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

// The short root names that reg.exe users type are accepted too.
std::optional<RegistryPath> ParseKeyPath(std::string_view text) {
  static const struct {
    const char* shortName;
    const char* longName;
  } kShort[] = {{"HKCR", "HKEY_CLASSES_ROOT"},
                {"HKCU", "HKEY_CURRENT_USER"},
                {"HKLM", "HKEY_LOCAL_MACHINE"},
                {"HKU", "HKEY_USERS"}};
  std::string full(text);
  const std::size_t slash = full.find('\\');
  const std::string head = full.substr(0, slash);
  for (const auto& s : kShort) {
    if (EqualsNoCase(head, s.shortName)) full = s.longName + full.substr(head.size());
  }
  if (full.find('\\') == std::string::npos) full += '\\';  // the root itself
  return SplitRegistryPath(full);
}

int Failed(std::string_view what, std::string_view keyText, std::string_view valueName) {
  std::fprintf(stderr, "error %d: %s\n", static_cast<int>(RuntimeErrorCode()),
               RuntimeErrorText().c_str());
  std::fprintf(stderr, "vantrelctl: %.*s %.*s", static_cast<int>(what.size()), what.data(),
               static_cast<int>(keyText.size()), keyText.data());
  if (!valueName.empty()) {
    const std::string name = EscapeBytes(valueName);
    std::fprintf(stderr, " value \"%s\"", name.c_str());
  }
  std::fputc('\n', stderr);
  return kExitFailed;
}

// Splits the arguments into positional ones and options; "--" ends the options.
struct Parsed {
  std::vector<std::string_view> positional;
  bool typeFlag = false;
  std::optional<std::string_view> typeValue;
  std::optional<std::string> error;
};

Parsed ParseArgs(const Args& args, std::size_t first, bool typeTakesValue) {
  Parsed p;
  bool options = true;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--type") {
      p.typeFlag = true;
      if (typeTakesValue) {
        if (i + 1 >= args.size()) {
          p.error = "--type needs a type (a number or a name such as REG_DWORD)";
          return p;
        }
        p.typeValue = args[++i];
      }
    } else if (options && a.size() > 1 && a[0] == '-' && a[1] == '-') {
      p.error = "unknown option '" + std::string(a) + "'";
      return p;
    } else {
      p.positional.push_back(a);
    }
  }
  return p;
}

int RegGet(const Args& args) {
  Parsed p = ParseArgs(args, 1, false);
  if (p.error) return UsageError(*p.error);
  if (p.positional.empty() || p.positional.size() > 2) {
    return UsageError("usage: vantrelctl reg get KEYPATH [VALUENAME] [--type]");
  }
  const auto path = ParseKeyPath(p.positional[0]);
  if (!path) return UsageError("'" + std::string(p.positional[0]) + "' is no registry path");
  const std::string valueName = p.positional.size() > 1 ? UnescapeBytes(p.positional[1]) : "";
  std::uint32_t type = 0;
  const std::string text = RegistryGetValue(path->root, path->keyPath, valueName, &type);
  if (RuntimeErrorCode() != 0) return Failed("reading", p.positional[0], valueName);
  const std::string line = EscapeBytes(text);
  if (p.typeFlag) {
    std::printf("%u\t%s\n", static_cast<unsigned>(type), line.c_str());
  } else {
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

int RegSet(const Args& args) {
  Parsed p = ParseArgs(args, 1, true);
  if (p.error) return UsageError(*p.error);
  if (p.positional.size() != 3) {
    return UsageError("usage: vantrelctl reg set KEYPATH VALUENAME TEXT [--type N|REG_SZ|...]");
  }
  const auto path = ParseKeyPath(p.positional[0]);
  if (!path) return UsageError("'" + std::string(p.positional[0]) + "' is no registry path");
  std::uint32_t type = 1;
  if (p.typeValue) {
    const auto parsed = ParseType(*p.typeValue);
    if (!parsed) return UsageError("unknown value type '" + std::string(*p.typeValue) + "'");
    type = *parsed;
  }
  const std::string valueName = UnescapeBytes(p.positional[1]);
  const long status =
      RegistryPutValue(path->root, path->keyPath, valueName, UnescapeBytes(p.positional[2]), type);
  if (status != 0) {
    Failed("writing", p.positional[0], valueName);
    std::fprintf(stderr, "vantrelctl: the system reported error %ld\n", status);
    return kExitFailed;
  }
  return kExitOk;
}

int RegDelete(const Args& args) {
  Parsed p = ParseArgs(args, 1, false);
  if (p.error || p.typeFlag) return UsageError(p.error.value_or("--type is for reg get and set"));
  if (p.positional.empty() || p.positional.size() > 2) {
    return UsageError("usage: vantrelctl reg delete KEYPATH [VALUENAME]");
  }
  const auto path = ParseKeyPath(p.positional[0]);
  if (!path) return UsageError("'" + std::string(p.positional[0]) + "' is no registry path");
  const std::string valueName = p.positional.size() > 1 ? UnescapeBytes(p.positional[1]) : "";
  RegistryDelete(path->root, path->keyPath, valueName);
  if (RuntimeErrorCode() != 0) return Failed("deleting", p.positional[0], valueName);
  return kExitOk;
}

}  // namespace

int RegCommand(const Args& args) {
  if (args.empty()) return UsageError("reg needs get, set or delete");
  if (args[0] == "get") return RegGet(args);
  if (args[0] == "set") return RegSet(args);
  if (args[0] == "delete") return RegDelete(args);
  return UsageError("unknown reg command '" + std::string(args[0]) + "'");
}

int OsCommand(const Args& args) {
  if (!args.empty()) return UsageError("os takes no arguments");
  std::printf("%s\n", WindowsVersion().c_str());
  return kExitOk;
}

}  // namespace vantrel::tools
