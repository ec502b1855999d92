// Talk-ahead's worker: one thread at a time that always continues with the
// newest transcript, cleans finished sentence groups and warms the model.
#include "engine/TalkAhead.h"

#include <algorithm>
#include <thread>

#include "engine/Config.h"
#include "support/Log.h"
#include "text/CleanupGuards.h"
#include "text/NameMatching.h"
#include "text/SpellCheck.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

namespace quorvel {

namespace {

// How long destruction waits for a worker that is finishing its request.
constexpr std::chrono::seconds kDestroyWait{30};

}  // namespace

struct TalkAhead::State {
  State(std::shared_ptr<Pipeline> p, ContextReader reader)
      : pipeline(std::move(p)),
        cfg(pipeline->configOverride ? *pipeline->configOverride
                                     : CleanupConfig::load(engineCleanupFiles())),
        readContext(std::move(reader)) {}

  const std::shared_ptr<Pipeline> pipeline;
  const CleanupConfig cfg;
  const ContextReader readContext;
  // Cancelled only when the owner goes away: cuts even a warm-up short.
  const CancelToken shutdown;

  mutable std::mutex mutex;
  mutable std::condition_variable idle;  // notified when the worker ends
  Head head;                             // guarded by mutex
  bool contextRead = false;              // guarded by mutex
  bool stopped = false;                  // guarded by mutex
  std::optional<std::string> latest;     // guarded by mutex
  std::string newest;                    // guarded by mutex; the last transcript given
  bool workerRunning = false;            // guarded by mutex
  std::optional<CancelToken> piece;      // guarded by mutex; the piece request in flight
};

bool TalkAhead::enabled() { return Config::talkAheadEnabled(); }

std::shared_ptr<TalkAhead> TalkAhead::create(std::shared_ptr<Pipeline> pipeline,
                                             ContextReader readContext) {
  return std::make_shared<TalkAhead>(std::move(pipeline), std::move(readContext));
}

TalkAhead::TalkAhead(std::shared_ptr<Pipeline> pipeline, ContextReader readContext)
    : state_(std::make_shared<State>(std::move(pipeline), std::move(readContext))) {}

TalkAhead::~TalkAhead() {
  (void)stop();
  state_->shutdown.cancel();
  // The worker owns the state too, so a worker that outlives this wait is
  // still safe; the wait keeps it from outliving the owner's servers.
  (void)waitUntilIdle(std::chrono::duration_cast<std::chrono::milliseconds>(kDestroyWait));
}

void TalkAhead::update(const std::string& transcript) {
  std::scoped_lock lock(state_->mutex);
  if (state_->stopped) return;
  state_->latest = transcript;
  state_->newest = transcript;
  if (state_->workerRunning) return;
  state_->workerRunning = true;
  try {
    std::thread([state = state_] { run(state); }).detach();
  } catch (const std::exception& error) {
    state_->workerRunning = false;
    logLine(std::string("talk-ahead could not start its worker: ") + error.what());
  }
}

TalkAhead::Head TalkAhead::stop() {
  std::scoped_lock lock(state_->mutex);
  state_->stopped = true;
  if (state_->piece) state_->piece->cancel();
  return state_->head;
}

TalkAhead::Head TalkAhead::head() const {
  std::scoped_lock lock(state_->mutex);
  return state_->head;
}

bool TalkAhead::waitUntilIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->idle.wait_for(lock, timeout, [this] { return !state_->workerRunning; });
}

TalkAhead::Backlog TalkAhead::backlog() const {
  std::string newest, source;
  {
    std::scoped_lock lock(state_->mutex);
    newest = state_->newest;
    source = state_->head.source;
  }
  const std::string text = respelled(*state_, newest);
  Backlog backlog;
  const auto pieces = piecesAfter(source, text);
  backlog.pieces = static_cast<std::int64_t>(pieces ? pieces->size() : 0);
  backlog.words = std::max<std::int64_t>(
      0, TextHelpers::wordCount(text) - (pieces ? TextHelpers::wordCount(source) : 0));
  return backlog;
}

std::string TalkAhead::respelled(const State& state, const std::string& transcript) {
  const WordTest realWord = [](std::string_view word) { return isRealWord(word); };
  return spellNames(transcript, state.cfg.personal(), state.cfg.dictionary, realWord);
}

