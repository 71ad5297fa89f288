// The safe replacement of files: writers at once, leftovers, links, devices, mode and owner.
// flock, FIFOs and file modes make these POSIX cases; the Windows part is tried under Wine.
#include "runtime/system/safe_replace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class SafeReplaceTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The names in the folder that are temporaries (".vantrel-" and six characters).
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name.find(kTemporaryMark) != std::string::npos) found.push_back(name);
    }
    return found;
  }
  fs::path dir_ = test::MakeScratchFolder("vantrel_replace_");
};

// Writers in several threads replace one file over and over with contents of their own, larger
// than one write: the file is always one writer's whole content, and nothing is left beside it.
TEST_F(SafeReplaceTest, WritersAtOnceEachLandWhole) {
  constexpr int kWriters = 4;
  constexpr int kRounds = 40;
  const std::string file = Path("items.xml");
  std::vector<std::string> contents;
  for (int w = 0; w < kWriters; ++w) contents.emplace_back(300000 + w, static_cast<char>('a' + w));
  std::vector<std::thread> writers;
  std::vector<int> failures(kWriters, 0);
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int round = 0; round < kRounds; ++round) {
        SafeReplace replace;
        const std::string& text = contents[static_cast<std::size_t>(w)];
        // In two halves: the other writers run between them.
        const bool ok =
            replace.Begin(file) && replace.Append(text.data(), text.size() / 2) &&
            replace.Append(text.data() + text.size() / 2, text.size() - text.size() / 2) &&
            replace.Commit();
        if (!ok) ++failures[static_cast<std::size_t>(w)];
      }
    });
  }
  for (int round = 0; round < kRounds * 4; ++round) {
    const std::string now = Read("items.xml");
    if (now.empty()) continue;  // not written yet
    ASSERT_TRUE(std::find(contents.begin(), contents.end(), now) != contents.end())
        << "a mix or a cut file of " << now.size() << " bytes";
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures, std::vector<int>(kWriters, 0));
  EXPECT_TRUE(std::find(contents.begin(), contents.end(), Read("items.xml")) != contents.end());
  EXPECT_TRUE(Temporaries().empty());
}

// A side file written while its document is, in the same folder and thread: the second writer
// shares the folder's lock instead of waiting for itself.
TEST_F(SafeReplaceTest, TwoWritersOfOneProcessInOneFolder) {
  SafeReplace document;
  ASSERT_TRUE(document.Begin(Path("doc.xml")));
  ASSERT_TRUE(ReplaceWholeFile(Path("side.bin"), "side"));
  ASSERT_TRUE(document.Append("doc", 3));
  ASSERT_TRUE(document.Commit());
  EXPECT_EQ(Read("doc.xml"), "doc");
  EXPECT_EQ(Read("side.bin"), "side");
}

// What a killed writer left is removed by the next writer of that file; a temporary that a live
// writer holds locked, a link at such a name and another file's temporary stay.
TEST_F(SafeReplaceTest, LeftoversOfKilledWritersGoLiveOnesStay) {
  Write("items.xml", "old");
  Write("items.xml.vantrel-Dead01", "half");
  Write("items.xml.vtmp", "half of an earlier version's save");
  Write("items.xml.vantrel-Live01", "being written");
  Write("other.xml.vantrel-Dead02", "another file's");
  Write("target", "not a temporary");
  fs::create_symlink("target", Path("items.xml.vantrel-Link01"));
  const int live = ::open(Path("items.xml.vantrel-Live01").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);

  ASSERT_TRUE(ReplaceWholeFile(Path("items.xml"), "new")) << LastReplace().problem;
  EXPECT_EQ(Read("items.xml"), "new");
  EXPECT_FALSE(fs::exists(Path("items.xml.vantrel-Dead01")));
  EXPECT_FALSE(fs::exists(Path("items.xml.vtmp")));
  EXPECT_TRUE(fs::exists(Path("items.xml.vantrel-Live01")));
  EXPECT_TRUE(fs::exists(Path("other.xml.vantrel-Dead02")));
  EXPECT_TRUE(fs::is_symlink(Path("items.xml.vantrel-Link01")));
  EXPECT_EQ(Read("target"), "not a temporary");
  ::close(live);
  RemoveLeftTemporaries(Path("items.xml"));
  EXPECT_FALSE(fs::exists(Path("items.xml.vantrel-Live01"))) << "its writer is gone";
}

