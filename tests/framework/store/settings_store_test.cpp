#include "framework/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/system/registry.h"
#include "ui/engine.h"
#include "ui/headless/headless.h"

namespace vantrel::framework {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// The registry store keeps its files in a folder of this test run, never in a real prefix.
struct PrivateRegistry {
  fs::path folder =
      fs::temp_directory_path() / ("vantrel-settings-registry-" + std::to_string(::getpid()));
  PrivateRegistry() {
    fs::create_directories(folder);
    ::setenv("VANTREL_REGISTRY", folder.c_str(), 1);
  }
  ~PrivateRegistry() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
} privateRegistry;
#endif

constexpr int kXpos = 0x7C02, kYpos = 0x7C03, kWidth = 0x7C04, kHeight = 0x7C05;
constexpr int kResize = 0x7C1A, kIconize = 0x7C69, kMaximize = 0x7C6F;

// A window as far as placement sees it: its properties, and every property set, in order.
class FakeWindow : public PlacementWindow {
 public:
  std::map<int, long long> props;
  std::vector<std::pair<int, long long>> sets;

  long long Get(int property) override { return props[property]; }
  void Set(int property, long long value) override {
    props[property] = value;
    sets.emplace_back(property, value);
  }
};

FakeWindow NormalWindow(bool resizable) {
  FakeWindow w;
  w.props = {
      {kXpos, 10},   {kYpos, 20},   {kWidth, 300}, {kHeight, 200}, {kResize, resizable ? 1 : 0},
      {kIconize, 0}, {kMaximize, 0}};
  return w;
}

// Every test gets its own registry folder (the store's files) and its own working folder.
class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() /
          (std::string("vantrel-settings-") + info->test_suite_name() + "-" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    keyPath = std::string("Software\\VantrelTest\\") + info->name();
  }
  void TearDown() override {
    RegistryDelete(kHkeyCurrentUser, keyPath, "");
    fs::remove_all(dir);
  }
  std::string Reg(std::string_view section, std::string_view entry) {
    return RegistryGetValue(kHkeyCurrentUser, keyPath + "\\" + std::string(section), entry);
  }
  void PutReg(std::string_view section, std::string_view entry, std::string_view value) {
    ASSERT_EQ(
        RegistryPutValue(kHkeyCurrentUser, keyPath + "\\" + std::string(section), entry, value, 1),
        0);
  }
  bool Has(std::string_view section, std::string_view entry) {
    std::uint32_t type = 0;
    RegistryGetValue(kHkeyCurrentUser, keyPath + "\\" + std::string(section), entry, &type);
    return type != 0;
  }

  fs::path dir;
  std::string keyPath;
};

TEST_F(SettingsStoreTest, FirstRunRestoresNothingAndSavesSixEntries) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  FakeWindow w = NormalWindow(true);
  store.RestoreWindow("Main", w);
  EXPECT_TRUE(w.sets.empty());

  store.SaveWindow("Main", w);
  EXPECT_EQ(Reg("Main", "Maximize"), "No");
  EXPECT_EQ(Reg("Main", "Minimize"), "No");
  EXPECT_EQ(Reg("Main", "XPos"), "10");
  EXPECT_EQ(Reg("Main", "YPos"), "20");
  EXPECT_EQ(Reg("Main", "Width"), "300");
  EXPECT_EQ(Reg("Main", "Height"), "200");

  // The next run restores them.
  FakeWindow next = NormalWindow(true);
  next.props[kXpos] = next.props[kYpos] = 0;
  next.props[kWidth] = next.props[kHeight] = 1;
  store.RestoreWindow("Main", next);
  EXPECT_EQ(next.props[kXpos], 10);
  EXPECT_EQ(next.props[kYpos], 20);
  EXPECT_EQ(next.props[kWidth], 300);
  EXPECT_EQ(next.props[kHeight], 200);
  EXPECT_EQ(next.props[kMaximize], 0);
  EXPECT_EQ(next.props[kIconize], 0);
}

