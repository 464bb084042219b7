// qvnhost check under Wine: what a start would do, told without writing
// anything, read through the registry view the 32-bit module reads.
#include "wintest.h"

namespace {

using wintest::Settings;

// Runs "qvnhost check"; its exit status, its output in `output`.
DWORD RunCheck(const std::string& outputFile, std::string& output) {
  const HANDLE host = wintest::StartHost("check", nullptr, outputFile);
  DWORD status = 99;
  if (host != nullptr) {
    WaitForSingleObject(host, INFINITE);
    GetExitCodeProcess(host, &status);
    CloseHandle(host);
  }
  output = wintest::ReadBytes(outputFile);
  return status;
}

TEST_CASE(CheckTellsWhatAStartWouldDoAndWritesNothing) {
  wintest::TempDir outputs;
  const struct {
    const char* what;
    const char* machine;  // relative to the log directory; nullptr: not set
    const char* user;
    bool makeDirectory;
    DWORD status;
    const char* says;
  } cases[] = {
      {"nothing set", nullptr, nullptr, false, 1,
       "no record: StartLogFile is set in neither scope"},
      {"no directory", "missing\\start.log", nullptr, false, 1,
       "no record: the log file's directory does not exist"},
      {"log switched off", "start.log", "", false, 1, "no record: the per-user value is empty"},
      {"a directory", nullptr, "dir", true, 1, "no record: the path names a directory"},
      {"new log", "m.log", "start.log", false, 0, "a start creates it"},
  };
  for (const auto& c : cases) {
    wintest::TempDir logs;
    Settings settings;
    if (c.machine != nullptr) {
      Settings::SetString(HKEY_LOCAL_MACHINE, logs / c.machine);
    }
    if (c.user != nullptr) {
      Settings::SetString(HKEY_CURRENT_USER, *c.user == '\0' ? std::string() : logs / c.user);
    }
    if (c.makeDirectory) {
      CreateDirectoryA((logs / "dir").c_str(), nullptr);
    }
    const auto before = wintest::Tree(logs.path());
    std::string output;
    const DWORD status = RunCheck(outputs / "check.out", output);
    if (status != c.status || output.find(c.says) == std::string::npos) {
      wintest::Fail(__FILE__, __LINE__, std::string(c.what) + ":\n" + output);
    }
    CHECK(wintest::Tree(logs.path()) == before);
  }
  // An existing log, named per user: the record is shown, the log untouched.
  wintest::TempDir logs;
  Settings settings;
  wintest::WriteBytes(logs / "old.log", "old\r\n\x1A");
  Settings::SetString(HKEY_CURRENT_USER, logs / "old.log");
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  std::string output;
  CHECK_EQ(RunCheck(outputs / "check.out", output), 0u);
  CHECK(output.find("exists and opens for appending") != std::string::npos);
  CHECK(output.find("HKEY_CURRENT_USER\\Software\\Harlowick Systems\\Quillvane v2") !=
        std::string::npos);
  CHECK(output.find("record        \"WS-017\\t") != std::string::npos);
  CHECK_EQ(wintest::ReadBytes(logs / "old.log"), std::string("old\r\n\x1A"));
}

}  // namespace
