// Checks of registry names and numbers typed by an administrator, made before anything is
// written. The runtime takes whatever it is given and makes the best of it (it trims, cuts and
// converts, as the settings file's values need); a person at a command line is better served by
// a refusal that says what is wrong than by a write into another key or of another number.
//
// Each check returns an empty text when the input may be used, otherwise one sentence saying
// what is wrong with it, to follow the program's name and the thing it concerns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::app {

// The longest value name Windows accepts. (A key name may have 255 characters, but a key path
// is held to that length as a whole, which bounds each of its names as well.)
inline constexpr std::size_t kValueNameMax = 16383;

// A value name that was given: not empty or blank (a blank name would address the key's default
// value, and for a deletion the key itself), no zero byte (Windows ends the name there), at most
// kValueNameMax characters.
std::string ValueNameProblem(std::string_view name);

// A key path below its root: at most kRegistryKeyPathMax (255) characters once trailing blanks
// are gone. The runtime cuts a longer path, which then names one of its parents.
std::string KeyPathProblem(std::string_view keyPath);

// A name or key path as typed: it must not begin or end with a blank, and no name of a key path
// may. The registry layer drops trailing blanks, so "v " would act on the value v, and a key
// path ending in "\ " on its parent.
std::string EdgeBlankProblem(std::string_view text);

// An item's key path and value name as the settings file gives them: whether either names
// another key or value than meant because of blanks at its edges (indented text keeps its
// leading blanks). A value name may hold backslashes, so only its own edges count.
bool ItemNamesHaveEdgeBlanks(std::string_view keyPath, std::string_view valueName);

// The one form of a key path below its root that every check and the write see: its names
// joined by single backslashes, runs of backslashes and leading or trailing ones dropped (the
// registry skips empty names, so "Software\\" and "\Software" name the key Software).
std::string NormalKeyPath(std::string_view keyPath);

// True when `keyPath` names the key `root` (in NormalKeyPath's form) or one below it, in any
// letter case, as the registry compares names.
bool KeyAtOrBelow(std::string_view keyPath, std::string_view root);

// A key that may be deleted: not a root itself nor a key directly under one (deleting one of
// those takes a whole hive or one of its main branches, never what anybody meant). The same
// holds where a root is reached another way: a user's hive under HKEY_USERS is that user's
// HKEY_CURRENT_USER, and Software\Classes under HKEY_LOCAL_MACHINE or a user's hive is
// HKEY_CLASSES_ROOT. `keyPath` is in NormalKeyPath's form; names compare in any letter case.
std::string KeyDeletionProblem(std::uint32_t root, std::string_view keyPath);

// True for the value types whose text is a number: REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD.
bool IsNumberType(std::uint32_t type);

// The number a text gives for a REG_DWORD or REG_DWORD_BIG_ENDIAN (32 bits) or a REG_QWORD (64
// bits), as the unsigned decimal text the runtime stores exactly; nothing when the text is not
// a decimal number with an optional sign or a hexadecimal one with 0x, or does not fit. A
// negative number gives its two's complement, as -1 in a REG_DWORD reads back as 4294967295.
std::optional<std::string> NumberText(std::string_view text, std::uint32_t type);

// What NumberText accepts for the type, for a message: "a decimal number with an optional sign,
// or hexadecimal with 0x, within 32 bits".
std::string NumberRule(std::uint32_t type);

}  // namespace vantrel::app
