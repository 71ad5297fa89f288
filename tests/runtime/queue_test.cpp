#include "runtime/queue/queue.h"
#include "runtime/queue/queue_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/item_records.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/fixed_text.h"
#include "runtime/system/local_time.h"
#include "runtime/text/record_layout.h"

namespace vantrel {
namespace {

using test::kStyledFields;
using test::StyledQueue;
using test::StyledRecord;
using test::TextQueue;

// A small record (stored plain) with one field of every type.
#pragma pack(push, 1)
struct SmallRecord {
  FixedText<8> NAME;          // 1
  std::int32_t NUM = 0;       // 2
  std::int16_t SHORTNUM = 0;  // 3
  std::uint8_t FLAG = 0;      // 4
  FixedText<4> CODE;          // 5
  static const RecordLayout kLayout;
};
struct HundredRecord {
  FixedText<100> TEXT;
  static const RecordLayout kLayout;
};
struct RawRecord {
  std::uint8_t BYTES[400];
  static const RecordLayout kLayout;
};
struct NodeRecord {  // shaped like a document node: a few names in 18 KiB of slots
  FixedText<64> NAME;
  std::int32_t PARENT = 0;
  FixedText<18364> SLOTS;
  static const RecordLayout kLayout;
};
#pragma pack(pop)

constexpr FieldDesc kSmallFields[] = {
    TextField("S:NAME", "", offsetof(SmallRecord, NAME), 8),
    LongField("S:NUM", "", offsetof(SmallRecord, NUM)),
    ShortField("S:SHORTNUM", "", offsetof(SmallRecord, SHORTNUM)),
    ByteField("S:FLAG", "", offsetof(SmallRecord, FLAG)),
    TextField("S:CODE", "", offsetof(SmallRecord, CODE), 4),
};
inline const RecordLayout SmallRecord::kLayout{kSmallFields, sizeof(SmallRecord)};
constexpr FieldDesc kHundredFields[] = {TextField("H:TEXT", "", 0, 100)};
inline const RecordLayout HundredRecord::kLayout{kHundredFields, sizeof(HundredRecord)};
constexpr FieldDesc kRawFields[] = {FieldDesc{"R:BYTES", "", FieldType::Byte, 0, 400, 400, 0}};
inline const RecordLayout RawRecord::kLayout{kRawFields, sizeof(RawRecord)};
constexpr FieldDesc kNodeFields[] = {
    TextField("N:NAME", "Name", offsetof(NodeRecord, NAME), 64),
    LongField("N:PARENT", "Parent", offsetof(NodeRecord, PARENT)),
    TextField("N:SLOTS", "Slots", offsetof(NodeRecord, SLOTS), 18364),
};
inline const RecordLayout NodeRecord::kLayout{kNodeFields, sizeof(NodeRecord)};

using SmallQueue = RecordQueue<SmallRecord>;

constexpr int kName = 1, kNum = 2, kShort = 3, kFlag = 4, kCode = 5;

void Add(SmallQueue& q, std::string_view name, int num = 0, int shortNum = 0, int flag = 0,
         std::string_view code = "") {
  q.buffer.NAME = name;
  q.buffer.NUM = num;
  q.buffer.SHORTNUM = static_cast<std::int16_t>(shortNum);
  q.buffer.FLAG = static_cast<std::uint8_t>(flag);
  q.buffer.CODE = code;
  QueueAdd(&q);
  ASSERT_EQ(RuntimeErrorCode(), 0);
}

// The NAME of every entry in the current order (moves the buffer and the current entry).
std::string Names(SmallQueue& q) {
  std::string out;
  const int n = QueueRecords(&q);
  for (int i = 1; i <= n; ++i) {
    QueueGetAt(&q, i);
    if (!out.empty()) out += ' ';
    out += q.buffer.NAME.Str();
  }
  return out;
}

std::vector<std::vector<int>> HeldKeys(Queue& q) {
  std::vector<std::vector<int>> out;
  for (const QueueOrderInfo& o : QueueOrders(&q))
    out.push_back(o.keyed ? o.key : std::vector<int>{});
  return out;
}

bool CurrentIsKeyed(Queue& q) { return QueueStorage(&q).keyed; }

std::vector<std::uint8_t> Bytes(const void* p, std::size_t n) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return std::vector<std::uint8_t>(b, b + n);
}

// Everything a failed operation must leave alone.
struct Snapshot {
  std::vector<std::vector<std::uint8_t>> entries;
  std::vector<std::uint8_t> buffer;
  std::uint32_t changes;
  std::vector<std::vector<int>> held;

