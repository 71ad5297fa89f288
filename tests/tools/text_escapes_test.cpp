#include "tools/text_escapes.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel::tools {
namespace {

#define B(literal) std::string(literal, sizeof(literal) - 1)

TEST(TextEscapes, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string line = EscapeBytes(all);
  for (char c : line) {
    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(static_cast<unsigned char>(c));
  }
  EXPECT_EQ(UnescapeBytes(line), all);
}

TEST(TextEscapes, WritesAndReadsTheDocumentedForms) {
  EXPECT_EQ(EscapeBytes(B("a\0b\0\0")), "a\\x00b\\x00\\x00");
  EXPECT_EQ(EscapeBytes("C:\\x \xe8\x7f\t"), "C:\\\\x \\xe8\\x7f\\x09");
  EXPECT_EQ(UnescapeBytes("a\\x00b\\x00"), B("a\0b\0"));
  EXPECT_EQ(UnescapeBytes("\\xE8\\xe8"), "\xe8\xe8");
  EXPECT_EQ(UnescapeBytes("a\\\\x00"), "a\\x00");
  // A backslash that starts no escape is kept, so paths can be typed plainly.
  EXPECT_EQ(UnescapeBytes("C:\\Windows\\xg\\x4"), "C:\\Windows\\xg\\x4");
  EXPECT_EQ(UnescapeBytes("end\\"), "end\\");
}

}  // namespace
}  // namespace vantrel::tools
