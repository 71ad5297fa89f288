// Progress of one parse, shown through the thread's presenter. Private to xml/.
#pragma once

#include <cstdint>

namespace vantrel::xml {

// Documents above this size are read in more than one buffer and count as large.
inline constexpr std::int64_t kLargeDocument = 1900000;

class ProgressRun {
 public:
  // Shows progress when the document's size reaches the threshold.
  explicit ProgressRun(std::int64_t documentSize);
  ~ProgressRun();  // closes the window, whatever the outcome of the parse
  ProgressRun(const ProgressRun&) = delete;
  ProgressRun& operator=(const ProgressRun&) = delete;

  // One scan step at a position in the document: every tenth step moves the bar of a document
  // that is not large.
  void Step(std::int64_t position) {
    if (active_ && !large_ && ++steps_ % 10 == 0) Show(position);
  }
  // A block was read: a large document's bar moves.
  void BlockRead(std::int64_t position) {
    if (active_ && large_) Show(position);
  }

 private:
  void Show(std::int64_t position);

  bool active_ = false;
  bool large_ = false;
  bool ownWindow_ = false;
  int control_ = 0;
  std::uint32_t steps_ = 0;
};

}  // namespace vantrel::xml
