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
  EXPECT_EQ(LoadFile(dir_.Path("busy.xml"), {.defaultMode = false, .mode = kAccessRead | kDenyNone}), 0);
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
  } cases[] = {{dir_.Path("fifo.xml"), 1057}, {"/dev/zero", 1057}, {dir_.Path(""), 1057},
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
