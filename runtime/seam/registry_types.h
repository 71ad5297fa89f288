// The registry's value types: their numbers, as Windows defines them, and their names, in one
// place for every layer above the seam.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

namespace registry_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kResourceList = 8;
inline constexpr std::uint32_t kFullResourceDescriptor = 9;
inline constexpr std::uint32_t kResourceRequirementsList = 10;
inline constexpr std::uint32_t kQword = 11;
}  // namespace registry_type

// The name of a type number ("REG_SZ"), or the number in decimal for another.
std::string RegistryTypeName(std::uint32_t type);

// A type by its name (any letter case; REG_DWORD_LITTLE_ENDIAN and REG_QWORD_LITTLE_ENDIAN too)
// or its number (decimal, or hexadecimal with 0x); nothing for anything else.
std::optional<std::uint32_t> ParseRegistryType(std::string_view text);

}  // namespace vantrel
