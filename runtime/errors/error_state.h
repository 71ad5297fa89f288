// The per-thread runtime error state and the table of error texts.
//
// Runtime services report failure by leaving a code and its text in the calling thread's state;
// callers read both afterwards. Code 0 means no error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// Sets the error state. Code 0 stands for the operating system's own last error: when that is 0
// the state is cleared, otherwise the code becomes that number plus 300.
void SetRuntimeError(std::int32_t code);
void ClearRuntimeError();
std::int32_t RuntimeErrorCode();
// The current text without its blank padding (empty when no error is set).
std::string RuntimeErrorText();
// The operating system's last error recorded when the state was last set, and the extra code.
std::uint32_t RuntimeOsError();
std::int32_t RuntimeErrorExtra();
// The text of any code (at most 255 characters), without touching the state. A code with no text
// of its own gives "Unknown Error Posted : <code>".
std::string ErrorTextFor(std::int32_t code);

// The replacement-text list: searched from its head before the built-in texts, first match wins.
// A newly added text goes to the head, so it overrides earlier ones for the same code.
void AddReplacementErrorText(std::int32_t code, std::string_view text);
void ClearReplacementErrorTexts();

}  // namespace vantrel
