// Where a start writes: the machine-wide and per-user settings files.
#include <sys/stat.h>

#include <cstring>

#include "QVNStartLog.h"
#include "support.h"

namespace qvntest {
namespace {

// Settings texts use {M} and {U} for two log paths, ROOT/m.log and ROOT/u.log.
struct LookupCase {
  const char* name;
  std::optional<std::string> machine;  // nullopt: no machine-wide file
  std::optional<std::string> user;     // nullopt: no per-user file
  const char* expected;                // "m.log", "u.log" or "" (no record)
};

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) {
    repeated += text;
  }
  return repeated;
}

std::vector<LookupCase> LookupCases() {
  return {
      {"NoFiles", std::nullopt, std::nullopt, ""},
      {"MachineOnly", "StartLogFile={M}\n", std::nullopt, "m.log"},
      {"UserOnly", std::nullopt, "StartLogFile={U}\n", "u.log"},
      {"UserOverridesMachine", "StartLogFile={M}\n", "StartLogFile={U}\n", "u.log"},
      {"UserFileWithoutValue", "StartLogFile={M}\n", "# nothing here\n", "m.log"},
      {"EmptyUserValueSwitchesOff", "StartLogFile={M}\n", "StartLogFile=\n", ""},
      {"EmptyMachineValue", "StartLogFile=\n", std::nullopt, ""},
      {"CrLfLineEnd", std::nullopt, "StartLogFile={U}\r\n", "u.log"},
      {"NoFinalLineEnd", std::nullopt, "StartLogFile={U}", "u.log"},
      {"LastLineWins", std::nullopt, "StartLogFile={M}\nStartLogFile={U}\n", "u.log"},
      {"CommentsSectionsBlankLines", std::nullopt,
       "# StartLogFile={M}\n;StartLogFile={M}\n\n[Quillvane]\nStartLogFile={U}\n", "u.log"},
      {"OnlyTheExactKeyCounts", "StartLogFile={M}\n",
       " StartLogFile={U}\nstartlogfile={U}\nStartLogFile ={U}\nStartLogFiles={U}\n", "m.log"},
      {"ByteOrderMark", std::nullopt, "\xEF\xBB\xBFStartLogFile={U}\n", "u.log"},
      {"ValueEndsAtZeroByte", std::nullopt, std::string("StartLogFile={U}\0junk\n", 22), "u.log"},
      {"TooLongUserValueLeavesMachine", "StartLogFile={M}\n",
       "StartLogFile=/" + std::string(499, 'x') + "\n", "m.log"},
      {"EmptyUserFile", "StartLogFile={M}\n", "", "m.log"},
      {"HugeFileKeyAtTheEnd", std::nullopt,
       Repeat("# one of many comment lines\n[Section]\n", 25000) + "StartLogFile={U}\n", "u.log"},
      {"BinaryUserFile", "StartLogFile={M}\n",
       std::string("\0\xFF\r\rStart\0LogFile=x\n\x1A\x7F\xEF\xBB", 24), "m.log"},
      {"TooLongLastLineContributesNothing", "StartLogFile={M}\n",
       "StartLogFile={U}\nStartLogFile=/" + std::string(600, 'x') + "\n", "m.log"},
  };
}

void PrintTo(const LookupCase& c, std::ostream* out) { *out << c.name; }

std::string Expand(std::string text, const TempDir& root) {
  for (const auto& [mark, name] : {std::pair{"{M}", "m.log"}, std::pair{"{U}", "u.log"}}) {
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;) {
      text.replace(at, 3, root / name);
    }
  }
  return text;
}

class LookupTest : public StartLogTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTest, RecordGoesWhereTheSettingsSay) {
  const LookupCase& c = GetParam();
  if (c.machine) {
    SetMachine(Expand(*c.machine, root_));
  }
  if (c.user) {
    SetUser(Expand(*c.user, root_));
  }
  const auto before = Tree(root_.path());

  EXPECT_EQ(module_.Start(), 1);

