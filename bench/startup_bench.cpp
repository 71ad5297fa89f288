// The program's start: the program body from its first step until the main window is open with
// its list filled (the moment the window loop first waits for the user), over a store the size
// of a Wine prefix's and settings files of 10, 1,000 and 10,000 items. The screen is the headless
// backend; the first scripted input closes the window.
//
// A new process reads the store's files afresh, so before each run system.reg is given a new
// time stamp and the store reads it again ("cold"); "warm" leaves the store's cache as the
// previous run left it, which shows what the store's reading costs by difference.
//
//   build-bench/bench/startup_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/main_window_desc.h"
#include "app/parse_progress.h"
#include "app/program.h"
#include "bench/prefix_store.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace fs = std::filesystem;
using namespace vantrel;

namespace {

fs::path gRoot;

// One folder per item count with its store and settings file, made on first use.
const fs::path& Folder(int items) {
  static std::map<int, fs::path> folders;
  fs::path& dir = folders[items];
  if (dir.empty()) {
    dir = gRoot / std::to_string(items);
    bench::WriteStore(dir / "registry", items);
    bench::WriteSettings(dir / "Vantrel.xml", items);
  }
  return dir;
}

// A new time stamp makes the store take system.reg for a changed file and read it again.
void TouchStore(const fs::path& dir) {
  static long tick = 0;
  const timespec times[2] = {{1700000000 + ++tick, 0}, {1700000000 + tick, 0}};
  utimensat(AT_FDCWD, (dir / "registry" / "system.reg").c_str(), times, 0);
}

void StartupToWindow(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  const bool cold = state.range(1) != 0;
  const fs::path& dir = Folder(items);
  setenv("VANTREL_REGISTRY", (dir / "registry").c_str(), 1);
  fs::current_path(dir);
  double shownTotal = 0;
  double toCloseTotal = 0;
  std::size_t rows = 0;
  for (auto _ : state) {
    if (cold) TouchStore(dir);
    auto backend = std::make_unique<ui::HeadlessBackend>();
    ui::HeadlessBackend* screen = backend.get();
    ui::Engine engine(std::move(backend));
    engine.SetSystemReader(ui::prop::WindowsVersion, [] { return std::string("Windows Bench"); });
    app::ParseProgress progress(engine);
    using Clock = std::chrono::steady_clock;
    Clock::time_point shown;
    Clock::duration checking{};
    screen->Do([&](ui::Engine&, ui::Window* w) {
      shown = Clock::now();
      // Once is enough to know the list shows every item; it is not part of the start.
      if (rows == 0 && w) rows = screen->Snapshot(*w).Control(app::kLstRegistryItems)->rows.size();
      checking = Clock::now() - shown;
    });
    screen->CloseBox();
    const Clock::time_point start = Clock::now();
    app::ProgramBody();
    const Clock::time_point end = Clock::now();
    const double toShown = std::chrono::duration<double>(shown - start).count();
    state.SetIterationTime(toShown);
    shownTotal += toShown;
    toCloseTotal += std::chrono::duration<double>(end - start - checking).count();
  }
  if (rows != static_cast<std::size_t>(items)) state.SkipWithError("the list was not filled");
  const double runs = static_cast<double>(state.iterations());
  state.counters["us_per_item"] = shownTotal * 1e6 / (runs * items);
  state.counters["to_close_ms"] = toCloseTotal * 1e3 / runs;
}

}  // namespace

BENCHMARK(StartupToWindow)
    ->ArgNames({"items", "cold"})
    ->ArgsProduct({{10, 1000, 10000}, {1, 0}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char pattern[] = "/tmp/vantrel-startup-bench-XXXXXX";
  gRoot = mkdtemp(pattern);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::current_path("/");
  fs::remove_all(gRoot);
  return 0;
}
