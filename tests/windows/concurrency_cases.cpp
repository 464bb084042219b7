// Many starts at once, in several host processes and threads, into shared
// logs: no record lost, duplicated, torn or interleaved, and a trailing
// end-of-file mark replaced exactly once. Also a host killed in the middle of
// its starts.
#include <algorithm>
#include <cstdio>

#include "wintest.h"

namespace {

using wintest::Settings;

constexpr int kProcesses = 8;
constexpr int kThreads = 4;
constexpr int kStarts = 300;  // per process and per thread

// qvnhost making `starts` start calls, in directory `cwd`.
HANDLE SpawnHost(int starts, const std::string& cwd) {
  return wintest::StartHost("\"" + wintest::ModulePath() + "\" start:" + std::to_string(starts),
                            cwd.c_str(), "NUL");
}

DWORD WINAPI StartRepeatedly(LPVOID module) {
  for (int i = 0; i < kStarts; ++i) {
    static_cast<wintest::Module*>(module)->Start();
  }
  return 0;
}

// The log holds `kept`, then `expected` whole records and no mark.
void CheckLog(const std::string& log, const std::string& kept, std::size_t expected) {
  const std::string bytes = wintest::ReadBytes(log);
  CHECK(bytes.compare(0, kept.size(), kept) == 0);
  std::vector<std::string> lines;
  CHECK(wintest::SplitRecords(bytes.substr(kept.size()), lines));
  CHECK_EQ(lines.size(), expected);
  std::size_t torn = 0;
  for (const std::string& line : lines) {
    torn += wintest::IsRecordLine(line, "WS-017") ? 0u : 1u;
  }
  CHECK_EQ(torn, 0u);
  CHECK_EQ(bytes.find('\x1A'), std::string::npos);
}

// The setting is a relative path, so each host's current directory decides
// which of two logs it appends to.
TEST_CASE(ProcessesAndThreadsLoseAndTearNothing) {
  const struct {
    const char* what;
    bool twoLogs;
    std::string seed;
  } cases[] = {
      {"one log ending in a mark", false, "earlier\r\n\x1A"},
      {"one log without mark", false, "earlier\r\n"},
      {"two logs", true, "earlier\r\n\x1A"},
  };
  for (const auto& c : cases) {
    std::printf("  %s\n", c.what);
    wintest::TempDir first;
    wintest::TempDir second;
    Settings settings;
    Settings::SetString(HKEY_CURRENT_USER, "shared.log");
    wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
    wintest::WriteBytes(first / "shared.log", c.seed);
    wintest::WriteBytes(second / "shared.log", c.seed);
    char old[MAX_PATH];
    GetCurrentDirectoryA(sizeof old, old);
    SetCurrentDirectoryA(first.path().c_str());

    wintest::Module module;
    std::vector<HANDLE> hosts;
    std::vector<HANDLE> threads;
    for (int i = 0; i < kProcesses; ++i) {
      hosts.push_back(SpawnHost(kStarts, c.twoLogs && i % 2 == 1 ? second.path() : first.path()));
    }
    for (int i = 0; i < kThreads; ++i) {
      threads.push_back(CreateThread(nullptr, 0, StartRepeatedly, &module, 0, nullptr));
    }
    for (HANDLE thread : threads) {
      CHECK(thread != nullptr && WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0);
      CloseHandle(thread);
    }
    for (HANDLE host : hosts) {
      DWORD code = 1;
      CHECK(host != nullptr && WaitForSingleObject(host, INFINITE) == WAIT_OBJECT_0);
      CHECK(GetExitCodeProcess(host, &code) && code == 0);
      CloseHandle(host);
    }
    SetCurrentDirectoryA(old);

    const std::string kept = c.seed.substr(0, c.seed.find('\x1A'));
    const std::size_t toSecond = c.twoLogs ? kProcesses / 2 * kStarts : 0;
    CheckLog(first / "shared.log", kept, (kProcesses + kThreads) * kStarts - toSecond);
    if (c.twoLogs) {
      CheckLog(second / "shared.log", kept, toSecond);
    } else {
      CHECK_EQ(wintest::ReadBytes(second / "shared.log"), c.seed);
    }
  }
}

std::size_t LineCount(const std::string& path) {
  const std::string bytes = wintest::ReadBytes(path);
  return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

TEST_CASE(TerminatedHostLeavesOnlyWholeRecords) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "start.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  const HANDLE host = SpawnHost(1000000, dir.path());
  CHECK(host != nullptr);
  // Wait (polling, bounded) until the host is well into its starts.
  for (int polls = 0; polls < 3000 && LineCount(log) < 100; ++polls) {
    Sleep(10);
  }
  CHECK(TerminateProcess(host, 9));
  WaitForSingleObject(host, INFINITE);
  CloseHandle(host);
  const std::size_t before = LineCount(log);
  CHECK(before >= 100 && before < 1000000);
  CheckLog(log, "", before);
  wintest::Module module;
  CHECK_EQ(module.Start(), 1);
  CheckLog(log, "", before + 1);
}

// A sparse log past 4 GiB: the record lands at its true end, which the
// 32-bit module reaches with 64-bit offsets.
TEST_CASE(LogPastFourGibIsAppendedAtItsEnd) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "big.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  const LONGLONG size = (LONGLONG{5} << 30) + 3;
  {
    const HANDLE file = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(file != INVALID_HANDLE_VALUE);
    LARGE_INTEGER at{};
    at.QuadPart = size - 1;
    CHECK(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    DWORD written = 0;
    CHECK(WriteFile(file, "\x1A", 1, &written, nullptr) && written == 1);
    CloseHandle(file);
  }
  wintest::Module module;
  CHECK_EQ(module.Start(), 1);
  const HANDLE file = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER end{};
  CHECK(GetFileSizeEx(file, &end));
  CHECK_EQ(end.QuadPart, size - 1 + 26);
  LARGE_INTEGER at{};
  at.QuadPart = size - 1;
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  char tail[26] = {};
  DWORD read = 0;
  CHECK(ReadFile(file, tail, sizeof tail, &read, nullptr) && read == sizeof tail);
  CloseHandle(file);
  CHECK(wintest::IsRecordLine(std::string(tail, 24), "WS-017"));
  CHECK_EQ(std::string(tail + 24, 2), std::string("\r\n"));
}

}  // namespace
