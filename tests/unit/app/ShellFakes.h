// Fakes of everything the application's logic talks to: the main loop whose
// clock the test advances (tests/support/FakeMainLoop.h), a task runner whose
// tasks the test runs, the keys, a microphone fed by the test, the
// accessibility desktop, the clipboard, sounds, tag, note, tray and the engine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "app/models/AppEngine.h"
#include "app/desktop/KeySource.h"
#include "app/core/MainLoop.h"
#include "app/desktop/NoteTarget.h"
#include "app/desktop/Paster.h"
#include "app/desktop/SingleInstance.h"
#include "app/desktop/Sounds.h"
#include "app/tag/TagView.h"
#include "app/core/TaskRunner.h"
#include "app/tray/TrayView.h"
#include "audio/AudioSource.h"
#include "learning/AccessibleElement.h"
#include "tests/support/FakeMainLoop.h"

namespace quorvel::testing {

// Tasks wait until the test runs them, in whatever order it likes.
class ManualRunner final : public TaskRunner {
 public:
  void run(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
  std::size_t pending() const { return tasks_.size(); }
  void runAt(std::size_t index) {
    ASSERT_LT(index, tasks_.size());
    auto task = std::move(tasks_[index]);
    tasks_.erase(tasks_.begin() + static_cast<std::ptrdiff_t>(index));
    task();
  }
  // Runs tasks (including ones they add) until none is left, boundedly.
  void runAll() {
    for (int guard = 0; guard < 1000 && !tasks_.empty(); ++guard) runAt(0);
  }

 private:
  std::vector<std::function<void()>> tasks_;
};

class FakeKeys final : public KeySource {
 public:
  bool works = true;
  bool down = false;
  int starts = 0;
  bool start(Handler handler) override {
    ++starts;
    handler_ = std::move(handler);
    return works;
  }
  void stop() override { handler_ = nullptr; }
  bool isDown(ShellKey key) override { return key == ShellKey::dictation && down; }
  std::string problem() const override { return works ? "" : "no keyboard"; }
  void send(KeyEvent event) {
    if (handler_) handler_(event);
  }

 private:
  Handler handler_;
};

// A microphone the test speaks into: every feed goes straight to the recorder.
struct MicRig {
  std::mutex mutex;
  AudioSource::BufferHandler handler;
  int failingStarts = 0;  // starts that fail from now on
  int starts = 0;
};

class FakeMic final : public AudioSource {
 public:
  explicit FakeMic(std::shared_ptr<MicRig> rig) : rig_(std::move(rig)) {}
  AudioFormat inputFormat() override { return {16000, 1, SampleType::int16}; }
  Status start(const AudioFormat&, BufferHandler onBuffer) override {
    std::scoped_lock lock(rig_->mutex);
    ++rig_->starts;
    if (rig_->failingStarts > 0) {
      --rig_->failingStarts;
      return Error{"the device is busy"};
    }
    rig_->handler = std::move(onBuffer);
    return success();
  }
  void stop() override {
    std::scoped_lock lock(rig_->mutex);
    rig_->handler = nullptr;
  }
  void setOnConfigurationChange(std::function<void()>) override {}

 private:
  std::shared_ptr<MicRig> rig_;
};

inline void speak(MicRig& rig, const Samples& samples) {
  std::scoped_lock lock(rig.mutex);
  if (!rig.handler) return;
  AudioBuffer buffer;
  buffer.int16 = samples;
  rig.handler(buffer);
}

struct FakeField {
  std::u16string text;
  std::int64_t cursor = 0;
  ElementRole role = ElementRole::textArea;
};

class FakeFieldElement final : public AccessibleElement {
 public:
  explicit FakeFieldElement(FakeField field) : field_(std::move(field)) {}
  ElementRole role() override { return field_.role; }
  ElementSubrole subrole() override { return ElementSubrole::none; }
  SelectedRangeAnswer selectedRange() override {
    return {SelectedRangeAnswer::Status::range, TextRange{field_.cursor, 0}};
  }
  std::optional<std::int64_t> numberOfCharacters() override {
    return static_cast<std::int64_t>(field_.text.size());
  }
  std::optional<std::u16string> stringForRange(TextRange range) override {
    const auto size = static_cast<std::int64_t>(field_.text.size());
    if (range.location < 0 || range.location + range.length > size) return std::nullopt;
    return field_.text.substr(static_cast<size_t>(range.location), static_cast<size_t>(range.length));
  }
  std::optional<std::u16string> value() override { return field_.text; }

