// quorvel-download-host: a stand-in for the model download host, serving a
// folder on 127.0.0.1 over HTTP or HTTPS, with byte ranges and faults on
// request. Stops on SIGTERM or SIGINT.
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FileService.h"
#include "HostOptions.h"
#include "StopFlag.h"

namespace {

using namespace quorvel;
using namespace quorvel::downloadhost;

// The port goes to a temporary file renamed into place, so a reader never sees half of it.
bool writeReadyFile(const fs::path& file, int port) {
  fs::path temporary = file;
  temporary += ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) return false;
  const bool written = std::fprintf(out, "%d\n", port) > 0;
  if (std::fclose(out) != 0 || !written) return false;
  std::error_code error;
  fs::rename(temporary, file, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  if (const auto problem = parseOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
    std::fprintf(stderr, "quorvel-download-host: %s\n%s", problem->c_str(), usage().c_str());
    return 2;
  }

  standin::StopFlag stop;
  standin::SignalWatcher signals(stop);  // before any other thread starts

  std::unique_ptr<httplib::Server> server;
  if (options.certificate) {
    auto secure = std::make_unique<httplib::SSLServer>(options.certificate->c_str(), options.key->c_str());
    if (!secure->is_valid()) {
      std::fprintf(stderr, "quorvel-download-host: can't use the certificate %s and key %s\n",
                   options.certificate->c_str(), options.key->c_str());
      return 2;
    }
    server = std::move(secure);
  } else {
    server = std::make_unique<httplib::Server>();
  }
  server->set_socket_options([](int socket) {
    int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server->set_keep_alive_timeout(1);
  server->set_read_timeout(5, 0);
  server->set_write_timeout(5, 0);
  server->new_task_queue = [] { return new httplib::ThreadPool(16); };

  FileService service(options, stop);
  server->Get(R"(/.*)", [&service](const httplib::Request& request, httplib::Response& response) {
    service.handle(request, response);
  });
  server->set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content("internal error in the download host\n", "text/plain");
      });

  int port = options.port;
  if (port == 0) {
    port = server->bind_to_any_port("127.0.0.1");
  } else if (!server->bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "quorvel-download-host: can't listen on 127.0.0.1:%d\n", options.port);
    return 1;
  }

  std::atomic<bool> ended{false};
  std::thread listener([&server, &ended] {
    server->listen_after_bind();
    ended = true;
  });
  std::fprintf(stderr, "quorvel-download-host: listening on %s://127.0.0.1:%d\n",
               options.certificate ? "https" : "http", port);
  if (options.readyFile && !writeReadyFile(*options.readyFile, port)) {
    std::fprintf(stderr, "quorvel-download-host: can't write %s\n", options.readyFile->c_str());
    stop.raise();
  }

  while (!ended && stop.sleepFor(std::chrono::milliseconds(200))) {
  }
  server->stop();
  listener.join();
  return 0;
}
