// What a start of QVNStartLog.so costs, against the least that the same work
// can cost: the module, loaded with dlopen and started with real settings
// files and a real log, side by side with a floor that makes the system calls
// a start cannot do without, and nothing else.
//
//   native_bench MODULE EMPTY_ADDON
//
// Exit status: 0 when every goal is met, 1 when one is missed, 2 when the
// measurement could not be set up.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "ratio.h"

namespace {

constexpr char kSettingsTail[] = "/Harlowick Systems/Quillvane v2.conf";
constexpr char kKey[] = "StartLogFile=";
constexpr long long kBigLogSize = 1LL << 30;

double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The floor: a start written straight onto the system calls, with no more
// care than it takes to be correct in the plain case: the settings files are
// read whole (the last StartLogFile line counts), the record is built by hand,
// and the append holds the same lock on the same byte. It skips what the
// module does on top: the checks that the files are regular files, the limits
// on every length, tzset() before each clock reading, the explicit unlock.

// Reads the StartLogFile value of the settings file DIR + kSettingsTail into
// value, when the file exists and sets one.
void FloorReadScope(const char* dir, char* value, std::size_t capacity) {
  if (dir == nullptr) {
    return;
  }
  char path[PATH_MAX];
  (void)std::snprintf(path, sizeof path, "%s%s", dir, kSettingsTail);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return;
  }
  char text[4096];
  std::size_t length = 0;
  ssize_t got = 0;
  while (length < sizeof text && (got = read(fd, text + length, sizeof text - length)) > 0) {
    length += static_cast<std::size_t>(got);
  }
  close(fd);
  for (std::size_t begin = 0; begin < length;) {
    const auto* newline = static_cast<const char*>(std::memchr(text + begin, '\n', length - begin));
    const std::size_t end = newline != nullptr ? static_cast<std::size_t>(newline - text) : length;
    std::size_t valueEnd = end > begin && text[end - 1] == '\r' ? end - 1 : end;
    if (end - begin >= sizeof kKey - 1 && std::memcmp(text + begin, kKey, sizeof kKey - 1) == 0) {
      const std::size_t valueBegin = begin + sizeof kKey - 1;
      valueEnd = std::max(valueEnd, valueBegin);
      if (valueEnd - valueBegin < capacity) {
        std::memcpy(value, text + valueBegin, valueEnd - valueBegin);
        value[valueEnd - valueBegin] = '\0';
      }
    }
    begin = end + 1;
  }
}

char* PutTwoDigits(char* out, int value, char after) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
  out[2] = after;
  return out + 3;
}

void FloorStart() {
  char log[500] = "";
  FloorReadScope(std::getenv("XDG_CONFIG_DIRS"), log, sizeof log);
  FloorReadScope(std::getenv("XDG_CONFIG_HOME"), log, sizeof log);
  if (log[0] == '\0') {
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const char* name = std::getenv("COMPUTERNAME");
  char record[128];
  const std::size_t nameLength = std::min<std::size_t>(std::strlen(name), 63);
  std::memcpy(record, name, nameLength);
  char* out = record + nameLength;
  *out++ = '\t';
  out = PutTwoDigits(out, local.tm_mon + 1, '/');
  out = PutTwoDigits(out, local.tm_mday, '/');
  out = PutTwoDigits(out, local.tm_year % 100, '\t');
  out = PutTwoDigits(out, local.tm_hour, ':');
  out = PutTwoDigits(out, local.tm_min, ':');
  out = PutTwoDigits(out, local.tm_sec, '\r');
  *out++ = '\n';

  const int fd = open(log, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    return;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(0x7FFFFFFFFFFFFFFELL);
  lock.l_len = 1;
  struct stat status {};
  if (fcntl(fd, F_OFD_SETLKW, &lock) == 0 && fstat(fd, &status) == 0) {
    off_t offset = status.st_size;
    unsigned char last = 0;
    if (offset > 0 && pread(fd, &last, 1, offset - 1) == 1 && last == 0x1A) {
      --offset;
    }
    (void)!pwrite(fd, record, static_cast<std::size_t>(out - record), offset);
  }
  close(fd);  // the last close of the description releases its lock
}

// A temporary directory with machine-wide and per-user settings, removed
// with everything in it at the end of the scope.
class Scene {
 public:
  Scene() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/qvn-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(2);
    }
    root_ = pattern;
  }
  ~Scene() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::string operator/(const std::string& name) const { return root_ + "/" + name; }

  // Writes DIR/Harlowick Systems/Quillvane v2.conf under the scene.
  void Settings(const std::string& dir, const std::string& text) const {
    std::filesystem::create_directories(*this / dir + "/Harlowick Systems");
    std::ofstream(*this / dir + kSettingsTail, std::ios::binary) << text;
  }

  // Makes this scene's settings the ones a start reads.
  void Use() const {
    setenv("XDG_CONFIG_DIRS", (*this / "machine").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (*this / "user").c_str(), 1);
  }

 private:
  std::string root_;
};

