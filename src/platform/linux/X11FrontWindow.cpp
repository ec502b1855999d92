// Finds the frontmost application's window, class and process on X11.
#include "platform/linux/X11FrontWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

namespace quorvel {
namespace {

// A property's bytes (8-bit formats) or its first 32-bit item, bounded.
std::optional<std::string> textProperty(Display* display, Window window, const char* name) {
  const Atom property = XInternAtom(display, name, True);
  if (property == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success) {
    return std::nullopt;
  }
  std::optional<std::string> text;
  if (data != nullptr && format == 8 && count > 0) {
    text = std::string(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return text;
}

std::optional<unsigned long> cardinalProperty(Display* display, Window window, const char* name) {
  const Atom property = XInternAtom(display, name, True);
  if (property == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) != Success) {
    return std::nullopt;
  }
  std::optional<unsigned long> value;
  if (data != nullptr && format == 32 && count == 1) {
    value = *reinterpret_cast<unsigned long*>(data);  // Xlib hands 32-bit items as longs
  }
  if (data != nullptr) XFree(data);
  return value;
}

// The text up to its first NUL, or nothing when that is empty.
std::optional<std::string> firstString(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  std::string value = text->substr(0, text->find('\0'));
  if (value.empty()) return std::nullopt;
  return value;
}

std::optional<std::string> className(Display* display, Window window) {
  std::optional<std::string> name;
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) != 0) {
    if (hint.res_class != nullptr && hint.res_class[0] != '\0') name = hint.res_class;
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
  }
  return name;
}

std::optional<FrontmostApp> describe(Display* display, Window window) {
  std::optional<std::string> id = firstString(textProperty(display, window, "_GTK_APPLICATION_ID"));
  if (!id) id = firstString(textProperty(display, window, "_KDE_NET_WM_DESKTOP_FILE"));
  if (!id) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) != 0) {
      if (hint.res_name != nullptr && hint.res_name[0] != '\0') id = hint.res_name;
      else if (hint.res_class != nullptr && hint.res_class[0] != '\0') id = hint.res_class;
      if (hint.res_name != nullptr) XFree(hint.res_name);
      if (hint.res_class != nullptr) XFree(hint.res_class);
    }
  }
  if (!id) return std::nullopt;
  FrontmostApp app;
  app.id = *id;
  if (auto pid = cardinalProperty(display, window, "_NET_WM_PID"); pid && *pid < (1UL << 22)) {
    app.pid = static_cast<pid_t>(*pid);
  }
  return app;
}

}  // namespace

std::optional<FrontmostApp> x11FrontmostApp(Display* display) {
  auto front = x11FrontWindow(display);
  if (!front) return std::nullopt;
  return front->app;
}

std::optional<X11FrontWindow> x11FrontWindow(Display* display) {
  if (display == nullptr) return std::nullopt;
  const Window root = DefaultRootWindow(display);
  Window window = None;
  if (auto active = cardinalProperty(display, root, "_NET_ACTIVE_WINDOW"); active && *active != 0) {
    window = static_cast<Window>(*active);
  } else {
    int revert = 0;
    XGetInputFocus(display, &window, &revert);
  }
  // Climb from the focus towards the root; a bounded number of steps.
  for (int depth = 0; depth < 32 && window != None && window != PointerRoot && window != root;
       ++depth) {
    if (auto app = describe(display, window)) {
      return X11FrontWindow{*app, window, className(display, window).value_or(app->id)};
    }
    Window rootReturn = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &rootReturn, &parent, &children, &count) == 0) break;
    if (children != nullptr) XFree(children);
    window = parent;
  }
  return std::nullopt;
}

}  // namespace quorvel
