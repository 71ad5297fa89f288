#include "runtime/system/store/smb_conf.h"

#include <algorithm>

namespace vantrel::store {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Samba stops at 100 levels; a real configuration has one or two. These bound a file that
// includes itself by another name, or one that includes the same file many times.
constexpr int kMaxIncludeDepth = 16;
constexpr std::size_t kMaxIncludes = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Synonyms Samba accepts for a parameter, as the key of the name it stands for. Only synonyms
// that mean the same: "read only" is "writeable" inverted and stays a parameter of its own.
struct Synonym {
  std::string_view key;
  std::string_view canonical;
};
constexpr Synonym kSynonyms[] = {
    {"browsable", "browseable"},
    {"writable", "writeable"},
    {"writeok", "writeable"},
    {"public", "guestok"},
    {"directory", "path"},
    {"printok", "printable"},
    {"allowhosts", "hostsallow"},
    {"denyhosts", "hostsdeny"},
    {"preload", "autoservices"},
    {"createmode", "createmask"},
    {"directorymode", "directorymask"},
    {"exec", "preexec"},
    {"user", "username"},
    {"users", "username"},
    {"group", "forcegroup"},
};

}  // namespace

std::optional<bool> SmbBoolean(std::string_view text) {
  std::string t;
  for (char c : TrimBlanks(text)) t += Lower(c);
  if (t == "yes" || t == "true" || t == "1" || t == "on") return true;
  if (t == "no" || t == "false" || t == "0" || t == "off") return false;
  return std::nullopt;
}

bool SameSmbValue(std::string_view a, std::string_view b) {
  const auto x = SmbBoolean(a), y = SmbBoolean(b);
  if (x && y) return *x == *y;
  return TrimBlanks(a) == TrimBlanks(b);
}

std::string SmbConf::ParameterKey(std::string_view name) {
  // Samba compares parameter names without regard to letter case or white space; an underscore
  // is a character like any other ("level2_oplocks" is a parameter Samba does not know).
  std::string key;
  for (char c : name) {
    if (!IsBlank(c)) key += Lower(c);
  }
  for (const Synonym& s : kSynonyms) {
    if (key == s.key) return std::string(s.canonical);
  }
  return key;
}

std::string SmbConf::SectionKey(std::string_view name) {
  // A share is found by its name in any letter case, blanks inside it included ("[My Data]" is
  // no "[mydata]"); [global] and its other name [globals] are recognised as Samba does, blanks
  // ignored.
  std::string key;
  std::string squeezed;
  for (char c : TrimBlanks(name)) {
    key += Lower(c);
    if (!IsBlank(c)) squeezed += Lower(c);
  }
  if (squeezed == "global" || squeezed == "globals") return "global";
  return key;
}

bool SmbConf::Fail(std::size_t file, std::size_t line, std::string why, bool include) {
  problemInclude_ = include;
  entries_.clear();
  sectionSeen_.assign(sectionSeen_.size(), false);
  problem_ = std::move(why);
  problemFile_ = file == 0 ? std::string() : included_[file - 1];
  problemLine_ = line;
  return false;
}

bool SmbConf::Load(std::string text, const IncludeReader& readInclude) {
  entries_.clear();
  sectionKeys_.assign(1, "global");
  sectionNames_.assign(1, "global");
  sectionSeen_.assign(1, false);
  included_.clear();
  includedBytes_ = 0;
  problem_.clear();
  problemFile_.clear();
  problemLine_ = 0;
  problemInclude_ = false;
  loaded_ = false;
  const std::size_t firstEnd = text.find('\n');
  lineEnd_ =
      firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
  std::size_t section = 0;
  std::vector<std::string> chain;
  if (!Parse(text, 0, section, 0, chain, readInclude)) return false;
  loaded_ = true;
  return true;
}

