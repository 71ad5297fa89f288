// Loading a caller's queue from the records below the current parent, fields matched by name.
#include <algorithm>
#include <cstring>

#include "runtime/error_state.h"
#include "runtime/fixed_text.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr int kFieldMapMax = 128;

bool IsNumber(FieldType t) {
  return t == FieldType::Long || t == FieldType::Short || t == FieldType::Byte;
}

// The runtime's conversion of text to a number: leading blanks, a sign, digits; a fraction is
// cut off and anything that is not a number gives 0.
std::int64_t TextToNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t v = 0;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 18) {
    v = v * 10 + (text[i++] - '0');
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (digits == 0 || i != text.size()) return 0;
  return negative ? -v : v;
}

void StoreNumber(char* at, FieldType type, std::int64_t v) {
  if (type == FieldType::Long) {
    const std::int32_t x = static_cast<std::int32_t>(v);
    std::memcpy(at, &x, 4);
  } else if (type == FieldType::Short) {
    const std::int16_t x = static_cast<std::int16_t>(v);
    std::memcpy(at, &x, 2);
  } else {
    *at = static_cast<char>(static_cast<std::uint8_t>(v));
  }
}

bool ElementEmpty(const char* at, const FieldDesc& f) {
  const std::uint32_t size = f.ElementSize();
  if (f.type == FieldType::String) {
    for (std::uint32_t i = 0; i < size; ++i) {
      if (at[i] != ' ') return false;
    }
    return true;
  }
  for (std::uint32_t i = 0; i < size; ++i) {
    if (at[i] != 0) return false;
  }
  return true;
}

// De-formats a text by a display picture. String pictures show text unchanged; a number picture
// may carry grouping and currency characters, which go.
std::string Deformat(std::string_view text, std::string_view picture) {
  picture = TrimBlanks(picture);
  if (picture.size() >= 2 && picture[0] == '@' && (picture[1] == 'n' || picture[1] == 'N')) {
    std::string out;
    for (char c : text) {
      if ((c >= '0' && c <= '9') || c == '-' || c == '.') out.push_back(c);
    }
    return out;
  }
  return std::string(text);
}

struct MapEntry {
  std::string match;
  const FieldDesc* field;
};

class QueueLoader {
 public:
  QueueLoader(LibraryState& lib, Queue* queue, const LoadQueueOptions& options)
      : lib_(lib), queue_(queue), options_(options),
        buffer_(static_cast<char*>(queue->Buffer())) {
    const RecordLayout& layout = queue->Layout();
    for (int n = 1; n <= layout.FieldCount() && n <= kFieldMapMax; ++n) {
      const std::string_view name = FieldName(layout, n);
      if (name.empty()) break;
      const FieldDesc* f = layout.Field(n);
      if (f->type == FieldType::Group) continue;
      map_.push_back(MapEntry{MatchName(name, options.keepPrefix), f});
    }
    ClearRecord();
  }

  bool Finished() const { return finished_; }
  bool Assembling() const { return hasData_; }

  void Match(std::string_view matchName, std::string_view value) {
    for (const MapEntry& e : map_) {
      if (CompareBlankPadded(e.match, matchName) != 0) continue;
      FieldSetting* setting = SettingFor(e.match);
      if (options_.repeatStartsRecord && Full(*e.field)) {
        Complete();
        if (finished_) return;
      }
      std::string text(value);
      if (setting && !TrimBlanks(setting->picture).empty()) text = Deformat(text, setting->picture);
      Assign(*e.field, text);
      if (!TrimBlanks(value).empty()) {
        hasData_ = true;
        if (setting) setting->filled = true;
      }
      if (setting && setting->forceWrite) Complete();
      return;
    }
  }

  // Adds the assembled entry when it has data and every required field was filled, then starts
  // a fresh one.
  void Complete() {
    bool required = true;
    for (const FieldSetting& s : lib_.fieldSettings) {
      if (s.required && !s.filled) required = false;
    }
    if (hasData_ && required) {
      QueueAdd(queue_);
      if (RuntimeErrorCode() == 0) {
        ++added_;
        if (options_.onCut) {
          for (const FieldDesc* f : cut_) options_.onCut(QueueRecords(queue_), *f);
        }
      }
    }
    ClearRecord();
    if (options_.maximumRecords > 0 && added_ >= options_.maximumRecords) finished_ = true;
  }

