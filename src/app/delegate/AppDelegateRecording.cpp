// Hold-to-talk: the two keys, the key poll, starting and stopping a recording
// (held, or hands-free after a tap), the AltGr guard, learning a key, and the
// chunking timer that transcribes pieces while the user talks.
#include <future>

#include "app/delegate/AppDelegate.h"
#include "app/desktop/DictationKeys.h"
#include "audio/Levels.h"
#include "engine/Pipeline.h"
#include "learning/CursorContextReader.h"
#include "support/Log.h"
#include "support/ProgramValues.h"
#include "support/Settings.h"
#include "support/UserDefaults.h"

namespace quorvel {

namespace {

constexpr double kNoteTapSeconds = 0.6;
constexpr double kShortestPress = 0.35;
constexpr double kShortestAudio = 0.3;
constexpr double kPollGuard = 0.2;
constexpr double kQuietRms = 120;
constexpr double kSilentLevel = 4.0;
constexpr double kLearnKeySeconds = 10;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::optional<CursorContext> modelContext(AccessibilityDesktop& desktop) {
  auto context = CursorContextReader::read(desktop, cleanupContextBefore, cleanupContextAfter);
  if (!context) return std::nullopt;
  return context->forModel();
}

}  // namespace

RecordingTarget AppDelegate::dictationTarget() const {
  return parts_.note.isFocused() ? RecordingTarget::note : RecordingTarget::app;
}

void AppDelegate::installMonitors() {
  parts_.keys.stop();
  // Events of an earlier handler that are still on their way are dropped.
  keyGeneration_ = std::make_shared<int>(0);
  std::weak_ptr<int> generation = keyGeneration_;
  std::weak_ptr<AppDelegate*> self = self_;
  MainLoop& loop = parts_.loop;
  keysWork_ = parts_.keys.start([&loop, generation, self](const KeyEvent& event) {
    loop.post([generation, self, event] {
      const auto alive = self.lock();
      if (!alive || generation.expired()) return;
      (*alive)->handleKey(event);
    });
  });
  if (!keysWork_ && !keyProblemLogged_) {
    keyProblemLogged_ = true;
    logLine("Quorvel: can't hear the dictation key: " + parts_.keys.problem());
  }
  if (keysWork_) keyProblemLogged_ = false;
  parts_.loop.cancel(keyPoll_);
  keyPoll_ = parts_.loop.every(Seconds(timings_.keyPoll), [this] { pollKey(); });
}

void AppDelegate::checkTrust() {
  // Keys that could not be heard are tried again, and so are keys that went
  // quiet later (a source that switched to another way of hearing them and
  // found it closed); working ones are left be.
  if (!keysWork_ || !parts_.keys.problem().empty()) installMonitors();
  const bool now = keysWork_ && parts_.desktop.isTrusted();
  const bool accessChanged = readInputAccess();
  if (now != trusted_) {
    trusted_ = now;
    if (keysWork_) installMonitors();
    refresh();
  } else if (accessChanged) {
    refresh();
  }
}

void AppDelegate::applyKeySettings() {
  binding_ = storedBinding(UserDefaults());
  parts_.keys.setBinding(binding_);
  dictationIsAltGr_ = parts_.isAltGr && parts_.isAltGr(binding_.dictation);
}

void AppDelegate::learnKey(std::function<void(int code)> done) {
  finishLearning(0);
  learning_ = std::move(done);
  learnTimer_ = parts_.loop.after(Seconds(kLearnKeySeconds), [this] { finishLearning(0); });
}

void AppDelegate::finishLearning(int code) {
  parts_.loop.cancel(learnTimer_);
  learnTimer_ = 0;
  if (!learning_) return;
  auto done = std::move(learning_);
  learning_ = nullptr;
  // The learned key is still down: it starts nothing until let go.
  if (code != 0) waitForKeyUp_ = true;
  done(code);
}

void AppDelegate::handleKey(const KeyEvent& event) {
  const auto now = parts_.loop.now();
  if (learning_) {
    // Everything goes to the settings page until a key is pressed.
    if (event.down && event.code > 0) finishLearning(event.code == keycode::escape ? 0 : event.code);
    return;
  }
  switch (event.key) {
    case ShellKey::note:
      noteKeyDown_ = event.down;
      if (event.down) {
        noteKeyPressedAt_ = now;
        noteKeyTap_ = now;
      } else {
        const bool tap = noteKeyTap_ && secondsBetween(*noteKeyTap_, now) < kNoteTapSeconds;
        noteKeyTap_.reset();
        if (tap) toggleNote();
      }
      break;
    case ShellKey::dictation:
      noteKeyTap_.reset();
      dictationHeld_ = event.down;
      if (event.down) {
        dictationPressed();
      } else {
        dictationReleased();
      }
      break;
    case ShellKey::other:
      // Any other key or modifier in between makes it a shortcut, not a tap.
      if (event.down || event.modifier) noteKeyTap_.reset();
      // With AltGr as the dictation key, a key pressed while it is held is a
      // character being typed, not speech.
      if (event.down && !event.modifier && dictationIsAltGr_ && dictationHeld_ && isRecording_ && !handsFree_) {
        cancelRecording();
      }
      break;
  }
}

void AppDelegate::dictationPressed() {
  if (waitForKeyUp_) return;
  if (isRecording_) {
    if (handsFree_) {
      // The tap that ends a hands-free recording; its release starts nothing.
      waitForKeyUp_ = true;
      stopRecording();
    }
    return;
  }
  // The layout may have changed since the last press (a layout switch).
  if (parts_.isAltGr) dictationIsAltGr_ = parts_.isAltGr(binding_.dictation);
  startRecording(dictationTarget());
}

void AppDelegate::dictationReleased() {
  waitForKeyUp_ = false;
  if (!isRecording_ || handsFree_) return;
  const auto now = parts_.loop.now();
  if (secondsBetween(recordingStarted_, now) < kHandsFreeTapSeconds &&
      Settings::tapForHandsFree.read()) {
    handsFree_ = true;  // a tap: recording goes on until the next one
    return;
  }
  stopRecording();
}

void AppDelegate::pollKey() {
  if (!trusted_ || learning_) return;
  const bool down = parts_.keys.isDown(ShellKey::dictation);
  const bool wasDown = polledDown_;
  polledDown_ = down;
  if (down) keyPollWorks_ = true;
  if (!keyPollWorks_) return;
  const auto now = parts_.loop.now();
  if (!down) waitForKeyUp_ = false;
  if (!isRecording_) {
    const bool settled = !lastStop_ || secondsBetween(*lastStop_, now) > kPollGuard;
    if (settled && down && !waitForKeyUp_) startRecording(dictationTarget());
  } else if (handsFree_) {
    // A press the events missed ends the hands-free recording too.
    if (down && !wasDown && secondsBetween(recordingStarted_, now) > kPollGuard) dictationPressed();
  } else if (secondsBetween(recordingStarted_, now) > kPollGuard && !down) {
    dictationReleased();
  }
}

void AppDelegate::cancelRecording() {
  if (!isRecording_) return;
  isRecording_ = false;
  handsFree_ = false;
  waitForKeyUp_ = true;
  parts_.loop.cancel(announceTimer_);
  announceTimer_ = 0;
  parts_.loop.cancel(chunkTimer_);
  chunkTimer_ = 0;
  if (ahead_) {
    (void)ahead_->stop();
    parts_.runner.run([old = std::move(ahead_)] {});
  }
  chain_.reset();  // pieces under way finish unseen
  parts_.note.setListening(false);
  (void)parts_.recorder.stop();
  lastStop_ = parts_.loop.now();
  parts_.tag.hide(0);
  syncState();
}

void AppDelegate::toggleNote() {
  if (parts_.note.isFocused()) {
    parts_.note.close();
    return;
  }
  if (!parts_.note.isOpen()) parts_.note.captureSource();
  parts_.note.show();
}

void AppDelegate::startRecording(RecordingTarget target) {
  if (isRecording_) return;
  // Corrections made since the last dictation are learned before this one
  // finishes, but right after the press: the microphone opens first.
  parts_.loop.post([self = std::weak_ptr<AppDelegate*>(self_)] {
    if (const auto alive = self.lock()) (*alive)->parts_.watcher.beforeDictation();
  });
  if (setup_.phase == SetupInfo::Phase::failed) {
    showMiss("Quorvel couldn't finish setting up. Open Quorvel to try again.");
    call(windows_.openDashboardHome);
    return;
  }
  if (setup_.phase == SetupInfo::Phase::downloading) {
    showMiss("Still getting ready: downloading the models, " + std::to_string(setup_.percent()) +
             "%. Hold on a few minutes.");
    return;
  }
  if (const Status started = parts_.recorder.start(); !started) {
    statusLine_ = "Microphone unavailable: " + started.error();
    refresh();
    showMiss("Microphone unavailable", 2.2);
    parts_.sounds.play(SoundName::basso);
    return;
  }
  isRecording_ = true;
  recordingTarget_ = target;
  if (target == RecordingTarget::note) parts_.note.setListening(true);
  setup_.justFinished = false;
  recordingStarted_ = parts_.loop.now();
  wokeModel_ = parts_.engine.wakeIfIdle();
  modelIdleAtPress_ = parts_.engine.idleAtPress();

  chunker_ = Chunker();
  trimPieceEdges().store(false);
  chain_ = std::make_shared<TranscriptChain>();
  if (ahead_) {
    // The last recording's talk-ahead may still be winding down: let it end
    // off the main thread.
    parts_.runner.run([old = std::move(ahead_)] {});
  }
  const bool fit = Settings::fitText.read();
  TalkAhead::ContextReader reader;
  if (fit && target == RecordingTarget::app) {
    // Called on talk-ahead's worker: the field is read on the main thread,
    // and a main thread that does not answer in time gives no context.
    std::weak_ptr<AppDelegate*> self = self_;
    MainLoop& loop = parts_.loop;
    AccessibilityDesktop& desktop = parts_.desktop;
    const auto wait = timings_.contextReadWait;
    reader = [self, &loop, &desktop, wait]() -> std::optional<CursorContext> {
      auto answer = std::make_shared<std::promise<std::optional<CursorContext>>>();
      auto future = answer->get_future();
      loop.post([self, &desktop, answer] {
        answer->set_value(self.lock() ? modelContext(desktop) : std::nullopt);
      });
      if (future.wait_for(wait) != std::future_status::ready) return std::nullopt;
      return future.get();
    };
  }
  ahead_ = parts_.engine.startTalkAhead(reader);
  if (ahead_) {
    chain_->setOnText([weak = std::weak_ptr<TalkAhead>(ahead_)](const std::string& text) {
      if (const auto talk = weak.lock()) talk->update(text);
    });
  }
  chunkTimer_ = parts_.loop.every(Seconds(timings_.chunkTick), [this] { chunkTick(); });

  syncState();
  handsFree_ = false;
  if (dictationIsAltGr_) {
    // A character typed with AltGr cancels within this wait, unheard and unseen.
    announceTimer_ = parts_.loop.after(Seconds(kAltGrGraceSeconds), [this] {
      announceTimer_ = 0;
      if (isRecording_) announceRecording();
    });
  } else {
    announceRecording();
  }
}

void AppDelegate::announceRecording() {
  if (showsTag()) parts_.tag.show(TagMode::recording, "");
  if (Settings::startSound.read()) parts_.sounds.play(SoundName::tink);
}

void AppDelegate::chunkTick() {
  if (!isRecording_ || !chain_) return;
  // Only what was not handed out yet is copied (under the recorder's lock):
  // the chunker's choice depends only on the audio from its cut on, so it
  // runs on that stretch with its cut moved to 0, and the tick's cost stays
  // flat however long the recording grows. The piece's transcription runs in
  // the chain's own task.
  const std::int64_t from = chunker_.cut;
  Samples rest = parts_.recorder.snapshot(static_cast<std::size_t>(from));
  Chunker shifted = chunker_;
  shifted.cut = 0;
  if (const auto range = shifted.next(rest)) {
    chunker_.cut = from + shifted.cut;
    chain_->add(Samples(rest.begin() + range->begin, rest.begin() + range->end), parts_.engine.transcriber());
  }
}

void AppDelegate::stopRecording() {
  if (!isRecording_) return;
  isRecording_ = false;
  handsFree_ = false;
  parts_.loop.cancel(announceTimer_);
  announceTimer_ = 0;
  std::optional<TalkAheadHead> head;
  if (ahead_) head = ahead_->stop();
  parts_.note.setListening(false);
  const RecordingTarget target = recordingTarget_;
  const std::uint64_t session = parts_.note.session();

  std::optional<CursorContext> context;
  if (Settings::fitText.read() && target == RecordingTarget::app) {
    context = modelContext(parts_.desktop);
  }
  const auto now = parts_.loop.now();
  lastStop_ = now;
  parts_.loop.cancel(chunkTimer_);
  chunkTimer_ = 0;

  const auto kept = std::make_shared<const Samples>(parts_.recorder.stop());
  const Samples& samples = *kept;
  const double held = secondsBetween(recordingStarted_, now);
  const double audio = static_cast<double>(samples.size()) / kSampleRate;
  if (held <= kShortestPress || audio <= kShortestAudio) {
    parts_.tag.hide(0);
    syncState();
    return;
  }
  if (!hasSpeech(samples)) {
    const auto levels = frameLevels(samples);
    if (levels.empty() || levels.back() < kSilentLevel) {
      statusLine_ = "No sound from the microphone";
      showMiss("No sound from your mic. Check Sound settings.");
    } else {
      statusLine_ = "Didn't catch that";
      showMiss("Didn't catch that. Try a bit louder.");
    }
    syncState();
    refresh();
    return;
  }
  const double level = rms(samples);

  // With no piece cut yet the whole recording goes; otherwise only a tail
  // long enough and with speech in it.
  if (const auto tail = chunker_.finalPiece(samples, chain_->count()); tail && tail->size() > 0) {
    chain_->add(Samples(samples.begin() + tail->begin, samples.begin() + tail->end),
                parts_.engine.transcriber());
  }
  Release release;
  release.sequence = nextSequence_++;
  release.modelsReady = modelsReady_;
  release.chain = chain_;
  release.quiet = level <= kQuietRms;
  release.released = std::chrono::steady_clock::now();
  release.head = std::move(head);
  release.context = std::move(context);
  release.facts.audioSeconds = audio;
  release.facts.recording = parts_.engine.keepRecording(samples);
  // The press's own facts, not those of a later press.
  release.facts.wokeModel = wokeModel_;
  release.facts.modelIdle = modelIdleAtPress_;
  release.target = target;
  release.session = session;
  release.samples = kept;

  ++processing_;
  syncState();
  if (showsTag()) parts_.tag.show(TagMode::transcribing, "");
  startDelivery(std::move(release));
}

}  // namespace quorvel