TEST_F(SettingsStoreTest, MaximisedOrMinimisedWindowKeepsOnlyItsState) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  FakeWindow w = NormalWindow(true);
  store.SaveWindow("Main", w);  // a position from an earlier run
  w.props[kMaximize] = 1;
  store.SaveWindow("Main", w);
  EXPECT_EQ(Reg("Main", "Maximize"), "Yes");
  EXPECT_EQ(Reg("Main", "Minimize"), "No");
  for (const char* e : {"XPos", "YPos", "Width", "Height"}) EXPECT_FALSE(Has("Main", e)) << e;

  FakeWindow next = NormalWindow(true);
  store.RestoreWindow("Main", next);
  EXPECT_EQ(next.props[kMaximize], 1);
  // No position was stored: position and size stay as the description placed them.
  EXPECT_EQ(next.props[kXpos], 10);
  EXPECT_EQ(next.props[kWidth], 300);
  ASSERT_FALSE(next.sets.empty());
  EXPECT_EQ(next.sets.back(), std::make_pair(kIconize, 0LL));

  FakeWindow minimised = NormalWindow(true);
  minimised.props[kIconize] = 1;
  store.SaveWindow("Min", minimised);
  EXPECT_EQ(Reg("Min", "Minimize"), "Yes");
  EXPECT_FALSE(Has("Min", "XPos"));
  FakeWindow back = NormalWindow(true);
  store.RestoreWindow("Min", back);
  EXPECT_EQ(back.props[kIconize], 1);
}

TEST_F(SettingsStoreTest, StoredNormalPlacementUnmaximisesTheWindowFirst) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  FakeWindow w = NormalWindow(true);
  store.SaveWindow("Main", w);
  FakeWindow maxed = NormalWindow(true);
  maxed.props[kMaximize] = 1;
  store.RestoreWindow("Main", maxed);
  ASSERT_GE(maxed.sets.size(), 2u);
  EXPECT_EQ(maxed.sets.front(), std::make_pair(kMaximize, 0LL));  // before the position is set
  EXPECT_EQ(maxed.props[kMaximize], 0);
}

TEST_F(SettingsStoreTest, FixedSizeWindowNeverStoresItsSize) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  PutReg("Main", "Width", "999");
  PutReg("Main", "Height", "888");
  FakeWindow w = NormalWindow(false);
  store.SaveWindow("Main", w);
  EXPECT_EQ(Reg("Main", "XPos"), "10");
  EXPECT_FALSE(Has("Main", "Width"));
  EXPECT_FALSE(Has("Main", "Height"));

  PutReg("Main", "Width", "999");
  FakeWindow next = NormalWindow(false);
  store.RestoreWindow("Main", next);
  EXPECT_EQ(next.props[kWidth], 300);  // ignored for a window that cannot be resized
}

TEST_F(SettingsStoreTest, MaximizeWordMustMatchExactly) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  const char* values[] = {"yes", "YES", "no", "1", ""};
  for (const char* v : values) {
    if (*v) {
      PutReg("Main", "Maximize", v);
    } else {
      RegistryDelete(kHkeyCurrentUser, keyPath + "\\Main", "Maximize");
    }
    PutReg("Main", "XPos", "77");
    WindowPlacement record;
    record.GOT = 9;
    store.FetchPlacement("Main", record);
    EXPECT_EQ(record.GOT, 0) << v;
    FakeWindow w = NormalWindow(true);
    store.RestoreWindow("Main", w);
    EXPECT_TRUE(w.sets.empty()) << v;
  }
  PutReg("Main", "Maximize", "No  ");  // trailing blanks do not matter
  WindowPlacement record;
  store.FetchPlacement("Main", record);
  EXPECT_EQ(record.GOT, 1);
  EXPECT_EQ(record.X, 77);
  EXPECT_EQ(record.W, kNoPlacementValue);
}

