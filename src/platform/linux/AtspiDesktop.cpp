// The accessibility desktop through libatspi and the org.a11y.Bus service.
#include "platform/linux/AtspiDesktop.h"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/AtspiElement.h"
#include "platform/linux/X11FrontWindow.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using SteadyClock = std::chrono::steady_clock;

// libatspi holds one connection per process; its events are dispatched from
// this context, which only AtspiDesktop iterates.
GMainContext* atspiContext = nullptr;
bool atspiStarted = false;

constexpr const char* focusEvent = "object:state-changed:focused";

// The session bus's address, without GLib's fallback of launching a bus.
std::optional<std::string> sessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return std::string(address);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime == '/') {
    const std::string path = std::string(runtime) + "/bus";
    if (access(path.c_str(), F_OK) == 0) return "unix:path=" + path;
  }
  return std::nullopt;
}

struct Unref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
using AccessiblePtr = std::unique_ptr<AtspiAccessible, Unref>;

bool hasState(AtspiAccessible* object, AtspiStateType state) {
  AtspiStateSet* states = atspi_accessible_get_state_set(object);
  if (states == nullptr) return false;
  const bool has = atspi_state_set_contains(states, state);
  g_object_unref(states);
  return has;
}

std::vector<AccessiblePtr> childrenOf(AtspiAccessible* object, bool& failed) {
  std::vector<AccessiblePtr> children;
  GError* error = nullptr;
  const int count = atspi_accessible_get_child_count(object, &error);
  if (error != nullptr) {
    g_error_free(error);
    failed = true;
    return children;
  }
  for (int i = 0; i < count && i < 1000; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, &error);
    if (error != nullptr) {
      g_error_free(error);
      failed = true;
      break;
    }
    if (child != nullptr) children.emplace_back(child);
  }
  return children;
}

}  // namespace

AtspiDesktop::AtspiDesktop(FrontWindowPath front) : AtspiDesktop(Waits{}, front) {}

AtspiDesktop::AtspiDesktop(Waits waits, FrontWindowPath front) : waits_(waits), front_(front) {}

AtspiDesktop::~AtspiDesktop() {
  if (listener_ != nullptr) {
    atspi_event_listener_deregister(listener_, focusEvent, nullptr);
    g_object_unref(listener_);
  }
  if (focused_ != nullptr) g_object_unref(focused_);
  if (session_ != nullptr) g_object_unref(session_);
}

GDBusConnection* AtspiDesktop::sessionBus() {
  if (session_ != nullptr && !g_dbus_connection_is_closed(session_)) return session_;
  if (session_ != nullptr) {
    g_object_unref(session_);
    session_ = nullptr;
  }
  auto address = sessionBusAddress();
  if (!address) {
    problem_ = "no session bus";
    return nullptr;
  }
  GError* error = nullptr;
  session_ = g_dbus_connection_new_for_address_sync(
      address->c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (session_ == nullptr) {
    problem_ = std::string("no session bus: ") + (error ? error->message : "unknown error");
    if (error != nullptr) g_error_free(error);
  }
  return session_;
}

std::optional<bool> AtspiDesktop::isEnabledFlag() {
  GDBusConnection* bus = sessionBus();
  if (bus == nullptr) return std::nullopt;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(waits_.bus.count()), nullptr, &error);
  if (reply == nullptr) {
    problem_ = std::string("the accessibility bus does not answer: ") +
               (error ? error->message : "unknown error");
    if (error != nullptr) g_error_free(error);
    return std::nullopt;
  }
  GVariant* boxed = nullptr;
  g_variant_get(reply, "(v)", &boxed);
  std::optional<bool> enabled;
  if (boxed != nullptr && g_variant_is_of_type(boxed, G_VARIANT_TYPE_BOOLEAN)) {
    enabled = g_variant_get_boolean(boxed) != FALSE;
  }
  if (boxed != nullptr) g_variant_unref(boxed);
  g_variant_unref(reply);
  if (!enabled) problem_ = "the accessibility bus gave no IsEnabled setting";
  return enabled;
}

