// Writing a queue as repeated record elements, one child element (or attribute) per field.
#include <cstring>

#include "runtime/errors/error_state.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kQueueFieldsMax = 255;
constexpr std::uint32_t kArrayElementsMax = 999999;
// Child queues nest at most this deep; a deeper one (or a queue that refers back to its own
// parent) would give a document no reader can take, and a loop would never end.
constexpr int kChildDepthMax = kMaxLevels / 2;

struct Entry {
  std::string element;
  const FieldDesc* field;
  std::vector<std::string> ancestors;  // elements a translation puts around the field's element
};

std::vector<Entry> FieldList(const RecordLayout& layout, std::string_view recordName,
                             const QueueToXmlOptions& options) {
  const LibraryState& lib = Lib();
  std::vector<Entry> fields;
  for (int n = 1; n <= layout.FieldCount() && fields.size() < kQueueFieldsMax; ++n) {
    const std::string_view name = TrimBlanks(FieldName(layout, n));
    if (name.empty()) break;
    Entry e{{}, layout.Field(n), {}};
    if (options.keepPrefix) {
      e.element = Lower(name);
    } else {
      // The element carries the name that loading matches by: "PRE:" is not part of it.
      const std::size_t colon = name.find(':');
      e.element = std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
    }
    const std::string match = MatchName(name, options.keepPrefix);
    for (const NameTranslation& t : lib.translations) {
      if (e.field->type == FieldType::Group || e.field->type == FieldType::QueueRef) break;
      if (MatchName(t.field, options.keepPrefix) != match) continue;
      std::size_t first = 0;
      if (t.names.size() > 1 && t.lower.front() == Lower(TrimBlanks(recordName))) first = 1;
      e.ancestors.assign(t.names.begin() + static_cast<std::ptrdiff_t>(first), t.names.end() - 1);
      e.element = t.names.back();
      break;
    }
    fields.push_back(std::move(e));
  }
  return fields;
}

void WriteQueue(Queue* queue, std::string_view recordName, const QueueToXmlOptions& options,
                int depth) {
  const std::vector<Entry> fields = FieldList(queue->Layout(), recordName, options);
  const char* buffer = static_cast<const char*>(queue->Buffer());
  const std::int32_t count = QueueRecords(queue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(queue, i);
    if (RuntimeErrorCode() != 0) break;
    CreateParent(recordName);
    if (!options.fieldsAsAttributes) AddParent({}, false, true, false);
    std::vector<int> groups;          // group levels of the group elements still open
    std::vector<std::string> opened;  // translation elements still open, outermost first
    auto closeOpened = [&](std::size_t keep) {
      while (opened.size() > keep) {
        CloseParent({}, true);
        opened.pop_back();
      }
    };
    std::vector<std::pair<Queue*, const Entry*>> children;
    for (const Entry& e : fields) {
      const FieldDesc& f = *e.field;
      if (!options.fieldsAsAttributes && opened.size() > 0 &&
          (e.ancestors.empty() || f.type == FieldType::Group)) {
        closeOpened(0);
      }
      while (!groups.empty() && f.groupLevel <= groups.back()) {
        closeOpened(0);
        if (!options.fieldsAsAttributes) CloseParent({}, true);
        groups.pop_back();
      }
      if (f.type == FieldType::Group) {
        groups.push_back(f.groupLevel);
        if (!options.fieldsAsAttributes) {
          CreateParent(e.element);
          AddParent({}, false, true, false);
        }
        continue;
      }
      if (f.type == FieldType::QueueRef) {
        Queue* child = nullptr;
        std::memcpy(&child, buffer + f.offset, sizeof(child));
        if (child && QueueRecords(child) > 0 && depth < kChildDepthMax) {
          if (options.fieldsAsAttributes) {
            children.emplace_back(child, &e);  // after the start tag that the attributes make
          } else {
            WriteQueue(child, e.element, options, depth + 1);
          }
        }
        continue;
      }
      const std::uint32_t elements = std::min(f.elements, kArrayElementsMax);
      for (std::uint32_t k = 0; k < elements; ++k) {
        const std::string text = FieldValueText(f, buffer, k);
        if (text.empty() && (elements > 1 || options.skipEmpty)) continue;
        if (options.fieldsAsAttributes) {
          AddAttribute(e.element, text);
          continue;
        }
        // Elements the previous field opened stay open as far as this one shares them.
        std::size_t shared = 0;
        while (shared < opened.size() && shared < e.ancestors.size() &&
               Lower(opened[shared]) == Lower(e.ancestors[shared])) {
          ++shared;
        }
        closeOpened(shared);
        for (std::size_t a = shared; a < e.ancestors.size(); ++a) {
          CreateParent(e.ancestors[a]);
          AddParent({}, false, true, false);
          opened.push_back(e.ancestors[a]);
        }
        Emit("<" + e.element + ">" + Escape(text) + "</" + e.element + ">");
      }
    }
    if (!options.fieldsAsAttributes) {
      closeOpened(0);
      while (!groups.empty()) {
        CloseParent({}, true);
        groups.pop_back();
      }
      CloseParent({}, true);
    } else if (!children.empty()) {
      AddParent({}, false, true, false);
      for (const auto& [child, e] : children) WriteQueue(child, e->element, options, depth + 1);
      CloseParent({}, true);
    } else if (options.selfClosing) {
      AddParent({}, true, false, true);
    } else {
      AddParent({}, false, true, false);
      CloseParent({}, true);
    }
  }
}

}  // namespace

void QueueToXML(Queue* queue, std::string_view recordName, const QueueToXmlOptions& options) {
  if (queue) WriteQueue(queue, recordName, options, 0);
}

}  // namespace vantrel::xml
