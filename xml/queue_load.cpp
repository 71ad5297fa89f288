// Loading a caller's queue from the records below the current parent, fields matched by name.
#include <algorithm>
#include <cstring>

#include "runtime/errors/error_state.h"
#include "runtime/text/fixed_text.h"
#include "runtime/text/picture.h"
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

struct MapEntry {
  std::string match;
  const FieldDesc* field;
  std::string_view name;  // the field's own name, for messages
};

// A field that holds a child queue, with the nested list that loads it.
struct NestedEntry {
  std::string match;
  const FieldDesc* field;
  const NestedList* list;
};

Queue* ChildQueue(const char* buffer, const FieldDesc& f) {
  Queue* q = nullptr;
  std::memcpy(&q, buffer + f.offset, sizeof(q));
  return q;
}

struct ScanEnd {
  std::int32_t next;  // the first record the scan did not take
  bool left;          // it stopped at a record outside its parent
};

class QueueLoader {
 public:
  QueueLoader(LibraryState& lib, Queue* queue, const LoadQueueOptions& options)
      : lib_(lib),
        doc_(lib.document),
        queue_(queue),
        options_(options),
        buffer_(static_cast<char*>(queue->Buffer())) {
    const RecordLayout& layout = queue->Layout();
    for (int n = 1; n <= layout.FieldCount() && n <= kFieldMapMax; ++n) {
      const std::string_view name = FieldName(layout, n);
      if (name.empty()) break;
      const FieldDesc* f = layout.Field(n);
      if (f->type == FieldType::Group) continue;
      const std::string match = MatchName(name, options.keepPrefix);
      if (f->type == FieldType::QueueRef) {
        for (const NestedList& list : lib.nestedLists) {
          if (MatchName(list.field, options.keepPrefix) == match) {
            nested_.push_back(NestedEntry{match, f, &list});
            break;
          }
        }
        continue;  // a reference never takes a value
      }
      map_.push_back(MapEntry{match, f, name});
    }
    // Only the settings of this queue's own fields count: a child queue's entries are not held
    // back by a field that only its parent has.
    filled_.assign(lib.fieldSettings.size(), false);
    for (std::size_t i = 0; i < lib.fieldSettings.size(); ++i) {
      bool own = false;
      for (const MapEntry& e : map_) own = own || e.match == lib.fieldSettings[i].name;
      if (own && lib.fieldSettings[i].required) required_.push_back(i);
    }
    met_.assign(map_.size(), false);
    ClearRecord();
  }

  bool Finished() const { return finished_; }
  bool Assembling() const { return hasData_; }

  // Takes the records from `start` on that lie inside `parent` (a path of depth parentDepth; the
  // whole document for depth 0). A record one level below the parent is a field, or with
  // *deep* any record further down; the parent's own record (a record element) ends an entry.
  ScanEnd Scan(std::int32_t start, PathId parent, int parentDepth, bool parentKnown) {
    const int below = parentDepth + 1;
    const std::int32_t count = doc_.Records();
    if (parentDepth > 0 && parentKnown) recordName_ = doc_.PathName(parent, parentDepth);
    std::int32_t r = start;
    while (r <= count && !finished_) {
      const PathId p = doc_.PathOf(r);
      const int depth = doc_.PathDepth(p);
      if (parentDepth > 0 &&
          (!parentKnown || depth < parentDepth || doc_.Ancestor(p, parentDepth) != parent)) {
        // An element of another name between the record elements (a note, a group of its own)
        // does not end the list: stopping there would drop the records after it unseen.
        if (options_.strict && parentKnown && depth >= parentDepth &&
            (parentDepth == 1 ||
             doc_.Ancestor(p, parentDepth - 1) == doc_.Ancestor(parent, parentDepth - 1))) {
          // But a record element inside it would be a record nobody reads: written back, the
          // file would lose it.
          for (int k = parentDepth + 1; k <= depth; ++k) {
            if (doc_.PathName(p, k) == recordName_) {
              Ambiguous("is followed by one inside " + std::string(doc_.PathName(p, parentDepth)) +
                        ", which is no list of them");
              break;
            }
          }
          if (ambiguous_) break;
          ++r;
          continue;
        }
        return ScanEnd{r, true};
      }
      if (depth < below) {
        // The record element itself: it ends one entry.
        if (!options_.recordBoundary) return ScanEnd{r, true};
        const std::string_view value = doc_.Value(r);
        if (!TrimBlanks(value).empty() && depth > 0) Match(MatchNameOf(p, depth), value, r);
        if (ambiguous_) break;
        Complete();
        ++elements_;
        ++r;
        continue;
      }
      if (options_.strict && Nested(p, depth, below)) break;
      if (!nested_.empty()) {
        if (const NestedEntry* e = NestedFor(doc_.PathName(p, below))) {
          r = LoadChildren(*e, r, doc_.Ancestor(p, below), below);
          continue;
        }
      }
      if (options_.deep || depth == below) Match(MatchNameOf(p, depth), doc_.Value(r), r);
      ++r;
    }
    return ScanEnd{r, false};
  }

