// Base64 side files: written from and read into files beside the document. The read-only folder
// is made with file modes and a change of user, which only the POSIX build has.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotMakeFault = 77;

class SideFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  test::ScratchDir dir_;
};

TEST_F(SideFileTest, BinaryDataGoesThroughTheDocumentAndBack) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 7 % 256));
  dir_.Write("blob.bin", bytes);
  dir_.Write("empty.bin", "");
  test::MessageLog log;

  ASSERT_EQ(CreateXMLFile(dir_.Path("doc.xml"), "1.0", ""), 0);
  CreateParent("Doc");
  AddParent();
  EXPECT_EQ(AddBase64Element("Image", "blob.bin"), 0);  // beside the document
  EXPECT_EQ(AddBase64Element("Nothing", "empty.bin"), 0);
  EXPECT_EQ(AddBase64Element("Lost", "missing.bin"), 1056);
  EXPECT_EQ(ErrorText(0, true), "Unable to Open Binary File.");
  CloseParent();
  ASSERT_EQ(CloseXMLFile(), 0);
  const std::string written = dir_.Read("doc.xml");
  EXPECT_EQ(written.find("Lost"), std::string::npos) << "nothing written for a missing file";
  EXPECT_NE(written.find("\r\n <Nothing></Nothing>\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\r\n <Image>\r\n " + Base64Encode(bytes.substr(0, 57)) + "\r\n"),
            std::string::npos)
      << "76 characters a line";

  ASSERT_EQ(LoadFile(dir_.Path("doc.xml")), 0);
  EXPECT_EQ(Base64ToSideFile("copy.bin"), 1003) << "no current record yet";
  ASSERT_EQ(FindNode("Doc", "Image", {}, {}, {}, true), 0);
  EXPECT_EQ(Base64ToSideFile("copy.bin"), 0);
  EXPECT_EQ(dir_.Read("copy.bin"), bytes);
  ASSERT_EQ(LoadFile(dir_.Path("doc.xml")), 0);  // a search starts inside the found node
  ASSERT_EQ(FindNode("Doc", "Nothing", {}, {}, {}, true), 0);
  EXPECT_EQ(Base64ToSideFile("none.bin"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir_.Path("none.bin")));
  EXPECT_EQ(dir_.Read("none.bin"), "");
  EXPECT_TRUE(log.texts.empty());

  // A value as long as a record keeps may have been cut: no file rather than half of one.
  ASSERT_EQ(LoadText("<d><i>" + std::string(20000, 'Q') + "</i></d>"), 0);
  ASSERT_EQ(FindNode("d", "i", {}, {}, {}, true), 0);
  EXPECT_EQ(Base64ToSideFile("cut.bin"), 1055);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("cut.bin")));
}

// A side name stays below the document's folder: absolute names, ".." steps, links on the way or
// at the name, and names longer than the library's 384 characters are refused both ways, and
// nothing outside the folder is read or written. A sub-folder of it is fine.
TEST_F(SideFileTest, SideNamesStayInTheDocumentsFolder) {
  namespace fs = std::filesystem;
  const test::ScratchDir outside;
  outside.Write("secret.bin", "secret");
  fs::create_directories(dir_.Path("doc/sub"));
  dir_.Write("doc/doc.xml", "<d><i>QUJD</i></d>");
  dir_.Write("doc/sub/in.bin", "in");
  fs::create_symlink(outside.Path("secret.bin"), dir_.Path("doc/linked.bin"));
  fs::create_symlink(outside.Path(""), dir_.Path("doc/away"));
  const std::string up =
      "../../" + fs::path(outside.Path("")).parent_path().filename().string() + "/secret.bin";
  ASSERT_EQ(LoadFile(dir_.Path("doc/doc.xml")), 0);
  ASSERT_EQ(FindNode("d", "i", {}, {}, {}, true), 0);
  const std::string refused[] = {outside.Path("secret.bin"), "../secret.bin", up,
                                 "sub/../../x.bin",          "linked.bin",    "away/secret.bin",
                                 std::string(400, 'n')};
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Base64ToSideFile(name), 1055);
  }
  EXPECT_EQ(outside.Read("secret.bin"), "secret");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.Path("")), fs::directory_iterator()), 1);
  EXPECT_EQ(Base64ToSideFile("sub/out.bin"), 0);
  EXPECT_EQ(dir_.Read("doc/sub/out.bin"), "ABC");

  ASSERT_EQ(CreateXMLFile(dir_.Path("doc/new.xml"), "1.0", ""), 0);
  CreateParent("d");
  AddParent();
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_EQ(AddBase64Element("Leak", name), 1056);
  }
  EXPECT_EQ(AddBase64Element("In", "sub/in.bin"), 0);
  ASSERT_EQ(CloseXMLFile(), 0);
  const std::string written = dir_.Read("doc/new.xml");
  EXPECT_EQ(written.find("Leak"), std::string::npos) << written;
  EXPECT_NE(written.find(Base64Encode("in")), std::string::npos) << written;
}

TEST_F(SideFileTest, ReadOnlyFolderGives1055AndLeavesNothing) {
  namespace fs = std::filesystem;
  fs::create_directory(dir_.Path("ro"));
  dir_.Write("ro/doc.xml", "<d><i>QUJD</i></d>");
  ASSERT_EQ(LoadFile(dir_.Path("ro/doc.xml")), 0);
  ASSERT_EQ(FindNode("d", "i", {}, {}, {}, true), 0);
  // The superuser writes into a read-only folder anyway, so as root the child turns into an
  // ordinary user that owns the folder first.
  if (geteuid() == 0) {
    ASSERT_EQ(chown(dir_.Path("").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(dir_.Path("ro").c_str(), kNobody, kNobody), 0);
  }
  ASSERT_EQ(chmod(dir_.Path("ro").c_str(), 0555), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(kCannotMakeFault);
    }
    if (access(dir_.Path("ro").c_str(), W_OK) == 0) _exit(kCannotMakeFault);
    _exit(Base64ToSideFile("abc.bin") == 1055 && LastError() == 1055 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  chmod(dir_.Path("ro").c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  if (WEXITSTATUS(status) == kCannotMakeFault)
    GTEST_SKIP() << "cannot make the folder read-only here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "Base64ToSideFile did not answer 1055";
  EXPECT_EQ(fs::directory_iterator(dir_.Path("ro"))->path().filename(), "doc.xml");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path("ro")), fs::directory_iterator()), 1);
  // Writable again: the same call succeeds.
  EXPECT_EQ(Base64ToSideFile("abc.bin"), 0);
  EXPECT_EQ(dir_.Read("ro/abc.bin"), "ABC");
}

}  // namespace
}  // namespace vantrel::xml
