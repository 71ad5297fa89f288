// Where a list control's rows come from: a queue, or a program's own callback (a virtual list).
//
// The list reads a row's fields by number in the order its format string consumes them (text,
// then colour, icon, level, style and tip fields). Numbers are read from the field's text.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/text/fixed_text.h"
#include "runtime/queue/queue.h"
#include "runtime/text/record_layout.h"

namespace vantrel::ui {

class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual std::int32_t Rows() = 0;
  // Field `field` (from 1) of row `row` (from 1) as text; empty past the record's fields.
  virtual std::string Cell(std::int32_t row, int field) = 0;
  // A numeric field (style, colour, icon, level): the text read as a decimal number.
  virtual long long Number(std::int32_t row, int field) {
    const std::string text = Cell(row, field);
    return std::strtoll(text.c_str(), nullptr, 10);
  }
};

// A field of a record image as text: trimmed text, or a number in decimal.
inline std::string FieldText(const RecordLayout& layout, const unsigned char* record, int field) {
  const FieldDesc* f = layout.Field(field);
  return f ? FieldValueText(*f, record) : std::string();
}

// Rows held in memory as record images of one layout: for tests and small fixed lists.
class RecordListSource : public ListSource {
 public:
  explicit RecordListSource(const RecordLayout& layout) : layout_(&layout) {}
  void Add(const void* record) {
    const auto* p = static_cast<const unsigned char*>(record);
    rows_.emplace_back(p, p + layout_->recordSize);
  }
  void Clear() { rows_.clear(); }
  std::int32_t Rows() override { return static_cast<std::int32_t>(rows_.size()); }
  std::string Cell(std::int32_t row, int field) override {
    if (row < 1 || row > Rows()) return {};
    return FieldText(*layout_, rows_[static_cast<std::size_t>(row - 1)].data(), field);
  }

 private:
  const RecordLayout* layout_;
  std::vector<std::vector<unsigned char>> rows_;
};

// A queue's entries, read without disturbing the program's record buffer, current entry or
// error state (a list repaints at any time, even while a message box is up).
class QueueListSource : public ListSource {
 public:
  explicit QueueListSource(Queue* queue) : queue_(queue) {}
  std::int32_t Rows() override { return QueuePeekRecords(queue_); }
  std::string Cell(std::int32_t row, int field) override {
    record_.resize(queue_->RecordSize());
    if (!QueuePeek(queue_, row, record_.data())) return {};
    return FieldText(queue_->Layout(), record_.data(), field);
  }

 private:
  Queue* queue_;
  std::vector<unsigned char> record_;
};

// A virtual list: the program answers for every (row, column) cell. Field n is column n's text.
class CallbackListSource : public ListSource {
 public:
  using RowsFn = std::function<std::int32_t()>;
  using CellFn = std::function<std::string(std::int32_t row, int column)>;
  CallbackListSource(RowsFn rows, CellFn cell) : rows_(std::move(rows)), cell_(std::move(cell)) {}
  std::int32_t Rows() override { return rows_ ? rows_() : 0; }
  std::string Cell(std::int32_t row, int field) override {
    return cell_ ? cell_(row, field) : std::string();
  }

 private:
  RowsFn rows_;
  CellFn cell_;
};

}  // namespace vantrel::ui
