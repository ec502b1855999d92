// A multi-type clipboard owner on its own X connection and thread.
#include "ClipboardOwner.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quorvel::testing {

namespace {
// Pieces small enough that anything over a quarter megabyte goes in several.
constexpr size_t pieceSize = 256 * 1024;
}  // namespace

struct ClipboardOwner::State {
  Display* display = nullptr;
  Window window = 0;
  Atom clipboard = 0, targets = 0, incr = 0;
  std::map<Atom, std::string> types;
  struct Transfer {
    Window requestor;
    Atom property, type;
    size_t sent;
  };
  std::vector<Transfer> transfers;
  bool owning = false;
  std::atomic<bool> stop = false;
  int wake[2] = {-1, -1};
  std::thread thread;

  void serve(const XSelectionRequestEvent& request) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = 0;
    const Atom property = request.property ? request.property : request.target;
    if (request.target == targets) {
      std::vector<long> list{static_cast<long>(targets)};
      for (const auto& [atom, bytes] : types) list.push_back(static_cast<long>(atom));
      XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(list.data()), static_cast<int>(list.size()));
      reply.xselection.property = property;
    } else if (auto found = types.find(request.target); found != types.end()) {
      if (found->second.size() > pieceSize) {
        XSelectInput(display, request.requestor, PropertyChangeMask);
        long size = static_cast<long>(found->second.size());
        XChangeProperty(display, request.requestor, property, incr, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&size), 1);
        transfers.push_back({request.requestor, property, request.target, 0});
      } else {
        XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(found->second.data()),
                        static_cast<int>(found->second.size()));
      }
      reply.xselection.property = property;
    }
    XSendEvent(display, request.requestor, False, NoEventMask, &reply);
    XFlush(display);
  }

  void next(const XPropertyEvent& event) {
    if (event.state != PropertyDelete) return;
    auto it = std::find_if(transfers.begin(), transfers.end(), [&](const Transfer& t) {
      return t.requestor == event.window && t.property == event.atom;
    });
    if (it == transfers.end()) return;
    const std::string& bytes = types[it->type];
    const size_t chunk = std::min(pieceSize, bytes.size() - it->sent);
    XChangeProperty(display, it->requestor, it->property, it->type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bytes.data() + it->sent),
                    static_cast<int>(chunk));
    it->sent += chunk;
    if (chunk == 0) transfers.erase(it);
    XFlush(display);
  }

  void run() {
    while (!stop) {
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionRequest) serve(event.xselectionrequest);
        if (event.type == PropertyNotify) next(event.xproperty);
        if (event.type == SelectionClear) owning = false;
      }
      pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wake[0], POLLIN, 0}};
      poll(fds, 2, 200);
    }
  }
};

ClipboardOwner::ClipboardOwner(std::map<std::string, std::string> types)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.display = XOpenDisplay(nullptr);
  if (s.display == nullptr || pipe(s.wake) != 0) return;
  s.window = XCreateSimpleWindow(s.display, DefaultRootWindow(s.display), 0, 0, 1, 1, 0, 0, 0);
  s.clipboard = XInternAtom(s.display, "CLIPBOARD", False);
  s.targets = XInternAtom(s.display, "TARGETS", False);
  s.incr = XInternAtom(s.display, "INCR", False);
  for (auto& [name, bytes] : types) s.types[XInternAtom(s.display, name.c_str(), False)] = bytes;
  XSetSelectionOwner(s.display, s.clipboard, s.window, CurrentTime);
  s.owning = XGetSelectionOwner(s.display, s.clipboard) == s.window;
  XSync(s.display, False);
  s.thread = std::thread([&s] { s.run(); });
}

ClipboardOwner::~ClipboardOwner() {
  State& s = *state_;
  if (s.thread.joinable()) {
    s.stop = true;
    (void)!write(s.wake[1], "x", 1);
    s.thread.join();
  }
  for (int fd : s.wake) {
    if (fd >= 0) close(fd);
  }
  if (s.display != nullptr) XCloseDisplay(s.display);
}

bool ClipboardOwner::ok() const { return state_->owning; }

}  // namespace quorvel::testing