  explicit Snapshot(Queue& q) {
    const int n = QueueRecords(&q);
    for (int i = 1; i <= n; ++i) {
      auto image = QueueEntryImage(&q, i);
      entries.emplace_back(image.begin(), image.end());
    }
    buffer = Bytes(q.Buffer(), q.RecordSize());
    changes = QueueChanges(&q);
    held = HeldKeys(q);
  }
  bool operator==(const Snapshot&) const = default;
};

// ---------------------------------------------------------------------------------------------

TEST(Queue, NeverUsedQueueCountsZeroAndCreatesNothing) {
  SmallQueue q;
  SetRuntimeError(30);
  EXPECT_EQ(QueueRecords(&q), 0);
  EXPECT_EQ(RuntimeErrorCode(), 0);
  QueueFree(&q);
  EXPECT_TRUE(QueueOrders(&q).empty());
  QueuePointer(&q);  // any other operation creates the state
  ASSERT_EQ(QueueOrders(&q).size(), 1u);
  EXPECT_FALSE(QueueOrders(&q)[0].keyed);
}

TEST(Queue, NoQueueSetsMemoryCorrupted) {
  const int key[] = {1};
  const std::function<void()> ops[] = {
      [] { QueueRecords(nullptr); },        [] { QueueGetAt(nullptr, 1); },
      [&] { QueueGetByKey(nullptr, key); }, [] { QueueAdd(nullptr); },
      [&] { QueueAddByKey(nullptr, key); }, [] { QueuePut(nullptr); },
      [] { QueueDelete(nullptr); },         [&] { QueueSort(nullptr, key); },
      [] { QueuePointer(nullptr); },        [] { QueuePosition(nullptr); },
      [] { QueueChanges(nullptr); },
  };
  for (std::size_t i = 0; i < std::size(ops); ++i) {
    ClearRuntimeError();
    ops[i]();
    EXPECT_EQ(RuntimeErrorCode(), 7) << "operation " << i;
    EXPECT_EQ(RuntimeErrorText(), "Memory Corrupted");
  }
  SetRuntimeError(30);
  QueueFree(nullptr);
  EXPECT_EQ(RuntimeErrorCode(), 0);
}

TEST(Queue, AddAndGetAtRoundTripEveryTable) {
  StyledQueue display;
  TextQueue xml;
  for (int i = 1; i <= 50; ++i) {
    display.buffer = StyledRecord{};
    display.buffer.KEYNAME = "SYSTEM\\CurrentControlSet\\Services\\Svc" + std::to_string(i);
    display.buffer.VALUENAME = "Value" + std::to_string(i);
    display.buffer.CURRENTVALUE = "N/A";
    display.buffer.KEYNAME_STYLE = i;
    display.buffer.ENABLEVALUE_STYLE = -i;
    QueueAdd(&display);
    ASSERT_EQ(RuntimeErrorCode(), 0);
    xml.buffer.KEYNAME = display.buffer.KEYNAME.View();
    xml.buffer.ENABLEVALUE = std::to_string(i);
    QueueAdd(&xml);
  }
  ASSERT_EQ(QueueRecords(&display), 50);
  ASSERT_EQ(QueueRecords(&xml), 50);
  for (int i : {1, 17, 50}) {
    std::memset(static_cast<void*>(&display.buffer), 'x', sizeof display.buffer);
    QueueGetAt(&display, i);
    ASSERT_EQ(RuntimeErrorCode(), 0);
    EXPECT_EQ(display.buffer.KEYNAME.Str(),
              "SYSTEM\\CurrentControlSet\\Services\\Svc" + std::to_string(i));
    EXPECT_EQ(display.buffer.KEYNAME_STYLE, i);
    EXPECT_EQ(display.buffer.ENABLEVALUE_STYLE, -i);
    EXPECT_EQ(display.buffer.CURRENTVALUE.Str(), "N/A");
    EXPECT_TRUE(display.buffer.SAVEDVALUE.IsBlank());
    EXPECT_EQ(QueuePointer(&display), i);
    QueueGetAt(&xml, i);
    EXPECT_EQ(xml.buffer.ENABLEVALUE.Str(), std::to_string(i));
  }
}

TEST(Queue, StoresLargeRecordsEncodedAndSmallOrIncompressibleOnesPlain) {
  StyledQueue display;  // 404 bytes, mostly blanks: encoded
  display.buffer.KEYNAME = "SOFTWARE\\Vantrel";
  QueueAdd(&display);
  auto image = QueueEntryImage(&display, 1);
  std::uint32_t header;
  std::memcpy(&header, image.data(), 4);
  EXPECT_NE(header, 0u);
  EXPECT_EQ(image.size(), 4 + header);
  EXPECT_LT(image.size(), 100u);

  RecordQueue<HundredRecord> hundred;  // below 128 bytes: a plain copy, no header
  hundred.buffer.TEXT = "short";
  QueueAdd(&hundred);
  EXPECT_EQ(QueueEntryImage(&hundred, 1).size(), 100u);
  EXPECT_EQ(Bytes(QueueEntryImage(&hundred, 1).data(), 100), Bytes(&hundred.buffer, 100));

  RecordQueue<RawRecord> raw;  // random bytes save fewer than 16 bytes: plain behind header 0
  std::mt19937 rng(7);
  for (auto& b : raw.buffer.BYTES) b = static_cast<std::uint8_t>(rng());
  QueueAdd(&raw);
  image = QueueEntryImage(&raw, 1);
  ASSERT_EQ(image.size(), 404u);
  std::memcpy(&header, image.data(), 4);
  EXPECT_EQ(header, 0u);
  const auto original = Bytes(&raw.buffer, 400);
  std::memset(&raw.buffer, 0, 400);
  QueueGetAt(&raw, 1);
  EXPECT_EQ(Bytes(&raw.buffer, 400), original);

  // Encoding that saves exactly 16 bytes is kept; 15 is not.
  for (int saved : {16, 15}) {
    RecordQueue<RawRecord> edge;
    for (int i = 0; i < 400; ++i) edge.buffer.BYTES[i] = static_cast<std::uint8_t>('a' + i % 2);
    // One repeat item of n blanks replaces n bytes by 2: literal headers cost 2 + 2 bytes.
    const int run = saved + 2 + 2 + 2;
    std::memset(edge.buffer.BYTES + 100, ' ', static_cast<std::size_t>(run));
    QueueAdd(&edge);
    std::memcpy(&header, QueueEntryImage(&edge, 1).data(), 4);
    EXPECT_EQ(header != 0, saved >= 16) << saved;
  }
}

TEST(Queue, NodeSizedRecordsStoreInAFewBytes) {
  RecordQueue<NodeRecord> nodes;
  for (int i = 0; i < 200; ++i) {
    nodes.buffer.NAME = "RegistryItem" + std::to_string(i);
    nodes.buffer.PARENT = i;
    nodes.buffer.SLOTS = "KeyName";
    QueueAdd(&nodes);
    ASSERT_EQ(RuntimeErrorCode(), 0);
  }
  EXPECT_LT(QueueEntryImage(&nodes, 200).size(), 64u);
  nodes.buffer = NodeRecord{};
  QueueGetAt(&nodes, 123);
  EXPECT_EQ(nodes.buffer.NAME.Str(), "RegistryItem122");
  EXPECT_EQ(nodes.buffer.PARENT, 122);
  EXPECT_EQ(nodes.buffer.SLOTS.Str(), "KeyName");
}

TEST(Queue, GetAtOutsideTheEntriesSets30AndKeepsTheBuffer) {
  SmallQueue q;
  Add(q, "a");
  Add(q, "b");
  Add(q, "c");
  struct Case {
    int position;
    int pointerAfter;  // position 0 also forgets the current entry
  };
  for (const Case c : {Case{0, 0}, Case{-1, 2}, Case{4, 2}, Case{INT32_MIN, 2}}) {
    QueueGetAt(&q, 2);
    q.buffer.NAME = "buffer";
    QueueGetAt(&q, c.position);
    EXPECT_EQ(RuntimeErrorCode(), 30) << c.position;
    EXPECT_EQ(RuntimeErrorText(), "Entry Not Found");
    EXPECT_EQ(q.buffer.NAME.Str(), "buffer") << c.position;
    EXPECT_EQ(QueuePointer(&q), c.pointerAfter) << c.position;
  }
}

TEST(Queue, AddAfterSortAppendsAndKeepsTheKeyOnlyWhenLast) {
  SmallQueue q;
  const int byName[] = {kName};
  Add(q, "b");
  Add(q, "d");
  Add(q, "a");
  QueueSort(&q, byName);
  ASSERT_EQ(Names(q), "a b d");
  Add(q, "e");  // sorts last: the order stays sorted
  EXPECT_TRUE(CurrentIsKeyed(q));
  Add(q, "e");  // equal to the last still sorts last
  EXPECT_TRUE(CurrentIsKeyed(q));
  Add(q, "c");  // below the last: appended, and the order is no longer sorted
  EXPECT_EQ(QueuePointer(&q), 6);
  EXPECT_FALSE(CurrentIsKeyed(q));
  EXPECT_EQ(Names(q), "a b d e e c");
  QueueSort(&q, byName);
  EXPECT_EQ(Names(q), "a b c d e e");
}

TEST(Queue, AddByKeyPlacesAfterEqualKeysAndBuildsItsOrder) {
  SmallQueue q;
  const int byName[] = {kName};
  Add(q, "m", 1);
  Add(q, "c", 2);
  // No order by NAME is held: one is made (the unsorted current order, sorted in place).
  q.buffer.NAME = "m";
  q.buffer.NUM = 3;
  QueueAddByKey(&q, byName);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  EXPECT_EQ(QueuePointer(&q), 3);
  for (int num : {4, 5}) {
    q.buffer.NAME = num == 4 ? "c" : "m";
    q.buffer.NUM = num;
    QueueAddByKey(&q, byName);
  }
  std::string order;
  for (int i = 1; i <= QueueRecords(&q); ++i) {
    QueueGetAt(&q, i);
    order += q.buffer.NAME.Str() + std::to_string(q.buffer.NUM) + " ";
  }
  EXPECT_EQ(order, "c2 c4 m1 m3 m5 ");
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{kName}}));
}

