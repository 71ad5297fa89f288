#include "runtime/errors/error_state.h"

#include <cstdio>
#include <cstring>
#include <forward_list>
#include <utility>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_texts.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel {
namespace {

constexpr std::size_t kTextWidth = 256;
constexpr std::size_t kTextMax = 255;

struct ErrorState {
  std::uint32_t osError = 0;
  std::int32_t code = 0;
  std::int32_t extra = 0;
  char text[kTextWidth];
  ErrorState() { std::memset(text, ' ', kTextWidth); }
};

thread_local ErrorState tState;

// The replacement texts are program-wide, like the string resources they stand in front of.
std::forward_list<std::pair<std::int32_t, std::string>>& ReplacementTexts() {
  static std::forward_list<std::pair<std::int32_t, std::string>> list;
  return list;
}

std::uint32_t OsLastError() {
  using namespace vantrel::seam;
  return static_cast<std::uint32_t>(GetLastError());
}

}  // namespace

std::string ErrorTextFor(std::int32_t code) {
  if (code == 0) code = error_code::kUnknownError;
  for (const auto& [c, text] : ReplacementTexts()) {
    if (c == code) return text.substr(0, kTextMax);
  }
  if (const char* text = BuiltInErrorText(code)) return std::string(text).substr(0, kTextMax);
  return std::string(BuiltInErrorText(error_code::kUnknownError)) + " : " + std::to_string(code);
}

// Stores the text of `code` (as ErrorTextFor gives it, leading blanks skipped, at most 255
// characters) without allocating: "Insufficient Memory" must be settable when memory has run out.
void StoreText(std::int32_t code) {
  std::string_view text;
  bool found = false;
  for (const auto& [c, t] : ReplacementTexts()) {
    if (c == code) {
      text = t;
      found = true;
      break;
    }
  }
  if (!found) {
    if (const char* builtIn = BuiltInErrorText(code)) {
      text = builtIn;
      found = true;
    }
  }
  char unknown[64];
  if (!found) {
    const int n =
        std::snprintf(unknown, sizeof unknown, "%s : %d",
                      BuiltInErrorText(error_code::kUnknownError), static_cast<int>(code));
    text = std::string_view(unknown, n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  text = text.substr(0, kTextMax);
  const std::size_t start = text.find_first_not_of(' ');
  text = start == std::string_view::npos ? std::string_view{} : text.substr(start);
  std::memset(tState.text, ' ', kTextWidth);
  std::memcpy(tState.text, text.data(), text.size());
}

void SetRuntimeError(std::int32_t code) {
  const std::uint32_t os = OsLastError();
  tState.osError = os;
  if (code == 0) {
    if (os == 0) {
      ClearRuntimeError();
      return;
    }
    code = static_cast<std::int32_t>(os + std::uint32_t{error_code::kOsErrorBase});
  }
  tState.code = code;
  tState.extra = 0;
  StoreText(code);
}

void ClearRuntimeError() {
  // Every runtime call clears the state on entry, so keep that cheap: the text is only ever written
  // together with a non-zero code, so with code 0 it is blank already.
  if (tState.code == 0) {
    tState.extra = 0;
    return;
  }
  tState.code = 0;
  tState.extra = 0;
  std::memset(tState.text, ' ', kTextWidth);
}

std::int32_t RuntimeErrorCode() { return tState.code; }

std::string RuntimeErrorText() {
  std::size_t n = kTextWidth;
  while (n > 0 && tState.text[n - 1] == ' ') --n;
  return std::string(tState.text, n);
}

std::uint32_t RuntimeOsError() { return tState.osError; }
std::int32_t RuntimeErrorExtra() { return tState.extra; }

void AddReplacementErrorText(std::int32_t code, std::string_view text) {
  ReplacementTexts().emplace_front(code, std::string(text));
}

void ClearReplacementErrorTexts() { ReplacementTexts().clear(); }

}  // namespace vantrel
