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
  StandinProgram program(kProgram, "whisper", Flavour::whisper, argc, argv, whisperFlags());
  if (program.exitStatus()) return *program.exitStatus();
  std::vector<TranscriptCue> cues = program.loadScript(loadTranscriptCues);

  // whisper-server loads its model before it listens: until then connections are refused.
  if (!program.stop.sleepFor(std::chrono::milliseconds(static_cast<long long>(program.settings.startMs)))) {
    program.logStopped();
    return 0;
  }
  const std::string model = program.arguments.last("-m", "models/ggml-base.en.bin");
  if (insideNeuralEngineFolder(model)) std::cout << "Core ML model loaded" << std::endl;

  StandinServer server = program.server();
  WhisperService service(server, program.settings, program.log, program.stop, std::move(cues),
                         program.arguments.last("-l", "en"));
  service.addRoutes();
  if (!program.listen(server)) return 1;
  const bool clean = server.run();
  program.logStopped();
  return clean ? 0 : 1;
}