TEST(Queue, AddByKeyIntoAnEmptyKeyedCurrentOrderRekeysIt) {
  SmallQueue q;
  const int byNum[] = {kNum}, byName[] = {kName};
  QueueSort(&q, byNum);
  Add(q, "x", 1);
  Add(q, "y", 2);
  const int byCode[] = {kCode};
  QueueSort(&q, byCode);  // two orders held
  QueueFree(&q);
  QueueSort(&q, byNum);
  q.buffer.NAME = "z";
  QueueAddByKey(&q, byName);
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{kName}}));
}

TEST(Queue, GetByKeyFindsTheFirstOfEqualKeys) {
  SmallQueue q;
  const int byName[] = {kName};
  for (int i = 0; i < 9; ++i) Add(q, i % 3 == 0 ? "a" : (i % 3 == 1 ? "b" : "c"), i);
  QueueSort(&q, byName);
  for (const char* name : {"a", "b", "c"}) {
    q.buffer.NAME = name;
    q.buffer.NUM = -1;
    QueueGetByKey(&q, byName);
    ASSERT_EQ(RuntimeErrorCode(), 0) << name;
    EXPECT_EQ(q.buffer.NAME.Str(), name);
    EXPECT_EQ(q.buffer.NUM, name[0] - 'a');  // the first added of its name
    EXPECT_EQ(QueuePointer(&q), 1 + 3 * (name[0] - 'a'));
  }
  for (const char* missing : {"", "aa", "bb", "d"}) {
    q.buffer.NAME = missing;
    q.buffer.NUM = 77;
    QueueGetByKey(&q, byName);
    EXPECT_EQ(RuntimeErrorCode(), 30) << missing;
    EXPECT_EQ(q.buffer.NUM, 77);
    EXPECT_EQ(q.buffer.NAME.Str(), missing);
  }
  const int noKey[] = {0};
  QueueGetByKey(&q, std::span<const int>(noKey, 0));
  EXPECT_EQ(RuntimeErrorCode(), 30);

  SmallQueue empty;
  QueueGetByKey(&empty, byName);
  EXPECT_EQ(RuntimeErrorCode(), 30);
}

TEST(Queue, KeysNamingNoFieldSet75AndChangeNothing) {
  SmallQueue q;
  Add(q, "b");
  Add(q, "a");
  const std::vector<std::vector<int>> badKeys = {{6}, {-6}, {0}, {kName, 6}, {INT32_MIN}};
  for (const auto& key : badKeys) {
    const Snapshot before(q);
    QueueSort(&q, key);
    EXPECT_EQ(RuntimeErrorCode(), 75);
    EXPECT_EQ(RuntimeErrorText(), "Invalid Field Type Descriptor");
    EXPECT_TRUE(Snapshot(q) == before);
    QueueAddByKey(&q, key);
    EXPECT_EQ(RuntimeErrorCode(), 75);
    EXPECT_TRUE(Snapshot(q) == before);
    QueueGetByKey(&q, key);
    EXPECT_EQ(RuntimeErrorCode(), 75);
    EXPECT_TRUE(Snapshot(q) == before);
  }
  EXPECT_EQ(Names(q), "b a");
}

TEST(Queue, SortIsStableAndOrdersEachFieldTypeByItsValue) {
  SmallQueue q;
  //   name    num     short   flag  code
  Add(q, "b", 5, 300, 200, "x");
  Add(q, "a", -7, -2, 3, "y");
  Add(q, "b", 5, -300, 200, "x");
  Add(q, "c", 100000, 1, 0, "x");
  Add(q, "a", 0, 0, 255, "y");
  Add(q, "B", -100000, 2, 128, "x");
  struct Case {
    std::vector<int> key;
    const char* names;
    std::vector<int> nums;
  };
  const Case cases[] = {
      {{kName}, "B a a b b c", {-100000, -7, 0, 5, 5, 100000}},
      {{-kName}, "c b b a a B", {100000, 5, 5, -7, 0, -100000}},
      {{kNum}, "B a a b b c", {-100000, -7, 0, 5, 5, 100000}},
      {{-kNum}, "c b b a a B", {100000, 5, 5, 0, -7, -100000}},
      {{kShort}, "b a a c B b", {5, -7, 0, 100000, -100000, 5}},
      {{kFlag}, "c a B b b a", {100000, -7, -100000, 5, 5, 0}},
      {{kCode, -kName}, "c b b B a a", {100000, 5, 5, -100000, -7, 0}},
      // Whole records: NUM compares as its little-endian bytes here, so 0 comes before -7.
      {{}, "B a a b b c", {-100000, 0, -7, 5, 5, 100000}},
  };
  for (const Case& c : cases) {
    QueueSort(&q, c.key);
    ASSERT_EQ(RuntimeErrorCode(), 0);
    EXPECT_EQ(Names(q), c.names) << ::testing::PrintToString(c.key);
    std::vector<int> nums;
    for (int i = 1; i <= QueueRecords(&q); ++i) {
      QueueGetAt(&q, i);
      nums.push_back(q.buffer.NUM);
    }
    EXPECT_EQ(nums, c.nums) << ::testing::PrintToString(c.key);
  }
  // Equal "b 5 x" records: the one with short 300 was added first and stays first.
  const int byName[] = {kName};
  QueueSort(&q, byName);
  QueueGetAt(&q, 4);
  EXPECT_EQ(q.buffer.SHORTNUM, 300);
}

// Reference ordering of StyledQueue records for a key of field numbers (text fields 1, 3, 5 ...
// compared as blank-padded text, style fields 2, 4, ... as signed numbers).
int ReferenceCompare(const StyledRecord& a, const StyledRecord& b, const std::vector<int>& key) {
  for (int n : key) {
    const FieldDesc& f = kStyledFields[static_cast<std::size_t>(std::abs(n) - 1)];
    int c;
    if (f.type == FieldType::String) {
      c = CompareBlankPadded(
          std::string_view(reinterpret_cast<const char*>(&a) + f.offset, f.size),
          std::string_view(reinterpret_cast<const char*>(&b) + f.offset, f.size));
    } else {
      std::int32_t x, y;
      std::memcpy(&x, reinterpret_cast<const char*>(&a) + f.offset, 4);
      std::memcpy(&y, reinterpret_cast<const char*>(&b) + f.offset, 4);
      c = (x > y) - (x < y);
    }
    c = (c > 0) - (c < 0);
    if (c) return n < 0 ? -c : c;
  }
  return 0;
}