 private:
  FakeField field_;
};

class FakeDesktop final : public AccessibilityDesktop {
 public:
  bool trusted = true;
  std::optional<FakeField> field;
  std::optional<std::string> app = "org.gnome.TextEditor";
  int reads = 0;

  bool isTrusted() override { return trusted; }
  FocusedElementAnswer focusedElement() override {
    ++reads;
    FocusedElementAnswer answer;
    if (field) answer.element = std::make_unique<FakeFieldElement>(*field);
    return answer;
  }
  std::optional<std::string> frontmostApp() override { return app; }

  // The field holds text with the cursor at its end.
  void type(const std::u16string& text) {
    field = FakeField{text, static_cast<std::int64_t>(text.size())};
  }
  // The field holds before + after with the cursor between them.
  void typeAround(const std::u16string& before, const std::u16string& after) {
    field = FakeField{before + after, static_cast<std::int64_t>(before.size())};
  }
};

class FakePaster final : public Paster {
 public:
  std::vector<std::string> pasted;
  std::vector<PasteChord> chords;
  std::vector<std::string> copied;
  bool works = true;
  bool paste(const std::string& text, PasteChord chord) override {
    if (!works) return false;
    pasted.push_back(text);
    chords.push_back(chord);
    return true;
  }
  bool copy(const std::string& text) override {
    copied.push_back(text);
    return true;
  }
  // Set by the application at launch; a test calls it to fail a paste late.
  std::function<void()> lateFailure;
  void onLateFailure(std::function<void()> handler) override { lateFailure = std::move(handler); }
};

class FakeSounds final : public Sounds {
 public:
  std::vector<SoundName> played;
  void play(SoundName sound) override { played.push_back(sound); }
};

class FakeTag final : public TagView {
 public:
  struct Shown {
    TagMode mode;
    std::string text;
  };
  std::vector<Shown> shown;
  std::vector<double> hides;
  std::vector<std::string> previews;
  std::function<float()> level;
  void show(TagMode mode, const std::string& text) override { shown.push_back({mode, text}); }
  void setPreview(const std::string& text) override { previews.push_back(text); }
  void hide(double afterSeconds) override { hides.push_back(afterSeconds); }
  void setLevelSource(std::function<float()> source) override { level = std::move(source); }
  bool showed(TagMode mode) const {
    return std::any_of(shown.begin(), shown.end(), [&](const Shown& s) { return s.mode == mode; });
  }
  std::optional<std::string> lastFailure() const {
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
      if (it->mode == TagMode::failed) return it->text;
    }
    return std::nullopt;
  }
};

class FakeNote final : public NoteTarget {
 public:
  bool focused = false;
  bool open = false;
  std::uint64_t sessionId = 1;
  bool listening = false;
  int toggles = 0;
  int captures = 0;
  std::vector<std::string> inserted;
  bool isFocused() const override { return focused; }
  bool isOpen() const override { return open; }
  std::uint64_t session() const override { return sessionId; }
  void setListening(bool on) override { listening = on; }
  void captureSource() override { ++captures; }
  void show() override {
    ++toggles;
    open = true;
    focused = true;
  }
  void close() override {
    ++toggles;
    open = false;
    focused = false;
  }
  void insert(const std::string& text) override { inserted.push_back(text); }
};

class FakeTray final : public TrayView {
 public:
  bool isAvailable = true;
  TrayLook look;
  std::vector<MenuItem> menu;
  std::vector<std::string> titles;  // every distinct title shown, in order
  std::vector<std::string> lines;   // every distinct status line shown, in order
  std::function<void(MenuAction)> action;
  bool available() const override { return isAvailable; }
  void show(const TrayLook& newLook, const std::vector<MenuItem>& newMenu) override {
    if (titles.empty() || titles.back() != newLook.title) titles.push_back(newLook.title);
    const std::string& line = newMenu.at(5).title;
    if (lines.empty() || lines.back() != line) lines.push_back(line);
    look = newLook;
    menu = newMenu;
  }
  void onAction(std::function<void(MenuAction)> handler) override { action = std::move(handler); }
  void onMenuAboutToShow(std::function<void()>) override {}
};

// Dialogs that answer with `accept` and keep what they showed: "ask: …" and
// "tell: …" lines of message and detail.
class FakeDialogs final : public Dialogs {
 public:
  bool accept = false;
  std::vector<std::string> shown;
  bool ask(const std::string& message, const std::string& detail, const std::string&, const std::string&) override {
    shown.push_back("ask: " + message + " / " + detail);
    return accept;
  }
  void tell(const std::string& message, const std::string& detail) override {
    shown.push_back("tell: " + message + " / " + detail);
  }
};

// The single-instance lock as held by `other` (nothing: free), with a
// running copy that answers requests while `answers`.
class FakeInstance final : public SingleInstance {
 public:
  std::optional<OtherCopy> other;
  bool answers = true;
  bool quitsWhenAsked = true;  // a quit request frees the lock
  std::vector<InstanceRequest> sent;
  std::optional<OtherCopy> acquire() override { return other; }
  bool send(InstanceRequest request) override {
    sent.push_back(request);
    if (request == InstanceRequest::quit && answers && quitsWhenAsked) other.reset();
    return answers;
  }
  void onRequest(std::function<void(InstanceRequest)>) override {}
};

// The engine: transcripts and finished texts from the test's script, the
// history kept in memory, the model setup scripted.
class FakeEngine final : public AppEngine {
 public:
  // What every piece transcribes to (all pieces, in order, joined by a space).
  std::string transcript = "hello there";
  std::function<std::string(const std::string& raw)> clean = [](const std::string& raw) { return raw; };
  std::string path = "cleaned";
  bool ready = true;

