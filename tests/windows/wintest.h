// A small harness for the tests that run under Wine: cases register
// themselves, CHECK records a failure and carries on, and the run ends with
// the line "N passed, N failed".
#ifndef QVNSTARTLOG_TESTS_WINDOWS_WINTEST_H
#define QVNSTARTLOG_TESTS_WINDOWS_WINTEST_H

#include <windows.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "record_lines.h"

namespace wintest {

struct Case {
  const char* name;
  void (*run)();
};

std::vector<Case>& Cases();
void Fail(const char* file, int line, const std::string& what);

struct Registration {
  Registration(const char* name, void (*run)()) { Cases().push_back({name, run}); }
};

// Paths of the programs under test, from the command line.
const std::string& ModulePath();
const std::string& HostPath();

// A fresh directory under the temporary directory, removed at scope end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// QVNStartLog.dll, loaded with LoadLibraryA for the scope.
class Module {
 public:
  Module();
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  int Start() const;
  int End() const;

 private:
  HMODULE handle_;
};

// The settings key in each scope, emptied for the scope and again at its end.
class Settings {
 public:
  Settings();
  ~Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  // Stores bytes as StartLogFile of the given type; nullopt-like: Remove().
  static void Set(HKEY root, DWORD type, const std::string& bytes);
  static void SetString(HKEY root, const std::string& text);  // REG_SZ with its zero
  static void CreateKeyOnly(HKEY root);
  static void Clear();
};

// Sets (or with unset, removes) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_;
};

// Starts qvnhost with `arguments`, in directory `cwd` (nullptr: this one), its
// output going to the file `output` ("NUL" drops it). Returns the process.
HANDLE StartHost(const std::string& arguments, const char* cwd, const std::string& output);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
std::set<std::string> Tree(const std::string& root);
using recordlines::IsRecordLine;
using recordlines::SplitRecords;
std::string SystemComputerName();

}  // namespace wintest

#define WT_CONCAT2(a, b) a##b
#define WT_CONCAT(a, b) WT_CONCAT2(a, b)
#define TEST_CASE(name)                                                             \
  static void name();                                                               \
  static const ::wintest::Registration WT_CONCAT(registration_, name){#name, name}; \
  static void name()

#define CHECK(condition)                                               \
  do {                                                                 \
    if (!(condition)) ::wintest::Fail(__FILE__, __LINE__, #condition); \
  } while (0)

#define CHECK_EQ(actual, expected)                                                    \
  do {                                                                                \
    const auto& wt_actual = (actual);                                                 \
    const auto& wt_expected = (expected);                                             \
    if (!(wt_actual == wt_expected)) {                                                \
      std::ostringstream wt_message;                                                  \
      wt_message << #actual << " == " << #expected << "\n    actual:   " << wt_actual \
                 << "\n    expected: " << wt_expected;                                \
      ::wintest::Fail(__FILE__, __LINE__, wt_message.str());                          \
    }                                                                                 \
  } while (0)

#endif  // QVNSTARTLOG_TESTS_WINDOWS_WINTEST_H
