// Record layouts for the runtime's and the XML library's tests, of the shapes the program uses
// without borrowing its tables: a plain record of five text fields under a label prefix that a
// settings file leaves out, and a wider one whose text fields are each followed by a number
// (label-only, and mostly blanks, so the queue encodes it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/text/fixed_text.h"
#include "runtime/queue/queue.h"
#include "runtime/text/record_layout.h"

namespace vantrel::test {

#pragma pack(push, 1)

struct TextRecord {
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
  FixedText<20> CURRENTVALUE;
  std::int32_t CURRENTVALUE_STYLE = 0;
  FixedText<20> SAVEDVALUE;
  std::int32_t SAVEDVALUE_STYLE = 0;
  FixedText<20> DISABLEVALUE;
  std::int32_t DISABLEVALUE_STYLE = 0;
  FixedText<20> ENABLEVALUE;
  std::int32_t ENABLEVALUE_STYLE = 0;

  static const RecordLayout kLayout;
};

#pragma pack(pop)

static_assert(sizeof(TextRecord) == 360 && sizeof(StyledRecord) == 404);

inline constexpr FieldDesc kTextFields[] = {
    TextField("LRIX:KEYNAME", "KeyName", offsetof(TextRecord, KEYNAME), 200),
    TextField("LRIX:VALUENAME", "ValueName", offsetof(TextRecord, VALUENAME), 100),
    TextField("LRIX:SAVEDVALUE", "SavedValue", offsetof(TextRecord, SAVEDVALUE), 20),
    TextField("LRIX:DISABLEVALUE", "DisableValue", offsetof(TextRecord, DISABLEVALUE), 20),
    TextField("LRIX:ENABLEVALUE", "EnableValue", offsetof(TextRecord, ENABLEVALUE), 20),
};

inline constexpr FieldDesc kStyledFields[] = {
    TextField("LRI:KEYNAME", "", offsetof(StyledRecord, KEYNAME), 200),
    LongField("LRI:KEYNAME_STYLE", "", offsetof(StyledRecord, KEYNAME_STYLE)),
    TextField("LRI:VALUENAME", "", offsetof(StyledRecord, VALUENAME), 100),
    LongField("LRI:VALUENAME_STYLE", "", offsetof(StyledRecord, VALUENAME_STYLE)),
    TextField("LRI:CURRENTVALUE", "", offsetof(StyledRecord, CURRENTVALUE), 20),
    LongField("LRI:CURRENTVALUE_STYLE", "", offsetof(StyledRecord, CURRENTVALUE_STYLE)),
    TextField("LRI:SAVEDVALUE", "", offsetof(StyledRecord, SAVEDVALUE), 20),
    LongField("LRI:SAVEDVALUE_STYLE", "", offsetof(StyledRecord, SAVEDVALUE_STYLE)),
    TextField("LRI:DISABLEVALUE", "", offsetof(StyledRecord, DISABLEVALUE), 20),
    LongField("LRI:DISABLEVALUE_STYLE", "", offsetof(StyledRecord, DISABLEVALUE_STYLE)),
    TextField("LRI:ENABLEVALUE", "", offsetof(StyledRecord, ENABLEVALUE), 20),
    LongField("LRI:ENABLEVALUE_STYLE", "", offsetof(StyledRecord, ENABLEVALUE_STYLE)),
};

inline constexpr RecordLayout kTextLayout{kTextFields, sizeof(TextRecord)};
inline constexpr RecordLayout kStyledLayout{kStyledFields, sizeof(StyledRecord)};
static_assert(kTextLayout.IsConsistent() && kStyledLayout.IsConsistent());

inline const RecordLayout TextRecord::kLayout = kTextLayout;
inline const RecordLayout StyledRecord::kLayout = kStyledLayout;

using TextQueue = RecordQueue<TextRecord>;
using StyledQueue = RecordQueue<StyledRecord>;

}  // namespace vantrel::test
