// Writes the program's diagnostic lines to syslog and optional standard error.
#include "support/Log.h"

#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace quorvel {

struct LogCapture::State {
  std::vector<std::string> lines;
};

namespace {

std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

LogCapture* currentCapture = nullptr;  // guarded by logMutex()
std::vector<std::string>* captureLines = nullptr;  // guarded by logMutex()

bool alsoToStandardError() {
  static const bool on = [] {
    const char* value = std::getenv("QUORVEL_LOG_STDERR");
    return value != nullptr && std::strcmp(value, "1") == 0;
  }();
  return on;
}

}  // namespace

void logLine(std::string_view line) {
  static std::once_flag opened;
  std::call_once(opened, [] { openlog("quorvel", LOG_PID, LOG_USER); });
  std::string text(line);
  syslog(LOG_NOTICE, "%s", text.c_str());
  std::scoped_lock lock(logMutex());
  if (alsoToStandardError()) {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  if (captureLines != nullptr) {
    captureLines->push_back(std::move(text));
  }
}

LogCapture::LogCapture() : state_(std::make_unique<State>()) {
  std::scoped_lock lock(logMutex());
  previous_ = currentCapture;
  currentCapture = this;
  captureLines = &state_->lines;
}

LogCapture::~LogCapture() {
  {
    std::scoped_lock lock(logMutex());
    currentCapture = previous_;
    captureLines = previous_ != nullptr ? &previous_->state_->lines : nullptr;
  }
}

std::vector<std::string> LogCapture::lines() const {
  std::scoped_lock lock(logMutex());
  return state_->lines;
}

bool LogCapture::contains(std::string_view fragment) const {
  std::scoped_lock lock(logMutex());
  for (const auto& line : state_->lines) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

}  // namespace quorvel
