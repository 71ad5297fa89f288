// Walking the main window's list from the command line.
#pragma once

#include <cstdint>

#include "app/main_data.h"
#include "runtime/queue/queue.h"

namespace vantrel::tools {

// Calls fn with every row of DisplayQueue, first to last (the count taken once).
template <class Fn>
void ForEachRow(app::MainData& data, Fn fn) {
  const std::int32_t count = QueueRecords(&data.displayQueue);
  for (std::int32_t i = 1; i <= count; ++i) {
    QueueGetAt(&data.displayQueue, i);
    fn(data.displayQueue.buffer);
  }
}

}  // namespace vantrel::tools
