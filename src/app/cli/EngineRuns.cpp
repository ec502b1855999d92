// The three engine runs of the command line, on the same Servers and Pipeline
// as the application.
#include "app/cli/EngineRuns.h"

#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/history/DictationLog.h"
#include "app/cli/SpokenDictation.h"
#include "audio/Wav.h"
#include "engine/CleanupModel.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/RemoteServer.h"
#include "engine/Servers.h"
#include "engine/TalkAhead.h"
#include "engine/Transcription.h"
#include "support/Files.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/ProgramValues.h"
#include "support/ReplacingFile.h"
#include "support/Tasks.h"

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSpeechModel = "ggml-small.en-q5_1.bin";
constexpr std::chrono::minutes kTalkAheadWait{5};

std::int64_t millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Runs the work on its own task while this thread waits, as the runs do.
int onTask(const std::function<int()>& work) { return runTask(work).get(); }

// The element after the first exact match of flag, if any.
std::optional<std::string> valueAfter(const std::vector<std::string>& args, const std::string& flag) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == flag) return i + 1 < args.size() ? std::optional(args[i + 1]) : std::nullopt;
  }
  return std::nullopt;
}

bool hasFlag(const std::vector<std::string>& args, const std::string& flag) {
  for (const auto& arg : args) {
    if (arg == flag) return true;
  }
  return false;
}

