// The X11 clipboard owner and paste chord behind PasterX11.
#include "platform/linux/PasterX11.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "platform/linux/X11Display.h"
#include "support/Log.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace quorvel {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int rightAltKeycode = 108;
constexpr KeyCode vFallbackKeycode = 55;  // where "v" sits on a US keyboard

// One type of a clipboard's contents, as the X server hands it over (32-bit
// items arrive and leave as longs, the way Xlib stores them).
struct Offer {
  Atom target = None;
  Atom type = None;
  int format = 8;
  unsigned long items = 0;
  std::string bytes;
};

struct Request {
  enum class Kind { paste, copy } kind;
  std::string text;
  PasteChord chord = PasteChord::ctrlV;
};

// A large type sent in pieces (the INCR protocol), one per requestor.
struct Transfer {
  Window requestor = None;
  Atom property = None;
  Offer offer;
  size_t sent = 0;
  SteadyClock::time_point lastActivity;
};

size_t itemSize(int format) {
  return format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1;
}

}  // namespace

struct PasterX11::Worker {
  explicit Worker(Settings s) : settings(std::move(s)) {}

  // Set up before the thread starts, read-only afterwards.
  Settings settings;
  X11DisplayPtr display;
  Window window = None;
  size_t maxChunk = 0;
  Atom clipboard = None, targets = None, multiple = None, timestamp = None, saveTargets = None,
       incr = None, utf8 = None, textAtom = None, plain = None, plainUtf8 = None, ourProperty = None,
       timeProperty = None, passwordHint = None, deleteAtom = None, insertSelection = None,
       insertProperty = None;
  std::vector<Atom> markers;

  // Shared with the calling thread.
  mutable std::mutex mutex;
  std::condition_variable idleChanged;
  std::deque<Request> queue;   // guarded by mutex
  bool idle = true;            // guarded by mutex
  bool stopping = false;       // guarded by mutex
  std::string problem;         // guarded by mutex
  std::function<void()> lateFailure;  // guarded by mutex
  int wake[2] = {-1, -1};

  // Worker thread only.
  std::vector<Offer> offered;  // what we serve while we own the clipboard
  bool owning = false;
  Time ownedSince = CurrentTime;
  std::optional<std::vector<Offer>> saved;  // the user's clipboard, until restored
  SteadyClock::time_point pastedAt, restoreAt;
  bool fetched = false;  // the pasted text has been asked for
  std::vector<Transfer> transfers;

  std::thread thread;  // last: joined first

  bool open();
  void run();
  void handle(const Request& request);
  void dispatch(XEvent& event);
  void serve(const XSelectionRequestEvent& request);
  void continueTransfer(const XPropertyEvent& event);
  bool waitFor(const std::function<bool(const XEvent&)>& wanted, SteadyClock::time_point deadline,
               XEvent& found);
  Time serverTime();
  bool own(std::vector<Offer> offers);
  std::vector<Offer> saveClipboard();
  std::optional<Offer> convert(Atom target, SteadyClock::time_point deadline);
  std::optional<Offer> readProperty(Atom property);
  std::vector<Offer> textOffers(const std::string& text, bool withMarkers);
  void sendChordXTest(PasteChord chord);
  void restore();
  bool isText(Atom target) const;
};

