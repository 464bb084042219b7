// The module in a host that has changed the C library's locale: the record
// keeps its one fixed form, and the setting is still found.
#include <clocale>
#include <cstdio>
#include <ctime>

#include "support.h"

namespace qvntest {
namespace {

// One locale category, set for the scope and put back at its end.
class ScopedLocale {
 public:
  ScopedLocale(int category, const char* name)
      : category_(category), old_(std::setlocale(category, nullptr)) {
    set_ = std::setlocale(category, name) != nullptr;
  }
  ~ScopedLocale() { (void)std::setlocale(category_, old_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool set() const { return set_; }

 private:
  int category_;
  std::string old_;
  bool set_ = false;
};

std::string DateAndTimeText(const std::tm& time) {
  std::string text(128, '\0');
  text.resize(std::strftime(text.data(), text.size(), "%A %d %B %Y %X", &time));
  return text;
}

using CompatTest = StartLogTest;

TEST_F(CompatTest, RecordKeepsItsFormInAnyLocale) {
  // Locales whose own date and time form differs from the C locale's, and
  // Turkish, whose upper and lower case of 'i' trips case-insensitive code.
  // scripts/test generates them.
  const struct {
    int category;
    const char* name;
  } locales[] = {
      {LC_ALL, "de_DE.UTF-8"},
      {LC_ALL, "tr_TR.UTF-8"},
      {LC_TIME, "de_DE.UTF-8"},
  };
  const std::string log = LogTo("start.log");
  for (const auto& locale : locales) {
    SCOPED_TRACE(locale.name);
    ScopedLocale scoped(locale.category, locale.name);
    ASSERT_TRUE(scoped.set()) << "locale not installed: " << locale.name;
    for (;;) {
      std::filesystem::remove(log);
      const std::time_t before = std::time(nullptr);
      EXPECT_EQ(module_.Start(), 1);
      if (std::time(nullptr) != before) {
        continue;  // a second boundary fell in between
      }
      std::tm local{};
      ASSERT_NE(localtime_r(&before, &local), nullptr);
      // The locale is in force: the C library's own form of the date differs.
      std::string c;
      {
        ScopedLocale classic(LC_ALL, "C");
        c = DateAndTimeText(local);
      }
      EXPECT_NE(DateAndTimeText(local), c);
      char expected[80];
      (void)std::snprintf(expected, sizeof expected, "WS-017\t%02d/%02d/%02d\t%02d:%02d:%02d\r\n",
                          local.tm_mon + 1, local.tm_mday, local.tm_year % 100, local.tm_hour,
                          local.tm_min, local.tm_sec);
      EXPECT_EQ(ReadBytes(log), expected);
      break;
    }
  }
}

}  // namespace
}  // namespace qvntest
