// What the native tests share: temporary directories, environment changes
// that undo themselves, and the module loaded the way a host loads it.
#ifndef QVNSTARTLOG_TESTS_NATIVE_SUPPORT_H
#define QVNSTARTLOG_TESTS_NATIVE_SUPPORT_H

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "record_lines.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qvntest {

// A fresh directory, removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "qvn-XXXXXX";
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with nullopt, removes) one environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  std::string name_;
  std::optional<std::string> old_;
};

// Changes the working directory for the scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedCwd() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path old_;
};

// QVNStartLog.so, loaded with dlopen and unloaded at the end of the scope.
class Module {
 public:
  Module() : handle_(dlopen(QVN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(handle_, nullptr) << dlerror();
  }
  ~Module() {
    if (handle_ != nullptr) {
      dlclose(handle_);
    }
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  int Start() const { return Call("QVNAddonStart"); }
  int End() const { return Call("QVNAddonEnd"); }

 private:
  int Call(const char* name) const {
    using AddonCall = int (*)();
    auto call = reinterpret_cast<AddonCall>(dlsym(handle_, name));
    EXPECT_NE(call, nullptr) << name;
    return call != nullptr ? call() : -1;
  }
  void* handle_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

// Every path below root, for checking that a start created nothing else.
inline std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    paths.insert(entry.path().string());
  }
  return paths;
}

using recordlines::IsRecordLine;
using recordlines::SplitRecords;

// Starts qvnhost with the arguments `words`, the environment of this process
// plus `env` (NAME=VALUE entries, which win), its output going to `output`.
// Returns the child's pid.
inline pid_t SpawnHostWith(std::vector<std::string> words, const std::vector<std::string>& env,
                           const std::string& output) {
  words.insert(words.begin(), QVN_HOST_PATH);
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  std::vector<std::string> variables = env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string name = std::string(*entry).substr(0, std::string(*entry).find('='));
    bool overridden = false;
    for (const std::string& given : env) {
      overridden = overridden || given.compare(0, name.size() + 1, name + "=") == 0;
    }
    if (!overridden) {
      variables.emplace_back(*entry);
    }
  }
  std::vector<char*> envp;
  envp.reserve(variables.size() + 1);
  for (std::string& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// qvnhost with the module and `starts` start calls.
inline pid_t SpawnHost(int starts, const std::vector<std::string>& env = {},
                       const std::string& output = "/dev/null") {
  return SpawnHostWith({QVN_MODULE_PATH, "start:" + std::to_string(starts)}, env, output);
}

// Waits for a host started by SpawnHost; true when it exited with status 0.
inline bool HostSucceeded(pid_t pid) {
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Checks that log holds `expected` records after the text `before`, each a
// whole record line, and no end-of-file mark.
inline void ExpectIntactLog(const std::string& log, const std::string& before,
                            std::size_t expected) {
  const std::string bytes = ReadBytes(log);
  ASSERT_EQ(bytes.compare(0, before.size(), before), 0) << log;
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitRecords(bytes.substr(before.size()), lines)) << log;
  EXPECT_EQ(lines.size(), expected) << log;
  std::size_t torn = 0;
  for (const std::string& line : lines) {
    torn += IsRecordLine(line, "WS-017") ? 0u : 1u;
  }
  EXPECT_EQ(torn, 0u) << log;
  EXPECT_EQ(bytes.find('\x1A'), std::string::npos) << log;
}

// A settings file at DIR/Harlowick Systems/Quillvane v2.conf.
inline std::string WriteSettings(const std::string& dir, const std::string& text) {
  const std::string vendor = dir + "/Harlowick Systems";
  std::filesystem::create_directories(vendor);
  const std::string file = vendor + "/Quillvane v2.conf";
  WriteBytes(file, text);
  return file;
}

// The usual setting up of a start: machine-wide settings in ROOT/machine, per
// user settings in ROOT/user, HOME in ROOT/home, a known computer name, logs
// in ROOT.
class StartLogTest : public ::testing::Test {
 protected:
  TempDir root_;
  ScopedEnv machineDirs_{"XDG_CONFIG_DIRS", root_ / "machine"};
  ScopedEnv userDir_{"XDG_CONFIG_HOME", root_ / "user"};
  ScopedEnv home_{"HOME", root_ / "home"};
  ScopedEnv computer_{"COMPUTERNAME", std::string("WS-017")};
  Module module_;

  std::string SetMachine(const std::string& text) { return WriteSettings(root_ / "machine", text); }
  std::string SetUser(const std::string& text) { return WriteSettings(root_ / "user", text); }
  // Points the per-user setting at ROOT/name and returns that path.
  std::string LogTo(const std::string& name) {
    const std::string log = root_ / name;
    SetUser("StartLogFile=" + log + "\n");
    return log;
  }
};

}  // namespace qvntest

#endif  // QVNSTARTLOG_TESTS_NATIVE_SUPPORT_H
