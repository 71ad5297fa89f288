// The program's single-byte text and Unicode: the one place where that text meets UTF-8 and
// UTF-16, both ways. The single-byte page is the one the registry calls use: the system's ANSI
// code page on Windows, code page 1250 on other systems (the registry store's mapping). The XML
// library, the registry store, vantrelctl's JSON, the exports and the FLTK window convert here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// The Unicode character of one byte of program text. Every byte has one: bytes a code page
// leaves unassigned stand for the C1 control of the same number, as Windows maps them.
char32_t AnsiCharOf(unsigned char byte);
// The byte of a Unicode character in program text, or -1 when the code page has none.
int AnsiByteOf(char32_t c);

std::u16string AnsiToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t c);

// One UTF-8 character at the start of `text`: its code point and byte count. `size` is 0 when
// the text ends inside the character; `valid` is false for a byte that starts no character (a
// stray continuation, an overlong form, a surrogate, beyond U+10FFFF), whose size is then 1.
struct Utf8Char {
  char32_t c = 0;
  std::size_t size = 0;
  bool valid = true;
};
Utf8Char DecodeUtf8(std::string_view text);

// Unicode text as program text. Never a substitute byte: the conversion stops at the first
// character the code page has no form for (or the first malformed sequence) and says which.
struct AnsiConversion {
  std::string text;  // the text up to the failure
  bool ok = true;
  bool malformed = false;  // the input was not well-formed UTF-8 / UTF-16 there
  char32_t missing = 0;    // !ok && !malformed: the character without a single-byte form
  std::size_t at = 0;      // !ok: where in the input (bytes, or 16-bit units)
};
AnsiConversion Utf8ToAnsi(std::string_view utf8);
AnsiConversion Utf16ToAnsi(std::u16string_view utf16);

// A character as messages name it: U+0159 'ř' (the character itself in UTF-8 when printable).
std::string DescribeChar(char32_t c);
// Why a conversion failed, in words: "the character U+0159 'ř' has no form in the program's
// code page (1250)" or "it is not valid UTF-8".
std::string AnsiConversionProblem(const AnsiConversion& conversion, std::string_view encoding);

// The code page's name for messages: "1250", or on Windows the ANSI code page's number.
std::string AnsiCodePageName();
// The name a document written in the program's single-byte text declares ("windows-1250"), so
// that a reader never takes its bytes for UTF-8 (a Polish "ÓŁ" is also the UTF-8 of U+04E3).
std::string AnsiEncodingName();

}  // namespace vantrel
