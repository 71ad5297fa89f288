#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

using test::Records;
using V = std::vector<std::string>;

class LoadFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  test::ScratchDir dir_;
};

// A document of a little over 2.5 MB whose items are every construct the scanner knows, so that
// whatever the padding, the edge of the first buffer falls inside one of them.
std::string EdgeDocument(std::size_t padding) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>";
  doc += "<pad>" + std::string(padding, 'p') + "</pad>";
  for (int i = 0; doc.size() < 2600000; ++i) {
    const std::string n = std::to_string(i);
    doc += "\r\n  <item id=\"" + n + "\" note='a &amp; b'>";
    doc += "<name>N\xC3\xA9" + n + "&lt;x&gt;</name>";
    doc += "<!-- comment " + n + " <b>not</b> -->";
    doc += "<data><![CDATA[raw <" + n + "> ]]></data>";
    doc += "<euro>\xE2\x82\xAC" + n + "</euro>";
    doc += "<?pi " + n + "?>";
    doc += "<empty k=\"" + n + "\" />";
    doc += "</item>";
  }
  doc += "</root>";
  return doc;
}

TEST_F(LoadFileTest, NothingIsLostAtTheEdgeOfABuffer) {
  for (std::size_t padding = 0; padding < 240; padding += 17) {
    const std::string doc = EdgeDocument(padding);
    ASSERT_EQ(LoadText(doc, {.quiet = true}), 0);
    const V whole = Records();
    dir_.Write("edge.xml", doc);
    test::MessageLog log;
    ASSERT_EQ(LoadFile(dir_.Path("edge.xml")), 0) << padding;
    EXPECT_TRUE(log.texts.empty()) << padding << ": " << log.texts.front();
    const V chunked = Records();
    ASSERT_EQ(chunked.size(), whole.size()) << padding;
    EXPECT_TRUE(chunked == whole) << padding;
  }
  EXPECT_EQ(State().lastFileLoaded, dir_.Path("edge.xml"));
}

TEST_F(LoadFileTest, ConstructsLongerThanABufferAreKeptWhole) {
  const std::string big(3000000, 'c');
  dir_.Write("long.xml", "<r><a><![CDATA[" + big + "]]></a><!--" + big + "--><b>" + big +
                             "</b><c k=\"" + big + "\">t</c></r>");
  ASSERT_EQ(LoadFile(dir_.Path("long.xml")), 0);
  EXPECT_EQ(Records(), (V{"r/a=" + std::string(10239, 'c'), "r/b=" + std::string(10239, 'c'),
                          "r/c/k=" + std::string(10239, 'c'), "r/c=t", "r="}));
}

TEST_F(LoadFileTest, SixteenBitTextHasItsZeroBytesDropped) {
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a k=\"1\">\xE9t\xE9</a>";
  std::string wide = "\xFF\xFE";
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  dir_.Write("wide.xml", wide);
  ASSERT_EQ(LoadFile(dir_.Path("wide.xml")), 0);
  EXPECT_EQ(Records(), (V{"a/k=1", "a=\xE9t\xE9"}));
  EXPECT_EQ(State().detectedEncoding, "UTF-16");
}

// The zero bytes of 16-bit text are dropped block by block where the blocks are read in; a
// document of many blocks and more than one buffer must read as its 8-bit text does.
TEST_F(LoadFileTest, SixteenBitTextOfManyBlocksReadsAsItsEightBitText) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r>";
  int items = 0;
  for (; text.size() < 2300000; ++items) {
    const std::string n = std::to_string(items);
    text += "<item n=\"" + n + "\">v" + n + "\xE9</item>\r\n";
  }
  text += "</r>";
  std::string wide = "\xFF\xFE";
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  ASSERT_EQ(LoadText(text, {.quiet = true}), 0);
  const V narrow = Records();
  ASSERT_EQ(narrow.size(), static_cast<std::size_t>(2 * items + 1));
  EXPECT_EQ(narrow[1], "r/item=v0\xE9");
  dir_.Write("wide.xml", wide);
  ASSERT_EQ(LoadFile(dir_.Path("wide.xml"), {.quiet = true}), 0);
  const V read = Records();
  ASSERT_EQ(read.size(), narrow.size());
  EXPECT_TRUE(read == narrow);
}

// UTF-16 of a UTF-8 text, little or big endian, with or without a byte-order mark.
std::string Utf16(std::string_view utf8, bool little, bool mark) {
  std::u16string units = mark ? u"\uFEFF" : u"";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < n; ++k)
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
  }
  std::string out;
  for (char16_t u : units) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += little ? lo : hi;
    out += little ? hi : lo;
  }
  return out;
}

