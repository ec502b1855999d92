// Finds the processes listening on a TCP port: the listening sockets' inodes
// come from /proc/net/tcp{,6}, their owners from the /proc/PID/fd links.
#include "support/PortListeners.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace quorvel {
namespace {

constexpr const char* kListenState = "0A";  // TCP_LISTEN in /proc/net/tcp

// Inodes of the listening sockets on port in one /proc/net table.
void collectListeningInodes(const char* table, int port, std::set<std::string>& inodes) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode)) {
      continue;
    }
    if (state != kListenState) continue;
    const auto colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    const long localPort = std::strtol(local.c_str() + colon + 1, nullptr, 16);
    if (localPort == port && inode != "0") inodes.insert(inode);
  }
}

bool isNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

std::string readLink(const std::string& path) {
  char buffer[4096];
  const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace

std::vector<pid_t> processesListeningOn(int port) {
  std::set<std::string> inodes;
  collectListeningInodes("/proc/net/tcp", port, inodes);
  collectListeningInodes("/proc/net/tcp6", port, inodes);
  std::vector<pid_t> owners;
  if (inodes.empty()) return owners;

  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return owners;
  while (dirent* process = ::readdir(processes)) {
    if (!isNumber(process->d_name)) continue;
    const std::string fdFolder = std::string("/proc/") + process->d_name + "/fd";
    DIR* descriptors = ::opendir(fdFolder.c_str());
    if (descriptors == nullptr) continue;
    bool owns = false;
    while (dirent* descriptor = ::readdir(descriptors)) {
      if (!isNumber(descriptor->d_name)) continue;
      const std::string target = readLink(fdFolder + "/" + descriptor->d_name);
      // Socket links read "socket:[INODE]".
      if (target.size() > 9 && target.starts_with("socket:[") &&
          inodes.count(target.substr(8, target.size() - 9)) > 0) {
        owns = true;
        break;
      }
    }
    ::closedir(descriptors);
    if (owns) owners.push_back(static_cast<pid_t>(std::atol(process->d_name)));
  }
  ::closedir(processes);
  return owners;
}

std::string executableOfProcess(pid_t pid) {
  std::string target = readLink("/proc/" + std::to_string(pid) + "/exe");
  // A replaced executable reads "PATH (deleted)".
  constexpr std::string_view deleted = " (deleted)";
  if (target.ends_with(deleted)) target.erase(target.size() - deleted.size());
  return target;
}

}  // namespace quorvel
