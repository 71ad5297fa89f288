// Writing a queue as repeated record elements, one child element (or attribute) per field.
#include <cstring>

#include "runtime/error_state.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kQueueFieldsMax = 255;
constexpr std::uint32_t kArrayElementsMax = 999999;

std::string FieldText(const char* buffer, const FieldDesc& f, std::uint32_t element) {
  return FieldValueText(f, buffer, element);
}

}  // namespace

void QueueToXML(Queue* queue, std::string_view recordName, const QueueToXmlOptions& options) {
  if (!queue) return;
  struct Entry {
    std::string element;
    const FieldDesc* field;
  };
  const RecordLayout& layout = queue->Layout();
  std::vector<Entry> fields;
  for (int n = 1; n <= layout.FieldCount() && fields.size() < kQueueFieldsMax; ++n) {
    const std::string_view name = TrimBlanks(FieldName(layout, n));
    if (name.empty()) break;
    std::string element;
    if (options.keepPrefix) {
      element = Lower(name);
    } else {
      // The element carries the name that loading matches by: "PRE:" is not part of it.
      const std::size_t colon = name.find(':');
      element = std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
    }
    fields.push_back(Entry{element, layout.Field(n)});
  }
  const char* buffer = static_cast<const char*>(queue->Buffer());
  const std::int32_t count = QueueRecords(queue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(queue, i);
    if (RuntimeErrorCode() != 0) break;
    CreateParent(recordName);
    if (!options.fieldsAsAttributes) AddParent({}, false, true, false);
    std::vector<int> groups;  // group levels of the group elements still open
    for (const Entry& e : fields) {
      const FieldDesc& f = *e.field;
      while (!groups.empty() && f.groupLevel <= groups.back()) {
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
      const std::uint32_t elements = std::min(f.elements, kArrayElementsMax);
      for (std::uint32_t k = 0; k < elements; ++k) {
        const std::string text = FieldText(buffer, f, k);
        if (text.empty() && (elements > 1 || options.skipEmpty)) continue;
        if (options.fieldsAsAttributes) {
          AddAttribute(e.element, text);
        } else {
          Emit("<" + e.element + ">" + Escape(text) + "</" + e.element + ">");
        }
      }
    }
    if (!options.fieldsAsAttributes) {
      while (!groups.empty()) {
        CloseParent({}, true);
        groups.pop_back();
      }
      CloseParent({}, true);
    } else if (options.selfClosing) {
      AddParent({}, true, false, true);
    } else {
      AddParent({}, false, true, false);
      CloseParent({}, true);
    }
  }
}

}  // namespace vantrel::xml
