// Single instance, the predecessor and its settings.
#include "app/launch/Launch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Json.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quorvel {

InstanceChoice instanceChoice(const std::optional<OtherCopy>& other, const std::string& ourExecutable) {
  if (!other) return InstanceChoice::run;
  if (!other->executable.empty() && other->executable == ourExecutable) return InstanceChoice::reopenOther;
  return InstanceChoice::askUser;
}

std::string alreadyRunningDetail(const OtherCopy& other) {
  const std::string where = other.executable.empty() ? "unknown location" : other.executable;
  return "Another copy is in the menu bar (" + where + "). Switch to this one?";
}

std::string executableOf(pid_t pid) {
  std::error_code error;
  const auto target = fs::read_symlink(fs::path("/proc") / std::to_string(pid) / "exe", error);
  if (error) return "";
  std::string text = target.string();
  // A program replaced on disk while running reads "PATH (deleted)".
  constexpr std::string_view deleted = " (deleted)";
  if (text.ends_with(deleted)) text.erase(text.size() - deleted.size());
  return text;
}

bool processRunning(pid_t pid) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0) return errno == EPERM;
  // A zombie has ended for every purpose here.
  std::string stat;
  if (auto text = readWholeFile(fs::path("/proc") / std::to_string(pid) / "stat")) stat = *text;
  const auto close = stat.rfind(')');
  return !(close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z');
}

bool stopProcess(pid_t pid, bool signal, std::chrono::milliseconds limit, const std::string& killableExecutable,
                 const std::string& killableName) {
  if (pid <= 0 || pid == ::getpid()) return false;
  if (signal) (void)::kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (processRunning(pid) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!processRunning(pid)) return true;
  const std::string executable = executableOf(pid);
  const bool ours = !executable.empty() && (executable == killableExecutable ||
                                            (!killableName.empty() && fs::path(executable).filename() == killableName));
  if (!ours) {
    logLine("Quorvel: process " + std::to_string(pid) + " did not quit and is not ours to stop");
    return false;
  }
  (void)::kill(pid, SIGKILL);
  for (int i = 0; i < 20 && processRunning(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return !processRunning(pid);
}

std::vector<pid_t> predecessorProcesses() {
  std::vector<pid_t> found;
  std::error_code error;
  const uid_t me = ::getuid();
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
    struct stat info {};
    if (::stat(it->path().c_str(), &info) != 0 || info.st_uid != me) continue;
    if (fs::path(executableOf(pid)).filename() == kPredecessorName) found.push_back(pid);
  }
  return found;
}

fs::path predecessorDefaultsFile() { return xdgConfigHome() / kPredecessorName / "defaults.json"; }

bool migrateVimmoSettings(UserDefaults& ours, const fs::path& theirs) {
  if (Settings::migratedFromPredecessor.read(ours)) return false;
  std::error_code error;
  if (!fs::is_regular_file(theirs, error)) return false;
  const auto text = readWholeFile(theirs);
  if (!text) return false;
  const auto parsed = parseJson(*text);
  if (!parsed || !parsed->is_object()) {
    logLine("Quorvel: the predecessor's settings could not be read; trying again at the next launch");
    return false;
  }
  static constexpr const char* kKeys[] = {Settings::speechModel.key,
                                          Settings::cleanupModel.key,
                                          Settings::predecessorCleanup.key,
                                          Settings::startSound.key,
                                          Settings::showTag.key,
                                          Settings::predecessorFastChunks.key,
                                          Settings::saveAudio.key};
  bool copied = false;
  const Status written = ours.update([&](Json& mine) {
    for (const char* key : kKeys) {
      if (const auto found = parsed->find(key); found != parsed->end()) {
        mine[key] = *found;
        copied = true;
      }
    }
    mine[Settings::migratedFromPredecessor.key] = true;
  });
  if (!written) {
    logLine("Quorvel: could not copy the predecessor's settings: " + written.error());
    return false;
  }
  return copied;
}

}  // namespace quorvel
