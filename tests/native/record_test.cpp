// What a start writes: the record's fields, built from the clock, TZ and the
// computer's name.
#include <sys/utsname.h>

#include <cstdio>
#include <ctime>

#include "QVNStartLog.h"
#include "support.h"

namespace qvntest {
namespace {

TEST(FormatTimeTextTest, FixedTwoDigitFields) {
  const struct {
    LocalTime time;
    const char* text;
  } cases[] = {
      {{2005, 3, 14, 9, 5, 7}, "03/14/05 09:05:07"},
      {{2000, 1, 5, 0, 0, 0}, "01/05/00 00:00:00"},
      {{2009, 12, 31, 13, 0, 0}, "12/31/09 13:00:00"},
      {{2038, 1, 19, 3, 14, 8}, "01/19/38 03:14:08"},
      {{2100, 2, 28, 23, 59, 60}, "02/28/00 23:59:60"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(FormatTimeText(c.time).bytes, c.text);
  }
}

TEST(BuildStartRecordTest, FieldsAreTabSeparatedAndLineEndsInCrLf) {
  const ComputerName name = MakeComputerName("WS-017", 6);
  EXPECT_STREQ(BuildStartRecord(name, FormatTimeText({2005, 3, 14, 9, 5, 7})).bytes,
               "WS-017\t03/14/05\t09:05:07\r\n");
  // Local time that cannot be determined: the record keeps its name and tab.
  EXPECT_STREQ(BuildStartRecord(name, TimeText{}).bytes, "WS-017\t\r\n");
  // The longest name and time text still fit whole.
  const std::string longest(ComputerName::kCapacity, 'n');
  TimeText time;
  time.length = TimeText::kCapacity;
  std::fill_n(time.bytes, time.length, '9');
  const StartRecord record =
      BuildStartRecord(MakeComputerName(longest.data(), longest.size()), time);
  EXPECT_EQ(record.length, StartRecord::kCapacity);
  EXPECT_EQ(std::string(record.bytes + record.length - 2), "\r\n");
}

std::string SystemName() {
  struct utsname system {};
  uname(&system);
  return system.nodename;
}

// The computer-name field for each kind of COMPUTERNAME.
TEST_F(StartLogTest, ComputerNameField) {
  const struct {
    const char* what;
    std::optional<std::string> variable;
    std::string field;
  } cases[] = {
      {"set", std::string("WS-017"), "WS-017"},
      {"63 bytes", std::string(63, 'c'), std::string(63, 'c')},
      {"64 bytes", std::string(64, 'c'), SystemName()},
      {"4000 bytes", std::string(4000, 'c'), SystemName()},
      {"unset", std::nullopt, SystemName()},
      {"empty", std::string(), SystemName()},
      {"control bytes",
       std::string("A\tB\rC\nD\x7F"
                   "E\x01\xE9"),
       "A?B?C?D?E?\xE9"},
  };
  for (const auto& c : cases) {
    TempDir logs;
    const std::string log = logs / "start.log";
    SetUser("StartLogFile=" + log + "\n");
    ScopedEnv name("COMPUTERNAME", c.variable);
    EXPECT_EQ(module_.Start(), 1);
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitRecords(ReadBytes(log), lines)) << c.what;
    ASSERT_EQ(lines.size(), 1u) << c.what;
    EXPECT_TRUE(IsRecordLine(lines[0], c.field)) << c.what << ": " << lines[0];
  }
}

// The record's date and time are those of the moment of the start in the
// time zone that TZ names, followed afresh at every start.
TEST_F(StartLogTest, DateAndTimeFollowTz) {
  const std::string log = LogTo("start.log");
  const struct {
    const char* tz;
    long offset;  // seconds east of UTC
  } zones[] = {{"UTC0", 0}, {"QVN-05:30", 19800}, {"QVN+11", -39600}, {"UTC0", 0}};
  for (const auto& zone : zones) {
    ScopedEnv tz("TZ", std::string(zone.tz));
    const std::string earlier = ReadBytes(log);
    std::time_t before = 0;
    std::time_t after = 0;
    do {  // Again in the rare case that a second boundary falls in between.
      WriteBytes(log, earlier);
      before = std::time(nullptr);
      EXPECT_EQ(module_.Start(), 1);
      after = std::time(nullptr);
    } while (before != after);
    const std::time_t shifted = before + zone.offset;
    std::tm utc{};
    gmtime_r(&shifted, &utc);
    char expected[80];
    (void)std::snprintf(expected, sizeof expected, "WS-017\t%02d/%02d/%02d\t%02d:%02d:%02d",
                        utc.tm_mon + 1, utc.tm_mday, utc.tm_year % 100, utc.tm_hour, utc.tm_min,
                        utc.tm_sec);
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitRecords(ReadBytes(log), lines));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), expected) << zone.tz;
  }
}

// A TZ that names no zone, or nothing: the record keeps its form.
TEST_F(StartLogTest, UnusableTzKeepsTheRecordsForm) {
  const std::string log = LogTo("start.log");
  for (const char* tz : {"", "garbage!!", ":No/Such_Zone", "QVN+99:99:99"}) {
    ScopedEnv zone("TZ", std::string(tz));
    EXPECT_EQ(module_.Start(), 1) << tz;
  }
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitRecords(ReadBytes(log), lines));
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string& line : lines) {
    EXPECT_TRUE(IsRecordLine(line, "WS-017")) << line;
  }
}

}  // namespace
}  // namespace qvntest
