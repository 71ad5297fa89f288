// vantrelctl xml dump|load|write: the XML library as the application uses it, for scripts and
// for looking into a settings file.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/item_tables.h"
#include "tools/commands.h"
#include "tools/same_file.h"
#include "tools/text_escapes.h"
#include "runtime/text/ansi_text.h"
#include "runtime/text/fixed_text.h"
#include "runtime/text/record_layout.h"
#include "runtime/system/safe_replace.h"
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

// A failure of the writer, with what the file's replacement said about it.
int WriteFailed(std::string_view file, std::int16_t code) {
  const std::string& problem = LastReplace().problem;
  if (problem.empty()) return Failed(file, code);
  return Failure(file, xml::ErrorText(code) + " (error " + std::to_string(code) + "): " + problem);
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

// A queue of text fields named on the command line, some of which may hold nested lists.
class NamedQueue {
 public:
  static constexpr std::uint32_t kFieldSize = 255;

  NamedQueue(const std::vector<std::string>& names, const std::vector<bool>& lists)
      : names_(names) {
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      fields_.push_back(lists[i] ? QueueRefField(names_[i], {}, offset)
                                 : TextField(names_[i], {}, offset, kFieldSize));
      offset += fields_.back().size;
    }
    layout_ = RecordLayout{fields_, offset};
    buffer_.assign(offset, '\0');
    queue_ = std::make_unique<Queue>(layout_, buffer_.data());
  }
  Queue* Get() { return queue_.get(); }

 private:
  std::vector<std::string> names_;
  std::vector<FieldDesc> fields_;
  RecordLayout layout_{};
  std::vector<char> buffer_;
  std::unique_ptr<Queue> queue_;
};

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    out.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

struct LoadRequest {
  std::vector<std::string_view> names;
  std::vector<std::pair<std::string, std::string>> translations;
  std::vector<std::string> fields;  // empty: the settings file's items
  struct List {
    std::string field;
    std::vector<std::string> fields;
    bool deep;
  };
  std::vector<List> lists;
  std::string writeTo;
};

class NamedLoad {
 public:
  explicit NamedLoad(const LoadRequest& request) : request_(request) {}

  Queue* Make(const std::vector<std::string>& fields) {
    std::vector<bool> lists;
    for (const std::string& f : fields) lists.push_back(ListOf(f) != nullptr);
    made_.push_back(std::make_unique<NamedQueue>(fields, lists));
    return made_.back()->Get();
  }

  void AddLists() {
    for (const LoadRequest::List& list : request_.lists) {
      xml::AddNestedList(list.field, list.deep, [this, &list] { return Make(list.fields); });
    }
  }

  // One line per entry, its text fields tab-separated; the entries of its lists follow, each line
  // led by one '>' per level and a tab.
  void Print(Queue* queue, int level) {
    const RecordLayout& layout = queue->Layout();
    for (std::int32_t i = 1; i <= QueueRecords(queue); ++i) {
      QueueGetAt(queue, i);
      std::string line = level > 0 ? std::string(static_cast<std::size_t>(level), '>') + '\t' : "";
      bool first = true;
      for (const FieldDesc& f : layout.fields) {
        if (f.type == FieldType::QueueRef) continue;
        if (!first) line += '\t';
        first = false;
        line += EscapeBytes(FieldValueText(f, queue->Buffer()));
      }
      PrintLine(line);
      for (const FieldDesc& f : layout.fields) {
        if (f.type != FieldType::QueueRef) continue;
        Queue* child = nullptr;
        std::memcpy(&child, static_cast<const char*>(queue->Buffer()) + f.offset, sizeof(child));
        if (child) Print(child, level + 1);
      }
    }
  }

 private:
  const LoadRequest::List* ListOf(const std::string& field) const {
    auto lower = [](std::string t) {
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return t;
    };
    for (const LoadRequest::List& list : request_.lists) {
      if (lower(list.field) == lower(field)) return &list;
    }
    return nullptr;
  }

  const LoadRequest& request_;
  std::vector<std::unique_ptr<NamedQueue>> made_;
};

