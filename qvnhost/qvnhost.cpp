// qvnhost: a small stand-in for the host application. It loads an add-on
// module and calls its exports in the order given on the command line,
// printing each result:
//
//   qvnhost MODULE start end start   ->  QVNAddonStart 1
//                                        QVNAddonEnd 1
//                                        QVNAddonStart 1
//
// A word may carry a count: "start:1000" makes a thousand start calls.
//
//   qvnhost check   tells what a start would do for this user, writing
//                   nothing (see check.cpp); exit status 0 when a start would
//                   write a record, 1 when it would not.
//
// Exit status: 0 when every call was made, 2 when the module or an export
// could not be found or the command line is wrong.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using AddonCall = int (*)();

#ifdef _WIN32
using Module = HMODULE;
Module LoadModule(const char* path) { return LoadLibraryA(path); }
AddonCall FindExport(Module module, const char* name) {
  return reinterpret_cast<AddonCall>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
void UnloadModule(Module module) { FreeLibrary(module); }
#else
using Module = void*;
Module LoadModule(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
AddonCall FindExport(Module module, const char* name) {
  return reinterpret_cast<AddonCall>(dlsym(module, name));
}
void UnloadModule(Module module) { dlclose(module); }
#endif

// One word of the command line: which export, how many calls.
struct Calls {
  const char* name;
  unsigned long count;
};

bool ParseWord(const char* word, Calls& calls) {
  const char* colon = std::strchr(word, ':');
  const std::size_t length =
      colon != nullptr ? static_cast<std::size_t>(colon - word) : std::strlen(word);
  calls.count = 1;
  if (colon != nullptr) {
    char* end = nullptr;
    calls.count = std::strtoul(colon + 1, &end, 10);
    if (end == colon + 1 || *end != '\0') {
      return false;
    }
  }
  if (length == 5 && std::strncmp(word, "start", length) == 0) {
    calls.name = "QVNAddonStart";
  } else if (length == 3 && std::strncmp(word, "end", length) == 0) {
    calls.name = "QVNAddonEnd";
  } else {
    return false;
  }
  return true;
}

int Usage() {
  (void)std::fputs(
      "usage: qvnhost MODULE [start|end|start:COUNT|end:COUNT]...\n"
      "       qvnhost check\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "check") == 0) {
    return RunCheck();
  }
  if (argc < 2) {
    return Usage();
  }
  Calls calls{};
  for (int i = 2; i < argc; ++i) {
    if (!ParseWord(argv[i], calls)) {
      return Usage();
    }
  }
  Module module = LoadModule(argv[1]);
  if (module == nullptr) {
    (void)std::fprintf(stderr, "qvnhost: cannot load %s\n", argv[1]);
    return 2;
  }
  int status = 0;
  for (int i = 2; i < argc && status == 0; ++i) {
    ParseWord(argv[i], calls);
    const AddonCall call = FindExport(module, calls.name);
    if (call == nullptr) {
      (void)std::fprintf(stderr, "qvnhost: %s does not export %s\n", argv[1], calls.name);
      status = 2;
    }
    for (unsigned long n = 0; call != nullptr && n < calls.count; ++n) {
      std::printf("%s %d\n", calls.name, call());
      (void)std::fflush(stdout);
    }
  }
  UnloadModule(module);
  return status;
}
