// The exports for deployment as bytes: which values they carry, how names are escaped in each
// format, and which items they refuse. Whether regedit and Ansible read them back as meant is
// checked against the real programs (tests/wine/export_reg_test.sh, tests/tools/export_ansible).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/export_ansible.h"
#include "app/export_gpp.h"
#include "app/export_items.h"
#include "app/export_pol.h"
#include "app/export_reg.h"
#include "runtime/queue/queue.h"

namespace vantrel::app {
namespace {

struct Row {
  const char* key;
  const char* name;
  const char* current;
  const char* saved;
  const char* disable;
  const char* enable;
};

void Fill(MainData& data, const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    DisplayRecord& rec = data.displayQueue.buffer;
    rec.KEYNAME = r.key;
    rec.VALUENAME = r.name;
    rec.CURRENTVALUE = r.current;
    rec.SAVEDVALUE = r.saved;
    rec.DISABLEVALUE = r.disable;
    rec.ENABLEVALUE = r.enable;
    QueueAdd(&data.displayQueue);
  }
}

// The UTF-16LE file as text, for readable expectations; units above 0x7F as <hhhh>.
std::string Utf16LeText(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned u =
        static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "<%04x>", u);
      out += buf;
    }
  }
  return out;
}

TEST(ExportItems, EachValueSetTakesItsColumnConvertedAsTheCommandsWriteIt) {
  MainData data;
  Fill(data, {{"K", "A", "7", "N/A", "1", "0"},
              {"K", "B", "N/A", "", "N/A", "4294967295"},
              {"K", "C", "-1", "0xC", "+5", "3"}});
  struct Case {
    ExportValues values;
    std::vector<std::pair<bool, std::uint32_t>> expected;  // remove, data
  } cases[] = {
      {ExportValues::kDisable, {{false, 1}, {true, 0}, {false, 5}}},
      {ExportValues::kEnable, {{false, 0}, {false, 0xFFFFFFFFu}, {false, 3}}},
      // A blank saved value is restored as the number it reads as, not removed.
      {ExportValues::kSaved, {{true, 0}, {false, 0}, {false, 12}}},
      {ExportValues::kCurrent, {{false, 7}, {true, 0}, {false, 0xFFFFFFFFu}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ExportValuesName(c.values)));
    std::vector<ExportItem> items;
    std::string error;
    ASSERT_TRUE(CollectExportItems(data, c.values, &items, &error)) << error;
    ASSERT_EQ(items.size(), 3u);
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(items[i].position, static_cast<int>(i + 1));
      EXPECT_EQ(items[i].remove, c.expected[i].first) << i;
      EXPECT_EQ(items[i].data, c.expected[i].second) << i;
    }
  }
  for (const char* name : {"disable", "enable", "saved", "current"}) {
    ASSERT_TRUE(ExportValuesNamed(name).has_value()) << name;
    EXPECT_EQ(ExportValuesName(*ExportValuesNamed(name)), name);
  }
  EXPECT_FALSE(ExportValuesNamed("Disable").has_value());
}

