// Binding, key check, catch-all routes and the stop sequence of a stand-in.
#include "StandinServer.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <strings.h>
#include <thread>

#include "Replies.h"

namespace quorvel::standin {

namespace {

using namespace std::chrono_literals;

// Headers the server library adds to a request itself.
bool isPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

void reuseAddressOnly(int socket) {
  // The library's default is SO_REUSEPORT, which would let a second server
  // share a port that is already served. SO_REUSEADDR only skips TIME_WAIT.
  int yes = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// Repeats the bind by hand to learn why the server's bind failed.
std::string bindFailureReason(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); error != 0) {
    return ::gai_strerror(error);
  }
  std::string reason = "unknown error";
  for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
    const int fd = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
    if (fd < 0) {
      reason = std::strerror(errno);
      continue;
    }
    reuseAddressOnly(fd);
    if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, 1) != 0) {
      reason = std::strerror(errno);
    }
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return reason;
}

}  // namespace

StandinServer::StandinServer(std::string program, std::string serverName, const Settings& settings,
                             RequestLog& log, StopFlag& stop)
    : program_(std::move(program)),
      serverName_(std::move(serverName)),
      settings_(settings),
      log_(log),
      stop_(stop) {
  http_.set_socket_options(reuseAddressOnly);
  // Idle keep-alive connections hold a worker; a short limit keeps stopping prompt.
  http_.set_keep_alive_timeout(1);
  http_.set_read_timeout(5, 0);
  http_.set_payload_max_length(64u << 20);
  http_.new_task_queue = [] { return new httplib::ThreadPool(16); };
  http_.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
    replyError(response, 500, "internal error in the stand-in");
  });
}

std::optional<std::string> StandinServer::bind(const std::string& host, int port) {
  host_ = host;
  port_ = port;
  if (http_.bind_to_port(host, port)) return std::nullopt;
  return bindFailureReason(host, port);
}

bool StandinServer::run() {
  auto unknownPath = [this](const httplib::Request& request, httplib::Response& response) {
    nlohmann::json record = beginRecord(request);
    if (refuseWithoutKey(request, response, record)) return;
    log_.append(record);
    replyError(response, 404, "File Not Found");
  };
  http_.Get(".*", unknownPath);
  http_.Post(".*", unknownPath);
  http_.Put(".*", unknownPath);
  http_.Delete(".*", unknownPath);

  std::atomic<bool> finished{false};
  std::jthread stopper([this, &finished](std::stop_token token) {
    if (!stop_.waitRaised(token)) return;
    // stop() does nothing until the accept loop runs, so repeat it until the
    // loop has ended; every handler wait ends on the flag within 50 ms.
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (!finished) {
      http_.stop();
      if (std::chrono::steady_clock::now() > deadline) {
        std::fprintf(stderr, "%s: did not stop within 8 s; exiting\n", program_.c_str());
        std::fflush(nullptr);
        ::_exit(1);
      }
      std::this_thread::sleep_for(20ms);
    }
  });
  std::cerr << program_ << ": listening on http://" << host_ << ":" << port_ << std::endl;
  const bool served = http_.listen_after_bind();
  finished = true;
  stopper.request_stop();
  stopper.join();
  return served || stop_.raised();
}

bool StandinServer::keyMatches(const httplib::Request& request) const {
  if (!settings_.key) return true;
  return request.get_header_value("Authorization") == "Bearer " + *settings_.key;
}

nlohmann::json StandinServer::beginRecord(const httplib::Request& request) const {
  nlohmann::json headers = nlohmann::json::object();
  for (const auto& [name, value] : request.headers) {
    if (strcasecmp(name.c_str(), "Authorization") == 0 || isPseudoHeader(name)) continue;
    headers[name] = value;
  }
  return {{"event", "request"}, {"server", serverName_},  {"method", request.method},
          {"path", request.path}, {"key_ok", keyMatches(request)}, {"headers", std::move(headers)}};
}

bool StandinServer::refuseWithoutKey(const httplib::Request& request, httplib::Response& response,
                                     const nlohmann::json& record) const {
  if (keyMatches(request)) return false;
  log_.append(record);
  replyError(response, 401, "Invalid API Key", "authentication_error");
  return true;
}

}  // namespace quorvel::standin