  std::mutex mutex;
  std::vector<Json> lines;  // guarded by mutex
  int pieces = 0;           // guarded by mutex
  int waits = 0;            // guarded by mutex

  // Setup script.
  std::vector<ModelStore::Item> missing;
  bool upgrade = false;
  bool downloadOk = true;
  std::vector<std::pair<std::int64_t, std::int64_t>> downloadBytes;
  std::function<void()> duringDownload;  // runs between the byte reports
  std::vector<std::string> downloadMessages;
  int serverStarts = 0;
  std::deque<bool> restartAnswers;
  int restarts = 0;
  std::vector<std::string> deleted;
  bool adapters = true;
  std::optional<bool> tidied;
  // What a server on another machine is failing with, if anything.
  std::optional<std::string> remote;  // guarded by mutex

  int piecesAdded = 0;  // main thread: transcribers handed out, one per piece
  // Set: every piece cut from now on fails with this reason.
  std::optional<std::string> pieceFailure;
  std::vector<std::size_t> keptFailed;    // guarded by mutex: sample counts kept
  std::function<void()> speechComeback;  // the application's handler

  Transcriber transcriber() override {
    ++piecesAdded;
    // What the piece says is fixed when it is cut, as a real recording's is.
    return [this, said = transcript, failure = pieceFailure](SampleSpan, const std::string&) -> Result<std::string> {
      std::scoped_lock lock(mutex);
      ++pieces;
      if (failure) return Error{*failure};
      return said;
    };
  }
  std::optional<std::string> keepFailedRecording(SampleSpan samples) override {
    std::scoped_lock lock(mutex);
    keptFailed.push_back(samples.size());
    return "kept-failed.wav";
  }
  void setOnSpeechComeback(std::function<void()> handler) override { speechComeback = std::move(handler); }
  bool wakeIfIdle() override { return false; }
  std::optional<double> idleAtPress() override { return std::nullopt; }
  std::shared_ptr<TalkAhead> startTalkAhead(TalkAhead::ContextReader) override { return nullptr; }
  bool waitUntilReady(std::chrono::duration<double>) override {
    std::scoped_lock lock(mutex);
    ++waits;
    return ready;
  }
  DictationResult finish(const std::string& raw, const std::optional<TalkAheadHead>&,
                         const std::optional<CursorContext>&) override {
    DictationResult result;
    result.raw = raw;
    result.final = raw.empty() ? "" : clean(raw);
    result.path = raw.empty() ? "empty" : path;
    result.cleanupMs = 100;
    return result;
  }
  bool speechOnNeuralEngine() override { return false; }
  std::optional<std::string> remoteProblem() override {
    std::scoped_lock lock(mutex);
    return remote;
  }
  std::optional<std::string> recordFailure;  // set: history writes fail so
  Status record(const DictationResult& result, const DictationFacts& facts) override {
    std::scoped_lock lock(mutex);
    if (recordFailure) return Error{*recordFailure};
    lines.push_back(dictationLine(result, facts, std::chrono::system_clock::now()));
    return success();
  }
  void setOnPartial(std::function<void(const std::string&)>) override {}
  std::string lastDictation() override { return ""; }
  std::optional<std::string> keepRecording(SampleSpan) override { return std::nullopt; }

