// Telling the user, once, that one of their files could not be written.
#include "support/WriteProblems.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "support/Log.h"

namespace quorvel::WriteProblems {
namespace {

struct State {
  std::mutex mutex;
  std::set<File> failing;  // guarded by mutex
  std::function<void(const std::string&)> listener;  // guarded by mutex
};

State& state() {
  static State shared;
  return shared;
}

const char* what(File file) {
  switch (file) {
    case File::history: return "the history";
    case File::words: return "your words";
    case File::settings: return "the settings";
  }
  return "a file";
}

}  // namespace

std::string inWords(const std::string& error) {
  const std::pair<int, const char*> known[] = {
      {ENOSPC, "disk full"},
      {EDQUOT, "disk quota reached"},
      {EROFS, "the disk is read-only"},
      {EACCES, "no permission to write there"},
      {EPERM, "no permission to write there"},
      {EIO, "the disk reported an error"},
  };
  for (const auto& [code, words] : known) {
    if (error.ends_with(std::strerror(code))) return words;
  }
  const auto colon = error.rfind(": ");
  std::string reason = colon == std::string::npos ? error : error.substr(colon + 2);
  // "Is a directory" → "is a directory"; "HTTP …" stays as it is.
  if (reason.size() >= 2 && reason[0] >= 'A' && reason[0] <= 'Z' && !(reason[1] >= 'A' && reason[1] <= 'Z')) {
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  }
  return reason;
}

std::string message(File file, const std::string& error) {
  return std::string("Can't save ") + what(file) + ": " + inWords(error);
}

void failed(File file, const std::string& error) {
  std::function<void(const std::string&)> listener;
  {
    std::scoped_lock lock(state().mutex);
    if (!state().failing.insert(file).second) return;
    listener = state().listener;
  }
  const std::string text = message(file, error);
  logLine("Quorvel: " + text + " (" + error + ")");
  if (listener) listener(text);
}

void succeeded(File file) {
  std::scoped_lock lock(state().mutex);
  state().failing.erase(file);
}

void setListener(std::function<void(const std::string&)> listener) {
  std::scoped_lock lock(state().mutex);
  state().listener = std::move(listener);
}

}  // namespace quorvel::WriteProblems
