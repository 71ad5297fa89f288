// Fuzz target for saving into a settings file's own text: any bytes must either be refused or
// come back with only the SavedValue texts changed, and the same values written twice must give
// the same text.
//
// The first byte says how many values to write; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t count = data[0] % 8;
  // The letters' form: the bytes of the code page or UTF-8.
  const auto letters =
      data[0] & 0x80 ? vantrel::app::LetterForm::kUtf8 : vantrel::app::LetterForm::kBytes;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> values;
  for (std::size_t i = 0; i < count; ++i)
    values.push_back(i % 2 ? "N/A" : "1<&>\t\r\n\x9A\x80" + std::to_string(i));
  std::string why;
  const auto changed = vantrel::app::WithSavedValues(text, values, letters, &why);
  // A text left to a whole file always says why.
  if (!changed) {
    if (why.empty()) std::abort();
    return 0;
  }
  // Written again with the same values, the text is a fixed point.
  const auto again = vantrel::app::WithSavedValues(*changed, values, letters);
  if (!again || *again != *changed) std::abort();
  return 0;
}
