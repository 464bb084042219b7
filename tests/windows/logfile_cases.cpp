// How a start treats the log file.
#include "wintest.h"

namespace {

using wintest::Settings;

std::vector<std::string> Records(const std::string& bytes) {
  std::vector<std::string> lines;
  CHECK(wintest::SplitRecords(bytes, lines));
  return lines;
}

TEST_CASE(NewLogAndStartsInCallOrder) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "start.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "FIRST");
  wintest::Module module;
  CHECK_EQ(module.End(), 1);
  CHECK(!wintest::Exists(log));
  CHECK_EQ(module.Start(), 1);
  CHECK_EQ(module.End(), 1);
  wintest::ScopedEnv second("COMPUTERNAME", "SECOND");
  CHECK_EQ(module.Start(), 1);
  const auto lines = Records(wintest::ReadBytes(log));
  CHECK_EQ(lines.size(), 2u);
  CHECK(lines.size() == 2 && wintest::IsRecordLine(lines[0], "FIRST") &&
        wintest::IsRecordLine(lines[1], "SECOND"));
}

TEST_CASE(LoadingAndUnloadingWritesNothing) {
  wintest::TempDir dir;
  Settings settings;
  Settings::SetString(HKEY_CURRENT_USER, dir / "start.log");
  { wintest::Module module; }
  CHECK(wintest::Tree(dir.path()).empty());
}

TEST_CASE(ExistingContentIsKeptAndOnlyATrailingMarkGoes) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "start.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  const struct {
    const char* what;
    std::string before;
    std::string kept;
  } cases[] = {
      {"no final line end", "partial", "partial"},
      {"trailing mark", "one\r\n\x1A", "one\r\n"},
      {"only a mark", "\x1A", ""},
      {"two marks", "one\r\n\x1A\x1A", "one\r\n\x1A"},
      {"mark inside",
       "a\x1A"
       "b",
       "a\x1A"
       "b"},
  };
  wintest::Module module;
  for (const auto& c : cases) {
    wintest::WriteBytes(log, c.before);
    CHECK_EQ(module.Start(), 1);
    const std::string after = wintest::ReadBytes(log);
    const bool ok = after.size() == c.kept.size() + 26 &&
                    after.compare(0, c.kept.size(), c.kept) == 0 &&
                    wintest::IsRecordLine(after.substr(c.kept.size(), 24), "WS-017");
    if (!ok) {
      wintest::Fail(__FILE__, __LINE__, c.what);
    }
  }
}

TEST_CASE(RelativePathIsTakenAgainstTheCurrentDirectory) {
  wintest::TempDir dir;
  Settings settings;
  CreateDirectoryA((dir / "logs").c_str(), nullptr);
  Settings::SetString(HKEY_CURRENT_USER, "logs\\start.log");
  char old[MAX_PATH];
  GetCurrentDirectoryA(sizeof old, old);
  SetCurrentDirectoryA(dir.path().c_str());
  wintest::Module module;
  CHECK_EQ(module.Start(), 1);
  SetCurrentDirectoryA(old);
  CHECK_EQ(Records(wintest::ReadBytes(dir / "logs\\start.log")).size(), 1u);
}

// A log that cannot be used: the start returns 1 and changes nothing.
TEST_CASE(UnusableLogChangesNothing) {
  wintest::TempDir dir;
  Settings settings;
  CreateDirectoryA((dir / "dir.log").c_str(), nullptr);
  wintest::WriteBytes(dir / "held.log", "held\r\n");
  const HANDLE held = CreateFileA((dir / "held.log").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(held != INVALID_HANDLE_VALUE);
  const std::string paths[] = {dir / "missing\\start.log", dir / "dir.log", dir / "held.log",
                               dir / "bad|name.log", "NUL"};
  wintest::Module module;
  for (const std::string& path : paths) {
    Settings::SetString(HKEY_CURRENT_USER, path);
    const auto before = wintest::Tree(dir.path());
    CHECK_EQ(module.Start(), 1);
    CHECK(wintest::Tree(dir.path()) == before);
  }
  CloseHandle(held);
  CHECK_EQ(wintest::ReadBytes(dir / "held.log"), std::string("held\r\n"));
  // Once the obstacle is gone, the next start appends normally.
  Settings::SetString(HKEY_CURRENT_USER, dir / "held.log");
  CHECK_EQ(module.Start(), 1);
  CHECK_EQ(Records(wintest::ReadBytes(dir / "held.log")).size(), 2u);
}

}  // namespace
