// Running the stand-in servers from tests: real processes on free loopback
// ports with their own environment, bounded waits, and helpers for the
// requests Quorvel sends (multipart WAV upload, chat body) and the request log.
#pragma once

#include <httplib.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::testing {

namespace fs = std::filesystem;

// One stand-in process. Its standard output and error go to files in
// `folder`. The destructor kills and reaps it if it still runs.
class StandinProcess {
 public:
  // `environment` entries are added to the test's own environment, from which
  // the keys and every QUORVEL_STANDIN_* variable are removed first.
  StandinProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment, const fs::path& folder);
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The exit status once it has exited within `limit` (128 + signal when killed).
  std::optional<int> waitExit(std::chrono::milliseconds limit);
  // SIGTERM, then waitExit(limit).
  std::optional<int> terminate(std::chrono::milliseconds limit);
  std::string standardOutput() const;
  std::string standardError() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  fs::path out_;
  fs::path err_;
};

// A client for one loopback port with short time-outs.
std::unique_ptr<httplib::Client> loopbackClient(int port, std::chrono::milliseconds readTimeout = std::chrono::seconds(5));

// Polls GET `path` every 50 ms until it answers 200, for at most `limit`.
bool waitForStatus200(int port, const std::string& path, const std::string& key,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));

httplib::Headers bearer(const std::string& key);

// 16-bit mono WAV at 16 kHz with `samples` samples; a "LIST" chunk sits
// between "fmt " and "data", as some writers put one there.
std::string wavBytes(std::size_t samples);

// The transcription form exactly as Quorvel writes it.
struct MultipartBody {
  std::string contentType;
  std::string body;
};
MultipartBody transcriptionForm(const std::string& prompt, const std::string& wav,
                                const std::string& responseFormat = "json");

// Every line of a JSON-lines file that parses (unparsable lines are dropped).
std::vector<nlohmann::json> readJsonLines(const fs::path& path);

// The events of a server-sent-event body: the text after "data: " of each line.
std::vector<std::string> eventPayloads(const std::string& body);

}  // namespace quorvel::testing
