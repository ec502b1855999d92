// The process-local observer list of the words-changed notice.
#include "text/WordsChanged.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/Log.h"

namespace quorvel::WordsChanged {
namespace {

struct Entry {
  // Held while the observer runs, so stopObserving can wait for a running call.
  std::recursive_mutex running;
  bool active = true;  // guarded by running
  std::function<void()> observer;
};

struct Registry {
  std::mutex mutex;
  Token next = 1;                                     // guarded by mutex
  std::map<Token, std::shared_ptr<Entry>> entries;    // guarded by mutex
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

Token observe(std::function<void()> observer) {
  if (!observer) return 0;
  auto entry = std::make_shared<Entry>();
  entry->observer = std::move(observer);
  Registry& r = registry();
  std::scoped_lock lock(r.mutex);
  const Token token = r.next++;
  r.entries.emplace(token, std::move(entry));
  return token;
}

void stopObserving(Token token) {
  std::shared_ptr<Entry> entry;
  {
    Registry& r = registry();
    std::scoped_lock lock(r.mutex);
    auto it = r.entries.find(token);
    if (it == r.entries.end()) return;
    entry = std::move(it->second);
    r.entries.erase(it);
  }
  std::scoped_lock running(entry->running);  // waits for a call in progress
  entry->active = false;
}

void post() {
  std::vector<std::shared_ptr<Entry>> entries;
  {
    Registry& r = registry();
    std::scoped_lock lock(r.mutex);
    for (const auto& [token, entry] : r.entries) entries.push_back(entry);
  }
  for (const auto& entry : entries) {
    std::scoped_lock running(entry->running);
    if (!entry->active) continue;
    try {
      entry->observer();
    } catch (const std::exception& error) {
      logLine(std::string("Quorvel: a words-changed observer failed: ") + error.what());
    } catch (...) {
      logLine("Quorvel: a words-changed observer failed");
    }
  }
}

}  // namespace quorvel::WordsChanged
