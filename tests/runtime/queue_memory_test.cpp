// Running out of memory, for real: a child process caps its address space and fills a queue.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "runtime/errors/error_state.h"
#include "runtime/queue/queue.h"
#include "runtime/queue/queue_testing.h"

namespace vantrel {
namespace {

#pragma pack(push, 1)
struct NoiseRecord {  // random bytes: stored plain, 4 KiB a piece
  std::uint8_t BYTES[4096];
  static const RecordLayout kLayout;
};
#pragma pack(pop)
constexpr FieldDesc kNoiseFields[] = {FieldDesc{"N:BYTES", "", FieldType::Byte, 0, 4096, 4096, 0}};
inline const RecordLayout NoiseRecord::kLayout{kNoiseFields, sizeof(NoiseRecord)};

long AddressSpaceBytes() {
  long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return pages * sysconf(_SC_PAGESIZE);
}

// Returns 0 when every check held, else the number of the failed check.
int RunOutOfMemory() {
  RecordQueue<NoiseRecord> q;
  std::mt19937 rng(1);
  auto randomize = [&] {
    for (auto& b : q.buffer.BYTES) b = static_cast<std::uint8_t>(rng());
  };
  const int byBytes[] = {1};
  randomize();
  QueueAdd(&q);
  QueueSort(&q, byBytes);  // the current order is a key order: each add also compares

  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(AddressSpaceBytes() + (16 << 20));
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 1;

  // Fill until an add fails; that add must change nothing.
  int records = 0;
  std::uint32_t changes = 0;
  for (int i = 0; i < 100000; ++i) {
    randomize();
    records = QueueRecords(&q);
    changes = QueueChanges(&q);
    QueueAdd(&q);
    if (RuntimeErrorCode() != 0) break;
  }
  if (RuntimeErrorCode() != 8) return 2;
  if (QueueRecords(&q) != records || QueueChanges(&q) != changes) return 3;
  NoiseRecord copy;
  std::memcpy(&copy, &q.buffer, sizeof copy);

  // Take what is left, so that every allocation fails from here on.
  void* hoard = nullptr;
  for (std::size_t size = 1 << 20; size >= 16;) {
    void* p = std::malloc(size);
    if (!p) {
      size /= 2;
      continue;
    }
    std::memcpy(p, &hoard, sizeof hoard);
    hoard = p;
  }
  const int byBytesDescending[] = {-1};
  QueueSort(&q, byBytesDescending);  // a new order needs its reference table
  if (RuntimeErrorCode() != 8) return 4;
  if (QueueStorage(&q).orders != 1 || QueueChanges(&q) != changes) return 5;
  QueueAddByKey(&q, byBytes);
  if (RuntimeErrorCode() != 8 || QueueRecords(&q) != records) return 6;
  if (std::memcmp(&copy, &q.buffer, sizeof copy) != 0) return 7;
  QueueGetAt(&q, 1);  // reading needs no memory
  if (RuntimeErrorCode() != 0) return 8;

  while (hoard) {
    void* next;
    std::memcpy(&next, hoard, sizeof next);
    std::free(hoard);
    hoard = next;
  }
  QueueFree(&q);
  randomize();
  QueueAdd(&q);
  if (RuntimeErrorCode() != 0 || QueueRecords(&q) != 1) return 9;
  return 0;
}

TEST(QueueMemory, RunningOutOfMemorySets8AndChangesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the cap leaves";
#endif
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(RunOutOfMemory());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "check " << WEXITSTATUS(status) << " failed";
}

}  // namespace
}  // namespace vantrel
