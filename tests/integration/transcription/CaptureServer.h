// A one-request HTTP listener on 127.0.0.1 that keeps the raw bytes it was
// sent and answers with a fixed reply, so a test can check a request byte by byte.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quorvel::testing {

class CaptureServer {
 public:
  // Listens on a free loopback port and answers one request with `replyBody`
  // (application/json, with the status line's code and reason). Gives up
  // after `patience` without a request.
  explicit CaptureServer(std::string replyBody,
                         std::chrono::milliseconds patience = std::chrono::seconds(10),
                         const std::string& statusLine = "200 OK");
  ~CaptureServer();
  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  int port() const { return port_; }

  // The raw request (headers and body) once it has been read; nothing if
  // none arrived in time. Waits for the listener's thread to end.
  std::optional<std::string> request();

 private:
  void serve();

  std::string reply_;
  std::chrono::milliseconds patience_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::optional<std::string> captured_;  // written by thread_, read after join
};

// The header value of `name` (case-insensitive) in a raw request.
std::optional<std::string> headerOf(const std::string& request, const std::string& name);
// The body of a raw request (after the blank line).
std::string bodyOf(const std::string& request);

}  // namespace quorvel::testing
