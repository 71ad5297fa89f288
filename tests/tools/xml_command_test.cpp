#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/xml/test_support.h"

namespace vantrel::xml {
namespace {

struct CtlRun {
  int status;
  std::string out;
};

// Runs vantrelctl with the arguments (a shell command tail) and the given standard input.
CtlRun Ctl(const std::string& args, const std::string& input, const test::ScratchDir& dir) {
  dir.Write("stdin.txt", input);
  const std::string command = std::string(VANTRELCTL) + " " + args + " < " + dir.Path("stdin.txt") +
                              " 2> " + dir.Path("stderr.txt");
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  return CtlRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(VantrelctlXml, WriteThenLoadGivesTheSameFields) {
  test::ScratchDir dir;
  const std::string file = dir.Path("Vantrel.xml");
  const std::string items =
      "System\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters\tEnableOplocks\tN/"
      "A\t0\t1\n"
      "a&b <c> \"quoted\" 'single'\tvalue with trailing blanks   \t\t\t\n"
      "\\xe9\\xa0\\x80\\xff\\xc2 high bytes\t&amp;\t1\t2\t3\n" +
      std::string(200, 'k') + "\tv\n";
  const CtlRun write = Ctl("xml write " + file, items, dir);
  ASSERT_EQ(write.status, 0) << dir.Read("stderr.txt");
  const CtlRun load = Ctl("xml load " + file, "", dir);
  ASSERT_EQ(load.status, 0) << dir.Read("stderr.txt");
  EXPECT_EQ(load.out,
            "System\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters\tEnableOplocks\t"
            "N/A\t0\t1\n"
            "a&b <c> \"quoted\" 'single'\tvalue with trailing blanks\t\t\t\n"
            "\\xe9\\xa0\\x80\\xff\\xc2 high bytes\t&\t1\t2\t3\n" +
                std::string(200, 'k') + "\tv\t\t\t\n");
}

TEST(VantrelctlXml, DumpAndFailures) {
  test::ScratchDir dir;
  dir.Write("d.xml", "<r a=\"1\"><k>x\\y\xE9</k><?bad");
  const CtlRun dump = Ctl("xml dump " + dir.Path("d.xml"), "", dir);
  EXPECT_EQ(dump.status, 1);
  EXPECT_EQ(dump.out, "r/a\t1\nr/k\tx\\\\y\\xe9\n");
  EXPECT_EQ(dir.Read("stderr.txt"),
            "vantrelctl: " + dir.Path("d.xml") + ": Error Parsing Document. (error 1000)\n");

  EXPECT_EQ(Ctl("xml load " + dir.Path("missing.xml"), "", dir).status, 1);
  EXPECT_EQ(dir.Read("stderr.txt"),
            "vantrelctl: " + dir.Path("missing.xml") + ": File not found. (error 2)\n");
  dir.Write("e.xml", "<RegistryItems></RegistryItems>");
  EXPECT_EQ(Ctl("xml load " + dir.Path("e.xml"), "", dir).status, 1);
  EXPECT_EQ(dir.Read("stderr.txt"),
            "vantrelctl: " + dir.Path("e.xml") + ": Node Not Found. (error 1005)\n");
  dir.Write("o.xml", "<l><i><KeyName>k</KeyName></i></l>");
  const CtlRun named = Ctl("xml load " + dir.Path("o.xml") + " L I", "", dir);
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.out, "k\t\t\t\t\n");

  EXPECT_EQ(Ctl("xml write " + dir.Path("w.xml"), "1\t2\t3\t4\t5\t6\n", dir).status, 2);
  EXPECT_EQ(Ctl("xml write " + dir.Path("no/dir.xml"), "1\n", dir).status, 1);
  // The library's code, then what the replacement of the file found.
  EXPECT_EQ(dir.Read("stderr.txt"),
            "vantrelctl: " + dir.Path("no/dir.xml") + ": Path not found. (error 3): cannot write " +
                dir.Path("no/dir.xml") + ": the folder " + dir.Path("no") + " does not exist\n");
  EXPECT_EQ(Ctl("xml frob x", "", dir).status, 2);

  // The file read is never written over with what was read of it (it would lose its comments,
  // or the rest of a file cut short); another file takes it.
  const std::string cut =
      "<RegistryItems><RegistryItem><KeyName>a</KeyName></RegistryItem><RegistryItem><KeyName>b</"
      "KeyName>";
  dir.Write("cut.xml", cut);
  const std::string path = dir.Path("cut.xml");
  EXPECT_EQ(Ctl("xml load " + path + " --write " + path, "", dir).status, 2);
  EXPECT_NE(dir.Read("stderr.txt").find("is the file the entries are read from"), std::string::npos)
      << dir.Read("stderr.txt");
  EXPECT_EQ(dir.Read("cut.xml"), cut);
  EXPECT_EQ(Ctl("xml load " + path + " --write " + dir.Path("copy.xml"), "", dir).status, 0);
  EXPECT_NE(dir.Read("copy.xml").find("<KeyName>b</KeyName>"), std::string::npos);
}

// xml load reads the program's items as the program does: an item whose fields cannot be told
// apart is refused (nothing printed, nothing written), and xml write never writes a control
// character that XML 1.0 cannot hold (the old writer wrote &#1;, which other programs refuse).
TEST(VantrelctlXml, ItemsAreReadAndWrittenUnambiguouslyOrNotAtAll) {
  test::ScratchDir dir;
  dir.Write("twice.xml",
            "<RegistryItems><RegistryItem><KeyName>k</KeyName><SavedValue>1</SavedValue>"
            "<savedvalue>7</savedvalue></RegistryItem></RegistryItems>");
  const CtlRun load =
      Ctl("xml load " + dir.Path("twice.xml") + " --write " + dir.Path("out.xml"), "", dir);
  EXPECT_EQ(load.status, 1);
  EXPECT_EQ(load.out, "");
  EXPECT_EQ(dir.Read("stderr.txt"), "vantrelctl: " + dir.Path("twice.xml") +
                                        ": A record's fields cannot be told apart: registryitem "
                                        "element 1 holds SavedValue twice. (error 1061); nothing "
                                        "was loaded\n");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.xml")));

  const CtlRun write = Ctl("xml write " + dir.Path("w.xml"), "k\tv\t1\\x01\t0\t1\n", dir);
  EXPECT_EQ(write.status, 1);
  EXPECT_EQ(dir.Read("stderr.txt"), "vantrelctl: " + dir.Path("w.xml") +
                                        ": line 1: its SavedValue holds the control character "
                                        "\\x01, which an XML 1.0 file cannot hold, so nothing "
                                        "was written\n")
      << dir.Read("stderr.txt");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("w.xml")));
}