TEST_F(SettingsStoreTest, UpdateWithEmptyValueRemovesTheEntry) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  store.Update("S", "Name", "value");
  store.Update("S", "Other", "kept");
  EXPECT_EQ(store.TryFetch("S", "Name"), "value");
  store.Update("S", "Name", "");
  EXPECT_FALSE(Has("S", "Name"));
  EXPECT_EQ(Reg("S", "Other"), "kept");
  // An empty entry name is the key's default value: emptying it must not take the key with it.
  store.Update("S", "", "");
  EXPECT_EQ(Reg("S", "Other"), "kept");
}

TEST_F(SettingsStoreTest, FetchKeepsTheVariableWhenTheEntryIsMissing) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  std::int32_t number = 42;
  std::string text = "before";
  FixedText<8> fixed("fixed");
  store.Fetch("S", "Number", number);
  store.Fetch("S", "Text", text);
  store.Fetch("S", "Fixed", fixed);
  EXPECT_EQ(number, 42);
  EXPECT_EQ(text, "before");
  EXPECT_EQ(fixed.Str(), "fixed");
  store.Update("S", "Number", -17);
  store.Update("S", "Text", "after");
  store.Update("S", "Fixed", "much longer");
  store.Fetch("S", "Number", number);
  store.Fetch("S", "Text", text);
  store.Fetch("S", "Fixed", fixed);
  EXPECT_EQ(number, -17);
  EXPECT_EQ(text, "after");
  EXPECT_EQ(fixed.Str(), "much lon");
  EXPECT_EQ(store.FetchRaw("S", "Missing"), "---Unknown---");
  EXPECT_EQ(store.TryFetch("S", "Missing"), "");
}

struct FieldCase {
  const char* value;  // nullptr: the entry is missing
  int n;
  const char* expected;
};

TEST_F(SettingsStoreTest, FetchFieldCountsCommasAndStartsOver) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  const FieldCase cases[] = {
      {"a,b,c", 1, "a"},
      {"a,b,c", 2, "b"},
      {"a,b,c", 3, "c"},
      {"a,b,c", 4, "a"},
      {"a,b,c", 0, "a"},
      {"a,,c", 2, ""},
      {" x , y", 2, " y"},
      {"\"q,r\",s", 2, "r\""},
      {nullptr, 1, "---Unknown---"},
      {nullptr, 3, "---Unknown---"},
  };
  for (const FieldCase& c : cases) {
    if (c.value) {
      store.Update("F", "E", c.value);
    } else {
      store.DeleteEntry("F", "E");
    }
    EXPECT_EQ(store.FetchField("F", "E", c.n), c.expected)
        << (c.value ? c.value : "(missing)") << " field " << c.n;
  }
}

#pragma pack(push, 1)
struct Row {
  FixedText<10> NAME;
  std::int32_t COUNT = 0;
  FixedText<10> NOTE;
  static const RecordLayout kLayout;
};
#pragma pack(pop)
constexpr FieldDesc kRowFields[] = {TextField("ROW:NAME", "", 0, 10),
                                    LongField("ROW:COUNT", "", 10),
                                    TextField("ROW:NOTE", "", 14, 10)};
const RecordLayout Row::kLayout{kRowFields, sizeof(Row)};

