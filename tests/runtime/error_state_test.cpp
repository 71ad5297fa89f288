#include "runtime/errors/error_state.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "runtime/errors/error_texts.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {
namespace {

using namespace vantrel::seam;

struct TextCase {
  std::int32_t code;
  const char* text;
};

TEST(ErrorTexts, CodesGiveTheirExactTexts) {
  const TextCase cases[] = {
      {2, "File Not Found"},
      {302, "File Not Found"},
      {0, "Unknown Error Posted"},
      {81, "Unknown Error Posted"},
      {350, "Not Supported "},
      {403, "Termination caused by signal.  (User break or Floating point)"},
      {6, "Unknown Error Posted : 6"},
      {-12, "Unknown Error Posted : -12"},
      {1015, "Not-omittable parameter of built-in function is omitted"},
      {545, "Attempt to execute a modal event for not current thread"},
      {53, "Invalid Corvane File"},
      {100, "Trigger Error"},
      {101, "Unknown Error Posted : 101"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorTextFor(c.code), c.text) << "code " << c.code;
}

TEST(ErrorTexts, TableHoldsOneHundredEightyOneSortedTexts) {
  const auto texts = BuiltInErrorTexts();
  ASSERT_EQ(texts.size(), 181u);
  for (std::size_t i = 1; i < texts.size(); ++i) EXPECT_LT(texts[i - 1].code, texts[i].code);
  // The six ranges, and nothing outside them.
  for (const auto& e : texts) {
    const bool inRange = (e.code >= 2 && e.code <= 100) || (e.code >= 301 && e.code <= 391) ||
                         (e.code >= 401 && e.code <= 412) || (e.code >= 501 && e.code <= 545) ||
                         (e.code >= 601 && e.code <= 605) || (e.code >= 1010 && e.code <= 1015);
    EXPECT_TRUE(inRange) << e.code;
  }
}

TEST(RuntimeError, SetStoresCodeAndText) {
  SetRuntimeError(30);
  EXPECT_EQ(RuntimeErrorCode(), 30);
  EXPECT_EQ(RuntimeErrorText(), "Entry Not Found");
  ClearRuntimeError();
  EXPECT_EQ(RuntimeErrorCode(), 0);
  EXPECT_EQ(RuntimeErrorText(), "");
}

TEST(RuntimeError, CodeZeroTakesTheOperatingSystemError) {
  SetRuntimeError(75);
  SetLastError(0);
  SetRuntimeError(0);
  EXPECT_EQ(RuntimeErrorCode(), 0) << "OS error 0 clears the state";

  SetLastError(5);
  SetRuntimeError(0);
  EXPECT_EQ(RuntimeErrorCode(), 305);
  EXPECT_EQ(RuntimeErrorText(), "Access Denied");
  EXPECT_EQ(RuntimeOsError(), 5u);

  SetLastError(2);
  SetRuntimeError(0);
  EXPECT_EQ(RuntimeErrorCode(), 302);
  EXPECT_EQ(RuntimeErrorText(), ErrorTextFor(2));
  SetLastError(0);
  ClearRuntimeError();
}

TEST(RuntimeError, StateBelongsToTheThread) {
  SetRuntimeError(8);
  std::int32_t seen = -1;
  std::thread([&] { seen = RuntimeErrorCode(); }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(RuntimeErrorCode(), 8);
  ClearRuntimeError();
}

TEST(RuntimeError, ReplacementTextsWinFromTheHeadAndAreTrimmedOnSet) {
  AddReplacementErrorText(30, "Older replacement");
  AddReplacementErrorText(30, "   Newest replacement");
  AddReplacementErrorText(6, std::string(300, 'x'));
  EXPECT_EQ(ErrorTextFor(30), "   Newest replacement");
  SetRuntimeError(30);
  EXPECT_EQ(RuntimeErrorText(), "Newest replacement") << "leading blanks are skipped";
  EXPECT_EQ(ErrorTextFor(6).size(), 255u);
  SetRuntimeError(6);
  EXPECT_EQ(RuntimeErrorText().size(), 255u);
  ClearReplacementErrorTexts();
  EXPECT_EQ(ErrorTextFor(30), "Entry Not Found");
  ClearRuntimeError();
}

}  // namespace
}  // namespace vantrel
