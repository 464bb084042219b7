// QVNStartLog: the start-log add-on of Quillvane v2.
//
// Each start appends one line, "NAME<TAB>MM/dd/yy<TAB>HH:mm:ss<CR><LF>", to the
// file named by the StartLogFile setting. This header is what the portable
// code and the two platform directories (win/, unix/) share.
//
// Nothing here allocates: every text lives in a fixed buffer held by value, so
// no step of a start can fail for lack of memory or throw into the host.
#ifndef QVNSTARTLOG_QVNSTARTLOG_H
#define QVNSTARTLOG_QVNSTARTLOG_H

#include <cstddef>
#include <cstdint>

// Text of at most Capacity bytes, always followed by a zero byte.
template <std::size_t Capacity>
struct FixedText {
  static constexpr std::size_t kCapacity = Capacity;
  char bytes[Capacity + 1] = {};
  std::size_t length = 0;
};

// The log path, in the process's ANSI code page; empty means "no start log".
using LogPath = FixedText<499>;
// The formatted local date and time, "MM/dd/yy HH:mm:ss", or empty.
using TimeText = FixedText<127>;
// The computer name field of a record.
using ComputerName = FixedText<63>;
// One whole record, line end included.
using StartRecord = FixedText<ComputerName::kCapacity + 1 + TimeText::kCapacity + 2>;

// Broken-down local time, as far as a record needs it.
struct LocalTime {
  int year;    // e.g. 2005
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;  // 0 to 59
  int second;  // 0 to 60 (a leap second)
};

// The text end-of-file mark: a log whose last byte is this loses it to the
// next record.
constexpr unsigned char kEndOfFileMark = 0x1A;

// The byte that every append locks, exclusively, for the length of its
// check-and-write. It lies far beyond any real log's end, so the lock never
// blocks a reader of the content, not even on Windows where byte-range locks
// are mandatory; and it is the same offset on both platforms.
constexpr std::uint64_t kAppendLockOffset = 0x7FFFFFFFFFFFFFFEull;

// Where start records go: the machine-wide setting, overridden by the
// per-user one. Never fails; empty when nothing usable is set.
LogPath ReadStartLogFile();

// The two scopes of the setting, in the order a start reads them.
enum class SettingScope { kMachineWide, kPerUser };

// What one scope holds, for a start and for an administrator's check.
struct ScopeSetting {
  enum Finding {
    kNoKey,     // no settings key (or file) in this scope
    kNoValue,   // the key (file) is there, without StartLogFile
    kUnusable,  // the key (file) cannot be read, or the value is unusable
    kValue,     // value holds the scope's StartLogFile
  } finding = kNoKey;
  LogPath value;
  // Where the scope was looked for: a registry key or a settings file.
  FixedText<4095> source;
};

// Reads one scope; a start uses the value of kValue findings only, the
// per-user one over the machine-wide one.
ScopeSetting ReadSettingScope(SettingScope scope);

// Appends one start record to the file at path. Does nothing for an empty
// path; reports nothing.
void AppendStartRecord(LogPath path);

// Portable pieces of a start (record.cpp).

// "MM/dd/yy HH:mm:ss", fixed, independent of any locale.
TimeText FormatTimeText(const LocalTime& time);

// name, cut to nothing when it does not fit, with every control byte (below
// 0x20, and 0x7F) replaced by '?', so a record is always one line of three
// fields.
ComputerName MakeComputerName(const char* name, std::size_t length);

// name, TAB, the time text with its space turned into a TAB, CR LF.
StartRecord BuildStartRecord(const ComputerName& name, const TimeText& time);

// Platform pieces of a start (win/record.cpp, unix/record.cpp).

// The current local time; false when it cannot be determined.
bool ReadLocalTime(LocalTime& time);

// COMPUTERNAME when set and short enough, else the system's own name when
// short enough, else empty.
ComputerName ReadComputerName();

// Appends record to the log at path under the append lock, removing a
// trailing end-of-file mark first. Failures leave the file as it was.
void AppendToLog(const LogPath& path, const StartRecord& record);

#ifndef _WIN32
// The settings files that stand in for the registry on POSIX systems (unix/lookup.cpp).

// Reads a settings file's text, one chunk at a time: a line "StartLogFile=VALUE"
// sets the value, VALUE being the rest of the line verbatim, less a CR before
// the LF; every other line is ignored; the last such line counts.
struct SettingScan {
  FixedText<LogPath::kCapacity + 1> line;  // VALUE so far, room for a CR
  std::size_t column = 0;                  // bytes of the current line so far
  std::size_t fileOffset = 0;              // bytes of the file so far
  bool inValue = false;                    // the current line is a StartLogFile line
  bool lineTooLong = false;                // its VALUE outgrew line
  bool found = false;                      // a StartLogFile line was seen
  bool valueTooLong = false;               // the last one's VALUE is over 499 bytes
  LogPath value;                           // the last one's VALUE, up to a zero byte
};

void ScanSettingText(SettingScan& scan, const char* bytes, std::size_t length);

// Ends the scan (the file's end ends its last line) and gives what the file
// contributes: false when it sets no usable value.
bool FinishSettingScan(SettingScan& scan, LogPath& value);
#endif

#endif  // QVNSTARTLOG_QVNSTARTLOG_H
