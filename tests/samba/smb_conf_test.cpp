// The smb.conf reader and writer: names matched as Samba matches them, changes that touch only
// the lines concerned, and files Samba would not read refused.
#include "runtime/system/store/smb_conf.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace vantrel::store {
namespace {

// Cut from Debian's shipped smb.conf: comments of both kinds, blank lines, a continuation, an
// include line and sections named twice and in another letter case.
const char kRealWorld[] =
    "#\n"
    "# Sample configuration file for the Samba suite for Debian GNU/Linux.\n"
    "#\n"
    "#======================= Global Settings =======================\n"
    "\n"
    "[global]\n"
    "\n"
    "## Browsing/Identification ###\n"
    "\n"
    "# Change this to the workgroup/NT-domain name your Samba server will part of\n"
    "   workgroup = WORKGROUP\n"
    "\n"
    "   log file = /var/log/samba/log.%m\n"
    "   max log size = 1000\n"
    "   logging = file\n"
    "   panic action = /usr/share/samba/panic-action %d\n"
    "   server role = standalone server\n"
    "   obey pam restrictions = yes\n"
    "   passwd chat = *Enter\\snew\\s*\\spassword:* %n\\n *Retype\\snew\\s*\\spassword:* \\\n"
    "       %n\\n *password\\supdated\\ssuccessfully* .\n"
    ";   include = /home/samba/etc/smb.conf.%m\n"
    "   include = /etc/samba/shares.conf\n"
    "\n"
    "[homes]\n"
    "   comment = Home Directories\n"
    "   browseable = no\n"
    "\n"
    "[Accounts Data]\n"
    "\tpath = /srv/accounts\n"
    "\tRead Only = No\n"
    "\tOplocks = Yes\n"
    "[GLOBAL]\n"
    "   Level2Oplocks = true\n"
    "   max_log_size = 5\n";

SmbConf Loaded(const std::string& text) {
  SmbConf conf;
  EXPECT_TRUE(conf.Load(text)) << conf.Problem();
  return conf;
}

TEST(SmbConf, ReadsNamesAsSambaMatchesThem) {
  const SmbConf conf = Loaded(kRealWorld);
  const struct {
    const char* section;
    const char* name;
    const char* value;  // nullptr: not set
  } cases[] = {
      {"global", "workgroup", "WORKGROUP"},
      {"Global", "WorkGroup", "WORKGROUP"},
      {"globals", "workgroup", "WORKGROUP"},  // Samba's other name of [global]
      {"global", "maxlogsize", "1000"},
      // An underscore is no blank to Samba: "max_log_size" is a parameter it does not know.
      {"global", "max_log_size", "5"},
      {"global", "Max_Log_Size", "5"},
      {"global", "level2 oplocks", "true"},  // from the second [GLOBAL]
      {"accounts data", "oplocks", "Yes"},
      {"ACCOUNTS DATA", "read only", "No"},
      {"Accounts Data ", "readonly", "No"},
      {"AccountsData", "oplocks", nullptr},  // blanks inside a share's name count
      {"homes", "browsable", "no"},          // a synonym
      {"homes", "path", nullptr},
      {"global", "include", "/etc/samba/shares.conf"},  // the commented one is no parameter
      {"global", "passwd chat",
       "*Enter\\snew\\s*\\spassword:* %n\\n *Retype\\snew\\s*\\spassword:*        %n\\n "
       "*password\\supdated\\ssuccessfully* ."},
      {"nosuch", "oplocks", nullptr},
      {"global", "read only", nullptr},
  };
  for (const auto& c : cases) {
    const auto got = conf.Get(c.section, c.name);
    if (c.value) {
      EXPECT_EQ(got.value_or("(absent)"), c.value) << c.section << " / " << c.name;
    } else {
      EXPECT_FALSE(got.has_value()) << c.section << " / " << c.name << " = " << *got;
    }
  }
  EXPECT_EQ(conf.Sections(), (std::vector<std::string>{"global", "homes", "Accounts Data"}));
  EXPECT_TRUE(conf.RegistryKept().empty());
}

TEST(SmbConf, AChangeTouchesOnlyItsLines) {
  const std::string original = kRealWorld;
  const struct {
    const char* section;
    const char* name;
    const char* value;   // nullptr: remove
    const char* before;  // the line(s) that go
    const char* after;   // the line(s) that come in their place
  } cases[] = {
      {"global", "max log size", "50", "   max log size = 1000\n", "   max log size = 50\n"},
      {"accounts data", "oplocks", "0", "\tOplocks = Yes\n", "\tOplocks = 0\n"},
      // A continued value becomes one line, keeping the name and the spacing.
      {"global", "passwd chat", "x",
       "   passwd chat = *Enter\\snew\\s*\\spassword:* %n\\n *Retype\\snew\\s*\\spassword:* \\\n"
       "       %n\\n *password\\supdated\\ssuccessfully* .\n",
       "   passwd chat = x\n"},
      // The last line of a section named twice is the one Samba reads.
      {"global", "level2oplocks", "0", "   Level2Oplocks = true\n", "   Level2Oplocks = 0\n"},
      // A new parameter follows the section's last one, indented as it is.
      {"accounts data", "level2 oplocks", "0", "\tOplocks = Yes\n",
       "\tOplocks = Yes\n\tlevel2 oplocks = 0\n"},
      {"homes", "oplocks", "0", "   browseable = no\n", "   browseable = no\n   oplocks = 0\n"},
      {"homes", "browsable", nullptr, "   browseable = no\n", ""},
      {"global", "level2 oplocks", nullptr, "   Level2Oplocks = true\n", ""},
  };
  for (const auto& c : cases) {
    SmbConf conf = Loaded(original);
    bool changed = false;
    if (c.value) {
      ASSERT_TRUE(conf.Set(c.section, c.name, c.value, changed)) << c.name;
      EXPECT_TRUE(changed) << c.name;
      EXPECT_EQ(conf.Get(c.section, c.name).value_or("(absent)"), c.value);
    } else {
      ASSERT_TRUE(conf.Remove(c.section, c.name)) << c.name;
      EXPECT_FALSE(conf.Get(c.section, c.name).has_value()) << c.name;
    }
    const std::string text = conf.Text();
    // The rest of the file, byte for byte: take out what changed and compare.
    std::string expected = original;
    const std::size_t at = expected.find(c.before);
    ASSERT_NE(at, std::string::npos) << c.before;
    expected.replace(at, std::string(c.before).size(), c.after);
    EXPECT_EQ(text, expected) << c.section << " / " << c.name;
    // And it reads back the same way.
    SmbConf again = Loaded(text);
    EXPECT_EQ(again.Get(c.section, c.name), conf.Get(c.section, c.name)) << c.name;
  }
}

TEST(SmbConf, KeepsLineEndsAndALastLineWithoutOne) {
  SmbConf conf = Loaded("[global]\r\n\toplocks = yes\r\n[data]\r\n\tpath = /srv");
  bool changed = false;
  ASSERT_TRUE(conf.Set("global", "oplocks", "0", changed));
  ASSERT_TRUE(conf.Set("data", "oplocks", "0", changed));
  EXPECT_EQ(conf.Text(),
            "[global]\r\n\toplocks = 0\r\n[data]\r\n\tpath = /srv\r\n\toplocks = 0\r\n");
  // Parameters before any section belong to [global].
  SmbConf bare = Loaded("workgroup = W\n\n[data]\npath = /srv\n");
  ASSERT_TRUE(bare.Set("global", "oplocks", "0", changed));
  EXPECT_EQ(bare.Text(), "workgroup = W\noplocks = 0\n\n[data]\npath = /srv\n");
  // A section the file does not have is not made up.
  EXPECT_FALSE(bare.Set("accounts", "oplocks", "0", changed));
  SmbConf empty = Loaded("");
  EXPECT_FALSE(empty.Set("global", "oplocks", "0", changed));
}

TEST(SmbConf, RefusesWhatSambaWouldNotRead) {
  const struct {
    std::string text;
    std::size_t line;
    const char* words;
  } cases[] = {
      {std::string("[global]\n oplocks = n\0o\n", 23), 2, "zero byte"},
      {"[global\n oplocks = no\n", 1, "closing ']'"},
      {"[global]\n oplocks no\n", 2, "neither a comment"},
      {"[global]\n = no\n", 2, "no name"},
      {"[ ]\n", 1, "no name"},
      // A line added after it would become part of its value.
      {"[global]\n comment = a \\\n", 2, "into nothing"},
      {"[global]\n" + std::string(kSmbConfMaxBytes, '#'), 0, "MiB"},
  };
  for (const auto& c : cases) {
    SmbConf conf;
    EXPECT_FALSE(conf.Load(c.text)) << c.words;
    EXPECT_EQ(conf.ProblemLine(), c.line) << c.words;
    EXPECT_NE(conf.Problem().find(c.words), std::string::npos) << conf.Problem();
    bool changed = false;
    EXPECT_FALSE(conf.Set("global", "oplocks", "0", changed)) << c.words;
    EXPECT_EQ(conf.Text(), "") << c.words;
  }
}

TEST(SmbConf, SaysWhenSambaKeepsItsSharesInTheRegistry) {
  EXPECT_NE(Loaded("[global]\n config backend = registry\n").RegistryKept(), "");
  EXPECT_NE(Loaded("[global]\n include = Registry\n").RegistryKept(), "");
  EXPECT_NE(Loaded("[data]\n path = /srv\n include = registry\n").RegistryKept(), "");
  EXPECT_EQ(Loaded("[global]\n include = /etc/samba/registry\n").RegistryKept(), "");
  EXPECT_EQ(Loaded("[data]\n config backend = registry\n").RegistryKept(), "");
  EXPECT_NE(Loaded("[global]\n oplocks = no\n config file = /etc/samba/%m.conf\n").RegistryKept(),
            "");
  EXPECT_NE(Loaded("ConfigFile = /etc/samba/other.conf\n[data]\n path = /srv\n").RegistryKept(),
            "");
}

// Included files as a map of name to text; a name not in it cannot be read.
SmbConf::IncludeReader Files(std::map<std::string, std::string> files) {
  return [files = std::move(files)](const std::string& path, std::string& text, std::string& why) {
    const auto found = files.find(path);
    if (found == files.end()) {
      why = "includes " + path + ", which cannot be read: No such file or directory";
      return false;
    }
    text = found->second;
    return true;
  };
}

TEST(SmbConf, ReadsIncludedFilesInTheirPlaceAsSambaDoes) {
  const auto read = Files({
      {"/i/oplocks.conf", "\toplocks = yes\n"},
      {"/i/share.conf", "[data]\n path = /srv\n"},
      {"/i/outer.conf", "include = /i/oplocks.conf\n level2 oplocks = no\n"},
  });
  const struct {
    const char* text;
    const char* section;
    const char* name;
    const char* value;  // nullptr: not set
  } cases[] = {
      // A later include overrides the file's own line; an earlier one is overridden by it.
      {"[global]\n oplocks = no\n include = /i/oplocks.conf\n", "global", "oplocks", "yes"},
      {"[global]\n include = /i/oplocks.conf\n oplocks = no\n", "global", "oplocks", "no"},
      // A section header in an included file decides where the lines after the include go.
      {"[global]\n include = /i/share.conf\n oplocks = no\n", "global", "oplocks", nullptr},
      {"[global]\n include = /i/share.conf\n oplocks = no\n", "data", "oplocks", "no"},
      {"[global]\n include = /i/share.conf\n oplocks = no\n", "data", "path", "/srv"},
      // Includes inside includes, and in a share's section.
      {"[global]\n include = /i/outer.conf\n", "global", "oplocks", "yes"},
      {"[global]\n include = /i/outer.conf\n", "global", "level2 oplocks", "no"},
      {"[data]\n oplocks = no\n include = /i/oplocks.conf\n", "data", "oplocks", "yes"},
  };
  for (const auto& c : cases) {
    SmbConf conf;
    ASSERT_TRUE(conf.Load(c.text, read)) << c.text << conf.Problem();
    const auto got = conf.Get(c.section, c.name);
    EXPECT_EQ(got.has_value(), c.value != nullptr) << c.text << c.section << " " << c.name;
    if (got && c.value) {
      EXPECT_EQ(*got, c.value) << c.text;
    }
    EXPECT_EQ(conf.Text(), c.text) << "the included text is never written back";
  }
}

TEST(SmbConf, RefusesIncludesWhoseValuesCannotBeKnown) {
  const auto read = Files(
      {{"/i/self.conf", "include = /i/self.conf\n"}, {"/i/bad.conf", "oplocks = yes\njunk\n"}});
  const struct {
    const char* text;
    const char* file;  // where the problem is
    const char* words;
  } cases[] = {
      {"[global]\n include = /i/missing.conf\n", "", "/i/missing.conf, which cannot be read"},
      {"[global]\n include = /etc/samba/smb.conf.%m\n", "", "completes for each client"},
      {"[global]\n include = shares.conf\n", "", "no absolute file name"},
      {"[global]\n include = /i/self.conf\n", "/i/self.conf", "includes this line again"},
      {"[global]\n include = /i/bad.conf\n", "/i/bad.conf", "neither a comment"},
  };
  for (const auto& c : cases) {
    SmbConf conf;
    EXPECT_FALSE(conf.Load(c.text, read)) << c.text;
    EXPECT_NE(conf.Problem().find(c.words), std::string::npos) << conf.Problem();
    EXPECT_EQ(conf.ProblemFile(), c.file) << c.text;
    bool changed = false;
    EXPECT_FALSE(conf.Set("global", "oplocks", "0", changed)) << c.text;
    EXPECT_FALSE(conf.Get("global", "oplocks")) << c.text << ": never \"not set\"";
  }
  // Without a reader an include line is one of the file's parameters, and Samba's registry is no
  // file to read.
  EXPECT_TRUE(SmbConf().Load("[global]\n include = /i/missing.conf\n"));
  SmbConf conf;
  EXPECT_TRUE(conf.Load("[global]\n include = registry\n", read)) << conf.Problem();
}

TEST(SmbConf, ChangesOnlyLinesSambaReadsLast) {
  const auto read = Files({{"/i/oplocks.conf", "\toplocks = yes\n"},
                           {"/i/share.conf", "[data]\n path = /srv\n"},
                           {"/i/shares.conf", "include = /i/share.conf\n[more]\n path = /m\n"}});
  bool changed = false;
  // The line Samba reads last is in the included file: this file cannot change what it reads.
  SmbConf conf;
  ASSERT_TRUE(conf.Load("[global]\n oplocks = no\n include = /i/oplocks.conf\n", read));
  EXPECT_FALSE(conf.Set("global", "oplocks", "0", changed));
  EXPECT_NE(conf.Problem().find("/i/oplocks.conf"), std::string::npos) << conf.Problem();
  EXPECT_FALSE(conf.Remove("global", "oplocks"));
  EXPECT_NE(conf.Problem().find("/i/oplocks.conf"), std::string::npos) << conf.Problem();
  EXPECT_EQ(conf.Text(), "[global]\n oplocks = no\n include = /i/oplocks.conf\n");
  // A new line goes where its section is in force: not after an include that left [global].
  ASSERT_TRUE(conf.Load("[global]\n workgroup = W\n include = /i/share.conf\n path = /x\n", read));
  ASSERT_TRUE(conf.Set("global", "oplocks", "0", changed));
  EXPECT_EQ(conf.Text(),
            "[global]\n workgroup = W\n oplocks = 0\n include = /i/share.conf\n path = /x\n");
  ASSERT_TRUE(conf.Set("data", "oplocks", "0", changed));
  EXPECT_EQ(conf.Get("data", "oplocks"), "0");
  EXPECT_EQ(conf.Text(),
            "[global]\n workgroup = W\n oplocks = 0\n include = /i/share.conf\n"
            " path = /x\n oplocks = 0\n");
  // A section an included file leaves in force takes the new line after the include; one that
  // no line of this file stands in is changed in the included file, not here.
  ASSERT_TRUE(conf.Load("[global]\n include = /i/share.conf\n", read));
  ASSERT_TRUE(conf.Set("data", "oplocks", "0", changed));
  EXPECT_EQ(conf.Text(), "[global]\n include = /i/share.conf\n oplocks = 0\n");
  ASSERT_TRUE(conf.Load("[global]\n include = /i/shares.conf\n", read));
  EXPECT_FALSE(conf.Set("data", "oplocks", "0", changed));
  EXPECT_NE(conf.Problem().find("/i/share.conf"), std::string::npos) << conf.Problem();
  EXPECT_EQ(conf.Text(), "[global]\n include = /i/shares.conf\n");
}

TEST(SmbConf, BooleansCompareByMeaning) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"yes", "1", true},  {"No", "0", true},   {"TRUE", "yes", true}, {"off", "false", true},
      {"yes", "0", false}, {"no", "1", false},  {"2", "yes", false},   {"a b", "a b", true},
      {"A", "a", false},   {" 1 ", "on", true},
  };
  for (const auto& c : cases) EXPECT_EQ(SameSmbValue(c.a, c.b), c.same) << c.a << " / " << c.b;
}

}  // namespace
}  // namespace vantrel::store
