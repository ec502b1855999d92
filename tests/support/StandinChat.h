// The language-model stand-in as the engine's tests drive it: the sentences
// they dictate, the script of answers it reads, and the chat requests it logged.
#pragma once

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "support/Json.h"

namespace quorvel::testing {

// n sentences of seven words each, none of which needs cleaning; nine make
// one talk-ahead group of 63 words.
inline std::string sevenWordSentences(int n, const std::string& topic) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (!text.empty()) text += " ";
    text += "We should check the " + topic + " number " + std::to_string(i) + ".";
  }
  return text;
}

// Writes the stand-in's script: each answer keyed by the text it is asked to clean.
inline void writeChatScript(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& answers) {
  std::string script;
  for (const auto& [match, answer] : answers) {
    script += compactJson(Json{{"match", match}, {"answer", answer}}) + "\n";
  }
  writeTextFile(file, script);
}

// The bodies of the chat requests the stand-in logged, in order.
inline std::vector<Json> loggedChatRequests(const fs::path& requestLog) {
  std::vector<Json> bodies;
  std::ifstream in(requestLog);
  for (std::string line; std::getline(in, line);) {
    const auto record = parseJson(line);
    if (!record || record->value("event", "") != "request" ||
        record->value("path", "") != "/v1/chat/completions" || !record->contains("body")) {
      continue;
    }
    bodies.push_back((*record)["body"]);
  }
  return bodies;
}

// The text a request asks to clean: its last message without the header.
inline std::string dictationOf(const Json& messages) {
  const std::string content = messages.back()["content"].get<std::string>();
  const auto label = content.rfind("Dictation: ");
  return label == std::string::npos ? content : content.substr(label + 11);
}

// The stand-in's surroundings: a data folder with the user's settings beside
// it, a free port, its request log and script, no pacing, and none of the
// switches a user's environment might set.
struct StandinChatEnvironment {
  TempDir root;
  fs::path requestLog = root / "requests.jsonl";
  fs::path scriptFile = root / "script.jsonl";
  ScopedEnv rootVariable{"QUORVEL_ROOT", (root / "data").string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root / "config").string()};
  ScopedEnv llamaExe{"QUORVEL_LLAMA_SERVER", buildProgram("quorvel-standin-llama").string()};
  ScopedEnv llamaPort{"QUORVEL_LLAMA_PORT", std::to_string(freeLoopbackPort())};
  ScopedEnv log{"QUORVEL_STANDIN_LOG", requestLog.string()};
  ScopedEnv scriptVariable{"QUORVEL_STANDIN_SCRIPT", scriptFile.string()};
  ScopedEnv promptSpeed{"QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", "0"};
  ScopedEnv tokenSpeed{"QUORVEL_STANDIN_MS_PER_TOKEN", "0"};
  ScopedEnv talk{"QUORVEL_TALK_AHEAD", std::nullopt};
  ScopedEnv pieces{"QUORVEL_LONG_PIECES", std::nullopt};
  ScopedEnv noLayer{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase{"QUORVEL_BASE_MODEL", std::nullopt};
};

}  // namespace quorvel::testing
