// What a start writes: the computer's name and the local date and time.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "wintest.h"

namespace {

using wintest::Settings;

std::vector<std::string> StartOnce(const wintest::TempDir& dir) {
  const std::string log = dir / "start.log";
  DeleteFileA(log.c_str());
  wintest::Module module;
  CHECK_EQ(module.Start(), 1);
  std::vector<std::string> lines;
  CHECK(wintest::SplitRecords(wintest::ReadBytes(log), lines));
  return lines;
}

TEST_CASE(ComputerNameField) {
  wintest::TempDir dir;
  Settings settings;
  Settings::SetString(HKEY_CURRENT_USER, dir / "start.log");
  const std::string system = wintest::SystemComputerName();
  const struct {
    const char* what;
    const char* variable;  // nullptr: unset
    std::string field;
  } cases[] = {
      {"set", "WS-017", "WS-017"},
      {"63 bytes", "ccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc",
       std::string(63, 'c')},
      {"64 bytes", "cccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc", system},
      {"unset", nullptr, system},
      {"empty", "", system},
      {"control bytes",
       "A\tB\rC\nD\x7F"
       "E\x01\xE9",
       "A?B?C?D?E?\xE9"},
  };
  const std::string huge(4000, 'c');
  for (const auto& c : cases) {
    wintest::ScopedEnv name("COMPUTERNAME", c.variable);
    const auto lines = StartOnce(dir);
    CHECK_EQ(lines.size(), 1u);
    if (!lines.empty() && !wintest::IsRecordLine(lines[0], c.field)) {
      wintest::Fail(__FILE__, __LINE__, std::string(c.what) + ": " + lines[0]);
    }
  }
  wintest::ScopedEnv name("COMPUTERNAME", huge.c_str());
  const auto lines = StartOnce(dir);
  CHECK(lines.size() == 1 && wintest::IsRecordLine(lines[0], system));
}

// Makes one start within one second and checks its record against the
// time of that second, broken down by `convert`.
void CheckRecordOfTheSecond(const std::tm* (*convert)(__time64_t second)) {
  wintest::TempDir dir;
  Settings settings;
  Settings::SetString(HKEY_CURRENT_USER, dir / "start.log");
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  for (;;) {
    const __time64_t second = _time64(nullptr);
    const auto lines = StartOnce(dir);
    if (_time64(nullptr) != second) {
      continue;  // a second boundary fell in between
    }
    const std::tm* time = convert(second);
    char expected[80];
    std::snprintf(expected, sizeof expected, "WS-017\t%02d/%02d/%02d\t%02d:%02d:%02d",
                  time->tm_mon + 1, time->tm_mday, time->tm_year % 100, time->tm_hour, time->tm_min,
                  time->tm_sec);
    if (lines.size() != 1 || lines[0] != expected) {
      wintest::Fail(__FILE__, __LINE__,
                    (lines.empty() ? std::string("no record") : lines[0]) + " vs " + expected);
    }
    return;
  }
}

// The record's date and time are the local time of the start, as the C
// runtime gives it for the time zone in force.
TEST_CASE(DateAndTimeAreLocalTime) {
  CheckRecordOfTheSecond([](__time64_t second) -> const std::tm* { return _localtime64(&second); });
}

// Run in a process of its own: the C runtime reads TZ once, at its first
// time conversion, so TZ is set before anything converts a time.
TEST_CASE(DateAndTimeFollowTz) {
  _putenv("TZ=QVN-05:30");
  CheckRecordOfTheSecond([](__time64_t second) -> const std::tm* {
    const __time64_t shifted = second + 19800;  // 5:30 east of UTC
    return _gmtime64(&shifted);
  });
}

// TZ that names no zone the runtime knows: the record keeps its form.
TEST_CASE(DateAndTimeWithUnusableTz) {
  _putenv("TZ=::no such zone::");
  wintest::TempDir dir;
  Settings settings;
  Settings::SetString(HKEY_CURRENT_USER, dir / "start.log");
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  const auto lines = StartOnce(dir);
  CHECK(lines.size() == 1 && wintest::IsRecordLine(lines[0], "WS-017"));
}

}  // namespace
