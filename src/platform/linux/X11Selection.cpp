// Owning, serving and reading an X selection.
#include "platform/linux/X11Selection.h"

#include <poll.h>

#include <algorithm>

#include "platform/linux/X11Display.h"
#include "support/Log.h"

// Last: X11's macros (None, Bool, Status) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quorvel {
namespace {

using std::chrono::milliseconds;

std::size_t itemSize(int format) { return format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1; }

}  // namespace

X11Selection::X11Selection(Display* display, const char* name, Limits limits)
    : display_(display), limits_(limits) {
  Display* d = display_;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;  // never managed, never mapped, never asks for focus
  attributes.event_mask = PropertyChangeMask;
  window_ = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                          CWOverrideRedirect | CWEventMask, &attributes);
  atoms_.selection = atom(name);
  atoms_.targets = atom("TARGETS");
  atoms_.multiple = atom("MULTIPLE");
  atoms_.timestamp = atom("TIMESTAMP");
  atoms_.saveTargets = atom("SAVE_TARGETS");
  atoms_.incr = atom("INCR");
  atoms_.utf8 = atom("UTF8_STRING");
  atoms_.text = atom("TEXT");
  atoms_.plain = atom("text/plain");
  atoms_.plainUtf8 = atom("text/plain;charset=utf-8");
  atoms_.readInto = atom("QUORVEL_CLIPBOARD");
  atoms_.timeProperty = atom("QUORVEL_TIME");
  atoms_.deleteAtom = atom("DELETE");
  atoms_.insertSelection = atom("INSERT_SELECTION");
  atoms_.insertProperty = atom("INSERT_PROPERTY");
  long maxRequest = XExtendedMaxRequestSize(d);
  if (maxRequest == 0) maxRequest = XMaxRequestSize(d);
  // Leave room for the request header; stay well under the server's limit.
  maxChunk_ = static_cast<std::size_t>(std::min<long>(maxRequest * 4 - 1024, 1L << 20));
  XFlush(d);
}

X11Selection::~X11Selection() {
  if (window_ != None) {
    XDestroyWindow(display_, window_);
    XFlush(display_);
  }
}

unsigned long X11Selection::atom(const char* name) const { return XInternAtom(display_, name, False); }

bool X11Selection::isText(Atom target) const {
  return target == atoms_.utf8 || target == atoms_.plainUtf8 || target == atoms_.plain || target == atoms_.text ||
         target == XA_STRING;
}

SelectionData X11Selection::data(const char* target, std::string bytes) const {
  const Atom name = atom(target);
  SelectionData data{name, name, 8, bytes.size(), std::move(bytes)};
  return data;
}

std::vector<SelectionData> X11Selection::textData(const std::string& text) const {
  std::vector<SelectionData> all;
  auto add = [&](Atom target, Atom type, std::string bytes) {
    all.push_back({target, type, 8, bytes.size(), std::move(bytes)});
  };
  add(atoms_.utf8, atoms_.utf8, text);
  add(atoms_.plainUtf8, atoms_.plainUtf8, text);
  add(atoms_.plain, atoms_.plain, text);
  add(atoms_.text, atoms_.utf8, text);
  // STRING is Latin-1: offered only when the text fits in it.
  std::string latin1;
  bool fits = true;
  for (std::size_t i = 0; i < text.size() && fits;) {
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
  return all;
}

void X11Selection::dispatchPending() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    dispatch(event);
  }
}

bool X11Selection::waitFor(const std::function<bool(const XEvent&)>& wanted, Clock::time_point deadline,
                           XEvent& found) {
  Display* d = display_;
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
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
  }
}

void X11Selection::serveUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  Display* d = display_;
  while (!done() && Clock::now() < deadline && !x11ConnectionLost(d)) {
    dispatchPending();
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, 20);
  }
}

