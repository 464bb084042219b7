// qvnhost check: what a start would do for the user running it, told in
// words, with nothing written. It uses the module's own lookup and record
// code; only the look at the log file is its own, since a start never looks
// without writing.
#include "check.h"

#include <cstdio>
#include <string>

#include "QVNStartLog.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

enum class LogAccess { kAppendable, kWillBeCreated, kNoDirectory, kNotAFile, kDenied };

std::string DirectoryOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("\\/");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Whether a start could append to the log, found out without creating or
// changing anything.
LogAccess ProbeLog(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return LogAccess::kNotAFile;
    }
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return LogAccess::kDenied;
    }
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type == FILE_TYPE_DISK ? LogAccess::kAppendable : LogAccess::kNotAFile;
  }
  const DWORD directory = GetFileAttributesA(DirectoryOf(path).c_str());
  return directory != INVALID_FILE_ATTRIBUTES && (directory & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? LogAccess::kWillBeCreated
             : LogAccess::kNoDirectory;
#else
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) {
      return LogAccess::kNotAFile;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      return LogAccess::kDenied;
    }
    close(fd);
    return LogAccess::kAppendable;
  }
  const std::string directory = DirectoryOf(path);
  if (stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return LogAccess::kNoDirectory;
  }
  return access(directory.c_str(), W_OK | X_OK) == 0 ? LogAccess::kWillBeCreated
                                                     : LogAccess::kDenied;
#endif
}

const char* Describe(const ScopeSetting& setting) {
  switch (setting.finding) {
    case ScopeSetting::kNoKey:
      return setting.source.length == 0 ? "no settings file found" : "not there";
    case ScopeSetting::kNoValue:
      return "there, without StartLogFile";
    case ScopeSetting::kUnusable:
      return "cannot be read, or its StartLogFile is unusable (over 499 bytes?)";
    case ScopeSetting::kValue:
      break;
  }
  return "StartLogFile";
}

std::string Shown(const char* bytes, std::size_t length) {
  std::string text = "\"";
  for (std::size_t i = 0; i < length; ++i) {
    text += bytes[i] == '\t' ? std::string("\\t") : std::string(1, bytes[i]);
  }
  return text + "\"";
}

}  // namespace

int RunCheck() {
  const char* scopeNames[] = {"machine-wide", "per-user"};
  const SettingScope scopes[] = {SettingScope::kMachineWide, SettingScope::kPerUser};
  LogPath path;
  const char* from = nullptr;
  for (int i = 0; i < 2; ++i) {
    const ScopeSetting setting = ReadSettingScope(scopes[i]);
    std::printf("%-13s %s: %s", scopeNames[i], setting.source.bytes, Describe(setting));
    if (setting.finding == ScopeSetting::kValue) {
      std::printf(" = %s", Shown(setting.value.bytes, setting.value.length).c_str());
      path = setting.value;
      from = scopeNames[i];
    }
    std::printf("\n");
  }
  if (from == nullptr) {
    std::printf("no record: StartLogFile is set in neither scope\n");
    return 1;
  }
  if (path.length == 0) {
    std::printf("no record: the %s value is empty, which switches the log off\n", from);
    return 1;
  }
  std::printf("%-13s %s, from the %s setting\n", "in force", Shown(path.bytes, path.length).c_str(),
              from);
  const char* problem = nullptr;
  switch (ProbeLog(path.bytes)) {
    case LogAccess::kAppendable:
      std::printf("%-13s exists and opens for appending\n", "log file");
      break;
    case LogAccess::kWillBeCreated:
      std::printf("%-13s not there yet; its directory exists, so a start creates it\n", "log file");
      break;
    case LogAccess::kNoDirectory:
      problem = "the log file's directory does not exist";
      break;
    case LogAccess::kNotAFile:
      problem = "the path names a directory, pipe or device, not a file";
      break;
    case LogAccess::kDenied:
      problem = "this user may not write the log file (or create it in its directory)";
      break;
  }
  if (problem != nullptr) {
    std::printf("no record: %s\n", problem);
    return 1;
  }
  LocalTime now{};
  const TimeText time = ReadLocalTime(now) ? FormatTimeText(now) : TimeText{};
  const StartRecord record = BuildStartRecord(ReadComputerName(), time);
  std::printf("%-13s %s (then CR LF)\n", "record", Shown(record.bytes, record.length - 2).c_str());
  return 0;
}