bool SmbConf::Parse(const std::string& text, std::size_t file, std::size_t& section, int depth,
                    std::vector<std::string>& chain, const IncludeReader& readInclude) {
  if (text.size() > kSmbConfMaxBytes) {
    return Fail(file, 0,
                "larger than " + std::to_string(kSmbConfMaxBytes >> 20) +
                    " MiB, which no Samba configuration is");
  }
  if (const std::size_t zero = text.find('\0'); zero != std::string::npos) {
    return Fail(file,
                static_cast<std::size_t>(std::count(text.begin(), text.begin() + zero, '\n')) + 1,
                "holds a zero byte, so it is no text file");
  }
  std::size_t lineNo = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    Entry e;
    const std::size_t first = ++lineNo;
    // One entry: a physical line and, for a line that ends in a backslash, those it continues on.
    std::string joined;
    std::size_t end = at;
    std::size_t contentEnd = at;
    for (;;) {
      std::size_t nl = text.find('\n', end);
      const std::size_t lineEnd = nl == std::string::npos ? text.size() : nl;
      std::size_t stop = lineEnd;
      if (stop > end && text[stop - 1] == '\r') --stop;
      std::string_view piece(text.data() + end, stop - end);
      contentEnd = stop;
      end = nl == std::string::npos ? text.size() : nl + 1;
      const std::string_view probe = TrimBlanks(joined.empty() ? piece : std::string_view(joined));
      const bool comment = joined.empty() && !probe.empty() && (probe[0] == '#' || probe[0] == ';');
      if (!comment && !piece.empty() && piece.back() == '\\' && end >= text.size()) {
        // Continued into nothing: a line added after it would be taken as part of it.
        return Fail(file, lineNo,
                    "the last line ends in a backslash that continues it into nothing");
      }
      if (!comment && !piece.empty() && piece.back() == '\\') {
        joined.append(piece.substr(0, piece.size() - 1));
        ++lineNo;
        continue;
      }
      joined.append(piece);
      break;
    }
    e.text.assign(text, at, end - at);
    e.file = file;
    e.line = first;
    const std::string_view body = TrimBlanks(joined);
    if (body.empty() || body[0] == '#' || body[0] == ';') {
      e.kind = Kind::kOther;
    } else if (body[0] == '[') {
      const std::size_t close = body.find(']');
      if (close == std::string_view::npos)
        return Fail(file, first, "a section name lacks its closing ']'");
      e.kind = Kind::kSection;
      e.name = std::string(TrimBlanks(body.substr(1, close - 1)));
      e.key = SectionKey(e.name);
      if (e.key.empty()) return Fail(file, first, "a section has no name");
      auto found = std::find(sectionKeys_.begin(), sectionKeys_.end(), e.key);
      if (found == sectionKeys_.end()) {
        sectionKeys_.push_back(e.key);
        sectionNames_.push_back(e.name);
        sectionSeen_.push_back(true);
        section = sectionKeys_.size() - 1;
      } else {
        section = static_cast<std::size_t>(found - sectionKeys_.begin());
        if (!sectionSeen_[section]) sectionNames_[section] = e.name;
        sectionSeen_[section] = true;
      }
    } else {
      const std::size_t eq = body.find('=');
      if (eq == std::string_view::npos) {
        return Fail(file, first, "the line is neither a comment, a section nor \"name = value\"");
      }
      e.kind = Kind::kParameter;
      e.name = std::string(TrimBlanks(body.substr(0, eq)));
      e.key = ParameterKey(e.name);
      if (e.key.empty()) return Fail(file, first, "a parameter has no name");
      e.value = std::string(TrimBlanks(body.substr(eq + 1)));
      if (section == 0) sectionSeen_[0] = true;
      // Where the value stands in the entry's own text, for a change that keeps the name, the
      // spacing and the line end as they were.
      const std::size_t eqAt = e.text.find('=');
      std::size_t v = eqAt + 1;
      while (v < e.text.size() && (e.text[v] == ' ' || e.text[v] == '\t')) ++v;
      e.valueAt = v;
      e.valueEnd = contentEnd - at;
      while (e.valueEnd > e.valueAt && IsBlank(e.text[e.valueEnd - 1])) --e.valueEnd;
      if (e.valueEnd < e.valueAt) e.valueEnd = e.valueAt;
    }
    e.section = section;
    e.after = section;
    std::string target = e.kind == Kind::kParameter && e.key == "include" ? e.value : std::string();
    std::string lowered;
    for (char c : target) lowered += Lower(c);
    entries_.push_back(std::move(e));
    at = end;
    // "include = registry" is no file: RegistryKept says where those shares are.
    if (!readInclude || target.empty() || lowered == "registry") continue;
    if (target.find('%') != std::string::npos) {
      return Fail(
          file, first,
          "includes \"" + target + "\", a name Samba completes for each client (%m, %U ...)", true);
    }
    if (target[0] != '/') {
      return Fail(file, first,
                  "includes \"" + target +
                      "\", which is no absolute file name: Samba looks for it from the folder it "
                      "was started in",
                  true);
    }
    if (depth >= kMaxIncludeDepth || included_.size() >= kMaxIncludes) {
      return Fail(file, first,
                  "includes " + target + ", past the " + std::to_string(kMaxIncludeDepth) +
                      " levels or " + std::to_string(kMaxIncludes) + " files of includes read here",
                  true);
    }
    if (std::find(chain.begin(), chain.end(), target) != chain.end())
      return Fail(file, first, "includes " + target + ", which includes this line again", true);
    std::string included;
    std::string why;
    if (!readInclude(target, included, why)) return Fail(file, first, why, true);
    includedBytes_ += included.size();
    if (includedBytes_ > kSmbConfMaxBytes) {
      return Fail(file, first,
                  "includes " + target + ", and the files it includes hold more than " +
                      std::to_string(kSmbConfMaxBytes >> 20) +
                      " MiB, which no Samba configuration does",
                  true);
    }
    const std::size_t includeAt = entries_.size() - 1;
    included_.push_back(target);
    chain.push_back(target);
    if (!Parse(included, included_.size(), section, depth + 1, chain, readInclude)) return false;
    chain.pop_back();
    entries_[includeAt].after = section;
  }
  return true;
}