bool PasterX11::Worker::open() {
  std::string why;
  display = openX11Display(why);
  int event = 0, error = 0, major = 0, minor = 0;
  if (display && !settings.sendChord && !XTestQueryExtension(display.get(), &event, &error, &major, &minor)) {
    why = "the X server has no XTEST extension";
    display.reset();
  }
  if (!display) {
    std::scoped_lock lock(mutex);
    problem = why;
    logLine("Quorvel: cannot type by paste: " + why);
    return false;
  }
  Display* d = display.get();
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;  // never managed, never mapped, never asks for focus
  attributes.event_mask = PropertyChangeMask;
  window = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                         CWOverrideRedirect | CWEventMask, &attributes);
  auto atom = [&](const char* name) { return XInternAtom(d, name, False); };
  clipboard = atom("CLIPBOARD");
  targets = atom("TARGETS");
  multiple = atom("MULTIPLE");
  timestamp = atom("TIMESTAMP");
  saveTargets = atom("SAVE_TARGETS");
  incr = atom("INCR");
  utf8 = atom("UTF8_STRING");
  textAtom = atom("TEXT");
  plain = atom("text/plain");
  plainUtf8 = atom("text/plain;charset=utf-8");
  ourProperty = atom("QUORVEL_CLIPBOARD");
  timeProperty = atom("QUORVEL_TIME");
  passwordHint = atom("x-kde-passwordManagerHint");
  deleteAtom = atom("DELETE");
  insertSelection = atom("INSERT_SELECTION");
  insertProperty = atom("INSERT_PROPERTY");
  markers = {atom("org.nspasteboard.TransientType"), atom("org.nspasteboard.ConcealedType"),
             atom("org.nspasteboard.AutoGeneratedType")};
  long maxRequest = XExtendedMaxRequestSize(d);
  if (maxRequest == 0) maxRequest = XMaxRequestSize(d);
  // Leave room for the request header; stay well under the server's limit.
  maxChunk = static_cast<size_t>(std::min<long>(maxRequest * 4 - 1024, 1L << 20));
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    display.reset();
    return false;
  }
  XFlush(d);
  return true;
}

bool PasterX11::Worker::isText(Atom target) const {
  return target == utf8 || target == plainUtf8 || target == plain || target == textAtom ||
         target == XA_STRING;
}

// Waits for one event the caller wants, handling every other event meanwhile.
bool PasterX11::Worker::waitFor(const std::function<bool(const XEvent&)>& wanted,
                                SteadyClock::time_point deadline, XEvent& found) {
  Display* d = display.get();
  while (true) {
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (wanted(event)) {
        found = event;
        return true;
      }
      dispatch(event);
    }
    if (x11ConnectionLost(d)) return false;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
  }
}

// The server's time now: the time stamp of a change to our own property.
Time PasterX11::Worker::serverTime() {
  Display* d = display.get();
  XChangeProperty(d, window, timeProperty, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XFlush(d);
  XEvent event;
  const bool got = waitFor(
      [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.window == window &&
               e.xproperty.atom == timeProperty;
      },
      SteadyClock::now() + milliseconds(500), event);
  return got ? event.xproperty.time : CurrentTime;
}

bool PasterX11::Worker::own(std::vector<Offer> offers) {
  Display* d = display.get();
  const Time now = serverTime();
  XSetSelectionOwner(d, clipboard, window, now);
  if (XGetSelectionOwner(d, clipboard) != window) {
    logLine("Quorvel: could not take the clipboard");
    owning = false;
    return false;
  }
  owning = true;
  ownedSince = now;
  offered = std::move(offers);
  return true;
}

std::vector<Offer> PasterX11::Worker::textOffers(const std::string& text, bool withMarkers) {
  std::vector<Offer> offers;
  auto add = [&](Atom target, Atom type, std::string bytes) {
    Offer offer;
    offer.target = target;
    offer.type = type;
    offer.format = 8;
    offer.items = bytes.size();
    offer.bytes = std::move(bytes);
    offers.push_back(std::move(offer));
  };
  add(utf8, utf8, text);
  add(plainUtf8, plainUtf8, text);
  add(plain, plain, text);
  add(textAtom, utf8, text);
  // STRING is Latin-1: offered only when the text fits in it.
  std::string latin1;
  bool fits = true;
  for (size_t i = 0; i < text.size() && fits;) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      latin1.push_back(static_cast<char>(c));
      i += 1;
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      latin1.push_back(static_cast<char>(((c & 0x03) << 6) | (text[i + 1] & 0x3F)));
      i += 2;
    } else {
      fits = false;
    }
  }
  if (fits) add(XA_STRING, XA_STRING, latin1);
  if (withMarkers) {
    add(passwordHint, passwordHint, "secret");
    for (Atom marker : markers) add(marker, marker, "");
  }
  return offers;
}

