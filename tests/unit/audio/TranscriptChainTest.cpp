// The ordered chain of piece transcriptions, with a fake transcriber.
#include "audio/TranscriptChain.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "AudioTestHelpers.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::constant;

// A piece whose first sample names it; the fake answers by that name.
Samples piece(std::int16_t id, std::size_t length = 1000) { return constant(length, id); }

// Answers a scripted text per piece id, after a scripted delay, and records
// the prompts it was given in the order of the calls.
class FakeSpeech {
 public:
  struct Answer {
    std::string text;
    std::chrono::milliseconds delay{0};
  };
  explicit FakeSpeech(std::map<int, Answer> answers) : state_(std::make_shared<State>()) {
    state_->answers = std::move(answers);
  }

  Transcriber transcriber() const {
    return [state = state_](SampleSpan samples, const std::string& context) {
      const int id = samples.empty() ? -1 : samples[0];
      const Answer answer = state->answers.count(id) ? state->answers.at(id) : Answer{};
      {
        std::scoped_lock lock(state->mutex);
        state->calls.push_back({id, context, samples.size()});
      }
      std::this_thread::sleep_for(answer.delay);
      return answer.text;
    };
  }

  struct Call {
    int id;
    std::string context;
    std::size_t samples;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls() const {
    std::scoped_lock lock(state_->mutex);
    return state_->calls;
  }

 private:
  struct State {
    std::map<int, Answer> answers;
    std::mutex mutex;
    std::vector<Call> calls;
  };
  std::shared_ptr<State> state_;
};

TEST(TranscriptChain, EmptyChainGivesNothing) {
  TranscriptChain chain;
  EXPECT_EQ(chain.result(), "");
  EXPECT_EQ(chain.count(), 0);
  EXPECT_FALSE(chain.tail().valid());
}

TEST(TranscriptChain, PiecesAreTranscribedInOrderEvenWhenALaterOneWouldBeFaster) {
  FakeSpeech speech({{1, {"One.", 300ms}}, {2, {"Two.", 0ms}}, {3, {"Three.", 50ms}}});
  TranscriptChain chain;
  std::mutex mutex;
  std::vector<std::string> texts;
  chain.setOnText([&](const std::string& text) {
    std::scoped_lock lock(mutex);
    texts.push_back(text);
  });
  const auto started = std::chrono::steady_clock::now();
  for (std::int16_t id : {1, 2, 3}) chain.add(piece(id), speech.transcriber());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms);  // add returns at once
  EXPECT_EQ(chain.count(), 3);
  EXPECT_EQ(chain.result(), "One. Two. Three.");
  EXPECT_EQ(texts, (std::vector<std::string>{"One.", "One. Two.", "One. Two. Three."}));
  EXPECT_EQ(speech.calls(), (std::vector<FakeSpeech::Call>{
                                {1, "", 1000}, {2, "One.", 1000}, {3, "One. Two.", 1000}}));
}

TEST(TranscriptChain, EmptyPieceLeavesTextAndPromptUnchanged) {
  FakeSpeech speech({{1, {"alpha beta"}}, {2, {""}}, {3, {"gamma"}}});
  TranscriptChain chain;
  for (std::int16_t id : {1, 2, 3}) chain.add(piece(id), speech.transcriber());
  EXPECT_EQ(chain.result(), "alpha beta gamma");
  const auto calls = speech.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].context, "alpha beta");
  EXPECT_EQ(calls[2].context, "alpha beta");
}

TEST(TranscriptChain, EmptyFirstPieceIsLeftOut) {
  FakeSpeech speech({{1, {""}}, {2, {"hello"}}});
  TranscriptChain chain;
  chain.add(piece(1), speech.transcriber());
  chain.add(piece(2), speech.transcriber());
  EXPECT_EQ(chain.result(), "hello");
}

TEST(TranscriptChain, PromptIsTheLastFortyWordsSingleSpaced) {
  std::string hundred;
  for (int word = 1; word <= 100; ++word) hundred += "w" + std::to_string(word) + (word % 7 ? " " : "   ");
  FakeSpeech speech({{1, {hundred}}, {2, {"end"}}});
  TranscriptChain chain;
  chain.add(piece(1), speech.transcriber());
  chain.add(piece(2), speech.transcriber());
  chain.result();
  std::string expected;
  for (int word = 61; word <= 100; ++word) expected += (word > 61 ? " w" : "w") + std::to_string(word);
  EXPECT_EQ(speech.calls().at(1).context, expected);
}

