// Error texts, the text, time stamp and base64 helpers, and the library's message boxes.
#include <algorithm>

#include "runtime/errors/error_codes.h"
#include "runtime/system/local_time.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

struct ErrorEntry {
  std::int16_t code;
  const char* text;
};

constexpr ErrorEntry kErrors[] = {
    {error_code::kFileNotFound, "File not found."},
    {error_code::kPathNotFound, "Path not found."},
    {error_code::kTooManyOpenFiles, "Too Many Open Files."},
    {error_code::kAccessDenied, "Access Denied."},
    {error_code::kInvalidFileName, "Invalid File Name."},
    {1000, "Error Parsing Document."},
    {1001, "Read past end of file."},
    {1002, "Read past beginning of file."},
    {1003, "Not on any record."},
    {1004, "Not in specified parent."},
    {1005, "Node Not Found."},
    {1006, "Invalid Parameters Specified."},
    {1007, "Cannot restore state. State never saved."},
    {1010, "Sibling Not Found."},
    {1011, "Child Not Found."},
    {1012, "Parent Not Found."},
    {1020, "Find Content Not Found."},
    {1050, "Not a valid XML file."},
    {1051, "Missing attribute Tag in XML file."},
    {1052, "Missing element Tag in XML file."},
    {1053, "Missing end of comment tag in XML file."},
    {1054, "Missing end of CDATA tag in XML file."},
    {1055, "Unable to Create Binary File."},
    {1056, "Unable to Open Binary File."},
    {1057, "Not a regular file."},
    {1058, "File larger than the 256 MiB a document may have."},
    {1059, "Text without a single-byte form."},
    {1060, "Document nested deeper than 64 levels; the deeper elements were not loaded."},
    {1061, "A record's fields cannot be told apart."},
    {1062, "A value holds a control character that an XML 1.0 file cannot hold."},
};

}  // namespace

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string ErrorText(std::int16_t code, bool useLastError) {
  if (useLastError || code == 0) code = Lib().lastError;
  for (const ErrorEntry& e : kErrors) {
    if (e.code != code) continue;
    // The last load's own words: which character on which line.
    if (code == kErrorEncoding && code == Lib().lastError && !Lib().errorDetail.empty()) {
      return "Cannot read the text: " + Lib().errorDetail + ".";
    }
    // Which record, and what makes its fields ambiguous.
    if (code == kErrorAmbiguousRecord && code == Lib().lastError && !Lib().errorDetail.empty()) {
      return "A record's fields cannot be told apart: " + Lib().errorDetail + ".";
    }
    return e.text;
  }
  return "Error: " + std::to_string(code);
}

std::int16_t LastError() { return Lib().lastError; }

std::string Iso8601Stamp() { return FormatIso8601(CurrentLocalTime(), CurrentTimeZone()); }

std::string Base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t group = 0;
  int have = 0;  // alphabet characters in the group, the pad included
  int bits = 0;  // of them, those that carry data
  auto flush = [&] {
    // Two data characters make one byte, three make two, four make three.
    group <<= 6 * (4 - have);
    if (bits >= 2) out.push_back(static_cast<char>(group >> 16));
    if (bits >= 3) out.push_back(static_cast<char>(group >> 8));
    if (bits >= 4) out.push_back(static_cast<char>(group));
    group = 0;
    have = bits = 0;
  };
  for (char ch : text) {
    int v;
    if (ch >= 'A' && ch <= 'Z')
      v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z')
      v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9')
      v = ch - '0' + 52;
    else if (ch == '+')
      v = 62;
    else if (ch == '/')
      v = 63;
    else if (ch == '=')
      v = -1;
    else
      continue;  // line breaks and other characters outside the alphabet carry nothing
    group = (group << 6) | static_cast<std::uint32_t>(v < 0 ? 0 : v);
    ++have;
    if (v >= 0) ++bits;
    if (have == 4) flush();
  }
  if (have > 0) flush();
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}

}  // namespace vantrel::xml