bool AtspiDesktop::startAtspi() {
  if (!atspiStarted) {
    const int result = atspi_init();  // 0: started, 1: already started
    if (result != 0 && result != 1) {
      problem_ = "cannot connect to the accessibility bus";
      return false;
    }
    atspi_set_timeout(static_cast<int>(waits_.call.count()), 0);
    atspiContext = g_main_context_new();
    atspi_set_main_context(atspiContext);
    atspiStarted = true;
  }
  if (listener_ == nullptr) {
    listener_ = atspi_event_listener_new(
        reinterpret_cast<AtspiEventListenerCB>(&AtspiDesktop::onFocus), this, nullptr);
    GError* error = nullptr;
    if (!atspi_event_listener_register(listener_, focusEvent, &error)) {
      // Not fatal: the focus is then found by walking the frontmost application.
      logLine(std::string("Quorvel: no focus events from the accessibility bus: ") +
              (error ? error->message : "unknown error"));
    }
    if (error != nullptr) g_error_free(error);
  }
  return true;
}

void AtspiDesktop::onFocus(AtspiEvent* event, void* self) {
  auto* desktop = static_cast<AtspiDesktop*>(self);
  if (event->detail1 == 1 && event->source != nullptr) {
    if (desktop->focused_ != nullptr) g_object_unref(desktop->focused_);
    desktop->focused_ = static_cast<AtspiAccessible*>(g_object_ref(event->source));
  }
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiDesktop::pumpEvents() {
  if (atspiContext == nullptr) return;
  for (int i = 0; i < 500 && g_main_context_iteration(atspiContext, FALSE); ++i) {
  }
}

bool AtspiDesktop::isTrusted() {
  problem_.clear();
  auto enabled = isEnabledFlag();
  if (!enabled) return false;
  if (!*enabled) {
    problem_ = "accessibility is switched off";
    return false;
  }
  if (!startAtspi()) return false;
  AccessiblePtr desktop(atspi_get_desktop(0));
  GError* error = nullptr;
  if (desktop) atspi_accessible_get_child_count(desktop.get(), &error);
  if (!desktop || error != nullptr) {
    problem_ = std::string("the accessibility registry does not answer") +
               (error ? std::string(": ") + error->message : std::string());
    if (error != nullptr) g_error_free(error);
    return false;
  }
  return true;
}

bool AtspiDesktop::enableAccessibility() {
  GDBusConnection* bus = sessionBus();
  if (bus == nullptr) return false;
  GError* error = nullptr;
  // Starting the accessibility bus when it is not running is wanted here.
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
      g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
      nullptr, G_DBUS_CALL_FLAGS_NONE, 3000, nullptr, &error);
  if (reply == nullptr) {
    logLine(std::string("Quorvel: cannot switch accessibility on: ") +
            (error ? error->message : "unknown error"));
    if (error != nullptr) g_error_free(error);
    return false;
  }
  g_variant_unref(reply);
  return isTrusted();
}

AtspiAccessible* AtspiDesktop::applicationWithPid(pid_t pid) {
  AccessiblePtr desktop(atspi_get_desktop(0));
  if (!desktop || pid <= 0) return nullptr;
  bool failed = false;
  for (auto& app : childrenOf(desktop.get(), failed)) {
    GError* error = nullptr;
    const guint appPid = atspi_accessible_get_process_id(app.get(), &error);
    if (error != nullptr) {
      g_error_free(error);
      continue;
    }
    if (static_cast<pid_t>(appPid) == pid) return app.release();
  }
  return nullptr;
}

AtspiAccessible* AtspiDesktop::applicationWithActiveFrame() {
  AccessiblePtr desktop(atspi_get_desktop(0));
  if (!desktop) return nullptr;
  const auto deadline = SteadyClock::now() + waits_.walk;
  bool failed = false;
  for (auto& app : childrenOf(desktop.get(), failed)) {
    if (SteadyClock::now() > deadline) break;
    bool appFailed = false;
    for (auto& window : childrenOf(app.get(), appFailed)) {
      if (hasState(window.get(), ATSPI_STATE_ACTIVE)) return app.release();
    }
  }
  return nullptr;
}

