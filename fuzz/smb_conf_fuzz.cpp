// Fuzz target for the smb.conf reader and writer: any bytes must load or be refused without a
// fault; a file that loads must take a change of one parameter (set or removed), be written,
// read back and hold exactly what it held before plus that change, with every line it did not
// concern unchanged. Read with its include lines followed, it must stay within the bounds on
// includes and give back only its own text.
//
// The input is the file itself; which parameter changes and how is picked from a hash of it, so
// the corpus stays a set of readable smb.conf files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/system/store/smb_conf.h"

using vantrel::store::SmbConf;

namespace {

struct Image {
  std::vector<std::string> sections;
  std::vector<std::vector<SmbConf::Parameter>> parameters;
};

Image Take(const SmbConf& conf) {
  Image image;
  image.sections = conf.Sections();
  for (const std::string& s : image.sections) image.parameters.push_back(conf.Parameters(s));
  return image;
}

// Says which expectation failed before stopping, so a crash names its line.
void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "smb_conf_fuzz: check at line %d failed\n", line);
  std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

// The value a parameter has in an image, or nullptr.
const std::string* Find(const Image& image, std::size_t section, const std::string& key) {
  for (const SmbConf::Parameter& p : image.parameters[section])
    if (SmbConf::ParameterKey(p.name) == key) return &p.value;
  return nullptr;
}

// The files include lines name: the first few are the input again (includes of includes, of
// itself by another name), the rest a share of their own, so that loads also end well.
SmbConf::IncludeReader Reader(const std::string& text, int& reads) {
  reads = 0;
  return [&text, &reads](const std::string&, std::string& out, std::string&) {
    out = reads++ < 3 ? text : std::string("[more]\n oplocks = yes\n");
    return true;
  };
}

// Read with its includes, the load ends within its bounds, never gives back the included text,
// and a change it accepts is what the text then reads with the same includes.
void WithIncludes(const std::string& text) {
  int reads = 0;
  SmbConf conf;
  if (!conf.Load(text, Reader(text, reads))) return;
  Check(conf.Text() == text);
  const std::vector<std::string> sections = conf.Sections();
  if (sections.empty()) return;
  bool changed = false;
  if (!conf.Set(sections.back(), "oplocks", "0", changed)) return;
  SmbConf again;
  Check(again.Load(conf.Text(), Reader(text, reads)));
  const auto got = again.Get(sections.back(), "oplocks");
  Check(got && *got == "0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  WithIncludes(text);
  SmbConf conf;
  if (!conf.Load(text)) {
    bool changed = false;
    Check(!conf.Set("global", "oplocks", "0", changed) && conf.Text().empty());
    return 0;
  }
  // Read whole, the file is given back byte for byte.
  Check(conf.Text() == text);
  const Image before = Take(conf);
  if (before.sections.empty()) return 0;
  std::uint64_t hash = 1469598103934665603ull;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  const std::size_t section = hash % before.sections.size();
  const auto& params = before.parameters[section];
  std::string name = params.empty() || (hash >> 8) % 4 == 0
                         ? "oplocks"
                         : params[(hash >> 16) % params.size()].name;
  const std::string key = SmbConf::ParameterKey(name);
  const bool remove = (hash >> 40) % 3 == 0;
  const std::string value = (hash >> 44) % 2 ? "0" : "a value";
  bool changed = false;
  if (remove) {
    Check(conf.Remove(before.sections[section], name) == (Find(before, section, key) != nullptr));
  } else {
    Check(conf.Set(before.sections[section], name, value, changed));
  }
  const std::string written = conf.Text();
  SmbConf again;
  Check(again.Load(written));
  const Image after = Take(again);
  // Sections (a removal may leave [global] only implied... or gone when its lines were all
  // parameters before any section) and every other parameter as before.
  for (std::size_t s = 0; s < before.sections.size(); ++s) {
    const bool kept = again.HasSection(before.sections[s]);
    Check(kept || (remove && s == section));
    if (!kept) continue;
    const std::vector<SmbConf::Parameter> now = again.Parameters(before.sections[s]);
    for (const SmbConf::Parameter& p : before.parameters[s]) {
      if (s == section && SmbConf::ParameterKey(p.name) == key) continue;
      const auto v = again.Get(before.sections[s], p.name);
      Check(v && *v == p.value);
    }
    std::size_t others = 0;
    for (const SmbConf::Parameter& p : now)
      others += !(s == section && SmbConf::ParameterKey(p.name) == key);
    std::size_t othersBefore = 0;
    for (const SmbConf::Parameter& p : before.parameters[s])
      othersBefore += !(s == section && SmbConf::ParameterKey(p.name) == key);
    Check(others == othersBefore);
  }
  Check(after.sections.size() <= before.sections.size());
  const auto got = again.Get(before.sections[section], name);
  if (remove)
    Check(!got);
  else
    Check(got && *got == value);
  return 0;
}
