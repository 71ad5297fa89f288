#include "runtime/dialog/message_dialog.h"

#include <atomic>

namespace vantrel {
namespace {

std::atomic<MessageHook> gHook{nullptr};
thread_local MessagePresenter* tPresenter = nullptr;

std::string_view View(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

}  // namespace

void SetMessageHook(MessageHook hook) { gHook.store(hook); }
MessageHook CurrentMessageHook() { return gHook.load(); }

void SetThreadMessagePresenter(MessagePresenter* presenter) { tPresenter = presenter; }
MessagePresenter* ThreadMessagePresenter() { return tPresenter; }

int ShowMessage(std::string_view text, std::string_view caption, std::string_view icon,
                std::string_view buttons, int defaultButton, int style) {
  if (MessageHook hook = gHook.load())
    return hook(text, caption, icon, buttons, defaultButton, style);
  MessagePresenter* presenter = tPresenter;
  if (!presenter) return 0;
  const MessageLayout layout =
      LayoutMessage(MessageRequest{text, caption, icon, buttons, defaultButton, style}, *presenter);
  return layout.ResultFor(presenter->Present(layout));
}

int ShowMessageZ(const char* text, const char* caption, const char* icon, const char* buttons,
                 int defaultButton, int style) {
  return ShowMessage(View(text), View(caption), View(icon), View(buttons), defaultButton, style);
}

int ShowMessageBrief(const char* text, const char* caption) {
  return ShowMessage(View(text), View(caption), {}, {}, 0, 0);
}

}  // namespace vantrel
