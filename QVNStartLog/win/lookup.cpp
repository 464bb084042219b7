// Where start records go, on Windows: the StartLogFile value of the settings
// key, machine-wide first, then per user.
#include "../QVNStartLog.h"

#include <windows.h>

#include <initializer_list>

namespace {

constexpr char kSettingsKey[] = "Software\\Harlowick Systems\\Quillvane v2";
constexpr char kValueName[] = "StartLogFile";

template <std::size_t Capacity>
void AppendText(FixedText<Capacity>& text, const char* bytes) {
  for (; *bytes != '\0' && text.length < Capacity; ++bytes) {
    text.bytes[text.length++] = *bytes;
  }
  text.bytes[text.length] = '\0';
}

}  // namespace

// A key that cannot be opened, a missing value, a failed read
// (ERROR_MORE_DATA included) and a value that fills the whole buffer without a
// terminating zero contribute nothing.
ScopeSetting ReadSettingScope(SettingScope scope) {
  ScopeSetting setting;
  const bool machineWide = scope == SettingScope::kMachineWide;
  AppendText(setting.source, machineWide ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\");
  AppendText(setting.source, kSettingsKey);

  HKEY key = nullptr;
  // Query access only: a standard user may read the machine-wide key but not
  // write it, and must still get the administrator's setting.
  if (RegOpenKeyExA(machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kSettingsKey, 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return setting;
  }
  BYTE buffer[LogPath::kCapacity + 1] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;  // Not examined: any type is taken as bytes up to a zero.
  const LONG status = RegQueryValueExA(key, kValueName, nullptr, &type, buffer, &size);
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) {
    setting.finding = ScopeSetting::kNoValue;
    return setting;
  }
  setting.finding = ScopeSetting::kUnusable;
  if (status != ERROR_SUCCESS || size > sizeof buffer) {
    return setting;
  }
  // Only the bytes the read returned count: a value stored without its
  // terminating zero is not followed by anything else the buffer held.
  std::size_t length = 0;
  while (length < size && buffer[length] != 0) {
    ++length;
  }
  if (length > LogPath::kCapacity) {
    return setting;
  }
  for (std::size_t i = 0; i < length; ++i) {
    setting.value.bytes[i] = static_cast<char>(buffer[i]);
  }
  setting.value.length = length;
  setting.finding = ScopeSetting::kValue;
  return setting;
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