  void Match(std::string_view matchName, std::string_view value, std::int32_t record) {
    for (std::size_t i = 0; i < map_.size(); ++i) {
      const MapEntry& e = map_[i];
      if (CompareBlankPadded(e.match, matchName) != 0) continue;
      if (options_.strict) {
        // A second value for the field: which one the file means cannot be told.
        if (met_[i]) {
          Ambiguous("holds " + std::string(e.name) + " twice");
          return;
        }
        met_[i] = true;
      }
      const std::ptrdiff_t setting = SettingFor(e.match);
      const FieldSetting* s =
          setting < 0 ? nullptr : &lib_.fieldSettings[static_cast<std::size_t>(setting)];
      if (options_.repeatStartsRecord && Full(*e.field)) {
        Complete();
        if (finished_) return;
      }
      std::string text(value);
      if (s && !TrimBlanks(s->picture).empty()) {
        // A text that is not of the picture's form carries no value: it neither fills the
        // field nor counts as data.
        text = DeformatPicture(s->picture, text).value_or(std::string());
      }
      Assign(*e.field, text);
      if (std::binary_search(lib_.alteredRecords.begin(), lib_.alteredRecords.end(), record))
        altered_.push_back(e.field);
      if (!TrimBlanks(text).empty()) {
        hasData_ = true;
        if (s) filled_[static_cast<std::size_t>(setting)] = true;
      }
      if (s && s->forceWrite) Complete();
      return;
    }
  }

  // Adds the assembled entry when it has data and every required field was filled, then starts
  // a fresh one.
  void Complete() {
    bool required = true;
    for (std::size_t i : required_) required = required && filled_[i];
    if (hasData_ && required) {
      QueueAdd(queue_);
      if (RuntimeErrorCode() == 0) {
        ++added_;
        if (options_.onCut) {
          for (const FieldDesc* f : cut_) options_.onCut(QueueRecords(queue_), *f);
        }
        if (options_.onAltered) {
          for (const FieldDesc* f : altered_) options_.onAltered(QueueRecords(queue_), *f);
        }
      }
    }
    ClearRecord();
    if (options_.maximumRecords > 0 && added_ >= options_.maximumRecords) finished_ = true;
  }

 private:
  // The field a match name fills, or null.
  const MapEntry* FieldFor(std::string_view matchName) const {
    for (const MapEntry& e : map_) {
      if (CompareBlankPadded(e.match, matchName) == 0) return &e;
    }
    return nullptr;
  }

  // Whether the record (below the record element's children) is a field, or an element named
  // like the record element, inside a field's element or another such element: its value would
  // go into this entry from where no field belongs. Says so (Ambiguous) when it is.
  bool Nested(PathId p, int depth, int below) {
    const std::string_view name = doc_.PathName(p, depth);
    const bool recordNamed = !recordName_.empty() && name == recordName_;
    if (recordNamed) {
      Ambiguous("holds another " + std::string(recordName_) + " element");
      return true;
    }
    if (depth == below) return false;
    const MapEntry* field = FieldFor(MatchNameOf(p, depth));
    if (!field) return false;
    for (int level = below; level < depth; ++level) {
      const PathId a = doc_.Ancestor(p, level);
      const MapEntry* outer = FieldFor(MatchNameOf(a, level));
      if (outer) {
        Ambiguous("holds " + std::string(field->name) + " inside " + std::string(outer->name));
        return true;
      }
      if (doc_.PathName(a, level) == recordName_) {
        Ambiguous("holds another " + std::string(recordName_) + " element");
        return true;
      }
    }
    return false;
  }

  // Ends a strict load at the record element being read: its entry is not added.
  void Ambiguous(const std::string& what) {
    lib_.lastError = kErrorAmbiguousRecord;
    lib_.errorDetail = (recordName_.empty() ? std::string("record") : std::string(recordName_)) +
                       " element " + std::to_string(elements_ + 1) + " " + what;
    ClearRecord();
    finished_ = ambiguous_ = true;
  }

