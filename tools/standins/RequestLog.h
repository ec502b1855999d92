// The request log: JSON lines appended to the file QUORVEL_STANDIN_LOG names.
// Both stand-ins (and several processes) may share the file, so every line
// is written whole by one write(2) under O_APPEND and an advisory lock.
#pragma once

#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace quorvel::standin {

// Thread-safe. Writes nothing when opened with an empty path.
class RequestLog {
 public:
  // An unopenable file gives a note on `notes` and a log that writes nothing.
  RequestLog(const std::string& path, std::ostream& notes);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Appends `record` as one line. Invalid UTF-8 in strings is replaced (U+FFFD).
  void append(const nlohmann::json& record);

 private:
  std::mutex mutex_;
  int fd_ = -1;  // written under mutex_
};

}  // namespace quorvel::standin
