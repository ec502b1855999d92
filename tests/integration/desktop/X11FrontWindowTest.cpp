// Finding the application in front from the X focus, including windows that
// name nothing about themselves.
#include "platform/linux/X11FrontWindow.h"
#include "platform/linux/NoteDesktopX11.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "FieldsApp.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quorvel {
namespace {

class X11FrontWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  // A mapped top-level window holding the input focus, nothing else set.
  Window focusedWindow() {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapWindow(display_, window);
    XSync(display_, False);
    XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
    return window;
  }

  Display* display_ = nullptr;
};

TEST_F(X11FrontWindowTest, AWindowWithoutClassOrProcessNamesNothing) {
  const Window window = focusedWindow();
  EXPECT_FALSE(x11FrontmostApp(display_));
  XDestroyWindow(display_, window);
}

TEST_F(X11FrontWindowTest, AClassWithoutAProcessGivesPidZero) {
  const Window window = focusedWindow();
  XClassHint hint{const_cast<char*>("xterm"), const_cast<char*>("XTerm")};
  XSetClassHint(display_, window, &hint);
  XSync(display_, False);
  auto app = x11FrontmostApp(display_);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "xterm");
  EXPECT_EQ(app->pid, 0);

  // A desktop id wins over the class, and the process comes from _NET_WM_PID.
  const std::string id = "org.example.Editor";
  XChangeProperty(display_, window, XInternAtom(display_, "_GTK_APPLICATION_ID", False),
                  XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(id.data()), static_cast<int>(id.size()));
  long pid = getpid();
  XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
  XSync(display_, False);
  app = x11FrontmostApp(display_);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, id);
  EXPECT_EQ(app->pid, getpid());
  XDestroyWindow(display_, window);
}

TEST_F(X11FrontWindowTest, NoFocusAtAll) {
  XSetInputFocus(display_, PointerRoot, RevertToPointerRoot, CurrentTime);
  XSync(display_, False);
  EXPECT_FALSE(x11FrontmostApp(display_));
}

// The note remembers the application it was opened from and brings it back
// for "Insert in …"; its own windows are never the source.
TEST_F(X11FrontWindowTest, TheNoteFindsItsSourceAndBringsItBack) {
  testing::FieldsApp fields;
  ASSERT_TRUE(fields.ready());
  ASSERT_TRUE(fields.focus("entry"));
  NoteDesktopX11 desktop;
  const auto source = desktop.frontmost();
  ASSERT_TRUE(source);
  EXPECT_FALSE(source->id.empty());
  EXPECT_FALSE(source->name.empty());
  EXPECT_NE(source->handle, 0u);
  EXPECT_FALSE(desktop.frontmostIsSelf());
  EXPECT_TRUE(desktop.isActive(*source));

  // One of our own windows takes the focus (as the note's panel does).
  const Window own = focusedWindow();
  XClassHint hint{const_cast<char*>("quorvel"), const_cast<char*>("Quorvel")};
  XSetClassHint(display_, own, &hint);
  long pid = getpid();
  XChangeProperty(display_, own, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
  XSync(display_, False);
  EXPECT_TRUE(desktop.frontmostIsSelf());
  EXPECT_FALSE(desktop.isActive(*source));

  desktop.activate(*source);
  EXPECT_TRUE(desktop.isActive(*source));
  EXPECT_FALSE(desktop.frontmostIsSelf());
  XDestroyWindow(display_, own);
}

TEST_F(X11FrontWindowTest, TheNoteWithoutAnyFocusKnowsNoSource) {
  XSetInputFocus(display_, PointerRoot, RevertToPointerRoot, CurrentTime);
  XSync(display_, False);
  NoteDesktopX11 desktop;
  EXPECT_FALSE(desktop.frontmost());
  EXPECT_FALSE(desktop.frontmostIsSelf());
  desktop.activate(SourceApp{"gone", "Gone", 0x7fffff});  // a window that does not exist
}

}  // namespace
}  // namespace quorvel