// A text longer than its field is never cut on its way into a file: a cut key path names one of
// the key's parents. The command fails naming the line or entry and the field; nothing is written.
TEST(VantrelctlXml, TextsLongerThanTheirFieldsAreRefusedNotCut) {
  test::ScratchDir dir;
  const struct {
    const char* field;
    std::string line;
  } tooLong[] = {
      {"KeyName", std::string(209, 'k') + "\tv\n"},
      {"ValueName", "k\t" + std::string(101, 'v') + "\n"},
      {"DisableValue", "k\tv\t1\t" + std::string(21, '1') + "\t0\n"},
  };
  for (const auto& c : tooLong) {
    const CtlRun write = Ctl("xml write " + dir.Path("w.xml"), "k\tv\n" + c.line, dir);
    EXPECT_EQ(write.status, 1) << c.field;
    EXPECT_NE(dir.Read("stderr.txt").find(std::string("line 2: its ") + c.field), std::string::npos)
        << dir.Read("stderr.txt");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("w.xml"))) << c.field;
  }
  EXPECT_EQ(Ctl("xml write " + dir.Path("w.xml"), std::string(200, 'k') + "\tv\n", dir).status, 0)
      << "a text as long as its field fits";

  dir.Write("long.xml", "<RegistryItems><!-- why --><RegistryItem><KeyName>" +
                            std::string(241, 'k') + "</KeyName></RegistryItem></RegistryItems>");
  EXPECT_EQ(
      Ctl("xml load " + dir.Path("long.xml") + " --write " + dir.Path("out.xml"), "", dir).status,
      1);
  EXPECT_NE(dir.Read("stderr.txt").find("entry 1: its KeyName is longer than the field's 200"),
            std::string::npos)
      << dir.Read("stderr.txt");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.xml")));
}

// A document nested deeper than the library holds is reported, not cut without a word.
TEST(VantrelctlXml, DeepDocumentsFail) {
  test::ScratchDir dir;
  std::string deep;
  for (int i = 0; i < 70; ++i) deep += "<e>";
  for (int i = 0; i < 70; ++i) deep += "</e>";
  dir.Write("deep.xml", deep);
  EXPECT_EQ(Ctl("xml dump " + dir.Path("deep.xml"), "", dir).status, 1);
  EXPECT_NE(dir.Read("stderr.txt").find("(error 1060)"), std::string::npos)
      << dir.Read("stderr.txt");
}

TEST(VantrelctlXml, LoadWithTranslationsAndNestedLists) {
  test::ScratchDir dir;
  dir.Write("t.xml",
            "<RegistryItems><RegistryItem><Key><Name>k</Name></Key><Value><Name>v</Name></Value>"
            "</RegistryItem></RegistryItems>");
  const CtlRun translated =
      Ctl("xml load " + dir.Path("t.xml") +
              " --translate KeyName=Key/Name --translate ValueName=value/name",
          "", dir);
  EXPECT_EQ(translated.status, 0) << dir.Read("stderr.txt");
  EXPECT_EQ(translated.out, "k\tv\t\t\t\n");

  dir.Write("o.xml",
            "<Orders><Order><Id>1</Id><Line><Sku>a</Sku><Part><Serial>s1</Serial></Part>"
            "<Part><Serial>s2</Serial></Part></Line><Line><Sku>b</Sku></Line></Order>"
            "<Order><Id>2</Id></Order></Orders>");
  const std::string lists =
      " Orders Order --fields Id,Line --list Line=Sku,Part --list Part=Serial";
  const std::string shown = "1\n>\ta\n>>\ts1\n>>\ts2\n>\tb\n2\n";
  const CtlRun nested =
      Ctl("xml load " + dir.Path("o.xml") + lists + " --write " + dir.Path("w.xml"), "", dir);
  EXPECT_EQ(nested.status, 0) << dir.Read("stderr.txt");
  EXPECT_EQ(nested.out, shown);
  const CtlRun again = Ctl("xml load " + dir.Path("w.xml") + lists, "", dir);
  EXPECT_EQ(again.status, 0) << dir.Read("stderr.txt");
  EXPECT_EQ(again.out, shown) << dir.Read("w.xml");

  for (const char* bad : {" --translate KeyName=a//b", " --translate =x", " --list Line=Sku",
                          " --fields Id,,Line", " --frob x", " --fields", " a b c d e f"}) {
    EXPECT_EQ(Ctl("xml load " + dir.Path("o.xml") + bad, "", dir).status, 2) << bad;
  }
}

}  // namespace
}  // namespace vantrel::xml
