// vantrelctl reg get|set|delete and vantrelctl os: the registry operations of the runtime, as a
// script would use them.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/input_checks.h"
#include "runtime/errors/error_state.h"
#include "runtime/system/os_version.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/text/text_case.h"
#include "tools/commands.h"
#include "tools/text_escapes.h"

namespace vantrel::tools {
namespace {

// The short root names that reg.exe users type are accepted too. Trailing backslashes are
// dropped: "HKLM\Software\X\" names the key X, never an unnamed key below it.
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
    if (EqualsIgnoreCase(head, s.shortName)) full = s.longName + full.substr(head.size());
  }
  if (full.find('\\') == std::string::npos) full += '\\';  // the root itself
  return SplitRegistryPath(full);
}

// Input refused before anything is written: one line "vantrelctl: WHAT: WHY", exit status 2.
int Refused(std::string_view what, std::string_view why) {
  Failure(what, why);
  return kExitUsage;
}

// An argument as a message shows it: a very long one by its start.
std::string Shown(std::string_view text) {
  constexpr std::size_t kShownMax = 60;
  if (text.size() <= kShownMax) return std::string(text);
  return std::string(text.substr(0, kShownMax)) + "...";
}

// What a failure concerns: the key as typed and, when one was given, the value name.
std::string Subject(std::string_view keyText, const std::optional<std::string>& valueName) {
  std::string subject(keyText);
  if (valueName && valueName->empty())
    subject += " default value";
  else if (valueName)
    subject += " value \"" + EscapeBytes(*valueName) + "\"";
  return subject;
}

// Why the last registry call failed: the registry's own words when it has them (the store names
// the file and the reason), else the runtime's error text and code.
std::string Reason() {
  if (std::string text = RegistryProblemText(); !text.empty()) return text;
  return RuntimeErrorText() + " (error " + std::to_string(RuntimeErrorCode()) + ")";
}

// The failure the runtime error state describes.
int Failed(std::string_view doing, const std::string& subject) {
  return Failure(subject, std::string(doing) + ": " + Reason());
}

// The key path argument, checked. Nothing when it was refused (the usage error is reported).
std::optional<RegistryPath> KeyPathArgument(std::string_view text) {
  const TypedText typed = ArgumentText(text);
  if (!typed.problem.empty()) {
    Refused(Shown(text), typed.problem);
    return std::nullopt;
  }
  auto path = ParseKeyPath(typed.text);
  if (!path) {
    Refused(Shown(text), "no registry path (it starts with HKEY_LOCAL_MACHINE, HKLM, HKCU, ...)");
    return std::nullopt;
  }
  // The checks and the write see one form of the path: a key path that the registry would take
  // for another key (trailing blanks it drops) is refused, and separators are made single.
  if (const std::string problem = app::EdgeBlankProblem(path->keyPath); !problem.empty()) {
    Refused(Shown(text), problem);
    return std::nullopt;
  }
  path->keyPath = app::NormalKeyPath(path->keyPath);
  if (const std::string problem = app::KeyPathProblem(path->keyPath); !problem.empty()) {
    Refused(Shown(text), problem);
    return std::nullopt;
  }
  return path;
}

// A value name argument, unescaped and checked. Nothing when it was refused (the usage error is
// reported).
std::optional<std::string> ValueNameArgument(std::string_view text) {
  const TypedText typed = ArgumentText(text);
  std::string name = UnescapeBytes(typed.text);
  std::string problem = typed.problem.empty() ? app::ValueNameProblem(name) : typed.problem;
  // A value name may hold backslashes; only its own ends matter.
  if (problem.empty() && (name.front() == ' ' || name.back() == ' ')) {
    problem = app::EdgeBlankProblem(name);
  }
  if (!problem.empty()) {
    Refused("value name \"" + Shown(text) + "\"", problem);
    return std::nullopt;
  }
  return name;
}

// Splits the arguments into positional ones and options; "--" ends the options.
struct Parsed {
  std::vector<std::string_view> positional;
  bool typeFlag = false;
  std::optional<std::string_view> typeValue;
  bool recursive = false;
  bool defaultValue = false;  // --default: the key's unnamed value
  std::optional<std::string> error;
};

enum class Options { kTypeFlag, kTypeValue, kRecursive };

