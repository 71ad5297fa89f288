#include "tools/known_commands.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/known_values.h"
#include "app/settings_file.h"
#include "runtime/system/os_version.h"
#include "runtime/system/registry.h"
#include "tools/item_rows.h"
#include "tools/text_escapes.h"

#ifndef _WIN32
#include "runtime/system/store/registry_store.h"
#endif

namespace vantrel::tools {
namespace {

std::string_view EffectName(app::TakesEffect effect) {
  switch (effect) {
    case app::TakesEffect::kRestartServer: return "a restart of the Server service";
    case app::TakesEffect::kRestartWorkstation: return "a restart of the Workstation service";
    case app::TakesEffect::kReboot: break;
    case app::TakesEffect::kReloadSamba:
      return "a reload of Samba's configuration (smbcontrol smbd reload-config)";
    case app::TakesEffect::kRestartSmbd: return "a restart of smbd";
  }
  return "a restart of the computer";
}

app::ValueName NameOf(const app::DisplayRecord& row) {
  return {std::string(row.KEYNAME.Trimmed()), std::string(row.VALUENAME.Trimmed())};
}

// The text the registry would read back after `step`: what a DWORD write stores, or "N/A".
std::string ValueAfter(const app::ApplyStep& step) {
  return step.kind == app::ApplyStep::kDelete ? "N/A" : std::to_string(DwordFromText(step.value));
}

}  // namespace

void PrintExplanation(app::MainData& data) {
  bool first = true;
  ForEachRow(data, [&](const app::DisplayRecord& row) {
    if (!first) std::printf("\n");
    first = false;
    // The value's full path, escaped as every registry text vantrelctl prints.
    const std::string path =
        std::string(row.KEYNAME.Trimmed()) + "\\" + std::string(row.VALUENAME.Trimmed());
    std::printf("%s\n", EscapeBytes(path).c_str());
    std::printf("  disable %s, enable %s, saved %s, now %s\n",
                EscapeBytes(row.DISABLEVALUE.Trimmed()).c_str(),
                EscapeBytes(row.ENABLEVALUE.Trimmed()).c_str(),
                EscapeBytes(row.SAVEDVALUE.Trimmed()).c_str(),
                EscapeBytes(row.CURRENTVALUE.Trimmed()).c_str());
    const app::KnownValue* known =
        app::FindKnownValue(row.KEYNAME.Trimmed(), row.VALUENAME.Trimmed());
    if (known == nullptr) {
      std::printf(
          "  Not in Vantrel's table of known values: find out what it does before "
          "applying it.\n");
      return;
    }
    std::printf("  %.*s\n", static_cast<int>(known->meaning.size()), known->meaning.data());
    std::printf("  %s default: %.*s\n", known->reach == app::Reach::kSamba ? "Samba's" : "Windows'",
                static_cast<int>(known->windowsDefault.size()), known->windowsDefault.data());
    const std::string_view effect = EffectName(known->takesEffect);
    std::printf("  Takes effect after %.*s.\n", static_cast<int>(effect.size()), effect.data());
    std::printf("  First honoured by: %.*s\n", static_cast<int>(known->firstWindows.size()),
                known->firstWindows.data());
    // What the disable value does on the system this runs on (or whose registry the store is).
    const app::Effect here = DisableEffect(row);
    const std::string_view kind = app::EffectKindName(here.kind);
    std::printf("  Disable value on %s: %.*s. %s\n", WindowsVersion().c_str(),
                static_cast<int>(kind.size()), kind.data(), here.why.c_str());
  });
}

std::vector<std::string> CurrentValues(app::MainData& data) {
  std::vector<std::string> values;
  ForEachRow(data,
             [&](const app::DisplayRecord& row) { values.push_back(row.CURRENTVALUE.Str()); });
  return values;
}

void PrintRestartsAfter(app::MainData& data, const std::vector<std::string>& before) {
  std::vector<app::ValueName> changed;
  std::size_t i = 0;
  ForEachRow(data, [&](const app::DisplayRecord& row) {
    if (i >= before.size() || before[i] != row.CURRENTVALUE.Str()) changed.push_back(NameOf(row));
    ++i;
  });
  for (app::TakesEffect effect : app::RestartsNeeded(changed)) {
    const std::string_view line = app::TakesEffectLine(effect);
    std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

void PrintPlannedRestarts(app::MainData& data, int mode) {
  std::vector<app::ValueName> changing;
  ForEachRow(data, [&](const app::DisplayRecord& row) {
    const app::ApplyStep step = app::PlanCurrentRow(data, mode);
    if (step.kind != app::ApplyStep::kRefuse && ValueAfter(step) != row.CURRENTVALUE.Trimmed()) {
      changing.push_back(NameOf(row));
    }
  });
  for (app::TakesEffect effect : app::RestartsNeeded(changing)) {
    const std::string_view line = app::TakesEffectLine(effect);
    std::printf("restart\t%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

app::Effect DisableEffect(const app::DisplayRecord& row) {
  return app::EffectOn(row.KEYNAME.Trimmed(), row.VALUENAME.Trimmed(), row.DISABLEVALUE.Trimmed(),
                       SystemVersionRecord());
}

int StoreCommand(const Args& args) {
  if (!args.empty()) return UsageError("store: unexpected argument '" + std::string(args[0]) + "'");
  const RegistryPlace place = RegistryLocation();
  std::printf("%s\n", place.folder.c_str());
  if (!place.source.empty()) std::printf("%s\n", place.source.c_str());
#ifndef _WIN32
  // The same check the commands make before they write: a named folder that does not exist, or
  // a prefix a wineserver holds, is said here too.
  if (const std::string problem = store::StoreWriteProblem(); !problem.empty()) {
    std::fprintf(stderr, "vantrelctl: store: %s\n", problem.c_str());
    return kExitFailed;
  }
#endif
  return kExitOk;
}

}  // namespace vantrel::tools