// The whole text as a finite number of type T, or nothing.
template <class T>
std::optional<T> parseNumber(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  T value{};
  const char* end = text->data() + text->size();
  const auto [at, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A line of a file and its number there (from 1, empty lines counted).
struct NumberedLine {
  std::string text;
  std::int64_t number = 0;
};

std::vector<NumberedLine> nonEmptyNumberedLines(const std::string& text) {
  std::vector<NumberedLine> lines;
  size_t start = 0;
  std::int64_t number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++number;
    if (end > start) lines.push_back({text.substr(start, end - start), number});
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> wordsAtSpaces(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return words;
}

std::string firstWords(const std::vector<std::string>& words, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < words.size(); ++i) {
    if (i > 0) text += ' ';
    text += words[i];
  }
  return text;
}

// What a server elsewhere did (a refused key says so in those words).
void printRemoteProblems(Servers& servers) {
  for (const auto& remote : {servers.speechRemote(), servers.languageRemote()}) {
    if (!remote) continue;
    if (auto refused = remote->refusal()) {
      std::printf("%s\n", refused->c_str());
    } else if (auto problem = remote->problem()) {
      std::printf("%s\n", problem->c_str());
    }
  }
}

// Why a server that should be running is not: how it ended and its log's
// end, or what a server elsewhere did.
void printServerExits(Servers& servers) {
  for (const auto& report : {servers.whisperExit(), servers.llamaExit()}) {
    if (report) std::printf("%s\n", report->c_str());
  }
  printRemoteProblems(servers);
}

// A language model elsewhere decides the request once it answered: with its
// cleanup layer the trained request, else the standard model's.
void adoptRemoteLanguageModel(Servers& servers, Pipeline& pipeline) {
  if (!servers.languageRemote()) return;
  pipeline.trained = servers.usesLayers();
  std::fprintf(stderr, "language model: %s at %s%s\n", servers.remoteModel().c_str(),
               servers.languageRemote()->hostForUser().c_str(),
               pipeline.trained ? " with its cleanup layer" : "");
}

// Starts the trained cleanup model when there is one, else the base model as
// the standard one, and says which on standard error (standard output keeps
// the report's own format).
void startLanguageModel(Servers& servers, Pipeline& pipeline) {
  if (servers.languageRemote()) return;  // nothing starts here
  const CleanupModelChoice model = chooseCleanupModel();
  std::fprintf(stderr, "language model: %s\n", model.description.c_str());
  pipeline.trained = model.trained;
  servers.startLlama(model.modelFile);
}

bool startBothServers(Servers& servers, Pipeline& pipeline) {
  servers.killStale();
  servers.startWhisper(kSpeechModel);
  startLanguageModel(servers, pipeline);
  if (!servers.waitUntilReady(std::chrono::seconds(120))) {
    std::printf("models failed to start\n");
    printServerExits(servers);
    std::fflush(stdout);
    // Nothing is left running behind the user's back.
    servers.stopAll();
    return false;
  }
  adoptRemoteLanguageModel(servers, pipeline);
  pipeline.warmUp();
  return true;
}

// What went wrong in a run, for its closing lines and its exit status.
struct RunTroubles {
  int unreadable = 0;               // recordings that could not be read
  std::atomic<int> speechFailed{0};  // speech requests that failed (each heard as silence)
  int unanswered = 0;               // dictations that fell back: the language model gave no answer
};

// A recording through the chunker, the chain, talk-ahead and finish; false
// when the file could not be read.
bool testOneFile(Servers& servers, const std::shared_ptr<Pipeline>& pipeline, const std::string& path,
                 const std::vector<std::string>& args, RunTroubles& troubles) {
  const auto bytes = readWholeFileOrError(path);
  auto read = bytes ? decodeWav(*bytes) : Result<Samples>(Error{bytes.error()});
  if (!read) {
    std::printf("cannot read %s: %s\n", path.c_str(), read.error().c_str());
    std::fflush(stdout);
    return false;
  }
  const auto samples = std::make_shared<const Samples>(std::move(read).value());
  const auto count = static_cast<std::int64_t>(samples->size());

  SpeakingOptions options;
  if (auto v = parseNumber<double>(valueAfter(args, "--chunk-min"))) options.chunker.minPiece = *v;
  if (auto v = parseNumber<int>(valueAfter(args, "--pause-ms"))) options.chunker.pauseMs = *v;
  if (auto v = parseNumber<double>(valueAfter(args, "--pause-ratio"))) options.chunker.pauseRatio = *v;
  options.instant = hasFlag(args, "--instant");

  const SpokenDictation spoken = dictateAsSpoken(servers, pipeline, samples, options);
  const DictationResult& result = spoken.result;
  const std::int64_t speechMs = spoken.speechMs;
  troubles.speechFailed.fetch_add(spoken.speechFailed);
  if (spoken.languageUnanswered) ++troubles.unanswered;
  const std::string name = fs::path(path).filename().string();
  std::printf(
      "%s | audio %.1fs, %d chunk(s) | after release: speech %lldms + cleanup %lldms = %.2fs | %s, %s "
      "model\n  raw:   %s\n  typed: %s\n",
      name.c_str(), static_cast<double>(count) / kSampleRate, spoken.pieces,
      static_cast<long long>(speechMs), static_cast<long long>(result.cleanupMs),
      static_cast<double>(speechMs + result.cleanupMs) / 1000.0, result.path.c_str(),
      result.model.c_str(), result.raw.c_str(), result.final.c_str());
  if (result.timings) {
    const EngineTimings& t = *result.timings;
    std::printf("  engine: read %lld tokens in %lld ms, wrote %lld in %lld ms; warmed while talking: %s\n",
                static_cast<long long>(t.read), static_cast<long long>(t.readMs),
                static_cast<long long>(t.wrote), static_cast<long long>(t.writeMs),
                result.warmed ? "true" : "false");
  }
  // A server that died during the recording explains an empty or rough text.
  printServerExits(servers);
  std::fflush(stdout);
  return true;
}

// The closing lines of a run that did not go well; the exit status.
int reportTroubles(const RunTroubles& troubles, int dictations) {
  if (troubles.unreadable > 0) {
    std::printf("%d recording(s) could not be read\n", troubles.unreadable);
  }
  if (const int failed = troubles.speechFailed.load(); failed > 0) {
    std::printf("%d speech request(s) failed and were heard as silence\n", failed);
  }
  if (troubles.unanswered > 0) {
    std::printf("%d of %d dictation(s) fell back: the language model gave no answer\n", troubles.unanswered,
                dictations);
  }
  std::fflush(stdout);
  const bool failed =
      troubles.unreadable > 0 || troubles.speechFailed.load() > 0 || troubles.unanswered > 0;
  return failed ? 1 : 0;
}

// Options of "--test" that take the next element as their value, and those that stand alone.
bool takesValue(const std::string& arg) {
  return arg == "--chunk-min" || arg == "--pause-ms" || arg == "--pause-ratio";
}
bool isTestFlag(const std::string& arg) { return arg == "--instant" || arg == "--no-trim"; }

}  // namespace

int runTest(const std::vector<std::string>& args) {
  std::vector<std::string> wavs;
  bool unusable = false;
  bool after = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (after) {
      if (lowered(arg).ends_with(".wav")) {
        wavs.push_back(arg);
      } else if (!isTestFlag(arg) && !takesValue(arg) && !(i > 0 && takesValue(args[i - 1]))) {
        std::printf("skipped %s: not a .wav file or an option of --test\n", arg.c_str());
        unusable = true;
      }
    }
    if (arg == "--test") after = true;
  }
  std::fflush(stdout);
  if (hasFlag(args, "--no-trim")) trimPieceEdges().store(false);

  const int status = onTask([&] {
    Servers servers;
    const auto pipeline = Pipeline::create(servers);
    if (!startBothServers(servers, *pipeline)) return 1;
    RunTroubles troubles;
    for (const auto& path : wavs) {
      if (!testOneFile(servers, pipeline, path, args, troubles)) ++troubles.unreadable;
    }
    servers.stopAll();
    return reportTroubles(troubles, static_cast<int>(wavs.size()) - troubles.unreadable);
  });
  return unusable ? 2 : status;
}

