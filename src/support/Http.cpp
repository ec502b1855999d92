// HTTP transfers through libcurl's easy interface, one handle per transfer.
#include "support/Http.h"

#include <curl/curl.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>

namespace quorvel {
namespace {

std::atomic<std::int64_t> sentOnline{0};

// Adds what the transfer sent, when its peer was not this machine.
void countSent(CURL* curl) {
  const char* ip = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip) != CURLE_OK || !ip || !*ip) return;
  if (isLoopbackIp(ip)) return;
  curl_off_t body = 0;
  long head = 0;
  curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &body);
  curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &head);
  sentOnline.fetch_add(static_cast<std::int64_t>(std::max<curl_off_t>(body, 0)) + std::max(head, 0L));
}

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  const std::function<bool(std::string_view)>* onChunk = nullptr;
  HttpResponse* response = nullptr;
  const CancelToken* cancel = nullptr;
  bool stoppedByReceiver = false;
};

size_t receiveBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (transfer->cancel->cancelled()) return 0;  // aborts with CURLE_WRITE_ERROR
  if (!(*transfer->onChunk)(std::string_view(data, length))) {
    transfer->stoppedByReceiver = true;
    return 0;
  }
  return length;
}

size_t receiveHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    transfer->response->headers.clear();  // a new response (after a redirect or 100 Continue)
    return length;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return length;
  std::string name(line.substr(0, colon));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  transfer->response->headers.emplace_back(std::move(name), std::string(value));
  return length;
}

int watchCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return transfer->cancel->cancelled() ? 1 : 0;  // non-zero aborts the transfer
}

struct CurlHandleDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

Result<HttpResponse> perform(const HttpRequest& request,
                             const std::function<bool(std::string_view)>& onChunk) {
  initialiseCurlOnce();
  if (request.cancel.cancelled()) return Error{"cancelled"};
  std::unique_ptr<CURL, CurlHandleDeleter> handle(curl_easy_init());
  if (!handle) return Error{"could not create an HTTP transfer"};
  CURL* curl = handle.get();

  HttpResponse response;
  Transfer transfer{&onChunk, &response, &request.cancel, false};

  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  // Once on HTTPS, a redirect never leads to plain HTTP (curl keeps the Range
  // header across redirects, so a piece stays a piece).
  const bool secure = request.url.size() >= 8 &&
                      std::equal(request.url.begin(), request.url.begin() + 8, "https://",
                                 [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  // Loopback servers must never be reached through a proxy from the environment.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
  if (request.timeout.count() > 0) {
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min<long long>(request.timeout.count(), 30000)));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receiveBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, receiveHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, watchCancel);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  if (request.caFile) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile->c_str());

  std::string range;
  if (request.range) {
    range = std::to_string(request.range->first) + "-" + std::to_string(request.range->second);
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
  }

  if (request.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else if (request.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else {
    if (request.method != "POST") {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }

  curl_slist* rawHeaders = nullptr;
  for (const auto& [name, value] : request.headers) {
    rawHeaders = curl_slist_append(rawHeaders, (name + ": " + value).c_str());
  }
  // curl would otherwise send "Expect: 100-continue" for large bodies and wait for it.
  rawHeaders = curl_slist_append(rawHeaders, "Expect:");
  std::unique_ptr<curl_slist, HeaderListDeleter> headers(rawHeaders);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

  const CURLcode code = curl_easy_perform(curl);
  countSent(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  if (code != CURLE_OK && !(transfer.stoppedByReceiver && code == CURLE_WRITE_ERROR)) {
    if (request.cancel.cancelled()) return Error{"cancelled"};
    return Error{std::string(curl_easy_strerror(code))};
  }
  return response;
}

}  // namespace

std::int64_t bytesSentOnline() { return sentOnline.load(); }

bool isLoopbackIp(std::string_view ip) {
  const std::string text(ip);
  in_addr v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    // An IPv4 loopback address written as IPv6 (::ffff:127.x.y.z).
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
  }
  return false;
}

std::optional<std::string> HttpResponse::header(std::string_view name) const {
  std::string wanted(name);
  std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [key, value] : headers) {
    if (key == wanted) return value;
  }
  return std::nullopt;
}

Result<HttpResponse> httpFetch(const HttpRequest& request) {
  std::string body;
  const std::function<bool(std::string_view)> collect = [&body](std::string_view chunk) {
    body.append(chunk);
    return true;
  };
  auto result = perform(request, collect);
  if (!result) return result;
  result->body = std::move(body);
  return result;
}

Result<HttpResponse> httpStream(const HttpRequest& request,
                                const std::function<bool(std::string_view chunk)>& onChunk) {
  return perform(request, onChunk);
}

Result<HttpResponse> httpStreamLines(const HttpRequest& request,
                                     const std::function<bool(std::string_view line)>& onLine) {
  std::string pending;
  bool stopped = false;
  const std::function<bool(std::string_view)> split = [&](std::string_view chunk) {
    pending.append(chunk);
    size_t start = 0;
    for (size_t newline; (newline = pending.find('\n', start)) != std::string::npos;
         start = newline + 1) {
      std::string_view line(pending.data() + start, newline - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!onLine(line)) {
        stopped = true;
        return false;
      }
    }
    pending.erase(0, start);
    return true;
  };
  auto result = perform(request, split);
  if (result && !stopped && !pending.empty()) {
    std::string_view line(pending);
    if (line.back() == '\r') line.remove_suffix(1);
    onLine(line);
  }
  return result;
}

}  // namespace quorvel
