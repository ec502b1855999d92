// The accessibility adapter against a real GTK application on the test
// desktop: the focused field's text around the cursor with non-ASCII text,
// its kind, the application in front, the password field refused, and a hung
// application answered within a bounded time.
#include "platform/linux/AtspiDesktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "FieldsApp.h"
#include "learning/CursorContextReader.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::FieldsApp;

class AtspiDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
    ASSERT_TRUE(app_.ready()) << "the GTK test window did not come up";
    ASSERT_TRUE(desktop_.isTrusted()) << desktop_.problem();
  }

  // Reads until the application has caught up with the last command (its
  // accessibility side answers from its own main loop), at most 2 s.
  std::optional<CursorContext> readWhen(std::function<bool(const std::optional<CursorContext>&)> ok,
                                        std::int64_t maxBefore = 200, std::int64_t maxAfter = 1) {
    std::optional<CursorContext> context;
    for (int i = 0; i < 40; ++i) {
      context = CursorContextReader::read(desktop_, maxBefore, maxAfter);
      if (ok(context)) break;
      std::this_thread::sleep_for(50ms);
    }
    return context;
  }

  FieldsApp app_;
  AtspiDesktop desktop_;
};

TEST_F(AtspiDesktopTest, ReadsTheTextAroundTheCaretInUtf16Units) {
  struct Case {
    const char* name;
    std::string text;
    int caret;  // in characters, as GTK counts
    std::int64_t maxBefore, maxAfter;
    std::string before, after;
  };
  const Case cases[] = {
      {"caret at the end after an emoji", "Dear team, café 👋", 17, 200, 1, "Dear team, café 👋", ""},
      {"caret in the middle", "Dear team, café 👋", 11, 200, 10, "Dear team, ", "café 👋"},
      {"emoji before the caret", "👋 hi there", 4, 200, 6, "👋 hi", " there"},
      {"window ends inside the emoji", "a👋bc", 2, 1, 1, "", "b"},
      {"caret at the start", "héllo", 0, 200, 3, "", "hél"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(app_.set("entry", c.text, c.caret));
    ASSERT_TRUE(app_.focus("entry"));
    auto context = readWhen(
        [&](const auto& context) { return context && context->before == c.before; },
        c.maxBefore, c.maxAfter);
    ASSERT_TRUE(context) << CursorContextReader::lastProblem();
    EXPECT_EQ(context->before, c.before);
    EXPECT_EQ(context->after, c.after);
    EXPECT_EQ(context->kind, CursorContext::Kind::singleLine);
    EXPECT_EQ(context->app, "quorvel-test-fields");
  }
}

TEST_F(AtspiDesktopTest, ASelectionIsInNeitherWindow) {
  ASSERT_TRUE(app_.set("entry", "one 👋 two three"));
  ASSERT_TRUE(app_.focus("entry"));
  ASSERT_TRUE(app_.command({{"cmd", "select"}, {"field", "entry"}, {"start", 4}, {"end", 9}}));
  auto context = readWhen([](const auto& context) { return context && context->before == "one "; },
                          200, 20);
  ASSERT_TRUE(context) << CursorContextReader::lastProblem();
  EXPECT_EQ(context->before, "one ");
  EXPECT_EQ(context->after, " three");
}

TEST_F(AtspiDesktopTest, TheMultiLineViewIsATextArea) {
  ASSERT_TRUE(app_.set("view", "First line\nsecond 👋 line", 19));
  ASSERT_TRUE(app_.focus("view"));
  auto context = readWhen([](const auto& context) {
    return context && context->kind == CursorContext::Kind::multiLine && context->after == " line";
  }, 200, 20);
  ASSERT_TRUE(context) << CursorContextReader::lastProblem();
  EXPECT_EQ(context->kind, CursorContext::Kind::multiLine);
  EXPECT_EQ(context->before, "First line\nsecond 👋");
  EXPECT_EQ(context->after, " line");
}

TEST_F(AtspiDesktopTest, ThePasswordFieldIsNeverRead) {
  ASSERT_TRUE(app_.set("password", "hunter2", 3));
  ASSERT_TRUE(app_.focus("password"));
  std::optional<CursorContext> context;
  for (int i = 0; i < 40 && CursorContextReader::lastProblem() != "password field"; ++i) {
    context = CursorContextReader::read(desktop_);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_FALSE(context);
  EXPECT_EQ(CursorContextReader::lastProblem(), "password field");
}

TEST_F(AtspiDesktopTest, NamesTheApplicationInFrontWithItsProcess) {
  auto front = desktop_.frontmostApplication();
  ASSERT_TRUE(front);
  EXPECT_EQ(front->id, "quorvel-test-fields");
  EXPECT_EQ(front->pid, app_.pid());
}

TEST_F(AtspiDesktopTest, NotTrustedWhileAccessibilityIsOffUntilSwitchedOn) {
  auto setFlag = [](bool on) {
    const std::string command =
        std::string("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                    "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
                    "variant:boolean:") + (on ? "true" : "false") + " >/dev/null";
    return std::system(command.c_str()) == 0;
  };
  ASSERT_TRUE(setFlag(false));
  EXPECT_FALSE(desktop_.isTrusted());
  EXPECT_EQ(desktop_.problem(), "accessibility is switched off");
  EXPECT_FALSE(CursorContextReader::read(desktop_));
  EXPECT_EQ(CursorContextReader::lastProblem(), "no Accessibility permission");
  EXPECT_TRUE(desktop_.enableAccessibility());
  EXPECT_TRUE(desktop_.isTrusted());
  setFlag(true);
}

TEST_F(AtspiDesktopTest, AHungApplicationCostsABoundedWait) {
  ASSERT_TRUE(app_.set("entry", "still here", 5));
  ASSERT_TRUE(app_.focus("entry"));
  ASSERT_TRUE(readWhen([](const auto& context) { return context && context->before == "still"; }));
  app_.send({{"cmd", "hang"}, {"seconds", 4}});
  std::this_thread::sleep_for(100ms);
  const auto started = std::chrono::steady_clock::now();
  auto context = CursorContextReader::read(desktop_);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, 2500ms);
  if (!context) {
    EXPECT_FALSE(CursorContextReader::lastProblem().empty());
  }
}

}  // namespace
}  // namespace quorvel
