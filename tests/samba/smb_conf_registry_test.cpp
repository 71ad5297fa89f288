// Samba's keys through the registry operations: HKEY_LOCAL_MACHINE\Software\Samba\smbconf\<section>
// reads and changes the smb.conf that VANTREL_SMB_CONF names, checked with Samba's testparm; what
// cannot be read whole, what testparm rejects and what would act on another file is never written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "runtime/errors/error_state.h"
#include "runtime/system/registry.h"
#include "tests/store/store_test_support.h"

namespace vantrel {
namespace {

using store::testing::ReadFile;
using store::testing::ScratchStore;
using store::testing::WriteFile;

constexpr const char kGlobal[] = "Software\\Samba\\smbconf\\global";
constexpr const char kData[] = "Software\\Samba\\smbconf\\data";

const char kConf[] =
    "# the test server\n"
    "[global]\n"
    "   workgroup = WG\n"
    "   ; oplocks = no\n"
    "   oplocks = yes\n"
    "\n"
    "[data]\n"
    "   path = /tmp\n"
    "   comment = accounts \\\n"
    "      and more\n";

class SambaKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access("/usr/bin/testparm", X_OK), 0)
        << "Samba's testparm is missing: install the samba packages (make deps)";
    conf_ = store_.File("smb.conf");
    WriteFile(conf_, kConf);
    setenv("VANTREL_SMB_CONF", conf_.c_str(), 1);
    SetRegistryProblemsShown(false);
  }
  void TearDown() override {
    unsetenv("VANTREL_SMB_CONF");
    SetRegistryProblemsShown(true);
  }
  std::string Get(const char* key, const char* name, std::uint32_t* type = nullptr) {
    return RegistryGetValue(kHkeyLocalMachine, key, name, type);
  }
  long Put(const char* key, const char* name, const char* text, std::uint32_t type = 4) {
    return RegistryPutValue(kHkeyLocalMachine, key, name, text, type);
  }
  // The write failed, said why naming the file, and left the file as it was.
  void ExpectRefused(long rc, const std::string& before, const char* words) {
    EXPECT_NE(rc, 0) << words;
    const std::string problem = RegistryProblemText();
    EXPECT_NE(problem.find(conf_), std::string::npos) << problem;
    EXPECT_NE(problem.find(words), std::string::npos) << problem;
    EXPECT_EQ(ReadFile(conf_), before) << words;
    EXPECT_NE(access((conf_ + ".bak").c_str(), F_OK), 0) << words;
  }
  ScratchStore store_;
  std::string conf_;
};

TEST_F(SambaKeys, ValuesReadByMeaningAndType) {
  WriteFile(conf_,
            std::string(kConf) +
                "   Level2Oplocks = False\n   max connections = 20\n   level2_oplocks = yes\n");
  const struct {
    const char* key;
    const char* name;
    const char* text;
    std::uint32_t type;
    std::int32_t code;
  } cases[] = {
      {kGlobal, "oplocks", "1", 4, 0},
      {kGlobal, "OPLOCKS", "1", 4, 0},
      {"Software\\Samba\\smbconf\\GLOBAL", "oplocks", "1", 4, 0},
      {kData, "level2 oplocks", "0", 4, 0},
      {kData, "maxconnections", "20", 4, 0},
      {kData, "max_connections", "", 0, 2},  // an underscore is no blank to Samba
      {kData, "comment", "accounts       and more", 1, 0},
      {kGlobal, "smb2 leases", "", 0, 2},  // absent: Samba's default, shown as N/A
      {"Software\\Samba\\smbconf\\nosuch", "oplocks", "", 0, 2},
      {"Software\\Samba\\smbconf\\data\\below", "oplocks", "", 0, 2},
  };
  for (const auto& c : cases) {
    std::uint32_t type = 99;
    EXPECT_EQ(Get(c.key, c.name, &type), c.text) << c.key << " " << c.name;
    EXPECT_EQ(type, c.type) << c.key << " " << c.name;
    EXPECT_EQ(RuntimeErrorCode(), c.code) << c.key << " " << c.name;
  }
  // Section names outside ASCII, given in the program's code page (1250) as key paths are.
  WriteFile(conf_,
            "[\xC3\x9A\xC4\x8D"
            "ty]\n path = /tmp\n oplocks = no\n");
  EXPECT_EQ(Get("Software\\Samba\\smbconf\\\xDA\xE8ty", "oplocks"), "0");
  EXPECT_EQ(RuntimeErrorCode(), 0);
}

