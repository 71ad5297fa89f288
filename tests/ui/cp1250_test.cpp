#include "ui/cp1250.h"

#include <gtest/gtest.h>

namespace vantrel::ui {
namespace {

TEST(Cp1250, CroatianTextBothWays) {
  // "Ključ tablice" and "Greška" as the error table holds them.
  const std::string single = "Klju\xE8 tablice, Gre\x9Aka, \x8E\x9E\xC6\xE6\xD0\xF0";
  const std::string utf8 = "Ključ tablice, Greška, ŽžĆćĐđ";
  EXPECT_EQ(Cp1250ToUtf8(single), utf8);
  EXPECT_EQ(Utf8ToCp1250(utf8), single);
  EXPECT_EQ(Cp1250ToUtf8("\x80\x81"), "€\xC2\x81");  // an unassigned byte keeps its C1 number
  EXPECT_EQ(Utf8ToCp1250("€\xC2\x81"), "\x80\x81");
}

TEST(Cp1250, EveryByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
}

TEST(Cp1250, WhatTheCodePageLacksBecomesAQuestionMark) {
  EXPECT_EQ(Utf8ToCp1250("日本"), "??");
  EXPECT_EQ(Utf8ToCp1250("a\xC3"), "a?");    // cut short
  EXPECT_EQ(Utf8ToCp1250("a\xC3x"), "a?x");  // not a continuation byte
  EXPECT_EQ(Utf8ToCp1250("\xFF"
                         "b"),
            "?b");
  EXPECT_EQ(Utf8ToCp1250("😀"), "?");
}

}  // namespace
}  // namespace vantrel::ui
