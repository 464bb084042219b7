// Many starts at once, in several host processes and threads, into one log
// that ends in an end-of-file mark.
#include "wintest.h"

namespace {

using wintest::Settings;

constexpr int kProcesses = 4;
constexpr int kThreads = 4;
constexpr int kStarts = 100;

HANDLE SpawnHost(int starts) {
  std::string command = "\"" + wintest::HostPath() + "\" \"" + wintest::ModulePath() + "\"";
  for (int i = 0; i < starts; ++i) {
    command += " start";
  }
  // The host's "QVNAddonStart 1" lines go to NUL.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(nul);
  if (!created) {
    CHECK(!"CreateProcessA");
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD WINAPI StartRepeatedly(LPVOID module) {
  for (int i = 0; i < kStarts; ++i) {
    static_cast<wintest::Module*>(module)->Start();
  }
  return 0;
}

TEST_CASE(ProcessesAndThreadsLoseAndTearNothing) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "shared.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  wintest::WriteBytes(log, "earlier\r\n\x1A");

  wintest::Module module;
  std::vector<HANDLE> hosts;
  std::vector<HANDLE> threads;
  for (int i = 0; i < kProcesses; ++i) {
    hosts.push_back(SpawnHost(kStarts));
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

  const std::string bytes = wintest::ReadBytes(log);
  std::vector<std::string> lines;
  CHECK(wintest::SplitRecords(bytes, lines));
  CHECK_EQ(lines.size(), 1u + (kProcesses + kThreads) * kStarts);
  CHECK(!lines.empty() && lines[0] == "earlier");
  int torn = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    torn += wintest::IsRecordLine(lines[i], "WS-017") ? 0 : 1;
  }
  CHECK_EQ(torn, 0);
  CHECK_EQ(bytes.find('\x1A'), std::string::npos);
}

}  // namespace
