// From the release to the text at the cursor: the delivery task off the main
// thread, deliveries handed out in the order of release, and the delivery
// step that types the text, or puts it into the note.
#include <cstdio>

#include "app/delegate/AppDelegate.h"
#include "audio/Hallucination.h"
#include "audio/Levels.h"
#include "engine/Pipeline.h"
#include "learning/CursorContextReader.h"
#include "support/Log.h"
#include "support/Settings.h"
#include "support/WriteProblems.h"
#include "text/Fitting.h"
#include "text/TextHelpers.h"
#include "text/TextPeriods.h"

namespace quorvel {

namespace {

// The history line; a line that can't be written is said once (it waits to
// be written with the next one).
void recordHistory(AppEngine& engine, const DictationResult& result, const DictationFacts& facts) {
  if (const Status logged = engine.record(result, facts); !logged) {
    WriteProblems::failed(WriteProblems::File::history, logged.error());
  } else {
    WriteProblems::succeeded(WriteProblems::File::history);
  }
}

}  // namespace

void AppDelegate::startDelivery(Release release) {
  AppEngine& engine = parts_.engine;
  std::weak_ptr<AppDelegate*> self = self_;
  MainLoop& loop = parts_.loop;
  const double serverWait = timings_.serverWait;
  parts_.runner.run([release = std::move(release), &engine, &loop, self, serverWait]() mutable {
    if (!release.modelsReady) (void)engine.waitUntilReady(std::chrono::duration<double>(serverWait));
    std::string raw;
    if (release.chain->count() > 0) raw = release.chain->tail().get();
    const auto wait = std::chrono::steady_clock::now() - release.released;
    if (const auto failure = release.chain->failure()) {
      // Nothing is typed from a recording with a piece missing: the whole of
      // it is kept to try again, and the history says why.
      DictationResult result;
      result.raw = raw;
      result.path = "error";
      result.speechMs = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
      result.chunks = release.chain->count();
      release.facts.neuralEngine = engine.speechOnNeuralEngine();
      release.facts.error = *failure;
      if (!release.facts.recording && release.samples) {
        release.facts.recording = engine.keepFailedRecording(*release.samples);
      }
      recordHistory(engine, result, release.facts);
      Delivered delivered;
      delivered.result = std::move(result);
      delivered.target = release.target;
      delivered.session = release.session;
      delivered.failure = *failure;
      delivered.kept = Kept{release.samples, release.facts.recording};
      loop.post([self, sequence = release.sequence, delivered = std::move(delivered)]() mutable {
        if (const auto alive = self.lock()) (*alive)->arrived(sequence, std::move(delivered));
      });
      return;
    }
    if (release.quiet && isSilenceHallucination(raw)) raw.clear();
    if (!raw.empty()) {
      loop.post([self] {
        const auto alive = self.lock();
        if (!alive) return;
        AppDelegate& app = **alive;
        if (app.showsTag() && !app.isRecording_) app.parts_.tag.show(TagMode::polishing, "");
      });
    }
    DictationResult result = engine.finish(raw, release.head, release.context);
    result.speechMs = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
    result.chunks = release.chain->count();
    release.facts.neuralEngine = engine.speechOnNeuralEngine();
    recordHistory(engine, result, release.facts);
    Delivered delivered;
    delivered.result = std::move(result);
    delivered.target = release.target;
    delivered.session = release.session;
    loop.post([self, sequence = release.sequence, delivered = std::move(delivered)]() mutable {
      if (const auto alive = self.lock()) (*alive)->arrived(sequence, std::move(delivered));
    });
  });
}

void AppDelegate::arrived(std::uint64_t sequence, Delivered delivered) {
  waiting_.emplace(sequence, std::move(delivered));
  // A later dictation that finished first waits here for the earlier ones.
  for (auto next = waiting_.find(nextToDeliver_); next != waiting_.end();
       next = waiting_.find(nextToDeliver_)) {
    const Delivered ready = std::move(next->second);
    waiting_.erase(next);
    ++nextToDeliver_;
    deliver(ready);
  }
}

void AppDelegate::deliverFailure(const Delivered& delivered) {
  retry_ = delivered.kept;
  statusLine_ = "Couldn't transcribe: " + *delivered.failure;
  if (!isRecording_) showMiss(statusLine_);
  logLine("Quorvel: a dictation could not be transcribed (" + *delivered.failure + "); " +
          (delivered.kept.recording ? "its recording is kept as " + *delivered.kept.recording
                                    : std::string("its recording could not be saved")) +
          " and can be tried again from the menu");
}

void AppDelegate::speechComingBack() {
  statusLine_ = "Speech model restarting…";
  if (processing_ > 0 && !isRecording_) parts_.tag.show(TagMode::transcribing, statusLine_);
  refresh();
}

void AppDelegate::retryLast() {
  if (!retry_ || !retry_->samples) return;
  const Kept kept = std::move(*retry_);
  retry_.reset();
  // The kept recording in the pieces a live one would have had.
  auto chain = std::make_shared<TranscriptChain>();
  const Samples& samples = *kept.samples;
  Chunker chunker;
  while (const auto range = chunker.next(samples)) {
    chain->add(Samples(samples.begin() + range->begin, samples.begin() + range->end), parts_.engine.transcriber());
  }
  if (const auto tail = chunker.finalPiece(samples, chain->count()); tail && tail->size() > 0) {
    chain->add(Samples(samples.begin() + tail->begin, samples.begin() + tail->end), parts_.engine.transcriber());
  }
  Release release;
  release.sequence = nextSequence_++;
  release.modelsReady = modelsReady_;
  release.chain = std::move(chain);
  release.quiet = rms(samples) <= 120;
  release.released = std::chrono::steady_clock::now();
  if (Settings::fitText.read()) {
    if (auto context = CursorContextReader::read(parts_.desktop, cleanupContextBefore, cleanupContextAfter)) {
      release.context = context->forModel();
    }
  }
  release.facts.audioSeconds = static_cast<double>(samples.size()) / kSampleRate;
  release.facts.recording = kept.recording;
  release.target = RecordingTarget::app;
  release.session = parts_.note.session();
  release.samples = kept.samples;
  ++processing_;
  statusLine_ = "Trying the last dictation again…";
  syncState();
  refresh();
  if (showsTag() && !isRecording_) parts_.tag.show(TagMode::transcribing, "");
  startDelivery(std::move(release));
}

void AppDelegate::writeFailed(const std::string& message) {
  statusLine_ = message;
  if (processing_ > 0) writeProblem_ = message;
  refresh();
}

void AppDelegate::deliver(const Delivered& delivered) {
  if (delivered.failure) {
    deliverFailure(delivered);
    --processing_;
    syncState();
    refresh();
    call(windows_.reloadDashboard);
    return;
  }
  const DictationResult& result = delivered.result;
  std::string text = result.final;
  // A server on another machine that failed explains an empty or roughly
  // cleaned text: it says so in one line, in the menu and on the tag.
  const std::optional<std::string> remoteProblem = parts_.engine.remoteProblem();
  if (text.empty()) {
    statusLine_ = remoteProblem.value_or("Didn't catch that");
    if (!isRecording_) showMiss(remoteProblem.value_or("Didn't catch that. Try again."));
  } else {
    bool typed = true;
    if (delivered.target == RecordingTarget::note) {
      // A note cleared or opened afresh since the release is a different note.
      if (parts_.note.session() == delivered.session) parts_.note.insert(text);
    } else {
      const bool fit = Settings::fitText.read();
      std::optional<CursorContext> context;
      if (fit) context = CursorContextReader::read(parts_.desktop);
      if (!context) {
        context = CursorContext{};
        context->app = parts_.desktop.frontmostApp();
      }
      bool dropped = false;
      bool kept = false;
      if (Pipeline::fieldName(*context) == "chat message" && TextHelpers::dropFinalPeriod(text) != text) {
        if (TextPeriods::on()) {
          kept = true;
        } else {
          text = TextHelpers::dropFinalPeriod(text);
          dropped = true;
        }
      }
      if (fit) text = TextHelpers::fitToContext(text, context).text;
      const PasteChord chord =
          context->app && isTerminalApp(*context->app) ? PasteChord::ctrlShiftV : PasteChord::ctrlV;
      typed = parts_.paster.paste(text, chord);
      if (typed) parts_.watcher.typed(text, dropped, kept);
    }
    lastText_ = result.final;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f",
                  static_cast<double>(result.speechMs + result.cleanupMs) / 1000.0);
    statusLine_ = std::string("Done in ") + seconds + "s (" + result.path + ")";
    if (!typed) {
      // The words are not lost: they wait in "Copy Last Dictation".
      statusLine_ = "Couldn't type the dictation: use Copy Last Dictation";
      logLine("Quorvel: could not type the dictation; it stays in Copy Last Dictation");
      if (!isRecording_) showMiss("Couldn't type it. Use Copy Last Dictation in the menu.");
    } else if (remoteProblem) {
      statusLine_ = *remoteProblem;
      if (!isRecording_) showMiss(*remoteProblem);
    } else if (showsTag() && !isRecording_) {
      const int words = TextHelpers::wordCount(result.final);
      std::string label = words == 1 ? "1 word" : std::to_string(words) + " words";
      if (delivered.target == RecordingTarget::note) label = "to note · " + label;
      parts_.tag.show(TagMode::done, label);
      parts_.tag.hide(0.9);
    }
  }
  if (writeProblem_) {
    statusLine_ = *writeProblem_;
    writeProblem_.reset();
  }
  --processing_;
  syncState();
  refresh();
  call(windows_.reloadDashboard);
}

}  // namespace quorvel
