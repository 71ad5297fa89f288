#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

using XmlQueue = test::ItemQueue;
using V = std::vector<std::string>;

std::string Item(const std::string& inner) { return "<RegistryItem>" + inner + "</RegistryItem>"; }

V Entries(XmlQueue& q) { return test::ItemEntries(q); }

// Loads the text and the RegistryItems list as the application does.
V LoadItems(const std::string& text, XmlQueue& q) {
  EXPECT_EQ(LoadText(text, {.quiet = true}), 0);
  QueueFree(&q);
  if (FindNode("RegistryItems", "RegistryItem") != 0) return {"not found"};
  LoadQueue(&q, {.deep = true, .recordBoundary = true});
  return Entries(q);
}

class NavigateTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  XmlQueue q_;
};

TEST_F(NavigateTest, RegistryItemsLoadAsTheApplicationReadsThem) {
  const std::string s250(250, 'k');
  const struct {
    const char* what;
    std::string items;
    V entries;
  } cases[] = {
      {"all five fields",
       Item("<KeyName>System\\A</KeyName><ValueName>V</ValueName><SavedValue>0</SavedValue>"
            "<DisableValue>1</DisableValue><EnableValue>N/A</EnableValue>"),
       {"System\\A|V|0|1|N/A"}},
      {"any letter case",
       Item("<keyname>k</keyname><VALUENAME>v</VALUENAME><eNaBlEvAlUe>1</eNaBlEvAlUe>"),
       {"k|v|||1"}},
      {"attribute counts like a child",
       "<RegistryItem KeyName=\"k\"><ValueName>v</ValueName></RegistryItem>",
       {"k|v|||"}},
      {"missing field stays blank",
       Item("<KeyName>k</KeyName><DisableValue>0</DisableValue>"),
       {"k|||0|"}},
      {"unknown elements ignored", Item("<KeyName>k</KeyName><Other>x</Other>"), {"k||||"}},
      {"all empty adds nothing",
       Item("<KeyName></KeyName><ValueName>  </ValueName>") + Item("<KeyName>b</KeyName>"),
       {"b||||"}},
      {"repeated KeyName starts an entry",
       Item("<KeyName>a</KeyName><ValueName>1</ValueName><KeyName>b</KeyName>"),
       {"a|1|||", "b||||"}},
      {"long values are cut",
       Item("<KeyName>" + s250 + "</KeyName><SavedValue>1234567890123456789012345</SavedValue>"),
       {std::string(200, 'k') + "||12345678901234567890||"}},
      {"indentation between elements",
       "\r\n  " + Item("\r\n  <KeyName>k</KeyName>\r\n  ") + "\r\n ",
       {"k||||"}},
      {"nested elements are matched too", Item("<Wrap><KeyName>k</KeyName></Wrap>"), {"k||||"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadItems("<RegistryItems>" + c.items + "</RegistryItems>", q_), c.entries) << c.what;
  }
}

// A caller that must not act on a cut text learns which entry and field it was in; blanks past
// the field's end cut nothing, and an entry that is dropped reports nothing.
TEST_F(NavigateTest, CutTextsAreReportedWithTheirEntryAndField) {
  const std::string k201(201, 'k');
  const std::string v101(101, 'v');
  ASSERT_EQ(
      LoadText("<RegistryItems>" + Item("<KeyName>fits</KeyName>") +
                   Item("<KeyName>" + k201 + "</KeyName><ValueName>" + v101 + "</ValueName>") +
                   Item("<KeyName>" + std::string(200, 'k') + "     </KeyName>") +
                   Item("<KeyName></KeyName>") +
                   Item("<ValueName>v</ValueName><SavedValue>123456789012345678901</SavedValue>") +
                   "</RegistryItems>",
               {.quiet = true}),
      0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  std::vector<std::string> cut;
  LoadQueueOptions options{.deep = true, .recordBoundary = true};
  options.onCut = [&cut](std::int32_t entry, const FieldDesc& field) {
    cut.push_back(std::to_string(entry) + " " + std::string(field.label));
  };
  EXPECT_EQ(LoadQueue(&q_, options), 4);
  EXPECT_EQ(cut, V({"2 LRIX:KEYNAME", "2 LRIX:VALUENAME", "4 LRIX:SAVEDVALUE"}));
}

// A strict load reads each record element as one entry, each field from its own element, and
// refuses a record element whose fields could only be guessed at (naming it by its number):
// without it, a second SavedValue (in any letter case), a field inside another field's element,
// or an item inside an item became a second entry or filled another item's field, so a command
// wrote one item's value to another's key. The well-formed shapes load as without it.
TEST_F(NavigateTest, StrictLoadReadsEachRecordElementAsOneEntryOrRefusesIt) {
  const std::string a = Item("<KeyName>a</KeyName><SavedValue>1</SavedValue>");
  const struct {
    const char* what;
    std::string items;
    V entries;          // what the strict load adds
    std::string fault;  // ErrorText after it; empty when it succeeds
  } cases[] = {
      {"well formed",
       a + Item("<KeyName>b</KeyName><savedvalue>2</savedvalue>"),
       {"a||1||", "b||2||"},
       ""},
      {"attributes, of the item and of a field",
       "<RegistryItem KeyName=\"k\"><SavedValue type=\"dword\">1</SavedValue></RegistryItem>",
       {"k||1||"},
       ""},
      {"a wrapper around a field", Item("<Wrap><KeyName>k</KeyName></Wrap>"), {"k||||"}, ""},
      {"indentation", "\r\n  " + Item("\r\n  <KeyName>k</KeyName>\r\n  ") + "\r\n ", {"k||||"}, ""},
      {"an element of another name between items",
       a + "<Note>x<KeyName>n</KeyName></Note>" + a,
       {"a||1||", "a||1||"},
       ""},
      {"all empty adds nothing", Item("<KeyName> </KeyName>") + a, {"a||1||"}, ""},
      // An item inside another element is one nobody would read, and a save would drop it.
      {"an item inside an element of another name",
       a + "<Group>" + Item("<KeyName>g</KeyName>") + "</Group>" + a,
       {"a||1||"},
       "registryitem element 2 is followed by one inside group, which is no list of them"},
      {"the same field twice",
       a + Item("<KeyName>b</KeyName><SavedValue>1</SavedValue>"
                "<SavedValue>7</SavedValue>"),
       {"a||1||"},
       "registryitem element 2 holds SavedValue twice"},
      {"twice in another letter case",
       Item("<KeyName>b</KeyName><SavedValue>1</SavedValue><savedvalue>7</savedvalue>"),
       {},
       "registryitem element 1 holds SavedValue twice"},
      {"twice, the first one empty",
       Item("<KeyName>b</KeyName><SavedValue /><SavedValue>7</SavedValue>"),
       {},
       "registryitem element 1 holds SavedValue twice"},
      {"as attribute and element",
       "<RegistryItem KeyName=\"a\"><KeyName>b</KeyName></RegistryItem>",
       {},
       "registryitem element 1 holds KeyName twice"},
      {"twice in two wrappers",
       Item("<W><KeyName>a</KeyName></W><V><KeyName>b</KeyName></V>"),
       {},
       "registryitem element 1 holds KeyName twice"},
      {"a field inside a field",
       Item("<KeyName>b<SavedValue>5</SavedValue></KeyName><SavedValue>1</SavedValue>"),
       {},
       "registryitem element 1 holds SavedValue inside KeyName"},
      {"a field as attribute of a field",
       Item("<KeyName SavedValue=\"5\">b</KeyName>"),
       {},
       "registryitem element 1 holds SavedValue inside KeyName"},
      {"an item inside an item",
       Item("<KeyName>a</KeyName>" + Item("<ValueName>b</ValueName>")),
       {},
       "registryitem element 1 holds another registryitem element"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(LoadText("<RegistryItems>" + c.items + "</RegistryItems>", {.quiet = true}), 0);
    ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
    QueueFree(&q_);
    LoadQueue(&q_, {.deep = true, .recordBoundary = true, .strict = true});
    EXPECT_EQ(Entries(q_), c.entries);
    if (c.fault.empty()) {
      EXPECT_EQ(LastError(), 0);
    } else {
      EXPECT_EQ(LastError(), kErrorAmbiguousRecord);
      EXPECT_EQ(ErrorText(0, true), "A record's fields cannot be told apart: " + c.fault + ".");
    }
  }
}

// A text the parser changed on its way (a tab or line break dropped from inside it, or split by
// a child element) is reported with its entry and field, like a cut one; layout around a text is
// not, nor an attribute value (XML itself reads a tab there as a blank).
TEST_F(NavigateTest, TextsNotAsWrittenAreReportedWithTheirEntryAndField) {
  ASSERT_EQ(LoadText("<RegistryItems>" +
                         Item("<KeyName>\r\n  System\\A\r\n  </KeyName><ValueName>V</ValueName>") +
                         Item("<KeyName>System\\\tA</KeyName><ValueName>V\nW</ValueName>") +
                         Item("<KeyName>S&amp;\r\nT</KeyName><SavedValue>1<b />0</SavedValue>") +
                         Item("<KeyName><![CDATA[x\ty]]></KeyName><ValueName>a&#9;b</ValueName>") +
                         "<RegistryItem KeyName=\"p\tq\"/>" +
                         Item("<KeyName>k</KeyName><SavedValue>1<c /></SavedValue>") +
                         Item("<KeyName>k</KeyName><SavedValue>1\t<c />2<c /></SavedValue>") +
                         // A character reference the code page has no form for stays written.
                         Item("<KeyName>Caf&#257;</KeyName><ValueName>V&#233;</ValueName>") +
                         "<RegistryItem KeyName=\"x&#257;\"/>" +
                         // A NUL or other control character as a reference; CDATA beside text.
                         Item("<KeyName>S&#0;\\E</KeyName><ValueName>V&#1;</ValueName>") +
                         Item("<KeyName>S\\<![CDATA[L]]>\\P</KeyName>"
                              "<DisableValue>1<![CDATA[0]]></DisableValue>") +
                         Item("<KeyName><![CDATA[whole]]></KeyName>") + "</RegistryItems>",
                     {.quiet = true}),
            0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  V altered;
  LoadQueueOptions options{.deep = true, .recordBoundary = true};
  options.onAltered = [&altered](std::int32_t entry, const FieldDesc& field) {
    altered.push_back(std::to_string(entry) + " " + std::string(field.label));
  };
  EXPECT_EQ(LoadQueue(&q_, options), 12);
  EXPECT_EQ(altered, V({"2 LRIX:KEYNAME", "2 LRIX:VALUENAME", "3 LRIX:KEYNAME", "3 LRIX:SAVEDVALUE",
                        "7 LRIX:SAVEDVALUE", "8 LRIX:KEYNAME", "9 LRIX:KEYNAME", "10 LRIX:KEYNAME",
                        "10 LRIX:VALUENAME", "11 LRIX:KEYNAME", "11 LRIX:DISABLEVALUE"}));
  EXPECT_EQ(Entries(q_)[7], "Caf&#257;|V\xE9|||");
  EXPECT_EQ(Entries(q_)[1], "System\\A|VW|||") << "the values themselves are as they were";
}

// The parser keeps what it read of a document that ends too early, and says nothing when the end
// falls between two tags; the elements it left open tell.
TEST_F(NavigateTest, ElementsLeftOpenByADocumentCutShortAreCounted) {
  const struct {
    std::string text;
    std::int32_t open;
  } cases[] = {
      {"<a><b>x</b></a>", 0}, {"<a><b>x</b>", 1}, {"<a><b>x</b></a><c", 0},
      {"<a><b>x</b><c", 1},   {"<a><b>x", 2},     {"", 0},
  };
  for (const auto& c : cases) {
    LoadText(c.text, {.quiet = true});
    EXPECT_EQ(State().openElements, c.open) << c.text;
  }
  Reset();
  EXPECT_EQ(State().openElements, 0);
}

TEST_F(NavigateTest, FindNodePositionsAndMovesOn) {
  const std::string doc = "<RegistryItems>" + Item("<KeyName>a</KeyName><ValueName>1</ValueName>") +
                          Item("<KeyName>b</KeyName>") + "</RegistryItems>";
  ASSERT_EQ(LoadText(doc), 0);
  EXPECT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(State().currentRecord, 1);
  EXPECT_EQ(State().parentPath, "registryitems/registryitem");
  // The same names again move on inside the same parent, and stop at its own record.
  EXPECT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(State().currentRecord, 2);
  EXPECT_EQ(FindNode("RegistryItems", "RegistryItem"), 1005);
  EXPECT_EQ(State().currentRecord, 2) << "unchanged by a failed search";

  ASSERT_EQ(LoadText(doc), 0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(LoadQueue(&q_, {.deep = true, .recordBoundary = true}), 2);
  EXPECT_EQ(State().parentPath, "");
  EXPECT_EQ(State().currentRecord, 6) << "the last record, RegistryItems itself";
  EXPECT_EQ(FindNode("RegistryItems", "RegistryItem"), 1005);
  EXPECT_EQ(ErrorText(0, true), "Node Not Found.");

  ASSERT_EQ(LoadText("<RegistryItems><Other/ ></RegistryItems>"), 0);
  EXPECT_EQ(FindNode("RegistryItems", "RegistryItem"), 1005);
  EXPECT_EQ(State().currentRecord, 0);
  EXPECT_EQ(FindNode(""), 1005);
}

TEST_F(NavigateTest, FindNodeExactAndNameLength) {
  const std::string longName(60, 'x');
  ASSERT_EQ(LoadText("<a><b><c>1</c></b><" + longName + ">2</" + longName + "></a>"), 0);
  EXPECT_EQ(FindNode("A", "B"), 0);
  EXPECT_EQ(State().currentRecord, 1) << "a/b/c holds a/b";
  Reset();
  ASSERT_EQ(LoadText("<a><b><c>1</c></b><" + longName + ">2</" + longName + "></a>"), 0);
  EXPECT_EQ(FindNode("a", "b", {}, {}, {}, true), 0);
  EXPECT_EQ(State().currentRecord, 2) << "exact: the node itself";
  Reset();
  ASSERT_EQ(LoadText("<a><b><c>1</c></b><" + longName + ">2</" + longName + "></a>"), 0);
  EXPECT_EQ(FindNode(std::string(50, 'x') + "ignored"), 0);
  EXPECT_EQ(State().currentRecord, 3) << "names compare on 50 characters";
}

TEST_F(NavigateTest, LoadQueueOptions) {
  const std::string doc =
      "<RegistryItems>" + Item("<KeyName>a</KeyName><W><ValueName>deep</ValueName></W>") +
      Item("<KeyName>b</KeyName>") + Item("<KeyName>c</KeyName>") + "</RegistryItems>";
  ASSERT_EQ(LoadText(doc), 0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(LoadQueue(&q_, {.recordBoundary = true}), 3);
  EXPECT_EQ(Entries(q_), (V{"a||||", "b||||", "c||||"})) << "not deep: nested records skipped";

  QueueFree(&q_);
  ASSERT_EQ(LoadText(doc), 0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(LoadQueue(&q_, {.deep = true}), 1) << "without record boundaries the first one ends it";

  QueueFree(&q_);
  ASSERT_EQ(LoadText(doc), 0);
  ASSERT_EQ(FindNode("RegistryItems", "RegistryItem"), 0);
  EXPECT_EQ(LoadQueue(&q_, {.deep = true, .recordBoundary = true, .maximumRecords = 2}), 2);
  // The parent is gone after a load: a second one takes what follows, here the third item.
  EXPECT_EQ(LoadQueue(&q_, {.deep = true, .recordBoundary = true}), 3);

  // Without "repeat starts record" a repeated field overwrites.
  QueueFree(&q_);
  ASSERT_EQ(LoadText("<l>" + Item("<KeyName>a</KeyName><KeyName>b</KeyName>") + "</l>"), 0);
  ASSERT_EQ(FindNode("l", "RegistryItem"), 0);
  LoadQueue(&q_, {.recordBoundary = true, .repeatStartsRecord = false});
  EXPECT_EQ(Entries(q_), V{"b||||"});

  // Record elements' own text goes to the field of their name.
  QueueFree(&q_);
  ASSERT_EQ(LoadText("<l><KeyName>x</KeyName><KeyName>y</KeyName></l>"), 0);
  ASSERT_EQ(FindNode("l", "KeyName"), 0);
  LoadQueue(&q_, {.recordBoundary = true});
  EXPECT_EQ(Entries(q_), (V{"x||||", "y||||"}));
}

TEST_F(NavigateTest, PrefixesArraysNumbersAndFieldSettings) {
  // Label-only fields: matched without their prefix unless the caller keeps it.
  test::StyledQueue display;
  ASSERT_EQ(LoadText("<l><r><KeyName>k</KeyName><KeyName_Style>7</KeyName_Style></r>"
                     "<r><lri:keyname>p</lri:keyname></r></l>"),
            0);
  ASSERT_EQ(FindNode("l", "r"), 0);
  EXPECT_EQ(LoadQueue(&display, {.recordBoundary = true}), 1);
  QueueGetAt(&display, 1);
  EXPECT_EQ(display.buffer.KEYNAME.Str(), "k");
  EXPECT_EQ(display.buffer.KEYNAME_STYLE, 7);
  QueueFree(&display);
  ASSERT_EQ(LoadText("<l><r><KeyName>k</KeyName></r><r><lri:keyname>p</lri:keyname></r></l>"), 0);
  ASSERT_EQ(FindNode("l", "r"), 0);
  EXPECT_EQ(LoadQueue(&display, {.recordBoundary = true, .keepPrefix = true}), 1);
  QueueGetAt(&display, 1);
  EXPECT_EQ(display.buffer.KEYNAME.Str(), "p");

#pragma pack(push, 1)
  struct TagRecord {
    FixedText<10> NAME;
    FixedText<4> TAGS[3];
    std::int32_t COUNT;
  };
#pragma pack(pop)
  static constexpr FieldDesc kFields[] = {
      TextField("T:NAME", "", offsetof(TagRecord, NAME), 10),
      FieldDesc{"T:TAG", "", FieldType::String, offsetof(TagRecord, TAGS), 12, 3, 0},
      LongField("T:COUNT", "", offsetof(TagRecord, COUNT)),
  };
  static constexpr RecordLayout kLayout{kFields, sizeof(TagRecord)};
  TagRecord buffer;
  Queue tags(kLayout, &buffer);
  ASSERT_EQ(LoadText("<l><r><name>n</name><tag>a</tag><tag>b</tag><count> 12 </count></r>"
                     "<r><tag>c</tag><tag>d</tag><tag>e</tag><tag>f</tag><count>x</count></r></l>"),
            0);
  ASSERT_EQ(FindNode("l", "r"), 0);
  EXPECT_EQ(LoadQueue(&tags, {.recordBoundary = true}), 3);
  QueueGetAt(&tags, 1);
  EXPECT_EQ(buffer.TAGS[0].Str() + buffer.TAGS[1].Str() + buffer.TAGS[2].Str(), "ab");
  EXPECT_EQ(buffer.COUNT, 12);
  QueueGetAt(&tags, 2);
  EXPECT_EQ(buffer.TAGS[0].Str() + buffer.TAGS[1].Str() + buffer.TAGS[2].Str(), "cde");
  QueueGetAt(&tags, 3);
  EXPECT_EQ(buffer.TAGS[0].Str(), "f") << "a full array starts the next entry";
  EXPECT_EQ(buffer.COUNT, 0);

  // Required fields, force-write and pictures.
  const std::string doc = "<l>" + Item("<ValueName>1</ValueName>") +
                          Item("<KeyName>k</KeyName><ValueName>2</ValueName>") + "</l>";
  AddFieldSetting("LRIX:KEYNAME", true, "", false);
  EXPECT_EQ(LoadItems(doc.substr(0, 0) + "<RegistryItems>" + doc.substr(3, doc.size() - 7) +
                          "</RegistryItems>",
                      q_),
            V{"k|2|||"});
  ClearFieldSettings();
  AddFieldSetting("ValueName", false, "", true);
  EXPECT_EQ(LoadItems("<RegistryItems>" + Item("<ValueName>1</ValueName><KeyName>k</KeyName>") +
                          "</RegistryItems>",
                      q_),
            (V{"|1|||", "k||||"}));
  ClearFieldSettings();
  AddFieldSetting("SavedValue", false, "@n10", false);
  EXPECT_EQ(
      LoadItems("<RegistryItems>" + Item("<SavedValue>1,234</SavedValue>") + "</RegistryItems>",
                q_),
      V{"||1234||"});
  ClearFieldSettings();
}

TEST_F(NavigateTest, ChildParentAndSiblingMoves) {
  EXPECT_EQ(GotoChild(), 1003);
  EXPECT_EQ(GotoParent(), 1003);
  EXPECT_EQ(GotoNextSibling(), 1003);
  EXPECT_EQ(ErrorText(0, true), "Not on any record.");
  // Records: 1 a/b/x, 2 a/b, 3 a/c, 4 a.
  ASSERT_EQ(LoadText("<a><b x=\"1\"></b><c>2</c></a>"), 0);
  ASSERT_EQ(FindNode("a", "b", {}, {}, {}, true), 0);
  EXPECT_EQ(State().currentRecord, 2);
  EXPECT_EQ(GotoNextSibling(), 0);
  EXPECT_EQ(State().currentRecord, 3);
  EXPECT_EQ(GotoNextSibling(), 1010);
  EXPECT_EQ(GotoParent(), 0);
  EXPECT_EQ(State().currentRecord, 4);
  EXPECT_EQ(GotoParent(), 1012);
  EXPECT_EQ(GotoChild(), 0);
  EXPECT_EQ(State().currentRecord, 2);
  EXPECT_EQ(GotoChild(), 0);
  EXPECT_EQ(State().currentRecord, 1);
  EXPECT_EQ(GotoChild(), 1011);
  EXPECT_EQ(ErrorText(0, true), "Child Not Found.");
}

}  // namespace
}  // namespace vantrel::xml
