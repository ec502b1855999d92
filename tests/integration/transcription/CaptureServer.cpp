// The one-request capturing listener of the transcription tests.
#include "CaptureServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quorvel::testing {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

CaptureServer::CaptureServer(std::string replyBody, std::chrono::milliseconds patience,
                             const std::string& statusLine)
    : reply_("HTTP/1.1 " + statusLine + "\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(replyBody.size()) + "\r\nConnection: close\r\n\r\n" + replyBody),
      patience_(patience) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

CaptureServer::~CaptureServer() {
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::optional<std::string> CaptureServer::request() {
  if (thread_.joinable()) thread_.join();
  return captured_;
}

namespace {

// Reads one request (headers and the body its Content-Length announces).
std::string readRequest(int connection, Clock::time_point deadline) {
  std::string received;
  std::optional<std::size_t> total;  // headers + body, once the headers are in
  char buffer[65536];
  while (!total || received.size() < *total) {
    pollfd readable{connection, POLLIN, 0};
    if (::poll(&readable, 1, remainingMs(deadline)) <= 0) break;
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
    if (!total) {
      const auto headersEnd = received.find("\r\n\r\n");
      if (headersEnd != std::string::npos) {
        const auto lengthText = headerOf(received.substr(0, headersEnd + 4), "Content-Length");
        total = headersEnd + 4 + (lengthText ? std::stoul(*lengthText) : 0);
      }
    }
  }
  return received;
}

void sendAll(int connection, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t wrote = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (wrote <= 0) break;
    sent += static_cast<std::size_t>(wrote);
  }
  ::shutdown(connection, SHUT_WR);
  ::close(connection);
}

}  // namespace

void CaptureServer::serve() {
  // Readiness probes (GET) are answered and not kept; the first other
  // request is kept and answered with the reply, which ends the service.
  const auto deadline = Clock::now() + patience_;
  for (int connections = 0; connections < 200; ++connections) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, remainingMs(deadline)) <= 0) return;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    std::string received = readRequest(connection, deadline);
    if (received.rfind("GET ", 0) == 0) {
      sendAll(connection,
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 15\r\n"
              "Connection: close\r\n\r\n{\"status\":\"ok\"}");
      continue;
    }
    captured_ = std::move(received);
    sendAll(connection, reply_);
    return;
  }
}

std::optional<std::string> headerOf(const std::string& request, const std::string& name) {
  const auto headersEnd = request.find("\r\n\r\n");
  std::size_t at = request.find("\r\n");
  while (at != std::string::npos && at < headersEnd) {
    const std::size_t lineStart = at + 2;
    const std::size_t lineEnd = request.find("\r\n", lineStart);
    const std::string line = request.substr(lineStart, lineEnd - lineStart);
    const auto colon = line.find(':');
    if (colon != std::string::npos && colon == name.size() &&
        ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      return value;
    }
    at = lineEnd;
  }
  return std::nullopt;
}

std::string bodyOf(const std::string& request) {
  const auto headersEnd = request.find("\r\n\r\n");
  return headersEnd == std::string::npos ? std::string() : request.substr(headersEnd + 4);
}

}  // namespace quorvel::testing
