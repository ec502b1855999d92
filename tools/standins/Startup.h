// The start of both stand-in programs: notes on stderr, the argument check
// (refusal = exit status 2), --help, and the "start" line of the request log.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "RequestLog.h"

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

}  // namespace quorvel::standin
