#include "runtime/system/byte_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/errors/error_state.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class ByteFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantrel_bytefile_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(ByteFileTest, OpenFailuresGiveTheRuntimeFileCodes) {
  std::ofstream(Path("present")) << "x";
  struct Case {
    std::string name;
    std::int32_t code;
  } cases[] = {
      {Path("missing.xml"), 2},
      {Path("no_such_folder/file.xml"), 3},
      {Path("present/below"), 3},
      {dir_.string(), 5},
      {"", 45},
      {"   ", 45},
      {std::string(5000, 'a'), 45},
  };
  for (const Case& c : cases) {
    ByteFile file;
    EXPECT_FALSE(file.Open(c.name)) << c.name;
    EXPECT_EQ(RuntimeErrorCode(), c.code) << c.name;
    EXPECT_FALSE(file.IsOpen());
  }
}

TEST_F(ByteFileTest, ReadOnlyFileCannotBeOpenedForWriting) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  const std::string name = Path("ro.xml");
  std::ofstream(name) << "<a/>";
  fs::permissions(name, fs::perms::owner_read);
  ByteFile file;
  EXPECT_FALSE(file.Open(name, kReadWriteDenyWrite));
  EXPECT_EQ(RuntimeErrorCode(), 5);
  EXPECT_TRUE(file.Open(name, kAccessRead | kDenyNone));
}

TEST_F(ByteFileTest, DenyWriteKeepsASecondWriterOut) {
  const std::string name = Path("shared.xml");
  std::ofstream(name) << "data";
  ByteFile first, second, third;
  ASSERT_TRUE(first.Open(name, kReadWriteDenyWrite));
  EXPECT_FALSE(second.Open(name, kReadWriteDenyWrite));
  EXPECT_EQ(RuntimeErrorCode(), 5);
  EXPECT_TRUE(third.Open(name, kReadWriteDenyNone));
  first.Close();
  EXPECT_TRUE(second.Open(name, kReadWriteDenyWrite));
}

TEST_F(ByteFileTest, ReadsSequentiallyInBlocksOfAtMost65519Bytes) {
  std::string content(200000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
  const std::string name = Path("big.bin");
  std::ofstream(name, std::ios::binary) << content;

  for (const char* option : {"FILEBUFFERS=1500", "FILEBUFFERS=1", "filebuffers = 3"}) {
    ByteFile file;
    ASSERT_TRUE(file.Open(name));
    EXPECT_TRUE(file.SendOption(option)) << option;
    EXPECT_EQ(file.Size(), 200000);
    std::string got;
    std::string block(100000, '\0');
    std::int64_t n;
    while ((n = file.Read(block.data(), block.size())) > 0) {
      EXPECT_LE(n, 65519);
      got.append(block.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(n, 0);
    EXPECT_EQ(file.Read(block.data(), 10), 0) << "stays at the end";
    EXPECT_TRUE(got == content) << option;
  }
}

TEST_F(ByteFileTest, UnknownOptionIsRefused) {
  std::ofstream(Path("f")) << "x";
  ByteFile file;
  ASSERT_TRUE(file.Open(Path("f")));
  EXPECT_FALSE(file.SendOption("RECORDBUFFERS=2"));
  EXPECT_EQ(RuntimeErrorCode(), 80);
  EXPECT_FALSE(file.SendOption("FILEBUFFERS=lots"));
}

TEST_F(ByteFileTest, CreateReplacesAndAppendAddsAtTheEnd) {
  const std::string name = Path("out.xml");
  std::ofstream(name) << "old content that must go";
  ASSERT_TRUE(ByteFile::Create(name));
  EXPECT_EQ(Slurp(name), "");
  ByteFile file;
  ASSERT_TRUE(file.Open(name));
  EXPECT_TRUE(file.Append("<a>", 3));
  EXPECT_TRUE(file.Append(std::string(70000, 'x').data(), 70000));
  EXPECT_TRUE(file.Append("</a>", 4));
  EXPECT_TRUE(file.Sync());
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(Slurp(name), "<a>" + std::string(70000, 'x') + "</a>");

  EXPECT_FALSE(ByteFile::Create(Path("nowhere/out.xml")));
  EXPECT_EQ(RuntimeErrorCode(), 3);
  EXPECT_FALSE(file.Append("x", 1)) << "closed file";
  EXPECT_EQ(RuntimeErrorCode(), 37);
  EXPECT_FALSE(file.Sync()) << "closed file";
  EXPECT_EQ(RuntimeErrorCode(), 37);
}

TEST_F(ByteFileTest, OsErrorIsKeptBesideTheCode) {
  ByteFile file;
  ASSERT_FALSE(file.Open(Path("missing")));
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(RuntimeOsError(), 2u);
  EXPECT_EQ(RuntimeErrorText(), "File Not Found");
}

}  // namespace
}  // namespace vantrel
