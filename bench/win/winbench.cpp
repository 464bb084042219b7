// What a start of QVNStartLog.dll costs, against the least that the same work
// can cost: the DLL, loaded with LoadLibraryA and started with its setting in
// the registry, side by side with a floor that makes the same platform calls
// directly; and what loading it costs against an add-on that does nothing.
//
//   winbench.exe MODULE EMPTY_ADDON
//
// Exit status: 0 when every goal is met, 1 when one is missed, 2 when the
// measurement could not be set up.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "../ratio.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Harlowick Systems\\Quillvane v2";
constexpr char kValueName[] = "StartLogFile";

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER ticks{};
    QueryPerformanceFrequency(&ticks);
    return static_cast<double>(ticks.QuadPart);
  }();
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  return static_cast<double>(ticks.QuadPart) / frequency;
}

OVERLAPPED At(unsigned long long offset) {
  OVERLAPPED request{};
  request.Offset = static_cast<DWORD>(offset);
  request.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return request;
}

// The floor: the calls a start cannot do without, made directly, with no
// more care than the plain case needs.
void FloorReadScope(HKEY root, char* value, DWORD capacity) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  DWORD size = capacity;
  RegQueryValueExA(key, kValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
}

char* PutTwoDigits(char* out, int value, char after) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
  out[2] = after;
  return out + 3;
}

void FloorStart() {
  char log[500] = "";
  FloorReadScope(HKEY_LOCAL_MACHINE, log, sizeof log);
  FloorReadScope(HKEY_CURRENT_USER, log, sizeof log);
  if (log[0] == '\0') {
    return;
  }
  const __time64_t now = _time64(nullptr);
  const std::tm* local = _localtime64(&now);
  char record[128];
  const DWORD nameLength = GetEnvironmentVariableA("COMPUTERNAME", record, 64);
  char* out = record + (nameLength < 64 ? nameLength : 0);
  *out++ = '\t';
  out = PutTwoDigits(out, local->tm_mon + 1, '/');
  out = PutTwoDigits(out, local->tm_mday, '/');
  out = PutTwoDigits(out, local->tm_year % 100, '\t');
  out = PutTwoDigits(out, local->tm_hour, ':');
  out = PutTwoDigits(out, local->tm_min, ':');
  out = PutTwoDigits(out, local->tm_sec, '\r');
  *out++ = '\n';

  const HANDLE file = CreateFileA(log, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  OVERLAPPED lock = At(0x7FFFFFFFFFFFFFFEull);
  LARGE_INTEGER size{};
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
    if (GetFileSizeEx(file, &size)) {
      auto offset = static_cast<unsigned long long>(size.QuadPart);
      unsigned char last = 0;
      DWORD done = 0;
      OVERLAPPED at = At(offset - 1);
      if (offset > 0 && ReadFile(file, &last, 1, &done, &at) && done == 1 && last == 0x1A) {
        --offset;
      }
      at = At(offset);
      WriteFile(file, record, static_cast<DWORD>(out - record), &done, &at);
    }
    lock = At(0x7FFFFFFFFFFFFFFEull);
    UnlockFileEx(file, 0, 1, 0, &lock);
  }
  CloseHandle(file);
}

void SetSetting(HKEY root, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
          ERROR_SUCCESS ||
      RegSetValueExA(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS) {
    (void)std::fputs("cannot write the settings key\n", stderr);
    std::exit(2);
  }
  RegCloseKey(key);
}

// Empties the log (creating it when absent).
void EmptyLog(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    (void)std::fprintf(stderr, "cannot create %s\n", path.c_str());
    std::exit(2);
  }
  CloseHandle(file);
}

// A fresh directory, with the settings key of both scopes pointing into it;
// the directory and the key are removed at the end of the scope.
class Scene {
 public:
  Scene() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    root_ = std::string(base) + "qvn-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root_.c_str(), nullptr);
    SetSetting(HKEY_LOCAL_MACHINE, root_ + "\\machine.log");
    SetSetting(HKEY_CURRENT_USER, log());
  }
  ~Scene() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    DeleteFileA(log().c_str());
    RemoveDirectoryA(root_.c_str());
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::string log() const { return root_ + "\\start.log"; }

 private:
  std::string root_;
};

HMODULE Load(const char* path) {
  const HMODULE module = LoadLibraryA(path);
  if (module == nullptr) {
    (void)std::fprintf(stderr, "cannot load %s\n", path);
    std::exit(2);
  }
  return module;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    (void)std::fputs("usage: winbench.exe MODULE EMPTY_ADDON\n", stderr);
    return 2;
  }
  const char* modulePath = argv[1];
  const char* emptyPath = argv[2];
  SetEnvironmentVariableA("COMPUTERNAME", "BENCH-01");
  const Scene scene;
  const HMODULE module = Load(modulePath);
  using AddonCall = int (*)();
  const auto start =
      reinterpret_cast<AddonCall>(reinterpret_cast<void*>(GetProcAddress(module, "QVNAddonStart")));
  if (start == nullptr) {
    (void)std::fputs("QVNAddonStart not found\n", stderr);
    return 2;
  }

  // Fewer and shorter rounds than natively: every call into Wine's server is
  // slow, the more so under qemu-user.
  constexpr int kRounds = 21;
  constexpr int kBatch = 40;
  bool met = true;
  qvnbench::PrintHeader();
  const std::string log = scene.log();
  const auto emptyLog = [&log] { EmptyLog(log); };
  met &= qvnbench::PrintRow(
      "Wine: configured start / floor",
      qvnbench::Compare(Now, kRounds, kBatch, {emptyLog, [start] { (void)start(); }},
                        {emptyLog, FloorStart}),
      1.3);
  FreeLibrary(module);

  FreeLibrary(Load(emptyPath));
  const auto loadUnload = [](const char* path) {
    return [path] { FreeLibrary(LoadLibraryA(path)); };
  };
  qvnbench::PrintRow("Wine: LoadLibraryA+FreeLibrary: module / empty add-on",
                     qvnbench::Compare(Now, kRounds, kBatch, {nullptr, loadUnload(modulePath)},
                                       {nullptr, loadUnload(emptyPath)}),
                     0);
  return met ? 0 : 1;
}