TEST_F(SambaKeys, WritesOnlyTheLinesConcernedKeepingModeOwnerAndABackup) {
  ASSERT_EQ(chmod(conf_.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(conf_.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(Put(kGlobal, "oplocks", "0"), 0) << RegistryProblemText();
  std::string expected = kConf;
  expected.replace(expected.find("   oplocks = yes"), 16, "   oplocks = 0");
  EXPECT_EQ(ReadFile(conf_), expected);
  EXPECT_EQ(ReadFile(conf_ + ".bak"), kConf);
  struct stat st {};
  ASSERT_EQ(stat(conf_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(Get(kGlobal, "oplocks"), "0");

  // A new parameter follows the section's last one; the same meaning written again changes
  // nothing; N/A removes the line.
  ASSERT_EQ(Put(kData, "level2 oplocks", "0"), 0) << RegistryProblemText();
  expected += "   level2 oplocks = 0\n";
  EXPECT_EQ(ReadFile(conf_), expected);
  WriteFile(conf_, "[global]\n oplocks = no\n");
  ASSERT_EQ(unlink((conf_ + ".bak").c_str()), 0);
  ASSERT_EQ(Put(kGlobal, "oplocks", "0"), 0);
  EXPECT_NE(access((conf_ + ".bak").c_str(), F_OK), 0) << "nothing to change, nothing written";
  RegistryDelete(kHkeyLocalMachine, kGlobal, "Oplocks");
  EXPECT_EQ(RuntimeErrorCode(), 0) << RegistryProblemText();
  EXPECT_EQ(ReadFile(conf_), "[global]\n");
  RegistryDelete(kHkeyLocalMachine, kGlobal, "oplocks");
  EXPECT_EQ(RuntimeErrorCode(), 2);
}

TEST_F(SambaKeys, RefusesChangesSambaWouldNotTake) {
  const struct {
    const char* key;
    const char* name;
    const char* text;
    std::uint32_t type;
    const char* words;
  } cases[] = {
      {kGlobal, "oplocks", "5", 4, "testparm rejects"},  // not a boolean
      {kGlobal, "oplockz", "0", 4, "unknown"},           // no parameter Samba knows
      {"Software\\Samba\\smbconf\\accounts", "oplocks", "0", 4, "no section [accounts]"},
      {kData, "comment", "x\n[evil]\npath = /", 1, "line break"},
      {kData, "comment", "x\\", 1, "backslash"},
  };
  for (const auto& c : cases) ExpectRefused(Put(c.key, c.name, c.text, c.type), kConf, c.words);
  // A later include that sets the parameter again would make the change a lie.
  const std::string later = store_.File("later.conf");
  WriteFile(later, "oplocks = yes\n");
  const std::string withInclude = "[global]\n oplocks = yes\n include = " + later + "\n";
  WriteFile(conf_, withInclude);
  ExpectRefused(Put(kGlobal, "oplocks", "0"), withInclude, "would still read");
}

TEST_F(SambaKeys, NeverWritesAFileThatDidNotReadWhole) {
  const struct {
    std::string text;
    const char* words;
  } cases[] = {
      {"[global]\n oplocks = yes\njunk\n", ":3: the line is neither"},
      {std::string("[global]\n oplocks = y\0es\n", 25), "zero byte"},
      {"[global]\n config backend = registry\n oplocks = yes\n", "net conf"},
      {"[global]\n include = registry\n", "net conf"},
      {"[global]\n config file = /etc/samba/other.conf\n oplocks = yes\n", "reads that file"},
  };
  for (const auto& c : cases) {
    WriteFile(conf_, c.text);
    EXPECT_EQ(Get(kGlobal, "oplocks"), "") << c.words;
    EXPECT_NE(RuntimeErrorCode(), 0) << c.words;
    EXPECT_NE(RuntimeErrorCode(), 2) << c.words << ": not \"absent\"";
    ExpectRefused(Put(kGlobal, "oplocks", "0"), c.text, c.words);
  }
}

TEST_F(SambaKeys, IncludedFilesCountAsSambaReadsThem) {
  const std::string later = store_.File("later.conf");
  const std::string share = store_.File("share.conf");
  WriteFile(later, "\toplocks = yes\n");
  WriteFile(share, "[data]\n path = /tmp\n");
  // A later include overrides the file's own "no": the value read is Samba's "yes", and a change
  // this file cannot make is refused naming the file that sets it.
  const std::string overridden = "[global]\n\toplocks = no\n\tinclude = " + later + "\n";
  WriteFile(conf_, overridden);
  EXPECT_EQ(Get(kGlobal, "oplocks"), "1");
  EXPECT_EQ(RuntimeErrorCode(), 0) << RegistryProblemText();
  ExpectRefused(Put(kGlobal, "oplocks", "0"), overridden, later.c_str());
  // The included file is read again when it changes.
  WriteFile(later, "\toplocks = no\n");
  EXPECT_EQ(Get(kGlobal, "oplocks"), "0");
  // Already so as Samba reads it: nothing to write, and testparm agrees.
  ASSERT_EQ(Put(kGlobal, "oplocks", "0"), 0) << RegistryProblemText();
  EXPECT_EQ(ReadFile(conf_), overridden);
  EXPECT_NE(access((conf_ + ".bak").c_str(), F_OK), 0);
  // A section header in an included file decides where the lines after the include go.
  WriteFile(conf_, "[global]\n include = " + share + "\n oplocks = no\n");
  EXPECT_EQ(Get(kGlobal, "oplocks"), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_EQ(Get(kData, "oplocks"), "0");
  EXPECT_EQ(Get(kData, "path"), "/tmp");
  // An include whose file cannot be known fails the read, naming it: never "not set".
  const struct {
    std::string include;
    const char* words;
  } unknown[] = {
      {store_.File("missing.conf"), "missing.conf, which cannot be read"},
      {store_.File("smb.conf.%m"), "completes for each client"},
  };
  for (const auto& c : unknown) {
    const std::string text = "[global]\n include = " + c.include + "\n";
    WriteFile(conf_, text);
    EXPECT_EQ(Get(kGlobal, "oplocks"), "") << c.words;
    EXPECT_NE(RuntimeErrorCode(), 0) << c.words;
    EXPECT_NE(RuntimeErrorCode(), 2) << c.words << ": not \"absent\"";
    EXPECT_NE(RegistryProblemText().find(c.words), std::string::npos) << RegistryProblemText();
    ExpectRefused(Put(kGlobal, "oplocks", "0"), text, c.words);
  }
  // Once the missing file is there, it is read.
  WriteFile(conf_, "[global]\n include = " + unknown[0].include + "\n");
  EXPECT_EQ(Get(kGlobal, "oplocks"), "");
  WriteFile(unknown[0].include, "oplocks = no\n");
  EXPECT_EQ(Get(kGlobal, "oplocks"), "0");
  EXPECT_EQ(RuntimeErrorCode(), 0) << RegistryProblemText();
}

TEST_F(SambaKeys, KeysHoldingTheSectionsAreNotDeleted) {
  // The store may hold keys of its own beside Samba's: deleting one above Samba's must not report
  // the sections gone while the file still has them, nor take the store's keys alone.
  ASSERT_EQ(Put("Software\\Samba\\Other", "kept", "1"), 0) << RegistryProblemText();
  for (const char* key :
       {"Software\\Samba", "Software\\Samba\\", "software\\samba\\smbconf", kData}) {
    RegistryDelete(kHkeyLocalMachine, key, "");
    EXPECT_NE(RuntimeErrorCode(), 0) << key;
    EXPECT_NE(RegistryProblemText().find(conf_), std::string::npos) << RegistryProblemText();
    EXPECT_EQ(ReadFile(conf_), kConf) << key;
    EXPECT_EQ(Get("Software\\Samba\\Other", "kept"), "1") << key;
  }
}

TEST_F(SambaKeys, LinksAndFifosAreNotFollowedIntoAWrite) {
  // A link in the configuration's place is read (Samba reads it too) but never written through:
  // as root that would replace whatever file it leads to.
  const std::string real = store_.File("real.conf");
  WriteFile(real, kConf);
  ASSERT_EQ(unlink(conf_.c_str()), 0);
  ASSERT_EQ(symlink(real.c_str(), conf_.c_str()), 0);
  EXPECT_EQ(Get(kGlobal, "oplocks"), "1");
  ExpectRefused(Put(kGlobal, "oplocks", "0"), kConf, "symbolic link");
  EXPECT_EQ(ReadFile(real), kConf);
  // A FIFO never blocks the reader: it is no file.
  ASSERT_EQ(unlink(conf_.c_str()), 0);
  ASSERT_EQ(mkfifo(conf_.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get(kGlobal, "oplocks"), "");
  EXPECT_NE(RuntimeErrorCode(), 2);
  EXPECT_NE(RegistryProblemText().find("not a regular file"), std::string::npos)
      << RegistryProblemText();
  EXPECT_NE(Put(kGlobal, "oplocks", "0"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  // No file: nothing set (Samba's defaults), and nothing made up on a write.
  ASSERT_EQ(unlink(conf_.c_str()), 0);
  EXPECT_EQ(Get(kGlobal, "oplocks"), "");
  EXPECT_EQ(RuntimeErrorCode(), 2);
  EXPECT_NE(Put(kGlobal, "oplocks", "0"), 0);
  EXPECT_NE(access(conf_.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace vantrel