void TalkAhead::run(const std::shared_ptr<State>& state) {
  // Bounded: each round handles one transcript, and rounds continue only
  // while new transcripts keep arriving.
  for (;;) {
    std::string transcript;
    bool firstTime = false;
    {
      std::scoped_lock lock(state->mutex);
      if (state->stopped || !state->latest) {
        state->workerRunning = false;
        state->idle.notify_all();
        return;
      }
      transcript = std::move(*state->latest);
      state->latest.reset();
      firstTime = !state->contextRead;
      state->contextRead = true;
    }
    try {
      if (firstTime) {
        std::optional<CursorContext> context;
        if (state->readContext) context = state->readContext();
        const Pipeline& pipeline = *state->pipeline;
        std::optional<std::string> before = pipeline.testBefore;
        if (!before && context) before = context->before;
        std::optional<std::string> field = pipeline.testField;
        if (!field && context) field = Pipeline::fieldName(*context);
        std::scoped_lock lock(state->mutex);
        if (!state->stopped) {
          state->head.before = before;
          state->head.field = field;
        }
      }
      work(state, respelled(*state, transcript));
    } catch (const std::exception& error) {
      logLine(std::string("talk-ahead skipped a transcript: ") + error.what());
    }
  }
}

void TalkAhead::work(const std::shared_ptr<State>& state, const std::string& text) {
  if (Config::longPiecesEnabled()) cleanFinishedPieces(state, text);
  Head head;
  {
    std::scoped_lock lock(state->mutex);
    if (state->stopped) return;
    head = state->head;
  }
  Pipeline& pipeline = *state->pipeline;
  // The prompt of the whole text so far, one token: the server keeps it ready.
  const auto messages = pipeline.cleanupMessages(text, state->cfg, ContextOverride(head.before),
                                                 ContextOverride(head.field));
  (void)pipeline.complete(messages, "cleanup", 1, 0, {}, {}, state->shutdown);
  std::scoped_lock lock(state->mutex);
  state->head.warmed = true;
}

std::optional<std::vector<std::string>> TalkAhead::piecesAfter(const std::string& source,
                                                                const std::string& text) {
  // White space after a sentence's closing mark.
  static const icu::RegexPattern& sentenceBreak = unicode::constantPattern(uR"((?<=[.!?])\s+)");
  const icu::UnicodeString utf16 = unicode::fromUtf8(text);
  const auto matcher = unicode::matcherFor(sentenceBreak, utf16);
  std::int32_t lastBreak = -1;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) lastBreak = matcher->start(status);
  if (lastBreak < 0 || U_FAILURE(status)) return std::vector<std::string>();
  const std::string finished = unicode::toUtf8(utf16.tempSubString(0, lastBreak));
  if (!finished.starts_with(source)) return std::nullopt;
  const std::string fresh = unicode::toUtf8(
      unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(finished.substr(source.size()))));
  return TextHelpers::groupSentences(TextHelpers::sentenceList(fresh, target), target).pieces;
}

void TalkAhead::cleanFinishedPieces(const std::shared_ptr<State>& state, const std::string& text) {
  std::string source;
  {
    std::scoped_lock lock(state->mutex);
    source = state->head.source;
  }
  // Once the transcript no longer begins with what was cleaned, the final
  // cleanup does the rest.
  const auto found = piecesAfter(source, text);
  if (!found) return;
  const std::vector<std::string>& pieces = *found;

  Pipeline& pipeline = *state->pipeline;
  const CleanupConfig& cfg = state->cfg;
  for (const std::string& piece : pieces) {
    Head head;
    CancelToken cancel;
    {
      std::scoped_lock lock(state->mutex);
      if (state->stopped) return;
      head = state->head;
      state->piece = cancel;
    }
    std::optional<std::string> usable;
    if (!pipeline.pieceNeedsModel(piece)) {
      usable = piece;  // nothing to clean: kept as heard, as the whole text would be
    } else {
      const auto before = Pipeline::pieceBefore(head.before, head.cleaned);
      const auto answer = pipeline.complete(
          pipeline.cleanupMessages(piece, cfg, ContextOverride(before), ContextOverride(head.field)),
          "cleanup", 3 * TextHelpers::wordCount(piece) + 20, 0, [](const std::string&) {}, {},
          cancel);
      if (answer && !cancel.cancelled()) {
        usable = TextHelpers::usableCleanup(piece, *answer, cfg.dictionary, cfg.dictionary,
                                            pipeline.minKept());
      }
    }
    const std::string light = usable ? std::string() : TextHelpers::lightClean(piece);

    std::scoped_lock lock(state->mutex);
    state->piece.reset();
    if (state->stopped || cancel.cancelled()) return;
    if (usable) {
      state->head.cleaned.push_back(*usable);
    } else {
      state->head.cleaned.push_back(light);
      state->head.fellBack += 1;
    }
    if (!state->head.source.empty()) state->head.source += " ";
    state->head.source += piece;
  }
}

}  // namespace quorvel
