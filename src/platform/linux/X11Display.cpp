// Opens X displays with error handlers that log instead of exiting.
#include "platform/linux/X11Display.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <mutex>
#include <set>

#include "support/Log.h"

namespace quorvel {
namespace {

std::mutex lostMutex;
std::set<Display*> lostDisplays;  // guarded by lostMutex

int logProtocolError(Display* display, XErrorEvent* event) {
  // Windows vanish between two calls all the time (a closed dialog, a
  // selection owner that quit); the caller sees a failed call and moves on.
  if (event->error_code != BadWindow && event->error_code != BadAtom) {
    char text[128] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    logLine(std::string("Quorvel: X error ") + text + " (request " +
            std::to_string(event->request_code) + ")");
  }
  return 0;
}

void markLost(Display* display, void*) {
  std::scoped_lock lock(lostMutex);
  if (lostDisplays.insert(display).second) {
    logLine("Quorvel: lost the connection to the X display");
  }
}

}  // namespace

void X11DisplayCloser::operator()(_XDisplay* display) const {
  if (display == nullptr) return;
  {
    std::scoped_lock lock(lostMutex);
    lostDisplays.erase(display);
  }
  XCloseDisplay(display);
}

X11DisplayPtr openX11Display(std::string& problem) {
  static std::once_flag handlers;
  std::call_once(handlers, [] {
    XInitThreads();
    XSetErrorHandler(logProtocolError);
  });
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    problem = "no X display (DISPLAY is not set)";
    return nullptr;
  }
  Display* display = XOpenDisplay(name);
  if (display == nullptr) {
    problem = std::string("cannot open X display ") + name;
    return nullptr;
  }
  XSetIOErrorExitHandler(display, markLost, nullptr);
  problem.clear();
  return X11DisplayPtr(display);
}

bool x11ConnectionLost(_XDisplay* display) {
  std::scoped_lock lock(lostMutex);
  return lostDisplays.count(display) > 0;
}

}  // namespace quorvel
