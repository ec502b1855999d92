// An application's menu name from the freedesktop entries, as the note shows
// it ("Insert in Terminal").
#include "platform/linux/DesktopEntries.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace quorvel {
namespace {

using testing::TempDir;
using testing::writeTextFile;

class DesktopEntriesTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path user = dir / "home/applications";
  std::filesystem::path system = dir / "usr/applications";

  void SetUp() override {
    writeTextFile(system / "org.gnome.Terminal.desktop",
                  "[Desktop Entry]\nName=Terminal\nName[de]=Terminal (de)\nExec=gnome-terminal\n"
                  "StartupWMClass=Gnome-terminal\n[Desktop Action new-window]\nName=New Window\n");
    writeTextFile(system / "firefox-esr.desktop", "[Desktop Entry]\r\nName = Firefox ESR\r\n");
    writeTextFile(system / "broken.desktop", "no groups at all\n=\n[Desktop Entry]\nExec=x\n");
  }
  std::optional<std::string> name(const std::string& id, const std::string& className) {
    return desktopEntryName(id, className, {user, system});
  }
};

TEST_F(DesktopEntriesTest, FindsTheNameByFileNameOrWindowClass) {
  struct Case {
    const char* id;
    const char* className;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"org.gnome.Terminal", "Gnome-terminal", "Terminal"},  // the GTK application id
      {"gnome-terminal-server", "Gnome-terminal", "Terminal"},  // only the class, claimed by the entry
      {"Navigator", "firefox-esr", "Firefox ESR"},            // the class names the file; CR LF lines
      {"broken", "Broken", std::nullopt},                     // an entry without a Name
      {"xterm", "XTerm", std::nullopt},                       // no entry at all
      {"", "", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(name(c.id, c.className), c.expected) << c.id;
}

TEST_F(DesktopEntriesTest, TheUsersOwnEntryWinsAndMissingFoldersAreNoError) {
  writeTextFile(user / "firefox-esr.desktop", "[Desktop Entry]\nName=My Browser\n");
  EXPECT_EQ(name("firefox-esr", ""), "My Browser");
  EXPECT_EQ(desktopEntryName("firefox-esr", "", {dir / "nowhere", system}), "Firefox ESR");
}

}  // namespace
}  // namespace quorvel
