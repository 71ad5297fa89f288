#include "runtime/text/fixed_text.h"

#include <gtest/gtest.h>

#include "runtime/text/record_layout.h"

namespace vantrel {
namespace {

TEST(FixedText, AssignmentCutsOrPads) {
  FixedText<5> t;
  EXPECT_EQ(t.View(), "     ");
  t = "ab";
  EXPECT_EQ(t.View(), "ab   ");
  t = "abcdefg";
  EXPECT_EQ(t.View(), "abcde");
  t = "";
  EXPECT_TRUE(t.IsBlank());
}

TEST(FixedText, ComparisonIgnoresTrailingBlanksAndIsCaseSensitive) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"ab", "ab   ", 0},  {"", "   ", 0},      {"ab", "AB", 1},
      {"ab", "abc", -1},   {"ab", "ab\x01", 1}, {"ab", "ab \x01", 1},
      {"ab", "ab  x", -1}, {"\xe9", "z", 1},    {"a b", "a", 1},
  };
  for (const auto& c : cases) {
    const int r = CompareBlankPadded(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
    const int back = CompareBlankPadded(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign);
  }
  FixedText<20> n("N/A");
  EXPECT_TRUE(n == "N/A");
  EXPECT_FALSE(n == "n/a");
}

}  // namespace
}  // namespace vantrel