int Load(std::string_view file, const LoadRequest& request) {
  xml::Reset();
  for (const auto& [field, path] : request.translations) {
    if (!xml::AddNameTranslation(field, path)) {
      return Usage("--translate " + field + "=" + path +
                   ": give FIELD=NAME with one to four names joined by /");
    }
  }
  // Written over the file it is read from, the entries would replace everything they do not
  // hold (comments, other elements); an export refuses its settings file the same way.
  if (!request.writeTo.empty() && IsSameFile(request.writeTo, std::string(file))) {
    return Usage("xml load: --write " + request.writeTo + " is the file the entries are read " +
                 "from; name another file");
  }
  NamedLoad named(request);
  named.AddLists();
  if (std::int16_t code = xml::LoadFile(file, {.quiet = true})) return Failed(file, code);
  std::string_view n[5] = {"RegistryItems", "RegistryItem"};
  for (std::size_t i = 0; i < request.names.size(); ++i) n[i] = request.names[i];
  if (!request.names.empty() && request.names.size() < 2) n[1] = {};
  if (std::int16_t code = xml::FindNode(n[0], n[1], n[2], n[3], n[4])) return Failed(file, code);
  app::XmlQueue items;
  Queue* queue = request.fields.empty() ? &items : named.Make(request.fields);
  // A text longer than its field is cut on loading; written out, the cut text would name
  // another key or value, so such a load writes nothing.
  std::string cut;
  xml::LoadQueueOptions options{.deep = true, .recordBoundary = true};
  options.onCut = [&cut](std::int32_t entry, const FieldDesc& field) {
    if (cut.empty()) {
      cut = "entry " + std::to_string(entry) + ": its " +
            std::string(field.externalName.empty() ? field.label : field.externalName) +
            " is longer than the field's " + std::to_string(field.ElementSize()) + " characters";
    }
  };
  // The program's own items are read as the program reads them: an item whose fields cannot be
  // told apart is refused, not printed or written as a guess.
  options.strict = request.fields.empty();
  xml::LoadQueue(queue, options);
  if (options.strict && xml::LastError() == xml::kErrorAmbiguousRecord) {
    return Failure(file, xml::ErrorText(0, true) + " (error " +
                             std::to_string(xml::kErrorAmbiguousRecord) + "); nothing was loaded");
  }
  named.Print(queue, 0);
  if (request.writeTo.empty()) return kOk;
  if (!cut.empty()) return Failure(file, cut + "; nothing was written to " + request.writeTo);
  // Back out under the same names: the first around everything, the last for each entry.
  const std::string_view root = n[0];
  std::string_view record = n[0];
  for (const std::string_view name : n) {
    if (!name.empty()) record = name;
  }
  if (std::int16_t code = xml::CreateXMLFile(request.writeTo, "1.0", AnsiEncodingName())) {
    return WriteFailed(request.writeTo, code);
  }
  xml::CreateParent(root);
  xml::AddParent();
  xml::QueueToXML(queue, record);
  xml::CloseParent();
  if (std::int16_t code = xml::CloseXMLFile()) return WriteFailed(request.writeTo, code);
  SayReplacedLinks(request.writeTo);
  return kOk;
}

