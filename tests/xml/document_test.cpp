#include <gtest/gtest.h>

#include <string>

#include "xml/document.h"

namespace vantrel::xml {
namespace {

// The value record i gets: mostly short, some empty, now and then longer than a value may be.
std::string ValueFor(int i) {
  const std::size_t length = i % 997 == 0 ? kValueMax + 5 : static_cast<std::size_t>(i % 23);
  std::string v(length, static_cast<char>('a' + i % 26));
  if (!v.empty()) v.front() = static_cast<char>('0' + i % 10);
  return v;
}

// Records are kept in blocks and their values in an arena of blocks, each record pointing into
// the arena relative to where its record block began: every value must come back whole, across
// as many block edges of either kind as a few hundred thousand records give.
TEST(DocumentTest, ValuesComeBackAcrossRecordAndArenaBlocks) {
  Document doc;
  const PathId a = doc.Child(kRootPath, "a");
  const PathId b = doc.Child(a, "b");
  constexpr int kCount = 300000;
  for (int i = 0; i < kCount; ++i) ASSERT_TRUE(doc.Append(i % 3 ? b : a, ValueFor(i)));
  ASSERT_EQ(doc.Records(), kCount);
  for (int i = 0; i < kCount; ++i) {
    const std::string want = ValueFor(i).substr(0, kValueMax);
    ASSERT_EQ(doc.Value(i + 1), want) << i;
    ASSERT_EQ(doc.PathOf(i + 1), i % 3 ? b : a) << i;
  }
  // An empty value is still a valid (non-null) text.
  EXPECT_NE(doc.Value(24).data(), nullptr);
  EXPECT_TRUE(doc.Value(24).empty());

  static DocumentRecord image;
  doc.ReadRecord(998, &image);
  EXPECT_EQ(std::string(image.ELEMENT[0]), "a");
  EXPECT_EQ(std::string(image.ELEMENT[1]), "b");
  EXPECT_EQ(std::string(image.V1), ValueFor(997).substr(0, kValueMax));

  doc.Clear();
  EXPECT_EQ(doc.Records(), 0);
  ASSERT_TRUE(doc.Append(doc.Child(kRootPath, "c"), "after"));
  EXPECT_EQ(doc.Value(1), "after");
}

}  // namespace
}  // namespace vantrel::xml
