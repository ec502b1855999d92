// A remote desktop portal session with a keyboard, kept across launches.
#include "platform/linux/PortalTyping.h"

#include <utility>

#include "platform/linux/PortalBus.h"
#include "support/Files.h"
#include "support/Json.h"
#include "support/Log.h"

namespace quorvel {

namespace {

constexpr const char* remoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr unsigned keyboardDevice = 1;
constexpr unsigned persistUntilRevoked = 2;
constexpr unsigned firstVersionThatPersists = 2;

GVariant* vardict(std::initializer_list<std::pair<const char*, GVariant*>> entries) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  for (const auto& [key, value] : entries) g_variant_builder_add(&builder, "{sv}", key, value);
  return g_variant_builder_end(&builder);
}

// A token as the portal may have handed it: printable ASCII of sane length.
bool plausibleToken(const std::string& token) {
  if (token.empty() || token.size() > 1024) return false;
  for (const char c : token) {
    if (c < 0x21 || c > 0x7e) return false;
  }
  return true;
}

std::string stringResult(const Variant& results, const char* key) {
  if (!results) return {};
  GVariant* value = g_variant_lookup_value(results.get(), key, nullptr);
  if (value == nullptr) return {};
  std::string text;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)) {
    text = g_variant_get_string(value, nullptr);
  }
  g_variant_unref(value);
  return text;
}

std::optional<unsigned> unsignedResult(const Variant& results, const char* key) {
  if (!results) return std::nullopt;
  GVariant* value = g_variant_lookup_value(results.get(), key, G_VARIANT_TYPE_UINT32);
  if (value == nullptr) return std::nullopt;
  const unsigned number = g_variant_get_uint32(value);
  g_variant_unref(value);
  return number;
}

}  // namespace

// Lets the bus thread's Closed handler reach the owner while it exists.
struct PortalTypingLink {
  std::mutex mutex;
  PortalTyping* owner = nullptr;
};

std::filesystem::path PortalTyping::defaultStateFile() { return xdgStateHome() / "quorvel" / "remote-desktop.json"; }

PortalTyping::PortalTyping(Settings settings) : settings_(std::move(settings)) {}

PortalTyping::~PortalTyping() {
  std::shared_ptr<PortalBus> bus;
  {
    std::scoped_lock lock(mutex_);
    bus = bus_;
  }
  if (bus) bus->cancel();  // an ask waiting for the user ends now
  std::scoped_lock ask(askMutex_);
  // The Closed handler holds the link while it takes mutex_: never the
  // other way round.
  std::shared_ptr<PortalTypingLink> link;
  {
    std::scoped_lock lock(mutex_);
    link = link_;
  }
  if (link) {
    std::scoped_lock unlink(link->mutex);
    link->owner = nullptr;
  }
  std::scoped_lock lock(mutex_);
  if (bus_) {
    bus_->unsubscribe(closedSubscription_);
    if (!session_.empty()) bus_->closeSession(session_);
  }
}

void PortalTyping::cancel() {
  std::shared_ptr<PortalBus> bus;
  {
    std::scoped_lock lock(mutex_);
    bus = bus_;
    cancelled_ = true;
  }
  if (bus) bus->cancel();
}

PortalTyping::Kept PortalTyping::readKept() const {
  Kept kept;
  const auto text = readWholeFile(settings_.stateFile);
  if (!text) return kept;
  const auto json = parseJson(*text);
  if (!json || !json->is_object()) return kept;
  kept.allowed = boolMember(*json, "allowed").value_or(false);
  kept.refused = boolMember(*json, "refused").value_or(false);
  if (const auto token = stringMember(*json, "restore_token"); token && plausibleToken(*token)) {
    kept.restoreToken = *token;
  }
  return kept;
}

