// The message dialog: a modal box with a text, an optional icon and a row of buttons, built by the
// program itself so that it controls fonts, captions, sizes and placement.
//
// The dialog's layout is a pure function of the request and the font metrics; showing it goes
// through the presenter that the active window-engine backend installs for the thread.
#pragma once

#include <string_view>

#include "runtime/dialog/message_layout.h"

namespace vantrel {

// Button bits; a set is their sum and the dialog returns the bit of the button pressed.
enum MessageButton : int {
  kButtonOk = 1,
  kButtonYes = 2,
  kButtonNo = 4,
  kButtonAbort = 8,
  kButtonRetry = 16,
  kButtonIgnore = 32,
  kButtonCancel = 64,
  kButtonHelp = 128,
};

// Style flags.
enum MessageStyle : int {
  kMessageSystemModal = 1,
  kMessageSelectableText = 2,
  kMessageFixedPitch = 4,
};

// System icons named by text: 0xFF 0x01 then the system icon identifier plus one, little-endian.
inline constexpr std::string_view kIconHand{"\xFF\x01\x02\x7F", 4};
inline constexpr std::string_view kIconQuestion{"\xFF\x01\x03\x7F", 4};
inline constexpr std::string_view kIconExclamation{"\xFF\x01\x04\x7F", 4};
inline constexpr std::string_view kIconAsterisk{"\xFF\x01\x05\x7F", 4};

// Shows the dialog and returns the pressed button's bit (bit-set buttons) or its 1-based position
// (caption list); 0 when the thread has no window-engine state. Buttons: empty (OK alone), a
// decimal bit set such as "6", or captions separated by '|'. In the text, '|' starts a new line.
int ShowMessage(std::string_view text, std::string_view caption = {}, std::string_view icon = {},
                std::string_view buttons = {}, int defaultButton = 0, int style = 0);

// The same dialog for callers holding plain C strings; a null pointer counts as an empty text
// (a missing caption leaves the title bar empty).
int ShowMessageZ(const char* text, const char* caption, const char* icon, const char* buttons,
                 int defaultButton, int style);
// Text and an optional caption, a single OK button.
int ShowMessageBrief(const char* text, const char* caption = nullptr);

// The program-wide hook: when set, every entry point above passes its arguments to it unchanged
// and returns its result without showing anything itself. Set it before any thread shows
// messages; nullptr removes it.
using MessageHook = int (*)(std::string_view text, std::string_view caption, std::string_view icon,
                            std::string_view buttons, int defaultButton, int style);
void SetMessageHook(MessageHook hook);
MessageHook CurrentMessageHook();

// How a thread's window engine shows the dialog. The backend that owns the thread's engine state
// installs one; a thread without a presenter gets 0 from ShowMessage and sees nothing.
class MessagePresenter : public MessageMetrics {
 public:
  // Shows the layout modally: focus starts on layout.focus; Escape counts only when
  // layout.EscapeCloses(). Returns the identifier of the control that ended the dialog (0 when
  // it could not be shown). Focus goes back where it was before the call returns.
  virtual int Present(const MessageLayout& layout) = 0;
};
void SetThreadMessagePresenter(MessagePresenter* presenter);
MessagePresenter* ThreadMessagePresenter();

}  // namespace vantrel
