// Drives the GTK test window of the desktop session (text_fields_app.py):
// starts it, waits until it is shown with the entry focused, sends commands
// and reads their answers, every wait bounded; stops it when destroyed.
// Only usable inside scripts/desktop-session (QUORVEL_TEST_FIELDS_APP).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace quorvel::testing {

class FieldsApp {
 public:
  // Starts the window; ready() tells whether it came up in time.
  FieldsApp();
  ~FieldsApp();
  FieldsApp(const FieldsApp&) = delete;
  FieldsApp& operator=(const FieldsApp&) = delete;

  bool ready() const { return pid_ > 0 && ready_; }
  pid_t pid() const { return pid_; }

  // Sends one command and returns its answer, or nothing after the limit.
  std::optional<nlohmann::json> command(
      const nlohmann::json& request,
      std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  // Sends a command without waiting for its answer (a "hang").
  void send(const nlohmann::json& request);

  // Shortcuts for the common commands; they answer whether it worked.
  bool set(const std::string& field, const std::string& text, std::optional<int> caret = {});
  bool focus(const std::string& field);
  // The field's text and caret (in characters).
  std::optional<std::string> text(const std::string& field);
  bool screenshot(const std::string& path);

 private:
  std::optional<std::string> readLine(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int toApp_ = -1;
  int fromApp_ = -1;
  bool ready_ = false;
  std::string pending_;
};

// Whether the test runs inside the desktop session.
bool insideDesktopSession();

}  // namespace quorvel::testing