void PortalTyping::keep(const Kept& kept) {
  Json json = Json::object();
  if (kept.allowed) json["allowed"] = true;
  if (kept.refused) json["refused"] = true;
  if (!kept.restoreToken.empty()) json["restore_token"] = kept.restoreToken;
  const auto folder = settings_.stateFile.parent_path();
  if (!createFolders(folder)) {
    logLine("Quorvel: could not keep the typing permission: cannot create " + folder.string());
    return;
  }
  if (const Status written = writePrivateFileAtomically(settings_.stateFile, compactJson(json) + "\n"); !written) {
    logLine("Quorvel: could not keep the typing permission: " + written.error());
  }
}

bool PortalTyping::allowedBefore() const { return readKept().allowed; }

bool PortalTyping::refusedBefore() const { return readKept().refused; }

TypingConsent PortalTyping::consent() const {
  std::scoped_lock lock(mutex_);
  return consent_;
}

std::string PortalTyping::problem() const {
  std::scoped_lock lock(mutex_);
  return problem_;
}

TypingConsent PortalTyping::ask() {
  std::scoped_lock ask(askMutex_);
  {
    std::scoped_lock lock(mutex_);
    if (consent_ == TypingConsent::given) return consent_;
  }
  const Kept kept = readKept();
  const TypingConsent result = startSession(kept);
  std::scoped_lock lock(mutex_);
  consent_ = result;
  return result;
}

TypingConsent PortalTyping::startSession(const Kept& kept) {
  const auto fail = [this](TypingConsent consent, const std::string& why) {
    std::scoped_lock lock(mutex_);
    problem_ = why;
    logLine("Quorvel: cannot type through the desktop's remote desktop portal: " + why);
    return consent;
  };
  std::shared_ptr<PortalBus> bus;
  {
    std::scoped_lock lock(mutex_);
    if (cancelled_) return TypingConsent::unavailable;
    if (!bus_) {
      std::string problem;
      bus_ = PortalBus::connect(settings_.busAddress, problem);
      if (!bus_) {
        problem_ = problem;
        return TypingConsent::unavailable;
      }
    }
    bus = bus_;
  }
  const unsigned version = bus->version(remoteDesktop, std::chrono::seconds(5));
  if (version == 0) return fail(TypingConsent::unavailable, portalErrorWords(PortalError::notOffered));
  if (const auto types = bus->unsignedProperty(remoteDesktop, "AvailableDeviceTypes", std::chrono::seconds(5));
      types && (*types & keyboardDevice) == 0) {
    return fail(TypingConsent::unavailable, "the desktop offers no keyboard through it");
  }

  const std::string sessionToken = bus->newToken();
  auto created = bus->request(
      remoteDesktop, "CreateSession",
      [&](const std::string& handle) {
        return g_variant_new("(@a{sv})", vardict({{"handle_token", g_variant_new_string(handle.c_str())},
                                                  {"session_handle_token", g_variant_new_string(sessionToken.c_str())}}));
      },
      std::chrono::seconds(30));
  if (created.error != PortalError::none) {
    return fail(TypingConsent::unavailable, "CreateSession: " + portalErrorWords(created.error) + " (" + created.detail + ")");
  }
  std::string session = stringResult(created.results, "session_handle");
  if (session.empty()) session = bus->sessionPath(sessionToken);
  if (!g_variant_is_object_path(session.c_str())) {
    return fail(TypingConsent::unavailable, "the portal named its session \"" + session + "\", not an object path");
  }

  const bool persists = version >= firstVersionThatPersists;
  auto selected = bus->request(
      remoteDesktop, "SelectDevices",
      [&](const std::string& handle) {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&builder, "{sv}", "handle_token", g_variant_new_string(handle.c_str()));
        g_variant_builder_add(&builder, "{sv}", "types", g_variant_new_uint32(keyboardDevice));
        if (persists) {
          g_variant_builder_add(&builder, "{sv}", "persist_mode", g_variant_new_uint32(persistUntilRevoked));
          if (!kept.restoreToken.empty()) {
            g_variant_builder_add(&builder, "{sv}", "restore_token", g_variant_new_string(kept.restoreToken.c_str()));
          }
        }
        return g_variant_new("(o@a{sv})", session.c_str(), g_variant_builder_end(&builder));
      },
      std::chrono::seconds(30));
  if (selected.error != PortalError::none) {
    return fail(TypingConsent::unavailable,
                "SelectDevices: " + portalErrorWords(selected.error) + " (" + selected.detail + ")");
  }

  // Listening for the end of the session before it starts.
  auto link = std::make_shared<PortalTypingLink>();
  link->owner = this;
  const unsigned closedId = bus->subscribe("org.freedesktop.portal.Session", "Closed", session, [link](GVariant*) {
    std::scoped_lock lock(link->mutex);
    if (link->owner != nullptr) link->owner->closed();
  });
  auto started = bus->request(
      remoteDesktop, "Start",
      [&](const std::string& handle) {
        return g_variant_new("(os@a{sv})", session.c_str(), "",
                             vardict({{"handle_token", g_variant_new_string(handle.c_str())}}));
      },
      settings_.answerWait);
  const auto devices = unsignedResult(started.results, "devices");
  if (started.error == PortalError::none && devices && (*devices & keyboardDevice) == 0) {
    started.error = PortalError::refused;
    started.detail = "the keyboard was not chosen";
  }
  if (started.error != PortalError::none) {
    bus->unsubscribe(closedId);
    bus->closeSession(session);
    if (started.error == PortalError::refused) {
      Kept refused;
      refused.refused = true;
      keep(refused);
      return fail(TypingConsent::refused, portalErrorWords(started.error));
    }
    return fail(TypingConsent::unavailable, "Start: " + portalErrorWords(started.error) + " (" + started.detail + ")");
  }
  Kept allowed;
  allowed.allowed = true;
  const std::string token = stringResult(started.results, "restore_token");
  if (plausibleToken(token)) allowed.restoreToken = token;
  keep(allowed);
  std::shared_ptr<PortalTypingLink> previous;
  unsigned previousSubscription = 0;
  {
    std::scoped_lock lock(mutex_);
    previous = std::exchange(link_, link);
    previousSubscription = std::exchange(closedSubscription_, closedId);
    session_ = session;
    problem_.clear();
  }
  if (previous) {
    std::scoped_lock unlink(previous->mutex);
    previous->owner = nullptr;
  }
  bus->unsubscribe(previousSubscription);
  logLine(std::string("Quorvel: typing through the desktop's remote desktop portal (") +
          (!kept.restoreToken.empty() ? "the kept permission was offered" : "allowed in the desktop's dialog") +
          (allowed.restoreToken.empty() ? "; this desktop keeps no permission across launches" : "") + ")");
  return TypingConsent::given;
}

