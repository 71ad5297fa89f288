// The parser of list box format strings. A list's format string says what columns the list has:
// how wide and aligned they are, their headers and pictures, which record fields each one uses
// and how its cells are coloured. ParseListFormat turns it into a ListFormat for the engine, and
// ColumnText gives a cell's text.
//
// The string is one column description after another, with nothing between them; columns may
// be gathered into groups between '[' and ']'. Each description is
//   width  L|R|C|D  [(indent)]  modifiers...
// Modifiers, in any order: ~header~[align][(indent)]  @picture@  #field#  M | _ F Y * I J
// T[(options)]  P  Q'tip'  Z(style)  E(text,back,seltext,selback)  B(colour)  S[(width)]  H(n)  / ?
// Modifier letters may be written in either case; alignment letters and tree options may not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::ui {

enum ListAlign : std::uint8_t {
  kAlignLeft = 0,
  kAlignRight = 1,
  kAlignCenter = 2,
  kAlignDecimal = 3
};

// Tree options of T(...), each a separate flag.
enum TreeOption : std::uint8_t {
  kTreeNoLines = 1,  // L
  kTreeOffset = 2,   // 1
  kTreeNoRoot = 4,   // R
  kTreeNoBoxes = 8,  // B
  kTreeIcons = 16,   // I
};

inline constexpr std::int32_t kNoColor = -1;

struct ListColumn {
  int width = 0;  // dialog units as written (0 or less: an empty column)
  ListAlign align = kAlignLeft;
  int indent = 0;  // dialog units
  bool hasHeader = false;
  std::string header;                  // a line feed inside starts a new header line
  ListAlign headerAlign = kAlignLeft;  // the cell's until the header names its own
  int headerIndent = 0;
  std::string picture;       // without the '@'s
  int fieldNumber = 0;       // #n#, 0 when not given
  bool resizable = false;    // M: the right edge is a sizing zone
  bool rightBorder = false;  // |
  bool underline = false;    // _
  bool fixed = false;        // F
  bool hasStyle = false;     // Y: a style-number field
  bool hasColors = false;    // *: four colour fields
  bool hasIcon = false;      // I or J: an icon-number field
  bool iconFlag = false;     // J
  bool tree = false;         // T: a tree-level field
  std::uint8_t treeOptions = 0;
  bool hasTip = false;         // P: a tip-text field
  bool hasDefaultTip = false;  // Q
  std::string defaultTip;
  int defaultStyle = 0;                                               // Z(n), 0 = none
  std::int32_t colors[4] = {kNoColor, kNoColor, kNoColor, kNoColor};  // E: text, back, sel, selback
  std::int32_t fifth = kNoColor;                                      // B
  bool scroll = false;                                                // S
  int scrollWidth = -1;  // S(n); -1 = the default width
  bool hFlag = false;    // H(n)
  int hNumber = 0;
  bool slash = false;   // /
  bool marked = false;  // ?
  int group = 0;        // 1-based group it belongs to, 0 = none

  // Record fields this column uses (from 1; 0 = none).
  int dataField = 0;
  int colorField = 0;  // the first of four
  int iconField = 0;
  int treeField = 0;
  int styleField = 0;
  int tipField = 0;
};

struct ListGroup {
  int firstColumn = 0;  // 1-based
  int lastColumn = 0;
  bool hasHeader = false;
  std::string header;
  bool rightBorder = false;
  bool underline = false;
  bool resizable = false;
  bool fixed = false;
};

struct ListFormat {
  bool valid = false;
  std::string error;            // what is wrong, for an invalid format
  std::size_t errorOffset = 0;  // where in the format string
  std::vector<ListColumn> columns;
  std::vector<ListGroup> groups;
  int markedColumn = 0;  // the last column marked with '?', 0 = none
  int fieldsUsed = 0;    // the highest field number any column uses
};

// Parses and validates a format string. An invalid format has valid == false, no columns, and
// names the first fault.
ListFormat ParseListFormat(std::string_view format);

// The text a column shows for its data field's value: formatted by the column's picture
// (runtime/text/picture.h) without its trailing blanks, so a string picture as long as its field
// shows the text as it is; the value unchanged when the column has no picture.
std::string ColumnText(const ListColumn& column, std::string_view value);

// A colour value of E and B: decimal, or hexadecimal ending in H (first digit decimal), with an
// optional leading '-'. Returns false when the text is not such a value.
bool ParseColorValue(std::string_view text, std::int32_t* value);

}  // namespace vantrel::ui
