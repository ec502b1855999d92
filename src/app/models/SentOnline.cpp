// The stored total of bytes sent online.
#include "app/models/SentOnline.h"

#include <cstdio>
#include <mutex>

#include "support/Http.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quorvel::SentOnline {
namespace {

constexpr const char* kKey = Settings::sentOnlineBytes.key;

std::mutex saveLock;
std::int64_t saved = 0;  // of this process's count, guarded by saveLock

std::int64_t stored() {
  const auto value = UserDefaults().integerValue(kKey);
  return value && *value > 0 ? *value : 0;
}

}  // namespace

void saveNew() {
  std::scoped_lock lock(saveLock);
  const std::int64_t now = bytesSentOnline();
  const std::int64_t added = now - saved;
  if (added <= 0) return;
  const Status written = UserDefaults().update([added](Json& object) {
    std::int64_t before = 0;
    if (const auto it = object.find(kKey); it != object.end() && it->is_number_integer()) {
      before = std::max<std::int64_t>(0, it->get<std::int64_t>());
    }
    object[kKey] = before + added;
  });
  if (written) {
    saved = now;
  } else {
    logLine("Quorvel: could not save the bytes sent online: " + written.error());
  }
}

std::int64_t total() {
  std::int64_t unsaved = 0;
  {
    std::scoped_lock lock(saveLock);
    unsaved = bytesSentOnline() - saved;
  }
  return stored() + std::max<std::int64_t>(0, unsaved);
}

std::pair<std::string, std::string> readout(std::int64_t bytes) {
  if (bytes < 1000) return {std::to_string(std::max<std::int64_t>(bytes, 0)), "bytes"};
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1000.0;
  int unit = 0;
  while (value >= 999.95 && unit < 3) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return {text, units[unit]};
}

}  // namespace quorvel::SentOnline
