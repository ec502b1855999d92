// Program start shared by the stand-ins.
#include "Startup.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <sstream>

namespace quorvel::standin {

void emitNotes(const std::string& program, const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) std::cerr << program << ": " << line << "\n";
  std::cerr.flush();
}

StartOutcome startProgram(const std::string& program, const std::string& serverName,
                          const std::vector<std::string>& args, const std::vector<FlagSpec>& flags,
                          bool keySet, RequestLog& log) {
  StartOutcome outcome;
  ParseOutcome parsed = parseArguments(args, flags);
  if (!parsed.arguments) {
    std::cerr << program << ": error: " << parsed.error << "\n"
              << program << ": run with --help for the accepted arguments" << std::endl;
    log.append({{"event", "refused"}, {"server", serverName}, {"args", args},
                {"pid", ::getpid()}, {"error", parsed.error}});
    outcome.exitStatus = 2;
    return outcome;
  }
  if (parsed.arguments->helpRequested) {
    std::cout << usageText(program, flags) << std::flush;
    outcome.exitStatus = 0;
    return outcome;
  }
  log.append({{"event", "start"}, {"server", serverName}, {"args", args},
              {"pid", ::getpid()}, {"env_key_set", keySet}});
  outcome.arguments = std::move(*parsed.arguments);
  return outcome;
}

void logStop(const std::string& serverName, RequestLog& log) {
  log.append({{"event", "stop"}, {"server", serverName}, {"pid", ::getpid()}});
}

bool insideNeuralEngineFolder(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (const auto& part : folder) {
    if (part == "neural-engine") return true;
  }
  return false;
}

StandinProgram::StandinProgram(const char* program, std::string serverName, Flavour flavour, int argc,
                               char** argv, const std::vector<FlagSpec>& flags)
    : program(program),
      serverName(std::move(serverName)),
      settings(readSettings(flavour, startNotes_)),
      log(settings.logPath, startNotes_) {
  emitNotes(program, startNotes_.str());
  const std::vector<std::string> args(argv + 1, argv + argc);
  StartOutcome start = startProgram(program, this->serverName, args, flags, settings.key.has_value(), log);
  exitStatus_ = start.exitStatus;
  arguments = std::move(start.arguments);
}

bool StandinProgram::listen(StandinServer& server) const {
  const std::string host = arguments.last("--host", "127.0.0.1");
  const int port = std::stoi(arguments.last("--port", "8080"));
  if (auto failure = server.bind(host, port)) {
    std::cerr << program << ": cannot listen on " << host << ":" << port << ": " << *failure << std::endl;
    return false;
  }
  return true;
}

}  // namespace quorvel::standin
