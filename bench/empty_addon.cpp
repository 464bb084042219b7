// An add-on that does nothing: the baseline for what loading the module
// costs. Built and linked the way the module is, with the same two exports,
// so that what it saves is the module's own code and data.
#ifdef _WIN32
#include <windows.h>
#define QVN_EXPORT extern "C"
#else
#define QVN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QVN_EXPORT int QVNAddonStart() { return 1; }

QVN_EXPORT int QVNAddonEnd() { return 1; }

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
#endif
