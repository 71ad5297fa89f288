// Base64 side files: binary data kept in a file beside the document, its base64 in an element.
#include <algorithm>

#include "runtime/system/byte_file.h"
#include "runtime/system/safe_replace.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kBase64Line = 76;

// The side file's path: the name taken below the document's folder. A name that could reach
// anything else is refused (empty result): one that is absolute or names a drive or stream (':'),
// holds a ".." step, does not fit the library's 384-character field, or passes through a
// symbolic link (a link planted in the folder would lead a write anywhere).
std::string SidePath(std::string_view document, std::string_view sideName) {
  const std::string_view name = TrimBlanks(sideName);
  if (name.empty() || name.size() > kFileNameMax || name.find('\0') != std::string_view::npos ||
      name.front() == '/' || name.front() == '\\' || name.find(':') != std::string_view::npos) {
    return {};
  }
  const std::size_t slash = document.find_last_of("/\\");
  const std::string folder =
      slash == std::string_view::npos ? std::string() : std::string(document.substr(0, slash + 1));
  std::string path = folder;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
    const std::string_view step = name.substr(start, end - start);
    if (step == "..") return {};
    path += step;
    if (!step.empty() && step != "." && ByteFile::LinkTarget(path) != path) return {};
    if (end == name.size()) break;
    path += name[end];
    start = end + 1;
  }
  return path;
}

// Writes the bytes as the whole new content of the file through the safe replacement: never
// half a file under the name, never through a link.
bool WriteWhole(const std::string& path, std::string_view bytes) {
  ReplaceOptions options;
  options.followLinks = false;
  return ReplaceWholeFile(path, bytes, options);
}

bool ReadWhole(const std::string& path, std::string* bytes) {
  if (!ByteFile::RegularOrMissing(path)) return false;
  ByteFile file;
  if (!file.Open(path, kAccessRead | kDenyWrite) || !file.IsRegular()) return false;
  std::string block(kByteFileBlock, '\0');
  while (true) {
    const std::int64_t got = file.Read(block.data(), block.size());
    if (got < 0) return false;
    if (got == 0) break;
    if (static_cast<std::int64_t>(bytes->size()) + got > kMaxDocumentBytes) return false;
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
  const std::string path = SidePath(lib.lastFileLoaded, sideName);
  if (path.empty() || !WriteWhole(path, Base64Decode(value))) {
    return lib.lastError = kErrorCreateBinary;
  }
  return lib.lastError = 0;
}

std::int16_t AddBase64Element(std::string_view name, std::string_view sideName) {
  LibraryState& lib = Lib();
  const std::string element(TrimBlanks(name));
  if (element.empty() || TrimBlanks(sideName).empty())
    return lib.lastError = kErrorInvalidParameters;
  std::string bytes;
  const std::string path = SidePath(lib.writer.fileName, sideName);
  if (path.empty() || !ReadWhole(path, &bytes)) {
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
