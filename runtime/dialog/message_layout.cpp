#include "runtime/dialog/message_layout.h"

#include <algorithm>

#include "runtime/text/fixed_text.h"

namespace vantrel {
namespace {

int UnitsUpX(int units, PixelSize avg) { return (units * avg.width + 3) / 4; }
int UnitsUpY(int units, PixelSize avg) { return (units * avg.height + 7) / 8; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Width of one line with its tabs expanded to the next multiple of tabWidth.
int LineWidth(const MessageMetrics& metrics, const MessageFont& font, std::string_view line,
              int tabWidth) {
  int x = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    const std::string_view run =
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (!run.empty()) x += metrics.TextWidth(font, run);
    if (tab == std::string_view::npos) break;
    if (tabWidth > 0) x = (x / tabWidth + 1) * tabWidth;
    start = tab + 1;
  }
  return x;
}

// Greedy word wrap of one paragraph (no line breaks inside). Breaks fall on blanks; the blanks
// at a break belong to neither line.
void WrapParagraph(const MessageMetrics& metrics, const MessageFont& font, std::string_view para,
                   int width, int tabWidth, std::vector<std::string>& out) {
  if (para.empty()) {
    out.emplace_back();
    return;
  }
  std::size_t pos = 0;
  while (pos < para.size()) {
    // Take words while the line still fits; the first word always goes on the line.
    std::size_t end = pos;
    std::size_t fitEnd = std::string_view::npos;
    while (end < para.size()) {
      std::size_t wordEnd = end;
      while (wordEnd < para.size() && para[wordEnd] == ' ') ++wordEnd;
      while (wordEnd < para.size() && para[wordEnd] != ' ') ++wordEnd;
      const std::string_view candidate = TrimTrailingBlanks(para.substr(pos, wordEnd - pos));
      if (fitEnd != std::string_view::npos &&
          LineWidth(metrics, font, candidate, tabWidth) > width) {
        break;
      }
      fitEnd = wordEnd;
      end = wordEnd;
    }
    out.emplace_back(TrimTrailingBlanks(para.substr(pos, fitEnd - pos)));
    pos = fitEnd;
    while (pos < para.size() && para[pos] == ' ') ++pos;
  }
}

std::vector<std::string_view> SplitParagraphs(std::string_view text) {
  std::vector<std::string_view> paras;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      paras.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  paras.push_back(text.substr(start));
  return paras;
}

std::string DisplayText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '|') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// "Empty" is bit set 0; a leading digit without '|' is a decimal bit set; else a caption list.
bool ParseBitSet(std::string_view buttons, int* bits) {
  if (buttons.empty()) {
    *bits = 0;
    return true;
  }
  if (!IsDigit(buttons.front()) || buttons.find('|') != std::string_view::npos) return false;
  // Read the leading decimal number; what follows it (if anything) is ignored, as a number read
  // from text is. Values beyond the table's bits select no further buttons.
  long long value = 0;
  for (char c : buttons) {
    if (!IsDigit(c)) break;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
  }
  *bits = static_cast<int>(value);
  return true;
}

int LowestBitIndex(int value) {
  for (int i = 0; i < 31; ++i) {
    if (value & (1 << i)) return i;
  }
  return -1;
}

}  // namespace

MessageMeasures MessageMeasuresFor(PixelSize avg) {
  MessageMeasures m;
  m.margin = UnitsUpX(5, avg);
  m.buttonWidth = UnitsUpX(50, avg);
  m.buttonHeight = UnitsUpY(14, avg);
  m.buttonGap = UnitsUpX(5, avg);
  m.gapBelow = UnitsUpY(5, avg);
  m.minTextWidth = UnitsUpX(200, avg);
  m.minTextHeight = UnitsUpY(45, avg);
  return m;
}

std::vector<std::string> WrapText(const MessageMetrics& metrics, const MessageFont& font,
                                  std::string_view text, int width) {
  const int tabWidth = 8 * metrics.AverageCharSize(font).width;
  std::vector<std::string> lines;
  for (std::string_view para : SplitParagraphs(text)) {
    WrapParagraph(metrics, font, para, width, tabWidth, lines);
  }
  return lines;
}

