// Where a start writes: StartLogFile in HKEY_LOCAL_MACHINE, then in
// HKEY_CURRENT_USER, read from Wine's real registry.
#include "QVNStartLog.h"
#include "wintest.h"

namespace {

using wintest::Settings;

std::string PathOf(const LogPath& path) { return std::string(path.bytes, path.length); }

// Which log a start writes to, for the values of the two scopes.
TEST_CASE(PrecedenceOfTheTwoScopes) {
  wintest::TempDir dir;
  const std::string m = dir / "m.log";
  const std::string u = dir / "u.log";
  const struct {
    const char* what;
    void (*machine)(const std::string&);
    void (*user)(const std::string&);
    const char* expected;
  } cases[] = {
      {"no key", nullptr, nullptr, ""},
      {"machine only", [](const std::string& p) { Settings::SetString(HKEY_LOCAL_MACHINE, p); },
       nullptr, "m.log"},
      {"user only", nullptr,
       [](const std::string& p) { Settings::SetString(HKEY_CURRENT_USER, p); }, "u.log"},
      {"both", [](const std::string& p) { Settings::SetString(HKEY_LOCAL_MACHINE, p); },
       [](const std::string& p) { Settings::SetString(HKEY_CURRENT_USER, p); }, "u.log"},
      {"user key without value",
       [](const std::string& p) { Settings::SetString(HKEY_LOCAL_MACHINE, p); },
       [](const std::string&) { Settings::CreateKeyOnly(HKEY_CURRENT_USER); }, "m.log"},
      {"empty user value switches off",
       [](const std::string& p) { Settings::SetString(HKEY_LOCAL_MACHINE, p); },
       [](const std::string&) { Settings::SetString(HKEY_CURRENT_USER, ""); }, ""},
  };
  for (const auto& c : cases) {
    Settings settings;
    if (c.machine) c.machine(m);
    if (c.user) c.user(u);
    wintest::Module module;
    CHECK_EQ(module.Start(), 1);
    for (const char* log : {"m.log", "u.log"}) {
      std::vector<std::string> lines;
      CHECK(wintest::SplitRecords(wintest::ReadBytes(dir / log), lines));
      CHECK_EQ(lines.size(), std::string(log) == c.expected ? 1u : 0u);
    }
    DeleteFileA(m.c_str());
    DeleteFileA(u.c_str());
  }
}

// What the lookup makes of each kind of stored value; the machine-wide value
// is always "C:\machine.log".
TEST_CASE(StoredValues) {
  const std::string machine = "C:\\machine.log";
  const std::string p499 = "C:\\" + std::string(496, 'p');
  const struct {
    const char* what;
    DWORD type;
    std::string bytes;
    std::string path;
  } cases[] = {
      {"shorter user value", REG_SZ, std::string("C:\\u\0", 5), "C:\\u"},
      {"user value stored without its zero", REG_BINARY, "C:\\u", "C:\\u"},
      {"expandable string used verbatim", REG_EXPAND_SZ, std::string("%TEMP%\\start.log\0", 17),
       "%TEMP%\\start.log"},
      {"499 bytes", REG_SZ, p499 + '\0', p499},
      {"499 bytes without zero", REG_BINARY, p499, p499},
      {"500 bytes without zero", REG_BINARY, p499 + 'x', machine},
      {"500 bytes", REG_SZ, p499 + "x" + '\0', machine},
      {"65536 bytes", REG_SZ, std::string(65535, 'p') + '\0', machine},
      {"bytes up to the first zero", REG_BINARY, std::string("C:\\a\0C:\\b", 9), "C:\\a"},
      {"DWORD", REG_DWORD, std::string("\x41\x42\0\0", 4), "AB"},
      {"multi-string", REG_MULTI_SZ, std::string("C:\\a\0C:\\b\0\0", 11), "C:\\a"},
      {"empty binary", REG_BINARY, "", ""},
      {"high bytes", REG_SZ, std::string("C:\\\xE9\xFF.log\0", 10), "C:\\\xE9\xFF.log"},
      {"QWORD", REG_QWORD, std::string("\x41\x42\x43\0\0\0\0\0", 8), "ABC"},
      {"NONE", REG_NONE, std::string("C:\\n.log"), "C:\\n.log"},
      {"1 byte", REG_BINARY, "x", "x"},
      {"498 bytes", REG_SZ, p499.substr(1) + '\0', p499.substr(1)},
      {"501 bytes", REG_BINARY, p499 + "xy", machine},
  };
  for (const auto& c : cases) {
    Settings settings;
    Settings::SetString(HKEY_LOCAL_MACHINE, machine);
    Settings::Set(HKEY_CURRENT_USER, c.type, c.bytes);
    const std::string path = PathOf(ReadStartLogFile());
    if (path != c.path) {
      wintest::Fail(__FILE__, __LINE__,
                    std::string(c.what) + ": got \"" + path.substr(0, 80) + "\"");
    }
  }
}

// Whatever the value, a start returns 1 and writes at most the one record to
// the one file the value names, here relative to the current directory.
TEST_CASE(HostileValuesThroughTheModule) {
  const struct {
    const char* what;
    DWORD type;
    std::string bytes;
    const char* created;  // the file the record goes to, or nullptr
  } cases[] = {
      {"DWORD", REG_DWORD, std::string("\x41\x42\0\0", 4), "AB"},
      {"QWORD", REG_QWORD, std::string("\x41\x42\x43\0\0\0\0\0", 8), "ABC"},
      {"binary with zeros", REG_BINARY, std::string("a.log\0b.log", 11), "a.log"},
      {"multi-string", REG_MULTI_SZ, std::string("m.log\0n.log\0\0", 13), "m.log"},
      {"no terminating zero", REG_BINARY, "z.log", "z.log"},
      {"expandable, used verbatim", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), "%TEMP%"},
      {"high bytes", REG_SZ, std::string("\xE9\xFF.log\0", 7), "\xE9\xFF.log"},
      {"over 259 bytes", REG_SZ, std::string(300, 'p') + '\0', nullptr},
      {"499 bytes", REG_SZ, std::string(499, 'p') + '\0', nullptr},
      {"65536 bytes", REG_SZ, std::string(65535, 'p') + '\0', nullptr},
      {"console device", REG_SZ, std::string("CON\0", 4), nullptr},
      {"UNC path to nowhere", REG_SZ, std::string("\\\\nowhere\\share\\s.log\0", 22), nullptr},
      {"control bytes", REG_SZ, std::string("\x01\x02\t\n\0", 5), nullptr},
  };
  wintest::Module module;
  char old[MAX_PATH];
  GetCurrentDirectoryA(sizeof old, old);
  for (const auto& c : cases) {
    wintest::TempDir dir;
    Settings settings;
    Settings::Set(HKEY_CURRENT_USER, c.type, c.bytes);
    SetCurrentDirectoryA(dir.path().c_str());
    const int result = module.Start();
    SetCurrentDirectoryA(old);
    const auto tree = wintest::Tree(dir.path());
    std::vector<std::string> lines;
    const bool ok = result == 1 &&
                    (c.created == nullptr
                         ? tree.empty()
                         : tree.size() == 1 &&
                               wintest::SplitRecords(wintest::ReadBytes(dir / c.created), lines) &&
                               lines.size() == 1);
    if (!ok) {
      wintest::Fail(__FILE__, __LINE__, c.what);
    }
  }
}

// The settings are read afresh at every start.
TEST_CASE(SettingsAreReadAtEveryStart) {
  wintest::TempDir dir;
  Settings settings;
  wintest::Module module;
  Settings::SetString(HKEY_CURRENT_USER, dir / "first.log");
  CHECK_EQ(module.Start(), 1);
  Settings::SetString(HKEY_CURRENT_USER, dir / "second.log");
  CHECK_EQ(module.Start(), 1);
  CHECK(wintest::Exists(dir / "first.log"));
  CHECK(wintest::Exists(dir / "second.log"));
}

}  // namespace
