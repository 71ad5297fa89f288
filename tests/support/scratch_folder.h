// A fresh folder for one test, made the same way on every platform the tests run on.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel::test {

// Creates a new empty folder under the system's temporary folder, named `prefix` and a random
// suffix, and returns its path. create_directory says true only for a folder it made itself, so
// two test processes running at once (ctest -j) never share one.
inline std::filesystem::path MakeScratchFolder(std::string_view prefix) {
  namespace fs = std::filesystem;
  // The clock is mixed in because a random device is not random on every C++ library.
  static std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path temp = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[9];
    const auto bits = static_cast<unsigned long>(random() & 0xFFFFFFFFu);
    std::snprintf(suffix, sizeof suffix, "%08lx", bits);
    const fs::path folder = temp / (std::string(prefix) + suffix);
    std::error_code ec;
    if (fs::create_directory(folder, ec)) {
      // For the owner alone, as mkdtemp makes it.
      fs::permissions(folder, fs::perms::owner_all, ec);
      return folder;
    }
  }
  throw std::runtime_error("cannot create a scratch folder in " + temp.string());
}

}  // namespace vantrel::test