  std::ptrdiff_t SettingFor(const std::string& match) const {
    for (std::size_t i = 0; i < lib_.fieldSettings.size(); ++i) {
      if (lib_.fieldSettings[i].name == match) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }

  // The name a record is matched by: a translation's field, or its own name.
  std::string_view MatchNameOf(PathId p, int depth) {
    if (!lib_.translations.empty()) {
      if (const NameTranslation* t = TranslationFor(doc_, p)) {
        translated_ = MatchName(t->field, options_.keepPrefix);
        return translated_;
      }
    }
    return doc_.PathName(p, depth);
  }

  const NestedEntry* NestedFor(std::string_view name) const {
    for (const NestedEntry& e : nested_) {
      if (CompareBlankPadded(e.match, name) == 0) return &e;
    }
    return nullptr;
  }

  // Loads the child elements that start at record r (path `child`, at level `level`) into the
  // entry's child queue, made on first need. Returns the first record after them.
  std::int32_t LoadChildren(const NestedEntry& e, std::int32_t r, PathId child, int level) {
    Queue* queue = ChildQueue(buffer_, *e.field);
    if (!queue && e.list->make) {
      queue = e.list->make();
      std::memcpy(buffer_ + e.field->offset, &queue, sizeof(queue));
    }
    if (!queue) {
      const std::int32_t count = doc_.Records();
      while (r <= count && doc_.PathDepth(doc_.PathOf(r)) >= level &&
             doc_.Ancestor(doc_.PathOf(r), level) == child) {
        ++r;
      }
      return r;
    }
    const LoadQueueOptions childOptions{.deep = e.list->deep,
                                        .recordBoundary = true,
                                        .repeatStartsRecord = true,
                                        .maximumRecords = 0,
                                        .keepPrefix = options_.keepPrefix};
    QueueLoader children(lib_, queue, childOptions);
    const ScanEnd end = children.Scan(r, child, level, true);
    if (children.Assembling()) children.Complete();
    if (QueueRecords(queue) > 0) hasData_ = true;
    return end.next;
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
    // A child queue reference goes back to null: the next entry gets its own child queue.
    for (const FieldDesc& f : queue_->Layout().fields) {
      if (f.type == FieldType::Group) continue;
      if (f.offset + f.size > queue_->RecordSize()) continue;
      std::memset(buffer_ + f.offset, f.type == FieldType::String ? ' ' : 0, f.size);
    }
    filled_.assign(filled_.size(), false);
    met_.assign(met_.size(), false);
    hasData_ = false;
    cut_.clear();
    altered_.clear();
  }

  LibraryState& lib_;
  const Document& doc_;
  Queue* queue_;
  const LoadQueueOptions& options_;
  char* buffer_;
  std::vector<MapEntry> map_;
  std::vector<NestedEntry> nested_;
  std::vector<const FieldDesc*> cut_;      // the fields of the entry being assembled that were cut
  std::vector<const FieldDesc*> altered_;  // ... and those whose text was not as written
  std::vector<bool> met_;                  // per map entry: met in this record element (strict)
  std::string_view recordName_;            // the record element's name (lower-cased)
  std::int32_t elements_ = 0;              // record elements read to their end
  std::vector<bool> filled_;               // per FieldSettings entry
  std::vector<std::size_t> required_;
  std::string translated_;
  bool hasData_ = false;
  bool finished_ = false;
  bool ambiguous_ = false;
  std::int32_t added_ = 0;
};

}  // namespace

void AddNestedList(std::string_view fieldName, bool deep, ChildQueueMaker make) {
  Lib().nestedLists.push_back(
      NestedList{std::string(TrimBlanks(fieldName)), deep, std::move(make)});
}

void ClearNestedLists() { Lib().nestedLists.clear(); }

std::int32_t LoadQueue(Queue* queue, const LoadQueueOptions& options) {
  LibraryState& lib = Lib();
  if (!queue) return 0;
  const Document& doc = lib.document;
  PathId parentId = kRootPath;
  const bool parentKnown = lib.parentPath.empty() || doc.FindPath(lib.parentPath, &parentId);

  QueueLoader loader(lib, queue, options);
  if (options.strict) {
    lib.lastError = 0;
    lib.errorDetail.clear();
  }
  const std::int32_t count = doc.Records();
  const std::int32_t start = lib.currentRecord == 0 ? 1 : lib.currentRecord;
  const ScanEnd end =
      loader.Scan(start, parentId, static_cast<int>(lib.parentPath.size()), parentKnown);
  if (loader.Assembling()) loader.Complete();
  // The record that ended the load counts as examined; the next search starts after it.
  const std::int32_t examined = end.left ? end.next : end.next - 1;
  lib.currentRecord = std::min(examined + 1, count);
  lib.parentPath.clear();
  if (lib.savedState.saved && !RepositionOnSavedState(lib)) {
    LibraryMessage("An exception error occurred.||Call: XMLKIT.DLL[XML:LoadQueue]||Error: " +
                       RuntimeErrorText(),
                   "XMLKIT Exception Occurred");
  }
  return QueueRecords(queue);
}

}  // namespace vantrel::xml