std::string SmbConf::WhereSet(const Entry& e) const {
  const std::string line = "line " + std::to_string(e.line);
  return e.file == 0 ? line : included_[e.file - 1] + " (" + line + ")";
}

std::string SmbConf::RegistryKept() const {
  for (const Entry& e : entries_) {
    if (e.kind != Kind::kParameter) continue;
    std::string value;
    for (char c : e.value) value += Lower(c);
    if (e.key == "include" && value == "registry") {
      return "it says \"" + e.name + " = " + e.value +
             "\": Samba reads the shares from its registry, so change them with \"net conf\"";
    }
    if (e.key == "configbackend" && e.section == 0 && value == "registry") {
      return "it says \"" + e.name + " = " + e.value +
             "\": Samba reads its configuration from its registry, so change it with \"net conf\"";
    }
    // Samba stops reading this file where it meets "config file" and reads the named one in its
    // place (when that one exists): values read or written here may not be the ones it uses.
    if (e.key == "configfile" && e.section == 0) {
      return "it says \"" + e.name + " = " + e.value + "\" (" + WhereSet(e) +
             "): Samba reads that file instead, so name it with VANTREL_SMB_CONF";
    }
  }
  return {};
}

std::size_t SmbConf::SectionIndex(std::string_view section) const {
  const std::string key = SectionKey(section);
  for (std::size_t i = 0; i < sectionKeys_.size(); ++i) {
    if (sectionKeys_[i] == key) return sectionSeen_[i] ? i : kNone;
  }
  return kNone;
}

std::vector<std::string> SmbConf::Sections() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < sectionNames_.size(); ++i) {
    if (sectionSeen_[i]) out.push_back(sectionNames_[i]);
  }
  return out;
}

bool SmbConf::HasSection(std::string_view section) const { return SectionIndex(section) != kNone; }

std::vector<SmbConf::Parameter> SmbConf::Parameters(std::string_view section) const {
  std::vector<Parameter> out;
  std::vector<std::string> keys;
  const std::size_t s = SectionIndex(section);
  if (s == kNone) return out;
  for (const Entry& e : entries_) {
    if (e.kind != Kind::kParameter || e.section != s) continue;
    auto found = std::find(keys.begin(), keys.end(), e.key);
    if (found == keys.end()) {
      keys.push_back(e.key);
      out.push_back({e.name, e.value});
    } else {
      out[static_cast<std::size_t>(found - keys.begin())] = {e.name, e.value};
    }
  }
  return out;
}

std::optional<std::string> SmbConf::Get(std::string_view section, std::string_view name) const {
  const std::size_t s = SectionIndex(section);
  if (s == kNone) return std::nullopt;
  const std::string key = ParameterKey(name);
  const Entry* last = nullptr;
  for (const Entry& e : entries_) {
    if (e.kind == Kind::kParameter && e.section == s && e.key == key) last = &e;
  }
  if (!last) return std::nullopt;
  return last->value;
}