PixelSize MeasureWrappedText(const MessageMetrics& metrics, const MessageFont& font,
                             std::string_view text, int width) {
  const PixelSize avg = metrics.AverageCharSize(font);
  const std::vector<std::string> lines = WrapText(metrics, font, text, width);
  int widest = 0;
  for (const std::string& line : lines) {
    widest = std::max(widest, LineWidth(metrics, font, line, 8 * avg.width));
  }
  return {widest, static_cast<int>(lines.size()) * avg.height};
}

int MessageLayout::ResultFor(int controlId) const {
  for (const MessageButtonLayout& b : buttons) {
    if (b.id == controlId) return b.result;
  }
  return 0;
}

bool MessageLayout::EscapeCloses() const {
  for (const MessageButtonLayout& b : buttons) {
    if (b.id == 2) return true;
  }
  return false;
}

int SystemIconOf(std::string_view icon) {
  if (icon.size() < 4 || static_cast<unsigned char>(icon[0]) != 0xFF ||
      static_cast<unsigned char>(icon[1]) != 0x01) {
    return 0;
  }
  return (static_cast<unsigned char>(icon[2]) | (static_cast<unsigned char>(icon[3]) << 8)) - 1;
}

MessageLayout LayoutMessage(const MessageRequest& request, const MessageMetrics& metrics) {
  MessageLayout out;

  // Preparing the request.
  const std::string_view text = TrimTrailingBlanks(request.text);
  const std::string_view caption = TrimTrailingBlanks(request.caption);
  const std::string_view icon = TrimTrailingBlanks(request.icon);
  const std::string_view buttons = TrimTrailingBlanks(request.buttons);
  out.caption = std::string(caption);
  out.text = DisplayText(text);
  int bitSet = 0;
  out.captionList = !ParseBitSet(buttons, &bitSet);
  out.systemModal = (request.style & 1) != 0;
  out.selectable = (request.style & 2) != 0;
  out.fixedPitch = (request.style & 4) != 0;
  if (!icon.empty()) {
    out.hasIcon = true;
    out.systemIcon = SystemIconOf(icon);
    if (out.systemIcon == 0) out.iconName = std::string(icon);
  }

  // Fonts and measures.
  out.dialogFont = metrics.DialogFontOption() ? MessageFont{std::string(kDialogOptionFace), 8}
                                              : metrics.StandardFont();
  out.textFont = out.dialogFont;
  if (out.fixedPitch) out.textFont.face = std::string(kFixedPitchFace);
  out.averageChar = metrics.AverageCharSize(out.dialogFont);
  const MessageMeasures m = MessageMeasuresFor(out.averageChar);
  out.measures = m;

  // Text measurement.
  const PixelRect work = metrics.WorkArea();
  int firstWidth = work.width / 2;
  if (firstWidth < m.minTextWidth) firstWidth = std::min(m.minTextWidth, work.width * 2 / 3);
  out.wrapWidth = firstWidth;
  PixelSize textSize = MeasureWrappedText(metrics, out.textFont, out.text, firstWidth);
  textSize.width += 10;
  if (out.selectable && textSize.height > work.height / 2) {
    textSize.height = work.height / 2;
    textSize.width += metrics.ScrollBarWidth();
    out.scrolls = true;
  }
  out.textArea = {0, 0, textSize.width + 2 * m.margin,
                  std::max(textSize.height + 2 * m.margin, m.minTextHeight)};

  // Icon and text.
  out.dialogStyle = kMessageDialogStyle | (out.systemModal ? kMessageSystemModalStyle : 0u);
  int textLeft = m.margin;
  int width = out.textArea.width;
  if (out.hasIcon) {
    const PixelSize iconSize = metrics.IconSize();
    out.iconRect = {m.margin, (out.textArea.height - iconSize.height) / 2, iconSize.width,
                    iconSize.height};
    textLeft = m.margin + iconSize.width + m.margin;
    width += iconSize.width + 2 * m.margin;
  }
  out.textRect = {textLeft, (out.textArea.height - textSize.height) / 2, textSize.width,
                  textSize.height};
  if (out.selectable) {
    out.textClass = "EDIT";
    out.textStyle = kEditTextStyle | (out.scrolls ? kVerticalScrollStyle : 0u);
  } else {
    out.textClass = "STATIC";
    out.textStyle = kStaticTextStyle;
  }

  // Buttons.
  int buttonWidth = m.buttonWidth;
  int defaultIndex = -1;
  auto standardCaption = [&](int row) {
    if (auto res = metrics.ResourceString(kButtonResourceBase + row)) return *res;
    return std::string(kStandardButtons[row].caption);
  };
  if (!out.captionList) {
    const int shownBits = bitSet == 0 ? 1 : bitSet;
    int defaultRow = 0;
    if ((request.defaultButton & shownBits) != 0)
      defaultRow = LowestBitIndex(request.defaultButton);
    for (int row = 0; row < 8; ++row) {
      if (!(shownBits & kStandardButtons[row].bit)) continue;
      if (row == defaultRow) defaultIndex = static_cast<int>(out.buttons.size());
      MessageButtonLayout b;
      b.id = kStandardButtons[row].id;
      b.caption = standardCaption(row);
      b.result = kStandardButtons[row].bit;
      out.buttons.push_back(std::move(b));
    }
    // A set naming none of the table's bits would leave a dialog nothing can close: OK alone.
    if (out.buttons.empty()) {
      out.buttons.push_back({1, standardCaption(0), {}, false, 1, kPushButtonStyle});
      defaultIndex = 0;
    }
  } else {
    int customId = kFirstCustomButtonId;
    std::size_t start = 0;
    while (start <= buttons.size() && static_cast<int>(out.buttons.size()) < kMaxMessageButtons) {
      std::size_t bar = buttons.find('|', start);
      if (bar == std::string_view::npos) bar = buttons.size();
      const std::string_view cap = buttons.substr(start, bar - start);
      start = bar + 1;
      if (cap.empty()) continue;
      MessageButtonLayout b;
      b.caption = std::string(cap);
      for (int row = 0; row < 8; ++row) {
        if (cap == kStandardButtons[row].caption) {
          b.id = kStandardButtons[row].id;
          b.caption = standardCaption(row);
          break;
        }
      }
      if (b.id == 0) b.id = customId++;
      b.result = static_cast<int>(out.buttons.size()) + 1;
      out.buttons.push_back(std::move(b));
    }
    if (out.buttons.empty()) {
      // Nothing but separators: OK alone, answering as the first position.
      out.buttons.push_back({1, standardCaption(0), {}, false, 1, kPushButtonStyle});
    }
    for (const MessageButtonLayout& b : out.buttons) {
      buttonWidth =
          std::max(buttonWidth, metrics.TextWidth(out.dialogFont, b.caption) + 2 * m.margin);
    }
    const int count = static_cast<int>(out.buttons.size());
    defaultIndex = (request.defaultButton >= 1 && request.defaultButton <= count)
                       ? request.defaultButton - 1
                       : 0;
  }
  if (defaultIndex >= 0) {
    out.buttons[static_cast<std::size_t>(defaultIndex)].isDefault = true;
    out.buttons[static_cast<std::size_t>(defaultIndex)].style = kDefaultPushButtonStyle;
  }
  out.focus = defaultIndex >= 0 ? defaultIndex : 0;

  // Button row.
  const int count = static_cast<int>(out.buttons.size());
  const int rowWidth = count * buttonWidth + (count - 1) * m.buttonGap;
  if (width - textLeft < rowWidth) width = rowWidth + textLeft + 2 * m.buttonGap;
  int x = (width - rowWidth) / 2;
  for (MessageButtonLayout& b : out.buttons) {
    b.rect = {x, out.textArea.height, buttonWidth, m.buttonHeight};
    x += buttonWidth + m.buttonGap;
  }
  out.client = {width, out.textArea.height + m.buttonHeight + m.gapBelow};
  return out;
}

PixelRect PlaceMessageDialog(PixelSize frame, PixelRect work, const PixelRect* mainFrame,
                             const PixelRect* owner) {
  PixelRect around = work;
  if (mainFrame) {
    around = *mainFrame;
  } else if (owner) {
    const int left = std::max(work.x, owner->x);
    const int top = std::max(work.y, owner->y);
    const int right = std::min(work.x + work.width, owner->x + owner->width);
    const int bottom = std::min(work.y + work.height, owner->y + owner->height);
    if (right > left && bottom > top) around = {left, top, right - left, bottom - top};
  }
  PixelRect r{around.x + (around.width - frame.width) / 2,
              around.y + (around.height - frame.height) / 2, frame.width, frame.height};
  // Back inside the work area; the top-left corner wins when the dialog is larger than it.
  r.x = std::min(r.x, work.x + work.width - r.width);
  r.y = std::min(r.y, work.y + work.height - r.height);
  r.x = std::max(r.x, work.x);
  r.y = std::max(r.y, work.y);
  return r;
}

}  // namespace vantrel
