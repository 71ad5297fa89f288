// Record layouts for the XML library's tests. The item record has the shape of a settings file's
// entry (five text fields under a prefix the file leaves out); the styled record holds
// label-only fields, each text followed by a number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/fixed_text.h"
#include "runtime/queue.h"
#include "runtime/record_layout.h"

namespace vantrel::xml::test {

#pragma pack(push, 1)

struct ItemRecord {
  FixedText<200> KEYNAME;
  FixedText<100> VALUENAME;
  FixedText<20> SAVEDVALUE;
  FixedText<20> DISABLEVALUE;
  FixedText<20> ENABLEVALUE;

  static const RecordLayout kLayout;
};

struct StyledRecord {
  FixedText<200> KEYNAME;
  std::int32_t KEYNAME_STYLE = 0;
  FixedText<100> VALUENAME;
  std::int32_t VALUENAME_STYLE = 0;

  static const RecordLayout kLayout;
};

#pragma pack(pop)

inline constexpr FieldDesc kItemFields[] = {
    TextField("LRIX:KEYNAME", "KeyName", offsetof(ItemRecord, KEYNAME), 200),
    TextField("LRIX:VALUENAME", "ValueName", offsetof(ItemRecord, VALUENAME), 100),
    TextField("LRIX:SAVEDVALUE", "SavedValue", offsetof(ItemRecord, SAVEDVALUE), 20),
    TextField("LRIX:DISABLEVALUE", "DisableValue", offsetof(ItemRecord, DISABLEVALUE), 20),
    TextField("LRIX:ENABLEVALUE", "EnableValue", offsetof(ItemRecord, ENABLEVALUE), 20),
};

inline constexpr FieldDesc kStyledFields[] = {
    TextField("LRI:KEYNAME", "", offsetof(StyledRecord, KEYNAME), 200),
    LongField("LRI:KEYNAME_STYLE", "", offsetof(StyledRecord, KEYNAME_STYLE)),
    TextField("LRI:VALUENAME", "", offsetof(StyledRecord, VALUENAME), 100),
    LongField("LRI:VALUENAME_STYLE", "", offsetof(StyledRecord, VALUENAME_STYLE)),
};

inline constexpr RecordLayout kItemLayout{kItemFields, sizeof(ItemRecord)};
inline constexpr RecordLayout kStyledLayout{kStyledFields, sizeof(StyledRecord)};
static_assert(kItemLayout.IsConsistent() && kStyledLayout.IsConsistent());

inline const RecordLayout ItemRecord::kLayout = kItemLayout;
inline const RecordLayout StyledRecord::kLayout = kStyledLayout;

using ItemQueue = RecordQueue<ItemRecord>;
using StyledQueue = RecordQueue<StyledRecord>;

}  // namespace vantrel::xml::test
