// Loading the JSON-lines answer script.
#include "Script.h"

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "Settings.h"

namespace quorvel::standin {

namespace {

using nlohmann::json;

// Reads "delay_ms" and "fault"; answers an error for the note otherwise.
std::optional<std::string> readExtras(const json& line, Cue& cue) {
  if (line.contains("delay_ms")) {
    const json& delay = line["delay_ms"];
    if (!delay.is_number_integer() || delay.get<long long>() < 0) {
      return "\"delay_ms\" must be an integer >= 0";
    }
    cue.delayMs = std::min(static_cast<double>(delay.get<long long>()), kLongestWaitMs);
  }
  if (line.contains("fault")) {
    const json& fault = line["fault"];
    const std::optional<Fault> parsed =
        fault.is_string() ? parseFault(fault.get<std::string>()) : std::nullopt;
    if (!parsed) return "\"fault\" must be one of hang, http500, notjson, notext, drop, exit";
    cue.fault = *parsed;
  }
  return std::nullopt;
}

// Calls `take` with every JSON-object line; `take` answers an error for the
// note, or nullopt (taken, or silently left to the other stand-in).
void forEachLine(const std::string& path, std::ostream& notes,
                 const std::function<std::optional<std::string>(const json&)>& take) {
  if (path.empty()) return;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    notes << "cannot read the script " << path << "; answering without it\n";
    return;
  }
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) continue;
    const json line = json::parse(text, nullptr, /*allow_exceptions=*/false);
    std::optional<std::string> problem;
    if (line.is_discarded()) {
      problem = "not JSON";
    } else if (!line.is_object()) {
      problem = "not a JSON object";
    } else {
      problem = take(line);
    }
    if (problem) notes << "script line " << number << " skipped: " << *problem << "\n";
  }
}

}  // namespace

std::vector<TranscriptCue> loadTranscriptCues(const std::string& path, std::ostream& notes) {
  std::vector<TranscriptCue> cues;
  forEachLine(path, notes, [&](const json& line) -> std::optional<std::string> {
    if (!line.contains("text")) {
      if (line.contains("match")) return std::nullopt;
      return "neither \"text\" nor \"match\"";
    }
    TranscriptCue cue;
    if (!line["text"].is_string()) return "\"text\" must be a string";
    cue.text = line["text"].get<std::string>();
    if (auto problem = readExtras(line, cue)) return problem;
    cues.push_back(std::move(cue));
    return std::nullopt;
  });
  return cues;
}

std::vector<AnswerCue> loadAnswerCues(const std::string& path, std::ostream& notes) {
  std::vector<AnswerCue> cues;
  forEachLine(path, notes, [&](const json& line) -> std::optional<std::string> {
    if (!line.contains("match")) {
      if (line.contains("text")) return std::nullopt;
      return "neither \"text\" nor \"match\"";
    }
    AnswerCue cue;
    if (!line["match"].is_string()) return "\"match\" must be a string";
    if (!line.contains("answer") || !line["answer"].is_string()) return "\"answer\" must be a string";
    cue.match = line["match"].get<std::string>();
    cue.answer = line["answer"].get<std::string>();
    if (auto problem = readExtras(line, cue)) return problem;
    cues.push_back(std::move(cue));
    return std::nullopt;
  });
  return cues;
}

}  // namespace quorvel::standin
