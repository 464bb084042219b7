// The harness of the tests that run under Wine (see wintest.h), and its main:
//   wintest.exe MODULE HOST [CASE...]   runs the named cases, or all of them.
#include "wintest.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace wintest {
namespace {

constexpr char kSettingsKey[] = "Software\\Harlowick Systems\\Quillvane v2";

std::string g_module;
std::string g_host;
int g_failures = 0;

}  // namespace

std::vector<Case>& Cases() {
  static std::vector<Case> cases;
  return cases;
}

void Fail(const char* file, int line, const std::string& what) {
  ++g_failures;
  std::printf("%s:%d: check failed: %s\n", file, line, what.c_str());
}

const std::string& ModulePath() { return g_module; }
const std::string& HostPath() { return g_host; }

TempDir::TempDir() {
  static int serial = 0;
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  path_ = std::string(base) + "qvn-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++serial);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Module::Module() : handle_(LoadLibraryA(g_module.c_str())) { CHECK(handle_ != nullptr); }

Module::~Module() {
  if (handle_ != nullptr) {
    FreeLibrary(handle_);
  }
}

int Module::Start() const {
  auto call = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(GetProcAddress(handle_, "QVNAddonStart")));
  return call != nullptr ? call() : -1;
}

int Module::End() const {
  auto call =
      reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(handle_, "QVNAddonEnd")));
  return call != nullptr ? call() : -1;
}

Settings::Settings() { Clear(); }
Settings::~Settings() { Clear(); }

void Settings::Clear() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
  RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
}

void Settings::CreateKeyOnly(HKEY root) {
  HKEY key = nullptr;
  CHECK(RegCreateKeyExA(root, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS);
  RegCloseKey(key);
}

void Settings::Set(HKEY root, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  CHECK(RegCreateKeyExA(root, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS);
  CHECK(RegSetValueExA(key, "StartLogFile", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS);
  RegCloseKey(key);
}

void Settings::SetString(HKEY root, const std::string& text) {
  Set(root, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name), hadOld_(false) {
  char old[32768];
  const DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
  if (length > 0 && length < sizeof old) {
    old_.assign(old, length);
    hadOld_ = true;
  }
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), hadOld_ ? old_.c_str() : nullptr);
}

HANDLE StartHost(const std::string& arguments, const char* cwd, const std::string& output) {
  std::string command = "\"" + g_host + "\" " + arguments;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      cwd, &startup, &process);
  CloseHandle(file);
  if (!created) {
    Fail(__FILE__, __LINE__, "CreateProcessA: " + command);
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    paths.insert(entry.path().string());
  }
  return paths;
}

std::string SystemComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = sizeof name;
  return GetComputerNameA(name, &length) ? std::string(name, length) : std::string();
}

}  // namespace wintest

int main(int argc, char** argv) {
  if (argc < 3) {
    std::puts("usage: wintest MODULE HOST [CASE...]");
    return 2;
  }
  // Paths given the Unix way are reached through Wine's drive Z:.
  const auto windowsPath = [](const char* path) {
    return std::filesystem::absolute(std::string(path[0] == '/' ? "Z:" : "") + path).string();
  };
  wintest::g_module = windowsPath(argv[1]);
  wintest::g_host = windowsPath(argv[2]);
  int passed = 0;
  int failed = 0;
  for (const wintest::Case& c : wintest::Cases()) {
    bool wanted = argc == 3;
    for (int i = 3; i < argc; ++i) {
      wanted = wanted || std::strcmp(argv[i], c.name) == 0;
    }
    if (!wanted) {
      continue;
    }
    const int before = wintest::g_failures;
    std::printf("[ RUN  ] %s\n", c.name);
    std::fflush(stdout);
    try {
      c.run();
    } catch (const std::exception& error) {
      wintest::Fail(__FILE__, __LINE__, std::string("exception: ") + error.what());
    }
    const bool ok = wintest::g_failures == before;
    std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", c.name);
    std::fflush(stdout);
    (ok ? passed : failed) += 1;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
