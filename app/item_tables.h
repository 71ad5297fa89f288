// The main window's two item tables: XmlQueue mirrors the settings file one record per item,
// DisplayQueue is what the list shows, with every text cell followed by its list style.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/text/fixed_text.h"
#include "runtime/queue/queue.h"
#include "runtime/text/record_layout.h"

namespace vantrel::app {

// The reserved value: "no such value" when read, "delete the value" when applied.
inline constexpr const char kNotAvailable[] = "N/A";

#pragma pack(push, 1)

struct XmlRecord {
  FixedText<200> KEYNAME;
  FixedText<100> VALUENAME;
  FixedText<20> SAVEDVALUE;
  FixedText<20> DISABLEVALUE;
  FixedText<20> ENABLEVALUE;

  static const RecordLayout kLayout;
};

struct DisplayRecord {
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

static_assert(sizeof(XmlRecord) == 360, "the XmlQueue record buffer is 360 bytes");
static_assert(sizeof(DisplayRecord) == 404, "the DisplayQueue record buffer is 404 bytes");

inline constexpr FieldDesc kXmlFields[] = {
    TextField("LRIX:KEYNAME", "KeyName", offsetof(XmlRecord, KEYNAME), 200),
    TextField("LRIX:VALUENAME", "ValueName", offsetof(XmlRecord, VALUENAME), 100),
    TextField("LRIX:SAVEDVALUE", "SavedValue", offsetof(XmlRecord, SAVEDVALUE), 20),
    TextField("LRIX:DISABLEVALUE", "DisableValue", offsetof(XmlRecord, DISABLEVALUE), 20),
    TextField("LRIX:ENABLEVALUE", "EnableValue", offsetof(XmlRecord, ENABLEVALUE), 20),
};

inline constexpr FieldDesc kDisplayFields[] = {
    TextField("LRI:KEYNAME", "", offsetof(DisplayRecord, KEYNAME), 200),
    LongField("LRI:KEYNAME_STYLE", "", offsetof(DisplayRecord, KEYNAME_STYLE)),
    TextField("LRI:VALUENAME", "", offsetof(DisplayRecord, VALUENAME), 100),
    LongField("LRI:VALUENAME_STYLE", "", offsetof(DisplayRecord, VALUENAME_STYLE)),
    TextField("LRI:CURRENTVALUE", "", offsetof(DisplayRecord, CURRENTVALUE), 20),
    LongField("LRI:CURRENTVALUE_STYLE", "", offsetof(DisplayRecord, CURRENTVALUE_STYLE)),
    TextField("LRI:SAVEDVALUE", "", offsetof(DisplayRecord, SAVEDVALUE), 20),
    LongField("LRI:SAVEDVALUE_STYLE", "", offsetof(DisplayRecord, SAVEDVALUE_STYLE)),
    TextField("LRI:DISABLEVALUE", "", offsetof(DisplayRecord, DISABLEVALUE), 20),
    LongField("LRI:DISABLEVALUE_STYLE", "", offsetof(DisplayRecord, DISABLEVALUE_STYLE)),
    TextField("LRI:ENABLEVALUE", "", offsetof(DisplayRecord, ENABLEVALUE), 20),
    LongField("LRI:ENABLEVALUE_STYLE", "", offsetof(DisplayRecord, ENABLEVALUE_STYLE)),
};

inline constexpr RecordLayout kXmlLayout{kXmlFields, sizeof(XmlRecord)};
inline constexpr RecordLayout kDisplayLayout{kDisplayFields, sizeof(DisplayRecord)};
static_assert(kXmlLayout.IsConsistent() && kDisplayLayout.IsConsistent());
static_assert(kXmlFields[4].offset + kXmlFields[4].size == 360);
static_assert(kDisplayFields[11].offset + kDisplayFields[11].size == 404);

inline const RecordLayout XmlRecord::kLayout = kXmlLayout;
inline const RecordLayout DisplayRecord::kLayout = kDisplayLayout;

using XmlQueue = RecordQueue<XmlRecord>;
using DisplayQueue = RecordQueue<DisplayRecord>;

}  // namespace vantrel::app
