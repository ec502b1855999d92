// The two diagnostic modes of the program on the test desktop, and with no
// display, no accessibility bus and no sound server at all.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "FieldsApp.h"
#include "TestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::FieldsApp;

// Runs quorvel with extra environment settings in front ("NAME=value …", or
// "-u NAME" to remove one) and returns the report it wrote.
std::string runQuorvel(const std::string& environment, const std::string& mode) {
  testing::TempDir folder;
  const auto report = folder / "report.txt";
  const std::string command = "env " + environment + " QUORVEL_CURSOR_CONTEXT_WAIT_MS=0 '" +
                              testing::buildProgram("quorvel").string() + "' " + mode + " '" +
                              report.string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(status, 0) << command;
  return testing::readTextFile(report);
}

const std::string nothingAtAll =
    "-u DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus "
    "PULSE_SERVER=unix:/nonexistent/pulse/native XDG_RUNTIME_DIR=/nonexistent";

void setAccessibility(bool on) {
  const std::string command =
      std::string("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                  "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
                  "variant:boolean:") + (on ? "true" : "false") + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

class DiagnosticsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
  }
};

TEST_F(DiagnosticsRunTest, PermissionsOnAWorkingDesktop) {
  EXPECT_EQ(runQuorvel("", "--permissions-report"),
            "accessibility: allowed\nmicrophone: allowed\n");
}

TEST_F(DiagnosticsRunTest, PermissionsWithAccessibilitySwitchedOff) {
  setAccessibility(false);
  const std::string report = runQuorvel("", "--permissions-report");
  setAccessibility(true);
  EXPECT_EQ(report, "accessibility: not allowed\nmicrophone: allowed\n");
}

TEST_F(DiagnosticsRunTest, PermissionsWithNoDisplayNoBusAndNoSoundServer) {
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(runQuorvel(nothingAtAll, "--permissions-report"),
            "accessibility: not allowed\nmicrophone: restricted\n");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(DiagnosticsRunTest, CursorContextOfTheFocusedEntry) {
  FieldsApp app;
  ASSERT_TRUE(app.ready());
  ASSERT_TRUE(app.set("entry", "Dear team, café 👋", 17));
  ASSERT_TRUE(app.focus("entry"));
  std::this_thread::sleep_for(200ms);  // the window has drawn and announced its focus
  EXPECT_EQ(runQuorvel("", "--cursor-context"),
            "app: quorvel-test-fields\nkind: singleLine\nbefore: \"Dear team, café 👋\"\n"
            "after: \"\"\n");
  ASSERT_TRUE(app.focus("password"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(runQuorvel("", "--cursor-context"), "no readable field: password field\n");
}

TEST_F(DiagnosticsRunTest, CursorContextWithNoDisplayAndNoBus) {
  EXPECT_EQ(runQuorvel(nothingAtAll, "--cursor-context"),
            "no readable field: no Accessibility permission\n");
}

}  // namespace
}  // namespace quorvel
