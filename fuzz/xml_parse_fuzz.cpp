// Fuzz target for the XML parser and the queue loader: any bytes must parse without a fault, and
// whatever document results must survive FindNode, LoadQueue (with name translations and nested
// lists too), the moves and writing it back.
//
// The first byte picks the options; the rest is the document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/item_tables.h"
#include "xml/document.h"
#include "xml/xml.h"

using namespace vantrel;

namespace {

// A record that holds a list of records like itself, so that a document nests as deep as it goes.
struct NodeRecord {
  char NAME[16];
  Queue* NODE;
};
constexpr FieldDesc kNodeFields[] = {TextField("N:NAME", "Name", offsetof(NodeRecord, NAME), 16),
                                     QueueRefField("N:NODE", "Node", offsetof(NodeRecord, NODE))};
constexpr RecordLayout kNodeLayout{kNodeFields, sizeof(NodeRecord)};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  xml::Reset();
  if (flags & 0x01) xml::SetCurrentEncoding("UTF-8");
  if (flags & 0x02) xml::AddReplacement("a", "&amp;");
  xml::LoadText(text, {.quiet = true, .stopAtBody = (flags & 0x04) != 0});
  if (flags & 0x08) xml::LoadText(text, {.append = true, .quiet = true});

  const xml::Document& doc = xml::ThreadDocument();
  // Every record's names and value must be readable.
  std::size_t total = 0;
  for (std::int32_t n = 1; n <= doc.Records(); ++n) {
    for (int l = 1; l <= doc.Depth(n); ++l) total += doc.Name(n, l).size();
    total += doc.Value(n).size();
  }
  if (doc.Records() > 0) {
    static xml::DocumentRecord image;
    doc.ReadRecord(doc.Records(), &image);
  }

  // Search for the first record's top names, then load what lies below. Copies: the names are
  // searched for again after the document is parsed anew, which frees the old one.
  const std::string first(doc.Records() > 0 ? doc.Name(1, 1) : "registryitems");
  const std::string second(doc.Records() > 0 ? doc.Name(1, 2) : "registryitem");
  app::XmlQueue queue;
  if (xml::FindNode(first, second, {}, {}, {}, (flags & 0x10) != 0) == 0) {
    xml::LoadQueue(&queue, {.deep = (flags & 0x20) != 0,
                            .recordBoundary = (flags & 0x40) != 0,
                            .repeatStartsRecord = (flags & 0x80) == 0,
                            .maximumRecords = flags & 0x03,
                            .keepPrefix = (flags & 0x04) != 0});
  }
  // The settings file's strict reading of the same list: each record element one entry or a
  // refusal, with the texts the parser changed reported.
  std::int32_t altered = 0;
  if (xml::FindNode(first, second) == 0) {
    app::XmlQueue strict;
    xml::LoadQueueOptions options{.deep = true, .recordBoundary = true, .strict = true};
    options.onAltered = [&altered](std::int32_t, const FieldDesc&) { ++altered; };
    xml::LoadQueue(&strict, options);
    if (xml::LastError() != 0 && xml::LastError() != xml::kErrorAmbiguousRecord) std::abort();
    (void)xml::ErrorText(0, true);
    QueueFree(&strict);
  }
  xml::FindNode("registryitems", "registryitem");
  xml::GotoChild();
  xml::GotoNextSibling();
  xml::GotoParent();

  // Write what was loaded to the in-memory document (no file is open).
  xml::CreateParent("RegistryItems");
  xml::AddParent();
  xml::QueueToXML(&queue, "RegistryItem");
  xml::CloseParent();

  if (flags & 0x02) {
    // The same document through translations and nested lists, loaded and written back.
    std::vector<std::unique_ptr<NodeRecord>> buffers;
    std::vector<std::unique_ptr<Queue>> lists;
    xml::AddNameTranslation("Name", "node/key/name");
    xml::AddNameTranslation("KeyName", "a/b");
    xml::AddNestedList("Node", (flags & 0x20) != 0, [&] {
      buffers.push_back(std::make_unique<NodeRecord>());
      lists.push_back(std::make_unique<Queue>(kNodeLayout, buffers.back().get()));
      return lists.back().get();
    });
    NodeRecord root{};
    Queue nodes(kNodeLayout, &root);
    xml::LoadText(text, {.quiet = true});
    if (xml::FindNode(first) == 0) {
      xml::SaveState();
      xml::LoadQueue(&nodes, {.deep = (flags & 0x40) != 0, .recordBoundary = true});
      xml::RestoreState();
    }
    xml::QueueToXML(&nodes, "Node");
    xml::QueueToXML(&queue, "RegistryItem");
    xml::ClearNestedLists();  // its maker refers to this call's lists
  }
  xml::ClearReplacements();
  return total == static_cast<std::size_t>(-1);
}