// The server's time now: the time stamp of a change to our own property.
Time X11Selection::serverTime() {
  Display* d = display_;
  XChangeProperty(d, window_, atoms_.timeProperty, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XFlush(d);
  XEvent event;
  const bool got = waitFor(
      [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.window == window_ && e.xproperty.atom == atoms_.timeProperty;
      },
      Clock::now() + milliseconds(500), event);
  return got ? event.xproperty.time : CurrentTime;
}

bool X11Selection::takeAt(Time time, std::vector<SelectionData> contents) {
  XSetSelectionOwner(display_, atoms_.selection, window_, time);
  if (XGetSelectionOwner(display_, atoms_.selection) != window_) {
    owning_ = false;
    offered_.clear();
    return false;
  }
  owning_ = true;
  ownedSince_ = time;
  offered_ = std::move(contents);
  return true;
}

bool X11Selection::own(std::vector<SelectionData> contents) {
  if (takeAt(serverTime(), std::move(contents))) return true;
  logLine("Quorvel: could not take the clipboard");
  return false;
}

bool X11Selection::reoffer(std::vector<SelectionData> contents) {
  // Taking it again at the time we took it fails on the server's side when
  // anyone has taken it since, whatever this connection has read so far.
  if (!owning_) return false;
  return takeAt(ownedSince_, std::move(contents));
}

bool X11Selection::stillOwned() {
  if (owning_ && XGetSelectionOwner(display_, atoms_.selection) != window_) {
    owning_ = false;
    offered_.clear();
  }
  return owning_;
}

std::optional<SelectionData> X11Selection::readProperty(Atom property) {
  Display* d = display_;
  SelectionData data;
  long offset = 0;  // in 32-bit units, as the protocol counts
  while (true) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* bytes = nullptr;
    if (XGetWindowProperty(d, window_, property, offset, 1L << 20, False, AnyPropertyType, &type, &format, &items,
                           &after, &bytes) != Success) {
      return std::nullopt;
    }
    if (type == None) {
      if (bytes != nullptr) XFree(bytes);
      return std::nullopt;
    }
    data.type = type;
    data.format = format;
    data.items += items;
    const std::size_t size = items * itemSize(format);
    if (bytes != nullptr) {
      data.bytes.append(reinterpret_cast<char*>(bytes), size);
      XFree(bytes);
    }
    if (after == 0 || items == 0) break;
    offset += static_cast<long>(items * static_cast<unsigned long>(format) / 32);
    if (data.bytes.size() > limits_.maxBytes) return std::nullopt;
  }
  XDeleteProperty(d, window_, property);
  XFlush(d);
  return data;
}

// One type of the current owner's contents, within its time.
std::optional<SelectionData> X11Selection::convert(Atom target, Clock::time_point deadline) {
  Display* d = display_;
  const Atom into = atoms_.readInto;
  XDeleteProperty(d, window_, into);
  XConvertSelection(d, atoms_.selection, target, into, window_, CurrentTime);
  XFlush(d);
  const auto answerBy = std::min(deadline, Clock::now() + limits_.ownerAnswer);
  XEvent event;
  if (!waitFor(
          [&](const XEvent& e) {
            return e.type == SelectionNotify && e.xselection.requestor == window_ &&
                   e.xselection.selection == atoms_.selection && e.xselection.target == target;
          },
          answerBy, event)) {
    return std::nullopt;
  }
  if (event.xselection.property == None) return std::nullopt;
  auto data = readProperty(into);
  if (!data) return std::nullopt;
  data->target = target;
  if (data->type != atoms_.incr) return data;

  // In pieces: each new value of the property is the next piece; an empty
  // one ends it.
  SelectionData whole;
  whole.target = target;
  bool first = true;
  while (true) {
    const auto pieceBy = std::min(deadline, Clock::now() + limits_.ownerAnswer);
    if (!waitFor(
            [&](const XEvent& e) {
              return e.type == PropertyNotify && e.xproperty.window == window_ && e.xproperty.atom == into &&
                     e.xproperty.state == PropertyNewValue;
            },
            pieceBy, event)) {
      return std::nullopt;
    }
    auto piece = readProperty(into);
    if (!piece) continue;  // a stale notice for a property already read
    if (first) {
      whole.type = piece->type;
      whole.format = piece->format;
      first = false;
    }
    if (piece->items == 0) return whole;
    whole.items += piece->items;
    whole.bytes += piece->bytes;
    if (whole.bytes.size() > limits_.maxBytes) return std::nullopt;
  }
}