// Depth first through what is showing, in the active window when one says
// so, bounded in objects and time.
AtspiAccessible* AtspiDesktop::findFocus(AtspiAccessible* application) {
  const auto deadline = SteadyClock::now() + waits_.walk;
  bool failed = false;
  std::vector<AccessiblePtr> windows = childrenOf(application, failed);
  std::vector<AccessiblePtr> stack;
  for (auto& window : windows) {
    if (hasState(window.get(), ATSPI_STATE_ACTIVE)) stack.push_back(std::move(window));
  }
  if (stack.empty()) {
    for (auto& window : windows) {
      if (window) stack.push_back(std::move(window));
    }
  }
  int visited = 0;
  while (!stack.empty() && !failed && visited < waits_.walkNodes &&
         SteadyClock::now() < deadline) {
    AccessiblePtr node = std::move(stack.back());
    stack.pop_back();
    ++visited;
    AtspiStateSet* states = atspi_accessible_get_state_set(node.get());
    if (states == nullptr) continue;
    const bool focused = atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
    const bool showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    const bool huge = atspi_state_set_contains(states, ATSPI_STATE_MANAGES_DESCENDANTS);
    g_object_unref(states);
    if (focused) return node.release();
    if (!showing || huge) continue;
    auto children = childrenOf(node.get(), failed);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(std::move(*it));
  }
  return nullptr;
}

FocusedElementAnswer AtspiDesktop::focusedElement() {
  FocusedElementAnswer answer;
  if (!startAtspi()) {
    answer.errorCode = busError;
    return answer;
  }
  pumpEvents();
  const auto front = frontmostApplication();
  const pid_t frontPid = front ? front->pid : 0;

  if (focused_ != nullptr) {
    // The last object that took the focus, while it still has it and belongs
    // to the application in front.
    GError* error = nullptr;
    const guint pid = atspi_accessible_get_process_id(focused_, &error);
    const bool samePid = error == nullptr && (frontPid == 0 || static_cast<pid_t>(pid) == frontPid);
    if (error != nullptr) g_error_free(error);
    if (samePid && hasState(focused_, ATSPI_STATE_FOCUSED) &&
        !hasState(focused_, ATSPI_STATE_DEFUNCT)) {
      answer.element = std::make_unique<AtspiElement>(focused_);
      return answer;
    }
  }
  AccessiblePtr app(frontPid > 0 ? applicationWithPid(frontPid) : nullptr);
  if (!app) app.reset(applicationWithActiveFrame());
  if (!app) return answer;
  AccessiblePtr found(findFocus(app.get()));
  if (found) answer.element = std::make_unique<AtspiElement>(found.get());
  return answer;
}

std::optional<FrontmostApp> AtspiDesktop::frontmostApplication() {
  if (!triedDisplay_) {
    triedDisplay_ = true;
    std::string ignored;
    if (front_ == FrontWindowPath::x11) display_ = openX11Display(ignored);
  }
  if (display_ && !x11ConnectionLost(display_.get())) {
    if (auto app = x11FrontmostApp(display_.get())) return app;
  }
  // Without X (or without a named window): the application whose window the
  // accessibility tree calls active.
  if (!atspiStarted) return std::nullopt;
  AccessiblePtr app(applicationWithActiveFrame());
  if (!app) return std::nullopt;
  FrontmostApp front;
  GError* error = nullptr;
  if (gchar* name = atspi_accessible_get_name(app.get(), &error)) {
    front.id = name;
    g_free(name);
  }
  if (error != nullptr) g_error_free(error);
  error = nullptr;
  const guint pid = atspi_accessible_get_process_id(app.get(), &error);
  if (error != nullptr) g_error_free(error);
  else front.pid = static_cast<pid_t>(pid);
  if (front.id.empty()) return std::nullopt;
  return front;
}

std::optional<std::string> AtspiDesktop::frontmostApp() {
  auto app = frontmostApplication();
  if (!app) return std::nullopt;
  return app->id;
}

}  // namespace quorvel