// Every document means the same text whatever its encoding: Unicode documents are read through
// the program's code page, and the files earlier versions wrote (no encoding declared,
// single-byte text, as the program's save and `xml write` make them) read byte for byte as they
// always did. A character the code page lacks fails the load, naming it and its line; it never
// becomes another byte. (The letters beyond Latin-1 here, s and z with caron, the euro sign and
// the ellipsis, have the same bytes in code page 1250 and in 1252, Wine's usual ANSI page.)
TEST_F(LoadFileTest, EveryEncodingReadsAsTheSameProgramText) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  const std::string item = "<i><k>SOFTWARE\\Za\u0161\u00ed\u017e</k><v>Hodnota\u0160\u2026</v></i>";
  const V wanted = {"i/k=SOFTWARE\\Za\x9A\xED\x9E", "i/v=Hodnota\x8A\x85", "i="};
  // Long ASCII runs, which the decoder moves eight bytes at a time, around a letter that is not.
  const std::string longPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
  const std::string longItem =
      "<i><k>" + longPath + "\u0161" + "abcdefghijklmnopqrstuvwxyz0123456789" + "</k></i>";
  const V longWanted = {"i/k=" + longPath + "\x9A" + "abcdefghijklmnopqrstuvwxyz0123456789", "i="};
  std::string comment = "<!--";  // thirteen lines, their line feeds inside eight-byte words
  for (int i = 0; i < 13; ++i) comment += "abcdefghij\n";
  comment += "-->\r\n";
  const struct {
    const char* what;
    std::string bytes;
    V records;  // empty: the load fails with 1059
    const char* error = "";
  } cases[] = {
      // Files earlier versions wrote: single-byte text, no declaration.
      {"saved by the program",
       "<?xml version=\"1.0\" ?>\r\n<i><k>SOFTWARE\\Za\x9A\xED\x9E</k>"
       "<v>Hodnota\x8A\x85</v></i>",
       wanted},
      {"no declaration at all",
       "<i><k>\x80\x8A\xC3\xA9\xF8</k></i>",
       {"i/k=\x80\x8A\xC3\xA9\xF8", "i="}},
      {"bytes that are also UTF-8 below U+0100",
       "<i><k>\xC3\xA9\xC2\xA0</k></i>",
       {"i/k=\xC3\xA9\xC2\xA0", "i="}},
      {"a single-byte encoding declared",
       "<?xml version=\"1.0\" encoding=\"windows-1250\"?><i><k>\xF8</k></i>",
       {"i/k=\xF8", "i="}},
      // Unicode documents.
      {"UTF-8 declared", decl + item, wanted},
      {"UTF-8 declared in lower case", "<?xml version='1.0' encoding='utf-8'?>" + item, wanted},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + item, wanted},
      {"UTF-8 without a declaration", item, wanted},
      {"UTF-16 little endian with a mark", Utf16(decl + item, true, true), wanted},
      {"UTF-16 little endian without a mark", Utf16(decl + item, true, false), wanted},
      {"UTF-16 big endian with a mark", Utf16(item, false, true), wanted},
      {"UTF-16 big endian without a mark", Utf16(decl + item, false, false), wanted},
      {"UTF-8 with long ASCII runs", decl + longItem, longWanted},
      {"UTF-8 with long ASCII runs behind a byte-order mark", "\xEF\xBB\xBF" + longItem,
       longWanted},
      {"the euro sign and a no-break space",
       decl + "<i><k>\u20ac\u00a0</k></i>",
       {"i/k=\x80\xA0", "i="}},
      // What the code page cannot hold.
      {"UTF-8 character outside the code page",
       decl + "<i>\r\n<k>\u65e5</k></i>",
       {},
       "line 3: the character U+65E5 '\u65e5' has no form in code page "},
      {"a character outside the code page after long lines",
       decl + comment + "<i>\u65e5</i>",
       {},
       "line 16: the character U+65E5"},
      {"UTF-16 character outside the code page",
       Utf16("<i><k>\u0416</k></i>", true, true),
       {},
       "line 1: the character U+0416 '\u0416' has no form in code page "},
      {"a character beyond the basic plane", decl + "<i>\U0001F600</i>", {}, "U+1F600"},
      {"malformed UTF-8", decl + "<i>x\xC3</i>", {}, "line 2: it is not valid UTF-8"},
      {"UTF-16 cut in a character", Utf16("<i>x</i>", true, true) + "\x3C", {}, "not valid UTF-16"},
  };
  for (const auto& c : cases) {
    dir_.Write("doc.xml", c.bytes);
    const std::int16_t code = LoadFile(dir_.Path("doc.xml"), {.quiet = true});
    if (c.records.empty()) {
      EXPECT_EQ(code, 1059) << c.what;
      EXPECT_NE(ErrorText(0, true).find(c.error), std::string::npos)
          << c.what << ": " << ErrorText(0, true);
      continue;
    }
    ASSERT_EQ(code, 0) << c.what << ": " << ErrorText(0, true);
    EXPECT_EQ(Records(), c.records) << c.what;
    // The same text held in memory reads the same.
    ASSERT_EQ(LoadText(c.bytes, {.quiet = true}), 0) << c.what;
    EXPECT_EQ(Records(), c.records) << c.what << " (in memory)";
  }
}

