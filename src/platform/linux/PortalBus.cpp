// Portal calls over GDBus, on a main context of our own.
#include "platform/linux/PortalBus.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>

namespace quorvel {

struct PortalWaiter {
  std::mutex mutex;
  std::condition_variable done;
  bool answered = false;
  bool cancelled = false;
  unsigned response = 2;
  Variant results;
};

namespace {

constexpr const char* requestInterface = "org.freedesktop.portal.Request";

struct Handler {
  std::function<void(GVariant*)> call;
};

void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
              gpointer data) {
  static_cast<Handler*>(data)->call(parameters);
}

void freeHandler(gpointer data) { delete static_cast<Handler*>(data); }

// Errors that mean "nobody offers this here" rather than "it went wrong".
bool notOffered(const GError* error) {
  if (error == nullptr || error->domain != G_DBUS_ERROR) return false;
  switch (error->code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_UNKNOWN_METHOD:
    case G_DBUS_ERROR_UNKNOWN_INTERFACE:
    case G_DBUS_ERROR_UNKNOWN_OBJECT:
    case G_DBUS_ERROR_UNKNOWN_PROPERTY:
    case G_DBUS_ERROR_INVALID_ARGS:  // a Properties.Get for an interface the object lacks
      return true;
    default:
      return false;
  }
}

int milliseconds(std::chrono::milliseconds limit) {
  return static_cast<int>(std::clamp<long long>(limit.count(), 1, 600000));
}

}  // namespace

std::string portalErrorWords(PortalError error) {
  switch (error) {
    case PortalError::none: return "no problem";
    case PortalError::noBus: return "there is no session bus";
    case PortalError::notOffered: return "the desktop does not offer it";
    case PortalError::refused: return "it was not allowed in the desktop's dialog";
    case PortalError::failed: return "the desktop's portal reported a failure";
    case PortalError::timedOut: return "the desktop's portal did not answer in time";
    case PortalError::closed: return "the desktop ended the session";
  }
  return "the desktop's portal reported a failure";
}

Variant adoptVariant(GVariant* value) {
  if (value == nullptr) return {};
  return Variant(g_variant_ref_sink(value), [](GVariant* v) { g_variant_unref(v); });
}

std::shared_ptr<PortalBus> PortalBus::connect(const std::string& address, std::string& problem) {
  GError* error = nullptr;
  gchar* busAddress = address.empty() ? g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error)
                                      : g_strdup(address.c_str());
  if (busAddress == nullptr) {
    problem = std::string("no session bus: ") + (error != nullptr ? error->message : "unknown error");
    if (error != nullptr) g_error_free(error);
    return nullptr;
  }
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      busAddress,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(busAddress);
  if (connection == nullptr) {
    problem = std::string("no session bus: ") + (error != nullptr ? error->message : "unknown error");
    if (error != nullptr) g_error_free(error);
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  std::shared_ptr<PortalBus> bus(new PortalBus());
  bus->connection_ = connection;
  // ":1.42" appears in request and session paths as "1_42".
  std::string sender = g_dbus_connection_get_unique_name(connection);
  if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  bus->sender_ = sender;
  bus->context_ = g_main_context_new();
  bus->loop_ = g_main_loop_new(bus->context_, FALSE);
  bus->thread_ = std::thread([context = bus->context_, loop = bus->loop_] {
    g_main_context_push_thread_default(context);
    g_main_loop_run(loop);
    g_main_context_pop_thread_default(context);
  });
  problem.clear();
  return bus;
}

PortalBus::~PortalBus() {
  if (connection_ != nullptr) (void)g_dbus_connection_close_sync(connection_, nullptr, nullptr);
  if (loop_ != nullptr) {
    // A quit before the thread's loop has begun to run would be forgotten
    // when it begins, and the join below would wait for ever: the loop is
    // also told through its own context, where it hears it once running.
    g_main_loop_quit(loop_);
    GSource* stop = g_idle_source_new();
    g_source_set_callback(
        stop,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(stop, context_);
    g_source_unref(stop);
  }
  if (thread_.joinable()) thread_.join();
  if (connection_ != nullptr) g_object_unref(connection_);
  if (loop_ != nullptr) g_main_loop_unref(loop_);
  if (context_ != nullptr) {
    // Handlers' destroy notifications still queued run here, not later.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_unref(context_);
  }
}

void PortalBus::onBusThread(const std::function<void()>& work) {
  struct Job {
    std::function<void()> work;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  auto job = std::make_shared<Job>();
  job->work = work;
  auto* held = new std::shared_ptr<Job>(job);
  g_main_context_invoke_full(
      context_, G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto& job = *static_cast<std::shared_ptr<Job>*>(data);
        job->work();
        {
          std::scoped_lock lock(job->mutex);
          job->finished = true;
        }
        job->done.notify_all();
        return G_SOURCE_REMOVE;
      },
      held, [](gpointer data) { delete static_cast<std::shared_ptr<Job>*>(data); });
  std::unique_lock lock(job->mutex);
  (void)job->done.wait_for(lock, std::chrono::seconds(5), [&job] { return job->finished; });
}

unsigned PortalBus::subscribe(const char* interface, const char* signal, const std::string& path,
                              std::function<void(GVariant*)> handler) {
  unsigned id = 0;
  auto* held = new Handler{std::move(handler)};
  onBusThread([&] {
    id = g_dbus_connection_signal_subscribe(connection_, kPortalService, interface, signal,
                                            path.empty() ? nullptr : path.c_str(), nullptr,
                                            G_DBUS_SIGNAL_FLAGS_NONE, onSignal, held, freeHandler);
  });
  return id;
}

void PortalBus::unsubscribe(unsigned id) {
  if (id != 0) g_dbus_connection_signal_unsubscribe(connection_, id);
}

std::string PortalBus::newToken() {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 random{std::random_device{}()};
  return "quorvel_" + std::to_string(++counter) + "_" + std::to_string(random() % 1000000);
}

std::string PortalBus::sessionPath(const std::string& token) const {
  return std::string(kPortalPath) + "/session/" + sender_ + "/" + token;
}

std::optional<unsigned> PortalBus::unsignedProperty(const char* interface, const char* name,
                                                    std::chrono::milliseconds limit) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, kPortalService, kPortalPath,
                                                "org.freedesktop.DBus.Properties", "Get",
                                                g_variant_new("(ss)", interface, name), G_VARIANT_TYPE("(v)"),
                                                G_DBUS_CALL_FLAGS_NONE, milliseconds(limit), nullptr, &error);
  if (reply == nullptr) {
    if (error != nullptr) g_error_free(error);
    return std::nullopt;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  std::optional<unsigned> result;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) result = g_variant_get_uint32(value);
  g_variant_unref(value);
  g_variant_unref(reply);
  return result;
}