Parsed ParseArgs(const Args& args, Options accepted) {
  Parsed p;
  bool options = true;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--type" && accepted != Options::kRecursive) {
      p.typeFlag = true;
      if (accepted == Options::kTypeValue) {
        if (i + 1 >= args.size()) {
          p.error = "--type needs a type (a number or a name such as REG_DWORD)";
          return p;
        }
        p.typeValue = args[++i];
      }
    } else if (options && a == "--recursive" && accepted == Options::kRecursive) {
      p.recursive = true;
    } else if (options && a == "--default") {
      p.defaultValue = true;
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
  Parsed p = ParseArgs(args, Options::kTypeFlag);
  if (p.error) return UsageError(*p.error);
  if (p.positional.empty() || p.positional.size() > (p.defaultValue ? 1u : 2u)) {
    return UsageError("usage: vantrelctl reg get KEYPATH [VALUENAME | --default] [--type]");
  }
  const auto path = KeyPathArgument(p.positional[0]);
  if (!path) return kExitUsage;
  // Without a name (or with --default) the key's default value is read.
  std::optional<std::string> valueName = std::string();
  if (p.positional.size() > 1 && !(valueName = ValueNameArgument(p.positional[1]))) {
    return kExitUsage;
  }
  std::uint32_t type = 0;
  const std::string text =
      RegistryGetValue(path->root, path->keyPath, valueName.value_or(""), &type);
  if (RuntimeErrorCode() != 0) return Failed("cannot read", Subject(p.positional[0], valueName));
  const std::string line = EscapeBytes(text);
  if (p.typeFlag) {
    std::printf("%u\t%s\n", static_cast<unsigned>(type), line.c_str());
  } else {
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

int RegSet(const Args& args) {
  Parsed p = ParseArgs(args, Options::kTypeValue);
  if (p.error) return UsageError(*p.error);
  if (p.positional.size() != (p.defaultValue ? 2u : 3u)) {
    return UsageError(
        "usage: vantrelctl reg set KEYPATH VALUENAME|--default TEXT [--type N|REG_SZ|...]");
  }
  const auto path = KeyPathArgument(p.positional[0]);
  if (!path) return kExitUsage;
  std::uint32_t type = 1;
  if (p.typeValue) {
    const auto parsed = ParseRegistryType(*p.typeValue);
    if (!parsed) return UsageError("unknown value type '" + std::string(*p.typeValue) + "'");
    type = *parsed;
  }
  // The default value has no name; --default says so, where a blank name would be a mistake.
  const auto valueName =
      p.defaultValue ? std::optional<std::string>("") : ValueNameArgument(p.positional[1]);
  if (!valueName) return kExitUsage;
  const std::string_view textArg = p.positional[p.defaultValue ? 1 : 2];
  const TypedText typed = ArgumentText(textArg);
  if (!typed.problem.empty()) {
    return Refused("value \"" + EscapeBytes(*valueName) + "\"",
                   "'" + Shown(textArg) + "': " + typed.problem + "; nothing was written");
  }
  std::string text = UnescapeBytes(typed.text);
  if (app::IsNumberType(type)) {
    // The runtime reads whatever digits lead the text and clamps the rest; a typed number is
    // either taken exactly or refused.
    const auto number = app::NumberText(text, type);
    if (!number) {
      return Refused(
          "value \"" + EscapeBytes(*valueName) + "\"",
          "'" + Shown(textArg) + "' is not " + app::NumberRule(type) + "; nothing was written");
    }
    text = *number;
  }
  const long status = RegistryPutValue(path->root, path->keyPath, *valueName, text, type);
  if (status != 0) {
    if (std::string text = RegistryProblemText(); !text.empty()) {
      return Failure(Subject(p.positional[0], valueName), "cannot write: " + text);
    }
    return Failure(Subject(p.positional[0], valueName),
                   "cannot write: " + RuntimeErrorText() + " (error " +
                       std::to_string(RuntimeErrorCode()) + ", system error " +
                       std::to_string(status) + ")");
  }
  return kExitOk;
}

int RegDelete(const Args& args) {
  Parsed p = ParseArgs(args, Options::kRecursive);
  if (p.error) return UsageError(*p.error);
  if (p.positional.empty() || p.positional.size() > (p.defaultValue ? 1u : 2u)) {
    return UsageError("usage: vantrelctl reg delete KEYPATH [VALUENAME | --default] [--recursive]");
  }
  const auto path = KeyPathArgument(p.positional[0]);
  if (!path) return kExitUsage;
  const std::string subjectKey(p.positional[0]);
  if (p.defaultValue) {
    if (p.recursive) return UsageError("--recursive is for deleting a key, not its default value");
    RegistryDeleteDefaultValue(path->root, path->keyPath);
    if (RuntimeErrorCode() != 0) return Failed("cannot delete", Subject(subjectKey, std::string()));
    return kExitOk;
  }
  if (p.positional.size() > 1) {
    if (p.recursive) return UsageError("--recursive is for deleting a key, not a value");
    const auto valueName = ValueNameArgument(p.positional[1]);
    if (!valueName) return kExitUsage;
    RegistryDelete(path->root, path->keyPath, *valueName);
    if (RuntimeErrorCode() != 0) return Failed("cannot delete", Subject(subjectKey, valueName));
    return kExitOk;
  }
  if (const std::string problem = app::KeyDeletionProblem(path->root, path->keyPath);
      !problem.empty()) {
    return Refused(subjectKey, "refusing to delete it: " + problem);
  }
  const auto hasContent = RegistryKeyHasContent(path->root, path->keyPath);
  if (!hasContent) return Failed("cannot delete", subjectKey);
  if (*hasContent && !p.recursive) {
    return Refused(subjectKey,
                   std::string("refusing to delete it") +
                       ": it holds sub-keys or values; add --recursive to delete it with "
                       "everything under it");
  }
  RegistryDelete(path->root, path->keyPath, "");
  if (RuntimeErrorCode() != 0) return Failed("cannot delete", subjectKey);
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
  // No version at all may mean a registry that cannot be read: that is a failure, not a system.
  if (RecordsNoVersion(SystemVersionRecord())) {
    if (std::string problem = RegistryReadProblem(kHkeyLocalMachine); !problem.empty()) {
      return Failure("os", problem);
    }
  }
  std::printf("%s\n", WindowsVersion().c_str());
  return kExitOk;
}

}  // namespace vantrel::tools
