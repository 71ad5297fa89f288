// Fuzz target for the reader of the journal of changes: any text must be taken or refused
// without a fault, and an entry it takes must be written back as exactly that text (one
// spelling per entry, so a reader and a writer never disagree about what a change holds).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entry = vantrel::app::DecodeJournalEntry(text);
  if (entry && vantrel::app::EncodeJournalEntry(*entry) != text) std::abort();
  return 0;
}
