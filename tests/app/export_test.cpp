// The exports for deployment as bytes: which values they carry, how names are escaped in each
// format, and which items they refuse. Whether regedit and Ansible read them back as meant is
// checked against the real programs (tests/wine/export_reg_test.sh, tests/tools/export_ansible).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/export_ansible.h"
#include "app/export_items.h"
#include "app/export_reg.h"
#include "runtime/queue.h"

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
    const unsigned u = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
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
  const ExportResult r = WriteAnsiblePlaybook(items, "file_servers", ExportValues::kEnable);
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
            "    - name: 'Remove HKLM:\\SYSTEM\\A\\Gone'\n"
            "      ansible.windows.win_regedit:\n"
            "        path: 'HKLM:\\SYSTEM\\A'\n"
            "        name: 'Gone'\n"
            "        state: absent\n");
}

TEST(ExportAnsible, RefusesWhatTheModuleCannotDo) {
  for (const char* group : {"", "1st", "web-servers", "a b", "all:children"}) {
    EXPECT_FALSE(IsAnsibleGroupName(group)) << group;
    EXPECT_NE(WriteAnsiblePlaybook({}, group, ExportValues::kDisable).error, "") << group;
  }
  for (const char* group : {"windows", "_x", "File_Servers2"}) EXPECT_TRUE(IsAnsibleGroupName(group));
  const ExportResult r = WriteAnsiblePlaybook({{1, "A", "", false, 1}}, "g", ExportValues::kDisable);
  EXPECT_EQ(r.error, "item 1 (A, the default value): win_regedit writes a key's default value only "
                     "as a string, not a dword");
  EXPECT_EQ(r.bytes, "");
}

}  // namespace
}  // namespace vantrel::app
