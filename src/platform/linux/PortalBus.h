// A connection to the desktop portals (org.freedesktop.portal.Desktop on the
// session bus) and the two patterns every portal call follows: a method whose
// answer comes later as a Response signal on a Request object, and signals
// of a session. GDBus underneath; only the platform's own portal adapters
// include this header.
//
// Threading: the connection runs its own GLib main context on a thread of its
// own; signal handlers run there. Calls may come from any thread and block the
// caller, each bounded by its own time limit.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// How a portal call ended.
enum class PortalError {
  none,
  noBus,       // no session bus to talk to
  notOffered,  // the portal service or this interface is not there
  refused,     // the user said no in the desktop's dialog (response 1)
  failed,      // the portal ended the request otherwise (response 2) or the call failed
  timedOut,    // no answer within the time allowed
  closed,      // the session was closed by the desktop (consent taken back)
};

// "refused in the desktop's dialog", for log lines.
std::string portalErrorWords(PortalError error);

// An owned GVariant reference (nothing when empty).
using Variant = std::shared_ptr<GVariant>;
Variant adoptVariant(GVariant* value);

struct PortalWaiter;

class PortalBus {
 public:
  // address: a D-Bus address, or "" for the session bus. Nothing, with the
  // reason set, when it can't be reached.
  static std::shared_ptr<PortalBus> connect(const std::string& address, std::string& problem);
  ~PortalBus();
  PortalBus(const PortalBus&) = delete;
  PortalBus& operator=(const PortalBus&) = delete;

  // The interface's "version" property; 0 when the portal does not offer the
  // interface (or does not answer within the limit).
  unsigned version(const char* interface, std::chrono::milliseconds limit);
  // Any unsigned property of the portal object, or nothing.
  std::optional<unsigned> unsignedProperty(const char* interface, const char* name, std::chrono::milliseconds limit);

  struct Answer {
    PortalError error = PortalError::none;
    Variant results;     // a{sv}, when the request succeeded
    std::string detail;  // for log lines
  };
  // Calls a method that answers through a Request object. parameters gets the
  // handle token to put into its options and returns the call's (floating)
  // parameters. Waits at most limit for the Response (a dialog may be open
  // meanwhile); a request still open then is closed.
  Answer request(const char* interface, const char* method,
                 const std::function<GVariant*(const std::string& handleToken)>& parameters,
                 std::chrono::milliseconds limit);

  // A plain call whose answer carries nothing we need. parameters is
  // floating and consumed. False, with detail set, on failure.
  // path: another object of the portal (a session), or "" for the portal's own.
  bool call(const char* interface, const char* method, GVariant* parameters, std::string& detail,
            std::chrono::milliseconds limit = std::chrono::seconds(5), const std::string& path = {});
  // Ends a session of ours (its Close), waiting at most 2 s; a session the
  // desktop already ended, or a bus that no longer answers, is no error.
  void closeSession(const std::string& session);

  // Subscribes to a signal of the portal service (on one object path, or
  // every path when path is ""); the handler gets the signal's parameters
  // on the bus thread. The id is for unsubscribe.
  unsigned subscribe(const char* interface, const char* signal, const std::string& path,
                     std::function<void(GVariant* parameters)> handler);
  void unsubscribe(unsigned id);

  // Ends every request still waiting (as timed out) and every later one at
  // once: the owner is going away.
  void cancel();

  // A fresh token for a handle or session path element.
  std::string newToken();
  // "/org/freedesktop/portal/desktop/session/SENDER/TOKEN" for a session token.
  std::string sessionPath(const std::string& token) const;

 private:
  PortalBus() = default;
  // Runs work on the bus thread and waits for it (bounded).
  void onBusThread(const std::function<void()>& work);

  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
  std::string sender_;  // our unique name as it appears in request paths
  std::thread thread_;
  std::mutex waitersMutex_;
  std::vector<std::weak_ptr<PortalWaiter>> waiters_;  // guarded by waitersMutex_
  bool cancelled_ = false;                            // guarded by waitersMutex_
};

}  // namespace quorvel
