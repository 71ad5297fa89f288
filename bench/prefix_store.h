// The data the application benchmarks run on: a registry store the size of a Wine prefix's and a
// settings file of a given number of items whose keys live in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace vantrel::bench {

inline std::string ItemKey(int i) {
  return "SYSTEM\\CurrentControlSet\\Services\\Bench" + std::to_string(i % 97) + "\\Parameters";
}

// A system.reg of about 40,000 lines: 4,000 filler keys with a few values each, plus the keys
// the settings files name, where every other item's value exists.
inline void WriteStore(const std::filesystem::path& dir, int items) {
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / "system.reg", std::ios::binary);
  out << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
  for (int k = 0; k < 4000; ++k) {
    out << "\n[Software\\\\Filler\\\\Key" << k << "] 1700000000\n#time=1d9d7b0d4b0f3c0\n";
    for (int v = 0; v < 6; ++v) out << "\"Value" << v << "\"=\"some text " << k * v << "\"\n";
  }
  for (int k = 0; k < 97; ++k) {
    out << "\n[SYSTEM\\\\CurrentControlSet\\\\Services\\\\Bench" << k
        << "\\\\Parameters] 1700000000\n";
    for (int i = k; i < items; i += 97) {
      if (i % 2 == 0) out << "\"Item" << i << "\"=dword:00000001\n";
    }
  }
}

inline void WriteSettings(const std::filesystem::path& file, int items) {
  std::ofstream out(file, std::ios::binary);
  out << "<?xml version=\"1.0\"?>\r\n<RegistryItems>\r\n";
  for (int i = 0; i < items; ++i) {
    out << " <RegistryItem><KeyName>" << ItemKey(i) << "</KeyName><ValueName>Item" << i
        << "</ValueName><SavedValue>N/A</SavedValue><DisableValue>0</DisableValue>"
        << "<EnableValue>1</EnableValue></RegistryItem>\r\n";
  }
  out << "</RegistryItems>\r\n";
}

}  // namespace vantrel::bench