  std::vector<ModelStore::Item> missingModels() override { return missing; }
  bool isUpgrade(const std::vector<ModelStore::Item>&) override { return upgrade; }
  bool download(const std::vector<ModelStore::Item>& items, const ModelStore::ByteCallback& bytes,
                const ModelStore::MessageCallback& progress) override {
    for (const auto& message : downloadMessages) {
      if (progress) progress(message);
    }
    for (std::size_t i = 0; i < downloadBytes.size(); ++i) {
      if (bytes) bytes(downloadBytes[i].first, downloadBytes[i].second);
      if (i == 0 && duringDownload) duringDownload();
    }
    if (downloadOk) {
      for (const auto& item : items) presentFiles.insert(item.file);
    }
    return downloadOk;
  }
  void startServers() override { ++serverStarts; }
  void warmUp() override {}
  int serverChecks = 0;  // guarded by mutex
  bool restartExitedServers() override {
    std::scoped_lock lock(mutex);
    ++serverChecks;
    return false;
  }
  bool restartLanguageModel() override {
    ++restarts;
    if (restartAnswers.empty()) return true;
    const bool answer = restartAnswers.front();
    restartAnswers.pop_front();
    return answer;
  }
  int speechRestarts = 0;
  std::deque<bool> speechRestartAnswers;  // answers in order; true once empty
  std::vector<std::string> speechStartedWith;  // the chosen speech model at each restart
  bool restartSpeechModel() override {
    ++speechRestarts;
    speechStartedWith.push_back(ModelStore::chosenSpeechFile());
    if (speechRestartAnswers.empty()) return true;
    const bool answer = speechRestartAnswers.front();
    speechRestartAnswers.pop_front();
    return answer;
  }
  std::set<std::string> presentFiles;  // model files "on disk"
  bool isPresent(const ModelStore::Item& item) override { return presentFiles.count(item.file) > 0; }
  void deleteModels(const std::vector<ModelStore::Item>& items) override {
    for (const auto& item : items) {
      deleted.push_back(item.file);
      presentFiles.erase(item.file);
    }
  }
  bool usesAdapters() override { return adapters; }
  void tidyAfterUpgrade(bool ok) override { tidied = ok; }
  void killStale() override {}
  void stopAll() override {}

  std::size_t lineCount() {
    std::scoped_lock lock(mutex);
    return lines.size();
  }
};

}  // namespace quorvel::testing
