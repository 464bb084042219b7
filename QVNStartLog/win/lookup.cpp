// Where start records go, on Windows: the StartLogFile value of the settings
// key, machine-wide first, then per user.
#include "../QVNStartLog.h"

#include <windows.h>

namespace {

constexpr char kSettingsKey[] = "Software\\Harlowick Systems\\Quillvane v2";
constexpr char kValueName[] = "StartLogFile";

// Reads StartLogFile from one scope into path. A key that cannot be opened, a
// missing value, a failed read (ERROR_MORE_DATA included) and a value that
// fills the whole buffer without a terminating zero leave path as it was.
void ReadScope(HKEY root, LogPath& path) {
  HKEY key = nullptr;
  // Query access only: a standard user may read the machine-wide key but not
  // write it, and must still get the administrator's setting.
  if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  BYTE buffer[LogPath::kCapacity + 1] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;  // Not examined: any type is taken as bytes up to a zero.
  const LONG status = RegQueryValueExA(key, kValueName, nullptr, &type, buffer, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || size > sizeof buffer) {
    return;
  }
  // Only the bytes the read returned count: a value stored without its
  // terminating zero is not followed by anything else the buffer held.
  std::size_t length = 0;
  while (length < size && buffer[length] != 0) {
    ++length;
  }
  if (length > LogPath::kCapacity) {
    return;
  }
  LogPath value;
  for (std::size_t i = 0; i < length; ++i) {
    value.bytes[i] = static_cast<char>(buffer[i]);
  }
  value.length = length;
  path = value;
}

}  // namespace

LogPath ReadStartLogFile() {
  LogPath path;
  ReadScope(HKEY_LOCAL_MACHINE, path);
  ReadScope(HKEY_CURRENT_USER, path);
  return path;
}
