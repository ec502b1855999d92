// The program in a Wayland session (weston's headless backend with XWayland,
// which has no seat, no desktop portals and no /dev/input here): it chooses
// each half's way in order (portals, then the devices, then XWayland), says
// so and what is missing, and its windows come up on the X side where they
// can be placed. Also the program with no session at all, and the
// permissions report's Wayland lines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

bool inWaylandSession() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* display = std::getenv("DISPLAY");
  return wayland != nullptr && *wayland != '\0' && display != nullptr && *display != '\0';
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

// Whether a window of that title is on the X server (XWayland), at any depth.
bool xWindowTitled(Display* display, Window window, const std::string& title, int depth = 0) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    const bool match = title == name;
    XFree(name);
    if (match) return true;
  }
  if (depth > 4) return false;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return false;
  bool found = false;
  for (unsigned int i = 0; i < count && !found; ++i) found = xWindowTitled(display, children[i], title, depth + 1);
  if (children != nullptr) XFree(children);
  return found;
}

class WaylandApp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inWaylandSession()) GTEST_SKIP() << "needs scripts/wayland-session";
    testing::writeTextFile(dir / "config/quorvel/defaults.json", R"({"sound": false})");
  }
  void TearDown() override {
    if (quorvel) {
      quorvel->terminate();
      if (!quorvel->waitForExit(10s)) quorvel->kill();
      (void)quorvel->waitForExit(5s);
    }
  }

  std::map<std::string, std::string> environment() const {
    return {
        {"QUORVEL_ROOT", (dir / "root").string()},
        {"XDG_CONFIG_HOME", (dir / "config").string()},
        {"XDG_DATA_HOME", (dir / "data").string()},
        {"QUORVEL_MODEL_HOST", "http://127.0.0.1:9"},
        {"QUORVEL_LOG_STDERR", "1"},
    };
  }
  std::string log() const { return readWholeFile(dir / "quorvel.log").value_or(""); }
  bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

  testing::TempDir dir;
  std::unique_ptr<ChildProcess> quorvel;
};

TEST_F(WaylandApp, ChoosesAWayForEachHalfSaysWhatIsMissingAndShowsItsWindowThroughXWayland) {
  LaunchOptions options;
  options.executable = testing::buildProgram("quorvel").string();
  options.outputFile = dir / "quorvel.log";
  options.extraEnvironment = environment();
  options.endWithParent = true;
  auto launched = ChildProcess::launch(options);
  ASSERT_TRUE(launched) << launched.error();
  quorvel = std::move(launched.value());

  ASSERT_TRUE(eventually([&] { return logHas("Quorvel: started"); }, 30s)) << log();
  EXPECT_TRUE(logHas("Quorvel: keys and typing for a Wayland session; windows through xcb")) << log();
  // weston offers no portals: the keyboard devices where they can be read,
  // else XWayland's X11 path; the same for typing. The choice and its reason
  // are one line.
  EXPECT_TRUE(logHas("Quorvel: keys through ")) << log();
  EXPECT_TRUE(logHas("a Wayland session without global shortcuts")) << log();
  EXPECT_TRUE(logHas("a Wayland session without a remote desktop keyboard")) << log();
  if (logHas("keys through the keyboard devices") && !logHas("keyboard added")) {
    EXPECT_TRUE(eventually([&] { return logHas("can't hear the dictation key: "); }, 10s)) << log();
  }
  if (logHas("typing through a virtual keyboard") && logHas("cannot type into other windows: ")) {
    EXPECT_TRUE(logHas("/dev/uinput")) << log();
  }
  // weston has no tray: said, and the window is the way in.
  EXPECT_TRUE(logHas("this desktop has no system tray")) << log();

  // The first launch opens onboarding, on the X side, where it can be placed.
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  EXPECT_TRUE(eventually([&] { return xWindowTitled(display, DefaultRootWindow(display), "Set Up Quorvel"); }, 20s))
      << log();
  XCloseDisplay(display);
  EXPECT_TRUE(quorvel->isRunning()) << log();
}

TEST_F(WaylandApp, ThePermissionsReportNamesBothHalvesOfTheKeyboardStep) {
  const auto report = dir / "report.txt";
  std::string command = "env";
  for (const auto& [name, value] : environment()) command += " " + name + "='" + value + "'";
  command += " '" + testing::buildProgram("quorvel").string() + "' --permissions-report '" + report.string() +
             "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string text = testing::readTextFile(report);
  EXPECT_NE(text.find("\nkeys: "), std::string::npos) << text;
  EXPECT_NE(text.find("\ntyping: "), std::string::npos) << text;
  EXPECT_NE(text.find("\nkeyboard: "), std::string::npos) << text;
  EXPECT_NE(text.find("\nvirtual keyboard: "), std::string::npos) << text;
  if (text.find("not allowed\nto allow: ") != std::string::npos) {
    EXPECT_NE(text.find("log out and back in"), std::string::npos) << text;
  }
}

TEST(NoSession, TheProgramSaysItNeedsADesktopAndEnds) {
  testing::TempDir dir;
  const auto output = dir / "out.txt";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QUORVEL_KEYS XDG_CONFIG_HOME='" +
                              (dir / "config").string() + "' QUORVEL_ROOT='" + (dir / "root").string() + "' '" +
                              testing::buildProgram("quorvel").string() + "' >'" + output.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(testing::readTextFile(output).find(
                "quorvel: Quorvel can't start here: no desktop session (neither WAYLAND_DISPLAY nor DISPLAY is set)"),
            std::string::npos);
}

}  // namespace
}  // namespace quorvel
