// Starts that meet a fault: a host killed in the middle of its starts, a log
// that cannot grow, a user who may not write the log. Each start returns 1,
// prints nothing and leaves the log as it was; the next start after the
// obstacle is gone appends normally.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include "support.h"

namespace qvntest {
namespace {

using FaultTest = StartLogTest;

std::size_t RecordCount(const std::string& log) {
  const std::string bytes = ReadBytes(log);
  std::size_t lines = 0;
  for (const char byte : bytes) {
    lines += byte == '\n' ? 1 : 0;
  }
  return lines;
}

TEST_F(FaultTest, KilledHostLeavesOnlyWholeRecords) {
  const std::string log = LogTo("start.log");
  const pid_t host = SpawnHost(1000000);
  ASSERT_GT(host, 0);
  // Wait (polling, bounded) until the host is well into its starts.
  for (int polls = 0; polls < 30000 && RecordCount(log) < 200; ++polls) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(kill(host, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(host, &status, 0), host);
  ASSERT_TRUE(WIFSIGNALED(status));

  const std::size_t before = RecordCount(log);
  ASSERT_GE(before, 200u);
  ASSERT_LT(before, 1000000u);
  ExpectIntactLog(log, "", before);
  EXPECT_EQ(module_.Start(), 1);
  ExpectIntactLog(log, "", before + 1);
}

// A log that cannot grow (a full disk, a quota, a file size limit): the
// record is taken back whole, and a trailing mark it replaced is restored.
TEST_F(FaultTest, LogThatCannotGrowIsLeftAsItWas) {
  const std::string log = LogTo("start.log");
  const struct {
    const char* what;
    std::string before;
    rlim_t room;  // bytes the log may still grow by
  } cases[] = {
      {"no room, mark", "one\r\n\x1A", 0},
      {"no room", "one\r\n", 0},
      {"room for part of a record, mark", "one\r\n\x1A", 10},
      {"room for part of a record", "one\r\n", 10},
  };
  for (const auto& c : cases) {
    WriteBytes(log, c.before);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      (void)std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{c.before.size() + c.room, c.before.size() + c.room};
      setrlimit(RLIMIT_FSIZE, &limit);
      _exit(module_.Start() == 1 ? 0 : 1);
    }
    EXPECT_TRUE(HostSucceeded(child)) << c.what;
    EXPECT_EQ(ReadBytes(log), c.before) << c.what;
  }
  EXPECT_EQ(module_.Start(), 1);
  ExpectIntactLog(log, "one\r\n", 1);
}

// Run as an unprivileged user (root is not stopped by file permissions).
class UnprivilegedTest : public StartLogTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "needs root to start a host as another user";
    }
    chmod(root_.path().c_str(), 0755);
  }
  // qvnhost as the user nobody; its whole output.
  std::string StartAsNobody() {
    const std::string output = root_ / "host.out";
    const pid_t host = SpawnHostAs("nobody", output);
    EXPECT_TRUE(HostSucceeded(host));
    std::string text = ReadBytes(output);
    (void)std::remove(output.c_str());
    return text;
  }

 private:
  static pid_t SpawnHostAs(const char* user, const std::string& output) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      execlp("setpriv", "setpriv", "--reuid", user, "--regid", "nogroup", "--clear-groups",
             QVN_HOST_PATH, QVN_MODULE_PATH, "start", static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
};

TEST_F(UnprivilegedTest, ReadOnlyLogIsLeftAlone) {
  const std::string log = LogTo("start.log");
  chmod((root_ / "user").c_str(), 0755);
  WriteBytes(log, "one\r\n\x1A");
  chmod(log.c_str(), 0444);
  chmod(SetUser("StartLogFile=" + log + "\n").c_str(), 0644);
  const auto before = Tree(root_.path());
  EXPECT_EQ(StartAsNobody(), "QVNAddonStart 1\n");
  EXPECT_EQ(ReadBytes(log), "one\r\n\x1A");
  EXPECT_EQ(Tree(root_.path()), before);
}

TEST_F(UnprivilegedTest, UnwritableDirectoryGetsNoLog) {
  const std::string log = LogTo("start.log");
  chmod(SetUser("StartLogFile=" + log + "\n").c_str(), 0644);
  const auto before = Tree(root_.path());
  EXPECT_EQ(StartAsNobody(), "QVNAddonStart 1\n");
  EXPECT_EQ(Tree(root_.path()), before);
}

TEST_F(UnprivilegedTest, UnreadableUserSettingsLeaveTheMachineSetting) {
  const std::string log = root_ / "machine.log";
  WriteBytes(log, "");
  chmod(log.c_str(), 0666);
  SetMachine("StartLogFile=" + log + "\n");
  chmod(SetUser("StartLogFile=" + (root_ / "user.log") + "\n").c_str(), 0600);
  EXPECT_EQ(StartAsNobody(), "QVNAddonStart 1\n");
  ExpectIntactLog(log, "", 1);
}

// A sparse log past 4 GiB: the record lands at its true end.
TEST_F(FaultTest, LogPastFourGibIsAppendedAtItsEnd) {
  const std::string log = LogTo("big.log");
  constexpr off_t kSize = (off_t{5} << 30) + 3;
  {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kSize - 1), 0);
    ASSERT_EQ(pwrite(fd, "\x1A", 1, kSize - 1), 1);
    close(fd);
  }
  EXPECT_EQ(module_.Start(), 1);
  struct stat status {};
  ASSERT_EQ(stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_size, kSize - 1 + 26);
  char tail[26] = {};
  const int fd = open(log.c_str(), O_RDONLY);
  ASSERT_EQ(pread(fd, tail, sizeof tail, kSize - 1), 26);
  close(fd);
  EXPECT_TRUE(IsRecordLine(std::string(tail, 24), "WS-017"));
  EXPECT_EQ(std::string(tail + 24, 2), "\r\n");
}

}  // namespace
}  // namespace qvntest

namespace qvntest {
namespace {

// A full disk: a small tmpfs, filled up. Needs root to mount it.
TEST_F(FaultTest, FullDiskLeavesTheLogAsItWas) {
  const std::string disk = root_ / "disk";
  mkdir(disk.c_str(), 0755);
  if (geteuid() != 0 || mount("qvn-test", disk.c_str(), "tmpfs", 0, "size=64k,nr_inodes=64") != 0) {
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  }
  const struct Unmount {
    std::string dir;
    ~Unmount() { umount2(dir.c_str(), MNT_DETACH); }
  } unmount{disk};
  const std::string log = disk + "/start.log";
  SetUser("StartLogFile=" + log + "\n");
  // The log fills its last block to the byte, so the record needs a new one.
  const std::string kept = std::string(4093, 'x') + "\r\n";
  const std::string before = kept + "\x1A";
  WriteBytes(log, before);
  {  // Fill every block that is left.
    const int fd = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, block.data(), 1) > 0) {
    }
    close(fd);
  }
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_EQ(ReadBytes(log), before);
  (void)std::remove((disk + "/filler").c_str());
  EXPECT_EQ(module_.Start(), 1);
  ExpectIntactLog(log, kept, 1);
}

}  // namespace
}  // namespace qvntest
