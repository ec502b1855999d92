// The report texts of the two diagnostics.
#include "app/permissions/Diagnostics.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace quorvel {
namespace {

TEST(Diagnostics, CursorContextReport) {
  const CursorContext context{"Dear team, café 👋", "", CursorContext::Kind::singleLine,
                              "org.gnome.TextEditor"};
  EXPECT_EQ(cursorContextReport(context, "ignored"),
            "app: org.gnome.TextEditor\nkind: singleLine\nbefore: \"Dear team, café 👋\"\n"
            "after: \"\"\n");
  const CursorContext noApp{"a", "b", CursorContext::Kind::unknown, std::nullopt};
  EXPECT_EQ(cursorContextReport(noApp, ""), "app: ?\nkind: unknown\nbefore: \"a\"\nafter: \"b\"\n");
  EXPECT_EQ(cursorContextReport(std::nullopt, "password field"),
            "no readable field: password field\n");
}

TEST(Diagnostics, PermissionsReport) {
  EXPECT_EQ(permissionsReport(true, MicrophoneAccess::allowed),
            "accessibility: allowed\nmicrophone: allowed\n");
  EXPECT_EQ(permissionsReport(false, MicrophoneAccess::denied),
            "accessibility: not allowed\nmicrophone: denied\n");
  EXPECT_EQ(permissionsReport(false, MicrophoneAccess::restricted),
            "accessibility: not allowed\nmicrophone: restricted\n");
  EXPECT_EQ(permissionsReport(true, MicrophoneAccess::notAskedYet),
            "accessibility: allowed\nmicrophone: not asked yet\n");
}

TEST(Diagnostics, OnWaylandTheReportNamesTheKeyboardStepAndItsCommand) {
  InputAccess access{true, true, true, false, false};
  EXPECT_EQ(permissionsReport(true, MicrophoneAccess::allowed, access),
            "accessibility: allowed\nmicrophone: allowed\nkeys: the keyboard devices (input group)\n"
            "typing: a virtual keyboard (uinput, input group)\nkeyboard: allowed\nvirtual keyboard: allowed\n");
  access.readKeyboard = false;
  EXPECT_EQ(permissionsReport(false, MicrophoneAccess::allowed, access),
            "accessibility: not allowed\nmicrophone: allowed\nkeys: the keyboard devices (input group)\n"
            "typing: a virtual keyboard (uinput, input group)\nkeyboard: not allowed\nvirtual keyboard: allowed\n"
            "to allow: sudo usermod -aG input $USER, then log out and back in\n");
  access.virtualKeyboard = false;
  access.ruleMissing = true;
  const std::string report = permissionsReport(false, MicrophoneAccess::allowed, access);
  EXPECT_NE(report.find("virtual keyboard: not allowed\nto allow: sudo install -m 644 '"), std::string::npos);
  EXPECT_NE(report.find("60-quorvel-uinput.rules' /etc/udev/rules.d/"), std::string::npos);
  EXPECT_NE(report.find("&& sudo usermod -aG input $USER, then log out and back in\n"), std::string::npos);
  access = InputAccess{true, false, true, false, true};
  EXPECT_NE(permissionsReport(false, MicrophoneAccess::allowed, access)
                .find("to allow: log out and back in (the account is in the input group already)\n"),
            std::string::npos);
}

TEST(Diagnostics, TheReportNamesThePortalsAndTheDesktopsTypingAnswer) {
  InputAccess access{true, true, true, false, false};
  access.keys = KeysPath::globalShortcuts;
  access.typing = TypingPath::remoteDesktop;
  access.typingConsent = TypingConsent::given;
  EXPECT_EQ(permissionsReport(true, MicrophoneAccess::allowed, access),
            "accessibility: allowed\nmicrophone: allowed\nkeys: the desktop's global shortcuts portal\n"
            "typing: the desktop's remote desktop portal (allowed)\nkeyboard: allowed\nvirtual keyboard: allowed\n");
  access.typingConsent = TypingConsent::notAsked;
  EXPECT_NE(permissionsReport(true, MicrophoneAccess::allowed, access)
                .find("typing: the desktop's remote desktop portal (not asked yet)\nkeyboard: allowed\n"
                      "virtual keyboard: allowed\nto allow typing: open Set Up Quorvel and click Allow Typing\n"),
            std::string::npos);
  EXPECT_EQ(permissionsReport(true, MicrophoneAccess::allowed, access).find("sudo"), std::string::npos);
}

TEST(Diagnostics, TheWaitBeforeReadingCanBeShortenedButNotBroken) {
  {
    testing::ScopedEnv unset("QUORVEL_CURSOR_CONTEXT_WAIT_MS", std::nullopt);
    EXPECT_EQ(cursorContextWait(), std::chrono::seconds(3));
  }
  for (const char* bad : {"-5", "abc", "9999999"}) {
    testing::ScopedEnv wait("QUORVEL_CURSOR_CONTEXT_WAIT_MS", bad);
    EXPECT_EQ(cursorContextWait(), std::chrono::seconds(3)) << bad;
  }
  testing::ScopedEnv wait("QUORVEL_CURSOR_CONTEXT_WAIT_MS", "0");
  EXPECT_EQ(cursorContextWait(), std::chrono::milliseconds(0));
}

TEST(Diagnostics, AReportThatCannotBeWrittenIsSkipped) {
  struct NoDesktop : AccessibilityDesktop {
    bool isTrusted() override { return false; }
    FocusedElementAnswer focusedElement() override { return {}; }
    std::optional<std::string> frontmostApp() override { return std::nullopt; }
  } desktop;
  EXPECT_EQ(runPermissionsReport(desktop, MicrophoneAccess::allowed, "/nonexistent/dir/report"), 0);
  testing::TempDir folder;
  EXPECT_EQ(runCursorContext(desktop, folder / "report.txt", std::chrono::milliseconds(0)), 0);
  EXPECT_EQ(testing::readTextFile(folder / "report.txt"),
            "no readable field: no Accessibility permission\n");
}

}  // namespace
}  // namespace quorvel