 private:
  FieldSetting* SettingFor(const std::string& match) {
    for (FieldSetting& s : lib_.fieldSettings) {
      if (s.name == match) return &s;
    }
    return nullptr;
  }

  bool Full(const FieldDesc& f) const {
    for (std::uint32_t e = 0; e < f.elements; ++e) {
      if (ElementEmpty(buffer_ + f.offset + e * f.ElementSize(), f)) return false;
    }
    return true;
  }

  void Assign(const FieldDesc& f, std::string_view text) {
    const std::uint32_t size = f.ElementSize();
    char* at = buffer_ + f.offset;
    if (f.elements > 1) {
      // An array takes successive occurrences, each in its first empty element.
      std::uint32_t e = 0;
      while (e < f.elements && !ElementEmpty(at + e * size, f)) ++e;
      if (e == f.elements) return;
      at += e * size;
    }
    if (f.type == FieldType::String) {
      if (TrimBlanks(text).size() > size) cut_.push_back(&f);
      const std::size_t n = std::min<std::size_t>(text.size(), size);
      std::memcpy(at, text.data(), n);
      std::memset(at + n, ' ', size - n);
    } else if (IsNumber(f.type)) {
      StoreNumber(at, f.type, TextToNumber(text));
    }
  }

  void ClearRecord() {
    for (const FieldDesc& f : queue_->Layout().fields) {
      if (f.type == FieldType::Group) continue;
      if (f.offset + f.size > queue_->RecordSize()) continue;
      std::memset(buffer_ + f.offset, f.type == FieldType::String ? ' ' : 0, f.size);
    }
    for (FieldSetting& s : lib_.fieldSettings) s.filled = false;
    hasData_ = false;
    cut_.clear();
  }

  LibraryState& lib_;
  Queue* queue_;
  const LoadQueueOptions& options_;
  char* buffer_;
  std::vector<MapEntry> map_;
  std::vector<const FieldDesc*> cut_;  // the fields of the entry being assembled that were cut
  bool hasData_ = false;
  bool finished_ = false;
  std::int32_t added_ = 0;
};

}  // namespace

std::int32_t LoadQueue(Queue* queue, const LoadQueueOptions& options) {
  LibraryState& lib = Lib();
  if (!queue) return 0;
  const Document& doc = lib.document;
  const std::vector<std::string> parent = lib.parentPath;
  const int below = static_cast<int>(parent.size()) + 1;  // L: the level just below the parent
  PathId parentId = kRootPath;
  const bool parentKnown = parent.empty() || doc.FindPath(parent, &parentId);

  QueueLoader loader(lib, queue, options);
  const std::int32_t count = doc.Records();
  std::int32_t r = lib.currentRecord == 0 ? 1 : lib.currentRecord;
  std::int32_t examined = r - 1;
  for (; r <= count && !loader.Finished(); ++r) {
    examined = r;
    const PathId p = doc.PathOf(r);
    const int depth = doc.PathDepth(p);
    if (below > 1 && (!parentKnown || depth < below - 1 || doc.Ancestor(p, below - 1) != parentId)) {
      break;
    }
    if (depth < below) {
      // The record element itself: it ends one entry.
      if (!options.recordBoundary) break;
      const std::string_view value = doc.Value(r);
      if (!TrimBlanks(value).empty() && depth > 0) loader.Match(doc.PathName(p, depth), value);
      loader.Complete();
      continue;
    }
    if (!options.deep && depth != below) continue;
    loader.Match(doc.PathName(p, depth), doc.Value(r));
  }
  if (loader.Assembling()) loader.Complete();
  lib.currentRecord = std::min(examined + 1, count);
  lib.parentPath.clear();
  return QueueRecords(queue);
}

}  // namespace vantrel::xml
