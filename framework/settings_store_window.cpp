// Window placement over the window engine: the store reads and sets the window's properties
// through the calling thread's engine.
#include "framework/settings_store.h"
#include "ui/engine.h"

namespace vantrel::framework {
namespace {

class EngineWindow : public PlacementWindow {
 public:
  EngineWindow(ui::Engine& engine, ui::Window* window) : engine_(engine), window_(window) {}
  long long Get(int property) override { return engine_.GetNumber(window_, 0, property); }
  void Set(int property, long long value) override {
    engine_.SetNumber(window_, 0, property, value);
  }

 private:
  ui::Engine& engine_;
  ui::Window* window_;
};

}  // namespace

void SettingsStore::RestoreWindow(std::string_view section, ui::Window* window) {
  ui::Engine* engine = ui::Engine::Current();
  if (!engine || !window) return;
  EngineWindow target(*engine, window);
  RestoreWindow(section, target);
}

void SettingsStore::SaveWindow(std::string_view section, ui::Window* window) {
  ui::Engine* engine = ui::Engine::Current();
  if (!engine || !window) return;
  EngineWindow source(*engine, window);
  SaveWindow(section, source);
}

}  // namespace vantrel::framework
