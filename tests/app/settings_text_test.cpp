// Writing saved values into a settings file's own text: what is changed, and every text that is
// left to a whole new file instead.
#include "app/settings_text.h"

#include <gtest/gtest.h>

#include "runtime/text/ansi_text.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::app {
namespace {

const std::string kItem =
    "<RegistryItem><KeyName>K</KeyName><SavedValue>0</SavedValue></RegistryItem>";

std::string Doc(const std::string& items) {
  return "<?xml version=\"1.0\"?><RegistryItems>" + items + "</RegistryItems>";
}

TEST(SettingsTextTest, ChangesOnlyTheSavedValues) {
  const std::string text =
      "<?xml version=\"1.0\"?>\r\n<!-- <SavedValue>x</SavedValue> -->\r\n"
      "<RegistryItems a=\"<>\">" +
      kItem +
      "\r\n  <Other><SavedValue>9</SavedValue></Other>"
      "<RegistryItem><SavedValue/><Deep><SavedValue>8</SavedValue></Deep></RegistryItem>"
      "</RegistryItems>\r\n";
  const auto changed = WithSavedValues(text, {"N/A", "1&2"});
  ASSERT_TRUE(changed);
  std::string expected = text;
  expected.replace(expected.find("<SavedValue>0<"), 14, "<SavedValue>N/A<");
  expected.replace(expected.find("<SavedValue/>"), 13, "<SavedValue>1&amp;2</SavedValue>");
  EXPECT_EQ(*changed, expected);
}

// A reader drops tab and line breaks from text as layout, so they go in as references; letters
// above 0x7F go in as the program's bytes, or as UTF-8 for a file read as UTF-8.
TEST(SettingsTextTest, ValuesGoInAsTheFileIsRead) {
  const std::vector<std::string> values = {"a\tb\r\n<&>", "\x9A"};
  const std::string text = Doc(kItem + kItem);
  std::string expected = text;
  expected.replace(expected.find(">0<"), 3, ">a&#9;b&#13;&#10;&lt;&amp;&gt;<");
  std::string bytes = expected;
  bytes.replace(bytes.find(">0<"), 3, ">\x9A<");
  EXPECT_EQ(WithSavedValues(text, values), bytes);
  std::string utf8 = expected;
  utf8.replace(utf8.find(">0<"), 3, ">" + AnsiToUtf8("\x9A") + "<");
  EXPECT_EQ(WithSavedValues(text, values, LetterForm::kUtf8), utf8);
}

TEST(SettingsTextTest, TextsItCannotChangeSafelyAreLeftToAWholeFile) {
  const struct {
    const char* name;
    std::string text;
    std::size_t values;
    const char* why;  // what the caller is told
  } cases[] = {
      {"MoreValuesThanItems", Doc(kItem), 2, "the number of its items is not the list's"},
      {"FewerValuesThanItems", Doc(kItem + kItem), 1, "the number of its items is not the list's"},
      {"ItemWithoutSavedValue", Doc("<RegistryItem><KeyName>K</KeyName></RegistryItem>"), 1,
       "an item has no SavedValue element"},
      {"TwoSavedValues",
       Doc("<RegistryItem><SavedValue>1</SavedValue><SavedValue>2</SavedValue></RegistryItem>"), 1,
       "an item has two SavedValue elements"},
      {"MarkupInSavedValue", Doc("<RegistryItem><SavedValue><b>1</b></SavedValue></RegistryItem>"),
       1, "a SavedValue holds markup"},
      {"CommentInSavedValue",
       Doc("<RegistryItem><SavedValue>1<!-- x --></SavedValue></RegistryItem>"), 1,
       "a SavedValue holds a comment"},
      {"EmptyItem", Doc("<RegistryItem/>"), 0, "an item has no SavedValue element"},
      {"DoctypeWithDeclarations", "<!DOCTYPE RegistryItems [<!ENTITY e \"1\">]>" + Doc(kItem), 1,
       "its document type declares entities of its own"},
      {"OtherRoot", "<Items>" + kItem + "</Items>", 1, "its root element is not one RegistryItems"},
      {"TwoRoots", Doc(kItem) + "<RegistryItems></RegistryItems>", 1,
       "its root element is not one RegistryItems"},
      {"Unclosed", "<RegistryItems>" + kItem, 1, "its elements are not all closed"},
      {"Mismatched", "<RegistryItems>" + kItem + "</RegistryItem>", 1,
       "an end tag does not match its start tag"},
      {"UnfinishedTag", Doc(kItem) + "<a", 1, "it holds a tag that does not end"},
      {"UnfinishedComment", Doc(kItem) + "<!-- x", 1, "it holds markup that does not end"},
      {"Utf16", std::string("\xFF\xFE<\0R\0", 6), 0, "it is UTF-16 text"},
      {"Empty", "", 0, "it has no RegistryItems element"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    EXPECT_FALSE(
        WithSavedValues(c.text, std::vector<std::string>(c.values, "1"), LetterForm::kBytes, &why));
    EXPECT_EQ(why, c.why);
  }
}

}  // namespace
}  // namespace vantrel::app