std::optional<Offer> PasterX11::Worker::readProperty(Atom property) {
  Display* d = display.get();
  Offer offer;
  long offset = 0;  // in 32-bit units, as the protocol counts
  while (true) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, property, offset, 1L << 20, False, AnyPropertyType, &type,
                           &format, &items, &after, &data) != Success) {
      return std::nullopt;
    }
    if (type == None) {
      if (data != nullptr) XFree(data);
      return std::nullopt;
    }
    offer.type = type;
    offer.format = format;
    offer.items += items;
    const size_t bytes = items * itemSize(format);
    if (data != nullptr) {
      offer.bytes.append(reinterpret_cast<char*>(data), bytes);
      XFree(data);
    }
    if (after == 0 || items == 0) break;
    offset += static_cast<long>(items * static_cast<unsigned long>(format) / 32);
    if (offer.bytes.size() > settings.maxSavedBytes) return std::nullopt;
  }
  XDeleteProperty(d, window, property);
  XFlush(d);
  return offer;
}

// One type of the current owner's contents, within its time.
std::optional<Offer> PasterX11::Worker::convert(Atom target, SteadyClock::time_point deadline) {
  Display* d = display.get();
  XDeleteProperty(d, window, ourProperty);
  XConvertSelection(d, clipboard, target, ourProperty, window, CurrentTime);
  XFlush(d);
  const auto answerBy = std::min(deadline, SteadyClock::now() + settings.ownerAnswer);
  XEvent event;
  if (!waitFor([&](const XEvent& e) {
        return e.type == SelectionNotify && e.xselection.requestor == window &&
               e.xselection.selection == clipboard && e.xselection.target == target;
      }, answerBy, event)) {
    return std::nullopt;
  }
  if (event.xselection.property == None) return std::nullopt;
  auto offer = readProperty(ourProperty);
  if (!offer) return std::nullopt;
  offer->target = target;
  if (offer->type != incr) return offer;

  // In pieces: each new value of the property is the next piece; an empty
  // one ends it.
  Offer whole;
  whole.target = target;
  bool first = true;
  while (true) {
    const auto pieceBy = std::min(deadline, SteadyClock::now() + settings.ownerAnswer);
    if (!waitFor([&](const XEvent& e) {
          return e.type == PropertyNotify && e.xproperty.window == window &&
                 e.xproperty.atom == ourProperty && e.xproperty.state == PropertyNewValue;
        }, pieceBy, event)) {
      return std::nullopt;
    }
    auto piece = readProperty(ourProperty);
    if (!piece) continue;  // a stale notice for a property already read
    if (first) {
      whole.type = piece->type;
      whole.format = piece->format;
      first = false;
    }
    if (piece->items == 0) return whole;
    whole.items += piece->items;
    whole.bytes += piece->bytes;
    if (whole.bytes.size() > settings.maxSavedBytes) return std::nullopt;
  }
}

std::vector<Offer> PasterX11::Worker::saveClipboard() {
  Display* d = display.get();
  const Window owner = XGetSelectionOwner(d, clipboard);
  if (owner == None) return {};
  if (owner == window) return owning ? offered : std::vector<Offer>{};
  const auto deadline = SteadyClock::now() + settings.saveBudget;
  auto list = convert(targets, deadline);
  if (!list || list->format != 32) {
    logLine("Quorvel: the clipboard's owner did not answer; its contents can't be given back");
    return {};
  }
  const auto* atoms = reinterpret_cast<const long*>(list->bytes.data());
  std::vector<Offer> saved;
  size_t total = 0;
  for (unsigned long i = 0; i < list->items; ++i) {
    const auto target = static_cast<Atom>(atoms[i]);
    if (target == None || target == targets || target == multiple || target == timestamp ||
        target == saveTargets || target == deleteAtom || target == insertSelection ||
        target == insertProperty) {
      continue;
    }
    if (std::any_of(saved.begin(), saved.end(), [&](const Offer& o) { return o.target == target; })) {
      continue;
    }
    if (SteadyClock::now() > deadline) {
      logLine("Quorvel: the clipboard's owner was too slow; some of its types can't be given back");
      break;
    }
    if (auto offer = convert(target, deadline)) {
      total += offer->bytes.size();
      if (total > settings.maxSavedBytes) break;
      saved.push_back(std::move(*offer));
    }
  }
  return saved;
}

