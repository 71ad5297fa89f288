// The message dialog's layout: a pure function of the request and the font and screen metrics.
//
// Every backend shows exactly this layout, so that the dialog looks and answers the same on a
// real desktop and in the headless tests. Sizes are in pixels of the dialog's client area.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

struct MessageFont {
  std::string face;
  int points = 8;
  friend bool operator==(const MessageFont&, const MessageFont&) = default;
};

// The face the fixed-pitch style puts in place of the dialog font's.
inline constexpr std::string_view kFixedPitchFace = "Courier New";
// The face the window engine's dialog-font option selects.
inline constexpr std::string_view kDialogOptionFace = "MS Shell Dlg";

// What the layout needs to know about fonts and the screen; the presenter supplies it.
class MessageMetrics {
 public:
  virtual ~MessageMetrics() = default;
  // The window engine's standard font, and whether its dialog-font option is on.
  virtual MessageFont StandardFont() const = 0;
  virtual bool DialogFontOption() const { return false; }
  // The font's average character width (width) and height (height) in pixels.
  virtual PixelSize AverageCharSize(const MessageFont& font) const = 0;
  // Width in pixels of a run of text on one line (no tabs, no line breaks in it).
  virtual int TextWidth(const MessageFont& font, std::string_view run) const = 0;
  // The screen's work area (the desktop less the task bars).
  virtual PixelRect WorkArea() const = 0;
  virtual int ScrollBarWidth() const = 0;
  virtual PixelSize IconSize() const { return {32, 32}; }
  // The program's string resource with this identifier, when it carries one.
  virtual std::optional<std::string> ResourceString(int /*id*/) const { return std::nullopt; }
};

// The arguments of ShowMessage, as given.
struct MessageRequest {
  std::string_view text;
  std::string_view caption;
  std::string_view icon;
  std::string_view buttons;
  int defaultButton = 0;
  int style = 0;
};

// Fixed sizes of the dialog, from the dialog font's average character size, rounded up.
struct MessageMeasures {
  int margin = 0;         // 5 horizontal units
  int buttonWidth = 0;    // 50 horizontal units (the minimum)
  int buttonHeight = 0;   // 14 vertical units
  int buttonGap = 0;      // 5 horizontal units
  int gapBelow = 0;       // 5 vertical units
  int minTextWidth = 0;   // 200 horizontal units
  int minTextHeight = 0;  // 45 vertical units
};
MessageMeasures MessageMeasuresFor(PixelSize averageChar);

// Control identifiers and styles of the dialog template.
inline constexpr int kMessageIconId = 2704;
inline constexpr int kMessageTextId = -1;
inline constexpr int kFirstCustomButtonId = 256;
inline constexpr std::uint32_t kMessageDialogStyle = 0x90C801C0u;
inline constexpr std::uint32_t kMessageSystemModalStyle = 0x2u;
inline constexpr std::uint32_t kStaticTextStyle = 0x50000080u;
inline constexpr std::uint32_t kEditTextStyle = 0x50000804u;
inline constexpr std::uint32_t kVerticalScrollStyle = 0x00200000u;
inline constexpr std::uint32_t kPushButtonStyle = 0x50010000u;
inline constexpr std::uint32_t kDefaultPushButtonStyle = 0x50010001u;
inline constexpr int kMaxMessageButtons = 8;

// One row of the standard button table: bit, control identifier, caption.
struct StandardButton {
  int bit;
  int id;
  std::string_view caption;
};
inline constexpr StandardButton kStandardButtons[8] = {
    {0x01, 1, "OK"},     {0x02, 6, "&Yes"},    {0x04, 7, "&No"},    {0x08, 3, "&Abort"},
    {0x10, 4, "&Retry"}, {0x20, 5, "&Ignore"}, {0x40, 2, "Cancel"}, {0x80, 9, "&Help"},
};
// Resource identifier of standard row i's caption.
inline constexpr int kButtonResourceBase = 32512;

struct MessageButtonLayout {
  int id = 0;           // control identifier
  std::string caption;  // as shown ('&' marks the access key)
  PixelRect rect;
  bool isDefault = false;
  int result = 0;  // what ShowMessage returns when it is pressed
  std::uint32_t style = kPushButtonStyle;
};

struct MessageLayout {
  // The prepared request.
  std::string caption;
  std::string text;          // display text: every '|' became CR LF
  bool captionList = false;  // buttons given as captions (results are positions)
  bool systemModal = false;
  bool selectable = false;  // read-only selectable text box
  bool fixedPitch = false;
  bool scrolls = false;  // the selectable box was cut and gains a scroll bar
  // Icon: a system icon identifier (IDI_HAND 32513 ...) or a name the engine loads.
  bool hasIcon = false;
  int systemIcon = 0;  // 0 when the icon is named
  std::string iconName;

  MessageFont dialogFont;  // dialog and buttons
  MessageFont textFont;    // the text (Courier New with the fixed-pitch style)
  PixelSize averageChar;   // of the dialog font
  MessageMeasures measures;
  std::uint32_t dialogStyle = kMessageDialogStyle;

  int wrapWidth = 0;   // the width the text was wrapped at (WrapText gives the lines)
  PixelSize client;    // the dialog's client area
  PixelRect textArea;  // text rectangle plus the margins
  PixelRect iconRect;
  PixelRect textRect;
  std::string_view textClass;  // "STATIC" or "EDIT"
  std::uint32_t textStyle = kStaticTextStyle;

  std::vector<MessageButtonLayout> buttons;  // in display (and tab) order
  int focus = 0;                             // index of the button that has the focus at the start

  // The results table: the result of the control that ended the dialog, 0 for any other.
  int ResultFor(int controlId) const;
  // Escape closes the dialog only when a control answers to IDCANCEL (2).
  bool EscapeCloses() const;
};

// The system icon an icon text names (0xFF 0x01, then the system icon identifier plus one,
// little-endian), 0 when the text is a name to load instead.
int SystemIconOf(std::string_view icon);

// Builds the layout of a message dialog.
MessageLayout LayoutMessage(const MessageRequest& request, const MessageMetrics& metrics);

// Measures text the way the dialog does: word wrapping at width, tab stops every eight average
// characters, CR LF (or a lone CR or LF) starting a new line, '&' shown as it is. A word longer
// than the width stays whole and widens the result. Empty text measures one empty line.
PixelSize MeasureWrappedText(const MessageMetrics& metrics, const MessageFont& font,
                             std::string_view text, int width);

// Splits text into the lines MeasureWrappedText counts, so that a backend draws exactly them.
std::vector<std::string> WrapText(const MessageMetrics& metrics, const MessageFont& font,
                                  std::string_view text, int width);

// Places a dialog frame of the given size: centred on the main frame when that is visible
// (non-null), else on the part of the work area that the owner overlaps (the whole work area
// without owner or overlap), then pushed back inside the work area.
PixelRect PlaceMessageDialog(PixelSize frame, PixelRect workArea, const PixelRect* mainFrame,
                             const PixelRect* owner);

}  // namespace vantrel
