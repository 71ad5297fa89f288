// Registry and profile access: the text-level operations the rest of the program uses.
//
// Every value crosses this interface as text: the registry's binary types are converted here, so
// callers keep registry values in ordinary fixed-length text fields. Text is single-byte (the
// ANSI code page) and binary data, zero bytes included, travels inside std::string. Every text
// argument loses its trailing blanks (0x20 only) before use.
//
// The operations call the Win32 registry and profile primitives through runtime/seam/win32_seam.h,
// so the same code runs on advapi32/kernel32 and on the Wine-format store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The predefined roots, as their handle values.
constexpr std::uint32_t kHkeyClassesRoot = 0x80000000u;
constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;
constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
constexpr std::uint32_t kHkeyUsers = 0x80000003u;

// A key path longer than this is cut: the primitives get it from a 256-byte buffer.
constexpr std::size_t kRegistryKeyPathMax = 255;

// Reads one value as text. Strings give their bytes up to the first zero, DWORD/big-endian
// DWORD/QWORD give unsigned decimal, everything else gives the raw data bytes. Missing key or
// value, an empty value and REG_NONE give empty text. `type`, when given, receives the value's
// type number (0 when the key or value is missing). Sets the runtime error code (2 missing,
// 5 access denied, 8 memory, 30 anything else, 0 success).
std::string RegistryGetValue(std::uint32_t root, std::string_view keyPath,
                             std::string_view valueName, std::uint32_t* type = nullptr);

// Writes one value of the given type from text, creating the key path when missing. Trailing
// blanks and then trailing zero bytes of the text are dropped. REG_DWORD and
// REG_DWORD_BIG_ENDIAN read the text as a signed decimal (clamped to 32 bits), taking 2147483648
// to 4294967295 as the unsigned values a DWORD reads back as; REG_QWORD reads a
// decimal number and stores its magnitude rounded half up (18446744073709551615 when larger).
// Returns the operating system's error number (0 success) and sets the runtime error code.
long RegistryPutValue(std::uint32_t root, std::string_view keyPath, std::string_view valueName,
                      std::string_view text, std::uint32_t type);

// The number RegistryPutValue stores for `text` as a REG_DWORD.
std::uint32_t DwordFromText(std::string_view text);

// Empty when the registry can be written now; otherwise why not, in words that name the place
// (on Linux a Wine prefix in use by a running wineserver, or a named prefix that does not exist).
// Commands ask before their first write, so that one message replaces a failure per value.
std::string RegistryWriteProblem();

// Empty when the values under `root` can be read now; otherwise why not, naming the file (or the
// key) and the reason. Only a key or value that does not exist means "not there": a registry
// file that cannot be read or parsed is no empty registry, and commands ask this before their
// first write so that one message replaces a failure per value.
std::string RegistryReadProblem(std::uint32_t root);

// Why the last registry call of this thread failed, in words that name the file and the reason,
// when the registry behind it knows more than an error number (on Linux the store: "cannot read
// /p/system.reg: Permission denied", "/p/system.reg:3: ..."); otherwise empty.
std::string RegistryProblemText();

// Whether the registry tells the user of its problems itself (on Linux the store writes them to
// stderr). A caller that reports every failure with RegistryProblemText turns that off, so that
// each failure is said once.
void SetRegistryProblemsShown(bool shown);

// Empty when the registry this process uses is there; otherwise why not, naming the place (on
// Linux a prefix named by VANTREL_REGISTRY or WINEPREFIX that does not exist). Such a registry
// reads as empty: a report or a save made from it would describe nothing real.
std::string RegistryLocationProblem();

// Which registry this process reads and writes, in the words `vantrelctl store` prints: on Linux
// the store's folder and where that choice came from ("from VANTREL_REGISTRY", ...); on Windows
// "the system registry" and no source.
struct RegistryPlace {
  std::string folder;
  std::string source;
};
RegistryPlace RegistryLocation();

// Deletes a value, or with an empty value name the key with all its sub-keys and values. An empty
// key path with an empty value name deletes nothing and sets code 2. Reports through the runtime
// error code only.
void RegistryDelete(std::uint32_t root, std::string_view keyPath, std::string_view valueName);

// Deletes the key's default (unnamed) value, which RegistryDelete cannot name: an empty value
// name there means the key itself. Reports through the runtime error code only.
void RegistryDeleteDefaultValue(std::uint32_t root, std::string_view keyPath);

// Whether the key holds sub-keys or values (its default value counts): true or false, or nothing
// when the key cannot be opened, with the runtime error code set as for RegistryGetValue.
std::optional<bool> RegistryKeyHasContent(std::uint32_t root, std::string_view keyPath);

// Reads a profile (INI) entry, at most 1,023 characters; the default text when the file, section
// or entry is missing. An empty file name reads the system's own profile. Sets no error code.
std::string GETINI(std::string_view section, std::string_view entry, std::string_view defaultText,
                   std::string_view fileName);

// Writes a profile entry. Without an entry the whole section is removed; without a value the
// entry is removed. An empty file name writes the system's own profile. Reports nothing.
void ProfilePutEntry(std::string_view section, std::optional<std::string_view> entry,
                     std::optional<std::string_view> value, std::string_view fileName);

struct RegistryPath {
  std::uint32_t root = 0;
  std::string keyPath;
};

// Recognises "HKEY_CLASSES_ROOT\", "HKEY_CURRENT_USER\", "HKEY_LOCAL_MACHINE\" and "HKEY_USERS\"
// (any letter case) at the start of the text; the key path is the rest. Anything else is no
// registry path (callers then treat the text as a profile file name).
std::optional<RegistryPath> SplitRegistryPath(std::string_view text);

// The root's name as SplitRegistryPath spells it ("HKEY_LOCAL_MACHINE"), or "" for another value.
std::string_view RegistryRootName(std::uint32_t root);

// The fallback of key deletion, on its own so it can be checked where the shell's tree deletion
// exists: opens the parent (full access) and deletes the key `name` under it by enumerating and
// deleting its sub-keys first. Returns the operating system's error number; sets no error code.
long DeleteRegistryTreeByEnumeration(std::uint32_t root, std::string_view parentPath,
                                     std::string_view name);

// The files behind registry values that writes replaced since the last call while they had other
// hard links, which keep the previous content (on Linux Samba's smb.conf; on Windows none).
struct RegistryReplacedFile {
  std::string file;
  std::uint64_t otherLinks = 0;
};
std::vector<RegistryReplacedFile> TakeRegistryReplacedLinks();

// Maps an operating-system error number of a registry call to the runtime error code and sets it
// (0 clears the error state).
void SetRegistryError(long osError);

}  // namespace vantrel
