#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

using XmlQueue = test::ItemQueue;
using V = std::vector<std::string>;

void AddItem(XmlQueue& q, const std::string& key, const std::string& value,
             const std::string& saved, const std::string& disable, const std::string& enable) {
  q.buffer.KEYNAME = key;
  q.buffer.VALUENAME = value;
  q.buffer.SAVEDVALUE = saved;
  q.buffer.DISABLEVALUE = disable;
  q.buffer.ENABLEVALUE = enable;
  QueueAdd(&q);
}

// Writes the queue as the application saves the settings file.
std::int16_t Save(const std::string& name, XmlQueue& q) {
  Reset();
  const std::int16_t code = CreateXMLFile(name, "1.0", "");
  if (code != 0) return code;
  CreateParent("RegistryItems");
  AddParent();
  QueueToXML(&q, "RegistryItem");
  CloseParent();
  return CloseXMLFile();
}

V Load(const std::string& name) {
  XmlQueue q;
  if (LoadFile(name) != 0 || FindNode("RegistryItems", "RegistryItem") != 0) return {"failed"};
  LoadQueue(&q, {.deep = true, .recordBoundary = true});
  return test::ItemEntries(q);
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    CloseXMLFile(true);
    Reset();
  }
  test::ScratchDir dir_;
  XmlQueue q_;
};

TEST_F(WriterTest, SettingsFileHasItsExactShape) {
  AddItem(q_, "System\\CurrentControlSet\\Services", "EnableOplocks", "N/A", "0", "1");
  AddItem(q_, "a&b <c> \"d\" 'e' &amp;", "", "", "", "");
  ASSERT_EQ(Save(dir_.Path("Vantrel.xml"), q_), 0);
  EXPECT_EQ(dir_.Read("Vantrel.xml"),
            "<?xml version=\"1.0\" ?>\r\n"
            " <RegistryItems>\r\n"
            "  <RegistryItem>\r\n"
            "  <KeyName>System\\CurrentControlSet\\Services</KeyName>\r\n"
            "  <ValueName>EnableOplocks</ValueName>\r\n"
            "  <SavedValue>N/A</SavedValue>\r\n"
            "  <DisableValue>0</DisableValue>\r\n"
            "  <EnableValue>1</EnableValue>\r\n"
            "  </RegistryItem>\r\n"
            "  <RegistryItem>\r\n"
            "  <KeyName>a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos; &amp;</KeyName>\r\n"
            "  <ValueName></ValueName>\r\n"
            "  <SavedValue></SavedValue>\r\n"
            "  <DisableValue></DisableValue>\r\n"
            "  <EnableValue></EnableValue>\r\n"
            "  </RegistryItem>\r\n"
            " </RegistryItems>\r\n");
  EXPECT_EQ(LastError(), 0);

  QueueFree(&q_);
  ASSERT_EQ(Save(dir_.Path("Empty.xml"), q_), 0);
  EXPECT_EQ(dir_.Read("Empty.xml"),
            "<?xml version=\"1.0\" ?>\r\n <RegistryItems>\r\n </RegistryItems>\r\n");
}

