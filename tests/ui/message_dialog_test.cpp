#include "runtime/dialog/message_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/headless/headless.h"

namespace vantrel::ui {
namespace {

class MessageDialogTest : public ::testing::Test {
 protected:
  MessageDialogTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    screen = backend.get();
    engine = std::make_unique<Engine>(std::move(backend));
  }
  const ShownDialog& Last() const { return screen->Dialogs().back(); }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const MessageButtonLayout& b : Last().layout.buttons) out.push_back(b.caption);
    return out;
  }
  std::vector<int> Ids() const {
    std::vector<int> out;
    for (const MessageButtonLayout& b : Last().layout.buttons) out.push_back(b.id);
    return out;
  }
  // Index of the button carrying the default mark, -1 for none.
  int DefaultIndex() const {
    const auto& buttons = Last().layout.buttons;
    int found = -1;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i].isDefault) {
        EXPECT_EQ(found, -1) << "two default buttons";
        found = static_cast<int>(i);
        EXPECT_EQ(buttons[i].style, kDefaultPushButtonStyle);
      } else {
        EXPECT_EQ(buttons[i].style, kPushButtonStyle);
      }
    }
    return found;
  }
  HeadlessBackend* screen = nullptr;
  std::unique_ptr<Engine> engine;
};

struct ButtonCase {
  const char* buttons;
  int defaultButton;
  std::vector<std::string> captions;
  std::vector<int> ids;
  int defaultIndex;  // -1: no button marked
  int focus;
  DialogAnswer answer;
  int result;
};

TEST_F(MessageDialogTest, ButtonModesCaptionsDefaultsAndResults) {
  const ButtonCase cases[] = {
      // The main window's questions: Yes and No, neither marked, focus on Yes.
      {"6", 0, {"&Yes", "&No"}, {6, 7}, -1, 0, DialogAnswer::Enter(), 2},
      {"6", 0, {"&Yes", "&No"}, {6, 7}, -1, 0, DialogAnswer::Button(7), 4},
      {"6  ", 4, {"&Yes", "&No"}, {6, 7}, 1, 1, DialogAnswer::Enter(), 4},
      // No buttons: OK alone, marked.
      {"", 0, {"OK"}, {1}, 0, 0, DialogAnswer::Enter(), 1},
      // Table order whatever the bits' order; the default is the lowest bit of the default value.
      {"193", 192, {"OK", "Cancel", "&Help"}, {1, 2, 9}, 1, 1, DialogAnswer::Escape(), 64},
      {"255",
       0,
       {"OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "Cancel", "&Help"},
       {1, 6, 7, 3, 4, 5, 2, 9},
       0,
       0,
       DialogAnswer::Button(4),
       16},
      // A default sharing no bit with the set falls to OK, shown here.
      {"33", 4, {"OK", "&Ignore"}, {1, 5}, 0, 0, DialogAnswer::Button(5), 32},
      // Bits the table does not have: OK alone rather than a box nothing can close.
      {"256", 0, {"OK"}, {1}, 0, 0, DialogAnswer::Enter(), 1},
      // Caption lists: positions are the results; a standard caption takes its identifier.
      {"Go|Cancel|Stop",
       0,
       {"Go", "Cancel", "Stop"},
       {256, 2, 257},
       0,
       0,
       DialogAnswer::Escape(),
       2},
      {"Go|Cancel|Stop",
       5,
       {"Go", "Cancel", "Stop"},
       {256, 2, 257},
       0,
       0,
       DialogAnswer::Button(257),
       3},
      {"Go|Cancel|Stop",
       3,
       {"Go", "Cancel", "Stop"},
       {256, 2, 257},
       2,
       2,
       DialogAnswer::Enter(),
       3},
      {"||A||&No|", 2, {"A", "&No"}, {256, 7}, 1, 1, DialogAnswer::Button(7), 2},
      {"|||", 0, {"OK"}, {1}, 0, 0, DialogAnswer::Enter(), 1},
      {"1|2|3|4|5|6|7|8|9",
       9,
       {"1", "2", "3", "4", "5", "6", "7", "8"},
       {256, 257, 258, 259, 260, 261, 262, 263},
       0,
       0,
       DialogAnswer::Position(8),
       8},
      // A list is a list even when it starts with a digit.
      {"1|OK", 2, {"1", "OK"}, {256, 1}, 1, 1, DialogAnswer::Enter(), 2},
  };
  for (const ButtonCase& c : cases) {
    SCOPED_TRACE(std::string("buttons '") + c.buttons + "' default " +
                 std::to_string(c.defaultButton));
    screen->AnswerDialog(c.answer);
    const int result = ShowMessage("Text", "Caption", {}, c.buttons, c.defaultButton);
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_EQ(Ids(), c.ids);
    EXPECT_EQ(DefaultIndex(), c.defaultIndex);
    EXPECT_EQ(Last().layout.focus, c.focus);
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(Last().scripted);
  }
}

TEST_F(MessageDialogTest, EscapeIsIgnoredWithoutACancelButton) {
  screen->AnswerDialog(DialogAnswer::Escape());
  screen->AnswerDialog(DialogAnswer::Button(64));  // no such control either
  screen->AnswerDialog(DialogAnswer::Caption("&No"));
  EXPECT_EQ(ShowMessage("Sure?", "Vantrel", kIconQuestion, "6", 0), 4);
  EXPECT_FALSE(Last().layout.EscapeCloses());
  EXPECT_EQ(screen->Dialogs().size(), 1u);
}

TEST_F(MessageDialogTest, ResourceTextsReplaceStandardCaptions) {
  screen->SetResourceString(kButtonResourceBase + 6, "Odustani");  // Cancel
  screen->SetResourceString(kButtonResourceBase + 0, "U redu");    // OK
  screen->AnswerDialog(DialogAnswer::Escape());
  EXPECT_EQ(ShowMessage("x", "", {}, "65", 0), 64);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"U redu", "Odustani"}));
  // In a caption list the match is on the standard caption; the shown text is the resource's.
  screen->AnswerDialog(DialogAnswer::Escape());
  EXPECT_EQ(ShowMessage("x", "", {}, "Cancel|Odustani", 0), 1);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Odustani", "Odustani"}));
  EXPECT_EQ(Ids(), (std::vector<int>{2, 256}));
}