int runBank(const std::string& in, const std::string& out) {
  // A run beside a running application must not take its language-model port,
  // also not through a value the configuration would read as the default.
  // A language model elsewhere takes no local port.
  const bool remote = !RemoteSettings::current().cleanup.address.empty();
  const char* port = std::getenv("QUORVEL_LLAMA_PORT");
  if (!remote && (!port || std::string(port) == "8179" || Config::llamaPort() == 8179)) {
    std::printf("%s\n", kBankPortMessage);
    std::fflush(stdout);
    return 2;
  }
  const auto say = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  // Writing the output over the input would lose the bank.
  if (struct stat input {}, output {}; ::stat(in.c_str(), &input) == 0 &&
                                       ::stat(out.c_str(), &output) == 0 && input.st_dev == output.st_dev &&
                                       input.st_ino == output.st_ino) {
    say("can't write " + out + ": it is the input file " + in);
    return 2;
  }
  const auto bank = readWholeFileOrError(in);
  if (!bank) {
    say("can't read " + in + ": " + bank.error());
    return 1;
  }
  // Written beside OUT and moved into place at the end: an interrupted or
  // failed run leaves OUT as it was.
  auto opened = ReplacingFile::open(out);
  if (!opened) {
    say("can't write " + out + ": " + opened.error());
    return 1;
  }
  std::unique_ptr<ReplacingFile> output = std::move(opened).value();

  return onTask([&] {
    Servers servers;
    const auto pipeline = Pipeline::create(servers);
    const CleanupConfig cfg = CleanupConfig::load(engineCleanupFiles());
    const auto configWith = [&cfg](std::vector<std::string> names) {
      CleanupConfig c;
      c.system = cfg.system;
      c.examples = cfg.examples;
      c.dictionary = std::move(names);
      return c;
    };

    // Servers of an earlier run that crashed would hold the port.
    servers.killStale();
    startLanguageModel(servers, *pipeline);
    if (!servers.waitForLlama()) {
      if (!servers.languageRemote()) std::printf("the language model failed to start\n");
      printServerExits(servers);
      std::fflush(stdout);
      servers.stopAll();
      return 1;
    }
    adoptRemoteLanguageModel(servers, *pipeline);
    pipeline->configOverride = configWith({});
    (void)pipeline->finish("warm up", std::nullopt);

    const std::vector<NumberedLine> lines = nonEmptyNumberedLines(*bank);
    int unanswered = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      Json record = Json::object();
      const auto line = parseJson(lines[i].text);
      if (!line || !line->is_object()) {
        // A record all the same, so the output has a line for every line read.
        record["id"] = static_cast<std::int64_t>(i);
        record["line"] = lines[i].number;
        record["error"] = line ? "not a JSON object" : "not JSON";
      } else {
        std::vector<std::string> names;
        if (const auto it = line->find("names"); it != line->end() && it->is_array()) {
          bool allStrings = true;
          for (const auto& name : *it) allStrings = allStrings && name.is_string();
          if (allStrings) names = it->get<std::vector<std::string>>();
        }
        pipeline->configOverride = configWith(std::move(names));
        pipeline->testBefore = stringMember(*line, "before");
        pipeline->testAfter = stringMember(*line, "after");
        pipeline->testField = stringMember(*line, "field");
        const std::string raw = stringMember(*line, "raw").value_or("");
        const std::int64_t unansweredBefore = pipeline->unansweredRequests();

        std::optional<TalkAheadHead> ahead;
        const auto words = wordsAtSpaces(raw);
        if (TalkAhead::enabled() && words.size() > 50) {
          const auto talk = TalkAhead::create(pipeline);
          for (size_t k = 50; k < words.size(); k += 50) {
            talk->update(firstWords(words, k));
            (void)talk->waitUntilIdle(kTalkAheadWait);
          }
          ahead = talk->stop();
        }

        const auto start = Clock::now();
        const DictationResult result = pipeline->finish(raw, ahead);
        const std::int64_t totalMs = millisecondsSince(start);
        if (pipeline->unansweredRequests() > unansweredBefore) ++unanswered;
        const auto id = line->find("id");
        record["id"] = id != line->end() ? *id : Json(static_cast<std::int64_t>(i));
        record["final"] = result.final;
        record["path"] = result.path;
        record["cleanup_ms"] = result.cleanupMs;
        record["total_ms"] = totalMs;
        record["ahead_pieces"] = result.aheadPieces;
        record["warmed"] = result.warmed;
        record["engine"] = result.timings ? result.timings->dict() : Json::object();
      }
      if (const Status written = output->write(compactJson(record) + "\n"); !written) {
        say("can't write " + out + ": " + written.error());
        servers.stopAll();
        return 1;
      }
      if ((i + 1) % 50 == 0) {
        std::printf("  %zu of %zu\n", i + 1, lines.size());
        std::fflush(stdout);
      }
    }
    servers.stopAll();
    if (const Status written = output->commit(); !written) {
      say("can't write " + out + ": " + written.error());
      return 1;
    }
    if (unanswered > 0) {
      printRemoteProblems(servers);
      std::printf("%d of %zu line(s) fell back: the language model gave no answer\n", unanswered, lines.size());
      std::fflush(stdout);
      return 1;
    }
    return 0;
  });
}

