// The library's message boxes: the thread's hook when one is installed, else the message dialog.
#include "runtime/dialog/message_dialog.h"
#include "xml/state.h"

namespace vantrel::xml {

void SetMessageHook(MessageHook hook) { Lib().messageHook = std::move(hook); }

int LibraryMessage(std::string_view text, std::string_view caption) {
  LibraryState& lib = Lib();
  if (lib.messageHook) return lib.messageHook(text, caption);
  return ShowMessage(text, caption, {}, {}, 0, 0);
}

}  // namespace vantrel::xml
