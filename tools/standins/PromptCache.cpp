// Prompt tokens and the per-slot prompt cache of the llama stand-in.
#include "PromptCache.h"

#include <algorithm>

namespace quorvel::standin {

namespace {

// Each token carries its kind in its first byte, so a role marker never
// equals a word whatever the word is.
constexpr char kRole = 'r';
constexpr char kWord = 'w';

bool isMarker(const std::string& token) { return !token.empty() && token.front() == kRole; }

std::size_t countWordTokens(const std::vector<std::string>& tokens, std::size_t count) {
  return static_cast<std::size_t>(
      std::count_if(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(count),
                    [](const std::string& token) { return !isMarker(token); }));
}

}  // namespace

std::vector<std::string> promptTokens(const std::vector<ChatMessage>& messages) {
  std::vector<std::string> tokens;
  for (const ChatMessage& message : messages) {
    tokens.push_back(kRole + message.role);
    for (const std::string& token : splitTokens(message.text)) {
      // White space alone (an empty-looking message) is no word.
      if (countWords(token) == 0) continue;
      tokens.push_back(kWord + token);
    }
  }
  return tokens;
}

std::size_t commonPrefix(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const auto [left, right] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return static_cast<std::size_t>(left - a.begin());
}

PromptReading readPrompt(const std::vector<std::string>& held, const std::vector<std::string>& prompt) {
  PromptReading reading;
  reading.words = countWordTokens(prompt, prompt.size());
  reading.cached = countWordTokens(prompt, commonPrefix(held, prompt));
  // The last token is always evaluated again, for the answer's first logits.
  if (reading.words > 0 && reading.cached == reading.words) reading.cached -= 1;
  return reading;
}

std::size_t PromptCache::shared(int slot, const std::vector<std::string>& prompt) const {
  std::scoped_lock lock(mutex_);
  if (slot < 0 || static_cast<std::size_t>(slot) >= held_.size()) return 0;
  return countWordTokens(prompt, commonPrefix(held_[static_cast<std::size_t>(slot)], prompt));
}

PromptReading PromptCache::read(int slot, const std::vector<std::string>& prompt) const {
  std::scoped_lock lock(mutex_);
  if (slot < 0 || static_cast<std::size_t>(slot) >= held_.size()) return readPrompt({}, prompt);
  return readPrompt(held_[static_cast<std::size_t>(slot)], prompt);
}

void PromptCache::keep(int slot, std::vector<std::string> prompt) {
  std::scoped_lock lock(mutex_);
  if (slot < 0 || static_cast<std::size_t>(slot) >= held_.size()) return;
  held_[static_cast<std::size_t>(slot)] = std::move(prompt);
}

}  // namespace quorvel::standin
