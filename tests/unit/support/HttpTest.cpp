#include "support/Http.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "TestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// A loopback server on a free port for the life of the fixture.
class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Get("/hello", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content("auth=" + request.get_header_value("Authorization") +
                               " range=" + request.get_header_value("Range"),
                           "text/plain");
    });
    server.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.status = 201;
      response.set_header("X-Kind", "echo");
      response.set_content(request.body, "application/octet-stream");
    });
    server.Get("/lines", [this](const httplib::Request&, httplib::Response& response) {
      response.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
        sink.write("data: one\r\n", 11);
        // The second line is only sent once the client has seen the first:
        // lines must arrive as they come, not after the whole body.
        for (int i = 0; i < 500 && !firstLineSeen.load(); ++i) std::this_thread::sleep_for(10ms);
        sink.write("data: two\ndata: thr", 19);
        sink.write("ee", 2);
        sink.done();
        return true;
      });
    });
    server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
      response.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
        for (int i = 0; i < 100 && sink.is_writable(); ++i) {
          sink.write("x", 1);
          std::this_thread::sleep_for(50ms);
        }
        sink.done();
        return true;
      });
    });
    port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    thread = std::thread([this] { server.listen_after_bind(); });
    for (int i = 0; i < 200 && !server.is_running(); ++i) std::this_thread::sleep_for(5ms);
  }

  void TearDown() override {
    server.stop();
    thread.join();
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::atomic<bool> firstLineSeen{false};
};

TEST_F(HttpTest, SendsHeadersAndRangeAndReadsTheWholeBody) {
  HttpRequest request;
  request.url = url("/hello");
  request.headers = {{"Authorization", "Bearer KEY"}};
  request.range = {{8, 15}};
  auto response = httpFetch(request);
  ASSERT_TRUE(response.ok()) << response.error();
  // The server answers the range itself: bytes 8 to 15 of "auth=Bearer KEY range=bytes=8-15".
  EXPECT_EQ(response->status, 206);
  EXPECT_EQ(response->body, "rer KEY ");

  HttpRequest post;
  post.method = "POST";
  post.url = url("/echo");
  post.body = std::string("a\0b", 3);
  auto echoed = httpFetch(post);
  ASSERT_TRUE(echoed.ok());
  EXPECT_EQ(echoed->status, 201);
  EXPECT_EQ(echoed->body, post.body);
  EXPECT_EQ(echoed->header("x-kind"), "echo");
}

TEST_F(HttpTest, DeliversLinesAsTheyArrive) {
  HttpRequest request;
  request.url = url("/lines");
  std::vector<std::string> lines;
  auto response = httpStreamLines(request, [&](std::string_view line) {
    lines.emplace_back(line);
    firstLineSeen = true;
    return true;
  });
  ASSERT_TRUE(response.ok()) << response.error();
  EXPECT_EQ(lines, (std::vector<std::string>{"data: one", "data: two", "data: three"}));
}

TEST_F(HttpTest, ReceiverCanStopEarlyWithoutAFailure) {
  HttpRequest request;
  request.url = url("/slow");
  int chunks = 0;
  auto response = httpStream(request, [&](std::string_view) { return ++chunks < 3; });
  EXPECT_TRUE(response.ok());
  EXPECT_EQ(chunks, 3);
}

TEST_F(HttpTest, TimeOutAndCancelAbortATransferPromptly) {
  HttpRequest timed;
  timed.url = url("/slow");
  timed.timeout = 200ms;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(httpFetch(timed).ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

  HttpRequest cancelled;
  cancelled.url = url("/slow");
  auto pending = std::async(std::launch::async, [&] { return httpFetch(cancelled); });
  std::this_thread::sleep_for(150ms);
  start = std::chrono::steady_clock::now();
  cancelled.cancel.cancel();
  ASSERT_EQ(pending.wait_for(3s), std::future_status::ready);
  auto result = pending.get();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "cancelled");
}

TEST(HttpClient, UnreachableServerIsAnError) {
  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(testing::freeLoopbackPort()) + "/";
  request.timeout = 2000ms;
  auto response = httpFetch(request);
  EXPECT_FALSE(response.ok());
}

}  // namespace
}  // namespace quorvel