TEST_F(MessageDialogTest, QuestionLayoutFromTheFontMetrics) {
  screen->AnswerDialog(DialogAnswer::Enter());
  ShowMessage("Are you sure you want to disable Vantrel?", "Vantrel", kIconQuestion, "6", 0);
  const MessageLayout& l = Last().layout;
  // Tahoma 8 in the headless metrics is 6 x 13; every measure rounds up.
  EXPECT_EQ(l.averageChar, (PixelSize{6, 13}));
  EXPECT_EQ(l.measures.margin, 8);  // 7.5
  EXPECT_EQ(l.measures.buttonWidth, 75);
  EXPECT_EQ(l.measures.buttonHeight, 23);  // 22.75
  EXPECT_EQ(l.measures.buttonGap, 8);
  EXPECT_EQ(l.measures.gapBelow, 9);  // 8.125
  EXPECT_EQ(l.measures.minTextWidth, 300);
  EXPECT_EQ(l.measures.minTextHeight, 74);  // 73.125
  EXPECT_EQ(l.caption, "Vantrel");
  EXPECT_TRUE(l.hasIcon);
  EXPECT_EQ(l.systemIcon, 32514);  // IDI_QUESTION
  EXPECT_EQ(l.wrapWidth, 640);     // half the 1280-pixel work area
  // 41 characters of 6 pixels, plus 10; the text area adds the margins and has its minimum height.
  EXPECT_EQ(l.textArea, (PixelRect{0, 0, 272, 74}));
  EXPECT_EQ(l.iconRect, (PixelRect{8, 21, 32, 32}));
  EXPECT_EQ(l.textRect, (PixelRect{48, 30, 256, 13}));
  EXPECT_EQ(l.textClass, "STATIC");
  EXPECT_EQ(l.textStyle, kStaticTextStyle);
  EXPECT_EQ(l.dialogStyle, 0x90C801C0u);
  ASSERT_EQ(l.buttons.size(), 2u);
  EXPECT_EQ(l.buttons[0].rect, (PixelRect{81, 74, 75, 23}));
  EXPECT_EQ(l.buttons[1].rect, (PixelRect{164, 74, 75, 23}));
  EXPECT_EQ(l.client, (PixelSize{320, 106}));
  // Centred on the work area (no main frame), the frame adding its borders.
  EXPECT_EQ(Last().frame, (PixelRect{(1280 - 326) / 2, (984 - 131) / 2, 326, 131}));
}

