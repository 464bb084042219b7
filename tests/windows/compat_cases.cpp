// The module in a host that has changed the C runtime's locale: the DLL shares
// msvcrt.dll, and so its locale, with the host, and the record keeps its one
// fixed form all the same.
#include <clocale>
#include <cstdio>
#include <ctime>

#include "wintest.h"

namespace {

using wintest::Settings;

// The C runtime's locale, set for the scope and put back at its end.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
    set_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool set() const { return set_; }

 private:
  std::string old_;
  bool set_ = false;
};

std::string DateAndTimeText(const std::tm& time) {
  char text[128];
  const std::size_t length = std::strftime(text, sizeof text, "%A %d %B %Y %X", &time);
  return std::string(text, length);
}

TEST_CASE(RecordKeepsItsFormInAnyLocale) {
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "start.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::ScopedEnv name("COMPUTERNAME", "WS-017");
  // Locales whose own date and time form differs from the C locale's, and
  // Turkish, whose upper and lower case of 'i' trips case-insensitive code.
  for (const char* locale : {"German_Germany.1252", "Turkish_Turkey.1254", "Japanese_Japan.932"}) {
    ScopedLocale scoped(locale);
    if (!scoped.set()) {
      wintest::Fail(__FILE__, __LINE__, std::string("setlocale failed: ") + locale);
      continue;
    }
    for (;;) {
      DeleteFileA(log.c_str());
      const __time64_t before = _time64(nullptr);
      {
        wintest::Module module;
        CHECK_EQ(module.Start(), 1);
      }
      if (_time64(nullptr) != before) {
        continue;  // a second boundary fell in between
      }
      const std::tm local = *_localtime64(&before);
      // The locale is in force: the runtime's own form of the date differs.
      std::string c;
      {
        ScopedLocale classic("C");
        c = DateAndTimeText(local);
      }
      if (DateAndTimeText(local) == c) {
        wintest::Fail(__FILE__, __LINE__, std::string(locale) + " formats dates as C does");
      }
      char expected[80];
      std::snprintf(expected, sizeof expected, "WS-017\t%02d/%02d/%02d\t%02d:%02d:%02d\r\n",
                    local.tm_mon + 1, local.tm_mday, local.tm_year % 100, local.tm_hour,
                    local.tm_min, local.tm_sec);
      CHECK_EQ(std::string(locale) + ": " + wintest::ReadBytes(log),
               std::string(locale) + ": " + expected);
      break;
    }
  }
}

}  // namespace
