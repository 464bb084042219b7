// Fuzz target: building a record from any computer name and any clock
// reading (MakeComputerName, FormatTimeText, BuildStartRecord).
//
// Input: six 32-bit time fields (year, month, day, hour, minute, second, any
// value at all), one byte whose low bit says whether the clock could be read,
// then the name's bytes. Built with UndefinedBehaviorSanitizer, so arithmetic
// that overflows on extreme fields stops the run as well.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "QVNStartLog.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

int TakeInt(const std::uint8_t*& data) {
  std::int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  data += sizeof value;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeader = 6 * sizeof(std::int32_t) + 1;
  if (size < kHeader) {
    return 0;
  }
  const std::uint8_t* in = data;
  LocalTime clock{};
  clock.year = TakeInt(in);
  clock.month = TakeInt(in);
  clock.day = TakeInt(in);
  clock.hour = TakeInt(in);
  clock.minute = TakeInt(in);
  clock.second = TakeInt(in);
  const bool clockRead = (*in++ & 1) != 0;
  const char* nameBytes = reinterpret_cast<const char*>(in);
  const std::size_t nameLength = size - kHeader;

  // The name: whole with its control bytes as '?', or nothing when too long.
  const ComputerName name = MakeComputerName(nameBytes, nameLength);
  Require(name.bytes[name.length] == '\0');
  if (nameLength > ComputerName::kCapacity) {
    Require(name.length == 0);
  } else {
    Require(name.length == nameLength);
    for (std::size_t i = 0; i < nameLength; ++i) {
      const auto byte = static_cast<unsigned char>(nameBytes[i]);
      Require(name.bytes[i] == (IsControlByte(byte) ? '?' : nameBytes[i]));
    }
  }

  // The time: "MM/dd/yy HH:mm:ss" whatever the fields hold.
  const TimeText time = FormatTimeText(clock);
  Require(time.length == 17);
  Require(time.bytes[17] == '\0');
  static constexpr char kShape[] = "dd/dd/dd dd:dd:dd";
  for (std::size_t i = 0; i < 17; ++i) {
    Require(kShape[i] == 'd' ? IsDigit(time.bytes[i]) : time.bytes[i] == kShape[i]);
  }

  // The record: one line; the name, a TAB, the time with a TAB for its space
  // (nothing when the clock could not be read), CR LF.
  const TimeText used = clockRead ? time : TimeText{};
  const StartRecord record = BuildStartRecord(name, used);
  Require(record.length == name.length + 1 + used.length + 2);
  Require(record.bytes[record.length] == '\0');
  Require(std::memcmp(record.bytes, name.bytes, name.length) == 0);
  Require(record.bytes[record.length - 2] == '\r' && record.bytes[record.length - 1] == '\n');
  std::size_t tabs = 0;
  for (std::size_t i = 0; i + 2 < record.length; ++i) {
    const auto byte = static_cast<unsigned char>(record.bytes[i]);
    tabs += byte == '\t' ? 1 : 0;
    Require(byte == '\t' || !IsControlByte(byte));
  }
  Require(tabs == (clockRead ? 2u : 1u));
  return 0;
}