unsigned PortalBus::version(const char* interface, std::chrono::milliseconds limit) {
  return unsignedProperty(interface, "version", limit).value_or(0);
}

PortalBus::Answer PortalBus::request(const char* interface, const char* method,
                                     const std::function<GVariant*(const std::string&)>& parameters,
                                     std::chrono::milliseconds limit) {
  Answer answer;
  const std::string token = newToken();
  const std::string expected = std::string(kPortalPath) + "/request/" + sender_ + "/" + token;
  auto waiter = std::make_shared<PortalWaiter>();
  {
    std::scoped_lock lock(waitersMutex_);
    if (cancelled_) {
      answer.error = PortalError::timedOut;
      answer.detail = "Quorvel is quitting";
      return answer;
    }
    std::erase_if(waiters_, [](const std::weak_ptr<PortalWaiter>& w) { return w.expired(); });
    waiters_.push_back(waiter);
  }
  const auto onResponse = [waiter](GVariant* parameters) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    guint32 response = 2;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &response, &results);
    {
      std::scoped_lock lock(waiter->mutex);
      if (!waiter->answered) {
        waiter->answered = true;
        waiter->response = response;
        waiter->results = adoptVariant(results);
      } else {
        g_variant_unref(results);
      }
    }
    waiter->done.notify_all();
  };
  // Listening before the call, so an answer that comes at once is not missed.
  const unsigned first = subscribe(requestInterface, "Response", expected, onResponse);
  GError* error = nullptr;
  GVariant* reply =
      g_dbus_connection_call_sync(connection_, kPortalService, kPortalPath, interface, method, parameters(token),
                                  G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
  if (reply == nullptr) {
    unsubscribe(first);
    answer.error = notOffered(error) ? PortalError::notOffered : PortalError::failed;
    answer.detail = error != nullptr ? error->message : "no answer";
    if (error != nullptr) g_error_free(error);
    return answer;
  }
  const gchar* handlePath = nullptr;
  g_variant_get(reply, "(&o)", &handlePath);
  const std::string handle = handlePath;
  g_variant_unref(reply);
  // Older portals may answer on a path of their own making.
  const unsigned second = handle != expected ? subscribe(requestInterface, "Response", handle, onResponse) : 0;
  {
    std::unique_lock lock(waiter->mutex);
    (void)waiter->done.wait_for(lock, limit, [&waiter] { return waiter->answered || waiter->cancelled; });
  }
  unsubscribe(first);
  unsubscribe(second);
  std::scoped_lock lock(waiter->mutex);
  if (!waiter->answered) {
    (void)g_dbus_connection_call_sync(connection_, kPortalService, handle.c_str(), requestInterface, "Close",
                                      nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    answer.error = PortalError::timedOut;
    answer.detail = std::string(method) + " had no answer";
    return answer;
  }
  switch (waiter->response) {
    case 0:
      answer.results = waiter->results;
      break;
    case 1:
      answer.error = PortalError::refused;
      answer.detail = std::string(method) + " was cancelled";
      break;
    default:
      answer.error = PortalError::failed;
      answer.detail = std::string(method) + " ended with response " + std::to_string(waiter->response);
      break;
  }
  return answer;
}

void PortalBus::cancel() {
  std::vector<std::shared_ptr<PortalWaiter>> open;
  {
    std::scoped_lock lock(waitersMutex_);
    cancelled_ = true;
    for (const auto& w : waiters_) {
      if (auto waiter = w.lock()) open.push_back(waiter);
    }
  }
  for (const auto& waiter : open) {
    {
      std::scoped_lock lock(waiter->mutex);
      waiter->cancelled = true;
    }
    waiter->done.notify_all();
  }
}

void PortalBus::closeSession(const std::string& session) {
  std::string ignored;
  (void)call("org.freedesktop.portal.Session", "Close", nullptr, ignored, std::chrono::seconds(2), session);
}

bool PortalBus::call(const char* interface, const char* method, GVariant* parameters, std::string& detail,
                     std::chrono::milliseconds limit, const std::string& path) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, kPortalService, path.empty() ? kPortalPath : path.c_str(), interface, method,
                                                parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, milliseconds(limit),
                                                nullptr, &error);
  if (reply == nullptr) {
    detail = error != nullptr ? error->message : "no answer";
    if (error != nullptr) g_error_free(error);
    return false;
  }
  g_variant_unref(reply);
  return true;
}

}  // namespace quorvel