TEST_F(MessageDialogTest, BarsBreakLinesAndAmpersandsStay) {
  ShowMessage("First line|Second & last", "Error", kIconExclamation);
  const ShownDialog& d = Last();
  EXPECT_EQ(d.layout.text, "First line\r\nSecond & last");
  EXPECT_EQ(d.textLines, (std::vector<std::string>{"First line", "Second & last"}));
  EXPECT_EQ(d.layout.textRect.height, 26);
  EXPECT_EQ(d.layout.textRect.width, 13 * 6 + 10);
  EXPECT_EQ(d.layout.systemIcon, 32515);  // IDI_EXCLAMATION
  EXPECT_FALSE(d.scripted);               // nothing scripted: Enter on the focused OK
  EXPECT_EQ(d.endedBy, 1);
}

TEST_F(MessageDialogTest, FixedPitchChangesOnlyTheTextFont) {
  ShowMessage("0123456789", "", {}, "", 0, kMessageFixedPitch);
  const MessageLayout& l = Last().layout;
  EXPECT_EQ(l.textFont, (MessageFont{"Courier New", 8}));
  EXPECT_EQ(l.dialogFont, (MessageFont{"Tahoma", 8}));
  EXPECT_EQ(l.textRect.width, 10 * 7 + 10);  // Courier New is 7 pixels wide here
  EXPECT_EQ(l.measures.buttonWidth, 75);     // buttons measured in the dialog font

  screen->SetDialogFontOption(true);
  ShowMessage("0123456789");
  EXPECT_EQ(Last().layout.dialogFont, (MessageFont{"MS Shell Dlg", 8}));
  EXPECT_EQ(Last().layout.textFont, (MessageFont{"MS Shell Dlg", 8}));
}

TEST_F(MessageDialogTest, LongTextWrapsAtHalfTheWorkArea) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "word ";
  ShowMessage(text);
  const MessageLayout& l = Last().layout;
  EXPECT_LE(l.textRect.width, 640 + 10);
  EXPECT_GT(l.textRect.height, 984 / 2);  // a static text simply grows
  EXPECT_FALSE(l.scrolls);
  // Each wrapped line is at most the wrap width.
  for (const std::string& line : Last().textLines)
    EXPECT_LE(static_cast<int>(line.size()) * 6, 640);
}

TEST_F(MessageDialogTest, SelectableLongTextIsCutToHalfTheWorkAreaAndScrolls) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "word ";
  ShowMessage(text, "Log", {}, "", 0, kMessageSelectableText);
  const MessageLayout& l = Last().layout;
  EXPECT_TRUE(l.scrolls);
  EXPECT_EQ(l.textRect.height, 984 / 2);
  EXPECT_EQ(l.textClass, "EDIT");
  EXPECT_EQ(l.textStyle, kEditTextStyle | kVerticalScrollStyle);
  const int unwrappedWidth = l.textRect.width - 17;  // the scroll bar's width was added
  EXPECT_LE(unwrappedWidth, 640 + 10);
  // A short selectable text does not scroll.
  ShowMessage("short", "Log", {}, "", 0, kMessageSelectableText);
  EXPECT_FALSE(Last().layout.scrolls);
  EXPECT_EQ(Last().layout.textStyle, kEditTextStyle);
}

TEST_F(MessageDialogTest, NarrowWorkAreaAndMinimumWidth) {
  screen->SetWorkArea({0, 0, 400, 300});
  std::string text(100, 'x');
  text += " tail";
  ShowMessage(text);
  // Half of 400 is below the 300-pixel minimum, which is capped at two thirds (266).
  EXPECT_EQ(Last().layout.wrapWidth, 266);
  // The 100-character word stays whole and widens the text.
  EXPECT_EQ(Last().layout.textRect.width, 600 + 10);
  // Placed inside the work area although it is wider: the left edge wins.
  EXPECT_EQ(Last().frame.x, 0);
}