// The mode and (for the superuser) the owner of the file replaced are the new file's; a new file
// gets what the umask gives; the backup is the previous content with the same mode, and a link
// at the backup's name is replaced, not followed.
TEST_F(SafeReplaceTest, ModeOwnerAndBackup) {
  Write("items.xml", "previous");
  ASSERT_EQ(::chmod(Path("items.xml").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(Path("items.xml").c_str(), 65534, 65534), 0);
  }
  Write("elsewhere", "must stay");
  fs::create_symlink("elsewhere", Path("items.xml.bak"));
  ReplaceOptions options;
  options.keepBackup = true;
  ASSERT_TRUE(ReplaceWholeFile(Path("items.xml"), "next", options)) << LastReplace().problem;
  struct stat st;
  ASSERT_EQ(::stat(Path("items.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(Read("items.xml"), "next");
  EXPECT_FALSE(fs::is_symlink(Path("items.xml.bak")));
  EXPECT_EQ(Read("items.xml.bak"), "previous");
  EXPECT_EQ(Read("elsewhere"), "must stay");
  ASSERT_EQ(::stat(Path("items.xml.bak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const mode_t mask = ::umask(027);
  ASSERT_TRUE(ReplaceWholeFile(Path("new.xml"), "x"));
  ::umask(mask);
  ASSERT_EQ(::stat(Path("new.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Targets that are no regular file: refused unless the caller writes devices in place, and then
// a FIFO nobody reads is refused at once; nothing is ever removed. A link at the name is written
// through unless the caller refuses links; a file that appeared meanwhile wins a create-only.
TEST_F(SafeReplaceTest, DevicesFifosLinksAndCreateOnly) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  ReplaceOptions inPlace;
  inPlace.devicesInPlace = true;
  struct Case {
    const char* name;
    std::string path;
    const ReplaceOptions options;
    bool ok;
    const char* problem;
  } cases[] = {
      {"fifo refused", Path("fifo"), {}, false, "a FIFO, not a regular file"},
      {"fifo without reader", Path("fifo"), inPlace, false, "a FIFO that no process reads"},
      {"device refused", "/dev/null", {}, false, "a character device, not a regular file"},
      {"device in place", "/dev/null", inPlace, true, ""},
      {"folder", dir_.string(), inPlace, false, "a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReplaceWholeFile(c.path, "bytes", c.options), c.ok);
    EXPECT_NE(LastReplace().problem.find(c.problem), std::string::npos) << LastReplace().problem;
  }
  EXPECT_TRUE(fs::is_fifo(Path("fifo")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  Write("real.xml", "old");
  fs::create_symlink("real.xml", Path("link.xml"));
  ASSERT_TRUE(ReplaceWholeFile(Path("link.xml"), "through"));
  EXPECT_TRUE(fs::is_symlink(Path("link.xml")));
  EXPECT_EQ(Read("real.xml"), "through");
  ReplaceOptions noLinks;
  noLinks.followLinks = false;
  EXPECT_FALSE(ReplaceWholeFile(Path("link.xml"), "refused", noLinks));
  EXPECT_EQ(Read("real.xml"), "through");

  ReplaceOptions createOnly;
  createOnly.createOnly = true;
  EXPECT_TRUE(ReplaceWholeFile(Path("real.xml"), "second", createOnly));
  EXPECT_EQ(Read("real.xml"), "through") << "the file there first wins";
  EXPECT_TRUE(ReplaceWholeFile(Path("made.xml"), "first", createOnly));
  EXPECT_EQ(Read("made.xml"), "first");
  EXPECT_TRUE(Temporaries().empty());
}

}  // namespace
}  // namespace vantrel
