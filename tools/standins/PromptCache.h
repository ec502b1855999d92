// What llama-server keeps between requests: each slot holds the tokens of the
// last prompt it read, and a prompt read in that slot again evaluates only the
// tokens after the longest common prefix. A prompt the slot already holds
// whole still evaluates its last token, since the answer needs fresh logits.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "Chat.h"

namespace quorvel::standin {

// The prompt as the stand-in's "tokenizer" sees it: for each message a marker
// of its role (not counted as a word), then the message's words (each with the
// white space before it, as splitTokens cuts them). Opaque: compare, count.
std::vector<std::string> promptTokens(const std::vector<ChatMessage>& messages);

struct PromptReading {
  std::size_t words = 0;   // word tokens in the prompt
  std::size_t cached = 0;  // of those, reused from the slot
  std::size_t evaluated() const { return words - cached; }
};

// How a slot holding `held` reads `prompt`.
PromptReading readPrompt(const std::vector<std::string>& held, const std::vector<std::string>& prompt);

// Tokens at the start of both lists that are equal.
std::size_t commonPrefix(const std::vector<std::string>& a, const std::vector<std::string>& b);

// The held prompts of every slot. Thread-safe.
class PromptCache {
 public:
  explicit PromptCache(int slots) : held_(static_cast<std::size_t>(slots < 1 ? 1 : slots)) {}

  // Words of `prompt` the slot shares at its start (for choosing a slot).
  std::size_t shared(int slot, const std::vector<std::string>& prompt) const;
  PromptReading read(int slot, const std::vector<std::string>& prompt) const;
  // The slot now holds `prompt` (called once the prompt has been read).
  void keep(int slot, std::vector<std::string> prompt);

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<std::string>> held_;  // guarded by mutex_
};

}  // namespace quorvel::standin
