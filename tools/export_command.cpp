// vantrelctl export: the items' values as a file that deployment tools apply on many machines.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/export_ansible.h"
#include "app/export_gpp.h"
#include "app/export_items.h"
#include "app/export_pol.h"
#include "app/export_reg.h"
#include "runtime/system/registry.h"
#include "runtime/system/safe_replace.h"
#include "tools/app_commands.h"
#include "tools/binary_output.h"
#include "tools/commands.h"
#include "tools/same_file.h"

namespace vantrel::tools {

// The whole file is made before anything is written, and it replaces the target only once it
// is complete: a failed export leaves the target as it was. A character device or a FIFO (a
// pipe to another program, /dev/null) is written in place, never removed.
int WriteExportOutput(const std::string& bytes, const std::optional<std::string>& file) {
  if (!file) {
    SetStdoutBinary();
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
      return Failure("standard output", std::string("cannot write: ") + std::strerror(errno));
    }
    return kExitOk;
  }
  ReplaceOptions options;
  options.devicesInPlace = true;
  options.followLinks = false;  // a link planted at the name would send the file elsewhere
  if (!ReplaceWholeFile(*file, bytes, options)) return Failure(*file, LastReplace().problem);
  SayReplacedLinks(*file);
  return kExitOk;
}

int ExportCommand(const Args& args) {
  std::optional<std::string_view> format;
  std::optional<std::string_view> group;
  std::optional<std::string> output;
  app::ExportValues values = app::ExportValues::kDisable;
  bool restarts = true;
  app::MainData data;
  std::vector<std::string_view> given;  // the options that took a value
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--force") {
      data.smb1Guard = app::Smb1Guard::kNever;
      continue;
    }
    if (arg == "--no-restart") {
      restarts = false;
      continue;
    }
    const bool takesValue = arg == "--format" || arg == "--values" || arg == "--settings" ||
                            arg == "--group" || arg == "-o";
    if (!takesValue) return UsageError("export: unexpected argument '" + std::string(arg) + "'");
    if (i + 1 >= args.size()) return UsageError("export: " + std::string(arg) + " needs a value");
    // Given twice, the last would win silently, whichever the user meant.
    if (std::find(given.begin(), given.end(), arg) != given.end()) {
      return UsageError("export: " + std::string(arg) + " given twice");
    }
    given.push_back(arg);
    const std::string_view value = args[++i];
    if (arg == "--format") {
      if (value != "reg" && value != "ansible" && value != "pol" && value != "gpp") {
        return UsageError("export: unknown format '" + std::string(value) +
                          "' (reg, pol, gpp or ansible)");
      }
      format = value;
    } else if (arg == "--values") {
      const auto named = app::ExportValuesNamed(value);
      if (!named) {
        return UsageError("export: unknown values '" + std::string(value) +
                          "' (disable, enable, saved or current)");
      }
      values = *named;
    } else if (arg == "--settings" || arg == "-o") {
      if (std::string problem = FileNameProblem(arg, value); !problem.empty()) {
        return UsageError("export: " + problem);
      }
      if (arg == "-o") {
        output = std::string(value);
      } else {
        data.settingsFile = std::string(value);
      }
    } else if (arg == "--group") {
      if (!app::IsAnsibleGroupName(value)) {
        return UsageError("export: '" + std::string(value) +
                          "' is no inventory group name (letters, digits and _, not starting "
                          "with a digit)");
      }
      group = value;
    }
  }
  if (!format) return UsageError("export: --format reg, pol, gpp or ansible is required");
  if (*format == "ansible" && !group) {
    return UsageError(
        "export: --format ansible needs --group NAME, the inventory group to apply to");
  }
  if (*format != "ansible" && group) return UsageError("export: --group is for --format ansible");
  // Written over the settings file it is made from, an export would lose every item.
  if (output && IsSameFile(*output, data.settingsFile)) {
    return UsageError("export: -o " + *output + " is the settings file the items are read from; " +
                      "name another file");
  }

  // A named prefix that does not exist reads as an empty registry: its "current" values would
  // all be N/A, an export that removes every value.
  if (values == app::ExportValues::kCurrent) {
    if (const std::string problem = RegistryLocationProblem(); !problem.empty()) {
      return Failure("export", problem);
    }
  }
  if (!LoadSettingsForCommand(data)) return kExitFailed;
  std::vector<app::ExportItem> items;
  std::string error;
  if (!app::CollectExportItems(data, values, &items, &error)) return Failure("export", error);
  app::ExportResult result;
  if (*format == "reg") {
    result = app::WriteRegFile(items, restarts);
  } else if (*format == "pol") {
    result = app::WritePolFile(items);
  } else if (*format == "gpp") {
    result = app::WriteGppRegistryXml(items, values, app::GppStampNow(), restarts);
  } else {
    result = app::WriteAnsiblePlaybook(items, *group, values, restarts);
  }
  if (!result.error.empty()) return Failure("export", result.error);
  if (const int status = WriteExportOutput(result.bytes, output); status != kExitOk) return status;
  // Registry.pol has no room for a comment: what must restart is said here instead.
  if (*format == "pol" && restarts) {
    for (app::TakesEffect effect : app::ExportRestarts(items)) {
      std::fprintf(stderr, "vantrelctl: note: once Group Policy applied the Registry.pol: %.*s\n",
                   static_cast<int>(app::TakesEffectLine(effect).size()),
                   app::TakesEffectLine(effect).data());
    }
  }
  return kExitOk;
}

}  // namespace vantrel::tools
