// The ordered chain of piece transcriptions.
#include "audio/TranscriptChain.h"

#include <deque>
#include <string_view>
#include <utility>

#include "audio/Levels.h"
#include "support/Tasks.h"

namespace quorvel {

namespace {

constexpr std::size_t kPromptWords = 40;

std::string joined(const std::string& before, const std::string& after) {
  if (before.empty()) return after;
  if (after.empty()) return before;
  return before + " " + after;
}

}  // namespace

std::string promptContext(const std::string& textSoFar) {
  std::deque<std::string_view> words;
  const std::string_view text = textSoFar;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::size_t wordEnd = space == std::string_view::npos ? text.size() : space;
    if (wordEnd > at) {
      words.push_back(text.substr(at, wordEnd - at));
      if (words.size() > kPromptWords) words.pop_front();
    }
    at = wordEnd + 1;
  }
  std::string prompt;
  for (const auto word : words) {
    if (!prompt.empty()) prompt.push_back(' ');
    prompt.append(word);
  }
  return prompt;
}

void TranscriptChain::add(Samples piece, Transcriber transcribe) {
  add(std::make_shared<const Samples>(std::move(piece)), std::move(transcribe));
}

void TranscriptChain::add(SharedSamples piece, Transcriber transcribe) {
  std::scoped_lock lock(mutex_);
  ++count_;
  // The task lets go of its inputs once used, so a finished piece's samples
  // and the earlier tasks are not kept alive by the chain's tail.
  tail_ = runTask([previous = tail_, piece = std::move(piece), transcribe = std::move(transcribe),
                   onText = onText_, failure = failure_]() mutable -> std::string {
    std::string before = previous.valid() ? previous.get() : std::string();
    previous = {};
    std::string heard;
    // A transcriber that throws anyway counts as one that heard nothing, so
    // the pieces after it still go on.
    try {
      bool failedBefore = false;
      {
        std::scoped_lock lock(failure->mutex);
        failedBefore = failure->reason.has_value();
      }
      // Once a piece failed, the recording is kept whole to be tried again:
      // the pieces after it are not sent.
      if (piece && transcribe && !failedBefore) {
        Result<std::string> answer = transcribe(trimEdges(*piece), promptContext(before));
        if (answer) {
          heard = std::move(answer.value());
        } else {
          std::scoped_lock lock(failure->mutex);
          if (!failure->reason) failure->reason = answer.error();
        }
      }
    } catch (...) {
      heard.clear();
    }
    piece.reset();
    transcribe = nullptr;
    std::string text = joined(before, heard);
    if (onText) {
      try {
        onText(text);
      } catch (...) {
      }
    }
    onText = nullptr;
    return text;
  });
}

std::string TranscriptChain::result() const {
  const auto last = tail();
  return last.valid() ? last.get() : std::string();
}

std::shared_future<std::string> TranscriptChain::tail() const {
  std::scoped_lock lock(mutex_);
  return tail_;
}

int TranscriptChain::count() const {
  std::scoped_lock lock(mutex_);
  return count_;
}

std::optional<std::string> TranscriptChain::failure() const {
  std::scoped_lock lock(failure_->mutex);
  return failure_->reason;
}

void TranscriptChain::setOnText(std::function<void(const std::string&)> onText) {
  std::scoped_lock lock(mutex_);
  onText_ = std::move(onText);
}

}  // namespace quorvel
