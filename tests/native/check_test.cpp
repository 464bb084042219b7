// qvnhost check: what a start would do, told without writing anything.
#include <sys/stat.h>

#include "support.h"

namespace qvntest {
namespace {

class CheckTest : public StartLogTest {
 protected:
  // Runs "qvnhost check"; its exit status and output.
  std::pair<int, std::string> Check() {
    const std::string output = outputs_ / "check.out";
    const pid_t pid = SpawnHostWith({"check"}, {}, output);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(output)};
  }
  TempDir outputs_;
};

TEST_F(CheckTest, TellsWhatAStartWouldDoAndWritesNothing) {
  const struct {
    const char* what;
    std::optional<std::string> machine;
    std::optional<std::string> user;
    void (*prepare)(const std::string& root);
    int status;
    const char* says;
  } cases[] = {
      {"nothing set", std::nullopt, std::nullopt, nullptr, 1,
       "no record: StartLogFile is set in neither scope"},
      {"no directory", "StartLogFile={R}/missing/start.log\n", std::nullopt, nullptr, 1,
       "no record: the log file's directory does not exist"},
      {"log switched off", "StartLogFile={R}/start.log\n", "StartLogFile=\n", nullptr, 1,
       "no record: the per-user value is empty"},
      {"a directory", std::nullopt, "StartLogFile={R}/dir\n",
       [](const std::string& root) { mkdir((root + "/dir").c_str(), 0755); }, 1,
       "no record: the path names a directory"},
      {"user without value", "StartLogFile={R}/start.log\n", "# none\n", nullptr, 0,
       "from the machine-wide setting"},
      {"new log", "StartLogFile={R}/m.log\n", "StartLogFile={R}/start.log\n", nullptr, 0,
       "a start creates it"},
      {"existing log", std::nullopt, "StartLogFile={R}/old.log\n",
       [](const std::string& root) { WriteBytes(root + "/old.log", "old\r\n\x1A"); }, 0,
       "exists and opens for appending"},
  };
  for (const auto& c : cases) {
    TempDir settings;
    ScopedEnv machineDirs("XDG_CONFIG_DIRS", settings / "machine");
    ScopedEnv userDir("XDG_CONFIG_HOME", settings / "user");
    const auto expand = [this](std::string text) {
      const std::size_t at = text.find("{R}");
      return at == std::string::npos ? text : text.replace(at, 3, root_.path());
    };
    if (c.machine) {
      WriteSettings(settings / "machine", expand(*c.machine));
    }
    if (c.user) {
      WriteSettings(settings / "user", expand(*c.user));
    }
    if (c.prepare != nullptr) {
      c.prepare(root_.path());
    }
    const auto before = Tree(root_.path());
    const auto [status, output] = Check();
    EXPECT_EQ(status, c.status) << c.what << "\n" << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << c.what << "\n" << output;
    EXPECT_EQ(Tree(root_.path()), before) << c.what;
    if (c.status == 0) {
      EXPECT_NE(output.find("record        \"WS-017\\t"), std::string::npos) << output;
    }
  }
}

}  // namespace
}  // namespace qvntest
