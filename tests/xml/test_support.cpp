#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/scratch_folder.h"

namespace vantrel::xml::test {

std::vector<std::string> Records() {
  const Document& doc = ThreadDocument();
  std::vector<std::string> out;
  for (std::int32_t n = 1; n <= doc.Records(); ++n) {
    std::string line;
    for (int l = 1; l <= doc.Depth(n); ++l) {
      if (l > 1) line += '/';
      line += doc.Name(n, l);
    }
    line += '=';
    line += doc.Value(n);
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> ItemEntries(ItemQueue& q) {
  std::vector<std::string> out;
  for (std::int32_t i = 1; i <= QueueRecords(&q); ++i) {
    QueueGetAt(&q, i);
    out.push_back(q.buffer.KEYNAME.Str() + "|" + q.buffer.VALUENAME.Str() + "|" +
                  q.buffer.SAVEDVALUE.Str() + "|" + q.buffer.DISABLEVALUE.Str() + "|" +
                  q.buffer.ENABLEVALUE.Str());
  }
  return out;
}

MessageLog::MessageLog() {
  SetMessageHook([this](std::string_view text, std::string_view caption) {
    texts.emplace_back(text);
    captions.emplace_back(caption);
    return 1;
  });
}

MessageLog::~MessageLog() { SetMessageHook(nullptr); }

ScratchDir::ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = vantrel::test::MakeScratchFolder(std::string("vantrel_xml_") + info->test_suite_name() +
                                          "_" + info->name() + "_");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void ScratchDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream(Path(name), std::ios::binary) << content;
}

std::string ScratchDir::Read(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vantrel::xml::test