void PasterX11::Worker::sendChordXTest(PasteChord chord) {
  Display* d = display.get();
  char keys[32] = {};
  XQueryKeymap(d, keys);
  const bool altHeld = (keys[rightAltKeycode / 8] & (1 << (rightAltKeycode % 8))) != 0;
  // A held right Alt would turn the chord into Ctrl+Alt+V: let go of it and
  // press it again after, when the user holds it. Decided and announced to
  // the key source before anything is sent (Xlib may flush at any round trip
  // below, and the key source must know both events as ours).
  const bool pressAgain = altHeld && settings.userHoldsRightAlt && settings.userHoldsRightAlt();
  if (altHeld) {
    if (settings.beforeOwnRightAlt) {
      settings.beforeOwnRightAlt(false);
      if (pressAgain) settings.beforeOwnRightAlt(true);
    }
    XTestFakeKeyEvent(d, rightAltKeycode, False, CurrentTime);
  }
  const KeyCode control = XKeysymToKeycode(d, XK_Control_L);
  const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
  KeyCode v = XKeysymToKeycode(d, XK_v);
  if (v == 0) v = vFallbackKeycode;
  std::vector<KeyCode> chordKeys{control};
  if (chord == PasteChord::ctrlShiftV) chordKeys.push_back(shift);
  chordKeys.push_back(v);
  for (KeyCode key : chordKeys) XTestFakeKeyEvent(d, key, True, CurrentTime);
  for (auto it = chordKeys.rbegin(); it != chordKeys.rend(); ++it) {
    XTestFakeKeyEvent(d, *it, False, CurrentTime);
  }
  if (pressAgain) {
    XTestFakeKeyEvent(d, rightAltKeycode, True, CurrentTime);
  }
  XSync(d, False);
}

void PasterX11::Worker::handle(const Request& request) {
  if (request.kind == Request::Kind::copy) {
    saved.reset();  // a copy is the user's own choice: nothing to give back
    own(textOffers(request.text, false));
    return;
  }
  // A paste while an earlier one waits for its restore keeps the clipboard
  // saved then: what is on it now is that earlier dictation. The earlier text
  // stays on offer until its application has fetched it (bounded).
  if (saved && owning) {
    const auto deadline = pastedAt + settings.restoreAfter + settings.fetchGrace;
    Display* d = display.get();
    while (!fetched && owning && SteadyClock::now() < deadline && !x11ConnectionLost(d)) {
      while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        dispatch(event);
      }
      pollfd fd{ConnectionNumber(d), POLLIN, 0};
      poll(&fd, 1, 20);
    }
  }
  std::vector<Offer> user = saved && owning ? *saved : saveClipboard();
  if (!own(textOffers(request.text, true))) {
    if (settings.clipboardRefused) {
      settings.clipboardRefused(request.text, request.chord);
    } else {
      logLine("Quorvel: could not type the dictation (no clipboard); it stays in Copy Last Dictation");
      std::function<void()> told;
      {
        std::scoped_lock lock(mutex);
        told = lateFailure;
      }
      if (told) told();
    }
    return;
  }
  saved = std::move(user);
  pastedAt = SteadyClock::now();
  restoreAt = pastedAt + settings.restoreAfter;
  fetched = false;
  if (!settings.sendChord) {
    sendChordXTest(request.chord);
  } else if (!settings.sendChord(request.chord)) {
    logLine("Quorvel: could not send the paste keys; the dictation stays in Copy Last Dictation");
  }
  // The restore counts from the chord: sending it may have waited (for the
  // desktop's permission dialog), and the window fetches the text only then.
  pastedAt = SteadyClock::now();
  restoreAt = pastedAt + settings.restoreAfter;
}

