// A list canvas that draws nothing and keeps every call, in order: what the list would put on a
// screen, for tests to read back. Anything outside the clip in force at the call is recorded as
// it was asked for; Visible() says how much of it a screen would show.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/list_view.h"

namespace vantrel::ui {

struct CanvasCall {
  enum Kind { kFill, kText, kLine, kFrame, kFocus } kind = kFill;
  Rect rect;  // a line: from (x, y), width or height 0, end not included
  Rect clip;  // the clip in force
  std::string text;
  ListAlign align = kAlignLeft;
  std::uint32_t rgb = 0;
  // The part of rect inside the clip (empty when none of it shows).
  Rect Visible() const {
    const int left = std::max(rect.x, clip.x);
    const int top = std::max(rect.y, clip.y);
    const int right = std::min(rect.x + std::max(rect.width, 1), clip.x + clip.width);
    const int bottom = std::min(rect.y + std::max(rect.height, 1), clip.y + clip.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
  }
};

class RecordingCanvas : public ListCanvas {
 public:
  void PushClip(const Rect& r) override { clips_.push_back(r); }
  void PopClip() override {
    if (!clips_.empty()) clips_.pop_back();
  }
  void FillRect(const Rect& r, std::uint32_t rgb) override {
    Add({CanvasCall::kFill, r, {}, {}, kAlignLeft, rgb});
  }
  void Text(const Rect& r, std::string_view text, ListAlign align, std::uint32_t rgb) override {
    Add({CanvasCall::kText, r, {}, std::string(text), align, rgb});
  }
  void Line(int x1, int y1, int x2, int y2, std::uint32_t rgb) override {
    Add({CanvasCall::kLine, {x1, y1, x2 - x1, y2 - y1}, {}, {}, kAlignLeft, rgb});
  }
  void FrameRect(const Rect& r, std::uint32_t rgb) override {
    Add({CanvasCall::kFrame, r, {}, {}, kAlignLeft, rgb});
  }
  void FocusRect(const Rect& r) override { Add({CanvasCall::kFocus, r, {}, {}, kAlignLeft, 0}); }

  const std::vector<CanvasCall>& Calls() const { return calls_; }
  std::vector<CanvasCall> Calls(CanvasCall::Kind kind) const {
    std::vector<CanvasCall> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [kind](const CanvasCall& c) { return c.kind == kind; });
    return out;
  }
  // Every clip pushed was popped again.
  bool Balanced() const { return clips_.empty(); }

 private:
  void Add(CanvasCall call) {
    // Outside any clip everything shows: the canvas is as large as can be.
    call.clip = clips_.empty() ? Rect{-(1 << 20), -(1 << 20), 1 << 21, 1 << 21} : clips_.back();
    calls_.push_back(std::move(call));
  }
  std::vector<Rect> clips_;
  std::vector<CanvasCall> calls_;
};

}  // namespace vantrel::ui
