// A running quorvel-rules with pipes on its standard input and output, so a
// test can write one request and read its answer before writing the next. Every
// wait is bounded; the destructor ends the process whatever happened.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace quorvel::testing {

class RulesProcess {
 public:
  // Starts the console with these variables added to the environment.
  explicit RulesProcess(const std::map<std::string, std::string>& environment = {});
  ~RulesProcess();
  RulesProcess(const RulesProcess&) = delete;
  RulesProcess& operator=(const RulesProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Writes `line` and a line feed, then reads one answer line (without its line
  // feed). Nothing when no whole line came within `limit`.
  std::optional<std::string> ask(const std::string& line,
                                 std::chrono::milliseconds limit = std::chrono::seconds(20));

  // Closes standard input and waits for the exit; the exit code, or nothing when
  // the process did not exit normally within `limit` (it is then killed).
  std::optional<int> finish(std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
  bool writeAll(const std::string& bytes, std::chrono::steady_clock::time_point deadline);
  std::optional<std::string> readLine(std::chrono::steady_clock::time_point deadline);
  void stop();

  pid_t pid_ = -1;
  int input_ = -1;   // the console's standard input, our end
  int output_ = -1;  // the console's standard output, our end
  std::string pending_;
};

}  // namespace quorvel::testing
