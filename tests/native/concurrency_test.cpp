// Many starts at once, in several host processes and threads, into one log
// that ends in an end-of-file mark: no record lost, torn or interleaved, and
// the mark replaced exactly once.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "support.h"

namespace qvntest {
namespace {

using ConcurrencyTest = StartLogTest;

pid_t SpawnHost(int starts) {
  std::vector<std::string> words = {QVN_HOST_PATH, QVN_MODULE_PATH};
  words.insert(words.end(), static_cast<std::size_t>(starts), "start");
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

TEST_F(ConcurrencyTest, ProcessesAndThreadsLoseAndTearNothing) {
  constexpr int kProcesses = 6;
  constexpr int kThreads = 4;
  constexpr int kStarts = 250;
  const std::string log = LogTo("shared.log");
  WriteBytes(log, "earlier\r\n\x1A");

  std::vector<pid_t> hosts;
  hosts.reserve(kProcesses);
  for (int i = 0; i < kProcesses; ++i) {
    hosts.push_back(SpawnHost(kStarts));
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
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::vector<std::string> lines;
  const std::string bytes = ReadBytes(log);
  ASSERT_TRUE(SplitRecords(bytes, lines));
  ASSERT_EQ(lines.size(), 1u + (kProcesses + kThreads) * kStarts);
  EXPECT_EQ(lines[0], "earlier");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_TRUE(IsRecordLine(lines[i], "WS-017")) << "line " << i << ": " << lines[i];
  }
  EXPECT_EQ(bytes.find('\x1A'), std::string::npos);
}

}  // namespace
}  // namespace qvntest
