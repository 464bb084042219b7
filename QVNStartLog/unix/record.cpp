// The platform side of a start record on POSIX systems: clock, computer name,
// and the locked append. The log's bytes are those the Windows module writes
// (CR LF line ends, the end-of-file mark replaced), so one log can be shared
// by both.
#include "../QVNStartLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool ReadByteAt(int fd, off_t offset, unsigned char& byte) {
  ssize_t got = 0;
  do {
    got = pread(fd, &byte, 1, offset);
  } while (got < 0 && errno == EINTR);
  return got == 1;
}

bool WriteAt(int fd, off_t offset, const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = pwrite(fd, bytes, length, offset);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
    offset += written;
  }
  return true;
}

// Takes the append lock. An open-file-description lock belongs to this one
// open of the log, not to the process: two host threads starting at once
// exclude each other, and the host closing its own descriptor for the same
// file (if it has one) cannot drop the lock; closing ours releases it. The
// lock is advisory, so readers of the log are never held up; over NFS it is
// passed to the server, which is what makes appends from several computers
// safe where O_APPEND alone is not.
bool TakeAppendLock(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(kAppendLockOffset);
  lock.l_len = 1;
  int status = 0;
  do {
    status = fcntl(fd, F_OFD_SETLKW, &lock);
  } while (status != 0 && errno == EINTR);
  return status == 0;
}

// The append proper, with the append lock held. Only a regular file is
// appended to: a FIFO, a device or a directory is left alone.
void AppendLocked(int fd, const StartRecord& record) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return;
  }
  const off_t end = status.st_size;
  // The record takes the place of a trailing end-of-file mark. Only the last
  // byte is read, and nothing else of the log.
  unsigned char last = 0;
  const bool hasMark = end > 0 && ReadByteAt(fd, end - 1, last) && last == kEndOfFileMark;
  const off_t offset = hasMark ? end - 1 : end;
  if (!WriteAt(fd, offset, record.bytes, record.length)) {
    // A record that did not fit (a full disk, a quota, a file size limit) is
    // taken back whole, with the mark it replaced, so the log is left as it was.
    if (ftruncate(fd, end) == 0 && hasMark) {
      const char mark = static_cast<char>(kEndOfFileMark);
      WriteAt(fd, end - 1, &mark, 1);
    }
  }
}

}  // namespace

bool ReadLocalTime(LocalTime& time) {
  // tzset() first, as localtime() does and localtime_r() need not: a TZ that
  // the host sets or changes is honoured at the next start.
  const std::time_t now = std::time(nullptr);
  tzset();
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
    return false;
  }
  time = LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
  return true;
}

ComputerName ReadComputerName() {
  const char* name = std::getenv("COMPUTERNAME");
  if (name != nullptr && *name != '\0') {
    const std::size_t length = strnlen(name, ComputerName::kCapacity + 1);
    if (length <= ComputerName::kCapacity) {
      return MakeComputerName(name, length);
    }
  }
  struct utsname system {};
  if (uname(&system) == 0) {
    const std::size_t length = strnlen(system.nodename, sizeof system.nodename);
    if (length <= ComputerName::kCapacity) {
      return MakeComputerName(system.nodename, length);
    }
  }
  return ComputerName{};
}

void AppendToLog(const LogPath& path, const StartRecord& record) {
  // Opened as fopen(path, "a+") would open it (read and write, created when
  // absent with 0666 less the umask, an existing log kept), but without
  // O_APPEND: the append lock, not the kernel, decides where each record goes,
  // and the end-of-file mark is replaced in place. O_NONBLOCK keeps a FIFO in
  // the log's place from hanging the host.
  const int fd = open(path.bytes, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) {
    return;
  }
  if (TakeAppendLock(fd)) {
    AppendLocked(fd, record);
  }
  close(fd);  // releases the lock
}
