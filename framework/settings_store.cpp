#include "framework/settings_store.h"

#include <climits>
#include <cstring>
#include <optional>

#include "runtime/system/registry.h"
#include "ui/engine.h"

namespace vantrel::framework {

const RecordLayout SectorRecord::kLayout = [] {
  static constexpr FieldDesc fields[] = {
      TextField("SEC:FAMILY", "", 0, 99),
      TextField("SEC:ITEM", "", 99, 99),
      TextField("SEC:TYPE", "", 198, 99),
  };
  return RecordLayout{fields, sizeof(SectorRecord)};
}();
static_assert(sizeof(SectorRecord) == 297);

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::size_t kFileNameMax = 259;
constexpr std::size_t kProfileValueMax = 1023;
constexpr std::size_t kRawMax = 999;
constexpr std::size_t kTableRecordMax = 4999;
constexpr std::uint32_t kRegSz = 1;

constexpr int kPropXpos = ui::prop::Xpos;
constexpr int kPropYpos = ui::prop::Ypos;
constexpr int kPropWidth = ui::prop::Width;
constexpr int kPropHeight = ui::prop::Height;
constexpr int kPropResize = ui::prop::Resize;
constexpr int kPropIconize = ui::prop::Iconize;
constexpr int kPropMaximize = ui::prop::Maximize;

std::string Cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, text.size() < max ? text.size() : max));
}

// Text read as a number the way the runtime converts text to an integer: leading blanks skipped,
// an optional sign, digits up to the first non-digit; no digits give 0; out of range is clamped.
std::int64_t ReadNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < (std::int64_t{1} << 40)) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::int32_t ReadInt32(std::string_view text) {
  const std::int64_t v = ReadNumber(text);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// A queue field of the current buffer as text, and text stored into one.
std::string FieldText(Queue* queue, int field) {
  const FieldDesc* f = queue->Layout().Field(field);
  if (!f) return {};
  if (f->type == FieldType::Group) {
    const char* at = static_cast<const char*>(queue->Buffer()) + f->offset;
    return std::string(TrimTrailingBlanks(std::string_view(at, f->size)));
  }
  return FieldValueText(*f, queue->Buffer());
}

void SetFieldText(Queue* queue, int field, std::string_view text) {
  const FieldDesc* f = queue->Layout().Field(field);
  if (!f) return;
  char* at = static_cast<char*>(queue->Buffer()) + f->offset;
  switch (f->type) {
    case FieldType::String:
    case FieldType::Group: {
      const std::size_t n = text.size() < f->size ? text.size() : f->size;
      std::memcpy(at, text.data(), n);
      std::memset(at + n, ' ', f->size - n);
      return;
    }
    case FieldType::Long: {
      const std::int32_t v = ReadInt32(text);
      std::memcpy(at, &v, 4);
      return;
    }
    case FieldType::Short: {
      const auto v = static_cast<std::int16_t>(ReadInt32(text));
      std::memcpy(at, &v, 2);
      return;
    }
    case FieldType::Byte:
      *at = static_cast<char>(static_cast<unsigned char>(ReadInt32(text)));
      return;
    case FieldType::QueueRef: return;  // a reference to a queue is never read from text
  }
}

}  // namespace

SettingsStore::SettingsStore() : CRITSECT(std::make_unique<std::recursive_mutex>()) {}

SettingsStore::~SettingsStore() = default;

std::string SettingsStore::FileName() {
  Lock lock(*CRITSECT);
  return FILENAME;
}

std::string SettingsStore::SectionKey(std::string_view section) const {
  if (FILENAME.empty()) return std::string(section);
  return FILENAME + "\\" + std::string(section);
}

std::uint32_t SettingsStore::Root() const { return EXTRADATA == 0 ? kHkeyClassesRoot : EXTRADATA; }

void SettingsStore::Init(std::string_view name, std::int32_t kind, std::uint32_t root) {
  Lock lock(*CRITSECT);
  EXTRADATA = root;
  NVTYPE = kind;
  FILENAME = Cut(name, kFileNameMax);
  if (SECTORS) QueueFree(SECTORS.get());
  SECTORS = std::make_unique<RecordQueue<SectorRecord>>();
  PrepareStore();
  FetchTable(kSectorSection, kSectorTable, SECTORS.get(), 1, 2, 3);
}

void SettingsStore::Kill() {
  Lock lock(*CRITSECT);
  if (!SECTORS) return;
  UpdateTable(kSectorSection, kSectorTable, SECTORS.get(), 1, 2, 3);
  QueueFree(SECTORS.get());
  SECTORS.reset();
}

