// Answers GET requests with the files of a folder: byte ranges (parsed here,
// not left to the server library, so the faults can bend them), a request log
// and the faults of HostOptions.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "HostOptions.h"
#include "StopFlag.h"

namespace quorvel::downloadhost {

// A single "bytes=" range resolved against a file size: the first byte and
// the count. Nothing for a malformed, multiple or unsatisfiable range.
struct ByteRange {
  std::int64_t start = 0;
  std::int64_t length = 0;
};
std::optional<ByteRange> parseRange(const std::string& header, std::int64_t size);

// Handlers run on the server's worker threads; every member is thread-safe.
class FileService {
 public:
  FileService(const HostOptions& options, const standin::StopFlag& stop);
  FileService(const FileService&) = delete;
  FileService& operator=(const FileService&) = delete;

  void handle(const httplib::Request& request, httplib::Response& response);

 private:
  std::optional<fs::path> resolve(const std::string& urlPath) const;
  int countTry(const std::string& key);
  void log(const std::string& line);

  const HostOptions& options_;
  const standin::StopFlag& stop_;
  std::atomic<int> active_{0};  // answers being sent
  std::mutex mutex_;
  std::map<std::string, int> tries_;  // guarded by mutex_
  std::ofstream log_;                 // guarded by mutex_
};

}  // namespace quorvel::downloadhost