TEST_F(WriterTest, WhatIsWrittenLoadsBackUnchanged) {
  const std::string high = "\x80\xA0\xC2\xE9\x9A";
  AddItem(q_, std::string(200, 'K'), "a&b<c>d", "'\"", "  lead", "");
  AddItem(q_, "x\\y" + high, "&amp;&lt;", "N/A", "0", "1");
  AddItem(q_, "tab\there", "", "", "", "1");
  ASSERT_EQ(Save(dir_.Path("rt.xml"), q_), 0);
  // "&amp;" already in a value is kept as written, so it reads back as '&' (and "&amp;" before
  // an entity's letters as that entity's text).
  EXPECT_EQ(Load(dir_.Path("rt.xml")), (V{std::string(200, 'K') + "|a&b<c>d|'\"|  lead|",
                                          "x\\y" + high + "|&&lt;|N/A|0|1", "tab\there||||1"}));
  // The same values through a UTF-8 file: each byte as the character it is in the code page
  // (0x9A is s with caron, U+0161, in 1250 and 1252 alike), as the parser reads it back.
  Reset();
  ASSERT_EQ(CreateXMLFile(dir_.Path("utf8.xml"), "1.0", "utf-8"), 0);
  CreateParent("RegistryItems");
  AddParent();
  QueueToXML(&q_, "RegistryItem");
  ASSERT_EQ(CloseXMLFile(), 0);
  const std::string text = dir_.Read("utf8.xml");
  EXPECT_NE(text.find("encoding=\"utf-8\" ?>"), std::string::npos);
  EXPECT_NE(text.find("x\\y\xE2\x82\xAC\xC2\xA0\xC3\x82\xC3\xA9\xC5\xA1<"), std::string::npos);
  EXPECT_EQ(Load(dir_.Path("utf8.xml"))[1], "x\\y" + high + "|&&lt;|N/A|0|1");
}

// Tab and line breaks go as references and come back; XML 1.0 has no form for the other control
// characters (&#1; is refused by other programs), so a value holding one makes the file fail and
// the earlier file stays as it was.
TEST_F(WriterTest, ControlCharactersOtherThanTabAndLineBreaksAreNeverWritten) {
  AddItem(q_, "k", "t\tl\nc\r", "1", "0", "1");
  ASSERT_EQ(Save(dir_.Path("ok.xml"), q_), 0);
  EXPECT_NE(dir_.Read("ok.xml").find("<ValueName>t&#9;l&#10;c&#13;</ValueName>"),
            std::string::npos);
  EXPECT_EQ(Load(dir_.Path("ok.xml")), V{"k|t\tl\nc\r|1|0|1"});
  for (const char c : {'\x01', '\x08', '\x0B', '\x0C', '\x0E', '\x1F'}) {
    SCOPED_TRACE(static_cast<int>(c));
    dir_.Write("bad.xml", "earlier");
    QueueFree(&q_);
    AddItem(q_, "k", "v", std::string("1") + c, "0", "1");
    EXPECT_EQ(Save(dir_.Path("bad.xml"), q_), kErrorControlCharacter);
    EXPECT_EQ(dir_.Read("bad.xml"), "earlier");
    EXPECT_EQ(ErrorText(kErrorControlCharacter),
              "A value holds a control character that an XML 1.0 file cannot hold.");
  }
}

TEST_F(WriterTest, OneOutputAtATimeAndAFailedCreateDoesNotBlockTheNext) {
  ASSERT_EQ(CreateXMLFile(dir_.Path("one.xml"), "1.0", ""), 0);
  EXPECT_EQ(CreateXMLFile(dir_.Path("two.xml"), "1.0", ""), 5);
  EXPECT_EQ(ErrorText(0, true), "Access Denied.");
  EXPECT_EQ(CloseXMLFile(), 0);

  EXPECT_EQ(CreateXMLFile(dir_.Path("no/such/dir.xml"), "1.0", ""), 3);
  EXPECT_EQ(CreateXMLFile(dir_.Path("Vantrel.xml"), "1.0", ""), 0) << "the flag was cleared";
  EXPECT_EQ(CloseXMLFile(), 0);

  std::filesystem::create_directory(dir_.Path("adir"));
  EXPECT_EQ(CreateXMLFile(dir_.Path("adir"), "1.0", ""), 5);
  AddItem(q_, "k", "v", "", "", "");
  EXPECT_EQ(Save(dir_.Path("after.xml"), q_), 0);
  EXPECT_EQ(Load(dir_.Path("after.xml")), V{"k|v|||"});
}

