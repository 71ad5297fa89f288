// What the settings file's tests share: the key their values live under, the file's text built
// from items, and their fixture (one class, so the cases of both files form one test suite).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app_fixture.h"

namespace vantrel::app::testing {

inline constexpr const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\Test\\Parameters";

inline std::string Item(const std::string& key, const std::string& value, const std::string& saved,
                        const std::string& disable, const std::string& enable) {
  return "<RegistryItem><KeyName>" + key + "</KeyName><ValueName>" + value +
         "</ValueName><SavedValue>" + saved + "</SavedValue><DisableValue>" + disable +
         "</DisableValue><EnableValue>" + enable + "</EnableValue></RegistryItem>";
}

inline std::string SettingsFile(const std::vector<std::string>& items) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<RegistryItems>";
  for (const auto& i : items) text += i;
  return text + "</RegistryItems>\r\n";
}

class SettingsFileTest : public AppFixture {};

// The temporaries saves left in `folder`: "NAME.vantrel-" and six characters, or the fixed
// "NAME.vtmp" of earlier versions.
inline std::vector<std::string> Temporaries(const std::string& folder = ".") {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find(".vantrel-") != std::string::npos || name.ends_with(".vtmp"))
      found.push_back(name);
  }
  return found;
}

}  // namespace vantrel::app::testing