  for (const char* log : {"m.log", "u.log"}) {
    std::vector<std::string> lines;
    const std::string bytes = Exists(root_ / log) ? ReadBytes(root_ / log) : "";
    ASSERT_TRUE(SplitRecords(bytes, lines)) << log;
    EXPECT_EQ(lines.size(), std::strcmp(log, c.expected) == 0 ? 1u : 0u) << log;
  }
  if (*c.expected == '\0') {
    EXPECT_EQ(Tree(root_.path()), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, LookupTest, ::testing::ValuesIn(LookupCases()),
                         [](const ::testing::TestParamInfo<LookupCase>& test) {
                           return std::string(test.param.name);
                         });

// A path of exactly 499 bytes is used whole; one of 500 contributes nothing.
class LongPathTest : public StartLogTest {
 protected:
  // ROOT/aaa.../bbb... padded so the whole path has exactly length bytes.
  std::string PathOfLength(std::size_t length) {
    std::string dir = root_.path();
    while (length - dir.size() > 200) {
      dir += "/" + std::string(100, 'd');
      mkdir(dir.c_str(), 0755);
    }
    return dir + "/" + std::string(length - dir.size() - 1, 'f');
  }
};

TEST_F(LongPathTest, PathOf499BytesIsUsedWhole) {
  const std::string log = PathOfLength(499);
  ASSERT_EQ(log.size(), 499u);
  SetUser("StartLogFile=" + log + "\n");
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_EQ(ReadBytes(log).size(), std::string("WS-017\t01/01/00\t00:00:00\r\n").size());
}

TEST_F(LongPathTest, PathOf500BytesLeavesTheMachineSetting) {
  const std::string log = PathOfLength(500);
  SetMachine("StartLogFile=" + (root_ / "m.log") + "\n");
  SetUser("StartLogFile=" + log + "\n");
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_FALSE(Exists(log));
  EXPECT_TRUE(Exists(root_ / "m.log"));
}

// The machine-wide file is the first one that exists along XDG_CONFIG_DIRS,
// relative and empty entries skipped, even when it sets nothing.
TEST_F(StartLogTest, FirstExistingMachineFileCounts) {
  WriteSettings(root_ / "second", "StartLogFile=" + (root_ / "second.log") + "\n");
  WriteSettings(root_ / "third", "StartLogFile=" + (root_ / "third.log") + "\n");
  WriteSettings(root_ / "relative", "StartLogFile=" + (root_ / "relative.log") + "\n");
  ScopedCwd cwd(root_.path());
  ScopedEnv dirs("XDG_CONFIG_DIRS", "relative::" + (root_ / "missing") + ":" + (root_ / "second") +
                                        ":" + (root_ / "third"));
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_TRUE(Exists(root_ / "second.log"));
  EXPECT_FALSE(Exists(root_ / "third.log"));
  EXPECT_FALSE(Exists(root_ / "relative.log"));

  WriteSettings(root_ / "second", "# switched off here\n");
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_FALSE(Exists(root_ / "third.log"));
}

TEST_F(StartLogTest, UserSettingsDefaultToHomeConfig) {
  ScopedEnv noConfigHome("XDG_CONFIG_HOME", std::nullopt);
  WriteSettings(root_ / "home/.config", "StartLogFile=" + (root_ / "home.log") + "\n");
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_TRUE(Exists(root_ / "home.log"));
}

TEST_F(StartLogTest, RelativeConfigHomeIsIgnored) {
  ScopedCwd cwd(root_.path());
  WriteSettings(root_ / "home/.config", "StartLogFile=" + (root_ / "home.log") + "\n");
  WriteSettings(root_ / "rel", "StartLogFile=" + (root_ / "rel.log") + "\n");
  ScopedEnv relative("XDG_CONFIG_HOME", std::string("rel"));
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_TRUE(Exists(root_ / "home.log"));
  EXPECT_FALSE(Exists(root_ / "rel.log"));
}

// Settings files that cannot be read as text contribute nothing; the start
// neither hangs nor fails.
TEST_F(StartLogTest, UnusableUserSettingsLeaveTheMachineSetting) {
  SetMachine("StartLogFile=" + (root_ / "m.log") + "\n");
  const std::string file = SetUser("");
  for (const char* kind : {"directory", "fifo"}) {
    ASSERT_EQ(std::remove(file.c_str()), 0);
    ASSERT_EQ(std::string(kind) == "fifo" ? mkfifo(file.c_str(), 0644) : mkdir(file.c_str(), 0755),
              0);
    EXPECT_EQ(module_.Start(), 1) << kind;
  }
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitRecords(ReadBytes(root_ / "m.log"), lines));
  EXPECT_EQ(lines.size(), 2u);
}

// Nothing is cached: every start reads the settings afresh.
TEST_F(StartLogTest, SettingsAreReadAtEveryStart) {
  const std::string first = LogTo("first.log");
  EXPECT_EQ(module_.Start(), 1);
  const std::string second = LogTo("second.log");
  EXPECT_EQ(module_.Start(), 1);
  EXPECT_EQ(ReadBytes(first).size(), ReadBytes(second).size());
}

// The scanner gives the same answer however the file's text is split into
// the chunks that reads return.
TEST(SettingScanTest, ChunkBoundariesDoNotMatter) {
  const std::string texts[] = {
      "\xEF\xBB\xBFStartLogFile=/a\r\n",
      "# c\n[s]\nStartLogFile=/first\nStartLogFile=/second\r\n\n",
      "StartLogFile=" + std::string(499, 'p') + "\r\n",
      "StartLogFile=" + std::string(500, 'p') + "\n",
      "StartLogFile=/x\nStartLogFile=" + std::string(700, 'p'),
      "StartLogFil=/no\nStartLogFile=",
  };
  for (const std::string& text : texts) {
    SettingScan whole;
    ScanSettingText(whole, text.data(), text.size());
    LogPath wholeValue;
    const bool wholeFound = FinishSettingScan(whole, wholeValue);
    for (std::size_t chunk = 1; chunk < 9; ++chunk) {
      SettingScan pieces;
      for (std::size_t at = 0; at < text.size(); at += chunk) {
        ScanSettingText(pieces, text.data() + at, std::min(chunk, text.size() - at));
      }
      LogPath value;
      EXPECT_EQ(FinishSettingScan(pieces, value), wholeFound) << text;
      EXPECT_EQ(std::string(value.bytes, value.length),
                std::string(wholeValue.bytes, wholeValue.length));
    }
  }
}

TEST(SettingScanTest, Values) {
  const struct {
    std::string text;
    bool found;
    std::string value;
  } cases[] = {
      {"", false, ""},
      {"StartLogFile=", true, ""},
      {"StartLogFile=/a b\\c%TEMP%\r\n", true, "/a b\\c%TEMP%"},
      {"StartLogFile=/a\r\r\n", true, "/a\r"},
      {"StartLogFile=" + std::string(499, 'p'), true, std::string(499, 'p')},
      {"StartLogFile=" + std::string(500, 'p'), false, ""},
  };
  for (const auto& c : cases) {
    SettingScan scan;
    ScanSettingText(scan, c.text.data(), c.text.size());
    LogPath value;
    EXPECT_EQ(FinishSettingScan(scan, value), c.found) << c.text;
    EXPECT_EQ(std::string(value.bytes, value.length), c.value) << c.text;
  }
}

}  // namespace
}  // namespace qvntest