TEST_F(WriterTest, ANewFileReplacesTheOldOneOnlyWhenClosed) {
  dir_.Write("Vantrel.xml", "old");
  ASSERT_EQ(CreateXMLFile(dir_.Path("Vantrel.xml"), "1.0", ""), 0);
  CreateParent("a");
  AddParent();
  EXPECT_EQ(dir_.Read("Vantrel.xml"), "old");
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("Vantrel.xml"), "<?xml version=\"1.0\" ?>\r\n <a>\r\n </a>\r\n");
  for (const auto& e : std::filesystem::directory_iterator(dir_.Path(""))) {
    EXPECT_EQ(e.path().filename(), "Vantrel.xml") << "a temporary was left";
  }

  ASSERT_EQ(CreateXMLFile(dir_.Path("Vantrel.xml"), "", "", {.append = true}), 0);
  AddComment("more");
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("Vantrel.xml"),
            "<?xml version=\"1.0\" ?>\r\n <a>\r\n </a>\r\n<!--more-->\r\n");
  EXPECT_EQ(CreateXMLFile(dir_.Path("missing.xml"), "", "", {.append = true}), 2);
}

TEST_F(WriterTest, ParentsIndentationAndClosing) {
  ASSERT_EQ(CreateXMLFile(dir_.Path("p.xml"), "", "", {.lineEnd = "\n", .keepCopy = true}), 0);
  CreateParent("a");
  AddAttribute("k", "1 & 2");
  AddParent();
  CreateParent("b");
  AddParent("v<", true, false);
  CreateParent("c");
  AddParent("", true, false);
  CreateParent("d");
  AddParent();
  CreateParent("e");
  AddParent();
  EXPECT_EQ(CloseXMLFile(), 0);
  const std::string expected =
      " <a k=\"1 &amp; 2\">\n  <b>v&lt;</b>\n  <c/>\n  <d>\n   <e>\n   </e>\n  </d>\n </a>\n";
  EXPECT_EQ(dir_.Read("p.xml"), expected);
  EXPECT_EQ(KeptCopy(), expected);

  ASSERT_EQ(CreateXMLFile(dir_.Path("flat.xml"), "1.0", "", {.lineEnd = ""}), 0);
  CreateParent("a");
  AddParent();
  CreateParent("b");
  AddParent("x", true, false);
  CloseParent();
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("flat.xml"), "<?xml version=\"1.0\" ?><a><b>x</b></a>");
}

TEST_F(WriterTest, EscapingRules) {
  ASSERT_EQ(CreateXMLFile(dir_.Path("page.Htm"), "", ""), 0);
  CreateParent("p");
  AddParent("a&b &amp; 'q' \"d\" <t>\r\n", true, false);
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("page.Htm"),
            " <p>a&#38;b &amp; &#39;q&#39; &#34;d&#34; &#60;t&#62;&#13;&#10;</p>\r\n");

  ASSERT_EQ(CreateXMLFile(dir_.Path("stamp.xml"), "", "", {.comment = true}), 0);
  CreateParent("t");
  AddParent("*ISO8601GMT", true, false);
  CreateParent("u");
  AddParent(std::string(4000, '&'), true, false);
  EXPECT_EQ(CloseXMLFile(), 0);
  const std::string text = dir_.Read("stamp.xml");
  EXPECT_TRUE(std::regex_search(
      text,
      std::regex(R"(^<!--Created with XmlKit - Date: \d\d/\d\d/\d{4}  Time: \d\d:\d\d-->\r\n)")))
      << text;
  EXPECT_TRUE(
      std::regex_search(text, std::regex(R"( <t>\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d</t>)")))
      << text;
  EXPECT_NE(text.find(" <u>" +
                      [] {
                        std::string s;
                        for (int i = 0; i < 2048; ++i) s += "&amp;";
                        return s;
                      }() +
                      "</u>"),
            std::string::npos)
      << "cut at 10240 characters, between entities";
}