StyledRecord RandomStyledRecord(std::mt19937& rng, int id) {
  static const char* const kRoots[] = {"SYSTEM\\CurrentControlSet\\Services\\",
                                       "SOFTWARE\\Policies\\", "SYSTEM\\x"};
  StyledRecord r;
  r.KEYNAME =
      std::string(kRoots[rng() % 3]) + std::string(rng() % 3, static_cast<char>('a' + rng() % 3));
  r.VALUENAME = std::string(1 + rng() % 3, static_cast<char>('A' + rng() % 2));
  r.CURRENTVALUE = rng() % 2 ? "N/A" : std::to_string(rng() % 3);
  r.KEYNAME_STYLE = id;
  r.VALUENAME_STYLE = static_cast<std::int32_t>(rng() % 5) - 2;
  r.CURRENTVALUE_STYLE = rng() % 2 ? 0 : 0x20202020;  // runs that merge with the blanks around
  return r;
}

std::vector<int> Ids(StyledQueue& d) {
  std::vector<int> ids;
  for (int i = 1; i <= QueueRecords(&d); ++i) {
    QueueGetAt(&d, i);
    ids.push_back(d.buffer.KEYNAME_STYLE);
  }
  return ids;
}

TEST(Queue, SortOfManyEncodedEntriesMatchesStableSort) {
  std::mt19937 rng(99);
  StyledQueue d;
  std::vector<StyledRecord> model;
  for (int i = 0; i < 3000; ++i) {
    model.push_back(RandomStyledRecord(rng, i));
    d.buffer = model.back();
    QueueAdd(&d);
  }
  const std::vector<std::vector<int>> keys = {{1}, {-4, 3}, {5, -1, 6}, {}, {3, 2}};
  for (const auto& key : keys) {
    QueueSort(&d, key);
    ASSERT_EQ(RuntimeErrorCode(), 0);
    if (key.empty()) {
      std::stable_sort(model.begin(), model.end(), [](const auto& a, const auto& b) {
        return std::memcmp(&a, &b, sizeof a) < 0;
      });
    } else {
      std::stable_sort(model.begin(), model.end(), [&](const auto& a, const auto& b) {
        return ReferenceCompare(a, b, key) < 0;
      });
    }
    std::vector<int> expected;
    for (const auto& r : model) expected.push_back(r.KEYNAME_STYLE);
    EXPECT_EQ(Ids(d), expected) << ::testing::PrintToString(key);
  }
}

// Keyed searches on one text field compare the stored items in place. Every shape of entry is
// checked against a plain model: keys that end in their blanks or in a run of equal characters,
// keys of 64 characters or more (two-byte item headers), keys that are prefixes of one another,
// entries stored plain (random bytes), and a field that does not start the record, both ways up.
TEST(Queue, KeyedSearchesOnATextFieldMatchAPlainModel) {
  std::mt19937 rng(314);
  auto randomKey = [&] {
    static const char* const kStems[] = {"SYSTEM\\CurrentControlSet\\", "SYSTEM\\C", "aaaa", ""};
    std::string k = kStems[rng() % 4];
    const std::size_t extra = rng() % 4 == 0 ? 60 + rng() % 100 : rng() % 6;
    for (std::size_t i = 0; i < extra; ++i)
      k += static_cast<char>(rng() % 8 == 0 ? ' ' : 'a' + rng() % 3);
    return k;
  };
  auto randomRecord = [&](int id) {
    StyledRecord r;
    if (rng() % 10 == 0) {  // incompressible: stored plain behind a zero header
      auto* bytes = reinterpret_cast<std::uint8_t*>(&r);
      for (std::size_t i = 0; i < sizeof r; ++i) bytes[i] = static_cast<std::uint8_t>(rng());
    } else {
      r.KEYNAME = randomKey();
      r.VALUENAME = randomKey().substr(0, 100);
    }
    r.VALUENAME_STYLE = id;
    return r;
  };
  for (const std::vector<int>& key : {std::vector<int>{1}, {-1}, {3}, {-3}}) {
    StyledQueue d;
    std::vector<StyledRecord> model;
    for (int i = 0; i < 1500; ++i) {
      model.push_back(randomRecord(i));
      d.buffer = model.back();
      QueueAdd(&d);
    }
    QueueSort(&d, key);
    ASSERT_EQ(RuntimeErrorCode(), 0);
    std::stable_sort(model.begin(), model.end(),
                     [&](const auto& a, const auto& b) { return ReferenceCompare(a, b, key) < 0; });
    ASSERT_EQ(Ids(d).size(), model.size());
    for (int probe = 0; probe < 400; ++probe) {
      StyledRecord wanted = probe % 2 ? model[rng() % model.size()] : randomRecord(-1);
      const auto first = std::lower_bound(
          model.begin(), model.end(), wanted,
          [&](const auto& a, const auto& b) { return ReferenceCompare(a, b, key) < 0; });
      const bool present = first != model.end() && ReferenceCompare(*first, wanted, key) == 0;
      const auto expectedPosition = static_cast<std::int32_t>(first - model.begin()) + 1;
      const std::string what = ::testing::PrintToString(key) + " probe " + std::to_string(probe);

      wanted.VALUENAME_STYLE = -7;
      d.buffer = wanted;
      EXPECT_EQ(QueuePosition(&d), expectedPosition) << what;
      EXPECT_EQ(RuntimeErrorCode(), present ? 0 : 30) << what;

      d.buffer = wanted;
      QueueGetByKey(&d, key);
      if (present) {
        ASSERT_EQ(RuntimeErrorCode(), 0) << what;
        EXPECT_EQ(d.buffer.VALUENAME_STYLE, first->VALUENAME_STYLE) << what;
        EXPECT_EQ(QueuePointer(&d), expectedPosition) << what;
      } else {
        EXPECT_EQ(RuntimeErrorCode(), 30) << what;
        EXPECT_EQ(d.buffer.VALUENAME_STYLE, -7) << what;
      }
    }
  }
}

TEST(Queue, HeldOrdersStaySortedThroughAddsPutsAndDeletes) {
  std::mt19937 rng(5);
  StyledQueue d;
  const std::vector<std::vector<int>> keys = {{1, 3}, {-4}, {3, -2}};
  int nextId = 0;
  for (int i = 0; i < 200; ++i) {
    d.buffer = RandomStyledRecord(rng, nextId++);
    QueueAdd(&d);
  }
  for (const auto& key : keys) QueueSort(&d, key);
  std::vector<int> live = Ids(d);
  for (int step = 0; step < 600; ++step) {
    const auto& key = keys[rng() % keys.size()];
    const unsigned op = rng() % 4;
    const int n = QueueRecords(&d);
    if (op == 0) {
      d.buffer = RandomStyledRecord(rng, nextId);
      QueueAddByKey(&d, key);
      live.push_back(nextId++);
    } else if (op == 1 && n > 0) {
      QueueGetAt(&d, 1 + static_cast<int>(rng() % static_cast<unsigned>(n)));
      const int id = d.buffer.KEYNAME_STYLE;
      d.buffer = RandomStyledRecord(rng, id);
      QueuePut(&d);
    } else if (op == 2 && n > 0) {
      QueueGetAt(&d, 1 + static_cast<int>(rng() % static_cast<unsigned>(n)));
      live.erase(std::find(live.begin(), live.end(), d.buffer.KEYNAME_STYLE));
      QueueDelete(&d);
    } else {
      QueueSort(&d, key);
    }
    ASSERT_EQ(RuntimeErrorCode(), 0) << "step " << step;
  }
  std::sort(live.begin(), live.end());
  for (const auto& key : keys) {
    QueueSort(&d, key);
    std::vector<StyledRecord> rows;
    std::vector<int> ids;
    for (int i = 1; i <= QueueRecords(&d); ++i) {
      QueueGetAt(&d, i);
      rows.push_back(d.buffer);
      ids.push_back(d.buffer.KEYNAME_STYLE);
    }
    for (std::size_t i = 1; i < rows.size(); ++i) {
      ASSERT_LE(ReferenceCompare(rows[i - 1], rows[i], key), 0) << ::testing::PrintToString(key);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, live);
  }
}

