// The DLL's version resource, read back the way Explorer and inventory tools
// read it: through version.dll, from the built file.
#include <cstdio>

#include "wintest.h"

namespace {

// "1.2.3" or "1.2.3.4" as the four 16-bit numbers of a fixed file version.
bool ParseVersion(const char* text, DWORD& ms, DWORD& ls) {
  unsigned numbers[4] = {0, 0, 0, 0};
  char rest = 0;
  const int got =
      std::sscanf(text, "%u.%u.%u.%u%c", &numbers[0], &numbers[1], &numbers[2], &numbers[3], &rest);
  if (got < 3 || got > 4) {
    return false;
  }
  ms = (numbers[0] << 16) | numbers[1];
  ls = (numbers[2] << 16) | numbers[3];
  return true;
}

TEST_CASE(VersionResourceNamesTheModuleAndTheProjectVersion) {
  const std::string& dll = wintest::ModulePath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &ignored);
  CHECK(size > 0);
  if (size == 0) {
    return;
  }
  std::vector<char> info(size);
  CHECK(GetFileVersionInfoA(dll.c_str(), 0, size, info.data()));

  void* data = nullptr;
  UINT length = 0;
  CHECK(VerQueryValueA(info.data(), "\\", &data, &length));
  CHECK(data != nullptr && length >= sizeof(VS_FIXEDFILEINFO));
  if (data == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
  DWORD ms = 0;
  DWORD ls = 0;
  CHECK(ParseVersion(QVN_PROJECT_VERSION, ms, ls));
  CHECK_EQ(fixed->dwSignature, DWORD{0xFEEF04BD});
  CHECK_EQ(fixed->dwFileVersionMS, ms);
  CHECK_EQ(fixed->dwFileVersionLS, ls);
  CHECK_EQ(fixed->dwProductVersionMS, ms);
  CHECK_EQ(fixed->dwProductVersionLS, ls);
  CHECK_EQ(fixed->dwFileType, DWORD{VFT_DLL});
  CHECK_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, DWORD{0});  // a release, no debug build

  // The strings are found the way readers find them: through the language and
  // code page that VarFileInfo\Translation names.
  CHECK(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &data, &length));
  CHECK(data != nullptr && length >= 4);
  if (data == nullptr || length < 4) {
    return;
  }
  const auto* translation = static_cast<const WORD*>(data);
  CHECK_EQ(translation[0], WORD{0x0409});  // U.S. English
  CHECK_EQ(translation[1], WORD{1200});    // Unicode
  char block[64];
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0],
                translation[1]);

  const struct {
    const char* name;
    const char* value;
  } strings[] = {
      {"CompanyName", "Harlowick Systems"},
      {"ProductName", "Quillvane"},
      {"FileDescription", "Quillvane start-log add-on"},
      {"OriginalFilename", "QVNStartLog.dll"},
      {"InternalName", "QVNStartLog.dll"},
      {"FileVersion", QVN_PROJECT_VERSION},
      {"ProductVersion", QVN_PROJECT_VERSION},
  };
  for (const auto& s : strings) {
    char* text = nullptr;
    UINT chars = 0;
    const bool found = VerQueryValueA(info.data(), (std::string(block) + s.name).c_str(),
                                      reinterpret_cast<void**>(&text), &chars) &&
                       text != nullptr;
    if (!found) {
      wintest::Fail(__FILE__, __LINE__, std::string("no string ") + s.name);
      continue;
    }
    CHECK_EQ(std::string(s.name) + " = " + text, std::string(s.name) + " = " + s.value);
  }
}

}  // namespace
