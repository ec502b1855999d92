// Diagnostic lines of the program ("Quorvel: …") to the system log, and to
// standard error when QUORVEL_LOG_STDERR=1. Tests capture them with LogCapture.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Writes one line to the system log as given; callers write the whole text,
// "Quorvel: " included. Thread-safe.
void logLine(std::string_view line);

// While a capture is alive, every logged line is also recorded here (and still
// written to the system log). Captures nest; the innermost one records.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;
  bool contains(std::string_view fragment) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  LogCapture* previous_;
};

}  // namespace quorvel