TEST_F(MessageDialogTest, AWideButtonRowWidensTheDialog) {
  ShowMessage("x", "", kIconHand, "255", 0);
  const MessageLayout& l = Last().layout;
  const int row = 8 * 75 + 7 * 8;
  EXPECT_EQ(l.client.width, row + l.textRect.x + 2 * 8);
  EXPECT_EQ(l.buttons.front().rect.x, (l.client.width - row) / 2);
  // Captions wider than the standard width widen every button of the list.
  ShowMessage("x", "", {}, "A rather long caption|B", 0);
  EXPECT_EQ(Last().layout.buttons[1].rect.width, 21 * 6 + 16);
}

TEST_F(MessageDialogTest, StyleBitsAndNamedIcons) {
  ShowMessage("x", "", "Vantrel.ico", "", 0, kMessageSystemModal);
  EXPECT_EQ(Last().layout.dialogStyle, 0x90C801C2u);
  EXPECT_EQ(Last().layout.iconName, "Vantrel.ico");
  EXPECT_EQ(Last().layout.systemIcon, 0);
  ShowMessage("x", "Caption   ", "   ", "", 0, 0);
  EXPECT_FALSE(Last().layout.hasIcon);  // blanks only: no icon
  EXPECT_EQ(Last().layout.caption, "Caption");
}

int gHookCalls = 0;
std::string gHookSeen;
int TestHook(std::string_view text, std::string_view caption, std::string_view icon,
             std::string_view buttons, int defaultButton, int style) {
  ++gHookCalls;
  gHookSeen = std::string(text) + "/" + std::string(caption) + "/" + std::string(icon) + "/" +
              std::string(buttons) + "/" + std::to_string(defaultButton) + "/" +
              std::to_string(style);
  return 77;
}

TEST_F(MessageDialogTest, TheHookTakesEveryEntryPointUnchanged) {
  SetMessageHook(&TestHook);
  EXPECT_EQ(ShowMessage("Text  ", "Cap", kIconQuestion, "6", 2, 4), 77);
  EXPECT_EQ(gHookSeen, std::string("Text  /Cap/") + std::string(kIconQuestion) + "/6/2/4");
  EXPECT_EQ(ShowMessageZ("plain", nullptr, nullptr, "1", 1, 0), 77);
  EXPECT_EQ(gHookSeen, "plain///1/1/0");
  EXPECT_EQ(ShowMessageBrief("brief"), 77);
  EXPECT_EQ(gHookSeen, "brief////0/0");
  EXPECT_EQ(gHookCalls, 3);
  EXPECT_TRUE(screen->Dialogs().empty());
  SetMessageHook(nullptr);
  EXPECT_EQ(ShowMessageBrief("shown", "Notice"), 1);
  EXPECT_EQ(Last().layout.caption, "Notice");
  screen->AnswerDialog(DialogAnswer::Escape());
  EXPECT_EQ(ShowMessageZ("z", nullptr, nullptr, "Cancel|Other", 2, 0), 1);
  EXPECT_EQ(Last().layout.caption, "");
}

TEST(MessagePlacement, CentresOnTheMainFrameOrTheOwnersPartOfTheWorkArea) {
  const PixelRect work{0, 0, 1000, 700};
  const PixelSize size{200, 100};
  const PixelRect main{100, 100, 400, 300};
  EXPECT_EQ(PlaceMessageDialog(size, work, &main, nullptr), (PixelRect{200, 200, 200, 100}));
  // An owner half off the screen: centred on the part inside the work area.
  const PixelRect owner{800, 600, 400, 300};
  EXPECT_EQ(PlaceMessageDialog(size, work, nullptr, &owner), (PixelRect{800, 600, 200, 100}));
  // A main frame near the edge: pushed back inside.
  const PixelRect edge{900, 650, 100, 50};
  EXPECT_EQ(PlaceMessageDialog(size, work, &edge, nullptr), (PixelRect{800, 600, 200, 100}));
  EXPECT_EQ(PlaceMessageDialog(size, work, nullptr, nullptr), (PixelRect{400, 300, 200, 100}));
}

}  // namespace
}  // namespace vantrel::ui
