// Global shortcuts through the desktop portal.
#include "platform/linux/PortalShortcuts.h"

#include <utility>

#include "platform/linux/PortalBus.h"
#include "support/Log.h"

namespace quorvel {

namespace {

constexpr const char* globalShortcuts = "org.freedesktop.portal.GlobalShortcuts";

GVariant* shortcut(const char* id, const char* description, const std::string& trigger) {
  GVariantBuilder details;
  g_variant_builder_init(&details, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&details, "{sv}", "description", g_variant_new_string(description));
  if (!trigger.empty() && g_utf8_validate(trigger.c_str(), -1, nullptr)) {
    g_variant_builder_add(&details, "{sv}", "preferred_trigger", g_variant_new_string(trigger.c_str()));
  }
  return g_variant_new("(s@a{sv})", id, g_variant_builder_end(&details));
}

}  // namespace

std::string shortcutTrigger(int code) {
  switch (code) {
    case keycode::rightAlt: return "Alt_R";
    case keycode::rightCtrl: return "Control_R";
    case keycode::rightSuper: return "Super_R";
    case keycode::menu: return "Menu";
    default: return "";
  }
}

namespace {

// "dictate: Right Alt, note: Right Super" from BindShortcuts' results, and
// whether the dictation shortcut is among them.
std::string describeBound(const Variant& results, bool& dictationBound) {
  dictationBound = false;
  if (!results) return {};
  GVariant* list = g_variant_lookup_value(results.get(), "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
  if (list == nullptr) {
    dictationBound = true;  // nothing said: take the request as granted
    return {};
  }
  std::string words;
  GVariantIter iter;
  g_variant_iter_init(&iter, list);
  const gchar* id = nullptr;
  GVariant* details = nullptr;
  while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &details)) {
    if (std::string(id) == kDictationShortcut) dictationBound = true;
    const gchar* trigger = nullptr;
    if (!g_variant_lookup(details, "trigger_description", "&s", &trigger)) trigger = "no key yet";
    if (!words.empty()) words += ", ";
    words += std::string(id) + ": " + trigger;
    g_variant_unref(details);
  }
  g_variant_unref(list);
  return words;
}

}  // namespace

struct PortalShortcutsLink {
  std::mutex mutex;
  PortalShortcuts* owner = nullptr;
};

PortalShortcuts::PortalShortcuts(Settings settings) : settings_(std::move(settings)) {}

PortalShortcuts::~PortalShortcuts() {
  std::shared_ptr<PortalBus> bus;
  std::shared_ptr<PortalShortcutsLink> link;
  {
    std::scoped_lock lock(mutex_);
    bus = bus_;
    link = link_;
  }
  if (bus) bus->cancel();  // a dialog still open ends the bind now
  if (binder_.joinable()) binder_.join();
  {
    std::scoped_lock lock(mutex_);
    bus = bus_;
    link = link_;
  }
  if (link) {
    std::scoped_lock unlink(link->mutex);
    link->owner = nullptr;
  }
  std::scoped_lock lock(mutex_);
  if (bus_) {
    bus_->unsubscribe(activatedId_);
    bus_->unsubscribe(deactivatedId_);
    bus_->unsubscribe(closedId_);
    if (!session_.empty()) bus_->closeSession(session_);
  }
}

void PortalShortcuts::onUnavailable(std::function<void(const std::string&)> handler) {
  std::scoped_lock lock(mutex_);
  unavailable_ = std::move(handler);
}

bool PortalShortcuts::start(Handler handler) {
  std::scoped_lock lock(mutex_);
  if (failed_) return false;
  handler_ = std::move(handler);
  if (!started_) {
    started_ = true;
    binder_ = std::thread([this] { bind(); });
  }
  return true;
}

void PortalShortcuts::stop() {
  std::scoped_lock lock(mutex_);
  handler_ = nullptr;
}

bool PortalShortcuts::isDown(ShellKey key) {
  switch (key) {
    case ShellKey::dictation: return dictationDown_.load();
    case ShellKey::note: return noteDown_.load();
    case ShellKey::other: return false;
  }
  return false;
}

std::string PortalShortcuts::problem() const {
  std::scoped_lock lock(mutex_);
  return problem_;
}

bool PortalShortcuts::bound() const {
  std::scoped_lock lock(mutex_);
  return bound_;
}

void PortalShortcuts::fail(const std::string& why) {
  std::function<void(const std::string&)> unavailable;
  {
    std::scoped_lock lock(mutex_);
    if (failed_) return;
    failed_ = true;
    bound_ = false;
    problem_ = "the desktop's global shortcuts: " + why;
    unavailable = unavailable_;
  }
  // A key held when the shortcuts went away is let go.
  if (dictationDown_.exchange(false)) activated({}, kDictationShortcut, false);
  if (noteDown_.exchange(false)) activated({}, kNoteShortcut, false);
  logLine("Quorvel: cannot hear the keys through the desktop's global shortcuts: " + why);
  if (unavailable) unavailable(why);
}

