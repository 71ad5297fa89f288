#include "runtime/text/picture.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

const std::string kDec10 = std::to_string(DateNumber(2026, 12, 10));
const std::string kJan5 = std::to_string(DateNumber(2027, 1, 5));
const std::string k134510 = std::to_string(TimeNumber(13, 45, 10));
const std::string k090503 = std::to_string(TimeNumber(9, 5, 3));

TEST(Picture, StoredFormsOfDatesAndTimes) {
  EXPECT_EQ(DateNumber(1801, 1, 1), 4);
  EXPECT_EQ(DateNumber(1900, 3, 1) - DateNumber(1900, 2, 28), 1);  // 1900 is no leap year
  EXPECT_EQ(DateNumber(2000, 2, 29) + 1, DateNumber(2000, 3, 1));
  EXPECT_EQ(DateNumber(2026, 2, 29), 0);
  EXPECT_EQ(DateNumber(1800, 12, 31), 0);
  EXPECT_EQ(TimeNumber(0, 0, 0), 1);
  EXPECT_EQ(TimeNumber(23, 59, 59, 99), 8640000);
  EXPECT_EQ(TimeNumber(24, 0, 0), 0);
}

// Each kind both ways: value -> text, and text -> value where the text reads back.
TEST(Picture, FormatsAndReadsBack) {
  struct Case {
    const char* picture;
    std::string value;
    std::string text;
    std::string readBack;  // what the text de-formats to
  };
  const Case cases[] = {
      {"@s5", "ab", "ab   ", "ab   "},
      {"@S3", "abcdef", "abc", "abc"},
      {"s200", "Key Name", "Key Name" + std::string(192, ' '), "Key Name" + std::string(192, ' ')},
      {"@n11", "1234567", "    1234567", "1234567"},
      {"@n11", "-42", "        -42", "-42"},
      {"@n,11", "1234567", "  1,234,567", "1234567"},
      {"@n-,14.2", "-1234567.005", " -1,234,567.01", "-1234567.01"},
      {"@n8.2", "0.285", "    0.29", "0.29"},
      {"@n6.1", "-0.04", "   0.0", "0.0"},  // no "-0"
      {"@n(10.2", "-12.5", "   (12.50)", "-12.50"},
      {"@n+6", "7", "    +7", "7"},
      {"@n+6", "0", "     0", "0"},
      {"@n+011", "-12", "-0000000012", "-12"},
      {"N02", "5", "05", "5"},
      {"@n4", "99999", "####", ""},  // does not fit
      {"@n6", "", "     0", "0"},
      {"D17", kDec10, "12/10/2026", kDec10},
      {"D17", kJan5, " 1/ 5/2027", kJan5},
      {"d017", kJan5, "01/05/2027", kJan5},
      {"D010-", kJan5, "2027-01-05", kJan5},
      {"@d1", kDec10, "12/10/26", kDec10},
      {"@D3", kJan5, "Jan  5, 2027", kJan5},
      {"@D4", kDec10, "December 10, 2026", kDec10},
      {"@d06.", kJan5, "05.01.2027", kJan5},
      {"@D8_", kJan5, " 5 Jan 2027", kJan5},
      {"@d11", kJan5, "27 1 5", kJan5},
      {"@d012", kJan5, "20270105", kJan5},
      {"@d14", kJan5, " 1/2027", std::to_string(DateNumber(2027, 1, 1))},
      {"D17", "0", "", ""},
      {"T8", k090503, " 9:05:03", k090503},
      {"t07", k134510, "13:45", std::to_string(TimeNumber(13, 45, 0))},
      {"T04", k090503, "09:05:03", k090503},
      {"@t02", k090503, "0905", std::to_string(TimeNumber(9, 5, 0))},
      {"@T6", k134510, " 1:45:10PM", k134510},
      {"@t06", std::to_string(TimeNumber(0, 30, 0)), "12:30:00AM",
       std::to_string(TimeNumber(0, 30, 0))},
      {"@T4.", k134510, "13.45.10", k134510},
      {"T8", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.picture) + " " + c.value);
    EXPECT_TRUE(IsPicture(c.picture));
    EXPECT_EQ(FormatPicture(c.picture, c.value), c.text);
    if (c.text.find('#') != std::string::npos) {
      EXPECT_FALSE(DeformatPicture(c.picture, c.text).has_value());
    } else {
      EXPECT_EQ(DeformatPicture(c.picture, c.text), c.readBack);
    }
  }
}

TEST(Picture, OddInputs) {
  // Texts typed by hand rather than formatted.
  struct Read {
    const char* picture;
    const char* text;
    std::optional<std::string> value;
  };
  const Read reads[] = {
      {"@n10", " 1,234 ", "1234"},
      {"@n10", "(5)", "-5"},
      {"@n10", "5-", "-5"},
      {"@n10", "+0007", "7"},
      {"@n10", ".5", "0.5"},
      {"@n10", "12a", std::nullopt},
      {"@n10", "1.2.3", std::nullopt},
      {"@n10", "(-5)", std::nullopt},
      {"@n10", "-", std::nullopt},
      {"@n10", "   ", ""},
      {"D17", "1/5/2027", kJan5},
      {"d017", "2/29/2026", std::nullopt},
      {"d017", "13/01/2026", std::nullopt},
      {"D010-", "2027/01/05", std::nullopt},  // the picture's own separator only
      {"D010-", "2027-01-05x", std::nullopt},
      {"@D3", "january 5, 2027", kJan5},
      {"@D3", "Jax 5, 2027", std::nullopt},
      {"@d1", "1/5/49", std::to_string(DateNumber(2049, 1, 5))},
      {"@d1", "1/5/50", std::to_string(DateNumber(1950, 1, 5))},
      {"@t02", "945", std::to_string(TimeNumber(9, 45, 0))},
      {"T8", "24:00:00", std::nullopt},
      {"T8", "9:61:00", std::nullopt},
      {"@T3", "13:00PM", std::nullopt},
      {"@T3", "12:00", std::nullopt},
  };
  for (const Read& r : reads) {
    SCOPED_TRACE(std::string(r.picture) + " '" + r.text + "'");
    EXPECT_EQ(DeformatPicture(r.picture, r.text), r.value);
  }
  // Values a picture cannot read are shown as they are.
  EXPECT_EQ(FormatPicture("@n6", "abc"), "abc   ");
  EXPECT_EQ(FormatPicture("@n2", "abcdef"), "ab");
  EXPECT_EQ(FormatPicture("D17", "x1"), "x1");
  EXPECT_EQ(FormatPicture("D17", "3"), "3");  // before 1801
  EXPECT_EQ(FormatPicture("T8", "8640002"), "8640002");
  // Not pictures: the value passes both ways unchanged.
  for (const char* bad :
       {"", "@", "@x5", "@s", "@n0", "@n", "@n5.", "D18", "D0", "T9", "@s5x", "@n,-5"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsPicture(bad));
    EXPECT_EQ(FormatPicture(bad, " v "), " v ");
    EXPECT_EQ(DeformatPicture(bad, " v "), " v ");
  }
}

}  // namespace
}  // namespace vantrel