void PortalTyping::closed() {
  std::scoped_lock lock(mutex_);
  if (consent_ != TypingConsent::given) return;
  consent_ = TypingConsent::revoked;
  session_.clear();
  problem_ = portalErrorWords(PortalError::closed);
  logLine("Quorvel: the desktop ended the typing permission (its remote desktop session closed)");
}

bool PortalTyping::write(const std::vector<input_event>& events) {
  TypingConsent now = consent();
  if (now == TypingConsent::notAsked && !refusedBefore()) now = ask();
  if (now != TypingConsent::given) return false;
  std::shared_ptr<PortalBus> bus;
  std::string session;
  {
    std::scoped_lock lock(mutex_);
    bus = bus_;
    session = session_;
  }
  if (!bus || session.empty()) return false;
  for (const input_event& event : events) {
    if (event.type != EV_KEY || (event.value != 0 && event.value != 1)) continue;
    std::string detail;
    GVariant* parameters = g_variant_new("(o@a{sv}iu)", session.c_str(), vardict({}), static_cast<gint32>(event.code),
                                         static_cast<guint32>(event.value));
    if (!bus->call(remoteDesktop, "NotifyKeyboardKeycode", parameters, detail, std::chrono::seconds(2))) {
      std::scoped_lock lock(mutex_);
      if (consent_ == TypingConsent::given) {
        consent_ = TypingConsent::revoked;
        problem_ = "the portal refused a key (" + detail + ")";
        logLine("Quorvel: the desktop's remote desktop portal refused a key: " + detail);
      }
      return false;
    }
  }
  return true;
}

}  // namespace quorvel
