// Hold-to-talk on a fake clock: the note tap, the shortest press, the poll's
// guards, the tail rule, ordered deliveries and the delivery step's rules.
#include <gtest/gtest.h>

#include "audio/Levels.h"
#include "support/WriteProblems.h"
#include "tests/unit/app/ShellFixture.h"
#include "text/TextPeriods.h"
#include "support/Settings.h"

namespace quorvel::testing {
namespace {

using RecordingControl = ShellTest;

TEST_F(RecordingControl, ARightSuperTapUnderSixTenthsTogglesTheNoteAndAnythingBetweenCancelsIt) {
  launchReady();
  struct Case {
    const char* name;
    double held;
    std::optional<KeyEvent> between;
    int toggles;
  };
  const Case cases[] = {
      {"quick tap", 0.3, std::nullopt, 1},
      {"just under", 0.59, std::nullopt, 1},
      {"held 0.6 s", 0.6, std::nullopt, 0},
      {"a key pressed in between", 0.2, KeyEvent{ShellKey::other, true, false}, 0},
      {"another modifier in between", 0.2, KeyEvent{ShellKey::other, false, true}, 0},
      {"right Alt in between", 0.2, KeyEvent{ShellKey::dictation, false, true}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    note.toggles = 0;
    note.focused = note.open = false;
    app->handleKey({ShellKey::note, true, true});
    if (c.between) app->handleKey(*c.between);
    loop.advance(c.held);
    app->handleKey({ShellKey::note, false, true});
    EXPECT_EQ(note.toggles, c.toggles);
  }
  // A second tap while the note has focus closes it.
  note.toggles = 0;
  note.captures = 0;
  note.focused = note.open = true;
  app->handleKey({ShellKey::note, true, true});
  app->handleKey({ShellKey::note, false, true});
  EXPECT_FALSE(note.open);
  EXPECT_EQ(note.captures, 0);
}

TEST_F(RecordingControl, ATooShortPressOrTooLittleAudioLogsNothingAndHidesTheTag) {
  launchReady();
  struct Case {
    const char* name;
    double held;
    double audio;
  };
  const Case cases[] = {{"press of 0.35 s", 0.35, 1.0}, {"press of 0.2 s", 0.2, 0.2}, {"0.3 s of audio", 1.0, 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tag.hides.clear();
    dictate(speechFor(c.audio), c.held);
    loop.advance(0.3);  // past the poll's guard
    settle();
    EXPECT_FALSE(app->isRecording());
    EXPECT_EQ(engine.lineCount(), 0u);
    EXPECT_TRUE(paster.pasted.empty());
    ASSERT_FALSE(tag.hides.empty());
    EXPECT_EQ(tag.hides.back(), 0);
    EXPECT_EQ(app->state(), AppState::idle);
  }
  // Just over both limits counts.
  dictate(speechFor(0.4), 0.36);
  settle();
  EXPECT_EQ(engine.lineCount(), 1u);
}

TEST_F(RecordingControl, ThePollNeverRestartsWithinTwoTenthsOfAStop) {
  launchReady();
  dictate(speechFor(1.0), 1.0);
  keys.down = true;  // the key reads as down again at once
  loop.advance(0.15);
  EXPECT_FALSE(app->isRecording());
  loop.advance(0.1);
  EXPECT_TRUE(app->isRecording());
}

TEST_F(RecordingControl, ThePollStopsARecordingWhoseReleaseWasLost) {
  launchReady();
  press();
  loop.advance(0.1);  // the poll sees the key down once
  speak(*mic, speechFor(1.0));
  loop.advance(1.0);
  keys.down = false;  // released, but no event arrives
  loop.advance(0.1);
  EXPECT_FALSE(app->isRecording());
  settle();
  EXPECT_EQ(paster.pasted, std::vector<std::string>{"hello there"});
}

TEST_F(RecordingControl, ThePollDoesNothingUntilItHasSeenTheKeyDown) {
  launchReady();
  // Events alone: the poll never saw the key, so a key that reads as up
  // (a source whose query does not work) never stops the recording.
  app->handleKey({ShellKey::dictation, true, true});
  loop.advance(1.0);
  EXPECT_TRUE(app->isRecording());
}

TEST_F(RecordingControl, TheTailGoesOnlyWhenLongAndSpokenOnceAPieceWasCut) {
  set("chunkMin", 1.0);
  launchReady();
  // 1.5 s of speech, a clear pause, then a tail of the given length.
  struct Case {
    const char* name;
    Samples tail;
    std::int64_t chunks;
  };
  const Case cases[] = {
      {"only the rest of the pause", Samples{}, 1},
      {"long silent tail", silenceFor(0.4), 1},
      {"long spoken tail", speechFor(1.0), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    press();
    speak(*mic, speechFor(1.5));
    speak(*mic, silenceFor(1.2));
    const int before = engine.piecesAdded;
    loop.advance(2.5);  // the chunker cuts at the pause
    ASSERT_EQ(engine.piecesAdded, before + 1);
    speak(*mic, c.tail);
    loop.advance(0.5);
    release();
    settle();
    ASSERT_FALSE(engine.lines.empty());
    EXPECT_EQ(engine.lines.back()["chunks"], c.chunks);
    loop.advance(0.3);
  }
}

TEST_F(RecordingControl, TwoQuickDictationsArriveInReleaseOrderWhateverFinishesFirst) {
  launchReady();
  engine.clean = [](const std::string& raw) { return raw; };
  engine.transcript = "first";
  dictate(speechFor(1.0), 1.0);
  loop.advance(0.3);
  engine.transcript = "second";
  dictate(speechFor(1.0), 1.0);
  ASSERT_EQ(runner.pending(), 2u);
  runner.runAt(1);  // the second finishes first
  loop.runPosted();
  EXPECT_TRUE(paster.pasted.empty());
  EXPECT_EQ(app->processing(), 2);
  runner.runAt(0);
  loop.runPosted();
  EXPECT_EQ(paster.pasted, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(app->processing(), 0);
  EXPECT_EQ(app->state(), AppState::idle);
}

TEST_F(RecordingControl, AQuietRecordingThatHeardASilencePhraseGivesNothing) {
  launchReady();
  // Mostly near-silence with a little voice: speech, but an rms under 120.
  Samples quiet = speechFor(0.5, 350);
  const Samples hush = speechFor(1.5, 4, 3);
  quiet.insert(quiet.end(), hush.begin(), hush.end());
  ASSERT_TRUE(hasSpeech(quiet));
  ASSERT_LE(rms(quiet), 120);
  engine.transcript = "Thank you.";
  dictate(quiet, 2.0);
  settle();
  EXPECT_TRUE(paster.pasted.empty());
  EXPECT_EQ(app->statusLine(), "Didn't catch that");
  EXPECT_EQ(tag.lastFailure(), "Didn't catch that. Try again.");
  EXPECT_EQ(engine.lineCount(), 1u);  // still logged
  // Said loudly, the same words are typed.
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted, std::vector<std::string>{"Thank you."});
}

TEST_F(RecordingControl, NoSpeechSaysWhetherTheMicrophoneHeardAnything) {
  launchReady();
  dictate(silenceFor(1.0), 1.0);
  EXPECT_EQ(app->statusLine(), "No sound from the microphone");
  EXPECT_EQ(tag.lastFailure(), "No sound from your mic. Check Sound settings.");
  loop.advance(0.3);
  dictate(speechFor(1.0, 40), 1.0);  // a hum, no voice
  EXPECT_EQ(app->statusLine(), "Didn't catch that");
  EXPECT_EQ(tag.lastFailure(), "Didn't catch that. Try a bit louder.");
  EXPECT_EQ(tag.hides.back(), 2.4);
  EXPECT_EQ(runner.pending(), 0u);
}

TEST_F(RecordingControl, PressingWhileTheModelsDownloadShowsThePercentageAndStartsNothing) {
  engine.missing = {ModelStore::Item{"speech.bin", "https://example.invalid/s", "", 100, "speech model"}};
  engine.downloadBytes = {{42, 100}};
  app->launch({"quorvel"});
  loop.runPosted();
  ASSERT_EQ(runner.pending(), 1u);
  // Stop the setup task in the middle of its download.
  engine.duringDownload = [&] {
    loop.runPosted();
    press();
    EXPECT_FALSE(app->isRecording());
    EXPECT_EQ(mic->starts, 0);
    EXPECT_EQ(tag.lastFailure(), "Still getting ready: downloading the models, 42%. Hold on a few minutes.");
    EXPECT_EQ(tag.hides.back(), 2.4);
  };
  runner.runAll();
  loop.runPosted();
}

TEST_F(RecordingControl, AFailedSetupSendsThePressToTheDashboard) {
  engine.ready = false;
  app->launch({"quorvel"});
  settle();
  press();
  EXPECT_FALSE(app->isRecording());
  EXPECT_EQ(tag.lastFailure(), "Quorvel couldn't finish setting up. Open Quorvel to try again.");
  EXPECT_EQ(dashboardHomeOpened, 1);
}

TEST_F(RecordingControl, AMicrophoneThatFailsSaysSoAndTheNextPressTriesAgain) {
  launchReady();
  mic->failingStarts = 2;  // the recorder retries once on a fresh capture
  press();
  EXPECT_FALSE(app->isRecording());
  EXPECT_EQ(app->statusLine(), "Microphone unavailable: the device is busy");
  EXPECT_EQ(tag.lastFailure(), "Microphone unavailable");
  EXPECT_EQ(tag.hides.back(), 2.2);
  EXPECT_EQ(sounds.played.back(), SoundName::basso);
  release();
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted, std::vector<std::string>{"hello there"});
}

TEST_F(RecordingControl, WithTheTagOffOnlyFailuresShow) {
  set("bubble", false);
  launchReady();
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.size(), 1u);
  EXPECT_TRUE(tag.shown.empty());
  dictate(silenceFor(1.0), 1.0);
  EXPECT_EQ(tag.lastFailure(), "No sound from your mic. Check Sound settings.");
}

TEST_F(RecordingControl, TheTagFollowsADictationAndCountsItsWords) {
  launchReady();
  dictate(speechFor(1.0), 1.0);
  settle();
  ASSERT_GE(tag.shown.size(), 4u);
  EXPECT_EQ(tag.shown[0].mode, TagMode::recording);
  EXPECT_EQ(tag.shown[1].mode, TagMode::transcribing);
  EXPECT_EQ(tag.shown[2].mode, TagMode::polishing);
  EXPECT_EQ(tag.shown[3].mode, TagMode::done);
  EXPECT_EQ(tag.shown[3].text, "2 words");
  EXPECT_EQ(tag.hides.back(), 0.9);
  EXPECT_EQ(sounds.played.front(), SoundName::tink);
  EXPECT_EQ(app->lastText(), "hello there");
  EXPECT_EQ(app->statusLine(), "Done in 0.1s (cleaned)");
}

TEST_F(RecordingControl, AChatFieldLosesOrKeepsTheFinalPeriodByTheLearnedHabit) {
  launchReady();
  engine.transcript = "See you soon.";
  desktop.app = "com.slack.Slack";
  desktop.type(u"");
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), "See you soon");
  set(Settings::textPeriodsOn.key, true);
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), "See you soon.");
  // Elsewhere the period always stays.
  set(Settings::textPeriodsOn.key, false);
  desktop.app = "org.gnome.TextEditor";
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), "See you soon.");
}

