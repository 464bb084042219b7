// The module's boundary with the host: its entry point and its two exports.
//
// Both exports take no parameters, so the cdecl and stdcall conventions are
// the same on the machine level and either kind of host can call them.
#include "QVNStartLog.h"

#ifdef _WIN32
#include <windows.h>
// Exported by name and ordinal through QVNStartLog.def.
#define QVN_EXPORT extern "C"
#else
#define QVN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QVN_EXPORT int QVNAddonStart() {
  AppendStartRecord(ReadStartLogFile());
  return 1;
}

QVN_EXPORT int QVNAddonEnd() { return 1; }

#ifdef _WIN32
// The module's own entry point: the linker makes it the DLL's entry, with no
// C runtime start-up of its own in front of it. The module keeps no per-thread
// data and nothing static, so thread notifications are switched off.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
#endif
