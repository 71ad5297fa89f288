// The application's own routines over a store the size of a Wine prefix's (about 40,000 lines in
// system.reg): LoadSettingsFile with its refresh for 10, 1,000 and 10,000 items, and ApplyValues
// over 1,000 items. A small harness: wall time of each step, best of three runs.
//
//   build-bench/bench/app_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/settings_file.h"
#include "bench/prefix_store.h"
#include "runtime/dialog/message_dialog.h"

namespace fs = std::filesystem;
using namespace vantrel;

namespace {

int Quiet(std::string_view, std::string_view, std::string_view, std::string_view, int, int) {
  return 1;
}

template <class Fn>
double BestOf3(Fn fn) {
  double best = 1e30;
  for (int r = 0; r < 3; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/vantrel-app-bench-XXXXXX";
  const fs::path root = mkdtemp(pattern);
  SetMessageHook(&Quiet);
  std::printf("%-34s %10s %12s\n", "step", "seconds", "per item us");
  for (int items : {10, 1000, 10000}) {
    const fs::path dir = root / std::to_string(items);
    bench::WriteStore(dir / "registry", items);
    bench::WriteSettings(dir / "Vantrel.xml", items);
    setenv("VANTREL_REGISTRY", (dir / "registry").c_str(), 1);
    fs::current_path(dir);
    const double load = BestOf3([] {
      app::MainData data;
      app::LoadSettingsFile(data);
    });
    std::printf("LoadSettingsFile, %5d items        %10.4f %12.1f\n", items, load,
                load * 1e6 / items);
  }
  {
    const int items = 1000;
    fs::current_path(root / std::to_string(items));
    setenv("VANTREL_REGISTRY", (root / std::to_string(items) / "registry").c_str(), 1);
    app::MainData data;
    app::LoadSettingsFile(data);
    int mode = app::kApplyDisable;
    const double apply = BestOf3([&] {
      app::ApplyValues(data, mode);
      mode = mode == app::kApplyDisable ? app::kApplyEnable : app::kApplyDisable;
    });
    std::printf("ApplyValues, %5d items             %10.4f %12.1f\n", items, apply,
                apply * 1e6 / items);
  }
  fs::current_path("/");
  fs::remove_all(root);
  return 0;
}
