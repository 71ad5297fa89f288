// Record layouts: the description of a fixed-layout record's fields.
//
// A record is a plain byte image (text fields blank padded, numbers little-endian). Its layout
// names each field (label such as "LRIX:KEYNAME", optional external name such as "KeyName"),
// gives its type, offset, size, element count and group level. The queue engine compares keys by
// it and the XML library fills and writes any queue by field names through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

enum class FieldType : std::uint8_t {
  String,    // fixed-length single-byte text, blank padded
  Long,      // signed 32-bit
  Short,     // signed 16-bit
  Byte,      // unsigned 8-bit
  Group,     // a named run of the fields that follow it (one group level deeper)
  QueueRef,  // a reference to a child queue: a Queue* (null for none), owned by the program
};

struct FieldDesc {
  std::string_view label;         // "LRIX:KEYNAME"
  std::string_view externalName;  // "KeyName", or empty when the field has none
  FieldType type;
  std::uint32_t offset;     // bytes from the start of the record
  std::uint32_t size;       // bytes of the whole field, all elements together
  std::uint32_t elements;   // 1, or the element count of an array field
  std::uint8_t groupLevel;  // 0 for a top-level field, 1 inside a group, ...

  constexpr std::uint32_t ElementSize() const { return elements ? size / elements : size; }
};

struct RecordLayout {
  std::span<const FieldDesc> fields;
  std::uint32_t recordSize;

  constexpr int FieldCount() const { return static_cast<int>(fields.size()); }
  // Field n, counted from 1; nullptr outside 1..FieldCount().
  constexpr const FieldDesc* Field(int n) const {
    return n >= 1 && n <= FieldCount() ? &fields[static_cast<std::size_t>(n - 1)] : nullptr;
  }
  // True when every field lies inside the record and the top-level fields do not overlap: the
  // tables check this at compile time.
  constexpr bool IsConsistent() const {
    std::uint32_t end = 0;
    for (const FieldDesc& f : fields) {
      if (f.offset + f.size > recordSize) return false;
      if (f.elements == 0 || f.size % f.elements != 0) return false;
      if (f.groupLevel == 0 && f.type != FieldType::Group) {
        if (f.offset < end) return false;
        end = f.offset + f.size;
      }
    }
    return true;
  }
};

// The runtime's field-name function: for field n (from 1) the external name when the field has
// one, otherwise its label; an empty name past the last field.
constexpr std::string_view FieldName(const RecordLayout& layout, int n) {
  const FieldDesc* f = layout.Field(n);
  if (!f) return {};
  return f->externalName.empty() ? f->label : f->externalName;
}

// One element of a field of a record image as text: a text field without its trailing blanks,
// a number in signed decimal (a BYTE unsigned). A group and a queue reference have no value of
// their own: empty text.
inline std::string FieldValueText(const FieldDesc& f, const void* record,
                                  std::uint32_t element = 0) {
  const char* at = static_cast<const char*>(record) + f.offset + element * f.ElementSize();
  switch (f.type) {
    case FieldType::String: {
      std::size_t n = f.ElementSize();
      while (n > 0 && at[n - 1] == ' ') --n;
      return std::string(at, n);
    }
    case FieldType::Long: {
      std::int32_t v;
      std::memcpy(&v, at, 4);
      return std::to_string(v);
    }
    case FieldType::Short: {
      std::int16_t v;
      std::memcpy(&v, at, 2);
      return std::to_string(v);
    }
    case FieldType::Byte:
      return std::to_string(static_cast<unsigned>(static_cast<unsigned char>(*at)));
    case FieldType::Group:
    case FieldType::QueueRef: break;
  }
  return {};
}

// Helpers for declaring layouts over a packed struct.
constexpr FieldDesc TextField(std::string_view label, std::string_view external,
                              std::uint32_t offset, std::uint32_t size, std::uint8_t level = 0) {
  return FieldDesc{label, external, FieldType::String, offset, size, 1, level};
}
constexpr FieldDesc LongField(std::string_view label, std::string_view external,
                              std::uint32_t offset, std::uint8_t level = 0) {
  return FieldDesc{label, external, FieldType::Long, offset, 4, 1, level};
}
constexpr FieldDesc ShortField(std::string_view label, std::string_view external,
                               std::uint32_t offset, std::uint8_t level = 0) {
  return FieldDesc{label, external, FieldType::Short, offset, 2, 1, level};
}
constexpr FieldDesc QueueRefField(std::string_view label, std::string_view external,
                                  std::uint32_t offset, std::uint8_t level = 0) {
  return FieldDesc{label, external, FieldType::QueueRef, offset, sizeof(void*), 1, level};
}
constexpr FieldDesc ByteField(std::string_view label, std::string_view external,
                              std::uint32_t offset, std::uint8_t level = 0) {
  return FieldDesc{label, external, FieldType::Byte, offset, 1, 1, level};
}

}  // namespace vantrel