TEST_F(RecordingControl, WithFittingOffTheTextIsTypedAsFinishedButChatStillLosesItsPeriod) {
  launchReady();
  engine.transcript = "The plan works.";
  desktop.type(u"We agreed");  // fitting would add a space and lower-case "The"
  set("fitText", false);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), "The plan works.");
  desktop.app = "org.telegram.desktop";
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), "The plan works");
  // Fitting on: the same text continues the sentence.
  set("fitText", true);
  desktop.app = "org.gnome.TextEditor";
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.back(), " the plan works.");
}

TEST_F(RecordingControl, ANoteDictationAfterTheNoteChangedIsDropped) {
  launchReady();
  note.focused = note.open = true;
  dictate(speechFor(1.0), 1.0);
  note.sessionId = 2;  // cleared while the dictation was on its way
  settle();
  EXPECT_TRUE(note.inserted.empty());
  EXPECT_TRUE(paster.pasted.empty());
  loop.advance(0.3);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(note.inserted, std::vector<std::string>{"hello there"});
  EXPECT_EQ(tag.shown.back().text, "to note · 2 words");
}

TEST_F(RecordingControl, ATerminalGetsTheTerminalsPasteChord) {
  launchReady();
  desktop.app = "org.gnome.Terminal";
  dictate(speechFor(1.0), 1.0);
  settle();
  ASSERT_EQ(paster.chords.size(), 1u);
  EXPECT_EQ(paster.chords[0], PasteChord::ctrlShiftV);
}

