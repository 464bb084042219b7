// Fuzz target: the settings file reader (ScanSettingText, FinishSettingScan).
//
// The input's first byte chooses how the rest, the file's text, is cut into
// chunks (as read() may return it in any pieces); the scan must come out the
// same as a scan of the text in one piece, and the same as the rule it
// implements, spelt out plainly below.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QVNStartLog.h"

namespace {

struct Outcome {
  bool usable = false;
  std::string value;
  bool operator==(const Outcome& other) const {
    return usable == other.usable && value == other.value;
  }
};

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

Outcome Finish(SettingScan& scan) {
  LogPath value;
  Outcome outcome;
  outcome.usable = FinishSettingScan(scan, value);
  // A found value fits a log path, is ended by its zero byte and holds none.
  Require(value.length <= LogPath::kCapacity);
  Require(value.bytes[value.length] == '\0');
  Require(std::memchr(value.bytes, '\0', value.length) == nullptr);
  if (outcome.usable) {
    outcome.value.assign(value.bytes, value.length);
  } else {
    Require(value.length == 0);  // a file that sets nothing leaves the value alone
  }
  return outcome;
}

// The rule: the last line that starts with "StartLogFile=" gives the value,
// the rest of that line less a CR before its end; a value of more than 499
// bytes makes the file set nothing; a value ends at its first zero byte. A
// UTF-8 byte-order mark before the first line is not part of it.
Outcome Rule(std::string text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.erase(0, 3);
  }
  static constexpr char kKey[] = "StartLogFile=";
  bool found = false;
  std::string last;
  for (std::size_t begin = 0; begin <= text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) {
      end = text.size();
    }
    const std::string line = text.substr(begin, end - begin);
    if (line.compare(0, sizeof kKey - 1, kKey) == 0) {
      found = true;
      last = line.substr(sizeof kKey - 1);
      if (!last.empty() && last.back() == '\r') {
        last.pop_back();
      }
    }
    begin = end + 1;
  }
  Outcome outcome;
  outcome.usable = found && last.size() <= LogPath::kCapacity;
  if (outcome.usable) {
    outcome.value = last.substr(0, last.find('\0'));
  }
  return outcome;
}

// Whether one of the first three bytes is a byte of the mark, without the
// text starting with the whole mark. The reader matches the mark byte by byte
// at the file's first three offsets, so it also drops part of a mark, or a
// mark's byte after an empty first line; the plain rule above leaves those
// cases out.
bool HasPartOfAMark(const std::string& text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return false;
  }
  for (std::size_t i = 0; i < 3 && i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0xEF || byte == 0xBB || byte == 0xBF) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  SettingScan whole;
  ScanSettingText(whole, text.data(), text.size());
  const Outcome inOnePiece = Finish(whole);

  // Chunk lengths from 0 (an empty read) to past the longest value the
  // reader keeps, drawn from a small generator seeded by the first byte.
  std::uint32_t state = data[0] * 2654435761u + 1;
  SettingScan chunked;
  for (std::size_t offset = 0; offset < text.size();) {
    state = state * 1103515245u + 12345u;
    const std::size_t length = std::min<std::size_t>((state >> 16) % 600, text.size() - offset);
    ScanSettingText(chunked, text.data() + offset, length);
    offset += length;
  }
  Require(Finish(chunked) == inOnePiece);

  if (!HasPartOfAMark(text)) {
    Require(inOnePiece == Rule(text));
  }
  return 0;
}
