#include "app/input_checks.h"

#include <limits>
#include <vector>

#include "runtime/text/fixed_text.h"
#include "runtime/system/registry.h"
#include "runtime/seam/registry_types.h"
#include "runtime/text/text_case.h"

namespace vantrel::app {
namespace {

constexpr std::uint32_t kRegDword = registry_type::kDword;
constexpr std::uint32_t kRegDwordBigEndian = registry_type::kDwordBigEndian;
constexpr std::uint32_t kRegQword = registry_type::kQword;

std::string Count(std::size_t n) { return std::to_string(n); }

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// The digits as an unsigned number of at most `max`; nothing when a character is no digit of the
// base or the number is larger.
std::optional<std::uint64_t> ReadDigits(std::string_view digits, int base, std::uint64_t max) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int d = DigitValue(c, base);
    if (d < 0) return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(d);
    if (value > (max - digit) / static_cast<std::uint64_t>(base)) return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + digit;
  }
  return value;
}

}  // namespace

std::string ValueNameProblem(std::string_view name) {
  if (TrimTrailingBlanks(name).empty()) {
    return "a value name must not be empty or blank (it would name the key's default value; "
           "leave the name out to mean the key itself)";
  }
  if (name.find('\0') != std::string_view::npos) {
    return "a value name must not contain a zero byte (\\x00): Windows ends the name there";
  }
  if (name.size() > kValueNameMax) {
    return "the value name is " + Count(name.size()) + " characters long; Windows allows at most " +
           Count(kValueNameMax);
  }
  return {};
}

std::string KeyPathProblem(std::string_view keyPath) {
  const std::string_view path = TrimTrailingBlanks(keyPath);
  if (path.size() > kRegistryKeyPathMax) {
    return "the key path is " + Count(path.size()) + " characters long; at most " +
           Count(kRegistryKeyPathMax) +
           " are allowed (a longer one would be cut and name another key)";
  }
  return {};
}

bool ItemNamesHaveEdgeBlanks(std::string_view keyPath, std::string_view valueName) {
  return !EdgeBlankProblem(keyPath).empty() ||
         (!valueName.empty() && (valueName.front() == ' ' || valueName.back() == ' '));
}

std::string EdgeBlankProblem(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\\', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view name = text.substr(start, end - start);
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) {
      return "a name must not begin or end with a blank (the registry drops trailing blanks, so "
             "it would act on another key or value)";
    }
    start = end + 1;
  }
  return {};
}

std::string NormalKeyPath(std::string_view keyPath) {
  std::string out;
  std::size_t start = 0;
  while (start < keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) {
      if (!out.empty()) out += '\\';
      out.append(keyPath.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

bool KeyAtOrBelow(std::string_view keyPath, std::string_view root) {
  const std::string key = NormalKeyPath(keyPath);
  return StartsWithIgnoreCase(key, root) && (key.size() == root.size() || key[root.size()] == '\\');
}

std::string KeyDeletionProblem(std::uint32_t root, std::string_view keyPath) {
  std::vector<std::string_view> names;
  for (std::size_t start = 0; start < keyPath.size();) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) names.push_back(keyPath.substr(start, end - start));
    start = end + 1;
  }
  std::size_t hiveNames = 0;  // names that lead to the root actually meant
  std::string_view hive = "root";
  if (root == kHkeyUsers) {
    hiveNames = 1;
    hive = "user's hive (HKEY_USERS\\<user> is that user's HKEY_CURRENT_USER)";
  }
  const bool userHive = root == kHkeyCurrentUser || root == kHkeyUsers;
  if ((root == kHkeyLocalMachine || userHive) && names.size() >= hiveNames + 2 &&
      EqualsIgnoreCase(names[hiveNames], "Software") &&
      EqualsIgnoreCase(names[hiveNames + 1], "Classes")) {
    hiveNames += 2;
    hive = "root (Software\\Classes is HKEY_CLASSES_ROOT)";
  }
  if (names.empty()) return "a root is never deleted";
  if (names.size() < hiveNames + 1) return "a " + std::string(hive) + " is never deleted";
  if (names.size() == hiveNames + 1) {
    return "a key directly under a " + std::string(hive) +
           " is never deleted (it would take a whole branch of the registry)";
  }
  return {};
}

bool IsNumberType(std::uint32_t type) {
  return type == kRegDword || type == kRegDwordBigEndian || type == kRegQword;
}

std::optional<std::string> NumberText(std::string_view text, std::uint32_t type) {
  if (!IsNumberType(type)) return std::nullopt;
  const std::uint64_t max = type == kRegQword ? std::numeric_limits<std::uint64_t>::max()
                                              : std::numeric_limits<std::uint32_t>::max();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const auto value = ReadDigits(text.substr(2), 16, max);
    if (!value) return std::nullopt;
    return std::to_string(*value);
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // A negative number may reach down to the lowest signed number of the width.
  const std::uint64_t lowest = max / 2 + 1;
  const auto magnitude = ReadDigits(text, 10, negative ? lowest : max);
  if (!magnitude) return std::nullopt;
  if (!negative || *magnitude == 0) return std::to_string(*magnitude);
  // Two's complement within the width: max - magnitude + 1.
  return std::to_string(max - *magnitude + 1);
}

std::string NumberRule(std::uint32_t type) {
  return std::string("a decimal number with an optional sign, or hexadecimal with 0x, within ") +
         (type == kRegQword ? "64" : "32") + " bits";
}

}  // namespace vantrel::app
