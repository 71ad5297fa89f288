// Saving into the settings file's own text: only the SavedValue texts change, so the comments
// that document each value, the order and the layout of the file stay as its author left them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::app {

// How a value's letters above 0x7F are written into the text: as the program's single-byte
// text (what a file read byte for byte takes), or as UTF-8 (what a file read as UTF-8 takes).
// Tab, line feed and carriage return are written as character references either way.
enum class LetterForm { kBytes, kUtf8 };

// The settings file's text with the SavedValue of the n-th RegistryItem (of the root
// RegistryItems) set to values[n] (program text, escaped here). Nothing when the text is not one
// this can change safely: not the same number of items, an item without or with two SavedValue
// elements, markup inside a SavedValue, a document type with its own declarations, UTF-16 text,
// unbalanced or unfinished markup; `why` (when given) then says which, in a few words. The
// caller then writes the file whole.
std::optional<std::string> WithSavedValues(std::string_view text,
                                           const std::vector<std::string>& values,
                                           LetterForm letters = LetterForm::kBytes,
                                           std::string* why = nullptr);

}  // namespace vantrel::app