TEST_F(RecordingControl, TextThatCouldNotBeTypedStaysForCopyLastDictation) {
  launchReady();
  paster.works = false;
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(app->lastText(), "hello there");
  EXPECT_EQ(app->statusLine(), "Couldn't type the dictation: use Copy Last Dictation");
  ASSERT_TRUE(tray.action);
  tray.action(MenuAction::copyLast);
  EXPECT_EQ(paster.copied, std::vector<std::string>{"hello there"});
}

TEST_F(RecordingControl, AServerElsewhereThatFailsIsNamedInOneLineAndTheTextStillArrives) {
  launchReady();
  const std::string line = "Can't reach the language model server at gpu.example:8443: no answer in time";
  engine.remote = line;
  engine.path = "fallback";
  dictate(speechFor(1.0), 1.0);
  settle();
  // The language model fell back: the words are typed all the same, and why is said.
  EXPECT_EQ(paster.pasted.size(), 1u);
  EXPECT_EQ(app->lastText(), "hello there");
  EXPECT_EQ(app->statusLine(), line);
  EXPECT_EQ(tag.lastFailure(), line);

  // Nothing heard because the speech server is gone: the same line, not "Didn't catch that".
  const std::string speech = "Can't reach the speech server at gpu.example:8443: the connection was refused";
  engine.remote = speech;
  engine.transcript = "";
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(app->statusLine(), speech);
  EXPECT_EQ(tag.lastFailure(), speech);

  // Once it answers again, the usual news.
  engine.remote.reset();
  engine.transcript = "hello there";
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(app->statusLine(), "Done in 0.1s (fallback)");
}

