// Base64 side files: binary data kept in a file beside the document, its base64 in an element.
#include <algorithm>

#include "runtime/byte_file.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kBase64Line = 76;
constexpr const char* kTemporarySuffix = ".vtmp";

// A bare side name lies in the document's folder; one that names a folder is taken as it is.
std::string SidePath(std::string_view document, std::string_view sideName) {
  const std::string_view name = TrimBlanks(sideName);
  if (name.find_first_of("/\\:") != std::string_view::npos) return std::string(name);
  const std::size_t slash = document.find_last_of("/\\");
  if (slash == std::string_view::npos) return std::string(name);
  return std::string(document.substr(0, slash + 1)) + std::string(name);
}

// Writes the bytes as the whole new content of the file: beside it first, then renamed over
// it, so a failure never leaves half a file under the name (and over the file its links lead
// to, so a link stays a link).
bool WriteWhole(const std::string& name, std::string_view bytes) {
  const std::string path = ByteFile::LinkTarget(name);
  const std::string temporary = path + kTemporarySuffix;
  if (!ByteFile::Create(temporary)) return false;
  ByteFile file;
  bool ok = file.Open(temporary, kReadWriteDenyWrite) && file.Append(bytes.data(), bytes.size()) &&
            file.Sync();
  ok = file.Close() && ok;
  ok = ok && ByteFile::Rename(temporary, path);
  if (!ok) ByteFile::Remove(temporary);
  return ok;
}

bool ReadWhole(const std::string& path, std::string* bytes) {
  ByteFile file;
  if (!file.Open(path, kAccessRead | kDenyWrite)) return false;
  std::string block(kByteFileBlock, '\0');
  while (true) {
    const std::int64_t got = file.Read(block.data(), block.size());
    if (got < 0) return false;
    if (got == 0) break;
    bytes->append(block, 0, static_cast<std::size_t>(got));
  }
  return true;
}

}  // namespace

std::int16_t Base64ToSideFile(std::string_view sideName) {
  LibraryState& lib = Lib();
  const Document& doc = lib.document;
  if (lib.currentRecord < 1 || lib.currentRecord > doc.Records()) {
    return lib.lastError = kErrorNotOnRecord;
  }
  const std::string_view value = doc.Value(lib.currentRecord);
  if (TrimBlanks(sideName).empty()) return lib.lastError = kErrorInvalidParameters;
  // A value as long as a record keeps may have lost its end: better no file than a cut one.
  if (value.size() >= kValueMax) return lib.lastError = kErrorCreateBinary;
  if (!WriteWhole(SidePath(lib.lastFileLoaded, sideName), Base64Decode(value))) {
    return lib.lastError = kErrorCreateBinary;
  }
  return lib.lastError = 0;
}

std::int16_t AddBase64Element(std::string_view name, std::string_view sideName) {
  LibraryState& lib = Lib();
  const std::string element(TrimBlanks(name));
  if (element.empty() || TrimBlanks(sideName).empty()) return lib.lastError = kErrorInvalidParameters;
  std::string bytes;
  if (!ReadWhole(SidePath(lib.writer.fileName, sideName), &bytes)) {
    return lib.lastError = kErrorOpenBinary;
  }
  const std::string text = Base64Encode(bytes);
  if (text.empty()) {
    Emit("<" + element + "></" + element + ">");
  } else {
    // Lines of 76 characters keep every line far below the line buffer; a reader drops the
    // line breaks and Base64Decode the indentation.
    Emit("<" + element + ">");
    for (std::size_t at = 0; at < text.size(); at += kBase64Line) {
      Emit(std::string_view(text).substr(at, kBase64Line));
    }
    Emit("</" + element + ">");
  }
  return lib.lastError = 0;
}

}  // namespace vantrel::xml
