// quorvel-standin-llama: stands in for llama.cpp's llama-server where no
// language model exists (tests, benchmarks, demos). It takes the server's
// arguments, answers /health and chat completions from a script (by default
// the dictation unchanged), and can be slowed down or made to fail on purpose.
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

#include "Arguments.h"
#include "LlamaService.h"
#include "RequestLog.h"
#include "Script.h"
#include "Settings.h"
#include "StandinServer.h"
#include "Startup.h"
#include "StopFlag.h"

using namespace quorvel::standin;

namespace {

const char* const kProgram = "quorvel-standin-llama";

// "--lora" takes one or more adapter paths joined by ",".
ValueCheck adapterList() {
  return [](const std::string& value) -> std::optional<std::string> {
    std::istringstream parts(value + ",");
    std::size_t count = 0;
    for (std::string part; std::getline(parts, part, ',');) {
      if (part.empty()) return "an empty adapter path";
      ++count;
    }
    return count == 0 ? std::optional<std::string>("no adapter path") : std::nullopt;
  };
}

std::vector<FlagSpec> llamaFlags() {
  return {
      {"-m", true, nonEmpty(), "model file"},
      {"--lora-init-without-apply", false, nullptr, "load adapters without applying them"},
      {"--lora", true, adapterList(), "adapter files, joined by \",\"; may be repeated"},
      {"--host", true, nonEmpty(), "address to listen on (default 127.0.0.1)"},
      {"--port", true, integerBetween(1, 65535), "port to listen on (default 8080)"},
      {"-c", true, integerBetween(0, 10'000'000), "context size"},
      {"-np", true, integerBetween(1, 256), "parallel slots"},
      {"-fa", true, oneOf({"on", "off", "auto"}), "flash attention"},
      {"--jinja", false, nullptr, "use the model's chat template"},
      {"--no-webui", false, nullptr, "no web page"},
      {"--no-slots", false, nullptr, "no /slots endpoint"},
      {"--spec-type", true, nonEmpty(), "speculative decoding kind"},
      {"--spec-ngram-simple-size-n", true, integerBetween(1, 1024), "n-gram draft lookup size"},
      {"--spec-ngram-simple-size-m", true, integerBetween(1, 1024), "n-gram draft length"},
  };
}

// Fields of a "--lora" list read as llama-server reads it: a CSV row, where a
// field in double quotes may hold commas and doubled quotes.
std::size_t csvFieldCount(const std::string& list) {
  std::size_t fields = 1;
  bool quoted = false;
  bool fieldEmpty = true;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (c == '"') {
      if (!quoted && fieldEmpty) {
        quoted = true;
      } else if (quoted && i + 1 < list.size() && list[i + 1] == '"') {
        ++i;
      } else if (quoted) {
        quoted = false;
      }
      fieldEmpty = false;
    } else if (c == ',' && !quoted) {
      ++fields;
      fieldEmpty = true;
    } else {
      fieldEmpty = false;
    }
  }
  return fields;
}

std::size_t adapterCount(const ParsedArguments& arguments) {
  std::size_t count = 0;
  for (const std::string& list : arguments.all("--lora")) count += csvFieldCount(list);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  StandinProgram program(kProgram, "llama", Flavour::llama, argc, argv, llamaFlags());
  if (program.exitStatus()) return *program.exitStatus();
  std::vector<AnswerCue> cues = program.loadScript(loadAnswerCues);
  const ParsedArguments& arguments = program.arguments;
  StopFlag& stop = program.stop;

  LlamaSetup setup;
  setup.modelName = std::filesystem::path(arguments.last("-m", "model.gguf")).filename().string();
  setup.loraCount = adapterCount(arguments);
  setup.slots = std::stoi(arguments.last("-np", "1"));

  StandinServer server = program.server();
  LlamaService service(server, program.settings, program.log, stop, std::move(cues), setup);
  service.addRoutes();
  // llama-server listens at once and answers 503 until its model has loaded.
  if (!program.listen(server)) return 1;
  std::jthread loader([&](std::stop_token) {
    if (!stop.sleepFor(std::chrono::milliseconds(static_cast<long long>(program.settings.startMs)))) return;
    service.markLoaded();
    std::cerr << kProgram << ": model loaded" << std::endl;
  });
  const bool clean = server.run();
  stop.raise();  // ends the loader's wait if serving failed before the model "loaded"
  loader.join();
  program.logStopped();
  return clean ? 0 : 1;
}
