// The optional tables of queue loading and writing: name translations, nested lists, and the
// saved navigation state.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "runtime/text/fixed_text.h"
#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

using XmlQueue = test::ItemQueue;
using V = std::vector<std::string>;

V Entries(XmlQueue& q) { return test::ItemEntries(q); }

V LoadItems(const std::string& items, XmlQueue& q) {
  EXPECT_EQ(LoadText("<RegistryItems>" + items + "</RegistryItems>", {.quiet = true}), 0);
  QueueFree(&q);
  if (FindNode("RegistryItems", "RegistryItem") != 0) return {"not found"};
  LoadQueue(&q, {.deep = true, .recordBoundary = true});
  return Entries(q);
}

// Writes the queue as the application does (without the declaration) and returns the lines
// each led by CR LF rather than ended by it.
std::string Write(Queue& q, const char* root, const char* record) {
  const test::ScratchDir dir;
  EXPECT_EQ(CreateXMLFile(dir.Path("out.xml"), "", "", {.keepCopy = true}), 0);
  CreateParent(root);
  AddParent();
  QueueToXML(&q, record);
  CloseParent();
  EXPECT_EQ(CloseXMLFile(), 0);
  const std::string lines = KeptCopy();
  return "\r\n" + lines.substr(0, lines.size() - 2);
}

class QueueTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
};

TEST_F(QueueTablesTest, TranslationsMakeMatchNamesFromAncestors) {
  using T = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* what;
    T translations;
    std::string item;
    V entries;
    std::string written;  // the record as QueueToXML writes it back, when checked
  } cases[] = {
      {"one ancestor tells two Names apart",
       {{"KeyName", "Key/Name"}, {"ValueName", "Value/Name"}},
       "<RegistryItem><Key><Name>k</Name></Key><Value><Name>v</Name></Value></RegistryItem>",
       {"k|v|||"},
       "\r\n  <RegistryItem>\r\n   <Key>\r\n   <Name>k</Name>\r\n   </Key>\r\n   <Value>\r\n"
       "   <Name>v</Name>\r\n   </Value>\r\n  <SavedValue></SavedValue>\r\n"
       "  <DisableValue></DisableValue>\r\n  <EnableValue></EnableValue>\r\n  </RegistryItem>"},
      {"two ancestors, neighbours share them",
       {{"SavedValue", "Values/Saved/Text"}, {"DisableValue", "values/DISABLE/text"}},
       "<RegistryItem><Values><Saved><Text>1</Text></Saved><Disable><Text>0</Text></Disable>"
       "</Values></RegistryItem>",
       {"||1|0|"},
       "\r\n  <RegistryItem>\r\n  <KeyName></KeyName>\r\n  <ValueName></ValueName>\r\n"
       "   <Values>\r\n    <Saved>\r\n    <Text>1</Text>\r\n    </Saved>\r\n    <DISABLE>\r\n"
       "    <text>0</text>\r\n    </DISABLE>\r\n   </Values>\r\n  <EnableValue></EnableValue>\r\n"
       "  </RegistryItem>"},
      {"three ancestors, the record element among them",
       {{"EnableValue", "RegistryItem/On/Enable/Text"}},
       "<RegistryItem><On><Enable><Text>e</Text></Enable></On><Text>not this</Text></RegistryItem>",
       {"||||e"},
       "\r\n  <RegistryItem>\r\n  <KeyName></KeyName>\r\n  <ValueName></ValueName>\r\n"
       "  <SavedValue></SavedValue>\r\n  <DisableValue></DisableValue>\r\n   <On>\r\n"
       "    <Enable>\r\n    <Text>e</Text>\r\n    </Enable>\r\n   </On>\r\n  </RegistryItem>"},
      {"own name only",
       {{"KeyName", "Path"}},
       "<RegistryItem><Path>p</Path><KeyName>k</KeyName></RegistryItem>",
       {"p||||", "k||||"},
       ""},
      {"the first that fits wins; a record none fits keeps its name",
       {{"KeyName", "Key/Name"}, {"ValueName", "Name"}},
       "<RegistryItem><Other><Name>x</Name></Other><Key><Name>k</Name></Key></RegistryItem>",
       {"k|x|||"},
       ""},
      {"attributes on an ancestor",
       {{"ValueName", "Value/Id"}},
       "<RegistryItem><Value Id=\"7\"/><KeyName>k</KeyName></RegistryItem>",
       {"k|7|||"},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    for (const auto& [field, path] : c.translations) ASSERT_TRUE(AddNameTranslation(field, path));
    XmlQueue q;
    EXPECT_EQ(LoadItems(c.item, q), c.entries);
    if (c.written.empty()) continue;
    const std::string text = Write(q, "RegistryItems", "RegistryItem");
    EXPECT_EQ(text, "\r\n <RegistryItems>" + c.written + "\r\n </RegistryItems>");
    // Read back with the same translations.
    XmlQueue again;
    EXPECT_EQ(LoadText(text, {.quiet = true}), 0);
    ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
    LoadQueue(&again, {.deep = true, .recordBoundary = true});
    EXPECT_EQ(Entries(again), c.entries);
  }
  for (const char* bad : {"", "a//b", "/a", "a/", "a/b/c/d/e"}) {
    EXPECT_FALSE(AddNameTranslation("KeyName", bad)) << bad;
  }
  EXPECT_FALSE(AddNameTranslation(" ", "a"));
  // Without deep the records below the children are not reached.
  Reset();
  ASSERT_TRUE(AddNameTranslation("KeyName", "Key/Name"));
  ASSERT_EQ(LoadText("<l><i><Key><Name>k</Name></Key><ValueName>v</ValueName></i></l>"), 0);
  ASSERT_EQ(FindNode("l", "i"), 0);
  XmlQueue shallow;
  LoadQueue(&shallow, {.recordBoundary = true});
  EXPECT_EQ(Entries(shallow), V{"|v|||"});
}

