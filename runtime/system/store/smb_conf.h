// Samba's configuration file (smb.conf) as text that can be read and changed line by line.
//
// Samba reads the file in sections ("[global]", "[share]") of "name = value" lines; lines that
// start with '#' or ';' are comments, a line that ends in a backslash continues on the next one.
// Parameters before the first section belong to [global], and a section named twice is one
// section. Names are matched as Samba matches them: section names without regard to letter case,
// parameter names also without regard to white space, and a parameter's synonyms as the
// parameter itself.
//
// A change touches only the lines of the parameter concerned: every other byte of the file
// (comments, blank lines, order, continuations, line ends, include lines) stays as it was.
//
// "include = FILE" makes Samba read FILE's text at that point, as if it stood there: what it sets
// overrides earlier lines, and a section header in it decides which section the lines after the
// include belong to. Given a reader for the files, Load does the same, so every value read is the
// one Samba takes; those files are never changed.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::store {

// Larger files are refused: no real configuration is this big, and reading one whole into
// memory on each query would let a planted file exhaust it.
constexpr std::size_t kSmbConfMaxBytes = 8u << 20;

class SmbConf {
 public:
  // Gives the text of the file an include line names, or false and why (naming the file).
  using IncludeReader =
      std::function<bool(const std::string& path, std::string& text, std::string& problem)>;

  // False when Samba would not read the text as a whole (a zero byte, a section header without
  // its ']', a line that is neither comment, section nor "name = value", a file too large);
  // Problem(), ProblemFile() and ProblemLine() then say why and where. A text that did not load
  // is never changed or written back. With a reader, the files include lines name are read in
  // their place; then an include whose file cannot be known (a name with % macros, which Samba
  // completes for each client, or a relative one), cannot be read or does not load fails the
  // whole load. Without one, include lines are the file's own parameters and nothing more.
  bool Load(std::string text, const IncludeReader& readInclude = {});
  // Why the last Load, Set or Remove failed.
  const std::string& Problem() const { return problem_; }
  // The included file the problem is in; empty for the file itself.
  const std::string& ProblemFile() const { return problemFile_; }
  std::size_t ProblemLine() const { return problemLine_; }
  // Whether it is an include line whose file could not be read as Samba would read it.
  bool ProblemIsInclude() const { return problemInclude_; }
  // The files read for include lines, in the order Samba reads them.
  const std::vector<std::string>& IncludedFiles() const { return included_; }

  // Empty, or why the file is not where Samba keeps this server's shares ("config backend =
  // registry" or "include = registry": Samba then reads them from its registry database;
  // "config file = X" in [global]: Samba reads X in its place).
  std::string RegistryKept() const;

  // The section names as first written in the file, one per section ("global" first when
  // parameters stand before any section).
  std::vector<std::string> Sections() const;
  bool HasSection(std::string_view section) const;
  // The parameters of a section: name as last written and value, one per parameter (the last
  // line of a parameter named twice wins, as it does for Samba).
  struct Parameter {
    std::string name;
    std::string value;
  };
  std::vector<Parameter> Parameters(std::string_view section) const;
  // The value Samba reads for the parameter (continuations joined, blanks around it dropped),
  // or nothing when the section does not set it.
  std::optional<std::string> Get(std::string_view section, std::string_view name) const;

  // Sets the parameter: its last line in the section (the one Samba reads) gets the new value,
  // or, when absent, a new line follows the section's last parameter. False when the section does
  // not exist (Problem() empty), or when the line Samba reads stands in an included file or the
  // section is only there (Problem() says which file). `changed` says whether the text changed.
  bool Set(std::string_view section, std::string_view name, std::string_view value, bool& changed);
  // Removes every line of the parameter in the section; false when there was none, or (with
  // Problem() naming the file) when an included file sets it too, which would then be read.
  bool Remove(std::string_view section, std::string_view name);

  // The file's own text (never that of the files it includes).
  std::string Text() const;

  // Samba's matching keys.
  static std::string ParameterKey(std::string_view name);
  static std::string SectionKey(std::string_view name);

 private:
  enum class Kind { kOther, kSection, kParameter };
  struct Entry {
    Kind kind = Kind::kOther;
    std::string text;          // the entry's physical lines, line ends included
    std::string key;           // section or parameter key
    std::string name;          // as written
    std::string value;         // a parameter's value as Samba reads it
    std::size_t section = 0;   // index into sectionKeys_ (0: [global])
    std::size_t after = 0;     // the section lines after this one belong to (an include's
                               // file may end in another section than it began)
    std::size_t file = 0;      // 0: the file itself; else 1 + index into included_
    std::size_t line = 0;      // the entry's first line in its file
    std::size_t valueAt = 0;   // where the value starts in `text`
    std::size_t valueEnd = 0;  // where it ends (before the line end)
  };
  std::size_t SectionIndex(std::string_view section) const;  // npos when absent
  // Reads `text` as the entries of file `file` (0: the file itself), from section `section` on,
  // which it leaves at the section the text ends in.
  bool Parse(const std::string& text, std::size_t file, std::size_t& section, int depth,
             std::vector<std::string>& chain, const IncludeReader& readInclude);
  bool Fail(std::size_t file, std::size_t line, std::string why, bool include = false);
  std::string WhereSet(const Entry& e) const;  // "FILE (line N)"
  std::vector<Entry> entries_;
  std::vector<std::string> sectionKeys_;
  std::vector<std::string> sectionNames_;
  std::vector<bool> sectionSeen_;
  std::vector<std::string> included_;
  std::size_t includedBytes_ = 0;
  std::string problem_;
  std::string problemFile_;
  std::size_t problemLine_ = 0;
  bool problemInclude_ = false;
  bool loaded_ = false;
  std::string lineEnd_ = "\n";  // the file's own: "\r\n" when its first line ends so
};

// The meaning of a boolean as Samba reads it (yes/no, true/false, 1/0, on/off; any letter
// case), or nothing for another text.
std::optional<bool> SmbBoolean(std::string_view text);

// Whether two values mean the same to Samba: equal booleans, or equal texts.
bool SameSmbValue(std::string_view a, std::string_view b);

}  // namespace vantrel::store
