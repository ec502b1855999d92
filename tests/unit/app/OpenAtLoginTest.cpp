// The start-at-login setting and its autostart entry.
#include "app/launch/OpenAtLogin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "support/UserDefaults.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

// The Exec line of an entry.
std::string execLine(const std::string& entry) {
  const auto at = entry.find("\nExec=");
  if (at == std::string::npos) return {};
  return entry.substr(at + 6, entry.find('\n', at + 1) - at - 6);
}

TEST(OpenAtLoginTest, TheSettingWritesAndRemovesTheAutostartEntry) {
  TempDir home;
  ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
  const fs::path entry = home.path() / "autostart" / "quorvel.desktop";
  EXPECT_EQ(OpenAtLogin::entryFile(), entry);

  ASSERT_TRUE(OpenAtLogin::set(true).ok());
  EXPECT_EQ(UserDefaults().boolValue("openAtLogin"), true);
  const auto text = readWholeFile(entry);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text->find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text->find("\nName=Quorvel\n"), std::string::npos);
  EXPECT_EQ(execLine(*text).front(), '/');

  ASSERT_TRUE(OpenAtLogin::set(false).ok());
  EXPECT_EQ(UserDefaults().boolValue("openAtLogin"), false);
  EXPECT_FALSE(pathExists(entry));
  EXPECT_TRUE(OpenAtLogin::set(false).ok());  // nothing to remove is fine
}

TEST(OpenAtLoginTest, SyncFollowsTheStoredSettingWhichIsOffWhenAbsent) {
  TempDir home;
  ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
  const fs::path entry = home.path() / "autostart" / "quorvel.desktop";
  createFolders(entry.parent_path());
  ASSERT_TRUE(writeFileAtomically(entry, "[Desktop Entry]\nExec=/old/place/quorvel\n").ok());
  ASSERT_TRUE(OpenAtLogin::sync().ok());
  EXPECT_FALSE(pathExists(entry));

  ASSERT_TRUE(UserDefaults().set("openAtLogin", Json(true)).ok());
  ASSERT_TRUE(OpenAtLogin::sync().ok());
  EXPECT_TRUE(pathExists(entry));
}

TEST(OpenAtLoginTest, ExecPathsAreQuotedTheWayDesktopEntriesRequire) {
  struct Case {
    std::string path;
    std::string exec;
  };
  const Case cases[] = {
      {"/usr/bin/quorvel", "/usr/bin/quorvel"},
      {"/home/me/My Apps/quorvel", "\"/home/me/My Apps/quorvel\""},
      {"/opt/a\"b$c/quorvel", "\"/opt/a\\\\\"b\\\\$c/quorvel\""},
      {"/opt/100%/quorvel", "\"/opt/100%%/quorvel\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(execLine(OpenAtLogin::entryText(c.path)), c.exec) << c.path;
  }
}

TEST(OpenAtLoginTest, AnEntryThatCannotBeWrittenLeavesTheSettingAsItWas) {
  TempDir home;
  ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
  // A file where the autostart folder should be.
  ASSERT_TRUE(writeFileAtomically(home.path() / "autostart", "x").ok());
  EXPECT_FALSE(OpenAtLogin::set(true).ok());
  EXPECT_FALSE(UserDefaults().boolValue("openAtLogin").has_value());
  EXPECT_FALSE(OpenAtLogin::apply(true, home.path() / "autostart" / "quorvel.desktop", "/usr/bin/quorvel").ok());
}

TEST(OpenAtLoginTest, ASettingThatCannotBeSavedLeavesTheEntryAsItWas) {
  struct Case {
    const char* name;
    std::optional<std::string> entryBefore;
    bool open;
  };
  const Case cases[] = {
      {"turning on without an entry", std::nullopt, true},
      {"turning off without an entry", std::nullopt, false},
      {"turning off the user's own entry", "[Desktop Entry]\nExec=/old/place/quorvel --quiet\n", false},
      {"turning on over the user's own entry", "[Desktop Entry]\nExec=/old/place/quorvel --quiet\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
    // A file where the settings folder should be: the setting can't be saved.
    ASSERT_TRUE(writeFileAtomically(home.path() / "quorvel", "x").ok());
    const fs::path entry = home.path() / "autostart" / "quorvel.desktop";
    if (c.entryBefore) {
      createFolders(entry.parent_path());
      ASSERT_TRUE(writeFileAtomically(entry, *c.entryBefore).ok());
    }
    EXPECT_FALSE(OpenAtLogin::set(c.open).ok());
    EXPECT_EQ(pathExists(entry) ? readWholeFile(entry) : std::nullopt, c.entryBefore);
  }
}

}  // namespace
}  // namespace quorvel