// Orders hold lines, lines hold parts: two levels of child queues, each entry owning its own.
struct PartRecord {
  FixedText<8> SERIAL;
  static const RecordLayout kLayout;
};
constexpr FieldDesc kPartFields[] = {
    TextField("P:SERIAL", "Serial", offsetof(PartRecord, SERIAL), 8)};
const RecordLayout PartRecord::kLayout{kPartFields, sizeof(PartRecord)};

struct LineRecord {
  FixedText<8> SKU;
  Queue* PART;
  static const RecordLayout kLayout;
};
constexpr FieldDesc kLineFields[] = {TextField("L:SKU", "Sku", offsetof(LineRecord, SKU), 8),
                                     QueueRefField("L:PART", "Part", offsetof(LineRecord, PART))};
const RecordLayout LineRecord::kLayout{kLineFields, sizeof(LineRecord)};

struct OrderRecord {
  FixedText<8> ID;
  Queue* LINE;
  static const RecordLayout kLayout;
};
constexpr FieldDesc kOrderFields[] = {TextField("O:ID", "Id", offsetof(OrderRecord, ID), 8),
                                      QueueRefField("O:LINE", "Line", offsetof(OrderRecord, LINE))};
const RecordLayout OrderRecord::kLayout{kOrderFields, sizeof(OrderRecord)};

class NestedListTest : public QueueTablesTest {
 protected:
  // Every child queue made while loading; the test owns them.
  std::vector<std::unique_ptr<Queue>> made_;
  std::vector<std::unique_ptr<char[]>> buffers_;

  template <class Record>
  ChildQueueMaker Maker() {
    return [this] {
      buffers_.push_back(std::make_unique<char[]>(sizeof(Record)));
      made_.push_back(std::make_unique<Queue>(Record::kLayout, buffers_.back().get()));
      return made_.back().get();
    };
  }

  void AddLists(bool partsDeep) {
    AddNestedList("Line", false, Maker<LineRecord>());
    AddNestedList("X:PART", partsDeep, Maker<PartRecord>());  // any prefix goes
  }

  // "id:sku(serial serial) sku()" per order.
  static V Orders(RecordQueue<OrderRecord>& orders) {
    V out;
    for (std::int32_t i = 1; i <= QueueRecords(&orders); ++i) {
      QueueGetAt(&orders, i);
      std::string s = orders.buffer.ID.Str() + ":";
      Queue* lines = orders.buffer.LINE;
      for (std::int32_t j = 1; lines && j <= QueueRecords(lines); ++j) {
        QueueGetAt(lines, j);
        const auto* line = static_cast<const LineRecord*>(lines->Buffer());
        s += (j > 1 ? " " : "") + line->SKU.Str() + "(";
        for (std::int32_t k = 1; line->PART && k <= QueueRecords(line->PART); ++k) {
          QueueGetAt(line->PART, k);
          s += (k > 1 ? " " : "") +
               static_cast<const PartRecord*>(line->PART->Buffer())->SERIAL.Str();
        }
        s += ")";
      }
      out.push_back(s);
    }
    return out;
  }

  V Load(const std::string& text, RecordQueue<OrderRecord>& orders) {
    EXPECT_EQ(LoadText(text, {.quiet = true}), 0);
    if (FindNode("Orders", "Order") != 0) return {"not found"};
    LoadQueue(&orders, {.deep = true, .recordBoundary = true});
    return Orders(orders);
  }
};

