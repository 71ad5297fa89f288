// Fuzz target for the registry file reader: any bytes must load and be read key by key without a
// fault; a file that validates must take a change of one value, be written, read back and hold
// exactly what it held before plus that change.
//
// The input is the file itself and the change is picked from a hash of it, so the corpus stays
// a set of readable .reg files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/system/store/wine_registry_file.h"

using namespace vantrel::store;

namespace {

struct KeyImage {
  bool hasClass = false;
  std::u16string keyClass;
  bool link = false;
  std::vector<RegValue> values;
};

// Everything a reader sees of a file: each key by its path, with its class, link mark and values.
using Image = std::map<std::vector<std::u16string>, KeyImage>;

void Collect(RegistryFile& file, RegistryFile::Node* node, std::vector<std::u16string>& path,
             Image& image, std::vector<RegistryFile::Node*>* nodes) {
  if (nodes) nodes->push_back(node);
  const KeyContent* c = file.Content(node);
  KeyImage& key = image[path];
  key.hasClass = c->hasClass;
  key.keyClass = c->keyClass;
  key.link = c->link;
  key.values = c->values;
  for (RegistryFile::Node* child : file.Children(node)) {
    path.emplace_back(child->name);
    Collect(file, child, path, image, nodes);
    path.pop_back();
  }
}

Image Read(RegistryFile& file, std::vector<RegistryFile::Node*>* nodes) {
  Image image;
  std::vector<std::u16string> path;
  Collect(file, file.Root(), path, image, nodes);
  return image;
}

bool SameKeys(const Image& a, const Image& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first) return false;
    const KeyImage &x = i->second, &y = j->second;
    if (x.hasClass != y.hasClass || x.keyClass != y.keyClass || x.link != y.link) return false;
    if (x.values.size() != y.values.size()) return false;
    // Values compare by name: their order in the key does not matter to a reader.
    for (const RegValue& v : x.values) {
      bool found = false;
      for (const RegValue& w : y.values)
        if (w.name == v.name && w.type == v.type && w.data == v.data) found = true;
      if (!found) return false;
    }
  }
  return true;
}

std::vector<std::u16string> PathOf(RegistryFile::Node* node) {
  std::vector<std::u16string> path;
  for (; node && node->parent; node = node->parent)
    path.insert(path.begin(), std::u16string(node->name));
  return path;
}

void SetValue(std::vector<RegValue>& values, const RegValue& value) {
  for (RegValue& v : values)
    if (SameName(v.name, value.name)) {
      v.type = value.type;
      v.data = value.data;
      return;
    }
  values.push_back(value);
}

[[noreturn]] void Fault(const char* what, const std::string& text) {
  std::fprintf(stderr, "store_file_fuzz: %s\n--- written file ---\n%s\n---\n", what, text.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RegistryFile file;
  if (!file.Load(text)) return 0;
  file.HeaderRoot();
  std::vector<RegistryFile::Node*> nodes;
  Image before = Read(file, &nodes);
  if (!file.Validate()) return 0;

  // The change: one value of one key (or of a new sub-key), picked by a hash of the file.
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : text) h = (h ^ b) * 1099511628211ull;
  constexpr std::uint64_t kTime = 0x1dd88610ee17a40ull;
  RegistryFile::Node* node = nodes[h % nodes.size()];
  h /= nodes.size();
  if (h % 4 == 0) {
    std::vector<std::u16string> path = PathOf(node);
    path.push_back(u"Fuzz Sub");
    bool created = false;
    node = file.CreatePath(path, kTime, created);
  }
  h /= 4;
  static const std::u16string kNames[] = {u"",         u"new",       std::u16string(u"n\0", 2),
                                          u"a\\b\"c]", u"\x17e\xfd", std::u16string(u"n")};
  RegValue value;
  KeyContent* content = file.Modify(node, kTime);
  if (!content->values.empty() && h % 3 == 0)
    value.name = content->values[(h / 3) % content->values.size()].name;
  else
    value.name = kNames[(h / 3) % std::size(kNames)];
  h /= 3 * std::size(kNames);
  static const std::uint32_t kTypes[] = {1, 2, 7, 4, 3, 0, 11, 0x12345};
  value.type = kTypes[h % std::size(kTypes)];
  h /= std::size(kTypes);
  // String types get UTF-16 with a terminator most of the time; the rest get raw input bytes.
  std::string bytes = text.substr(text.size() / 2, h % 24);
  if ((value.type == 1 || value.type == 2 || value.type == 7) && h % 5 != 0) {
    for (char c : bytes) value.data += std::string{c, '\0'};
    value.data += std::string(2, '\0');
  } else if (value.type == 4) {
    value.data = (bytes + std::string(4, '\x5a')).substr(0, 4);
  } else {
    value.data = bytes;
  }
  content->Set(value);
  Image expected = before;
  KeyImage& changed = expected[PathOf(node)];
  SetValue(changed.values, value);

  const std::string written = file.Serialize();
  RegistryFile again;
  if (!again.Load(written)) Fault("the written file does not load", written);
  if (!again.Validate())
    Fault(("the written file does not validate: " + again.Problem()).c_str(), written);
  if (!SameKeys(Read(again, nullptr), expected))
    Fault("the written file reads back differently", written);
  return 0;
}
