// What a start takes, it gives back: many starts through the real module in
// one process, on every path a start can take (appending, nothing set, every
// kind of unusable log or settings file), leave the descriptor table and the
// heap as they found them.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "support.h"

namespace qvntest {
namespace {

// Fewer under the sanitizers, which make each start many times slower.
constexpr long kStarts = QVN_LEAK_STARTS;

struct Resources {
  long descriptors;
  std::size_t heapInUse;  // bytes the C library's allocator has handed out
  long residentPages;
};

Resources Measure() {
  Resources now{};
  // The iterator's own descriptor is counted every time alike; with none
  // left to open (descriptors leaked), the count is -1.
  std::error_code error;
  for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
       !error && entry != end; entry.increment(error)) {
    ++now.descriptors;
  }
  if (error) {
    now.descriptors = -1;
  }
  now.heapInUse = mallinfo2().uordblks;
  std::ifstream statm("/proc/self/statm");
  long sizePages = 0;
  statm >> sizePages >> now.residentPages;
  return now;
}

class LeakTest : public StartLogTest {
 protected:
  // Removes both settings files (or whatever stands in their place).
  void ClearSettings() {
    std::filesystem::remove_all(root_ / "machine");
    std::filesystem::remove_all(root_ / "user");
  }
  static std::string SettingsFile(const std::string& dir) {
    std::filesystem::create_directories(dir + "/Harlowick Systems");
    return dir + "/Harlowick Systems/Quillvane v2.conf";
  }
};

TEST_F(LeakTest, ManyStartsGiveBackEveryDescriptorAndAllMemory) {
  const std::string log = root_ / "start.log";
  const struct {
    const char* what;
    long starts;
    std::function<void()> setUp;
    bool appends = false;  // every start adds a record to ROOT/start.log
  } cases[] = {
      {"appending", kStarts, [&] { LogTo("start.log"); }, true},
      {"nothing set", kStarts / 10, [] {}},
      {"log directory missing", kStarts / 10, [&] { LogTo("missing/start.log"); }},
      {"log is a directory", kStarts / 10,
       [&] { std::filesystem::create_directory(LogTo("directory.log")); }},
      {"log is a FIFO", kStarts / 10,
       [&] { ASSERT_EQ(mkfifo(LogTo("fifo.log").c_str(), 0600), 0); }},
      {"machine-wide settings file is a FIFO", kStarts / 10,
       [&] { ASSERT_EQ(mkfifo(SettingsFile(root_ / "machine").c_str(), 0600), 0); }},
      {"per-user settings file is a directory", kStarts / 10,
       [&] { std::filesystem::create_directory(SettingsFile(root_ / "user")); }},
  };
  constexpr long kWarmUp = 100;  // the C library's one-time set-up (time zone) comes first
  constexpr std::size_t kHeapSlack = std::size_t{64} * 1024;
  const long pageSize = sysconf(_SC_PAGESIZE);
  constexpr long kResidentSlack = 16L * 1024 * 1024;
  for (const auto& c : cases) {
    ClearSettings();
    std::filesystem::remove(log);
    c.setUp();
    for (long i = 0; i < kWarmUp; ++i) {
      module_.Start();
    }
    const Resources before = Measure();
    for (long i = 0; i < c.starts; ++i) {
      module_.Start();
    }
    const Resources after = Measure();
    EXPECT_EQ(after.descriptors, before.descriptors) << c.what;
    EXPECT_LE(after.heapInUse, before.heapInUse + kHeapSlack) << c.what;
    EXPECT_LE((after.residentPages - before.residentPages) * pageSize, kResidentSlack) << c.what;
    if (c.appends) {
      // Each record as long as "WS-017\t03/14/05\t09:05:07\r\n".
      EXPECT_EQ(std::filesystem::file_size(log),
                static_cast<std::uintmax_t>(kWarmUp + c.starts) * 26)
          << c.what;
    }
  }
}

}  // namespace
}  // namespace qvntest
