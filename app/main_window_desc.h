// The main window's description ("P1$WINDOW"): caption, font, icon, size and its 21 controls (24
// outside Windows) with
// their field numbers, texts and layout in dialog units. Every backend builds the window from it.
#pragma once

#include "app/main_data.h"
#include "ui/engine.h"
#include "ui/list_source.h"

namespace vantrel::app {

// Field numbers of the main window's controls (their order is the tab order).
enum MainControl : int {
  kShtVantrel = 1,
  kTabItems = 2,
  kBtnDisable = 3,
  kBtnEnable = 4,
  kBtnSave = 5,
  kBtnRestore = 6,
  kLstRegistryItems = 7,
  kTabInfo = 8,
  kPmtInfo1 = 9,
  kPmtInfo6 = 14,
  kPanel1 = 15,
  kPmtOs = 16,
  kLocOs = 17,
  kPanel1b = 18,
  kPmtAuthor = 19,
  kPmtMail = 20,
  kBtnClose = 21,
  // Outside Windows the registry is a store: the Info tab says which one, beside the system line.
  kPmtStore = 22,
  kLocStore = 23,
  kLocStoreSource = 24,
};

inline constexpr const char kMainListFormat[] =
    "224L(1)|MY~Key Name~L(2)@s200@Z(1)88L(1)|MY~Value Name~L(2)@s100@36L(1)|MY~Current~L(2)@s20@"
    "36L(1)|MY~Saved~L(2)@s20@36L(1)|MY~Disable~L(2)@s20@36L(1)|MY~Enable~L(2)@s20@";

// The list's row height, set when the window opens.
inline constexpr int kMainListRowHeight = 11;

// The Info tab's credit and contact lines: the product's own, naming nobody.
inline constexpr const char kAuthorLine[] =
    "Vantrel is written and maintained by the Vantrel developers.";
inline constexpr const char kContactLine[] =
    "Questions and reports: see the README that ships with Vantrel.";

// The window's description with the list bound to `rows` (DisplayQueue) and ?LOC:OS to data.os.
// Where the registry is a store (RegistryLocation names a source), the Info tab also shows the
// store's folder (data.storeFolder) and where that choice came from (data.storeSource).
ui::WindowDesc MainWindowDescription(MainData& data, ui::ListSource* rows);

// Gives the open window's list its two row styles: style 1 is a plain row; style 2 is black on
// light red, red text when selected.
void SetMainListStyles(ui::Engine& engine, ui::Window* window);

}  // namespace vantrel::app