TEST(ExportItems, ItemsNoExportCanCarryAreRefusedByPosition) {
  struct Case {
    Row bad;
    const char* error;
  } cases[] = {
      {{"K", "Line\nBreak", "N/A", "1", "1", "1"},
       "item 2 (K, Line\nBreak): its value name holds the control character 0x0a"},
      {{"K\tTab", "V", "N/A", "1", "1", "1"},
       "item 2 (K\tTab, V): its key path holds the control character 0x09"},
      {{"", "V", "N/A", "1", "1", "1"}, "item 2 (, V): it names no key"},
      {{"K", "V", "N/A", "1", "12abc", "1"},
       "item 2 (K, V): the value text \"12abc\" is neither N/A nor a decimal number with an "
       "optional sign, or hexadecimal with 0x, within 32 bits, so nothing was written for it"},
      {{"A\\\\B", "V", "N/A", "1", "1", "1"}, "item 2 (A\\\\B, V): its key path has an empty part"},
      {{"\\A", "V", "N/A", "1", "1", "1"}, "item 2 (\\A, V): its key path has an empty part"},
      {{"K", "", "N/A", "1", "N/A", "1"},
       "item 2 (K, the default value): its value is \"N/A\" but it names no value: removing it "
       "would delete the whole key"},
  };
  for (const Case& c : cases) {
    MainData data;
    Fill(data, {{"K", "Fine", "N/A", "1", "1", "1"}, c.bad});
    std::vector<ExportItem> items;
    std::string error;
    EXPECT_FALSE(CollectExportItems(data, ExportValues::kDisable, &items, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(ExportReg, ValueNamesEscapeBackslashAndQuote) {
  const std::pair<const char*, const char*> cases[] = {
      {"Plain", "\"Plain\""},
      {"a\\b", "\"a\\\\b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"\\\"", "\"\\\\\\\"\""},
      {"", "@"},
      {"@", "\"@\""},
      {"a=b;c[d]", "\"a=b;c[d]\""},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(RegValueName(name), expected) << name;
}

TEST(ExportReg, FileIsUtf16WithRegeditsHeaderSectionsAndLineEnds) {
  const std::vector<ExportItem> items = {
      {1, "SYSTEM\\A", "One", false, 1},
      {2, "SYSTEM\\A", "Gone", true, 0},
      {3, "SYSTEM\\Kl\xe8", "\xe8\\\"", false, 0xFFFFFFFFu},  // cp1250 0xE8: c with caron
      {4, "SYSTEM\\A", "", false, 10},
  };
  const ExportResult r = WriteRegFile(items);
  ASSERT_EQ(r.error, "");
  ASSERT_GE(r.bytes.size(), 2u);
  EXPECT_EQ(r.bytes.substr(0, 2), "\xff\xfe");
  EXPECT_EQ(Utf16LeText(r.bytes.substr(2)),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\A]\r\n"
            "\"One\"=dword:00000001\r\n"
            "\"Gone\"=-\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Kl<010d>]\r\n"
            "\"<010d>\\\\\\\"\"=dword:ffffffff\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\A]\r\n"
            "@=dword:0000000a\r\n"
            "\r\n");
}

TEST(ExportAnsible, YamlTextKeepsEveryCharacterAndStopsTemplating) {
  const std::pair<const char*, const char*> cases[] = {
      {"Plain", "'Plain'"},
      {"it's", "'it''s'"},
      {"C:\\dir \"x\"", "'C:\\dir \"x\"'"},
      {"#: - [a]", "'#: - [a]'"},
      {"{{ lookup('x') }}", "!unsafe '{{ lookup(''x'') }}'"},
      {"\xe8", "'\xc4\x8d'"},  // cp1250 c with caron as UTF-8
      {"", "''"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(YamlText(text), expected) << text;
}

TEST(ExportAnsible, PlaybookHasOneTaskPerItemForTheGroup) {
  const std::vector<ExportItem> items = {{1, "SYSTEM\\A", "One", false, 4294967295u},
                                         {2, "SYSTEM\\A", "Gone", true, 0}};
  const ExportResult r = WriteAnsiblePlaybook(items, "file_servers", ExportValues::kEnable, false);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.bytes,
            "---\n"
            "- name: Vantrel registry values (enable)\n"
            "  hosts: file_servers\n"
            "  gather_facts: false\n"
            "  tasks:\n"
            "    - name: 'Set HKLM:\\SYSTEM\\A\\One to 4294967295'\n"
            "      ansible.windows.win_regedit:\n"
            "        path: 'HKLM:\\SYSTEM\\A'\n"
            "        name: 'One'\n"
            "        data: 4294967295\n"
            "        type: dword\n"
            "        state: present\n"
            "      tags: [vantrel, reboot]\n"
            "    - name: 'Remove HKLM:\\SYSTEM\\A\\Gone'\n"
            "      ansible.windows.win_regedit:\n"
            "        path: 'HKLM:\\SYSTEM\\A'\n"
            "        name: 'Gone'\n"
            "        state: absent\n"
            "      tags: [vantrel, reboot]\n");
}

// Each value notifies what it needs, and the handlers are exactly those: a service once however
// many values need it, the computer last.
TEST(ExportAnsible, TasksNotifyTheRestartTheirValueNeeds) {
  const char server[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
  const char mrxsmb[] = "SYSTEM\\CurrentControlSet\\Services\\MRXSmb\\Parameters";
  struct Case {
    std::vector<ExportItem> items;
    std::vector<std::string> notified;   // per task
    std::vector<std::string> restarted;  // the services the handlers restart, in order
    bool reboot;
  } cases[] = {
      {{{1, server, "EnableOplocks", false, 0}, {2, server, "DisableLeasing", false, 1}},
       {"vantrel lanmanserver", "vantrel lanmanserver"},
       {"LanmanServer"},
       false},
      {{{1, mrxsmb, "OplocksDisabled", true, 0}, {2, server, "EnableOplocks", false, 0}},
       {"vantrel lanmanworkstation", "vantrel lanmanserver"},
       {"LanmanServer", "LanmanWorkstation"},
       false},
      {{{1, "SOFTWARE\\Unknown", "V", false, 1}, {2, server, "Smb2", false, 1}},
       {"vantrel reboot", "vantrel reboot"},
       {},
       true},
  };
  for (const Case& c : cases) {
    const ExportResult r = WriteAnsiblePlaybook(c.items, "g", ExportValues::kDisable);
    ASSERT_EQ(r.error, "");
    std::vector<std::string> notified, restarted;
    for (std::size_t at = r.bytes.find("notify: "); at != std::string::npos;
         at = r.bytes.find("notify: ", at + 1)) {
      notified.push_back(r.bytes.substr(at + 8, r.bytes.find('\n', at) - at - 8));
    }
    for (std::size_t at = r.bytes.find("state: restarted"); at != std::string::npos;
         at = r.bytes.find("state: restarted", at + 1)) {
      const std::size_t name = r.bytes.rfind("name: ", at) + 6;
      restarted.push_back(r.bytes.substr(name, r.bytes.find('\n', name) - name));
    }
    EXPECT_EQ(notified, c.notified) << r.bytes;
    EXPECT_EQ(restarted, c.restarted) << r.bytes;
    EXPECT_EQ(r.bytes.find("ansible.windows.win_reboot") != std::string::npos, c.reboot) << r.bytes;
    EXPECT_EQ(r.bytes.find("handlers:"), r.bytes.rfind("handlers:"));
    // Nothing notified, nothing to restart.
    const ExportResult quiet = WriteAnsiblePlaybook(c.items, "g", ExportValues::kDisable, false);
    EXPECT_EQ(quiet.bytes.find("notify"), std::string::npos);
    EXPECT_EQ(quiet.bytes.find("handlers:"), std::string::npos);
  }
}

// SMB 2 off (exported only with --force) is written only where Windows is older than 10, which
// needs the facts; SMB 2 on needs no guard.
TEST(ExportAnsible, ValuesDangerousFromWindows10AreGuardedByTheVersion) {
  const char server[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
  const char guard[] =
      "      when: ansible_facts['distribution_major_version'] is version('10', '<')\n";
  const ExportResult off =
      WriteAnsiblePlaybook({{1, server, "EnableOplocks", false, 0}, {2, server, "Smb2", false, 0}},
                           "g", ExportValues::kDisable);
  ASSERT_EQ(off.error, "");
  const std::size_t facts = off.bytes.find("ansible.windows.setup");
  const std::size_t smb2 = off.bytes.find("name: 'Smb2'");
  ASSERT_NE(facts, std::string::npos);
  ASSERT_NE(smb2, std::string::npos);
  EXPECT_LT(facts, off.bytes.find("EnableOplocks"));
  EXPECT_EQ(off.bytes.find(guard), off.bytes.rfind(guard));
  EXPECT_GT(off.bytes.find(guard), smb2);
  const ExportResult on =
      WriteAnsiblePlaybook({{1, server, "Smb2", false, 1}}, "g", ExportValues::kEnable);
  EXPECT_EQ(on.bytes.find("when:"), std::string::npos);
  EXPECT_EQ(on.bytes.find("ansible.windows.setup"), std::string::npos);
}

TEST(ExportAnsible, RefusesWhatTheModuleCannotDo) {
  for (const char* group : {"", "1st", "web-servers", "a b", "all:children"}) {
    EXPECT_FALSE(IsAnsibleGroupName(group)) << group;
    EXPECT_NE(WriteAnsiblePlaybook({}, group, ExportValues::kDisable).error, "") << group;
  }
  for (const char* group : {"windows", "_x", "File_Servers2"})
    EXPECT_TRUE(IsAnsibleGroupName(group));
  const ExportResult r =
      WriteAnsiblePlaybook({{1, "A", "", false, 1}}, "g", ExportValues::kDisable);
  EXPECT_EQ(r.error,
            "item 1 (A, the default value): win_regedit writes a key's default value only "
            "as a string, not a dword");
  EXPECT_EQ(r.bytes, "");
}

TEST(ExportReg, RestartsAreSaidInCommentsWhenAsked) {
  const std::vector<ExportItem> items = {
      {1, "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters", "EnableOplocks", false,
       0},
      {2, "SOFTWARE\\Unknown", "V", true, 0}};
  const std::string plain = Utf16LeText(WriteRegFile(items).bytes.substr(2));
  EXPECT_EQ(plain.find(';'), std::string::npos);
  const std::string said = Utf16LeText(WriteRegFile(items, true).bytes.substr(2));
  EXPECT_EQ(said.substr(0, said.find("\r\n[")),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "; Once imported:\r\n"
            "; Restart the Server service for the change to take effect (net stop server /y && net "
            "start server), or restart the computer.\r\n"
            "; Restart the computer for the change to take effect.\r\n");
  EXPECT_EQ(said.substr(said.find("\r\n[")), plain.substr(plain.find("\r\n[")));
}

// The file as bytes: the header, then per entry '[' key 0 ';' name 0 ';' type ';' size ';' data
// ']', every character a UTF-16LE unit, the numbers four bytes little-endian.
TEST(ExportPol, EntriesAreUtf16WithBinaryTypeSizeAndData) {
  const ExportResult r =
      WritePolFile({{1, "K\xe8", "V", false, 0x01020304u}, {2, "K", "G", true, 0}});
  ASSERT_EQ(r.error, "");
  // Literals holding zero bytes, whole.
  auto bytes = [](const auto& literal) { return std::string(literal, sizeof literal - 1); };
  const std::string expected = bytes("PReg\x01\0\0\0") + bytes("[\0K\0\x0d\x01\0\0;\0V\0\0\0;\0") +
                               bytes("\x04\0\0\0;\0\x04\0\0\0;\0\x04\x03\x02\x01]\0") +
                               bytes("[\0K\0\0\0;\0*\0*\0d\0e\0l\0.\0G\0\0\0;\0") +
                               bytes("\x01\0\0\0;\0\x04\0\0\0;\0 \0\0\0]\0");
  EXPECT_EQ(r.bytes, expected);
  EXPECT_EQ(WritePolFile({}).bytes, std::string("PReg\x01\0\0\0", 8));
}

TEST(ExportPol, RefusesNamesItWouldNotCarryAsMeant) {
  const std::string max(259, 'n');
  const struct Case {
    ExportItem item;
    const char* problem;  // "" when it can be carried
  } cases[] = {
      {{1, "K", "Plain", false, 1}, ""},
      {{1, "K\\Sub Key", "with blanks \\ \"q\" #=*", true, 0}, ""},
      {{1, "K", max, false, 1}, ""},
      {{1, "K", max, true, 0},
       "its value name with \"**del.\" before it has 265 characters; Registry.pol holds at most "
       "259"},
      {{1, "K", max.substr(0, 253), true, 0}, ""},
      {{1, "K", max + "n", false, 1},
       "its value name has 260 characters; Registry.pol holds at most 259"},
      {{1, "K", "", false, 1},
       "Registry.pol cannot set a key's default value (an entry without a value name only creates "
       "the key)"},
      {{1, "K", "**DelVals.", false, 1},
       "its value name begins with \"**\", which Registry.pol reads as an instruction (such as "
       "**DelVals., delete every value of the key), not as a name"},
      {{1, "K", "*x", false, 1}, ""},
      {{1, "K]", "V", false, 1},
       "its key path holds ']', where readers of Registry.pol look for the delimiters of an entry"},
      {{1, "K", "a;b", false, 1},
       "its value name holds ';', where readers of Registry.pol look for the delimiters of an "
       "entry"},
      {{1, "K[", "V", false, 1},
       "its key path holds '[', where readers of Registry.pol look for the delimiters of an entry"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PolItemProblem(c.item), c.problem) << c.item.keyName << " " << c.item.valueName;
    const ExportResult r = WritePolFile({{2, "K", "Fine", false, 1}, c.item});
    if (*c.problem == '\0') {
      EXPECT_EQ(r.error, "");
    } else {
      EXPECT_EQ(r.error, DescribeExportItem(c.item) + ": " + c.problem);
      EXPECT_EQ(r.bytes, "");
    }
  }
}

TEST(ExportGpp, AttributeTextEscapesXmlAndShowsC1Controls) {
  const std::pair<const char*, const char*> cases[] = {
      {"Plain", "Plain"},
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
      {"\xe8\x8a", "\xc4\x8d\xc5\xa0"},  // cp1250 c caron, S caron as UTF-8
      {"\x81 \x98", "&#x81; &#x98;"},    // unassigned in cp1250: the C1 control of that number
      {"{{ x }} ]]>", "{{ x }} ]]&gt;"},
      {"", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(GppAttributeText(text), expected) << text;
}

TEST(ExportGpp, OneRegistryItemPerValueWithItsOwnUid) {
  int next = 0;
  const GppStamp stamp{"2024-05-06 07:08:09", [&next] {
                         // The second identifier comes twice: the file must not take it again.
                         const int n = next == 2 ? 1 : next;
                         ++next;
                         return "{00000000-0000-4000-8000-00000000000" + std::to_string(n) + "}";
                       }};
  const std::vector<ExportItem> items = {
      {1, "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters", "EnableOplocks", false,
       10},
      {2, "SOFTWARE\\A&B", "", false, 0xFFFFFFFFu},
      {3, "SOFTWARE\\A&B", "Gone", true, 0}};
  const ExportResult r = WriteGppRegistryXml(items, ExportValues::kDisable, stamp);
  ASSERT_EQ(r.error, "");
  const std::string server =
      "Restart the Server service for the change to take effect (net stop "
      "server /y &amp;&amp; net start server), or restart the computer.";
  const std::string reboot = "Restart the computer for the change to take effect.";
  EXPECT_EQ(
      r.bytes,
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<!-- Vantrel registry values (disable). Once Group Policy applied them: Restart the "
      "Server service for the change to take effect (net stop server /y && net start "
      "server), or restart the computer. " +
          reboot +
          " -->\r\n"
          "<RegistrySettings clsid=\"{A3CCFC41-DFDB-43a5-8D26-0FE8B954DA51}\">"
          "<Registry clsid=\"{9CD4B2F4-923D-47f5-A062-E897DD1DAD50}\" name=\"EnableOplocks\" "
          "status=\"EnableOplocks\" image=\"12\" changed=\"2024-05-06 07:08:09\" "
          "uid=\"{00000000-0000-4000-8000-000000000000}\" desc=\"" +
          server +
          "\">"
          "<Properties action=\"U\" displayDecimal=\"1\" default=\"0\" hive=\"HKEY_LOCAL_MACHINE\" "
          "key=\"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters\" "
          "name=\"EnableOplocks\" type=\"REG_DWORD\" value=\"0000000a\"/></Registry>"
          "<Registry clsid=\"{9CD4B2F4-923D-47f5-A062-E897DD1DAD50}\" name=\"A&amp;B\" "
          "status=\"A&amp;B\" image=\"12\" changed=\"2024-05-06 07:08:09\" "
          "uid=\"{00000000-0000-4000-8000-000000000001}\" desc=\"" +
          reboot +
          "\">"
          "<Properties action=\"U\" displayDecimal=\"1\" default=\"1\" hive=\"HKEY_LOCAL_MACHINE\" "
          "key=\"SOFTWARE\\A&amp;B\" name=\"\" type=\"REG_DWORD\" value=\"ffffffff\"/></Registry>"
          "<Registry clsid=\"{9CD4B2F4-923D-47f5-A062-E897DD1DAD50}\" name=\"Gone\" "
          "status=\"Gone\" image=\"13\" changed=\"2024-05-06 07:08:09\" "
          "uid=\"{00000000-0000-4000-8000-000000000003}\" desc=\"" +
          reboot +
          "\">"
          "<Properties action=\"D\" displayDecimal=\"1\" default=\"0\" hive=\"HKEY_LOCAL_MACHINE\" "
          "key=\"SOFTWARE\\A&amp;B\" name=\"Gone\" type=\"REG_DWORD\" value=\"00000000\"/>"
          "</Registry></RegistrySettings>\r\n");
  // A source that never gives a new identifier fails the export rather than repeat one.
  const GppStamp stuck{"2024-05-06 07:08:09", [] { return std::string("{X}"); }};
  const ExportResult failed = WriteGppRegistryXml(items, ExportValues::kDisable, stuck);
  EXPECT_EQ(failed.error, "no unique identifier for " + DescribeExportItem(items[1]));
  EXPECT_EQ(failed.bytes, "");
  // Random identifiers: version 4 GUIDs in braces, different each time.
  const GppStamp now = GppStampNow();
  const std::string a = now.newUid(), b = now.newUid();
  EXPECT_NE(a, b);
  ASSERT_EQ(a.size(), 38u);
  EXPECT_EQ(a.front(), '{');
  EXPECT_EQ(a[15], '4');
  EXPECT_EQ(a.back(), '}');
  EXPECT_EQ(now.changed.size(), 19u);
}

}  // namespace
}  // namespace vantrel::app
