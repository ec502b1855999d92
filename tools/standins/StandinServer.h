// The HTTP side both stand-ins share: binding with a clear error, the bearer
// key, the start of each request's log record, a logged 404 for every other
// path, and serving until SIGTERM/SIGINT raise the stop flag.
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "RequestLog.h"
#include "Settings.h"
#include "StopFlag.h"

namespace quorvel::standin {

// Lives on the main thread; its handlers run on the server's worker threads
// and only read it (keyMatches, beginRecord are const and thread-safe).
class StandinServer {
 public:
  StandinServer(std::string program, std::string serverName, const Settings& settings, RequestLog& log,
                StopFlag& stop);
  StandinServer(const StandinServer&) = delete;
  StandinServer& operator=(const StandinServer&) = delete;

  // Add the routes here before run().
  httplib::Server& http() { return http_; }

  // Binds host:port (without SO_REUSEPORT, so a port in use is refused).
  // Answers the reason on failure, e.g. "Address already in use".
  std::optional<std::string> bind(const std::string& host, int port);

  // REQUIRES: bind() succeeded. Adds the catch-all routes, writes the
  // "listening" line to stderr and serves until the stop flag is raised.
  // Answers true on a clean stop.
  bool run();

  // Whether the request carries "Authorization: Bearer <key>" (always true
  // when no key is required).
  bool keyMatches(const httplib::Request& request) const;

  // {"event":"request","server":…,"method":…,"path":…,"key_ok":…,"headers":{…}}
  // — the headers as sent, without Authorization.
  nlohmann::json beginRecord(const httplib::Request& request) const;

  // Answers 401 (logging `record`) when the key does not match; true then.
  bool refuseWithoutKey(const httplib::Request& request, httplib::Response& response,
                        const nlohmann::json& record) const;

  const std::string& program() const { return program_; }

 private:
  std::string program_;
  std::string serverName_;
  const Settings& settings_;
  RequestLog& log_;
  StopFlag& stop_;
  std::string host_;
  int port_ = 0;
  httplib::Server http_;
};

}  // namespace quorvel::standin