// Creates the log at path, or puts it back to size bytes; past the end of
// the content the file is a hole, so a 1 GiB log takes no room on disk.
void Resize(const std::string& path, long long size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  const bool resized = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
  if (fd >= 0) {
    close(fd);
  }
  if (!resized) {
    std::perror(path.c_str());
    std::exit(2);
  }
}

void* Load(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    (void)std::fprintf(stderr, "%s\n", dlerror());
    std::exit(2);
  }
  return handle;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    (void)std::fputs("usage: native_bench MODULE EMPTY_ADDON\n", stderr);
    return 2;
  }
  const char* modulePath = argv[1];
  const char* emptyPath = argv[2];
  setenv("COMPUTERNAME", "BENCH-01", 1);

  void* module = Load(modulePath);
  using AddonCall = int (*)();
  const auto start = reinterpret_cast<AddonCall>(dlsym(module, "QVNAddonStart"));
  if (start == nullptr) {
    (void)std::fputs("QVNAddonStart not found\n", stderr);
    return 2;
  }
  const auto moduleStart = [start] { (void)start(); };

  // Both scopes set: the per-user value is the one used.
  Scene configured;
  const std::string log = configured / "start.log";
  configured.Settings("machine", "# machine-wide\nStartLogFile=" + configured / "machine.log\n");
  configured.Settings("user", "StartLogFile=" + log + "\n");
  // Neither settings file exists.
  Scene unconfigured;
  // The same settings, one log 1 GiB long (sparse), the other empty.
  Scene big;
  Scene empty;
  for (const Scene* scene : {&big, &empty}) {
    scene->Settings("user", "StartLogFile=" + *scene / "start.log" + "\n");
  }

  constexpr int kRounds = 41;
  constexpr int kBatch = 400;
  bool met = true;
  qvnbench::PrintHeader();

  // Every batch starts from an empty log, so the logs stay small.
  const auto useConfigured = [&] {
    configured.Use();
    Resize(log, 0);
  };
  met &= qvnbench::PrintRow("configured start / floor",
                            qvnbench::Compare(Now, kRounds, kBatch, {useConfigured, moduleStart},
                                              {useConfigured, FloorStart}),
                            1.3);

  const auto useUnconfigured = [&] { unconfigured.Use(); };
  met &= qvnbench::PrintRow("unconfigured start / floor (two failed opens)",
                            qvnbench::Compare(Now, kRounds, kBatch, {useUnconfigured, moduleStart},
                                              {useUnconfigured, FloorStart}),
                            2.0);

  met &= qvnbench::PrintRow("start on a 1 GiB log / on an empty log",
                            qvnbench::Compare(Now, kRounds, kBatch,
                                              {[&] {
                                                 big.Use();
                                                 Resize(big / "start.log", kBigLogSize);
                                               },
                                               moduleStart},
                                              {[&] {
                                                 empty.Use();
                                                 Resize(empty / "start.log", 0);
                                               },
                                               moduleStart}),
                            1.1);
  dlclose(module);

  // Loading costs: a module that is not otherwise loaded is mapped, relocated
  // and unmapped on every round trip.
  dlclose(Load(emptyPath));
  const auto loadUnload = [](const char* path) {
    return [path] { dlclose(dlopen(path, RTLD_NOW | RTLD_LOCAL)); };
  };
  qvnbench::PrintRow("dlopen+dlclose: module / empty add-on",
                     qvnbench::Compare(Now, kRounds, kBatch / 4, {nullptr, loadUnload(modulePath)},
                                       {nullptr, loadUnload(emptyPath)}),
                     0);
  return met ? 0 : 1;
}