int runReplay() {
  struct Kept {
    std::string time;
    std::string raw;
  };
  const fs::path history = dictationLogFile();
  const auto text = readWholeFileOrError(history);
  if (!text) {
    std::printf("can't read %s: %s\n", history.c_str(), text.error().c_str());
    std::fflush(stdout);
    return 1;
  }
  std::vector<Kept> kept;
  for (const auto& numbered : nonEmptyNumberedLines(*text)) {
    const auto line = parseJson(numbered.text);
    if (!line || !line->is_object()) continue;
    const auto audio = line->find("audio_s");
    if (audio == line->end() || !audio->is_number() || !(audio->get<double>() > 10)) continue;
    kept.push_back({stringMember(*line, "time").value_or(""), stringMember(*line, "raw").value_or("")});
  }

  return onTask([&] {
    Servers servers;
    const auto pipeline = Pipeline::create(servers);
    if (!startBothServers(servers, *pipeline)) return 1;
    RunTroubles troubles;
    for (const auto& entry : kept) {
      const std::int64_t unansweredBefore = pipeline->unansweredRequests();
      const auto start = Clock::now();
      const DictationResult result = pipeline->finish(entry.raw, std::nullopt);
      const double seconds = static_cast<double>(millisecondsSince(start)) / 1000.0;
      if (pipeline->unansweredRequests() > unansweredBefore) ++troubles.unanswered;
      std::printf("[%s] cleanup %.2fs | %s\n%s\n\n", entry.time.c_str(), seconds, result.path.c_str(),
                  result.final.c_str());
      std::fflush(stdout);
    }
    servers.stopAll();
    return reportTroubles(troubles, static_cast<int>(kept.size()));
  });
}

}  // namespace quorvel