// A document nested deeper than a record's 64 names is not cut without a word.
TEST_F(LoadFileTest, DeeperThanARecordHoldsIsReported) {
  std::string deep;
  for (int i = 0; i < 70; ++i) deep += "<e>";
  deep += "x";
  for (int i = 0; i < 70; ++i) deep += "</e>";
  EXPECT_EQ(LoadText(deep, {.quiet = true}), 1060);
  EXPECT_NE(ErrorText(0, true).find("64 levels"), std::string::npos) << ErrorText(0, true);
  std::string fits;
  for (int i = 0; i < 64; ++i) fits += "<e>";
  for (int i = 0; i < 64; ++i) fits += "</e>";
  EXPECT_EQ(LoadText(fits, {.quiet = true}), 0);
  EXPECT_EQ(LoadText(fits.substr(0, 63 * 3) + "<e k='1'/>" + fits.substr(64 * 3, 63 * 4),
                     {.quiet = true}),
            1060)
      << "an attribute one level deeper than its element";
}

TEST_F(LoadFileTest, OpenFailureReturnsTheFileErrorAndKeepsTheDocument) {
  ASSERT_EQ(LoadText("<a>kept</a>"), 0);
  EXPECT_EQ(LoadFile(dir_.Path("missing.xml")), 2);
  EXPECT_EQ(ErrorText(0, true), "File not found.");
  EXPECT_EQ(LoadFile(dir_.Path("no/such/folder.xml")), 3);
  EXPECT_EQ(LoadFile(""), 45);
  EXPECT_EQ(ErrorText(0, true), "Invalid File Name.");
  EXPECT_EQ(Records(), V{"a=kept"});

  dir_.Write("ok.xml", "<b>new</b>   ");
  ASSERT_EQ(LoadFile(dir_.Path("ok.xml")), 0);
  EXPECT_EQ(Records(), V{"b=new"});
  EXPECT_EQ(LastError(), 0);
}

TEST_F(LoadFileTest, AFileOpenForWritingElsewhereCannotBeLoaded) {
  dir_.Write("busy.xml", "<a/ >");
  ByteFile other;
  ASSERT_TRUE(other.Open(dir_.Path("busy.xml"), kReadWriteDenyWrite));
  EXPECT_EQ(LoadFile(dir_.Path("busy.xml")), 5);
  EXPECT_EQ(
      LoadFile(dir_.Path("busy.xml"), {.defaultMode = false, .mode = kAccessRead | kDenyNone}), 0);
}

// A name longer than the 384 characters the library keeps is refused, never cut (cut, it is
// another file); reading and writing alike, and nothing is created.
TEST_F(LoadFileTest, NamesLongerThanTheFieldAreRefused) {
  ASSERT_EQ(LoadText("<a>kept</a>"), 0);
  // Folders of 100 characters, so that no one name is longer than a file system allows.
  std::string folder = dir_.Path("");
  while (folder.size() < 280) {
    folder += std::string(100, 'f') + "/";
    std::filesystem::create_directory(folder);
  }
  const std::string cut = folder + std::string(384 - folder.size(), 'n');
  const std::string name = cut + "n";
  ASSERT_EQ(name.size(), 385u);
  { std::ofstream(cut, std::ios::binary) << "<b>cut</b>"; }
  EXPECT_EQ(LoadFile(name), 45);
  EXPECT_EQ(Records(), V{"a=kept"});
  EXPECT_EQ(CreateXMLFile(name, "1.0", ""), 45);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(std::filesystem::file_size(cut), 10u) << "the file of the cut name was left alone";
  ASSERT_EQ(CreateXMLFile(dir_.Path("ok.xml"), "1.0", ""), 0) << "the refusal left no file open";
  EXPECT_EQ(CloseXMLFile(), 0);
}

#ifndef _WIN32
// Only regular files are documents: a FIFO (which would never answer), an endless device and a
// file larger than the limit are refused without reading them, and the document stays.
TEST_F(LoadFileTest, OnlyRegularFilesOfBoundedSizeAreRead) {
  ASSERT_EQ(LoadText("<a>kept</a>"), 0);
  ASSERT_EQ(mkfifo(dir_.Path("fifo.xml").c_str(), 0600), 0);
  dir_.Write("huge.xml", "<a>");
  std::filesystem::resize_file(dir_.Path("huge.xml"), kMaxDocumentBytes + 1);  // sparse
  const struct {
    std::string name;
    std::int16_t code;
  } cases[] = {{dir_.Path("fifo.xml"), 1057},
               {"/dev/zero", 1057},
               {dir_.Path(""), 1057},
               {dir_.Path("huge.xml"), 1058}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadFile(c.name), c.code);
    EXPECT_EQ(Records(), V{"a=kept"});
  }
  EXPECT_EQ(ErrorText(1057), "Not a regular file.");
}
#endif

}  // namespace
}  // namespace vantrel::xml