TEST_F(NestedListTest, TwoLevelsLoadWriteAndLoadAgain) {
  const std::string doc =
      "<Orders>"
      "<Order><Id>1</Id>"
      "<Line><Sku>a</Sku><Part><Serial>a1</Serial></Part><Part><Serial>a2</Serial></Part></Line>"
      "<Line><Sku>b</Sku></Line></Order>"
      "<Order><Id>2</Id></Order>"
      "<Order><Line><Sku>c</Sku><Part><Tag><Serial>deep</Serial></Tag></Part></Line></Order>"
      "</Orders>";
  const V loaded = {"1:a(a1 a2) b()", "2:", ":c()"};
  AddLists(false);
  RecordQueue<OrderRecord> orders;
  EXPECT_EQ(Load(doc, orders), loaded);
  EXPECT_EQ(made_.size(), 4u)
      << "one line queue for orders 1 and 3, one part queue for line a and c";

  const std::string written = Write(orders, "Orders", "Order");
  EXPECT_NE(written.find("\r\n  <Order>\r\n  <Id>1</Id>\r\n   <Line>\r\n   <Sku>a</Sku>\r\n"
                         "    <Part>\r\n    <Serial>a1</Serial>\r\n    </Part>\r\n"),
            std::string::npos)
      << written;
  RecordQueue<OrderRecord> again;
  EXPECT_EQ(Load(written, again), loaded);

  // The child load's deep reaches a serial below another element.
  ClearNestedLists();
  AddLists(true);
  RecordQueue<OrderRecord> deep;
  EXPECT_EQ(Load(doc, deep), (V{"1:a(a1 a2) b()", "2:", ":c(deep)"}));
  // Without a nested list the child elements are ordinary records: their names fill nothing.
  ClearNestedLists();
  RecordQueue<OrderRecord> flat;
  EXPECT_EQ(Load(doc, flat), (V{"1:", "2:"}));
}

TEST_F(QueueTablesTest, SavedStateAndItsExceptionBox) {
  test::MessageLog log;
  EXPECT_EQ(RestoreState(), 1007);
  EXPECT_EQ(ErrorText(0, true), "Cannot restore state. State never saved.");

  // A load ends back on the saved state; RestoreState puts it back once.
  const std::string doc =
      "<a><l><i><KeyName>1</KeyName></i><i><KeyName>2</KeyName></i></l><x>y</x></a>";
  ASSERT_EQ(LoadText(doc), 0);
  ASSERT_EQ(FindNode("a", "l", "i"), 0);
  const StateView before = State();
  SaveState();
  XmlQueue q;
  EXPECT_EQ(LoadQueue(&q, {.deep = true, .recordBoundary = true}), 2);
  EXPECT_EQ(State().currentRecord, before.currentRecord);
  EXPECT_EQ(State().parentPath, "a/l/i");
  ASSERT_EQ(FindNode("x"), 1005) << "the search stays inside the restored parent";
  EXPECT_EQ(RestoreState(), 0);
  EXPECT_EQ(RestoreState(), 1007);
  EXPECT_TRUE(log.texts.empty());

  // The saved record is gone from the document loaded since: the load shows the box.
  const struct {
    const char* what;
    std::string later;
    std::int32_t entries;
  } gone[] = {
      {"fewer records", "<a><l><i><KeyName>3</KeyName></i></l></a>", 1},
      {"the record outside the saved parent",
       "<b><l><i><KeyName>3</KeyName></i><i><KeyName>4</KeyName></i></l><x>y</x></b>", 2},
  };
  for (const auto& g : gone) {
    SCOPED_TRACE(g.what);
    log.texts.clear();
    log.captions.clear();
    ASSERT_EQ(LoadText(doc), 0);
    ASSERT_EQ(FindNode("a", "x"), 0);
    ASSERT_EQ(State().currentRecord, 6);
    SaveState();
    ASSERT_EQ(LoadText(g.later), 0);
    ASSERT_EQ(FindNode("l", "i"), 0);
    QueueFree(&q);
    EXPECT_EQ(LoadQueue(&q, {.deep = true, .recordBoundary = true}), g.entries);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.captions[0], "XMLKIT Exception Occurred");
    EXPECT_EQ(
        log.texts[0],
        "An exception error occurred.||Call: XMLKIT.DLL[XML:LoadQueue]||Error: Record Not Found");
    EXPECT_EQ(State().parentPath, "") << "left as a load without a saved state";
    EXPECT_EQ(RestoreState(), 1007) << "the state was dropped";
  }
  // A reset drops a saved state too.
  SaveState();
  Reset();
  EXPECT_EQ(RestoreState(), 1007);
}

}  // namespace
}  // namespace vantrel::xml
