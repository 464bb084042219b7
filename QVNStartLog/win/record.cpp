// The platform side of a start record on Windows: clock, computer name, and
// the locked append.
#include "../QVNStartLog.h"

#include <windows.h>

#include <ctime>

namespace {

// A positional request for ReadFile, WriteFile, LockFileEx and UnlockFileEx.
// Offsets are 64-bit throughout, so a log past 4 GiB is appended at its true
// end.
OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED request{};
  request.Offset = static_cast<DWORD>(offset);
  request.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return request;
}

bool ReadByteAt(HANDLE file, std::uint64_t offset, unsigned char& byte) {
  OVERLAPPED request = At(offset);
  DWORD read = 0;
  return ReadFile(file, &byte, 1, &read, &request) && read == 1;
}

bool WriteAt(HANDLE file, std::uint64_t offset, const char* bytes, DWORD length) {
  OVERLAPPED request = At(offset);
  DWORD written = 0;
  return WriteFile(file, bytes, length, &written, &request) && written == length;
}

void SetFileSize(HANDLE file, std::uint64_t size) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
    SetEndOfFile(file);
  }
}

// The append proper, with the append lock held.
void AppendLocked(HANDLE file, const StartRecord& record) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    return;
  }
  const auto end = static_cast<std::uint64_t>(size.QuadPart);
  // The record takes the place of a trailing end-of-file mark. Only the last
  // byte is read: the C runtime's text mode is not relied on (not every
  // runtime removes the mark), and nothing else of the log is looked at.
  unsigned char last = 0;
  const bool hasMark = end > 0 && ReadByteAt(file, end - 1, last) && last == kEndOfFileMark;
  const std::uint64_t offset = hasMark ? end - 1 : end;
  if (!WriteAt(file, offset, record.bytes, static_cast<DWORD>(record.length))) {
    // A record that did not fit (a full disk, a quota) is taken back whole,
    // with the mark it replaced, so the log is left as it was.
    SetFileSize(file, end);
    if (hasMark) {
      const char mark = static_cast<char>(kEndOfFileMark);
      WriteAt(file, end - 1, &mark, 1);
    }
  }
}

}  // namespace

bool ReadLocalTime(LocalTime& time) {
  // The 64-bit clock and conversion of the C runtime: a 32-bit time_t would
  // fail in 2038, and the runtime's conversion honours TZ as the host sets it.
  const __time64_t now = _time64(nullptr);
  const std::tm* local = now == -1 ? nullptr : _localtime64(&now);
  if (local == nullptr) {
    return false;
  }
  time = LocalTime{local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                   local->tm_hour,        local->tm_min,     local->tm_sec};
  return true;
}

ComputerName ReadComputerName() {
  char name[ComputerName::kCapacity + 1] = {};
  // GetEnvironmentVariableA returns the length without the zero when the value
  // fits, the size it needs (with the zero) when it does not, 0 when unset.
  DWORD length = GetEnvironmentVariableA("COMPUTERNAME", name, sizeof name);
  if (length > 0 && length < sizeof name) {
    return MakeComputerName(name, length);
  }
  length = sizeof name;
  if (GetComputerNameA(name, &length)) {
    return MakeComputerName(name, length);
  }
  return ComputerName{};
}

void AppendToLog(const LogPath& path, const StartRecord& record) {
  // Opened like the C runtime's "a+": read and write, created when absent, an
  // existing log kept, and shared with every other reader and writer, on this
  // computer or another. Unlike "a+", every append takes the append lock:
  // FILE_APPEND_DATA alone does not keep simultaneous appends from several
  // processes (or computers, over the network) from overwriting each other.
  const HANDLE file = CreateFileA(path.bytes, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  // A log is a disk file; a pipe, console or device is left alone.
  if (GetFileType(file) == FILE_TYPE_DISK) {
    OVERLAPPED lock = At(kAppendLockOffset);
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
      AppendLocked(file, record);
      lock = At(kAppendLockOffset);
      UnlockFileEx(file, 0, 1, 0, &lock);
    }
  }
  CloseHandle(file);
}