TEST_F(SettingsStoreTest, TablesRoundTripAndCommasShiftFields) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  RecordQueue<Row> out;
  const std::pair<const char*, int> rows[] = {{"alpha", 1}, {"be,ta", 2}, {"gamma", -3}};
  for (const auto& [name, count] : rows) {
    out.buffer.NAME = name;
    out.buffer.COUNT = count;
    out.buffer.NOTE = "n";
    QueueAdd(&out);
  }
  store.UpdateTable("T", "Rows", &out, 1, 2, 3);
  EXPECT_EQ(Reg("T", "Rows"), "3");
  EXPECT_EQ(Reg("T", "Rows_1"), "alpha,1,n");
  EXPECT_EQ(Reg("T", "Rows_2"), "be,ta,2,n");

  RecordQueue<Row> in;
  store.FetchTable("T", "Rows", &in, 1, 2, 3);
  ASSERT_EQ(QueueRecords(&in), 3);
  QueueGetAt(&in, 1);
  EXPECT_EQ(in.buffer.NAME.Str(), "alpha");
  EXPECT_EQ(in.buffer.COUNT, 1);
  QueueGetAt(&in, 2);
  EXPECT_EQ(in.buffer.NAME.Str(), "be");  // the comma split the name
  EXPECT_EQ(in.buffer.COUNT, 0);          // "ta" read as a number
  EXPECT_EQ(in.buffer.NOTE.Str(), "2");
  QueueGetAt(&in, 3);
  EXPECT_EQ(in.buffer.COUNT, -3);

  // A record whose entry is missing reads "---Unknown---" in every field.
  store.DeleteEntry("T", "Rows_3");
  RecordQueue<Row> again;
  store.FetchTable("T", "Rows", &again, 1, 0, 3);
  ASSERT_EQ(QueueRecords(&again), 3);
  QueueGetAt(&again, 3);
  EXPECT_EQ(again.buffer.NAME.Str(), "---Unknown");
  EXPECT_EQ(again.buffer.NOTE.Str(), "---Unknown");
}

TEST_F(SettingsStoreTest, SectorTableIsLoadedAndWrittenBack) {
  PutReg("__Dont_Touch_Me__", "Sectors", "2");
  PutReg("__Dont_Touch_Me__", "Sectors_1", "fam,item,type");
  PutReg("__Dont_Touch_Me__", "Sectors_2", "solo");
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  ASSERT_TRUE(store.SECTORS);
  ASSERT_EQ(QueueRecords(store.SECTORS.get()), 2);
  QueueGetAt(store.SECTORS.get(), 1);
  EXPECT_EQ(store.SECTORS->buffer.ITEM.Str(), "item");
  store.EndOfRun();
  store.Kill();
  EXPECT_FALSE(store.SECTORS);
  EXPECT_EQ(Reg("__Dont_Touch_Me__", "Sectors"), "2");
  EXPECT_EQ(Reg("__Dont_Touch_Me__", "Sectors_1"), "fam,item,type");
  EXPECT_EQ(Reg("__Dont_Touch_Me__", "Sectors_2"), "solo,solo,solo");
  store.Kill();  // a second Kill writes nothing
}

// The record count is only a stored number: a damaged one (two thousand million) once kept
// start-up reading for hours. The table ends where its records do; records missing inside it
// still read "---Unknown---".
TEST_F(SettingsStoreTest, DamagedTableCountIsBoundedByTheRecordsThatExist) {
  struct Case {
    const char* count;
    std::vector<int> present;
    int records;
  } cases[] = {
      {"2000000000", {1, 2}, 2},
      {"2147483647", {}, 0},
      {"5", {1, 3}, 5},
      {"300", {1, 50}, 50},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string section = "T" + std::to_string(++n);
    PutReg(section, "Rows", c.count);
    for (int i : c.present) PutReg(section, "Rows_" + std::to_string(i), "row" + std::to_string(i));
    SettingsStore store;
    store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
    RecordQueue<SectorRecord> rows;
    store.FetchTable(section, "Rows", &rows, 1, 2);
    ASSERT_EQ(QueueRecords(&rows), c.records) << c.count;
    for (int i = 1; i <= c.records; ++i) {
      QueueGetAt(&rows, i);
      bool present = std::find(c.present.begin(), c.present.end(), i) != c.present.end();
      EXPECT_EQ(rows.buffer.FAMILY.Str(), present ? "row" + std::to_string(i) : "---Unknown---")
          << c.count << " record " << i;
    }
  }
  // The sector table of Init is read the same way.
  PutReg("__Dont_Touch_Me__", "Sectors", "2000000000");
  PutReg("__Dont_Touch_Me__", "Sectors_1", "fam,item,type");
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  EXPECT_EQ(QueueRecords(store.SECTORS.get()), 1);
}

TEST_F(SettingsStoreTest, EveryShutdownWritesAnEmptySectorTable) {
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);
  EXPECT_FALSE(Has("__Dont_Touch_Me__", "Sectors"));
  store.Kill();
  EXPECT_EQ(Reg("__Dont_Touch_Me__", "Sectors"), "0");
}