TEST(Queue, TextKeysOrderLikeBlankPaddedComparison) {
  const std::pair<const char*, const char*> pairs[] = {
      {"ab", "ab  "}, {"ab", "AB"},  {"ab", "abc"}, {"ab", "ab\x01"},
      {"a b", "ab"},  {"\xE9", "z"}, {"", "\x1F"},  {"zz", "zz\x7F"},
  };
  const int byName[] = {kName};
  for (const auto& [first, second] : pairs) {
    SmallQueue q;
    Add(q, first, 1);
    Add(q, second, 2);
    QueueSort(&q, byName);
    QueueGetAt(&q, 1);
    const int expected = CompareBlankPadded(first, second) <= 0 ? 1 : 2;  // equal: stable
    EXPECT_EQ(q.buffer.NUM, expected) << first << " / " << second;
  }
}

TEST(Queue, SeventeenthKeyReusesTheLeastRecentlyUsedOrderNeverTheCurrent) {
  // Every field grows with the entry, so every ascending key sorts the entries alike and new
  // entries sort last under all of them.
  SmallQueue q;
  auto addRow = [&](int i, bool byKey, const std::vector<int>& key) {
    q.buffer.NAME = std::string(1, static_cast<char>('a' + i));
    q.buffer.NUM = i;
    q.buffer.SHORTNUM = static_cast<std::int16_t>(i);
    q.buffer.FLAG = static_cast<std::uint8_t>(i);
    q.buffer.CODE = std::string(1, static_cast<char>('a' + i));
    if (byKey) {
      QueueAddByKey(&q, key);
    } else {
      QueueAdd(&q);
    }
    ASSERT_EQ(RuntimeErrorCode(), 0);
  };
  for (int i = 0; i < 3; ++i) addRow(i, false, {});
  std::vector<std::vector<int>> keys;
  for (int a = 1; a <= 5 && keys.size() < 17; ++a) {
    keys.push_back({a});
    for (int b = 1; b <= 5 && keys.size() < 17; ++b) {
      if (b != a) keys.push_back({a, b});
    }
  }
  for (int k = 0; k < 16; ++k) QueueSort(&q, keys[static_cast<std::size_t>(k)]);
  ASSERT_EQ(QueueOrders(&q).size(), 16u);
  EXPECT_EQ(HeldKeys(q).back(), keys[0]);

  // The 17th key: the oldest (keys[0]) goes.
  QueueSort(&q, keys[16]);
  auto held = HeldKeys(q);
  ASSERT_EQ(held.size(), 16u);
  EXPECT_EQ(held.front(), keys[16]);
  EXPECT_EQ(std::count(held.begin(), held.end(), keys[0]), 0);
  EXPECT_EQ(held.back(), keys[1]);

  // Make the current order the least recently used one: adding by each other key marks that key
  // used without changing the current order.
  for (int k = 15; k >= 1; --k) addRow(10 + k, true, keys[static_cast<std::size_t>(k)]);
  held = HeldKeys(q);
  ASSERT_EQ(held.back(), keys[16]);
  ASSERT_TRUE(QueueOrders(&q).back().current);
  const std::vector<int> fresh = {5, 4, 3};
  QueueSort(&q, fresh);
  held = HeldKeys(q);
  EXPECT_EQ(held.front(), fresh);
  EXPECT_EQ(std::count(held.begin(), held.end(), keys[16]), 1);  // the current one stayed
  EXPECT_EQ(std::count(held.begin(), held.end(), keys[15]), 0);  // the next least recent went
  // Every held order still holds every entry in its order.
  for (const auto& key : held) {
    QueueSort(&q, key);
    EXPECT_EQ(QueueRecords(&q), 18);
    EXPECT_EQ(Names(q), "a b c l m n o p q r s t u v w x y z") << ::testing::PrintToString(key);
  }
}

TEST(Queue, SortingByAHeldKeySwitchesBackAndDropsAnUnsortedCurrentOrder) {
  SmallQueue q;
  const int byName[] = {kName}, byNum[] = {kNum};
  Add(q, "b", 1);
  Add(q, "a", 2);
  QueueSort(&q, byName);  // the unsorted order itself takes the key
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{kName}}));
  QueueSort(&q, byNum);
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{kNum}, {kName}}));
  Add(q, "c", 0);  // below the last NUM: the NUM order becomes unsorted
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{}, {kName}}));
  const std::uint32_t before = QueueChanges(&q);
  QueueSort(&q, byName);
  EXPECT_EQ(HeldKeys(q), (std::vector<std::vector<int>>{{kName}}));
  EXPECT_EQ(QueueChanges(&q), before + 1);
  EXPECT_EQ(Names(q), "a b c");  // maintained while it was not current
}

