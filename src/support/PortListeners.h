// Which processes listen on a TCP port, read from /proc (the Linux stand-in
// for "lsof -ti tcp:PORT -sTCP:LISTEN").
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvel {

// Process ids with a socket listening on port (IPv4 or IPv6). Processes whose
// file descriptors can't be read (another user's) are not found.
std::vector<pid_t> processesListeningOn(int port);

// The process's executable path (the target of /proc/PID/exe), empty when unreadable.
std::string executableOfProcess(pid_t pid);

}  // namespace quorvel
