// The settings store: named values kept between runs (window placement, single values, small
// tables), as entries inside named sections, held either in the registry under a key path and a
// root or in a profile (INI) file. Every value is stored as text.
//
// Layout in the registry: a section is the key FILENAME + "\" + section under the root, an entry a
// REG_SZ value of that key; writing an empty text deletes the value. A table is an entry holding
// its record count plus one entry per record (table + "_" + i) holding the fields joined by ",".
//
// No operation reports failure: a read that finds nothing yields the default, a refused write is
// silent. One re-entrant lock makes the store usable from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/text/fixed_text.h"
#include "runtime/queue/queue.h"
#include "runtime/text/record_layout.h"

namespace vantrel::ui {
class Window;
}

namespace vantrel::framework {

// Storage kinds (NVTYPE).
enum StoreKind : std::int32_t {
  StoreProfile = 0,   // a profile file; FILENAME names it (empty: the system's own profile)
  StoreRegistry = 1,  // the registry; FILENAME is the key path, EXTRADATA the root
  StoreNone = 2,      // nothing is stored; every read yields empty text
};

// "No value" in a placement's X, Y, W or H.
inline constexpr std::int32_t kNoPlacementValue = -2147483647 - 1;

// The default of FetchRaw: what a missing entry reads as.
inline constexpr std::string_view kUnknownValue = "---Unknown---";

// The section and table that hold the sector table.
inline constexpr std::string_view kSectorSection = "__Dont_Touch_Me__";
inline constexpr std::string_view kSectorTable = "Sectors";

#pragma pack(push, 1)
// A record of the sector table. The program does not use the fields; the store keeps the table
// and writes it back.
struct SectorRecord {
  FixedText<99> FAMILY;
  FixedText<99> ITEM;
  FixedText<99> TYPE;

  static const RecordLayout kLayout;
};
#pragma pack(pop)

// A window's stored placement.
struct WindowPlacement {
  std::int32_t X = kNoPlacementValue;
  std::int32_t Y = kNoPlacementValue;
  std::int32_t W = kNoPlacementValue;
  std::int32_t H = kNoPlacementValue;
  std::uint8_t MAXIMIZED = 0;
  std::uint8_t MINIMIZED = 0;
  std::uint8_t GOT = 0;  // 1 when a placement was found
};

// The window properties that placement reads and sets (numbers as the window engine knows them:
// Xpos, Ypos, Width, Height, Resize, Iconize, Maximize).
class PlacementWindow {
 public:
  virtual ~PlacementWindow() = default;
  virtual long long Get(int property) = 0;
  virtual void Set(int property, long long value) = 0;
};

class SettingsStore {
 public:
  SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Virtual operations, in their slot order (the destructor is slot 0: it removes the lock).
  virtual ~SettingsStore();
  virtual std::string GetValue(std::string_view section, std::string_view entry,
                               std::string_view defaultValue, std::string_view file);
  virtual void PutValue(std::string_view section, std::string_view entry, std::string_view value,
                        std::string_view file);
  // Hook called by Init once the sector table exists; does nothing here.
  virtual void PrepareStore();
  virtual void DeleteEntry(std::string_view section, std::string_view entry);
  // Hook the program body calls after its window procedure has returned; does nothing here.
  virtual void EndOfRun();

  // Fixes the storage kind, location and root for the run and loads the sector table.
  void Init(std::string_view name, std::int32_t kind, std::uint32_t root);
  // Writes the sector table back and disposes of it.
  void Kill();

  // variable := the entry read with the variable's current value as default, converted to the
  // variable's type: a missing entry leaves the variable as it was.
  void Fetch(std::string_view section, std::string_view entry, std::int32_t& variable);
  void Fetch(std::string_view section, std::string_view entry, std::string& variable);
  template <std::size_t N>
  void Fetch(std::string_view section, std::string_view entry, FixedText<N>& variable) {
    variable = GetValue(section, entry, variable.Trimmed(), FileName());
  }
  // The entry, or empty text.
  std::string TryFetch(std::string_view section, std::string_view entry);
  // The entry, or "---Unknown---"; at most 999 characters.
  std::string FetchRaw(std::string_view section, std::string_view entry);
  // The n-th comma-separated field of FetchRaw. Past the last field the count starts over at the
  // first, so a missing entry reads "---Unknown---" in every field.
  std::string FetchField(std::string_view section, std::string_view entry, int n);
  void Update(std::string_view section, std::string_view entry, std::string_view value);
  void Update(std::string_view section, std::string_view entry, std::int32_t value);

  // A queue whose records are given by up to four of its fields (field numbers from 1; 0 = none
  // for fields 2 to 4). FetchTable appends to the queue.
  void FetchTable(std::string_view section, std::string_view table, Queue* queue, int f1,
                  int f2 = 0, int f3 = 0, int f4 = 0);
  void UpdateTable(std::string_view section, std::string_view table, Queue* queue, int f1,
                   int f2 = 0, int f3 = 0, int f4 = 0);

  void FetchPlacement(std::string_view section, WindowPlacement& record);
  void UpdatePlacement(std::string_view section, const WindowPlacement& record);
  // Restore and save a window's position, size and maximised or minimised state.
  void RestoreWindow(std::string_view section, PlacementWindow& window);
  void SaveWindow(std::string_view section, PlacementWindow& window);
  // The same for a window of the calling thread's window engine.
  void RestoreWindow(std::string_view section, ui::Window* window);
  void SaveWindow(std::string_view section, ui::Window* window);

  std::string FileName();

  // Fields, in their order.
  std::string FILENAME;  // at most 259 characters
  std::unique_ptr<RecordQueue<SectorRecord>> SECTORS;
  std::int32_t NVTYPE = StoreProfile;
  std::uint32_t EXTRADATA = 0;
  std::unique_ptr<std::recursive_mutex> CRITSECT;

 private:
  std::string SectionKey(std::string_view section) const;
  std::uint32_t Root() const;
};

}  // namespace vantrel::framework
