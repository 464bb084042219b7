// qvnhost: a small stand-in for the host application. It loads an add-on
// module and calls its exports in the order given on the command line,
// printing each result:
//
//   qvnhost MODULE start end start   ->  QVNAddonStart 1
//                                        QVNAddonEnd 1
//                                        QVNAddonStart 1
//
// Exit status: 0 when every call was made, 2 when the module or an export
// could not be found or the command line is wrong.
#include <cstdio>
#include <cstring>

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

const char* ExportFor(const char* word) {
  if (std::strcmp(word, "start") == 0) {
    return "QVNAddonStart";
  }
  if (std::strcmp(word, "end") == 0) {
    return "QVNAddonEnd";
  }
  return nullptr;
}

int Usage() {
  (void)std::fputs("usage: qvnhost MODULE [start|end]...\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  for (int i = 2; i < argc; ++i) {
    if (ExportFor(argv[i]) == nullptr) {
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
    const char* name = ExportFor(argv[i]);
    const AddonCall call = FindExport(module, name);
    if (call == nullptr) {
      (void)std::fprintf(stderr, "qvnhost: %s does not export %s\n", argv[1], name);
      status = 2;
    } else {
      std::printf("%s %d\n", name, call());
      (void)std::fflush(stdout);
    }
  }
  UnloadModule(module);
  return status;
}
