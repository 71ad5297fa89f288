#include "app/settings_text.h"

#include <cstddef>

#include "runtime/text/ansi_text.h"

namespace vantrel::app {
namespace {

bool NameChar(char c) {
  return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '/' && c != '>' && c != '=';
}

// Where a tag that starts at `at` ends (the position after its '>'), passing over quoted
// attribute values; npos when it does not end.
std::size_t TagEnd(std::string_view text, std::size_t at) {
  char quote = 0;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '<') {
      return std::string_view::npos;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

std::string Escaped(std::string_view value, LetterForm letters) {
  std::string out;
  for (const char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      // A reader drops these from text as layout; as references they come back.
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (letters == LetterForm::kUtf8 && static_cast<unsigned char>(c) > 0x7F)
          AppendUtf8(out, AnsiCharOf(static_cast<unsigned char>(c)));
        else
          out += c;
    }
  }
  return out;
}

// One SavedValue to replace: the bytes [begin, end) become the element's new content, or with
// `whole` the empty element <SavedValue/> becomes one with content.
struct Slot {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool whole = false;
};

}  // namespace

std::optional<std::string> WithSavedValues(std::string_view text,
                                           const std::vector<std::string>& values,
                                           LetterForm letters, std::string* why) {
  std::string unused;
  std::string& reason = why ? *why : unused;
  const auto refuse = [&reason](const char* what) {
    reason = what;
    return std::nullopt;
  };
  // UTF-16 (with or without its mark) has zero bytes between the letters: not this text's form.
  if (text.find('\0') != std::string_view::npos ||
      (text.size() >= 2 &&
       ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))) {
    return refuse("it is UTF-16 text");
  }
  std::vector<std::string_view> open;  // element names from the root down
  std::vector<Slot> slots;
  bool inItem = false;
  bool itemHasSaved = false;
  std::size_t savedStart = std::string_view::npos;  // content start of the open SavedValue
  bool rootSeen = false;
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    const std::string_view rest = text.substr(at);
    std::size_t next = std::string_view::npos;
    if (rest.starts_with("<!--")) {
      if (savedStart != std::string_view::npos) return refuse("a SavedValue holds a comment");
      const std::size_t end = text.find("-->", at + 4);
      if (end != std::string_view::npos) next = end + 3;
    } else if (rest.starts_with("<![CDATA[")) {
      if (savedStart != std::string_view::npos || open.empty())
        return refuse("it holds a CDATA section in a SavedValue or outside its elements");
      const std::size_t end = text.find("]]>", at + 9);
      if (end != std::string_view::npos) next = end + 3;
    } else if (rest.starts_with("<?")) {
      const std::size_t end = text.find("?>", at + 2);
      if (end != std::string_view::npos) next = end + 2;
    } else if (rest.starts_with("<!")) {
      // A document type may declare entities that change what the text says: left alone.
      const std::size_t end = TagEnd(text, at);
      if (end == std::string_view::npos ||
          text.substr(at, end - at).find('[') != std::string_view::npos) {
        return refuse("its document type declares entities of its own");
      }
      next = end;
    } else if (rest.starts_with("</")) {
      const std::size_t end = TagEnd(text, at);
      if (end == std::string_view::npos) return refuse("it holds a tag that does not end");
      std::size_t nameEnd = at + 2;
      while (nameEnd < end - 1 && NameChar(text[nameEnd])) ++nameEnd;
      const std::string_view name = text.substr(at + 2, nameEnd - at - 2);
      if (open.empty() || open.back() != name)
        return refuse("an end tag does not match its start tag");
      if (savedStart != std::string_view::npos) {
        slots.push_back({savedStart, at, false});
        savedStart = std::string_view::npos;
      } else if (open.size() == 2 && inItem) {
        if (!itemHasSaved) return refuse("an item has no SavedValue element");
        inItem = false;
      }
      open.pop_back();
      next = end;
    } else {
      const std::size_t end = TagEnd(text, at);
      if (end == std::string_view::npos) return refuse("it holds a tag that does not end");
      std::size_t nameEnd = at + 1;
      while (nameEnd < end - 1 && NameChar(text[nameEnd])) ++nameEnd;
      const std::string_view name = text.substr(at + 1, nameEnd - at - 1);
      if (name.empty() || savedStart != std::string_view::npos)
        return refuse("a SavedValue holds markup");
      const bool empty = text[end - 2] == '/';
      if (open.empty()) {
        // One root, RegistryItems; the library finds its items there.
        if (rootSeen || name != "RegistryItems")
          return refuse("its root element is not one RegistryItems");
        rootSeen = true;
      }
      if (open.size() == 1 && name == "RegistryItem") {
        if (empty) return refuse("an item has no SavedValue element");
        inItem = true;
        itemHasSaved = false;
      } else if (open.size() == 2 && inItem && name == "SavedValue") {
        if (itemHasSaved) return refuse("an item has two SavedValue elements");
        itemHasSaved = true;
        if (empty) {
          slots.push_back({at, end, true});
        } else {
          savedStart = end;
        }
      }
      if (!empty) open.push_back(name);
      next = end;
    }
    if (next == std::string_view::npos) return refuse("it holds markup that does not end");
    at = next;
  }
  if (!rootSeen) return refuse("it has no RegistryItems element");
  if (!open.empty()) return refuse("its elements are not all closed");
  if (slots.size() != values.size()) return refuse("the number of its items is not the list's");

  std::string out;
  out.reserve(text.size() + values.size() * 8);
  std::size_t done = 0;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    out.append(text.substr(done, slots[i].begin - done));
    if (slots[i].whole) out += "<SavedValue>";
    out += Escaped(values[i], letters);
    if (slots[i].whole) out += "</SavedValue>";
    done = slots[i].end;
  }
  out.append(text.substr(done));
  return out;
}

}  // namespace vantrel::app
