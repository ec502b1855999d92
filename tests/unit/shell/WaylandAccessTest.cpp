// The Wayland permission step as the user meets it: the status line, the
// windows' bridge, and a text that could not be typed after all.
#include "tests/unit/shell/ShellFixture.h"

namespace quorvel::testing {
namespace {

class WaylandAccess : public ShellTest {
 protected:
  const MenuItem& statusItem() {
    for (const MenuItem& item : tray.menu) {
      if (item.title == app->statusLine()) return item;
    }
    static const MenuItem none;
    return none;
  }
};

TEST_F(WaylandAccess, TheStatusLineAndTheWindowsSayWhatIsMissingUntilItIsGranted) {
  inputAccess.wayland = true;
  inputAccess.readKeyboard = false;
  inputAccess.virtualKeyboard = false;
  launchReady();
  EXPECT_EQ(app->statusLine(), "Needs permission to read the keyboard (see below)");
  EXPECT_TRUE(statusItem().visible);
  const SharedBridge bridge = app->makeBridge();
  EXPECT_TRUE(bridge->wayland());
  EXPECT_FALSE(bridge->inputAccess().readKeyboard);

  // The group arrived with a new login, the virtual keyboard's rule not yet.
  inputAccess.readKeyboard = true;
  inputAccess.ruleMissing = true;
  loop.advance(2.1);
  EXPECT_EQ(app->statusLine(), "Needs permission to type (see below)");
  EXPECT_TRUE(bridge->inputAccess().ruleMissing);

  inputAccess = InputAccess{true, true, true, false, false};
  loop.advance(2.1);
  EXPECT_EQ(app->statusLine(), "Ready");
  EXPECT_TRUE(bridge->inputAccess().complete());
}

TEST_F(WaylandAccess, AnXSessionNeverAsksForTheStep) {
  launchReady();
  EXPECT_EQ(app->statusLine(), "Ready");
  EXPECT_TRUE(app->makeBridge()->inputAccess().complete());
}

TEST_F(WaylandAccess, ATextThatCouldNotBeTypedAfterAllIsSaidAndStaysForCopyLast) {
  launchReady();
  dictate(speechFor(1.0), 1.0);
  settle();
  ASSERT_EQ(paster.pasted, std::vector<std::string>{"hello there"});
  ASSERT_TRUE(paster.lateFailure);
  paster.lateFailure();  // on the paster's thread: posted to the main loop
  loop.runPosted();
  EXPECT_EQ(app->statusLine(), "Couldn't type the dictation: use Copy Last Dictation");
  EXPECT_EQ(tag.lastFailure(), "Couldn't type it. Use Copy Last Dictation in the menu.");
  app->copyLast();
  EXPECT_EQ(paster.copied, std::vector<std::string>{"hello there"});
}

}  // namespace
}  // namespace quorvel::testing
