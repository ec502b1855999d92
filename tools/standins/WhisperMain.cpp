// quorvel-standin-whisper: stands in for whisper.cpp's whisper-server where
// no speech model exists (tests, benchmarks, demos). It takes the server's
// arguments, answers its readiness probe and transcription request from a
// script, and can be slowed down or made to fail on purpose.
#include <unistd.h>

#include <iostream>
#include <sstream>

#include "Arguments.h"
#include "RequestLog.h"
#include "Script.h"
#include "Settings.h"
#include "StandinServer.h"
#include "Startup.h"
#include "StopFlag.h"
#include "WhisperService.h"

using namespace quorvel::standin;

namespace {

const char* const kProgram = "quorvel-standin-whisper";

std::vector<FlagSpec> whisperFlags() {
  return {
      {"-m", true, nonEmpty(), "model file"},
      {"--host", true, nonEmpty(), "address to listen on (default 127.0.0.1)"},
      {"--port", true, integerBetween(1, 65535), "port to listen on (default 8080)"},
      {"-t", true, integerBetween(1, 1024), "threads"},
      {"-l", true, nonEmpty(), "spoken language (default en)"},
  };
}

}  // namespace

int main(int argc, char** argv) {
  StopFlag stop;
  SignalWatcher watcher(stop);

  std::ostringstream notes;
  const Settings settings = readSettings(Flavour::whisper, notes);
  RequestLog log(settings.logPath, notes);
  emitNotes(kProgram, notes.str());

  const std::vector<std::string> args(argv + 1, argv + argc);
  StartOutcome start = startProgram(kProgram, "whisper", args, whisperFlags(), settings.key.has_value(), log);
  if (start.exitStatus) return *start.exitStatus;
  const ParsedArguments& arguments = start.arguments;

  notes.str("");
  std::vector<TranscriptCue> cues = loadTranscriptCues(settings.scriptPath, notes);
  emitNotes(kProgram, notes.str());

  // whisper-server loads its model before it listens: until then connections are refused.
  if (!stop.sleepFor(std::chrono::milliseconds(static_cast<long long>(settings.startMs)))) {
    logStop("whisper", log);
    return 0;
  }
  const std::string model = arguments.last("-m", "models/ggml-base.en.bin");
  if (insideNeuralEngineFolder(model)) std::cout << "Core ML model loaded" << std::endl;

  StandinServer server(kProgram, "whisper", settings, log, stop);
  WhisperService service(server, settings, log, stop, std::move(cues), arguments.last("-l", "en"));
  service.addRoutes();
  const std::string host = arguments.last("--host", "127.0.0.1");
  const int port = std::stoi(arguments.last("--port", "8080"));
  if (auto failure = server.bind(host, port)) {
    std::cerr << kProgram << ": cannot listen on " << host << ":" << port << ": " << *failure << std::endl;
    return 1;
  }
  const bool clean = server.run();
  logStop("whisper", log);
  return clean ? 0 : 1;
}
