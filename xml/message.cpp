// The library's message boxes: the thread's hook when one is installed, else the message dialog.
#include "runtime/message_dialog.h"
#include "xml/state.h"

namespace vantrel {
// Until the window engine's dialog is linked in, a build without it shows nothing.
int ShowMessage(std::string_view text, std::string_view caption, std::string_view icon,
                std::string_view buttons, int defaultButton, int style) __attribute__((weak));
}  // namespace vantrel

namespace vantrel::xml {

void SetMessageHook(MessageHook hook) { Lib().messageHook = std::move(hook); }

int LibraryMessage(std::string_view text, std::string_view caption) {
  LibraryState& lib = Lib();
  if (lib.messageHook) return lib.messageHook(text, caption);
  if (&ShowMessage == nullptr) return 0;
  // "||" in the library's texts is a line break; the dialog breaks at every '|'.
  return ShowMessage(text, caption, {}, "1", 0, 0);
}

}  // namespace vantrel::xml
