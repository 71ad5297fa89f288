// vantrelctl xml dump|load|write: the XML library as the application uses it, for scripts and
// for looking into a settings file.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/item_tables.h"
#include "tools/commands.h"
#include "tools/text_escapes.h"
#include "xml/document.h"
#include "xml/xml.h"

namespace vantrel::tools {

namespace {

constexpr int kOk = kExitOk;

int Usage(std::string_view message) { return UsageError(message); }

// The library's failure on that file, in vantrelctl's one form of failures.
int Failed(std::string_view file, std::int16_t code) {
  return Failure(file, xml::ErrorText(code) + " (error " + std::to_string(code) + ")");
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

int Dump(std::string_view file) {
  const std::int16_t code = xml::LoadFile(file, {.quiet = true});
  const xml::Document& doc = xml::ThreadDocument();
  for (std::int32_t n = 1; n <= doc.Records(); ++n) {
    std::string line;
    for (int level = 1; level <= doc.Depth(n); ++level) {
      if (level > 1) line += '/';
      line += EscapeBytes(doc.Name(n, level));
    }
    line += '\t';
    line += EscapeBytes(doc.Value(n));
    PrintLine(line);
  }
  return code == 0 ? kOk : Failed(file, code);
}

int Load(std::string_view file, const std::vector<std::string_view>& names) {
  if (std::int16_t code = xml::LoadFile(file, {.quiet = true})) return Failed(file, code);
  std::string_view n[5];
  for (std::size_t i = 0; i < names.size(); ++i) n[i] = names[i];
  if (names.empty()) {
    n[0] = "RegistryItems";
    n[1] = "RegistryItem";
  }
  if (std::int16_t code = xml::FindNode(n[0], n[1], n[2], n[3], n[4])) return Failed(file, code);
  app::XmlQueue queue;
  const std::int32_t count = xml::LoadQueue(&queue, {.deep = true, .recordBoundary = true});
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&queue, i);
    const app::XmlRecord& r = queue.buffer;
    PrintLine(EscapeBytes(r.KEYNAME.Trimmed()) + '\t' + EscapeBytes(r.VALUENAME.Trimmed()) + '\t' +
              EscapeBytes(r.SAVEDVALUE.Trimmed()) + '\t' + EscapeBytes(r.DISABLEVALUE.Trimmed()) +
              '\t' + EscapeBytes(r.ENABLEVALUE.Trimmed()));
  }
  return kOk;
}

int Write(std::string_view file) {
  app::XmlQueue queue;
  std::string line;
  int number = 0;
  while (std::getline(std::cin, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(UnescapeBytes(std::string_view(line).substr(start, tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() > 5) {
      return Usage("line " + std::to_string(number) + " of the input has more than five fields");
    }
    fields.resize(5);
    queue.buffer.KEYNAME = fields[0];
    queue.buffer.VALUENAME = fields[1];
    queue.buffer.SAVEDVALUE = fields[2];
    queue.buffer.DISABLEVALUE = fields[3];
    queue.buffer.ENABLEVALUE = fields[4];
    QueueAdd(&queue);
  }
  // Exactly the application's save.
  xml::Reset();
  if (std::int16_t code = xml::CreateXMLFile(file, "1.0", "")) return Failed(file, code);
  xml::CreateParent("RegistryItems");
  xml::AddParent();
  xml::QueueToXML(&queue, "RegistryItem");
  xml::CloseParent();
  if (std::int16_t code = xml::CloseXMLFile()) return Failed(file, code);
  return kOk;
}

}  // namespace

int XmlCommand(const Args& args) {
  if (args.empty()) return Usage("xml: give dump, load or write");
  const std::string_view sub = args[0];
  if (args.size() < 2) return Usage("xml " + std::string(sub) + ": give a FILE");
  const std::string_view file = args[1];
  if (sub == "dump") {
    if (args.size() > 2) return Usage("xml dump takes one FILE");
    return Dump(file);
  }
  if (sub == "load") {
    const std::vector<std::string_view> names(args.begin() + 2, args.end());
    if (names.size() > 5) return Usage("xml load takes at most five names");
    return Load(file, names);
  }
  if (sub == "write") {
    if (args.size() > 2) return Usage("xml write takes one FILE");
    return Write(file);
  }
  return Usage("unknown xml command '" + std::string(sub) + "'");
}

}  // namespace vantrel::tools
