// The start of both stand-in programs: notes on stderr, the argument check
// (refusal = exit status 2), --help, and the "start" line of the request log.
#pragma once

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Arguments.h"
#include "RequestLog.h"
#include "Settings.h"
#include "StandinServer.h"
#include "StopFlag.h"

namespace quorvel::standin {

// Writes each line of `text` to stderr as "<program>: <line>".
void emitNotes(const std::string& program, const std::string& text);

struct StartOutcome {
  std::optional<int> exitStatus;  // set when the program should end now
  ParsedArguments arguments;
};

// Parses the arguments and logs them:
//   accepted → {"event":"start","server":…,"args":[…],"pid":…,"env_key_set":…}
//   refused  → {"event":"refused","server":…,"args":[…],"pid":…,"error":…} and exit status 2
//   --help   → usage on stdout and exit status 0.
StartOutcome startProgram(const std::string& program, const std::string& serverName,
                          const std::vector<std::string>& args, const std::vector<FlagSpec>& flags,
                          bool keySet, RequestLog& log);

// {"event":"stop","server":…,"pid":…}
void logStop(const std::string& serverName, RequestLog& log);

// Whether `path` lies inside a folder named "neural-engine".
bool insideNeuralEngineFolder(const std::string& path);

// What both programs do first: the stop flag raised by SIGTERM and SIGINT,
// the settings and the request log (their notes on stderr), and the checked
// arguments. REQUIRES: created first thing in main, before any other thread
// starts (SignalWatcher's rule).
class StandinProgram {
 public:
  StandinProgram(const char* program, std::string serverName, Flavour flavour, int argc, char** argv,
                 const std::vector<FlagSpec>& flags);
  StandinProgram(const StandinProgram&) = delete;
  StandinProgram& operator=(const StandinProgram&) = delete;

  // Set when the program should end now with this status (refused
  // arguments, --help).
  const std::optional<int>& exitStatus() const { return exitStatus_; }

  // The script's cues, read by `load` (path, notes), with its notes on stderr.
  template <typename Load>
  auto loadScript(Load load) {
    std::ostringstream notes;
    auto cues = load(settings.scriptPath, notes);
    emitNotes(program, notes.str());
    return cues;
  }

  // Binds the server to --host and --port (127.0.0.1:8080 when absent); on
  // failure says why on stderr and answers false.
  bool listen(StandinServer& server) const;

  // The program's server, not yet bound.
  StandinServer server() { return StandinServer(program, serverName, settings, log, stop); }
  // {"event":"stop",…} in the request log.
  void logStopped() { logStop(serverName, log); }

  const char* const program;
  const std::string serverName;
  StopFlag stop;

 private:
  SignalWatcher watcher_{stop};
  std::ostringstream startNotes_;

 public:
  const Settings settings;
  RequestLog log;
  ParsedArguments arguments;

 private:
  std::optional<int> exitStatus_;
};

}  // namespace quorvel::standin