TEST_F(WriterTest, ProgrammerErrorsShowTheirMessages) {
  test::MessageLog log;
  AddParent();
  ASSERT_EQ(CreateXMLFile(dir_.Path("e.xml"), "", ""), 0);
  CreateParent("outer");
  AddParent();
  CreateParent("inner");
  AddParent();
  CloseParent("outer", false);
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("e.xml"), " <outer>\r\n  <inner>\r\n  </inner>\r\n </outer>\r\n");
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.captions[0], "XmlKit Error");
  EXPECT_EQ(log.texts[0],
            "Error encountered called XML:AddParent().||Possible: XML:AddParent() called before "
            "XML:CreateParent().");
  EXPECT_EQ(log.captions[1], "XmlKit CloseTag Error");
  EXPECT_EQ(log.texts[1],
            "Programmer Error has occurred.||Tag Expected: outer||Tag Encountered: inner||Levels: "
            "<outer><inner>");
}

TEST_F(WriterTest, WithoutAFileTheElementsGoToTheInMemoryDocument) {
  CreateParent("a");
  AddParent();
  AddComment("note");
  CreateParent("b");
  AddParent("1", true, false);
  CloseParent();
  EXPECT_EQ(InMemoryDocument(), "\r\n <a>\r\n <!-- note -->\r\n  <b>1</b>\r\n </a>");
}

TEST_F(WriterTest, QueueOptions) {
  AddItem(q_, "k", "", "s", "", "");
  ASSERT_EQ(CreateXMLFile(dir_.Path("o.xml"), "", ""), 0);
  QueueToXML(&q_, "R", {.fieldsAsAttributes = true});
  QueueToXML(&q_, "S", {.fieldsAsAttributes = true, .selfClosing = true, .skipEmpty = true});
  QueueToXML(&q_, "T", {.skipEmpty = true, .keepPrefix = true});
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(
      dir_.Read("o.xml"),
      " <R KeyName=\"k\" ValueName=\"\" SavedValue=\"s\" DisableValue=\"\" EnableValue=\"\">\r\n"
      " </R>\r\n"
      " <S KeyName=\"k\" SavedValue=\"s\"/>\r\n"
      " <T>\r\n <keyname>k</keyname>\r\n <savedvalue>s</savedvalue>\r\n </T>\r\n");

  // Label-only fields are written without their prefix, so that they load back.
  test::StyledQueue display;
  display.buffer.KEYNAME = "k";
  display.buffer.KEYNAME_STYLE = 2;
  QueueAdd(&display);
  ASSERT_EQ(CreateXMLFile(dir_.Path("d.xml"), "1.0", ""), 0);
  CreateParent("l");
  AddParent();
  QueueToXML(&display, "r");
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_NE(dir_.Read("d.xml").find("<KEYNAME>k</KEYNAME>\r\n  <KEYNAME_STYLE>2</KEYNAME_STYLE>"),
            std::string::npos);
  QueueFree(&display);
  ASSERT_EQ(LoadFile(dir_.Path("d.xml")), 0);
  ASSERT_EQ(FindNode("l", "r"), 0);
  EXPECT_EQ(LoadQueue(&display, {.recordBoundary = true}), 1);
  QueueGetAt(&display, 1);
  EXPECT_EQ(display.buffer.KEYNAME.Str(), "k");
  EXPECT_EQ(display.buffer.KEYNAME_STYLE, 2);
}

TEST_F(WriterTest, ResetClearsTheReadingSideOnly) {
  ASSERT_EQ(LoadText("<a>1</a>"), 0);
  ASSERT_EQ(CreateXMLFile(dir_.Path("r.xml"), "", ""), 0);
  CreateParent("x");
  Reset();
  EXPECT_EQ(ThreadDocument().Records(), 0);
  EXPECT_EQ(State().deepestLevel, 0);
  AddParent();
  EXPECT_EQ(CloseXMLFile(), 0);
  EXPECT_EQ(dir_.Read("r.xml"), " <x>\r\n </x>\r\n");
}

}  // namespace
}  // namespace vantrel::xml
