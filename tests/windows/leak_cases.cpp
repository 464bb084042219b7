// Many starts in one host process leave its handles and its memory where
// they began.
#include <cstdint>

#include "wintest.h"
// (psapi.h needs windows.h, from wintest.h, first.)
#include <psapi.h>

namespace {

using wintest::Settings;

SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PrivateUsage;
}

// The value the next new handle gets: the handle table hands out its lowest
// free entry, so handles left open push this up. (Wine's handle count is of
// no use here: GetProcessHandleCount does not count them.)
std::uintptr_t NextHandle() {
  const HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(probe);
  return reinterpret_cast<std::uintptr_t>(probe);
}

TEST_CASE(ManyStartsLeakNothing) {
  constexpr int kStarts = 10000;
  wintest::TempDir dir;
  Settings settings;
  const std::string log = dir / "start.log";
  Settings::SetString(HKEY_CURRENT_USER, log);
  wintest::Module module;
  for (int i = 0; i < 100; ++i) {  // first use of every path settles here
    module.Start();
  }
  const std::uintptr_t handles = NextHandle();
  const SIZE_T bytes = PrivateBytes();
  for (int i = 0; i < kStarts; ++i) {
    if (i % 1000 == 0) {
      wintest::WriteBytes(log, "");  // keep the log small
    }
    module.Start();
  }
  CHECK_EQ(NextHandle(), handles);
  // Allowance for the heap's own bookkeeping; a leak of even a few bytes a
  // start would pass it many times over.
  CHECK(PrivateBytes() <= bytes + 256 * 1024);
}

}  // namespace
