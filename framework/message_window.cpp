#include "framework/message_window.h"

#include "runtime/dialog/message_dialog.h"

namespace vantrel::framework {

namespace prop = ui::prop;

namespace {

struct ButtonCaption {
  int bit;
  const char* caption;
};
// The order in which the buttons take the controls from 100 upward.
constexpr ButtonCaption kButtons[] = {
    {ButtonHelp, "&Help"},   {ButtonCancel, "&Cancel"}, {ButtonIgnore, "&Ignore"},
    {ButtonRetry, "&Retry"}, {ButtonAbort, "&Abort"},   {ButtonNo, "&No"},
    {ButtonYes, "&Yes"},     {ButtonOk, "O&k"},
};

ui::WindowDesc BuildMessageWindowDesc() {
  ui::WindowDesc d;
  d.name = "OruMessageWindow";
  d.caption = std::string(kHistoryCaption);
  d.font = ui::Font{"Tahoma", 8};
  d.at = ui::Rect{ui::kNoPosition, ui::kNoPosition, 420, 170};
  d.modal = true;
  ui::ControlDesc icon;
  icon.kind = ui::ControlKind::Image;
  icon.field = kMessageIcon;
  icon.label = "?IMGICON";
  icon.at = ui::Rect{8, 8, 20, 20};
  d.controls.push_back(icon);
  ui::ControlDesc list;
  list.kind = ui::ControlKind::List;
  list.field = kMessageList;
  list.label = "?LSTHISTORY";
  list.at = ui::Rect{36, 6, 376, 136};
  list.format = "300L(2)|M~Message~@s255@70L(2)|M~Category~@s40@";
  d.controls.push_back(list);
  // Eight buttons in one row under the list; those in use are shown by the window.
  for (int i = 0; i < 8; ++i) {
    ui::ControlDesc b;
    b.kind = ui::ControlKind::Button;
    b.field = kMessageFirstButton + i;
    b.label = "?BUTTON" + std::to_string(i + 1);
    b.at = ui::Rect{36 + i * 47, 150, 44, 14};
    b.hidden = true;
    d.controls.push_back(b);
  }
  return d;
}

}  // namespace

const ui::WindowDesc& MessageWindowDesc() {
  static const ui::WindowDesc desc = BuildMessageWindowDesc();
  return desc;
}

// ---------------------------------------------------------------------------------------------
// HistoryHandler

HistoryHandler::HistoryHandler()
    : rows_([this] { return static_cast<std::int32_t>(std::stol(ListData(-1, 0))); },
            [this](std::int32_t row, int column) { return ListData(row, column); }) {}

int HistoryHandler::HandleEvent() { return HandleWindowOpen(); }

int HistoryHandler::HandleWindowOpen() {
  ui::Engine* engine = ui::Engine::Current();
  if (!engine || engine->EventNumber() != ui::event::OpenWindow || !WIN) return LevelQuiet;
  const auto count = HISTORY ? static_cast<long long>(HISTORY->size()) : 0;
  engine->SetListSource(WIN, kMessageList, &rows_);
  engine->SetNumber(WIN, kMessageList, prop::SelStart, count);  // the newest entry
  LBCOLUMNS = static_cast<std::int16_t>(engine->GetNumber(WIN, kMessageList, prop::Columns));
  return LevelQuiet;
}

void HistoryHandler::UpdateWindow() {
  if (ui::Engine* engine = ui::Engine::Current(); engine && WIN) {
    engine->Display(WIN, kMessageList);
  }
}

std::string HistoryHandler::ListData(std::int32_t row, int column) {
  const std::int32_t count = HISTORY ? static_cast<std::int32_t>(HISTORY->size()) : 0;
  switch (row) {
    case -1: return std::to_string(count);
    case -2: return std::to_string(LBCOLUMNS);
    case -3: return "1";
    default: break;
  }
  if (row < 1 || row > count) return {};
  const HistoryEntry& entry = (*HISTORY)[static_cast<std::size_t>(row - 1)];
  if (column == 1) return entry.TXT;
  if (column == 2) return entry.CATEGORY;
  return {};
}

// ---------------------------------------------------------------------------------------------
// MessageWindow

int MessageWindow::Init() {
  if (const int level = WindowController::Init(); level != LevelQuiet) return level;
  if (HISTORYHANDLER) AddComponent(HISTORYHANDLER);
  if (WIN) OpenWindow(*WIN, nullptr);
  OPENED = 1;
  ui::Engine* engine = Engine();
  if (!engine || !MYWINDOW) return LevelQuiet;
  if (HISTORYHANDLER) HISTORYHANDLER->WIN = MYWINDOW;
  if (CAPTION && !CAPTION->empty()) engine->Set(MYWINDOW, 0, prop::Text, *CAPTION);
  MSGBUTTONS = 0;
  for (const ButtonCaption& b : kButtons) {
    if (!(BUTTONTYPES & b.bit)) continue;
    const int control = kMessageFirstButton + MSGBUTTONS;
    MSGBUTTONID[MSGBUTTONS] = b.bit;
    ++MSGBUTTONS;
    engine->Set(MYWINDOW, control, prop::Text, b.caption);
    if (b.bit == MSGRVAL) {
      engine->SetNumber(MYWINDOW, control, prop::Default, 1);
      engine->Select(MYWINDOW, control);
    }
    engine->SetNumber(MYWINDOW, control, prop::Hide, 0);
  }
  ShowIcon();
  return LevelQuiet;
}

void MessageWindow::ShowIcon() {
  ui::Engine* engine = Engine();
  if (!engine || !MYWINDOW) return;
  if (ICON == 0) {
    engine->Set(MYWINDOW, kMessageIcon, prop::Text, kIconExclamation);
  } else {
    engine->Set(MYWINDOW, kMessageIcon, prop::Text, std::to_string(ICON));
  }
}

int MessageWindow::HandleAccepted() {
  if (const int level = WindowController::HandleAccepted(); level != LevelQuiet) return level;
  ui::Engine* engine = Engine();
  const int accepted = engine ? engine->Accepted() : 0;
  if (accepted >= kMessageFirstButton && accepted < kMessageFirstButton + MSGBUTTONS) {
    MSGRVAL = MSGBUTTONID[accepted - kMessageFirstButton];
    return LevelFatal;  // ends the window's event loop
  }
  return LevelQuiet;
}

int MessageWindow::Shutdown() {
  if (const int level = WindowController::Shutdown(); level != LevelQuiet) return level;
  CAPTION.reset();
  if (ui::Engine* engine = Engine(); engine && MYWINDOW && MYWINDOW->IsOpen()) {
    engine->Close(MYWINDOW);
  }
  OPENED = 0;
  return LevelQuiet;
}

// ---------------------------------------------------------------------------------------------
// ErrorReporter::HistoryMessage lives here, with the window it runs.

int ErrorReporter::HistoryMessage(std::string_view caption, int icon, int buttons,
                                  int defaultButton) {
  MessageWindow window;
  HistoryHandler handler;
  std::vector<HistoryEntry> history = HistorySnapshot();  // a private copy, taken under the lock

  window.WIN = &MessageWindowDesc();
  window.ERR = this;
  window.CAPTION = std::make_unique<std::string>(caption);
  window.ICON = icon;
  window.BUTTONTYPES = buttons;
  window.MSGRVAL = defaultButton;
  window.STYLE = 0;
  handler.ERR = this;
  handler.HISTORY = &history;
  window.HISTORYHANDLER = &handler;

  window.Run();
  const int answer = window.MSGRVAL;
  history.clear();
  return answer;
}

}  // namespace vantrel::framework
