// Writing saved values into a settings file's own text: what is changed, and every text that is
// left to a whole new file instead.
#include "app/settings_text.h"

#include <gtest/gtest.h>

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

TEST(SettingsTextTest, TextsItCannotChangeSafelyAreLeftToAWholeFile) {
  const struct {
    const char* name;
    std::string text;
    std::size_t values;
  } cases[] = {
      {"MoreValuesThanItems", Doc(kItem), 2},
      {"FewerValuesThanItems", Doc(kItem + kItem), 1},
      {"ItemWithoutSavedValue", Doc("<RegistryItem><KeyName>K</KeyName></RegistryItem>"), 1},
      {"TwoSavedValues",
       Doc("<RegistryItem><SavedValue>1</SavedValue><SavedValue>2</SavedValue></RegistryItem>"), 1},
      {"MarkupInSavedValue", Doc("<RegistryItem><SavedValue><b>1</b></SavedValue></RegistryItem>"),
       1},
      {"CommentInSavedValue",
       Doc("<RegistryItem><SavedValue>1<!-- x --></SavedValue></RegistryItem>"), 1},
      {"EmptyItem", Doc("<RegistryItem/>"), 0},
      {"DoctypeWithDeclarations", "<!DOCTYPE RegistryItems [<!ENTITY e \"1\">]>" + Doc(kItem), 1},
      {"OtherRoot", "<Items>" + kItem + "</Items>", 1},
      {"TwoRoots", Doc(kItem) + "<RegistryItems></RegistryItems>", 1},
      {"Unclosed", "<RegistryItems>" + kItem, 1},
      {"Mismatched", "<RegistryItems>" + kItem + "</RegistryItem>", 1},
      {"UnfinishedTag", Doc(kItem) + "<a", 1},
      {"UnfinishedComment", Doc(kItem) + "<!-- x", 1},
      {"Utf16", std::string("\xFF\xFE<\0R\0", 6), 0},
      {"Empty", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(WithSavedValues(c.text, std::vector<std::string>(c.values, "1")));
  }
}

}  // namespace
}  // namespace vantrel::app
