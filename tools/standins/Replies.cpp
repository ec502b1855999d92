// Common answers and fault behaviour.
#include "Replies.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "Settings.h"

namespace quorvel::standin {

void replyJson(httplib::Response& response, int status, const nlohmann::json& body) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                       "application/json; charset=utf-8");
}

void replyError(httplib::Response& response, int status, const std::string& message, const std::string& type) {
  replyJson(response, status, {{"error", {{"code", status}, {"message", message}, {"type", type}}}});
}

void replyNotJson(httplib::Response& response) {
  response.status = 200;
  response.set_content("<html><body>upstream hiccup: this is not JSON</body></html>\n", "text/html");
}

void replyDropped(httplib::Response& response, std::string body, const std::string& contentType) {
  response.status = 200;
  const std::size_t length = body.size();
  response.set_content_provider(
      length, contentType,
      [body = std::move(body)](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset == 0) sink.write(body.data(), body.size() / 2);
        return false;  // the library closes the connection mid-body
      });
}

void hangUntilStopped(httplib::Response& response, const StopFlag& stop) {
  stop.sleepFor(std::chrono::milliseconds(static_cast<long long>(kLongestWaitMs)));
  replyError(response, 503, "stopping", "unavailable_error");
}

void exitLikeACrash(const std::string& program) {
  std::fprintf(stderr, "%s: exiting on the \"exit\" fault\n", program.c_str());
  std::fflush(nullptr);
  ::_exit(1);
}

}  // namespace quorvel::standin
