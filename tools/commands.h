// vantrelctl's subcommands. Each takes the arguments after its own name and returns the exit
// status: 0 success, 1 the operation failed (the failure on stderr), 2 usage error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/failures.h"

namespace vantrel::tools {

using Args = std::vector<std::string_view>;

// Why a file name given on the command line cannot be used exactly as given, or empty when it
// can: the libraries drop blanks at either end of a name (it would reach another file) and keep
// at most 384 characters of it (a cut name is another file too). `what` names the argument.
std::string FileNameProblem(std::string_view what, std::string_view name);

// What the last replacement of a file said to the user: a line on stdout when the file replaced
// had other hard links (they keep the previous content).
void SayReplacedLinks(std::string_view file);
void SayReplacedLinks(std::string_view file, std::uint64_t otherLinks);
// The same for the files behind registry values the command's writes replaced (Samba's
// smb.conf).
void SayRegistryReplacedLinks();

// Writes an export's bytes to standard output (no file) or to the file, replaced whole only once
// complete; a character device or a FIFO is written in place, a symbolic link is refused (one at
// /dev/stdout and the like excepted). Reports a failure and returns its exit status.
int WriteExportOutput(const std::string& bytes, const std::optional<std::string>& file);

int RegCommand(const Args& args);     // reg get|set|delete
int OsCommand(const Args& args);      // os
int XmlCommand(const Args& args);     // xml dump|load|write
int ExportCommand(const Args& args);  // export --format reg|ansible

}  // namespace vantrel::tools