std::vector<SelectionData> X11Selection::read() {
  const Window owner = XGetSelectionOwner(display_, atoms_.selection);
  if (owner == None) return {};
  if (owner == window_) return owning_ ? offered_ : std::vector<SelectionData>{};
  const auto deadline = Clock::now() + limits_.readBudget;
  auto list = convert(atoms_.targets, deadline);
  if (!list || list->format != 32) {
    logLine("Quorvel: the clipboard's owner did not answer; its contents can't be given back");
    return {};
  }
  const auto* targets = reinterpret_cast<const long*>(list->bytes.data());
  std::vector<SelectionData> contents;
  std::size_t total = 0;
  for (unsigned long i = 0; i < list->items; ++i) {
    const auto target = static_cast<Atom>(targets[i]);
    if (target == None || target == atoms_.targets || target == atoms_.multiple || target == atoms_.timestamp ||
        target == atoms_.saveTargets || target == atoms_.deleteAtom || target == atoms_.insertSelection ||
        target == atoms_.insertProperty) {
      continue;
    }
    if (std::any_of(contents.begin(), contents.end(), [&](const SelectionData& o) { return o.target == target; })) {
      continue;
    }
    if (Clock::now() > deadline) {
      logLine("Quorvel: the clipboard's owner was too slow; some of its types can't be given back");
      break;
    }
    if (auto data = convert(target, deadline)) {
      total += data->bytes.size();
      if (total > limits_.maxBytes) break;
      contents.push_back(std::move(*data));
    }
  }
  return contents;
}

void X11Selection::serve(const XEvent& event) {
  const XSelectionRequestEvent& request = event.xselectionrequest;
  Display* d = display_;
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.display = d;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = None;
  const Atom property = request.property == None ? request.target : request.property;
  if (owning_ && request.selection == atoms_.selection && request.owner == window_) {
    if (request.target == atoms_.targets) {
      std::vector<long> list{static_cast<long>(atoms_.targets), static_cast<long>(atoms_.timestamp)};
      for (const SelectionData& offer : offered_) list.push_back(static_cast<long>(offer.target));
      XChangeProperty(d, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(list.data()), static_cast<int>(list.size()));
      reply.xselection.property = property;
    } else if (request.target == atoms_.timestamp) {
      long time = static_cast<long>(ownedSince_);
      XChangeProperty(d, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&time), 1);
      reply.xselection.property = property;
    } else {
      auto found = std::find_if(offered_.begin(), offered_.end(),
                                [&](const SelectionData& o) { return o.target == request.target; });
      if (found != offered_.end()) {
        if (found->bytes.size() > maxChunk_) {
          // Too large for one request: announce the size and send pieces as
          // the requestor deletes each one.
          XSelectInput(d, request.requestor, PropertyChangeMask);
          long size = static_cast<long>(found->bytes.size());
          XChangeProperty(d, request.requestor, property, atoms_.incr, 32, PropModeReplace,
                          reinterpret_cast<unsigned char*>(&size), 1);
          transfers_.push_back({request.requestor, property, *found, 0, Clock::now()});
        } else {
          XChangeProperty(d, request.requestor, property, found->type, found->format, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(found->bytes.data()),
                          static_cast<int>(found->items));
        }
        reply.xselection.property = property;
        if (isText(request.target)) servedText_ = true;
      }
    }
  }
  XSendEvent(d, request.requestor, False, NoEventMask, &reply);
  XFlush(d);
}

void X11Selection::continueTransfer(const XEvent& event) {
  const XPropertyEvent& change = event.xproperty;
  if (change.state != PropertyDelete) return;
  auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
    return t.requestor == change.window && t.property == change.atom;
  });
  if (it == transfers_.end()) return;
  Display* d = display_;
  const std::size_t unit = itemSize(it->data.format);
  const std::size_t left = it->data.bytes.size() - it->sent;
  const std::size_t chunk = std::min(left, maxChunk_ / unit * unit);
  XChangeProperty(d, it->requestor, it->property, it->data.type, it->data.format, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(it->data.bytes.data() + it->sent),
                  static_cast<int>(chunk / unit));
  it->sent += chunk;
  it->lastActivity = Clock::now();
  if (chunk == 0) {
    XSelectInput(d, it->requestor, NoEventMask);
    transfers_.erase(it);  // the empty piece ended it
  }
  XFlush(d);
}

bool X11Selection::transferring() {
  std::erase_if(transfers_, [&](const Transfer& t) { return Clock::now() - t.lastActivity > std::chrono::seconds(5); });
  return !transfers_.empty();
}

void X11Selection::dispatch(XEvent& event) {
  switch (event.type) {
    case SelectionRequest:
      serve(event);
      break;
    case SelectionClear:
      if (event.xselectionclear.selection == atoms_.selection) {
        owning_ = false;
        offered_.clear();
      }
      break;
    case PropertyNotify:
      if (event.xproperty.window != window_) continueTransfer(event);
      break;
    default:
      break;
  }
}

}  // namespace quorvel