void SettingsStore::PrepareStore() {}

void SettingsStore::EndOfRun() {}

std::string SettingsStore::GetValue(std::string_view section, std::string_view entry,
                                    std::string_view defaultValue, std::string_view file) {
  Lock lock(*CRITSECT);
  switch (NVTYPE) {
    case StoreProfile: return Cut(GETINI(section, entry, defaultValue, file), kProfileValueMax);
    case StoreRegistry: {
      std::string value = RegistryGetValue(Root(), SectionKey(section), entry);
      if (value.empty()) return std::string(defaultValue);
      return value;
    }
    default: return {};
  }
}

void SettingsStore::PutValue(std::string_view section, std::string_view entry,
                             std::string_view value, std::string_view file) {
  Lock lock(*CRITSECT);
  switch (NVTYPE) {
    case StoreProfile: ProfilePutEntry(section, entry, value, file); return;
    case StoreRegistry:
      if (TrimTrailingBlanks(value).empty()) {
        // An empty entry name is the key's default value; deleting by an empty name would take
        // the whole section key with it, so an empty default value is written as such.
        if (TrimTrailingBlanks(entry).empty()) {
          RegistryPutValue(Root(), SectionKey(section), entry, value, kRegSz);
          return;
        }
        DeleteEntry(section, entry);
        return;
      }
      RegistryPutValue(Root(), SectionKey(section), entry, value, kRegSz);
      return;
    default: return;
  }
}

void SettingsStore::DeleteEntry(std::string_view section, std::string_view entry) {
  Lock lock(*CRITSECT);
  switch (NVTYPE) {
    case StoreProfile: ProfilePutEntry(section, entry, std::nullopt, FILENAME); return;
    case StoreRegistry: RegistryDelete(Root(), SectionKey(section), entry); return;
    default: return;
  }
}

void SettingsStore::Fetch(std::string_view section, std::string_view entry,
                          std::int32_t& variable) {
  Lock lock(*CRITSECT);
  variable = ReadInt32(GetValue(section, entry, std::to_string(variable), FILENAME));
}

void SettingsStore::Fetch(std::string_view section, std::string_view entry, std::string& variable) {
  Lock lock(*CRITSECT);
  variable = GetValue(section, entry, variable, FILENAME);
}

std::string SettingsStore::TryFetch(std::string_view section, std::string_view entry) {
  Lock lock(*CRITSECT);
  return GetValue(section, entry, {}, FILENAME);
}

std::string SettingsStore::FetchRaw(std::string_view section, std::string_view entry) {
  Lock lock(*CRITSECT);
  return Cut(GetValue(section, entry, kUnknownValue, FILENAME), kRawMax);
}

std::string SettingsStore::FetchField(std::string_view section, std::string_view entry, int n) {
  Lock lock(*CRITSECT);
  const std::string value = FetchRaw(section, entry);
  std::size_t start = 0;
  for (int step = 1; step < n; ++step) {
    const std::size_t comma = value.find(',', start);
    start = comma == std::string::npos ? 0 : comma + 1;
  }
  const std::size_t end = value.find(',', start);
  return value.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void SettingsStore::Update(std::string_view section, std::string_view entry,
                           std::string_view value) {
  Lock lock(*CRITSECT);
  PutValue(section, entry, value, FILENAME);
}

void SettingsStore::Update(std::string_view section, std::string_view entry, std::int32_t value) {
  Update(section, entry, std::to_string(value));
}

void SettingsStore::UpdateTable(std::string_view section, std::string_view table, Queue* queue,
                                int f1, int f2, int f3, int f4) {
  Lock lock(*CRITSECT);
  const std::int32_t count = QueueRecords(queue);
  Update(section, table, count);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(queue, i);
    std::string text = FieldText(queue, f1);
    for (int f : {f2, f3, f4}) {
      if (f != 0) text += "," + FieldText(queue, f);
    }
    Update(section, std::string(table) + "_" + std::to_string(i), Cut(text, kTableRecordMax));
  }
}

