// XInput2 raw key events and the key-state query on X11.
#include "platform/linux/KeysX11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include "support/Log.h"

namespace quorvel {
namespace {

// The mouse's side buttons as X11 numbers them (back, forward), and the key
// codes they stand for.
constexpr int backButton = 8;
constexpr int forwardButton = 9;

int codeOfButton(int button) {
  return button == backButton ? keycode::mouseBack : button == forwardButton ? keycode::mouseForward : 0;
}

// Key codes that carry a modifier in the current mapping (Shift, Control,
// Alt, Super, AltGr, Num Lock…). Read again whenever the mapping changes.
std::vector<bool> modifierKeycodes(Display* display) {
  std::vector<bool> modifiers(256, false);
  XModifierKeymap* map = XGetModifierMapping(display);
  if (map == nullptr) return modifiers;
  for (int i = 0; i < 8 * map->max_keypermod; ++i) {
    const KeyCode code = map->modifiermap[i];
    if (code != 0) modifiers[code] = true;
  }
  XFreeModifiermap(map);
  return modifiers;
}

}  // namespace

KeysX11::~KeysX11() { stop(); }

bool KeysX11::start(Handler handler) {
  stop();
  std::string problem;
  X11DisplayPtr events = openX11Display(problem);
  X11DisplayPtr queries = events ? openX11Display(problem) : nullptr;
  int opcode = 0, event = 0, error = 0;
  if (events && queries &&
      !XQueryExtension(events.get(), "XInputExtension", &opcode, &event, &error)) {
    problem = "the X server has no XInput extension";
  }
  int major = 2, minor = 0;
  if (problem.empty() && XIQueryVersion(events.get(), &major, &minor) != Success) {
    problem = "the X server has no XInput 2.0";
  }
  if (problem.empty()) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(events.get(), DefaultRootWindow(events.get()), &mask, 1);
    XSelectInput(events.get(), DefaultRootWindow(events.get()), NoEventMask);
    XSync(events.get(), False);
    if (!keyThread_.open()) problem = "cannot make a pipe for the key thread";
  }
  std::scoped_lock lock(mutex_);
  problem_ = problem;
  if (!problem.empty()) {
    logLine("Quorvel: cannot hear the keys: " + problem);
    return false;
  }
  handler_ = std::move(handler);
  queries_ = std::move(queries);
  events_ = std::move(events);
  xiOpcode_ = opcode;
  keyThread_.start([this](int stopFd) { run(stopFd); });
  return true;
}

void KeysX11::stop() {
  keyThread_.stop();
  std::scoped_lock lock(mutex_);
  handler_ = nullptr;
  events_.reset();
  queries_.reset();
}

void KeysX11::expectOwnRightAlt(bool down) {
  std::scoped_lock lock(mutex_);
  ownRightAlt_.push_back({down, std::chrono::steady_clock::now() + std::chrono::seconds(1)});
}

bool KeysX11::isOwnEcho(bool down) {
  std::scoped_lock lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  while (!ownRightAlt_.empty() && ownRightAlt_.front().until < now) ownRightAlt_.pop_front();
  if (ownRightAlt_.empty() || ownRightAlt_.front().down != down) return false;
  ownRightAlt_.pop_front();
  return true;
}

bool KeysX11::isDown(ShellKey key) {
  const int chosen = binding().codeOf(key);
  std::scoped_lock lock(mutex_);
  if (chosen == keycode::mouseBack || chosen == keycode::mouseForward) {
    return chosen == keycode::mouseBack ? backHeld_ : forwardHeld_;
  }
  const int code = chosen > 0 ? chosen + keycode::x11Offset : 0;
  if (code == rightAltKeycode) {
    // Between our own release and press the server says "up" while the user
    // still holds the key: the user's own events say better.
    const auto now = std::chrono::steady_clock::now();
    while (!ownRightAlt_.empty() && ownRightAlt_.front().until < now) ownRightAlt_.pop_front();
    if (!ownRightAlt_.empty()) return userHoldsRightAlt_;
  }
  if (code <= 0 || code > 255 || !queries_ || x11ConnectionLost(queries_.get())) return false;
  char keys[32] = {};
  XQueryKeymap(queries_.get(), keys);
  return (keys[code / 8] & (1 << (code % 8))) != 0;
}

std::string KeysX11::problem() const {
  std::scoped_lock lock(mutex_);
  return problem_;
}

void KeysX11::deliver(const KeyEvent& key) {
  Handler handler;
  {
    std::scoped_lock lock(mutex_);
    handler = handler_;
  }
  if (handler) handler(key);
}

void KeysX11::run(int stopFd) {
  Display* display = events_.get();
  std::vector<bool> modifiers = modifierKeycodes(display);
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {stopFd, POLLIN, 0}};
  while (true) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        modifiers = modifierKeycodes(display);
        continue;
      }
      XGenericEventCookie* cookie = &event.xcookie;
      if (cookie->type != GenericEvent || cookie->extension != xiOpcode_) continue;
      if (!XGetEventData(display, cookie)) continue;
      const bool button = cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawButtonRelease;
      const bool keyEvent = cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease;
      const int detail = button || keyEvent ? static_cast<const XIRawEvent*>(cookie->data)->detail : 0;
      // Of the mouse, only the side buttons are keys a user may choose.
      if (button && codeOfButton(detail) != 0) {
        KeyEvent key;
        key.code = codeOfButton(detail);
        key.key = binding().roleOf(key.code);
        key.down = cookie->evtype == XI_RawButtonPress;
        {
          std::scoped_lock lock(mutex_);
          (detail == backButton ? backHeld_ : forwardHeld_) = key.down;
        }
        deliver(key);
      } else if (keyEvent) {
        const int code = detail;
        KeyEvent key;
        key.code = code > keycode::x11Offset ? code - keycode::x11Offset : 0;
        key.key = binding().roleOf(key.code);
        key.down = cookie->evtype == XI_RawKeyPress;
        key.modifier = code >= 0 && code < 256 && modifiers[static_cast<size_t>(code)];
        if (code == rightAltKeycode) {
          if (isOwnEcho(key.down)) {
            XFreeEventData(display, cookie);
            continue;
          }
          std::scoped_lock lock(mutex_);
          userHoldsRightAlt_ = key.down;
        }
        deliver(key);
      }
      XFreeEventData(display, cookie);
    }
    if (x11ConnectionLost(display)) {
      std::scoped_lock lock(mutex_);
      problem_ = "lost the connection to the X display";
      return;
    }
    fds[0].revents = fds[1].revents = 0;
    if (poll(fds, 2, 1000) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      XNoOp(display);  // lets Xlib notice the loss and mark the connection
      XFlush(display);
    }
  }
}

}  // namespace quorvel