// xml load FILE [NAME ...] [--translate FIELD=PATH]... [--fields A,B] [--list FIELD=A,B]...
//   [--deep-list FIELD=A,B]... [--write OUT]
int LoadCommand(std::string_view file, const Args& args) {
  LoadRequest request;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a.substr(0, 2) != "--") {
      if (request.names.size() == 5) return Usage("xml load takes at most five names");
      request.names.push_back(a);
      continue;
    }
    if (i + 1 == args.size()) return Usage("xml load " + std::string(a) + " needs a value");
    const std::string_view value = args[++i];
    const std::size_t equals = value.find('=');
    if (a == "--fields") {
      request.fields = SplitNames(value);
    } else if (a == "--write") {
      if (std::string problem = FileNameProblem("xml load --write", value); !problem.empty()) {
        return Usage(problem);
      }
      request.writeTo = std::string(value);
    } else if (a == "--translate" || a == "--list" || a == "--deep-list") {
      if (equals == std::string_view::npos || equals == 0) {
        return Usage("xml load " + std::string(a) + " takes FIELD=...");
      }
      const std::string field(value.substr(0, equals));
      const std::string_view rest = value.substr(equals + 1);
      if (a == "--translate") {
        request.translations.emplace_back(field, std::string(rest));
      } else {
        request.lists.push_back({field, SplitNames(rest), a == "--deep-list"});
      }
    } else {
      return Usage("xml load: unknown option " + std::string(a));
    }
  }
  auto badNames = [](const std::vector<std::string>& names) {
    if (names.size() > 128) return true;
    for (const std::string& n : names) {
      if (n.empty()) return true;
    }
    return false;
  };
  if (!request.fields.empty() && badNames(request.fields)) {
    return Usage("xml load --fields takes up to 128 names joined by commas, none empty");
  }
  for (const LoadRequest::List& list : request.lists) {
    if (request.fields.empty()) return Usage("xml load --list needs --fields");
    if (badNames(list.fields)) return Usage("xml load --list " + list.field + ": empty field name");
  }
  return Load(file, request);
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
    // A text longer than its field would be saved cut: a cut key path names one of the key's
    // parents. Nothing is written then.
    for (std::size_t f = 0; f < fields.size(); ++f) {
      const FieldDesc& field = app::kXmlFields[f];
      if (TrimTrailingBlanks(fields[f]).size() > field.size) {
        return Failure(file, "line " + std::to_string(number) + ": its " +
                                 std::string(field.externalName) + " is " +
                                 std::to_string(TrimTrailingBlanks(fields[f]).size()) +
                                 " characters long; the field holds " + std::to_string(field.size) +
                                 ", so nothing was written");
      }
      // XML 1.0 has no form for the other control characters; the writer would fail on it.
      for (const char c : fields[f]) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 || c == '\t' || c == '\n' || c == '\r') continue;
        static constexpr char kHex[] = "0123456789abcdef";
        return Failure(file, "line " + std::to_string(number) + ": its " +
                                 std::string(field.externalName) +
                                 " holds the control character \\x" + kHex[b >> 4] + kHex[b & 15] +
                                 ", which an XML 1.0 file cannot hold, so nothing was written");
      }
    }
    queue.buffer.KEYNAME = fields[0];
    queue.buffer.VALUENAME = fields[1];
    queue.buffer.SAVEDVALUE = fields[2];
    queue.buffer.DISABLEVALUE = fields[3];
    queue.buffer.ENABLEVALUE = fields[4];
    QueueAdd(&queue);
  }
  // Exactly the application's save.
  xml::Reset();
  if (std::int16_t code = xml::CreateXMLFile(file, "1.0", AnsiEncodingName()))
    return WriteFailed(file, code);
  xml::CreateParent("RegistryItems");
  xml::AddParent();
  xml::QueueToXML(&queue, "RegistryItem");
  xml::CloseParent();
  if (std::int16_t code = xml::CloseXMLFile()) return WriteFailed(file, code);
  SayReplacedLinks(file);
  return kOk;
}

}  // namespace

int XmlCommand(const Args& args) {
  if (args.empty()) return Usage("xml: give dump, load or write");
  const std::string_view sub = args[0];
  if (args.size() < 2) return Usage("xml " + std::string(sub) + ": give a FILE");
  const std::string_view file = args[1];
  if (std::string problem = FileNameProblem("xml " + std::string(sub), file); !problem.empty()) {
    return Usage(problem);
  }
  if (sub == "dump") {
    if (args.size() > 2) return Usage("xml dump takes one FILE");
    return Dump(file);
  }
  if (sub == "load") return LoadCommand(file, Args(args.begin() + 2, args.end()));
  if (sub == "write") {
    if (args.size() > 2) return Usage("xml write takes one FILE");
    return Write(file);
  }
  return Usage("unknown xml command '" + std::string(sub) + "'");
}

}  // namespace vantrel::tools
