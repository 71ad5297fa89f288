#include <gtest/gtest.h>

#include <regex>

#include "runtime/system/local_time.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

TEST(XmlErrors, CodesGiveTheirTexts) {
  const struct {
    std::int16_t code;
    const char* text;
  } cases[] = {
      {2, "File not found."},      {5, "Access Denied."},
      {45, "Invalid File Name."},  {1000, "Error Parsing Document."},
      {1005, "Node Not Found."},   {1007, "Cannot restore state. State never saved."},
      {1012, "Parent Not Found."}, {1056, "Unable to Open Binary File."},
      {1008, "Error: 1008"},       {-3, "Error: -3"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

TEST(XmlErrors, CodeZeroOrUseLastErrorGiveTheLastError) {
  Reset();
  EXPECT_EQ(FindNode("nothing"), 1005);
  EXPECT_EQ(ErrorText(0, false), "Node Not Found.");
  EXPECT_EQ(ErrorText(2, true), "Node Not Found.");
  Reset();
  EXPECT_EQ(ErrorText(0), "Error: 0");
}

TEST(XmlErrors, Iso8601StampFollowsTheBiasRules) {
  const LocalTime t{2011, 5, 4, 13, 45, 10, 0};
  using Z = TimeZoneBias;
  const struct {
    TimeZoneBias zone;
    const char* text;
  } cases[] = {
      {{Z::kStandard, -60, 0, -60, true}, "2011-05-04T13:45:10+01:00"},
      {{Z::kDaylight, -60, 0, -60, true}, "2011-05-04T13:45:10+02:00"},
      {{Z::kDaylight, -60, 0, -60, false}, "2011-05-04T13:45:10+01:00"},
      {{Z::kUnknown, 300, 0, -60, true}, "2011-05-04T13:45:10-05:00"},
      {{Z::kStandard, -330, 0, 0, false}, "2011-05-04T13:45:10+05:30"},
      {{Z::kUnknown, 0, 0, 0, false}, "2011-05-04T13:45:10+00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatIso8601(t, c.zone), c.text);
  EXPECT_TRUE(std::regex_match(Iso8601Stamp(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));
}

TEST(XmlErrors, Base64DecodeSkipsWhatIsNotInTheAlphabet) {
  const struct {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TW\r\nF u\t", "Man"},
      {"TWE", "Ma"},
      {"TQ", "M"},
      {"T", ""},
      {"QQ==QQ==", "AA"},
      {"AP8A/w==", std::string("\0\xFF\0\xFF", 4)},
      {"+/+/", "\xFB\xFF\xBF"},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace vantrel::xml
