// How the bytes of a document become the program's single-byte text before the scanner reads
// them. Private to xml/.
//
// A document in Unicode (a byte-order mark, 16-bit text, or a declared UTF encoding) is decoded
// through the program's code page (runtime/text/ansi_text.h), character by character; a character
// the code page has no form for stops the load with an error that names it and its line, never a
// substitute byte. Every other document is read byte for byte, as the files that earlier versions
// of the program wrote (no encoding declared, single-byte text) have always been read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::xml {

enum class InputEncoding {
  kBytes,
  kDropZeros,  // zero bytes among the first ones that do not make 16-bit text: dropped, as always
  kUtf8,
  kUtf16Le,
  kUtf16Be,
};

// The encoding an XML declaration names: the text after "encoding=" and its opening quote, up to
// 16 characters, ended by a double (else a single) quote, upper-cased. `declaration` is the text
// after "<?". Nothing when the declaration names none.
std::optional<std::string> DeclaredEncoding(std::string_view declaration);

// Decides from the document's first bytes (as much as the first buffer holds) and the encoding a
// caller has set (empty for none, which the declaration then decides):
// - a byte-order mark: UTF-8, or UTF-16 little or big endian;
// - a zero byte among the 2nd, 4th to 7th bytes: UTF-16 without a mark when the zeros lie where
//   16-bit text puts them (the 2nd and 4th bytes, or the 1st and 3rd), else bytes with every zero
//   byte dropped (what such input has always given);
// - a declared (or set) encoding starting with "UTF", other than a 16-bit one: UTF-8;
// - no encoding declared, and the text is well-formed UTF-8 holding a character beyond U+00FF:
//   UTF-8. (Text whose characters all lie below U+0100 reads byte for byte, as before: earlier
//   versions wrote single-byte text without a declaration, and such bytes read as UTF-8 would
//   mostly not be well-formed anyway.)
// - anything else: bytes as they are.
InputEncoding DetectInputEncoding(std::string_view first, std::string_view setEncoding);

// Converts a document's bytes to program text in place, block by block: the output of a block is
// never longer than its input. A character cut by the end of a block is kept for the next one.
class InputDecoder {
 public:
  explicit InputDecoder(InputEncoding encoding) : encoding_(encoding) {}

  // Whether the bytes change on their way (a copy of in-memory text is needed).
  bool Active() const { return encoding_ != InputEncoding::kBytes; }
  // Whether the document was Unicode and is program text once decoded.
  bool Unicode() const {
    return encoding_ != InputEncoding::kBytes && encoding_ != InputEncoding::kDropZeros;
  }

  // Decodes data[0..n) and returns the length of the program text written from data[0]. At the
  // first character without a single-byte form (or malformed input, or with `final` a character
  // cut short) it stops; Failed() and Problem() then say so.
  std::size_t Decode(char* data, std::size_t n, bool final);

  bool Failed() const { return !problem_.empty(); }
  // "line 3: the character U+0159 'ř' has no form in code page 1250, the program's
  // single-byte text"
  const std::string& Problem() const { return problem_; }

 private:
  // One character from `in`; size 0 when `in` ends inside it. `valid` false for malformed input.
  struct Unit {
    char32_t c = 0;
    std::size_t size = 0;
    bool valid = true;
  };
  Unit Next(std::string_view in) const;
  void Fail(const Unit& unit);

  InputEncoding encoding_;
  bool started_ = false;  // the byte-order mark (if any) is behind us
  char carry_[4] = {};    // the start of a character the last block cut off
  std::size_t carrySize_ = 0;
  std::int64_t line_ = 1;
  std::string problem_;
};

}  // namespace vantrel::xml
