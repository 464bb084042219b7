// Many starts at once, in many host processes and threads, into shared logs:
// no record lost, duplicated, torn or interleaved, and a trailing
// end-of-file mark replaced exactly once.
#include <thread>

#include "support.h"

namespace qvntest {
namespace {

#ifndef QVN_STRESS_STARTS
#define QVN_STRESS_STARTS 2000
#endif
constexpr int kStarts = QVN_STRESS_STARTS;  // per process and per thread
constexpr int kProcesses = 16;
constexpr int kThreads = 8;

struct StressCase {
  const char* name;
  bool twoLogs;      // half of the processes log to a second file
  const char* seed;  // what the logs hold before
};

void PrintTo(const StressCase& c, std::ostream* out) { *out << c.name; }

class StressTest : public StartLogTest, public ::testing::WithParamInterface<StressCase> {};

TEST_P(StressTest, NothingLostOrTorn) {
  const StressCase& c = GetParam();
  const std::string seed = c.seed;
  const std::string first = LogTo("first.log");
  const std::string second = root_ / "second.log";
  const std::string secondConfig = root_ / "second-config";
  WriteSettings(secondConfig, "StartLogFile=" + second + "\n");
  WriteBytes(first, seed);
  WriteBytes(second, seed);

  std::vector<pid_t> hosts;
  hosts.reserve(kProcesses);
  for (int i = 0; i < kProcesses; ++i) {
    const bool toSecond = c.twoLogs && i % 2 == 1;
    hosts.push_back(
        SpawnHost(kStarts, toSecond ? std::vector<std::string>{"XDG_CONFIG_HOME=" + secondConfig}
                                    : std::vector<std::string>{}));
  }
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([this] {
      for (int n = 0; n < kStarts; ++n) {
        module_.Start();
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const pid_t pid : hosts) {
    EXPECT_TRUE(HostSucceeded(pid));
  }

  const std::string kept = seed.substr(0, seed.find('\x1A'));
  const std::size_t toSecond = c.twoLogs ? kProcesses / 2 * kStarts : 0;
  const std::size_t total = static_cast<std::size_t>(kProcesses + kThreads) * kStarts;
  ExpectIntactLog(first, kept, total - toSecond);
  if (c.twoLogs) {
    ExpectIntactLog(second, kept, toSecond);
  } else {
    EXPECT_EQ(ReadBytes(second), seed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Logs, StressTest,
    ::testing::Values(StressCase{"OneLogEndingInMark", false, "earlier\r\n\x1A"},
                      StressCase{"OneLogWithoutMark", false, "earlier\r\n"},
                      StressCase{"TwoLogs", true, "earlier\r\n\x1A"}),
    [](const ::testing::TestParamInfo<StressCase>& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qvntest