void PortalShortcuts::activated(const std::string& session, const std::string& id, bool down) {
  Handler handler;
  {
    std::scoped_lock lock(mutex_);
    if (!session.empty() && session != session_) return;
    handler = handler_;
  }
  KeyEvent event;
  event.down = down;
  event.modifier = true;
  if (id == kDictationShortcut) {
    event.key = ShellKey::dictation;
    if (!session.empty()) dictationDown_.store(down);
  } else if (id == kNoteShortcut) {
    event.key = ShellKey::note;
    if (!session.empty()) noteDown_.store(down);
  } else {
    return;
  }
  if (handler) handler(event);
}

void PortalShortcuts::bind() {
  std::string problem;
  auto bus = PortalBus::connect(settings_.busAddress, problem);
  if (!bus) return fail(problem);
  auto link = std::make_shared<PortalShortcutsLink>();
  link->owner = this;
  {
    std::scoped_lock lock(mutex_);
    bus_ = bus;
    link_ = link;
  }
  if (bus->version(globalShortcuts, std::chrono::seconds(5)) == 0) {
    return fail(portalErrorWords(PortalError::notOffered));
  }
  const std::string sessionToken = bus->newToken();
  auto created = bus->request(
      globalShortcuts, "CreateSession",
      [&](const std::string& handle) {
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(handle.c_str()));
        g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(sessionToken.c_str()));
        return g_variant_new("(@a{sv})", g_variant_builder_end(&options));
      },
      std::chrono::seconds(30));
  if (created.error != PortalError::none) {
    return fail("CreateSession: " + portalErrorWords(created.error) + " (" + created.detail + ")");
  }
  std::string session;
  if (GVariant* value = g_variant_lookup_value(created.results.get(), "session_handle", nullptr)) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)) {
      session = g_variant_get_string(value, nullptr);
    }
    g_variant_unref(value);
  }
  if (session.empty()) session = bus->sessionPath(sessionToken);
  if (!g_variant_is_object_path(session.c_str())) return fail("the portal's session is not an object path");

  const auto onKey = [link](bool down) {
    return [link, down](GVariant* parameters) {
      if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
      const gchar* sessionPath = nullptr;
      const gchar* id = nullptr;
      g_variant_get(parameters, "(&o&st@a{sv})", &sessionPath, &id, nullptr, nullptr);
      std::scoped_lock lock(link->mutex);
      if (link->owner != nullptr) link->owner->activated(sessionPath, id, down);
    };
  };
  const unsigned activatedId = bus->subscribe(globalShortcuts, "Activated", kPortalPath, onKey(true));
  const unsigned deactivatedId = bus->subscribe(globalShortcuts, "Deactivated", kPortalPath, onKey(false));
  const unsigned closedId = bus->subscribe("org.freedesktop.portal.Session", "Closed", session, [link](GVariant*) {
    std::scoped_lock lock(link->mutex);
    if (link->owner != nullptr) link->owner->fail(portalErrorWords(PortalError::closed));
  });
  {
    std::scoped_lock lock(mutex_);
    session_ = session;
    activatedId_ = activatedId;
    deactivatedId_ = deactivatedId;
    closedId_ = closedId;
  }
  auto boundAnswer = bus->request(
      globalShortcuts, "BindShortcuts",
      [&](const std::string& handle) {
        GVariantBuilder shortcuts;
        g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
        g_variant_builder_add_value(&shortcuts,
                                    shortcut(kDictationShortcut, "Hold to dictate", settings_.dictationTrigger));
        g_variant_builder_add_value(&shortcuts,
                                    shortcut(kNoteShortcut, "Tap to open the Brainstorm note", settings_.noteTrigger));
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(handle.c_str()));
        return g_variant_new("(o@a(sa{sv})s@a{sv})", session.c_str(), g_variant_builder_end(&shortcuts), "",
                             g_variant_builder_end(&options));
      },
      settings_.answerWait);
  if (boundAnswer.error != PortalError::none) {
    return fail("BindShortcuts: " + portalErrorWords(boundAnswer.error) + " (" + boundAnswer.detail + ")");
  }
  bool dictationBound = false;
  const std::string words = describeBound(boundAnswer.results, dictationBound);
  if (!dictationBound) return fail("the desktop did not bind the dictation key");
  {
    std::scoped_lock lock(mutex_);
    bound_ = true;
  }
  logLine("Quorvel: hearing the keys through the desktop's global shortcuts" +
          (words.empty() ? std::string() : " (" + words + ")"));
}

}  // namespace quorvel
