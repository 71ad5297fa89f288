// The application's two item tables as record layouts: field names, sizes and offsets.
#include "app/item_tables.h"

#include <gtest/gtest.h>

#include "runtime/text/record_layout.h"

namespace vantrel::app {
namespace {

TEST(RecordLayout, FieldNamePrefersTheExternalName) {
  EXPECT_EQ(FieldName(kXmlLayout, 1), "KeyName");
  EXPECT_EQ(FieldName(kXmlLayout, 5), "EnableValue");
  EXPECT_EQ(FieldName(kXmlLayout, 6), "");
  EXPECT_EQ(FieldName(kXmlLayout, 0), "");
  EXPECT_EQ(FieldName(kDisplayLayout, 2), "LRI:KEYNAME_STYLE");
  EXPECT_EQ(FieldName(kDisplayLayout, 12), "LRI:ENABLEVALUE_STYLE");
  EXPECT_EQ(FieldName(kDisplayLayout, 13), "");
  EXPECT_EQ(kXmlLayout.recordSize, 360u);
  EXPECT_EQ(kDisplayLayout.recordSize, 404u);
  EXPECT_EQ(kDisplayLayout.Field(5)->offset, 308u);
  EXPECT_EQ(kDisplayLayout.Field(6)->type, FieldType::Long);
}

}  // namespace
}  // namespace vantrel::app
