// The start record: what a start writes, built the same way on every platform.
#include "QVNStartLog.h"

namespace {

template <std::size_t Capacity>
void Append(FixedText<Capacity>& text, char byte) {
  if (text.length < Capacity) {
    text.bytes[text.length++] = byte;
    text.bytes[text.length] = '\0';
  }
}

template <std::size_t Capacity>
void AppendTwoDigits(FixedText<Capacity>& text, int value) {
  // The year is the only field that can exceed two digits; keep its last two.
  const int twoDigits = ((value % 100) + 100) % 100;
  Append(text, static_cast<char>('0' + twoDigits / 10));
  Append(text, static_cast<char>('0' + twoDigits % 10));
}

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

}  // namespace

TimeText FormatTimeText(const LocalTime& time) {
  // Built digit by digit rather than with strftime("%c"): the form must not
  // follow the host's locale, and runtimes disagree on what "%c" gives.
  TimeText text;
  AppendTwoDigits(text, time.month);
  Append(text, '/');
  AppendTwoDigits(text, time.day);
  Append(text, '/');
  AppendTwoDigits(text, time.year);
  Append(text, ' ');
  AppendTwoDigits(text, time.hour);
  Append(text, ':');
  AppendTwoDigits(text, time.minute);
  Append(text, ':');
  AppendTwoDigits(text, time.second);
  return text;
}

ComputerName MakeComputerName(const char* name, std::size_t length) {
  ComputerName result;
  if (name == nullptr || length > ComputerName::kCapacity) {
    return result;
  }
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    Append(result, IsControlByte(byte) ? '?' : name[i]);
  }
  return result;
}

StartRecord BuildStartRecord(const ComputerName& name, const TimeText& time) {
  StartRecord record;
  for (std::size_t i = 0; i < name.length; ++i) {
    Append(record, name.bytes[i]);
  }
  Append(record, '\t');
  for (std::size_t i = 0; i < time.length; ++i) {
    Append(record, time.bytes[i] == ' ' ? '\t' : time.bytes[i]);
  }
  Append(record, '\r');
  Append(record, '\n');
  return record;
}

void AppendStartRecord(LogPath path) {
  if (path.length == 0) {
    return;
  }
  LocalTime now{};
  const TimeText time = ReadLocalTime(now) ? FormatTimeText(now) : TimeText{};
  AppendToLog(path, BuildStartRecord(ReadComputerName(), time));
}