TEST(Queue, PutWritesTheCurrentEntryAndMovesItInTheOtherKeyOrders) {
  SmallQueue q;
  const int byName[] = {kName}, byNum[] = {kNum};
  Add(q, "a", 30);
  Add(q, "b", 20);
  Add(q, "c", 10);
  QueueSort(&q, byNum);   // c b a
  QueueSort(&q, byName);  // current: a b c
  QueueGetAt(&q, 1);
  q.buffer.NUM = 15;  // "a" moves between c and b in the NUM order
  QueuePut(&q);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  EXPECT_EQ(QueuePointer(&q), 1);
  EXPECT_TRUE(CurrentIsKeyed(q));
  QueueSort(&q, byNum);
  EXPECT_EQ(Names(q), "c a b");

  // Changing the current order's own key fields: the entry stays where it is, the order is no
  // longer sorted.
  QueueGetAt(&q, 1);
  q.buffer.NUM = 99;
  QueuePut(&q);
  EXPECT_FALSE(CurrentIsKeyed(q));
  EXPECT_EQ(Names(q), "c a b");
  QueueSort(&q, byName);
  EXPECT_EQ(Names(q), "a b c");

  // A record that grows or shrinks when encoded is rewritten in place of the old one.
  StyledQueue d;
  const int byKeyName[] = {1}, byValueName[] = {3};
  for (const char* name : {"k1", "k2", "k3"}) {
    d.buffer.KEYNAME = name;
    d.buffer.VALUENAME = name;
    QueueAdd(&d);
  }
  QueueSort(&d, byValueName);
  QueueSort(&d, byKeyName);
  QueueGetAt(&d, 2);
  const std::string longValue(90, 'v');
  d.buffer.VALUENAME = longValue;
  d.buffer.CURRENTVALUE = std::string(20, 'q');
  QueuePut(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  QueueSort(&d, byValueName);
  QueueGetAt(&d, 3);
  EXPECT_EQ(d.buffer.KEYNAME.Str(), "k2");
  EXPECT_EQ(d.buffer.CURRENTVALUE.Str(), std::string(20, 'q'));
}

TEST(Queue, PutAndDeleteNeedACurrentEntry) {
  SmallQueue q;
  Add(q, "a");
  QueueFree(&q);
  QueuePut(&q);
  EXPECT_EQ(RuntimeErrorCode(), 30);
  QueueDelete(&q);
  EXPECT_EQ(RuntimeErrorCode(), 30);
  Add(q, "a");
  QueueGetAt(&q, 0);  // forgets the current entry
  QueuePut(&q);
  EXPECT_EQ(RuntimeErrorCode(), 30);
}

TEST(Queue, DeleteRemovesTheEntryFromEveryOrder) {
  SmallQueue q;
  const int byName[] = {kName}, byNum[] = {-kNum};
  Add(q, "a", 1);
  Add(q, "b", 2);
  Add(q, "b", 3);
  Add(q, "c", 4);
  QueueSort(&q, byNum);
  QueueSort(&q, byName);
  // The NAME order was built from the descending NUM order, so its second "b" is NUM 2.
  QueueGetAt(&q, 3);
  ASSERT_EQ(q.buffer.NUM, 2);
  const std::uint32_t before = QueueChanges(&q);
  QueueDelete(&q);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  EXPECT_EQ(QueueChanges(&q), before + 1);
  EXPECT_EQ(QueuePointer(&q), 0);
  EXPECT_EQ(Names(q), "a b c");
  QueueSort(&q, byNum);
  std::vector<int> nums;
  for (int i = 1; i <= QueueRecords(&q); ++i) {
    QueueGetAt(&q, i);
    nums.push_back(q.buffer.NUM);
  }
  EXPECT_EQ(nums, (std::vector<int>{4, 3, 1}));
}

TEST(Queue, PositionTellsWhereTheBufferKeyStands) {
  SmallQueue q;
  const int byName[] = {kName};
  for (const char* n : {"b", "d", "d", "f"}) Add(q, n);
  QueueSort(&q, byName);
  struct Case {
    const char* name;
    int position;
    int error;
  };
  const Case cases[] = {
      {"a", 1, 30}, {"b", 1, 0}, {"c", 2, 30}, {"d", 2, 0}, {"e", 4, 30}, {"f", 4, 0}, {"g", 5, 30},
  };
  for (const Case& c : cases) {
    q.buffer.NAME = c.name;
    EXPECT_EQ(QueuePosition(&q), c.position) << c.name;
    EXPECT_EQ(RuntimeErrorCode(), c.error) << c.name;
  }
  SmallQueue empty;
  EXPECT_EQ(QueuePosition(&empty), 1);
  EXPECT_EQ(RuntimeErrorCode(), 30);
}

TEST(Queue, PointerLooksUpTheFirstHeldOrdersEntryInTheCurrentOrder) {
  SmallQueue q;
  const int byName[] = {kName}, byNum[] = {kNum};
  Add(q, "a", 3);
  Add(q, "b", 2);
  Add(q, "c", 1);
  QueueSort(&q, byName);
  QueueSort(&q, byNum);  // current: c b a
  q.buffer.NAME = "bb";
  q.buffer.NUM = 0;
  // The NAME order is held but not current: it is used, positions stay in the NUM order.
  QueueAddByKey(&q, byName);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  const auto orders = QueueOrders(&q);
  EXPECT_EQ(orders[0].key, std::vector<int>{kName});
  EXPECT_FALSE(orders[0].current);
  EXPECT_TRUE(orders[1].current);
  // In the NUM order (c b a) the new entry went where a search by NAME placed it, at the end;
  // NUM 0 does not sort there, so that order gave up its key.
  EXPECT_EQ(QueuePointer(&q), 4);
  EXPECT_FALSE(CurrentIsKeyed(q));
  EXPECT_EQ(Names(q), "c b a bb");
  QueueSort(&q, byName);
  EXPECT_EQ(Names(q), "a b bb c");
}

TEST(Queue, CurrentEntryFollowsItsEntryThroughASort) {
  // Sorting the only order also lays its entries out anew; the current entry must follow.
  StyledQueue d;
  for (const char* name : {"k3", "k1", "k2"}) {
    d.buffer.KEYNAME = name;
    QueueAdd(&d);
  }
  QueueGetAt(&d, 1);
  const int byKey[] = {1};
  QueueSort(&d, byKey);
  EXPECT_EQ(QueuePointer(&d), 3);
  d.buffer.VALUENAME = "changed";
  QueuePut(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  d.buffer = StyledRecord{};
  QueueGetAt(&d, 3);
  EXPECT_EQ(d.buffer.KEYNAME.Str(), "k3");
  EXPECT_EQ(d.buffer.VALUENAME.Str(), "changed");
  QueueGetAt(&d, 1);
  EXPECT_EQ(d.buffer.KEYNAME.Str(), "k1");
  EXPECT_TRUE(d.buffer.VALUENAME.IsBlank());
}

TEST(Queue, ChangeCounterStartsFromTheTimeOfDayAndCountsChanges) {
  auto hundredths = [] { return static_cast<std::uint32_t>(ClockHundredths()); };
  SmallQueue q;
  const std::uint32_t from = hundredths();
  const std::uint32_t seed = QueueChanges(&q);
  const std::uint32_t to = hundredths();
  bool matched = false;
  for (std::uint32_t t = from; t <= to && !matched; ++t) matched = seed == (t + 1) * 25781083u;
  EXPECT_TRUE(matched || to < from) << seed;  // (unless the test ran across midnight)

  const int byName[] = {kName};
  std::uint32_t expect = seed;
  const std::function<void()> changes[] = {
      [&] { Add(q, "b"); },
      [&] { Add(q, "a"); },
      [&] { QueueSort(&q, byName); },
      [&] {
        q.buffer.NAME = "c";
        QueueAddByKey(&q, byName);
      },
      [&] {
        QueueGetAt(&q, 1);
        QueuePut(&q);
      },
      [&] {
        QueueGetAt(&q, 1);
        QueueDelete(&q);
      },
      [&] { QueueFree(&q); },
  };
  for (const auto& change : changes) {
    change();
    ASSERT_EQ(RuntimeErrorCode(), 0);
    EXPECT_EQ(QueueChanges(&q), ++expect);
  }
  // Reading changes nothing.
  Add(q, "z");
  ++expect;
  QueueGetAt(&q, 1);
  QueuePointer(&q);
  QueuePosition(&q);
  QueueRecords(&q);
  EXPECT_EQ(QueueChanges(&q), expect);
}

TEST(Queue, FailedOperationsLeaveEntriesBufferAndCounterAlone) {
  SmallQueue q;
  const int byName[] = {kName}, byNum[] = {kNum};
  Add(q, "b", 2);
  Add(q, "a", 1);
  QueueSort(&q, byNum);
  QueueSort(&q, byName);
  struct Case {
    const char* what;
    std::function<void()> op;
    int error;
  };
  const Case cases[] = {
      {"get at 0", [&] { QueueGetAt(&q, 0); }, 30},
      {"get at -1", [&] { QueueGetAt(&q, -1); }, 30},
      {"get past the end", [&] { QueueGetAt(&q, 3); }, 30},
      {"get by a missing key",
       [&] {
         q.buffer.NAME = "zz";
         QueueGetByKey(&q, byName);
       },
       30},
      {"sort by field 6",
       [&] {
         const int k[] = {6};
         QueueSort(&q, k);
       },
       75},
      {"add by field -9",
       [&] {
         const int k[] = {-9};
         QueueAddByKey(&q, k);
       },
       75},
      {"put without a current entry",
       [&] {
         QueueGetAt(&q, 0);
         QueuePut(&q);
       },
       30},
      {"delete without a current entry",
       [&] {
         QueueGetAt(&q, 0);
         QueueDelete(&q);
       },
       30},
  };
  for (const Case& c : cases) {
    q.buffer.NAME = "zz";
    q.buffer.NUM = 42;
    const Snapshot before(q);
    c.op();
    EXPECT_EQ(RuntimeErrorCode(), c.error) << c.what;
    EXPECT_TRUE(Snapshot(q) == before) << c.what;
  }
}

// Damages entry `position` of a StyledQueue (all encoded) so that it no longer decodes.
void Damage(StyledQueue& d, int position, bool truncate) {
  auto image = QueueEntryImage(&d, position);
  std::uint32_t header;
  std::memcpy(&header, image.data(), 4);
  ASSERT_GT(header, 8u);
  if (truncate) {
    header -= 3;  // the last item now runs past the encoded data
    std::memcpy(image.data(), &header, 4);
  } else {
    image[4] = 0x7F;  // first item: a 16-bit count of 0xFFFF bytes, past the record
    image[5] = 0xFF;
    image[6] = 0xFF;
  }
}

TEST(Queue, DamagedEntriesAreRefusedWith7AndLeftAlone) {
  for (bool truncate : {true, false}) {
    StyledQueue d;
    const int byKey[] = {1};
    for (const char* name : {"k1", "k2", "k3", "k4", "k5"}) {
      d.buffer.KEYNAME = name;
      QueueAdd(&d);
    }
    Damage(d, 3, truncate);
    const auto damaged = Bytes(QueueEntryImage(&d, 3).data(), QueueEntryImage(&d, 3).size());
    d.buffer.KEYNAME = "buffer";
    const Snapshot before(d);

    QueueGetAt(&d, 3);
    EXPECT_EQ(RuntimeErrorCode(), 7);
    EXPECT_EQ(RuntimeErrorText(), "Memory Corrupted");
    EXPECT_TRUE(Snapshot(d) == before);

    // A sort reads only the key fields: a cut-off tail does not stop it, a damaged key does.
    QueueSort(&d, byKey);
    if (truncate) {
      EXPECT_EQ(RuntimeErrorCode(), 0);
    } else {
      EXPECT_EQ(RuntimeErrorCode(), 7);
      EXPECT_TRUE(Snapshot(d) == before);
    }
    d.buffer.KEYNAME = "k3";
    EXPECT_EQ(QueuePosition(&d), truncate ? 3 : 0);
    EXPECT_EQ(RuntimeErrorCode(), truncate ? 0 : 7);

    // Entries that sit beside it still work.
    QueueGetAt(&d, 4);
    EXPECT_EQ(d.buffer.KEYNAME.Str(), "k4");
    // Put over a damaged current entry is refused; Delete removes it.
    QueueGetAt(&d, 2);
    Damage(d, 2, truncate);
    const auto damaged2 = Bytes(QueueEntryImage(&d, 2).data(), QueueEntryImage(&d, 2).size());
    QueuePut(&d);
    EXPECT_EQ(RuntimeErrorCode(), 7);
    EXPECT_EQ(Bytes(QueueEntryImage(&d, 2).data(), QueueEntryImage(&d, 2).size()), damaged2);
    EXPECT_EQ(Bytes(QueueEntryImage(&d, 3).data(), QueueEntryImage(&d, 3).size()), damaged);
    QueueDelete(&d);
    EXPECT_EQ(RuntimeErrorCode(), 0);
    EXPECT_EQ(QueueRecords(&d), 4);
  }
}

TEST(Queue, FreeEmptiesTheQueueAndForgetsItsOrders) {
  StyledQueue d;
  const int byKey[] = {1}, byValue[] = {-3};
  for (int i = 0; i < 300; ++i) {
    d.buffer.KEYNAME = "key" + std::to_string(i);
    QueueAdd(&d);
  }
  QueueSort(&d, byKey);
  QueueSort(&d, byValue);
  EXPECT_GT(QueueStorage(&d).entryBytes, 0u);
  QueueFree(&d);
  EXPECT_EQ(QueueRecords(&d), 0);
  EXPECT_EQ(QueueStorage(&d).entryBytes, 0u);
  EXPECT_EQ(HeldKeys(d), (std::vector<std::vector<int>>{{}}));
  QueueGetAt(&d, 1);
  EXPECT_EQ(RuntimeErrorCode(), 30);
  d.buffer.KEYNAME = "again";
  QueueAdd(&d);
  QueueGetAt(&d, 1);
  EXPECT_EQ(d.buffer.KEYNAME.Str(), "again");
}

// Large key orders carry a search index of the first search steps, built once enough searches
// have run without a change. Whatever it decides must be what comparing the entries decides: keys
// that share long beginnings (so the index's bytes for a step start well inside the key), keys that
// differ only past those bytes or in their last byte, runs of equal keys that straddle the index's
// steps, the first and the last key, and keys that are missing below, between and above them; in
// both directions, and again after changes that drop the index.
class QueueSearchIndex : public ::testing::TestWithParam<int> {
 protected:
  struct Row {
    std::string key;
    int id;
  };

  static std::vector<Row> MakeRows() {
    std::mt19937 rng(27);
    const std::string stem = "SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation\\Parameters\\";
    std::vector<Row> rows;
    int id = 0;
    while (rows.size() < 5000) {
      std::string key = stem;
      const int words = 1 + static_cast<int>(rng() % 3);
      for (int w = 0; w < words; ++w) key += "Word" + std::to_string(rng() % 7) + "\\";
      // Some keys run to the field's end and differ only in its last byte.
      if (rng() % 8 == 0) key.resize(199, 'x');
      key += static_cast<char>('a' + rng() % 26);
      const int copies = rng() % 5 == 0 ? 1 + static_cast<int>(rng() % 40) : 1;
      for (int c = 0; c < copies; ++c) rows.push_back(Row{key, id++});
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    return rows;
  }

  // Probes: every key present, and keys just below and above each, below and above all.
  static std::vector<std::string> Probes(const std::vector<Row>& rows) {
    std::vector<std::string> out{"", "A", "~", std::string(200, '\xFF')};
    for (const Row& r : rows) {
      out.push_back(r.key);
      std::string below = r.key;
      below.back() = static_cast<char>(below.back() - 1);
      out.push_back(below);
      if (r.key.size() < 200) out.push_back(r.key + "!");
    }
    return out;
  }

  // Looks every probe up (twice: the first round builds the index) and checks it against the rows
  // sorted as the order sorts them.
  static void CheckLookups(StyledQueue& d, std::vector<Row> rows, bool descending) {
    auto before = [&](const Row& a, const Row& b) {
      const int c = std::memcmp(FixedText<200>(a.key).bytes, FixedText<200>(b.key).bytes, 200);
      return descending ? c > 0 : c < 0;
    };
    std::stable_sort(rows.begin(), rows.end(), before);
    const int key[] = {descending ? -1 : 1};
    const std::vector<std::string> probes = Probes(rows);
    for (int round = 0; round < 2; ++round) {
      for (const std::string& probe : probes) {
        const Row p{probe, -1};
        const auto first = std::lower_bound(rows.begin(), rows.end(), p, before);
        const bool present = first != rows.end() && !before(p, *first);
        const int place = static_cast<int>(first - rows.begin()) + 1;
        d.buffer.KEYNAME = probe;
        d.buffer.VALUENAME = "untouched";
        QueueGetByKey(&d, key);
        if (present) {
          ASSERT_EQ(RuntimeErrorCode(), 0) << probe;
          ASSERT_EQ(QueuePointer(&d), place) << probe;
          ASSERT_EQ(d.buffer.VALUENAME.Str(), std::to_string(first->id)) << probe;
        } else {
          ASSERT_EQ(RuntimeErrorCode(), 30) << probe;
          ASSERT_EQ(d.buffer.VALUENAME.Str(), "untouched") << probe;
        }
        d.buffer.KEYNAME = probe;
        const auto after = std::upper_bound(rows.begin(), rows.end(), p, before);
        const std::int32_t position = QueuePosition(&d);
        ASSERT_EQ(RuntimeErrorCode(), present ? 0 : 30) << probe;
        ASSERT_EQ(position, present ? place : static_cast<int>(after - rows.begin()) + 1) << probe;
      }
    }
    EXPECT_GT(QueueStorage(&d).indexBytes, 0u);  // the lookups above went through the index
  }

  static void Add(StyledQueue& d, const Row& r) {
    d.buffer.KEYNAME = r.key;
    d.buffer.VALUENAME = std::to_string(r.id);
  }
};

TEST_P(QueueSearchIndex, FindsWhatTheEntriesSay) {
  const bool descending = GetParam() < 0;
  const int key[] = {GetParam()};
  std::vector<Row> rows = MakeRows();
  StyledQueue d;
  for (const Row& r : rows) {
    Add(d, r);
    QueueAdd(&d);
  }
  QueueSort(&d, key);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  CheckLookups(d, rows, descending);

  // Each change drops the index; lookups stay right and build it again.
  const int next = static_cast<int>(rows.size());
  rows.push_back(Row{rows[17].key, next});  // after the entries with an equal key
  Add(d, rows.back());
  QueueAddByKey(&d, key);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  EXPECT_EQ(QueueStorage(&d).indexBytes, 0u);
  CheckLookups(d, rows, descending);

  rows.push_back(Row{descending ? std::string(200, '\xFE') : std::string("AAA"), next + 1});
  Add(d, rows.back());
  QueueAddByKey(&d, key);  // a new first key
  ASSERT_EQ(RuntimeErrorCode(), 0);
  CheckLookups(d, rows, descending);

  QueueGetAt(&d, 2);  // the old first entry goes
  const std::string gone = d.buffer.VALUENAME.Str();
  QueueDelete(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  rows.erase(std::find_if(rows.begin(), rows.end(),
                          [&](const Row& r) { return std::to_string(r.id) == gone; }));
  CheckLookups(d, rows, descending);

  QueueGetAt(&d, 100);  // a key changed in place: the order is no longer sorted by it
  const std::string changed = d.buffer.VALUENAME.Str();
  d.buffer.KEYNAME = "SYSTEM\\Moved";
  QueuePut(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  for (Row& r : rows) {
    if (std::to_string(r.id) == changed) r.key = "SYSTEM\\Moved";
  }
  QueueSort(&d, key);
  CheckLookups(d, rows, descending);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, QueueSearchIndex, ::testing::Values(1, -1));

// Reads by position that jump around a large order go by a guide to where the entries lie once a
// sort has laid them out in sequence; it only says where to fetch ahead, so every read must stay
// right as entries move and go, and each such change must drop it.
class QueueGuide : public ::testing::TestWithParam<int> {};

TEST_P(QueueGuide, ReadsThatJumpAroundALargeOrderStayRightThroughChanges) {
  const int kRows = GetParam();
  StyledQueue d;
  for (int i = 0; i < kRows; ++i) {
    d.buffer.KEYNAME = "SYSTEM\\Key" + std::to_string((i * 7919) % kRows);
    d.buffer.VALUENAME = std::to_string(i);
    QueueAdd(&d);
  }
  std::vector<std::string> model;  // VALUENAME by position
  auto readThrough = [&] {
    model.clear();
    for (std::int32_t p = 1; p <= QueueRecords(&d); ++p) {
      QueueGetAt(&d, p);
      model.push_back(d.buffer.VALUENAME.Str());
    }
  };
  std::mt19937 rng(11);
  auto readAtRandom = [&](int reads) {
    for (int r = 0; r < reads; ++r) {
      const int position = 1 + static_cast<int>(rng() % model.size());
      QueueGetAt(&d, position);
      ASSERT_EQ(RuntimeErrorCode(), 0) << position;
      ASSERT_EQ(d.buffer.VALUENAME.Str(), model[position - 1]) << position;
    }
  };
  auto readEdges = [&] {  // the first and last entries, and those about a guide point
    const std::int32_t n = QueueRecords(&d);
    for (std::int32_t p : {1, 16, 17, 18, n - 16, n - 1, n}) {
      QueueGetAt(&d, p);
      ASSERT_EQ(RuntimeErrorCode(), 0) << p;
      ASSERT_EQ(d.buffer.VALUENAME.Str(), model[static_cast<std::size_t>(p) - 1]) << p;
    }
  };
  readThrough();
  readAtRandom(5000);
  const int key[] = {1};
  QueueSort(&d, key);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  readThrough();
  readAtRandom(5000);
  EXPECT_GT(QueueStorage(&d).indexBytes, 0u);  // the reads above laid the guide out
  readEdges();

  // A longer value moves the entry to a new place in memory; its key, and its place, stay.
  QueueGetAt(&d, 500);
  d.buffer.VALUENAME = std::string(90, 'v') + "x";
  QueuePut(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  model[499] = d.buffer.VALUENAME.Str();
  EXPECT_EQ(QueueStorage(&d).indexBytes, 0u);
  readAtRandom(5000);
  EXPECT_GT(QueueStorage(&d).indexBytes, 0u);

  QueueGetAt(&d, 1);  // every position after it shifts
  QueueDelete(&d);
  ASSERT_EQ(RuntimeErrorCode(), 0);
  model.erase(model.begin());
  EXPECT_EQ(QueueStorage(&d).indexBytes, 0u);
  readAtRandom(5000);
  readEdges();
}

// Past the size from which an order gets a guide: the last entry falls on a guide point (65537,
// 65553), or just short of one (70000).
INSTANTIATE_TEST_SUITE_P(Sizes, QueueGuide, ::testing::Values(65537, 65553, 70000));

}  // namespace
}  // namespace vantrel
