// How a start treats the log file: created, appended to, never otherwise
// changed, and left alone when it cannot be used.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QVNStartLog.h"
#include "support.h"

namespace qvntest {
namespace {

using LogFileTest = StartLogTest;

std::vector<std::string> Records(const std::string& bytes) {
  std::vector<std::string> lines;
  EXPECT_TRUE(SplitRecords(bytes, lines));
  return lines;
}

TEST_F(LogFileTest, NewLogIsCreatedWithTheRecordAsItsFirstLine) {
  const std::string log = LogTo("start.log");
  EXPECT_EQ(module_.Start(), 1);
  const auto lines = Records(ReadBytes(log));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(IsRecordLine(lines[0], "WS-017"));
}

TEST_F(LogFileTest, StartsAppendInCallOrderAndEndChangesNothing) {
  const std::string log = LogTo("start.log");
  EXPECT_EQ(module_.End(), 1);
  EXPECT_FALSE(Exists(log));
  EXPECT_EQ(module_.Start(), 1);
  const std::string first = ReadBytes(log);
  EXPECT_EQ(module_.End(), 1);
  EXPECT_EQ(module_.End(), 1);
  EXPECT_EQ(ReadBytes(log), first);
  ScopedEnv name("COMPUTERNAME", std::string("SECOND"));
  EXPECT_EQ(module_.Start(), 1);
  const auto lines = Records(ReadBytes(log));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(IsRecordLine(lines[0], "WS-017"));
  EXPECT_TRUE(IsRecordLine(lines[1], "SECOND"));
}

TEST_F(LogFileTest, LoadingAndUnloadingWritesNothing) {
  const std::string log = LogTo("start.log");
  const auto before = Tree(root_.path());
  { Module another; }
  EXPECT_EQ(Tree(root_.path()), before);
}

// What an existing log holds before the start, and what it must hold after.
TEST_F(LogFileTest, ExistingContentIsKeptAndOnlyATrailingMarkGoes) {
  const struct {
    const char* what;
    std::string before;
    std::string kept;  // what precedes the new record
  } cases[] = {
      {"complete lines", "A\t01/01/00\t00:00:00\r\n", "A\t01/01/00\t00:00:00\r\n"},
      {"no final line end", "partial", "partial"},
      {"trailing mark", "one\r\n\x1A", "one\r\n"},
      {"only a mark", "\x1A", ""},
      {"two marks", "one\r\n\x1A\x1A", "one\r\n\x1A"},
      {"mark inside",
       "a\x1A"
       "b",
       "a\x1A"
       "b"},
      {"binary", std::string("\0\xFF\n\r", 4), std::string("\0\xFF\n\r", 4)},
  };
  const std::string log = LogTo("start.log");
  for (const auto& c : cases) {
    WriteBytes(log, c.before);
    EXPECT_EQ(module_.Start(), 1);
    const std::string after = ReadBytes(log);
    ASSERT_GE(after.size(), c.kept.size()) << c.what;
    EXPECT_EQ(after.substr(0, c.kept.size()), c.kept) << c.what;
    EXPECT_TRUE(
        IsRecordLine(after.substr(c.kept.size(), after.size() - c.kept.size() - 2), "WS-017"))
        << c.what;
  }
}

TEST_F(LogFileTest, RelativePathIsTakenAgainstTheWorkingDirectory) {
  SetUser("StartLogFile=logs/start.log\n");
  mkdir((root_ / "logs").c_str(), 0755);
  ScopedCwd cwd(root_.path());
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_EQ(Records(ReadBytes(root_ / "logs/start.log")).size(), 1u);
}

TEST_F(LogFileTest, SymbolicLinkIsFollowed) {
  const std::string log = LogTo("link.log");
  ASSERT_EQ(symlink((root_ / "target.log").c_str(), log.c_str()), 0);
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_EQ(Records(ReadBytes(root_ / "target.log")).size(), 1u);
}

// A log that cannot be used: the start returns 1 and changes nothing.
TEST_F(LogFileTest, UnusableLogChangesNothing) {
  const struct {
    const char* what;
    std::string path;
    void (*prepare)(const std::string& path);
  } cases[] = {
      {"missing directory", root_ / "missing/start.log", [](const std::string&) {}},
      {"directory", root_ / "dir.log", [](const std::string& p) { mkdir(p.c_str(), 0755); }},
      {"fifo without reader", root_ / "fifo.log",
       [](const std::string& p) { mkfifo(p.c_str(), 0644); }},
      {"device", "/dev/null", [](const std::string&) {}},
  };
  for (const auto& c : cases) {
    c.prepare(c.path);
    SetUser("StartLogFile=" + c.path + "\n");
    const auto before = Tree(root_.path());
    EXPECT_EQ(module_.Start(), 1) << c.what;
    EXPECT_EQ(Tree(root_.path()), before) << c.what;
  }
  // Nothing was left waiting in the FIFO either.
  const int fifo = open((root_ / "fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
  char byte = 0;
  EXPECT_LE(read(fifo, &byte, 1), 0);
  close(fifo);
}

}  // namespace
}  // namespace qvntest
