#include "runtime/seam/registry_types.h"

#include <cstdlib>

#include "runtime/text/text_case.h"

namespace vantrel {
namespace {

struct TypeName {
  const char* name;
  std::uint32_t type;
};

// The first name of a number is the one it is shown by.
constexpr TypeName kTypeNames[] = {
    {"REG_NONE", registry_type::kNone},
    {"REG_SZ", registry_type::kSz},
    {"REG_EXPAND_SZ", registry_type::kExpandSz},
    {"REG_BINARY", registry_type::kBinary},
    {"REG_DWORD", registry_type::kDword},
    {"REG_DWORD_LITTLE_ENDIAN", registry_type::kDword},
    {"REG_DWORD_BIG_ENDIAN", registry_type::kDwordBigEndian},
    {"REG_LINK", registry_type::kLink},
    {"REG_MULTI_SZ", registry_type::kMultiSz},
    {"REG_RESOURCE_LIST", registry_type::kResourceList},
    {"REG_FULL_RESOURCE_DESCRIPTOR", registry_type::kFullResourceDescriptor},
    {"REG_RESOURCE_REQUIREMENTS_LIST", registry_type::kResourceRequirementsList},
    {"REG_QWORD", registry_type::kQword},
    {"REG_QWORD_LITTLE_ENDIAN", registry_type::kQword},
};

}  // namespace

std::string RegistryTypeName(std::uint32_t type) {
  for (const TypeName& t : kTypeNames) {
    if (t.type == type) return t.name;
  }
  return std::to_string(type);
}

std::optional<std::uint32_t> ParseRegistryType(std::string_view text) {
  for (const TypeName& t : kTypeNames) {
    if (EqualsIgnoreCase(text, t.name)) return t.type;
  }
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (*end != '\0' || s[0] == '-' || s[0] == '+' || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

}  // namespace vantrel
