#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

using test::Records;
using V = std::vector<std::string>;

struct ParseCase {
  const char* what;
  std::string text;
  V records;
};

class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
};

TEST_F(ParserTest, DocumentsGiveTheirRecordsInPostOrder) {
  const ParseCase cases[] = {
      {"children before their element", "<A><B>x</B><C>y</C></A>", {"a/b=x", "a/c=y", "a="}},
      {"text before the last child", "<A>h <B>z</B></A>", {"a/b=z", "a=h "}},
      {"text after the last child wins", "<a>h<b>z</b>t</a>", {"a/b=z", "a=t"}},
      {"attribute first", "<ITEM K=\"1\">v</ITEM>", {"item/k=1", "item=v"}},
      {"line breaks dropped, spaces kept", "<a> one\r\n\ttwo </a>", {"a= onetwo "}},
      {"escaped markup", "<a>&lt;b&gt;</a>", {"a=<b>"}},
      {"CDATA decoded, completes its element",
       "<r><a><![CDATA[&lt;b&gt; \r\n]]></a>x</r>",
       {"r/a=<b> \r\n", "r=x"}},
      {"mismatched end tag ignored", "<a><b>x</c></b></a>", {"a/b=x", "a="}},
      {"empty element without a space: no record", "<a><b/></a>", {"a="}},
      {"empty element with a space", "<a><b /></a>", {"a/b=", "a="}},
      {"empty element with attributes", "<a><b k='v'/></a>", {"a/b/k=v", "a/b=", "a="}},
      {"attribute forms",
       "<a x = \"1\" Y='2' z=\"a&amp;b\" w=\"it's\" q='say \"hi\"'>t</a>",
       {"a/x=1", "a/y=2", "a/z=a&b", "a/w=it's", "a/q=say \"hi\"", "a=t"}},
      {"attribute line breaks become spaces", "<a k=\"1\r\n2\">t</a>", {"a/k=1  2", "a=t"}},
      {"comment skipped", "<a>x<!-- <b>y</b> -->z</a>", {"a=xz"}},
      {"comment closed by ->", "<a><!-- x ->y</a>", {"a=y"}},
      {"processing instruction skipped", "<a>x<?pi data?>y</a>", {"a=xy"}},
      {"doctype with subset", "<!DOCTYPE a [<!ENTITY e \"v\">]><a>t</a>", {"a=t"}},
      {"tab ends a name", "<a\tk=\"1\">t</a>", {"a/k=1", "a=t"}},
      {"text outside the root has no record", "pre<a>t</a>post", {"a=t"}},
      {"blank value falls back to the saved text", "<a>w <b>x</b>   </a>", {"a/b=x", "a=w "}},
      {"saved text is decoded", "<a>x&amp;y<b/ ></a>", {"a=x&y"}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(LoadText(c.text, {.quiet = true}), 0) << c.what;
    EXPECT_EQ(Records(), c.records) << c.what;
  }
}

// A '>' inside a quoted attribute value is part of the value, as XML has it: ending the tag
// there read the rest of the value into the element's text (<KeyName note="a>b">K gave the key
// name b">K). A quote that never closes before the next '<' ends the tag at its first '>', as
// before, and so does a tag without quotes.
TEST_F(ParserTest, GreaterThanInsideAQuotedAttributeValueBelongsToTheValue) {
  const ParseCase cases[] = {
      {"double quotes", "<a><k note=\"a>b\">K</k></a>", {"a/k/note=a>b", "a/k=K", "a="}},
      {"single quotes, and a double one inside",
       "<k n='x\">y' m=\"1>2\">K</k>",
       {"k/n=x\">y", "k/m=1>2", "k=K"}},
      {"self-closing", "<a><k n=\">\"/></a>", {"a/k/n=>", "a/k=", "a="}},
      {"unclosed quote: the first '>' as before",
       "<a><k n=\"x>K</k></a>",
       {"a/k/n=x", "a/k=K", "a="}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(LoadText(c.text, {.quiet = true}), 0) << c.what;
    EXPECT_EQ(Records(), c.records) << c.what;
  }
}

TEST_F(ParserTest, EntitiesAreDecodedInTheirFixedOrder) {
  const struct {
    std::string text;
    std::string value;
  } cases[] = {
      {"&apos;&quot;&gt;&lt;&amp;", "'\">< &"},
      {"&amp;lt;", "&lt;"},  // &amp; last: an escaped entity stays an entity
      {"&#65;&#9;&#233;", "A\t\xE9"},
      // A reference is to a Unicode character, read into the program's code page (1250 here,
      // the system's under Windows): e-acute, three ways, is 0xE9 in both 1250 and 1252; a- and
      // A-macron have a form in neither and stay written.
      {"&#233;&#xE9;&#xe9;", "\xE9\xE9\xE9"},
      {"&#257;&#256;", "&#257;&#256;"},
      {"&#0065;&#x41;&#;&#x;&#X41;&#1114112;", "AA&#;&#x;&#X41;&#1114112;"},
      {"&#38;amp;", "&"},  // the numeric & then meets "amp;"
      {"&nbsp;&unknown;", "&nbsp;&unknown;"},
      {"\xA0\xC2&amp;", "\xA0\xC2&"},  // single-byte text keeps these letters
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    std::string value = c.value;
    value.erase(std::remove(value.begin(), value.end(), ' '), value.end());
    ASSERT_EQ(LoadText("<a>" + text + "</a>", {.quiet = true}), 0);
    EXPECT_EQ(Records(), V{"a=" + value}) << c.text;
  }
}

TEST_F(ParserTest, Utf8DeclarationReadsCharactersThroughTheCodePage) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  ASSERT_EQ(LoadText(decl + "<a k=\"\xC3\xA9\">\xC3\xA9\xE2\x82\xAC\xC2\xA0x</a>", {.quiet = true}),
            0);
  // A no-break space written as C2 A0 is the code page's 0xA0 like any other character.
  EXPECT_EQ(Records(), (V{"a/k=\xE9", "a=\xE9\x80\xA0x"}));
  EXPECT_EQ(State().detectedEncoding, "UTF-8");
  EXPECT_TRUE(State().utf8);
  // The value's characters are read once, also when it holds an entity.
  ASSERT_EQ(LoadText(decl + "<a>\xC3\xA9&amp;\xC3\xBC</a>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), V{"a=\xE9&\xFC"});
  // Letters beyond Latin-1 are the code page's own (s and z with caron are 0x9A and 0x9E in
  // 1250 and 1252 alike), never a byte made of the character's low bits.
  ASSERT_EQ(LoadText(decl + "<a>\xC5\xA1\xC5\xBE</a>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), V{"a=\x9A\x9E"});
  // A lead byte right before a tag is no character: the load fails rather than guess.
  EXPECT_EQ(LoadText(decl + "<r><a>x\xC3</a><b>y</b></r>", {.quiet = true}), 1059);

  for (const char* other : {"ISO-8859-1", "windows-1250", "UTF-16"}) {
    const std::string d = std::string("<?xml version=\"1.0\" encoding='") + other + "'?>";
    ASSERT_EQ(LoadText(d + "<a>\xC3\xA9</a>", {.quiet = true}), 0) << other;
    EXPECT_EQ(Records(), V{"a=\xC3\xA9"}) << other;
    EXPECT_FALSE(State().utf8);
  }
}

// The scanner looks at text, tag bodies and attribute values 16 bytes at a time: each byte it
// must stop at, put at every place in and around such a step, gives the same records.
TEST_F(ParserTest, BytesToStopAtCountWhereverTheyFall) {
  const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  const struct {
    const char* what;
    bool utf8;
    // The document around `run`, a run of plain bytes; the expected records likewise.
    std::string before, after;
    V records;
  } cases[] = {
      {"line break in text", false, "<a>", "\r\ny</a>", {"a=@y"}},
      {"zero byte in text", false, "<a>", std::string("\0y</a>", 6), {"a=@y"}},
      {"two-byte character", true, "<a>", "\xC3\xA9</a>", {"a=@\xE9"}},
      {"euro sign", true, "<a>", "\xE2\x82\xACz</a>", {"a=@\x80z"}},
      {"three-byte character", true, "<a>", "\xC5\xA1\xE2\x80\xA6</a>", {"a=@\x9A\x85"}},
      {"no-break space", true, "<a>", "\xC2\xA0z</a>", {"a=@\xA0z"}},
      {"entity in an attribute", false, "<a v=\"", "&amp;\">t</a>", {"a/v=@&", "a=t"}},
      {"line break in an attribute", false, "<a v=\"", "\r\n\">t</a>", {"a/v=@  ", "a=t"}},
      {"character in an attribute", true, "<a v=\"", "\xC3\xA9\">t</a>", {"a/v=@\xE9", "a=t"}},
      {"quote ends the value", false, "<a v='", "' w='2'>t</a>", {"a/v=@", "a/w=2", "a=t"}},
      {"spaces before '>'", false, "<a x='1'", ">t</a>", {"a/x=1", "a=t"}},
      {"attribute text ends at its '>'",
       false,
       "<r><a x='1'",
       "><b y='2' /></a></r>",
       {"r/a/x=1", "r/a/b/y=2", "r/a/b=", "r/a=", "r="}},
  };
  for (const auto& c : cases) {
    for (std::size_t length : {0, 1, 13, 14, 15, 16, 17, 30, 31, 32, 33, 47}) {
      // Inside a tag the run is blanks, elsewhere letters.
      const bool inTag =
          c.before.back() != '>' && c.before.back() != '"' && c.before.back() != '\'';
      const std::string run(length, inTag ? ' ' : 'p');
      ASSERT_EQ(LoadText((c.utf8 ? utf8 : "") + c.before + run + c.after, {.quiet = true}), 0)
          << c.what << ", " << length << ": " << ErrorText(0, true);
      V expected = c.records;
      for (std::string& r : expected) {
        const std::size_t at = r.find('@');
        if (at != std::string::npos) r.replace(at, 1, run);
      }
      EXPECT_EQ(Records(), expected) << c.what << ", " << length << " bytes before";
    }
  }
  // Names of every length up to and past a step, ended by each byte that ends a name or by the
  // tag's end (with a blank right after it).
  for (std::size_t length = 1; length <= 40; ++length) {
    const std::string name(length, 'n');
    for (const char* end : {" ", "\t", "\r\n"}) {
      ASSERT_EQ(LoadText("<" + name + end + "k=\"1\">t</" + name + end + "></r>", {.quiet = true}),
                0);
      EXPECT_EQ(Records(), (V{name + "/k=1", name + "=t"})) << length;
    }
    ASSERT_EQ(LoadText("<r><" + name + "> t</" + name + "> </r>", {.quiet = true}), 0);
    EXPECT_EQ(Records(), (V{"r/" + name + "= t", "r= "})) << length;
  }
}

TEST_F(ParserTest, CallersEncodingOverridesTheDeclaration) {
  SetCurrentEncoding("utf-8");
  ASSERT_EQ(
      LoadText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xA9</a>", {.quiet = true}),
      0);
  EXPECT_EQ(Records(), V{"a=\xE9"});
  EXPECT_EQ(State().currentEncoding, "") << "cleared after every parse";
  ASSERT_EQ(LoadText("<a>\xC3\xA9</a>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), V{"a=\xC3\xA9"});
}

TEST_F(ParserTest, FailuresStopTheParseWithCode1000AndAMessage) {
  test::MessageLog log;
  EXPECT_EQ(LoadText("<r><a>1</a><?xml version=\"1.0\"<b>2</b></r>"), 1000);
  EXPECT_EQ(Records(), V{"r/a=1"});
  EXPECT_EQ(LastError(), 1000);
  EXPECT_EQ(ErrorText(0, true), "Error Parsing Document.");
  EXPECT_EQ(LoadText("<r><a>1</a><b><![CDATA[never ends</b></r>"), 1000);
  EXPECT_EQ(Records(), V{"r/a=1"});
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[0], "No End ?> tag found after position: 12");
  EXPECT_EQ(log.texts[1], "No End-Comment CDATA tag found after position: 15");
  EXPECT_EQ(log.captions[0], "Error Occurred");

  // A tag never closed is dropped with a message; the parse succeeds.
  EXPECT_EQ(LoadText("<a>t</a><b x=\"1\""), 0);
  EXPECT_EQ(Records(), V{"a=t"});
  ASSERT_EQ(log.texts.size(), 3u);
  EXPECT_EQ(log.texts[2],
            "Invalid tag (missing End Bracket) located around position: 9||Data: <b x=\"1\"||"
            "Pointer: 16");
  // A comment without its end skips the rest without a word.
  EXPECT_EQ(LoadText("<a>t</a><!-- open"), 0);
  EXPECT_EQ(log.texts.size(), 3u);

  // Quiet parses show nothing.
  EXPECT_EQ(LoadText("<?xml", {.quiet = true}), 1000);
  EXPECT_EQ(LoadText("<a", {.quiet = true}), 0);
  EXPECT_EQ(log.texts.size(), 3u);
}

TEST_F(ParserTest, HtmlModeRules) {
  ASSERT_EQ(LoadText("<html><body>a<br>b<BR />c<img src=\"i.png\">d<font>e</font></body></html>",
                     {.quiet = true}),
            0);
  EXPECT_EQ(Records(), (V{"html/body/img/src=i.png",
                          "html/body/img=", "html/body/font=", "html/body=e", "html="}));
  ASSERT_EQ(
      LoadText("<HTML><script>if (a<b) x=\"&amp;\";</SCRIPT><p>t</p></HTML>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), (V{"html/script=if (a<b) x=\"&amp;\";", "html/p=t", "html="}));
  // Without the marker the same text is plain XML.
  ASSERT_EQ(LoadText("<r><br>x</br><img>y</img></r>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), (V{"r/br=x", "r/img=y", "r="}));
  ASSERT_EQ(LoadText("<r><meta content=\"text/html\">x</r>", {.quiet = true}), 0);
  EXPECT_EQ(Records(), (V{"r/meta/content=text/html", "r/meta=", "r=x"}));
}

TEST_F(ParserTest, StopAtBodyEndsBeforeTheBody) {
  const std::string soap =
      "<s:Envelope><s:Header><h>1</h></s:Header><s:Body><x>2</x></s:Body></s:Envelope>";
  ASSERT_EQ(LoadText(soap, {.quiet = true, .stopAtBody = true}), 0);
  EXPECT_EQ(Records(), (V{"s:envelope/s:header/h=1", "s:envelope/s:header="}));
  ASSERT_EQ(LoadText(soap, {.quiet = true}), 0);
  EXPECT_EQ(Records().size(), 5u);
}

TEST_F(ParserTest, AppendDeepestLevelAndReplacements) {
  ASSERT_EQ(LoadText("<a><b><c>x</c></b></a>"), 0);
  EXPECT_EQ(State().deepestLevel, 4);
  ASSERT_EQ(LoadText("<d>y</d>", {.append = true}), 0);
  EXPECT_EQ(Records(), (V{"a/b/c=x", "a/b=", "a=", "d=y"}));
  EXPECT_EQ(State().deepestLevel, 5) << "raised by one after every parse";
  ASSERT_EQ(LoadText("<d>y</d>"), 0);
  EXPECT_EQ(State().deepestLevel, 2);

  AddReplacement("foo", "bar");
  AddReplacement("bar", "baz");
  ASSERT_EQ(LoadText("<a k=\"foo\">foo food</a>"), 0);
  EXPECT_EQ(Records(), (V{"a/k=baz", "a=baz bazd"}));
  ClearReplacements();
}

TEST_F(ParserTest, LimitsOfNamesValuesAndDepth) {
  const std::string longName(200, 'n');
  const std::string longValue(12000, 'v');
  ASSERT_EQ(LoadText("<" + longName + ">" + longValue + "</" + longName + ">"), 0);
  const Document& doc = ThreadDocument();
  ASSERT_EQ(doc.Records(), 1);
  EXPECT_EQ(doc.Name(1, 1), std::string(127, 'n'));
  EXPECT_EQ(doc.Value(1), std::string(10239, 'v'));

  // Past 64 levels nodes are still matched but not stored, and the load says so (1060).
  std::string deep, close;
  for (int i = 1; i <= 70; ++i) {
    deep += "<l" + std::to_string(i) + ">";
    close = "</l" + std::to_string(i) + ">" + close;
  }
  ASSERT_EQ(LoadText(deep + "x" + close + "<z>1</z>"), 1060);
  EXPECT_EQ(doc.Records(), 65);
  EXPECT_EQ(doc.Depth(1), 64);
  EXPECT_EQ(Records().back(), "z=1");

  DocumentRecord image;
  ASSERT_EQ(LoadText("<a k=\"1\">v</a>"), 0);
  doc.ReadRecord(1, &image);
  EXPECT_STREQ(image.ELEMENT[0], "a");
  EXPECT_STREQ(image.ELEMENT[1], "k");
  EXPECT_EQ(image.ELEMENT[2][0], 0);
  EXPECT_STREQ(image.V1, "1");
}

TEST_F(ParserTest, ProgressIsShownForEveryParseAndClosed) {
  struct Recorder : ProgressPresenter {
    std::vector<std::string> calls;
    void OpenWindow(std::string_view prompt, std::int64_t range) override {
      calls.push_back("open " + std::string(prompt) + " " + std::to_string(range));
    }
    void SetWindowValue(std::int64_t value) override {
      calls.push_back("value " + std::to_string(value));
    }
    void CloseWindow() override { calls.push_back("close"); }
    void SetControlRange(int control, std::int64_t range) override {
      calls.push_back("range " + std::to_string(control) + " " + std::to_string(range));
    }
    void SetControlValue(int control, std::int64_t value) override {
      calls.push_back("control " + std::to_string(control) + " " + std::to_string(value));
    }
  } recorder;
  SetProgressPresenter(&recorder);
  test::ScratchDir dir;
  dir.Write("small.xml", "<a>12</a>\r\n");
  ASSERT_EQ(LoadFile(dir.Path("small.xml")), 0);
  EXPECT_EQ(recorder.calls, (V{"open Loading XML Data ... 11", "close"}));

  recorder.calls.clear();
  std::string many;
  for (int i = 0; i < 12; ++i) many += "<b/ >";
  ASSERT_EQ(LoadText(many), 0);
  EXPECT_EQ(recorder.calls, (V{"open Loading XML Data ... 60", "value 50", "close"}));

  recorder.calls.clear();
  SetProgressSetting("Reading the settings");
  ASSERT_EQ(LoadText("<a/ >", {.quiet = true}), 0);
  EXPECT_EQ(recorder.calls, (V{"open Reading the settings 5", "close"}));

  recorder.calls.clear();
  SetProgressSetting("12");
  ASSERT_EQ(LoadText("<a/ >"), 0);
  EXPECT_EQ(recorder.calls, (V{"range 12 5", "control 12 0"}));

  recorder.calls.clear();
  SetProgressSetting("");
  SetProgressThreshold(100);
  ASSERT_EQ(LoadText("<a/ >"), 0);
  SetProgressThreshold(-1);
  ASSERT_EQ(LoadText(std::string(200, ' ') + "<a/ >"), 0);
  EXPECT_TRUE(recorder.calls.empty());
  Reset();
  ASSERT_EQ(LoadText("<a/ >"), 0);
  EXPECT_EQ(recorder.calls.size(), 2u) << "a reset brings the threshold back to 0";
  SetProgressPresenter(nullptr);
}

}  // namespace
}  // namespace vantrel::xml