TEST_F(RecordingControl, ADictationStartedWhileTheServersStartWaitsForThem) {
  app->launch({"quorvel"});
  loop.runPosted();
  ASSERT_FALSE(app->modelsReady());
  dictate(speechFor(1.0), 1.0);
  EXPECT_EQ(app->state(), AppState::processing);
  settle();
  EXPECT_GE(engine.waits, 2);  // the setup's and the delivery's
  EXPECT_EQ(paster.pasted, std::vector<std::string>{"hello there"});
  EXPECT_EQ(app->state(), AppState::idle);
}

// The speech model stopped and did not come back: nothing is typed and the
// user is not blamed; the recording is kept, the history says why, and the
// menu's "Try Last Dictation Again" types it once the model answers again.
TEST_F(RecordingControl, ADictationWhoseSpeechModelStoppedIsKeptAndCanBeTriedAgain) {
  launchReady();
  const auto retryItem = [&] {
    for (const MenuItem& item : tray.menu) {
      if (item.action == MenuAction::retryLast) return item;
    }
    ADD_FAILURE() << "no Try Last Dictation Again item";
    return MenuItem{};
  };
  EXPECT_FALSE(retryItem().visible);
  engine.pieceFailure = "the speech model stopped";
  dictate(speechFor(1.0), 1.0);
  // While a piece waits for the model to come back, the tag says so.
  ASSERT_TRUE(engine.speechComeback);
  engine.speechComeback();
  loop.runPosted();
  ASSERT_FALSE(tag.shown.empty());
  EXPECT_EQ(tag.shown.back().mode, TagMode::transcribing);
  EXPECT_EQ(tag.shown.back().text, "Speech model restarting…");
  EXPECT_EQ(app->statusLine(), "Speech model restarting…");
  settle();

  EXPECT_TRUE(paster.pasted.empty());
  EXPECT_EQ(app->statusLine(), "Couldn't transcribe: the speech model stopped");
  EXPECT_EQ(tag.lastFailure(), "Couldn't transcribe: the speech model stopped");
  EXPECT_EQ(engine.keptFailed, std::vector<std::size_t>{16000});
  ASSERT_EQ(engine.lineCount(), 1u);
  EXPECT_EQ(engine.lines[0]["path"], "error");
  EXPECT_EQ(engine.lines[0]["error"], "the speech model stopped");
  EXPECT_EQ(engine.lines[0]["recording"], "kept-failed.wav");
  EXPECT_TRUE(retryItem().visible);
  EXPECT_EQ(app->state(), AppState::idle);

  engine.pieceFailure.reset();
  ASSERT_TRUE(tray.action);
  tray.action(MenuAction::retryLast);
  settle();
  EXPECT_EQ(paster.pasted, std::vector<std::string>{"hello there"});
  ASSERT_EQ(engine.lineCount(), 2u);
  EXPECT_EQ(engine.lines[1]["path"], "cleaned");
  EXPECT_EQ(engine.lines[1]["recording"], "kept-failed.wav");
  EXPECT_EQ(engine.keptFailed.size(), 1u);  // the same file, not a second one
  EXPECT_FALSE(retryItem().visible);
  EXPECT_EQ(app->state(), AppState::idle);
  for (const auto& shown : tag.shown) EXPECT_EQ(shown.text.find("Didn't catch that"), std::string::npos);
}

TEST_F(RecordingControl, AHistoryThatCannotBeWrittenIsSaidOnceUntilWritingWorksAgain) {
  launchReady();
  WriteProblems::succeeded(WriteProblems::File::history);  // what an earlier test left
  engine.recordFailure = "cannot append to dictations.jsonl: No space left on device";
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(paster.pasted.size(), 1u);  // the text is typed all the same
  EXPECT_EQ(app->statusLine(), "Can't save the history: disk full");
  loop.advance(0.5);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(app->statusLine().rfind("Done in ", 0), 0u) << app->statusLine();
  engine.recordFailure.reset();
  loop.advance(0.5);
  dictate(speechFor(1.0), 1.0);
  settle();
  engine.recordFailure = "cannot append to dictations.jsonl: No space left on device";
  loop.advance(0.5);
  dictate(speechFor(1.0), 1.0);
  settle();
  EXPECT_EQ(app->statusLine(), "Can't save the history: disk full");
  EXPECT_EQ(paster.pasted.size(), 4u);
}

}  // namespace
}  // namespace quorvel::testing
