#include "support/UserDefaults.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "TestSupport.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

class UserDefaultsTest : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv config{"XDG_CONFIG_HOME", home.path().string()};
  UserDefaults defaults;
};

TEST_F(UserDefaultsTest, TellsAbsentFromAnotherType) {
  EXPECT_FALSE(defaults.contains("talkAhead"));
  ASSERT_TRUE(defaults.set("talkAhead", "no").ok());
  EXPECT_TRUE(defaults.contains("talkAhead"));
  EXPECT_EQ(defaults.boolValue("talkAhead"), std::nullopt);
  EXPECT_EQ(defaults.stringValue("talkAhead"), "no");
  EXPECT_TRUE(defaults.boolOr("talkAhead", true));

  ASSERT_TRUE(defaults.set("talkAhead", false).ok());
  EXPECT_EQ(defaults.boolValue("talkAhead"), false);
  ASSERT_TRUE(defaults.set("votes", 2).ok());
  EXPECT_EQ(defaults.integerValue("votes"), 2);
  EXPECT_EQ(defaults.boolValue("votes"), std::nullopt);  // a number is not a Bool

  ASSERT_TRUE(defaults.remove("talkAhead").ok());
  EXPECT_FALSE(defaults.contains("talkAhead"));
  EXPECT_EQ(defaults.file(), home.path() / "quorvel" / "defaults.json");
}

TEST_F(UserDefaultsTest, SeesChangesMadeByAnotherWriter) {
  UserDefaults other;
  ASSERT_TRUE(defaults.set("sound", true).ok());
  EXPECT_EQ(other.boolValue("sound"), true);
  ASSERT_TRUE(other.set("sound", false).ok());
  EXPECT_EQ(defaults.boolValue("sound"), false);
}

TEST_F(UserDefaultsTest, KeepsAnUnreadableFileAsideInsteadOfOverwritingIt) {
  testing::writeTextFile(defaults.file(), "{ this is not json");
  EXPECT_FALSE(defaults.contains("sound"));  // reads as empty, never throws
  LogCapture log;
  ASSERT_TRUE(defaults.set("sound", true).ok());
  EXPECT_EQ(testing::readTextFile(defaults.file().string() + ".unreadable"), "{ this is not json");
  EXPECT_TRUE(log.contains("it was kept as defaults.json.unreadable and the settings start afresh"));
  EXPECT_EQ(defaults.boolValue("sound"), true);
  // A second damaged file does not take the place of the first.
  testing::writeTextFile(defaults.file(), "[\"damaged again\"]");
  ASSERT_TRUE(defaults.set("sound", false).ok());
  EXPECT_EQ(testing::readTextFile(defaults.file().string() + ".unreadable"), "{ this is not json");
  EXPECT_EQ(testing::readTextFile(defaults.file().string() + ".unreadable-2"), "[\"damaged again\"]");
  EXPECT_TRUE(log.contains("kept as defaults.json.unreadable-2"));
}

TEST_F(UserDefaultsTest, TreatsAValueNestedTooDeepAsAnUnreadableFile) {
  const std::string deep = "{\"sound\":" + std::string(50000, '[') + std::string(50000, ']') + "}";
  testing::writeTextFile(defaults.file(), deep);
  EXPECT_FALSE(defaults.contains("sound"));
  ASSERT_TRUE(defaults.set("sound", true).ok());
  EXPECT_EQ(testing::readTextFile(defaults.file().string() + ".unreadable"), deep);
  EXPECT_EQ(defaults.boolValue("sound"), true);
}

// Two writes in the same second of the same size into the same file differ
// only in the nanoseconds of their modification time; the second is read.
TEST_F(UserDefaultsTest, ReadsAFileRewrittenWithinTheSameSecond) {
  const auto writeAt = [&](const std::string& text, long nanoseconds) {
    testing::writeTextFile(defaults.file(), text);  // in place: the inode stays
    const struct timespec times[2] = {{1700000000, nanoseconds}, {1700000000, nanoseconds}};
    EXPECT_EQ(::utimensat(AT_FDCWD, defaults.file().c_str(), times, 0), 0);
    struct stat info {};
    EXPECT_EQ(::stat(defaults.file().c_str(), &info), 0);
    return info.st_ino;
  };
  const ino_t first = writeAt("{\"votes\": 1}", 100);
  EXPECT_EQ(defaults.integerValue("votes"), 1);
  ASSERT_EQ(writeAt("{\"votes\": 2}", 200), first);
  EXPECT_EQ(defaults.integerValue("votes"), 2);
}

TEST_F(UserDefaultsTest, ConcurrentUpdatesFromThreadsAndProcessesLoseNothing) {
  ASSERT_TRUE(defaults.set("count", 0).ok());
  const auto bump = [](UserDefaults store) {
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(store
                      .update([](Json& object) {
                        object["count"] = object.value("count", 0) + 1;
                      })
                      .ok());
    }
  };
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0; i < 20; ++i) {
        (void)UserDefaults().update([](Json& object) { object["count"] = object.value("count", 0) + 1; });
      }
      _exit(0);
    }
    children.push_back(child);
  }
  std::thread a(bump, defaults), b(bump, defaults);
  a.join();
  b.join();
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(defaults.integerValue("count"), 80);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(WriteFileAtomically, ReplacesWholeAndKeepsThePermissions) {
  testing::TempDir dir;
  const fs::path file = dir / "private.json";
  ASSERT_TRUE(writeFileAtomically(file, "first").ok());
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(writeFileAtomically(file, "second").ok());
  EXPECT_EQ(testing::readTextFile(file), "second");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // Nothing is left behind but the file itself.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  EXPECT_FALSE(writeFileAtomically(dir / "missing" / "x", "y").ok());
}

}  // namespace
}  // namespace quorvel