void SettingsStore::FetchTable(std::string_view section, std::string_view table, Queue* queue,
                               int f1, int f2, int f3, int f4) {
  Lock lock(*CRITSECT);
  const std::int32_t count = ReadInt32(TryFetch(section, table));
  auto add = [&](const std::string& entry) {
    SetFieldText(queue, f1, FetchField(section, entry, 1));
    int n = 2;
    for (int f : {f2, f3, f4}) {
      if (f != 0) SetFieldText(queue, f, FetchField(section, entry, n));
      ++n;
    }
    QueueAdd(queue);
  };
  auto entryName = [&](std::int32_t i) { return std::string(table) + "_" + std::to_string(i); };
  // The count is only a stored number, and a damaged one (two thousand million) must not keep
  // the program reading for hours: the table ends where its records do. A record whose entry is
  // missing still reads "---Unknown---" in every field, as long as a record follows it or the
  // count ends within kMissingRecordsMax of the last record that exists.
  constexpr std::int32_t kMissingRecordsMax = 100;
  std::int32_t lastFound = 0;
  for (std::int32_t i = 1; i <= count && i - lastFound <= kMissingRecordsMax; ++i) {
    const std::string entry = entryName(i);
    if (TryFetch(section, entry).empty()) continue;
    for (std::int32_t m = lastFound + 1; m < i; ++m) add(entryName(m));
    add(entry);
    lastFound = i;
  }
  if (count - lastFound <= kMissingRecordsMax) {
    for (std::int32_t m = lastFound + 1; m <= count; ++m) add(entryName(m));
  }
}

void SettingsStore::FetchPlacement(std::string_view section, WindowPlacement& record) {
  Lock lock(*CRITSECT);
  const std::string maximize = TryFetch(section, "Maximize");
  const std::string_view m = TrimTrailingBlanks(maximize);
  if (m == "No") {
    record.MAXIMIZED = 0;
  } else if (m == "Yes") {
    record.MAXIMIZED = 1;
  } else {
    record.GOT = 0;
    return;
  }
  record.MINIMIZED = TrimTrailingBlanks(TryFetch(section, "Minimize")) == "Yes" ? 1 : 0;
  record.X = record.Y = record.W = record.H = kNoPlacementValue;
  Fetch(section, "XPos", record.X);
  Fetch(section, "YPos", record.Y);
  Fetch(section, "Width", record.W);
  Fetch(section, "Height", record.H);
  record.GOT = 1;
}

void SettingsStore::UpdatePlacement(std::string_view section, const WindowPlacement& record) {
  Lock lock(*CRITSECT);
  Update(section, "Maximize", record.MAXIMIZED ? "Yes" : "No");
  Update(section, "Minimize", record.MINIMIZED ? "Yes" : "No");
  const std::pair<std::int32_t, std::string_view> values[] = {
      {record.X, "XPos"}, {record.Y, "YPos"}, {record.W, "Width"}, {record.H, "Height"}};
  for (const auto& [value, entry] : values) {
    if (value == kNoPlacementValue) {
      DeleteEntry(section, entry);
    } else {
      Update(section, entry, value);
    }
  }
}

void SettingsStore::SaveWindow(std::string_view section, PlacementWindow& window) {
  Lock lock(*CRITSECT);
  WindowPlacement record;
  record.MAXIMIZED = window.Get(kPropMaximize) != 0 ? 1 : 0;
  record.MINIMIZED = window.Get(kPropIconize) != 0 ? 1 : 0;
  if (!record.MAXIMIZED && !record.MINIMIZED) {
    record.X = static_cast<std::int32_t>(window.Get(kPropXpos));
    record.Y = static_cast<std::int32_t>(window.Get(kPropYpos));
    if (window.Get(kPropResize) != 0) {
      record.W = static_cast<std::int32_t>(window.Get(kPropWidth));
      record.H = static_cast<std::int32_t>(window.Get(kPropHeight));
    }
  }
  UpdatePlacement(section, record);
}

void SettingsStore::RestoreWindow(std::string_view section, PlacementWindow& window) {
  Lock lock(*CRITSECT);
  WindowPlacement record;
  FetchPlacement(section, record);
  if (!record.GOT) return;
  const bool maximized = window.Get(kPropMaximize) != 0;
  if (!record.MAXIMIZED && maximized) window.Set(kPropMaximize, 0);
  // A placement saved while maximised or minimised has no position: the window then stays where
  // its description places it.
  if (record.X != kNoPlacementValue) window.Set(kPropXpos, record.X);
  if (record.Y != kNoPlacementValue) window.Set(kPropYpos, record.Y);
  if (window.Get(kPropResize) != 0) {
    if (record.W != kNoPlacementValue) window.Set(kPropWidth, record.W);
    if (record.H != kNoPlacementValue) window.Set(kPropHeight, record.H);
  }
  if (record.MAXIMIZED && !maximized) window.Set(kPropMaximize, 1);
  window.Set(kPropIconize, record.MINIMIZED);
}

}  // namespace vantrel::framework