void PasterX11::Worker::restore() {
  std::vector<Offer> user = std::move(*saved);
  saved.reset();
  // Someone copied something since the paste: theirs is newer than ours.
  if (!owning) return;
  // An empty clipboard before: the dictation simply stays.
  if (user.empty()) return;
  own(std::move(user));
}

void PasterX11::Worker::serve(const XSelectionRequestEvent& request) {
  Display* d = display.get();
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.display = d;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = None;
  const Atom property = request.property == None ? request.target : request.property;
  if (owning && request.selection == clipboard && request.owner == window) {
    if (request.target == targets) {
      std::vector<long> list{static_cast<long>(targets), static_cast<long>(timestamp)};
      for (const Offer& offer : offered) list.push_back(static_cast<long>(offer.target));
      XChangeProperty(d, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(list.data()), static_cast<int>(list.size()));
      reply.xselection.property = property;
    } else if (request.target == timestamp) {
      long time = static_cast<long>(ownedSince);
      XChangeProperty(d, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&time), 1);
      reply.xselection.property = property;
    } else {
      auto found = std::find_if(offered.begin(), offered.end(),
                                [&](const Offer& o) { return o.target == request.target; });
      if (found != offered.end()) {
        if (found->bytes.size() > maxChunk) {
          // Too large for one request: announce the size and send pieces as
          // the requestor deletes each one.
          XSelectInput(d, request.requestor, PropertyChangeMask);
          long size = static_cast<long>(found->bytes.size());
          XChangeProperty(d, request.requestor, property, incr, 32, PropModeReplace,
                          reinterpret_cast<unsigned char*>(&size), 1);
          transfers.push_back({request.requestor, property, *found, 0, SteadyClock::now()});
        } else {
          XChangeProperty(d, request.requestor, property, found->type, found->format,
                          PropModeReplace,
                          reinterpret_cast<const unsigned char*>(found->bytes.data()),
                          static_cast<int>(found->items));
        }
        reply.xselection.property = property;
        if (isText(request.target)) fetched = true;
      }
    }
  }
  XSendEvent(d, request.requestor, False, NoEventMask, &reply);
  XFlush(d);
}

void PasterX11::Worker::continueTransfer(const XPropertyEvent& event) {
  if (event.state != PropertyDelete) return;
  auto it = std::find_if(transfers.begin(), transfers.end(), [&](const Transfer& t) {
    return t.requestor == event.window && t.property == event.atom;
  });
  if (it == transfers.end()) return;
  Display* d = display.get();
  const size_t unit = itemSize(it->offer.format);
  const size_t left = it->offer.bytes.size() - it->sent;
  const size_t chunk = std::min(left, maxChunk / unit * unit);
  XChangeProperty(d, it->requestor, it->property, it->offer.type, it->offer.format, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(it->offer.bytes.data() + it->sent),
                  static_cast<int>(chunk / unit));
  it->sent += chunk;
  it->lastActivity = SteadyClock::now();
  if (chunk == 0) {
    XSelectInput(d, it->requestor, NoEventMask);
    transfers.erase(it);  // the empty piece ended it
  }
  XFlush(d);
}

void PasterX11::Worker::dispatch(XEvent& event) {
  switch (event.type) {
    case SelectionRequest:
      serve(event.xselectionrequest);
      break;
    case SelectionClear:
      if (event.xselectionclear.selection == clipboard) {
        owning = false;
        offered.clear();
      }
      break;
    case PropertyNotify:
      if (event.xproperty.window != window) continueTransfer(event.xproperty);
      break;
    default:
      break;
  }
}