TEST_F(SettingsStoreTest, KindNoneReadsEmptyAndWritesNothing) {
  PutReg("S", "Number", "5");
  SettingsStore store;
  store.Init(keyPath, StoreNone, kHkeyCurrentUser);
  std::int32_t number = 42;
  std::string text = "before";
  store.Fetch("S", "Number", number);
  store.Fetch("S", "Text", text);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(store.FetchRaw("S", "Number"), "");
  store.Update("S", "Written", "x");
  FakeWindow w = NormalWindow(true);
  store.SaveWindow("Main", w);
  store.Kill();
  EXPECT_FALSE(Has("S", "Written"));
  EXPECT_FALSE(Has("Main", "Maximize"));
  EXPECT_FALSE(Has("__Dont_Touch_Me__", "Sectors"));
}

TEST_F(SettingsStoreTest, ProfileKindKeepsPlacementInTheFile) {
  const std::string file = (dir / "settings.ini").string();
  SettingsStore store;
  store.Init(file, StoreProfile, 0);
  FakeWindow w = NormalWindow(true);
  store.SaveWindow("Main", w);
  EXPECT_EQ(GETINI("Main", "XPos", "", file), "10");
  EXPECT_EQ(GETINI("Main", "Maximize", "", file), "No");
  w.props[kMaximize] = 1;
  store.SaveWindow("Main", w);
  EXPECT_EQ(GETINI("Main", "XPos", "missing", file), "missing");
  FakeWindow next = NormalWindow(true);
  store.RestoreWindow("Main", next);
  EXPECT_EQ(next.props[kMaximize], 1);
  store.Kill();
  EXPECT_EQ(GETINI("__Dont_Touch_Me__", "Sectors", "", file), "0");
}

TEST_F(SettingsStoreTest, PlacementTravelsThroughTheWindowEngine) {
  auto backend = std::make_unique<ui::HeadlessBackend>();
  ui::Engine engine(std::move(backend));
  ui::WindowDesc desc;
  desc.name = "MAIN";
  desc.at = ui::Rect{ui::kNoPosition, ui::kNoPosition, 480, 230};
  desc.resizable = true;
  SettingsStore store;
  store.Init(keyPath, StoreRegistry, kHkeyCurrentUser);

  ui::Window* first = engine.Open(desc);
  store.RestoreWindow("Main", first);  // nothing stored yet: stays centred
  const ui::Rect centred = first->Frame();
  engine.SetNumber(first, 0, ui::prop::Xpos, 40);
  engine.SetNumber(first, 0, ui::prop::Ypos, 30);
  engine.SetNumber(first, 0, ui::prop::Width, 520);
  engine.SetNumber(first, 0, ui::prop::Height, 260);
  store.SaveWindow("Main", first);
  engine.Close(first);
  EXPECT_EQ(Reg("Main", "XPos"), "40");
  EXPECT_EQ(Reg("Main", "Width"), "520");

  ui::Window* second = engine.Open(desc);
  EXPECT_EQ(second->Frame(), centred);
  store.RestoreWindow("Main", second);
  EXPECT_EQ(engine.GetNumber(second, 0, ui::prop::Xpos), 40);
  EXPECT_EQ(engine.GetNumber(second, 0, ui::prop::Ypos), 30);
  EXPECT_EQ(engine.GetNumber(second, 0, ui::prop::Width), 520);
  EXPECT_EQ(engine.GetNumber(second, 0, ui::prop::Height), 260);

  engine.SetNumber(second, 0, ui::prop::Maximize, 1);
  store.SaveWindow("Main", second);
  engine.Close(second);
  ui::Window* third = engine.Open(desc);
  store.RestoreWindow("Main", third);
  EXPECT_TRUE(third->Maximized());
  EXPECT_FALSE(Has("Main", "XPos"));
}

}  // namespace
}  // namespace vantrel::framework
