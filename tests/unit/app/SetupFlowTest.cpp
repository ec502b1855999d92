// The model setup at launch and the later upgrade, on a fake clock.
#include <gtest/gtest.h>

#include "app/windows/DashboardTexts.h"
#include "tests/unit/app/ShellFixture.h"

namespace quorvel::testing {
namespace {

using SetupFlow = ShellTest;

ModelStore::Item item(const char* file) { return {file, "https://example.invalid/", "", 1000, "model"}; }

TEST_F(SetupFlow, ADownloadShowsItsPercentageButNeverAHundred) {
  engine.missing = {item("speech.bin")};
  engine.downloadBytes = {{0, 1000}, {420, 1000}, {999, 1000}, {1000, 1000}};
  app->launch({"quorvel"});
  settle();
  EXPECT_EQ(tray.titles, (std::vector<std::string>{"", " 0%", " 42%", " 99%", ""}));
  EXPECT_EQ(app->setup().phase, SetupInfo::Phase::ready);
  EXPECT_TRUE(app->setup().justFinished);
}

TEST_F(SetupFlow, TheTimeLeftIsEstimatedOnlyAfterThreeSecondsWithBytes) {
  app->downloadProgress(100, 1000);
  loop.advance(2.0);
  app->downloadProgress(300, 1000);
  EXPECT_FALSE(app->setup().secondsLeft);
  loop.advance(2.0);
  app->downloadProgress(100, 1000);  // nothing new since the start
  EXPECT_FALSE(app->setup().secondsLeft);
  app->downloadProgress(500, 1000);  // 400 bytes in 4 s
  ASSERT_TRUE(app->setup().secondsLeft);
  EXPECT_NEAR(*app->setup().secondsLeft, 5.0, 1e-9);
}

TEST_F(SetupFlow, AFailedDownloadSaysWhatToDo) {
  engine.missing = {item("speech.bin")};
  engine.downloadOk = false;
  app->launch({"quorvel"});
  settle();
  EXPECT_EQ(app->setup().phase, SetupInfo::Phase::failed);
  EXPECT_EQ(app->statusLine(),
            "Couldn't download the models. Check your internet, then open Quorvel and click Try Again.");
  EXPECT_EQ(app->setup().message,
            "Check your internet connection, then click Try Again. What already downloaded is checked again "
            "from the start.");
  EXPECT_EQ(tray.look.title, " !");
  EXPECT_EQ(setupPanel(app->setup())->title, "The download didn't finish");
  EXPECT_EQ(engine.serverStarts, 0);
  EXPECT_FALSE(app->modelsReady());
}

TEST_F(SetupFlow, TryAgainRunsTheWholeSetupAgain) {
  engine.missing = {item("speech.bin")};
  engine.downloadOk = false;
  app->launch({"quorvel"});
  settle();
  const SharedBridge bridge = app->makeBridge();
  EXPECT_EQ(bridge->setup().phase, SetupInfo::Phase::failed);
  engine.downloadOk = true;
  bridge->retrySetup();
  settle();
  EXPECT_EQ(bridge->setup().phase, SetupInfo::Phase::ready);
  EXPECT_EQ(bridge->state(), AppState::idle);
  EXPECT_EQ(bridge->status(), "Ready");
  app.reset();
  EXPECT_EQ(bridge->state(), AppState::idle);  // a bridge outliving the application answers its defaults
}

TEST_F(SetupFlow, ServersThatNeverAnswerFailTheSetupAndTheAppRunsOn) {
  engine.ready = false;
  app->launch({"quorvel"});
  settle();
  EXPECT_EQ(app->setup().phase, SetupInfo::Phase::failed);
  EXPECT_EQ(app->statusLine(), "Models failed to start (see logs)");
  EXPECT_TRUE(app->setup().message.starts_with("The models downloaded but didn't start. Quit Quorvel and open it"));
  // The headline does not blame a download that went fine.
  EXPECT_EQ(setupPanel(app->setup())->title, "The models didn't start");
  EXPECT_EQ(app->state(), AppState::starting);
  EXPECT_FALSE(sounds.played.size());
}

TEST_F(SetupFlow, AServerElsewhereThatDoesNotAnswerSaysWhyInsteadOfBlamingTheModels) {
  engine.ready = false;
  engine.remote = "Can't reach the speech server at gpu.example:8443: it refused the key (401)";
  app->launch({"quorvel"});
  settle();
  EXPECT_EQ(app->setup().phase, SetupInfo::Phase::failed);
  EXPECT_EQ(app->statusLine(), *engine.remote);
  EXPECT_EQ(app->setup().message, *engine.remote + ". Check the server's address and key in Settings.");
}

TEST_F(SetupFlow, TheReadyNoticeComesOnlyAfterADownload) {
  launchReady();
  EXPECT_TRUE(sounds.played.empty());
  EXPECT_FALSE(app->setup().justFinished);
  EXPECT_EQ(app->statusLine(), "Ready");

  TearDown();
  SetUp();
  engine.missing = {item("speech.bin")};
  launchReady();
  EXPECT_EQ(sounds.played, std::vector<SoundName>{SoundName::glass});
  EXPECT_EQ(tag.lastFailure(), "Quorvel is ready. Hold right Alt and talk.");
  EXPECT_EQ(tag.hides.back(), 6.0);
  EXPECT_TRUE(app->setup().justFinished);
  // The first dictation ends "just finished".
  dictate(speechFor(1.0), 1.0);
  EXPECT_FALSE(app->setup().justFinished);
}

TEST_F(SetupFlow, AnUpgradeRunsOnTheOldModelsAndSwapsOnlyWhenIdle) {
  engine.missing = {item("base.gguf"), item("adapters/cleanup-5.gguf")};
  engine.upgrade = true;
  engine.downloadMessages = {"Downloading Quorvel's models… 10% of 1.3 GB"};
  app->launch({"quorvel"});
  loop.runPosted();
  runner.runAll();  // the setup: nothing to download first
  loop.runPosted();
  EXPECT_TRUE(app->modelsReady());
  EXPECT_EQ(engine.serverStarts, 1);

  press();  // a recording runs while the upgrade arrives
  speak(*mic, speechFor(1.0));
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(app->statusLine(), "Ready");  // no upgrade news over a recording
  loop.advance(1.0);
  EXPECT_EQ(engine.restarts, 0);
  release();
  loop.advance(1.0);  // the delivery is still on its way
  EXPECT_EQ(engine.restarts, 0);
  EXPECT_TRUE(app->modelsReady());
  runner.runAll();
  loop.advance(0.3);
  EXPECT_FALSE(app->modelsReady());
  settle();
  EXPECT_EQ(engine.restarts, 1);
  EXPECT_TRUE(app->modelsReady());
  EXPECT_EQ(engine.tidied, true);
  EXPECT_TRUE(engine.deleted.empty());
  EXPECT_EQ(app->statusLine(), "Ready");
}

TEST_F(SetupFlow, AnUpgradeThatDoesNotStartIsRemovedAndTheOldModelComesBack) {
  struct Case {
    const char* name;
    std::deque<bool> answers;
    bool ready;
    const char* line;
  };
  const Case cases[] = {{"old one starts", {false, true}, true, "Ready"},
                        {"nothing starts", {false, false}, false, "Models failed to start (see logs)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    engine.deleted.clear();
    engine.restarts = 0;
    engine.missing = {item("adapters/cleanup-6.gguf")};
    engine.upgrade = true;
    engine.restartAnswers = c.answers;
    app->launch({"quorvel"});
    settle();
    EXPECT_EQ(engine.deleted, std::vector<std::string>{"adapters/cleanup-6.gguf"});
    EXPECT_EQ(engine.restarts, 2);
    EXPECT_EQ(app->modelsReady(), c.ready);
    EXPECT_EQ(app->statusLine(), c.line);
  }
}

TEST_F(SetupFlow, UpgradeProgressNamesTheNewModelsWhenIdle) {
  engine.missing = {item("adapters/cleanup-6.gguf")};
  engine.upgrade = true;
  engine.adapters = false;  // nothing to swap: the download is all
  engine.downloadMessages = {"Downloading Quorvel's models… 10% of 1.3 GB"};
  app->launch({"quorvel"});
  settle();
  EXPECT_NE(std::find(tray.lines.begin(), tray.lines.end(), "Downloading Quorvel's new models… 10% of 1.3 GB"),
            tray.lines.end());
  EXPECT_EQ(engine.restarts, 0);
  EXPECT_EQ(app->statusLine(), "Ready");
}

// A model server that ends on its own is looked for every five seconds once
// the models run, never while the setup still starts them, one look at a time.
TEST_F(SetupFlow, ServersThatExitAreLookedForOnlyOnceTheModelsRun) {
  engine.ready = false;
  app->launch({"quorvel"});
  settle();
  loop.advance(12);
  settle();
  EXPECT_EQ(engine.serverChecks, 0);

  engine.ready = true;
  app->makeBridge()->retrySetup();
  settle();
  ASSERT_TRUE(app->modelsReady());
  loop.advance(5);
  EXPECT_EQ(runner.pending(), 1u);
  loop.advance(5);  // the first look is still under way: no second one
  EXPECT_EQ(runner.pending(), 1u);
  settle();
  EXPECT_EQ(engine.serverChecks, 1);
  loop.advance(5);
  settle();
  EXPECT_EQ(engine.serverChecks, 2);

  app->terminate();
  loop.advance(10);
  settle();
  EXPECT_EQ(engine.serverChecks, 2);
}

}  // namespace
}  // namespace quorvel::testing
