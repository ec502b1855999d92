// One X selection (CLIPBOARD) held through a hidden, never-mapped window: the
// protocol side of pasting. It takes the selection with a list of typed
// contents and answers other programs' requests for them (TARGETS, TIMESTAMP,
// each type, large types in pieces by INCR), notices when another program
// takes the selection, and reads every type the current owner offers, each
// request bounded so an owner that never answers costs a wait, never a hang.
//
// Threading: one thread only, the one that owns the connection. Nothing here
// starts a thread; the owner of the connection feeds every event through
// dispatch() (waitFor and serveUntil do it while they wait). Blocking: own()
// waits up to 0.5 s for the server's time, read() up to its budget; nothing
// else waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;
union _XEvent;

namespace quorvel {

// One type of a selection's contents, as the X server hands it over (32-bit
// items arrive and leave as longs, the way Xlib stores them). Atoms are
// Xlib's, kept as their integer type so this header needs no X headers.
struct SelectionData {
  unsigned long target = 0;
  unsigned long type = 0;
  int format = 8;
  unsigned long items = 0;
  std::string bytes;
};

class X11Selection {
 public:
  using Clock = std::chrono::steady_clock;

  struct Limits {
    std::chrono::milliseconds ownerAnswer{400};  // one request to the selection's owner
    std::chrono::milliseconds readBudget{1500};  // reading every type of the contents
    std::size_t maxBytes = 64u << 20;            // larger contents are not read whole
  };

  // Makes the hidden window on `display`, for the selection named `name`.
  // REQUIRES: display outlives this object and is used by one thread.
  X11Selection(_XDisplay* display, const char* name, Limits limits);
  ~X11Selection();
  X11Selection(const X11Selection&) = delete;
  X11Selection& operator=(const X11Selection&) = delete;

  unsigned long atom(const char* name) const;

  // The text types a text is offered as: UTF8_STRING, text/plain (with and
  // without a charset), TEXT, and STRING when the text fits in Latin-1.
  std::vector<SelectionData> textData(const std::string& text) const;
  // One type of the given name and bytes (8-bit items).
  SelectionData data(const char* target, std::string bytes) const;

  // Takes the selection at the server's present time and offers `contents`
  // from then on; false (logged) when the server gave it to someone else.
  bool own(std::vector<SelectionData> contents);
  // Offers other contents while still holding the selection taken by the last
  // own(), stamped with that same time: a program that took the selection
  // since keeps it even if its notice has not been read yet. False when the
  // selection is no longer ours.
  bool reoffer(std::vector<SelectionData> contents);
  // Whether we hold the selection, as far as the events read so far say.
  bool owning() const { return owning_; }
  // Asks the server whether we still hold it (one round trip).
  bool stillOwned();

  // Every type the current owner offers (not the protocol's own TARGETS,
  // MULTIPLE, TIMESTAMP, SAVE_TARGETS, DELETE, INSERT_*), within the read
  // budget; what we offer ourselves when the selection is ours; empty when
  // there is no owner or it does not answer.
  std::vector<SelectionData> read();

  // Whether a text type of our contents has been handed to another program
  // since forgetServedText().
  bool servedText() const { return servedText_; }
  void forgetServedText() { servedText_ = false; }
  // Large types still being sent in pieces; drops those whose requestor has
  // been silent for five seconds.
  bool transferring();

  // Handles one event: requests for our contents, the notice that another
  // program took the selection, the pieces of a large transfer.
  void dispatch(_XEvent& event);
  // Handles every event already queued.
  void dispatchPending();
  // Handles events until wanted() takes one (copied to found) or the deadline
  // passes or the connection is lost.
  bool waitFor(const std::function<bool(const _XEvent&)>& wanted, Clock::time_point deadline, _XEvent& found);
  // Handles events until done() or the deadline or a lost connection.
  void serveUntil(const std::function<bool()>& done, Clock::time_point deadline);

 private:
  // A large type sent in pieces, one per requestor.
  struct Transfer {
    unsigned long requestor = 0;
    unsigned long property = 0;
    SelectionData data;
    std::size_t sent = 0;
    Clock::time_point lastActivity;
  };
  struct Atoms {
    unsigned long selection, targets, multiple, timestamp, saveTargets, incr, utf8, text, plain, plainUtf8,
        readInto, timeProperty, deleteAtom, insertSelection, insertProperty;
  };

  unsigned long serverTime();
  bool takeAt(unsigned long time, std::vector<SelectionData> contents);
  std::optional<SelectionData> convert(unsigned long target, Clock::time_point deadline);
  std::optional<SelectionData> readProperty(unsigned long property);
  void serve(const _XEvent& event);
  void continueTransfer(const _XEvent& event);
  bool isText(unsigned long target) const;

  _XDisplay* display_;
  Limits limits_;
  unsigned long window_ = 0;
  std::size_t maxChunk_ = 0;
  Atoms atoms_{};
  std::vector<SelectionData> offered_;  // what we serve while we own the selection
  bool owning_ = false;
  unsigned long ownedSince_ = 0;        // the server time we took it at (0: unknown)
  bool servedText_ = false;
  std::vector<Transfer> transfers_;
};

}  // namespace quorvel