void PasterX11::Worker::run() {
  Display* d = display.get();
  while (true) {
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      dispatch(event);
    }
    std::deque<Request> requests;
    {
      std::scoped_lock lock(mutex);
      if (stopping) return;
      requests.swap(queue);
    }
    for (const Request& request : requests) handle(request);

    const auto now = SteadyClock::now();
    if (saved && now >= restoreAt) {
      // Wait on (bounded) for a slow application to fetch the text first.
      if (!fetched && now < pastedAt + settings.restoreAfter + settings.fetchGrace) {
        restoreAt = now + milliseconds(50);
      } else {
        restore();
      }
    }
    std::erase_if(transfers, [&](const Transfer& t) {
      return SteadyClock::now() - t.lastActivity > std::chrono::seconds(5);
    });
    {
      std::scoped_lock lock(mutex);
      idle = queue.empty() && !saved && transfers.empty();
      if (idle) idleChanged.notify_all();
      if (!queue.empty()) continue;
    }
    if (x11ConnectionLost(d)) {
      std::scoped_lock lock(mutex);
      problem = "lost the connection to the X display";
      idle = true;
      idleChanged.notify_all();
      return;
    }
    int timeout = 1000;
    if (saved) {
      timeout = static_cast<int>(std::clamp<long long>(
          std::chrono::duration_cast<milliseconds>(restoreAt - SteadyClock::now()).count(), 0, 1000));
    }
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wake[0], POLLIN, 0}};
    poll(fds, 2, timeout);
    char drain[64];
    while (read(wake[0], drain, sizeof drain) > 0) {
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      XNoOp(d);
      XFlush(d);
    }
  }
}

PasterX11::PasterX11() : PasterX11(Settings{}) {}

PasterX11::PasterX11(Settings settings) : worker_(std::make_unique<Worker>(std::move(settings))) {
  if (worker_->open()) worker_->thread = std::thread([w = worker_.get()] { w->run(); });
}

PasterX11::~PasterX11() {
  if (worker_->thread.joinable()) {
    {
      std::scoped_lock lock(worker_->mutex);
      worker_->stopping = true;
    }
    const char byte = 1;
    (void)!write(worker_->wake[1], &byte, 1);
    worker_->thread.join();
  }
  if (worker_->display && worker_->window != None) {
    XDestroyWindow(worker_->display.get(), worker_->window);
    XFlush(worker_->display.get());
  }
  for (int fd : worker_->wake) {
    if (fd >= 0) close(fd);
  }
}

bool PasterX11::paste(const std::string& text, PasteChord chord) {
  if (!worker_->thread.joinable()) return false;
  {
    std::scoped_lock lock(worker_->mutex);
    if (!worker_->problem.empty()) return false;
    worker_->queue.push_back({Request::Kind::paste, text, chord});
    worker_->idle = false;
  }
  const char byte = 1;
  (void)!write(worker_->wake[1], &byte, 1);
  return true;
}

bool PasterX11::copy(const std::string& text) {
  if (!worker_->thread.joinable()) return false;
  {
    std::scoped_lock lock(worker_->mutex);
    if (!worker_->problem.empty()) return false;
    worker_->queue.push_back({Request::Kind::copy, text, PasteChord::ctrlV});
    worker_->idle = false;
  }
  const char byte = 1;
  (void)!write(worker_->wake[1], &byte, 1);
  return true;
}

void PasterX11::onLateFailure(std::function<void()> handler) {
  std::scoped_lock lock(worker_->mutex);
  worker_->lateFailure = std::move(handler);
}

std::string PasterX11::problem() const {
  std::scoped_lock lock(worker_->mutex);
  return worker_->problem;
}

bool PasterX11::waitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(worker_->mutex);
  return worker_->idleChanged.wait_for(lock, limit, [&] { return worker_->idle; });
}

}  // namespace quorvel