TEST(PromptContext, SplitsOnSpacesOnly) {
  struct Case {
    std::string text;
    std::string prompt;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"  one   two ", "one two"},
      {"line\nbreak and\ttab", "line\nbreak and\ttab"},
  };
  for (const auto& c : cases) EXPECT_EQ(promptContext(c.text), c.prompt) << c.text;
}

TEST(TranscriptChain, EachPieceIsTrimmedWhileTrimmingIsOn) {
  Samples loudInTheMiddle = constant(48000, 0);
  std::fill(loudInTheMiddle.begin() + 24000, loudInTheMiddle.begin() + 24800, 5000);  // frame 30
  FakeSpeech speech({});
  for (const bool trimming : {false, true}) {
    testing::ScopedTrim trim(trimming);
    TranscriptChain chain;
    chain.add(loudInTheMiddle, speech.transcriber());
    chain.result();
  }
  const auto calls = speech.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].samples, 48000u);
  EXPECT_EQ(calls[1].samples, 31200u - 19200u);  // 0.3 s before frame 30, 0.4 s after it
}

TEST(TranscriptChain, CallbackInPlaceAtAddIsTheOneUsed) {
  FakeSpeech speech({{1, {"one"}}, {2, {"two"}}});
  TranscriptChain chain;
  std::mutex mutex;
  std::vector<std::string> first;
  std::vector<std::string> second;
  chain.setOnText([&](const std::string& text) {
    std::scoped_lock lock(mutex);
    first.push_back(text);
  });
  chain.add(piece(1), speech.transcriber());
  chain.setOnText([&](const std::string& text) {
    std::scoped_lock lock(mutex);
    second.push_back(text);
  });
  chain.add(piece(2), speech.transcriber());
  chain.result();
  EXPECT_EQ(first, std::vector<std::string>{"one"});
  EXPECT_EQ(second, std::vector<std::string>{"one two"});
}

TEST(TranscriptChain, ATranscriberThatThrowsCountsAsSilenceAndLaterPiecesGoOn) {
  TranscriptChain chain;
  chain.add(piece(1), [](SampleSpan, const std::string&) { return std::string("before"); });
  chain.add(piece(2), [](SampleSpan, const std::string&) -> std::string { throw std::runtime_error("boom"); });
  chain.add(piece(3), Transcriber());
  chain.add(piece(4), [](SampleSpan, const std::string& context) { return "after " + context; });
  EXPECT_EQ(chain.result(), "before after before");
}

TEST(TranscriptChain, AFailedPieceIsRememberedAndThePiecesAfterItAreNotSent) {
  TranscriptChain chain;
  EXPECT_EQ(chain.failure(), std::nullopt);
  std::atomic<int> sentAfter{0};
  chain.add(piece(1), [](SampleSpan, const std::string&) { return std::string("before"); });
  chain.add(piece(2), [](SampleSpan, const std::string&) -> Result<std::string> { return Error{"stopped"}; });
  chain.add(piece(3), [&](SampleSpan, const std::string&) -> Result<std::string> {
    ++sentAfter;
    return Error{"later"};
  });
  chain.add(piece(4), [&](SampleSpan, const std::string&) {
    ++sentAfter;
    return std::string("after");
  });
  EXPECT_EQ(chain.result(), "before");
  EXPECT_EQ(chain.failure(), "stopped");
  EXPECT_EQ(sentAfter.load(), 0);
}

TEST(TranscriptChain, ManyPiecesStayInOrder) {
  TranscriptChain chain;
  std::string expected;
  for (int id = 1; id <= 60; ++id) {
    chain.add(piece(static_cast<std::int16_t>(id), 10), [](SampleSpan samples, const std::string&) {
      if (samples[0] % 5 == 0) std::this_thread::sleep_for(2ms);
      return std::to_string(samples[0]);
    });
    expected += (id > 1 ? " " : "") + std::to_string(id);
  }
  EXPECT_EQ(chain.result(), expected);
  EXPECT_EQ(chain.count(), 60);
}

}  // namespace
}  // namespace quorvel
