// Fuzz target for display pictures: any picture text and any value or typed text must format
// and de-format without a fault, and what a picture reads back from its own output must show
// as that output again.
//
// The input is the picture, a line feed, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/text/picture.h"

using namespace vantrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  if (cut == std::string_view::npos || cut > 64) return 0;  // pictures are short
  const std::string_view picture = input.substr(0, cut);
  const std::string_view text = input.substr(cut + 1);
  if (picture.size() > 1 && picture.find_first_of("0123456789") != std::string_view::npos &&
      std::atoi(std::string(picture.substr(picture.find_first_of("0123456789"))).c_str()) > 4096) {
    return 0;  // a width this large only makes the run slow
  }
  const std::string shown = FormatPicture(picture, text);
  const auto read = DeformatPicture(picture, text);
  if (read && IsPicture(picture) && !read->empty()) {
    const std::string again = FormatPicture(picture, *read);
    const auto back = DeformatPicture(picture, again);
    // (A number too wide for its picture shows as '#'s, which read as nothing.)
    if (back && FormatPicture(picture, *back) != again) std::abort();
  }
  return static_cast<int>(shown.size() & 0);
}
