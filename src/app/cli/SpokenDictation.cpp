// A recording dictated as if spoken.
#include "app/cli/SpokenDictation.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/TranscriptChain.h"
#include "engine/TalkAhead.h"
#include "engine/Transcription.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kFeedStep = 4000;  // 0.25 s of samples, as the recorder's timer sees them

std::int64_t millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

SpokenDictation dictateAsSpoken(Servers& servers, const std::shared_ptr<Pipeline>& pipeline,
                                const std::shared_ptr<const Samples>& samples, const SpeakingOptions& options) {
  SpokenDictation spoken;
  const SampleSpan all(*samples);
  Chunker chunker = options.chunker;

  std::shared_ptr<TalkAhead> talk;
  if (TalkAhead::enabled()) talk = TalkAhead::create(pipeline);
  auto chain = std::make_shared<TranscriptChain>();
  if (talk) {
    chain->setOnText([weak = std::weak_ptr<TalkAhead>(talk)](const std::string& text) {
      if (const auto strong = weak.lock()) strong->update(text);
    });
  }
  // Counted across the chain's threads; read once the last piece is in.
  auto failed = std::make_shared<std::atomic<int>>(0);
  const Transcriber transcriber = [&servers, failed](SampleSpan piece, const std::string& context) {
    auto text = transcribeOrFail(servers, piece, context, speechRequestTimeout(piece));
    if (text) return std::move(text).value();
    failed->fetch_add(1);
    return std::string();
  };
  const auto addRange = [&](SampleRange range) {
    chain->add(Samples(samples->begin() + range.begin, samples->begin() + range.end), transcriber);
  };

  const auto count = static_cast<std::int64_t>(samples->size());
  // Bounded: the window end grows by a fixed step up to the sample count.
  for (std::int64_t end = kFeedStep;; end += kFeedStep) {
    if (!options.instant) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const std::int64_t n = std::min(end, count);
    if (const auto range = chunker.next(all.first(static_cast<size_t>(n)))) addRange(*range);
    if (n >= count) break;
  }

  const auto release = Clock::now();
  if (talk) spoken.ahead = talk->stop();
  // With no piece cut the whole recording is the tail; otherwise only a tail
  // over half a second that holds speech. An empty recording sends nothing.
  if (const auto tail = chunker.finalPiece(all, chain->count()); tail && tail->size() > 0) {
    addRange(*tail);
  }
  const std::string raw = chain->count() > 0 ? chain->result() : std::string();
  spoken.speechMs = millisecondsSince(release);

  const std::int64_t unansweredBefore = pipeline->unansweredRequests();
  spoken.result = pipeline->finish(raw, spoken.ahead);
  spoken.afterReleaseMs = millisecondsSince(release);
  spoken.languageUnanswered = pipeline->unansweredRequests() > unansweredBefore;
  spoken.pieces = chain->count();
  spoken.speechFailed = failed->load();
  if (talk) {
    // How far talking ahead kept up: measured after the finish, off the clock.
    const TalkAhead::Backlog left = talk->backlog();
    logLine("Quorvel: talk-ahead at release: " + std::to_string(spoken.ahead->cleaned.size()) +
            " pieces cleaned, " + std::to_string(left.pieces) + " waiting, " + std::to_string(left.words) +
            " words not cleaned yet");
  }
  return spoken;
}

}  // namespace quorvel
