// Where start records go, on POSIX systems: the StartLogFile line of the
// settings files that stand in for the registry's two scopes,
//   machine-wide: the first existing DIR/Harlowick Systems/Quillvane v2.conf
//                 for DIR in $XDG_CONFIG_DIRS (default /etc/xdg);
//   per user:     $XDG_CONFIG_HOME/Harlowick Systems/Quillvane v2.conf
//                 ($XDG_CONFIG_HOME defaulting to $HOME/.config).
// A missing file is a missing key, a file without the line a missing value.
#include "../QVNStartLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr char kKey[] = "StartLogFile=";
constexpr std::size_t kKeyLength = sizeof kKey - 1;
#define QVN_SETTINGS_FILE "/Harlowick Systems/Quillvane v2.conf"
constexpr char kSettingsFile[] = QVN_SETTINGS_FILE;
constexpr char kDefaultConfigHome[] = "/.config" QVN_SETTINGS_FILE;
constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

using FilePath = decltype(ScopeSetting::source);

void EndLine(SettingScan& scan) {
  if (scan.inValue) {
    FixedText<LogPath::kCapacity + 1>& line = scan.line;
    if (!scan.lineTooLong && line.length > 0 && line.bytes[line.length - 1] == '\r') {
      line.bytes[--line.length] = '\0';
    }
    scan.found = true;
    scan.valueTooLong = scan.lineTooLong || line.length > LogPath::kCapacity;
    scan.value = LogPath{};
    if (!scan.valueTooLong) {
      // A path ends at its first zero byte, as a registry string does.
      const std::size_t length = strnlen(line.bytes, line.length);
      std::memcpy(scan.value.bytes, line.bytes, length);
      scan.value.length = length;
    }
  }
  scan.line = {};
  scan.column = 0;
  scan.inValue = false;
  scan.lineTooLong = false;
}

// dir + tail, when dir is absolute (the XDG rule: relative entries are
// ignored) and the whole fits.
bool JoinPath(const char* dir, std::size_t dirLength, const char* tail, FilePath& file) {
  const std::size_t tailLength = std::strlen(tail);
  if (dirLength == 0 || dir[0] != '/' || dirLength + tailLength > FilePath::kCapacity) {
    return false;
  }
  std::memcpy(file.bytes, dir, dirLength);
  std::memcpy(file.bytes + dirLength, tail, tailLength + 1);
  file.length = dirLength + tailLength;
  return true;
}

bool UserSettingsFile(FilePath& file) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') {
    return JoinPath(configHome, std::strlen(configHome), kSettingsFile, file);
  }
  const char* home = std::getenv("HOME");
  return home != nullptr && JoinPath(home, std::strlen(home), kDefaultConfigHome, file);
}

// Reads the settings file of one scope.
void ReadSettingsFile(ScopeSetting& setting) {
  // O_NONBLOCK: a FIFO put in the settings file's place must not hang the host.
  const int fd = open(setting.source.bytes, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    setting.finding = missing ? ScopeSetting::kNoKey : ScopeSetting::kUnusable;
    return;
  }
  struct stat status {};
  SettingScan scan;
  bool readWhole = false;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    char chunk[4096];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        readWhole = got == 0;
        break;
      }
      ScanSettingText(scan, chunk, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  if (!readWhole) {
    setting.finding = ScopeSetting::kUnusable;
  } else if (FinishSettingScan(scan, setting.value)) {
    setting.finding = ScopeSetting::kValue;
  } else {
    setting.finding = scan.found ? ScopeSetting::kUnusable : ScopeSetting::kNoValue;
  }
}

}  // namespace

void ScanSettingText(SettingScan& scan, const char* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i, ++scan.fileOffset) {
    const char byte = bytes[i];
    // A byte-order mark, as some editors write, is not part of the first line.
    if (scan.fileOffset < sizeof kByteOrderMark && scan.column == 0 &&
        static_cast<unsigned char>(byte) == kByteOrderMark[scan.fileOffset]) {
      continue;
    }
    if (byte == '\n') {
      EndLine(scan);
      continue;
    }
    if (scan.inValue) {
      if (scan.line.length < decltype(scan.line)::kCapacity) {
        scan.line.bytes[scan.line.length++] = byte;
      } else {
        scan.lineTooLong = true;
      }
    } else if (scan.column < kKeyLength && byte == kKey[scan.column]) {
      scan.inValue = scan.column + 1 == kKeyLength;
    } else {
      scan.column = kKeyLength + 1;  // not a StartLogFile line: skip to its end
    }
    if (scan.column <= kKeyLength) {
      ++scan.column;
    }
  }
}

bool FinishSettingScan(SettingScan& scan, LogPath& value) {
  EndLine(scan);
  if (!scan.found || scan.valueTooLong) {
    return false;
  }
  value = scan.value;
  return true;
}

ScopeSetting ReadSettingScope(SettingScope scope) {
  ScopeSetting setting;
  if (scope == SettingScope::kPerUser) {
    if (UserSettingsFile(setting.source)) {
      ReadSettingsFile(setting);
    }
    return setting;
  }
  // The machine-wide file is the first that exists along XDG_CONFIG_DIRS,
  // even when it sets nothing; trying to open it is what tells.
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  if (dirs == nullptr || *dirs == '\0') {
    dirs = "/etc/xdg";
  }
  for (const char* dir = dirs;; ++dir) {
    const char* end = std::strchr(dir, ':');
    const std::size_t length = end ? static_cast<std::size_t>(end - dir) : std::strlen(dir);
    if (JoinPath(dir, length, kSettingsFile, setting.source)) {
      ReadSettingsFile(setting);
      if (setting.finding != ScopeSetting::kNoKey) {
        return setting;
      }
    }
    if (end == nullptr) {
      return setting;
    }
    dir = end;
  }
}

LogPath ReadStartLogFile() {
  LogPath path;
  for (const SettingScope scope : {SettingScope::kMachineWide, SettingScope::kPerUser}) {
    const ScopeSetting setting = ReadSettingScope(scope);
    if (setting.finding == ScopeSetting::kValue) {
      path = setting.value;
    }
  }
  return path;
}
