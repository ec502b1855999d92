// An HTTP client on libcurl: whole bodies, bodies as they arrive (in chunks or
// line by line), byte ranges, time-outs, and a cancel token that aborts a
// transfer. Every transfer is independent; any thread may call.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/Result.h"
#include "support/Tasks.h"

namespace quorvel {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // sent for POST and PUT
  // The whole transfer's limit; zero means none.
  std::chrono::milliseconds timeout{60000};
  // Optional "first-last" byte range (inclusive), as in a Range header.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> range;
  // Certificate authority bundle for HTTPS (tests use a self-signed one).
  std::optional<std::string> caFile;
  // Off for requests that carry the user's words: a redirect must not send
  // them to an address the user did not name.
  bool followRedirects = true;
  CancelToken cancel;
};

struct HttpResponse {
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // names lower-cased

  std::optional<std::string> header(std::string_view name) const;
};

// Sends the request and reads the whole body. Fails on a network error, a
// time-out or a cancel; any HTTP status is a success here (callers look at it).
Result<HttpResponse> httpFetch(const HttpRequest& request);

// Sends the request and hands the body to onChunk as it arrives. onChunk
// answers false to stop the transfer early (that is not a failure). The result
// carries the status and headers, with an empty body.
Result<HttpResponse> httpStream(const HttpRequest& request,
                                const std::function<bool(std::string_view chunk)>& onChunk);

// Like httpStream, but the body is cut into lines (without "\n" or "\r\n");
// a last line without a line break is delivered at the end.
Result<HttpResponse> httpStreamLines(const HttpRequest& request,
                                     const std::function<bool(std::string_view line)>& onLine);

// Bytes this process sent (request lines, headers and bodies) to addresses
// other than loopback, since it started. Every transfer adds what it sent.
std::int64_t bytesSentOnline();
// Whether a numeric address (as a connection reports its peer) is loopback.
bool isLoopbackIp(std::string_view ip);

}  // namespace quorvel
