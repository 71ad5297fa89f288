#include "app/main_window_desc.h"

#include <string>
#include <utility>

#include "runtime/system/registry.h"

namespace vantrel::app {
namespace {

ui::ControlDesc Control(ui::ControlKind kind, int field, std::string label, std::string text,
                        ui::Rect at, int parent = 0, ui::Follow followX = ui::Follow::Stay,
                        ui::Follow followY = ui::Follow::Stay) {
  ui::ControlDesc c;
  c.kind = kind;
  c.field = field;
  c.label = std::move(label);
  c.text = std::move(text);
  c.at = at;
  c.followX = followX;
  c.followY = followY;
  c.parent = parent;
  return c;
}

}  // namespace

ui::WindowDesc MainWindowDescription(MainData& data, ui::ListSource* rows) {
  using K = ui::ControlKind;
  ui::WindowDesc w;
  w.name = "P1$WINDOW";
  w.caption = "Vantrel registry settings";
  w.font = ui::Font{"Tahoma", 8};
  w.icon = "Vantrel.ico";
  w.at = ui::Rect{ui::kNoPosition, ui::kNoPosition, 480, 230};
  w.resizable = true;  // its size is remembered between runs

  // A larger window gives its room to the sheet and the list on it; the buttons under the list
  // keep their place against the bottom edge, and Close its place in the bottom-right corner.
  constexpr ui::Follow kStay = ui::Follow::Stay;
  constexpr ui::Follow kMove = ui::Follow::Move;
  constexpr ui::Follow kStretch = ui::Follow::Stretch;
  auto& c = w.controls;
  c.push_back(
      Control(K::Sheet, kShtVantrel, "?SHTVANTREL", "", {4, 4, 472, 204}, 0, kStretch, kStretch));
  c.push_back(Control(K::Tab, kTabItems, "?TABITEMS", "Registry items", {4, 4, 472, 204},
                      kShtVantrel, kStretch, kStretch));
  // The buttons' visual order (Save, Restore, Disable, Enable) differs from their tab order.
  c.push_back(Control(K::Button, kBtnDisable, "?BTNDISABLE", "Disable Vantrel", {145, 188, 64, 14},
                      kTabItems, kStay, kMove));
  c.push_back(Control(K::Button, kBtnEnable, "?BTNENABLE", "Enable Vantrel", {213, 188, 64, 14},
                      kTabItems, kStay, kMove));
  c.push_back(Control(K::Button, kBtnSave, "?BTNSAVE", "Save current", {9, 188, 64, 14}, kTabItems,
                      kStay, kMove));
  c.push_back(Control(K::Button, kBtnRestore, "?BTNRESTORE", "Restore saved", {77, 188, 64, 14},
                      kTabItems, kStay, kMove));
  ui::ControlDesc list = Control(K::List, kLstRegistryItems, "?LSTREGISTRYITEMS", "",
                                 {9, 24, 460, 160}, kTabItems, kStretch, kStretch);
  list.format = kMainListFormat;
  list.rows = rows;
  c.push_back(std::move(list));

  c.push_back(Control(K::Tab, kTabInfo, "?TABINFO", "Info", {4, 4, 472, 204}, kShtVantrel, kStretch,
                      kStretch));
  static const char* const kInfo[] = {
      "Manage Opportunistic Locking and Read Caching registry settings, allows you to;",
      "- view which settings sholud be changed",
      "- save current registry values to Vantrel.xml file",
      "- restore previously saved changes",
      "- set registry values to disable Vantrel",
      "- set registry values to enable Vantrel",
  };
  static const int kInfoY[] = {24, 38, 51, 65, 78, 92};
  for (int i = 0; i < 6; ++i) {
    c.push_back(Control(K::Prompt, kPmtInfo1 + i, "?PMTINFO:" + std::to_string(i + 1), kInfo[i],
                        {12, kInfoY[i], 456, 10}, kTabInfo));
  }
  // The panels frame the lines they hold: the system line (160 to 168, one line of the font) and
  // both author lines (181 to 200), with room for the frame's own lines beside and below the
  // text.
  c.push_back(Control(K::Panel, kPanel1, "?PANEL1", "", {9, 153, 462, 18}, kTabInfo));
  c.push_back(
      Control(K::Prompt, kPmtOs, "?PMTOS", "Operating system:", {12, 160, 88, 10}, kTabInfo));
  ui::ControlDesc os = Control(K::String, kLocOs, "?LOC:OS", "", {103, 160, 360, 10}, kTabInfo);
  os.variable = ui::TextVar::Of(data.os);
  c.push_back(std::move(os));
  c.push_back(Control(K::Panel, kPanel1b, "?PANEL1:2", "", {9, 177, 462, 26}, kTabInfo));
  c.push_back(
      Control(K::Prompt, kPmtAuthor, "?PMTAUTHOR", kAuthorLine, {12, 181, 456, 15}, kTabInfo));
  c.push_back(Control(K::Prompt, kPmtMail, "?PMTMAIL", kContactLine, {12, 192, 456, 15}, kTabInfo));

  c.push_back(
      Control(K::Button, kBtnClose, "?BTNCLOSE", "Close", {430, 212, 44, 14}, 0, kMove, kMove));

  // With no ~/.wine the desktop entry edits a private store no Wine program reads: the tab says
  // which store this is and why, as `vantrelctl store` does. Windows has only its own registry.
  if (!RegistryLocation().source.empty()) {
    c.push_back(
        Control(K::Prompt, kPmtStore, "?PMTSTORE", "Registry store:", {12, 129, 88, 10}, kTabInfo));
    ui::ControlDesc folder =
        Control(K::String, kLocStore, "?LOC:STORE", "", {103, 129, 360, 10}, kTabInfo);
    folder.variable = ui::TextVar::Of(data.storeFolder);
    c.push_back(std::move(folder));
    ui::ControlDesc source =
        Control(K::String, kLocStoreSource, "?LOC:STORESOURCE", "", {103, 139, 360, 10}, kTabInfo);
    source.variable = ui::TextVar::Of(data.storeSource);
    c.push_back(std::move(source));
  }
  return w;
}

void SetMainListStyles(ui::Engine& engine, ui::Window* window) {
  constexpr long long kNoColour = -1;  // the list's own colour
  const int list = kLstRegistryItems;
  engine.SetNumber(window, list, ui::prop::StyleBackColor, kNoColour, kStyleAsDisabled);
  engine.SetNumber(window, list, ui::prop::StyleBackSelected, kNoColour, kStyleAsDisabled);
  engine.SetNumber(window, list, ui::prop::StyleTextColor, 0x000000, kStyleDiffers);
  engine.SetNumber(window, list, ui::prop::StyleBackColor, 0xDDDDFF, kStyleDiffers);
  engine.SetNumber(window, list, ui::prop::StyleTextSelected, 0x0000FF, kStyleDiffers);
  engine.SetNumber(window, list, ui::prop::StyleBackSelected, kNoColour, kStyleDiffers);
}

}  // namespace vantrel::app