bool SmbConf::Set(std::string_view section, std::string_view name, std::string_view value,
                  bool& changed) {
  changed = false;
  problem_.clear();
  const std::size_t s = SectionIndex(section);
  if (!loaded_ || s == kNone) return false;
  const std::string key = ParameterKey(name);
  Entry* last = nullptr;
  std::size_t after = kNone;  // the entry of the file's own a new line follows
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = entries_[i];
    if (e.kind == Kind::kParameter && e.section == s && e.key == key) last = &e;
    // After an include line the section is the one its file ended in.
    if (e.file == 0 && e.after == s && (e.kind == Kind::kParameter || e.kind == Kind::kSection))
      after = i;
  }
  if (last && last->file != 0) {
    problem_ = "[" + std::string(section) + "] " + std::string(name) + " is set last in " +
               WhereSet(*last) + ", so Samba would still read \"" + last->value +
               "\" whatever this file says: change it in that file";
    return false;
  }
  if (!last && after == kNone && s != 0) {
    const Entry* header = nullptr;
    for (const Entry& e : entries_) {
      if (e.kind == Kind::kSection && e.section == s) header = &e;
    }
    problem_ = "[" + std::string(section) + "] stands only in an included file, " +
               (header ? WhereSet(*header) : std::string()) + ": change it in that file";
    return false;
  }
  if (last) {
    if (last->value == value) return true;
    // The value's lines (continuations too) become the one line of the new value; the name, the
    // spacing and the line end stay.
    std::string lineEnd = last->text.substr(last->valueEnd);
    const std::size_t nl = lineEnd.rfind('\n');
    const bool crlf = nl != std::string::npos && nl > 0 && lineEnd[nl - 1] == '\r';
    lineEnd = nl == std::string::npos ? std::string() : (crlf ? "\r\n" : "\n");
    // A continued value keeps only the blanks that closed its first line's value, which a
    // backslash ended: drop them with the old value.
    last->text = last->text.substr(0, last->valueAt) + std::string(value) + lineEnd;
    last->valueEnd = last->valueAt + value.size();
    last->value = std::string(value);
    changed = true;
    return true;
  }
  Entry e;
  e.kind = Kind::kParameter;
  e.section = s;
  e.name = std::string(name);
  e.key = key;
  e.value = std::string(value);
  std::string indent = "\t";
  std::string lineEnd = lineEnd_;
  std::size_t insertAt = 0;
  if (after != kNone) {
    const Entry& prev = entries_[after];
    if (prev.kind == Kind::kParameter) {
      const std::size_t lead = prev.text.find_first_not_of(" \t");
      indent = prev.text.substr(0, lead == std::string::npos ? 0 : lead);
    }
    const std::size_t nl = prev.text.rfind('\n');
    if (nl != std::string::npos) lineEnd = nl > 0 && prev.text[nl - 1] == '\r' ? "\r\n" : "\n";
    // A last line without its line end gets one, so the new line stands on its own.
    if (nl == std::string::npos || nl + 1 != prev.text.size()) entries_[after].text += lineEnd;
    insertAt = after + 1;
    // Past the lines an include line brought in: Samba reads the new line after them.
    while (insertAt < entries_.size() && entries_[insertAt].file != 0) ++insertAt;
  }
  e.text = indent + e.name + " = ";
  e.valueAt = e.text.size();
  e.text += e.value;
  e.valueEnd = e.text.size();
  e.text += lineEnd;
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(e));
  changed = true;
  return true;
}

bool SmbConf::Remove(std::string_view section, std::string_view name) {
  problem_.clear();
  const std::size_t s = SectionIndex(section);
  if (!loaded_ || s == kNone) return false;
  const std::string key = ParameterKey(name);
  for (const Entry& e : entries_) {
    if (e.kind == Kind::kParameter && e.section == s && e.key == key && e.file != 0) {
      problem_ = "[" + std::string(section) + "] " + std::string(name) + " is also set in " +
                 WhereSet(e) +
                 ", which Samba would read without this file's lines: change it "
                 "in that file";
      return false;
    }
  }
  const auto gone = std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.kind == Kind::kParameter && e.section == s && e.key == key;
  });
  const bool removed = gone != entries_.end();
  entries_.erase(gone, entries_.end());
  return removed;
}

std::string SmbConf::Text() const {
  std::string out;
  for (const Entry& e : entries_) {
    if (e.file == 0) out += e.text;
  }
  return out;
}

}  // namespace vantrel::store
