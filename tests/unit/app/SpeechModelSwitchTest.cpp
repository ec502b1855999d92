// Another speech model from the settings page: downloaded with progress,
// switched to only while no dictation is under way, the one before restored
// when the new one does not start, and only models not in use deleted.
#include <gtest/gtest.h>

#include "app/models/ModelStore.h"
#include "tests/unit/app/ShellFixture.h"

namespace quorvel::testing {
namespace {

constexpr const char* kBase = "ggml-base.en.bin";
constexpr const char* kSmall = "ggml-small.en-q5_1.bin";
constexpr const char* kLarge = "ggml-large-v3-turbo-q5_0.bin";

using SpeechModelSwitch = ShellTest;

TEST_F(SpeechModelSwitch, TheListShowsSizesLicencesAndWhatIsHere) {
  engine.presentFiles = {kSmall, kBase};
  launchReady();
  const auto rows = app->speechModels();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].file, kBase);
  EXPECT_EQ(rows[2].file, kLarge);
  for (const auto& row : rows) {
    EXPECT_EQ(row.licence, "MIT");
    EXPECT_FALSE(row.note.empty());
    EXPECT_GT(row.bytes, 100'000'000);
  }
  EXPECT_TRUE(rows[0].present && !rows[0].chosen);
  EXPECT_TRUE(rows[1].present && rows[1].chosen);
  EXPECT_FALSE(rows[2].present);
  EXPECT_EQ(modelSize(rows[2].bytes), "574 MB");
  EXPECT_EQ(modelSize(1'107'409'472), "1.1 GB");
}

TEST_F(SpeechModelSwitch, AMissingModelIsDownloadedThenSwitchedToOnceTheDictationEnds) {
  engine.presentFiles = {kSmall};
  launchReady();
  engine.downloadBytes = {{100, 400}, {400, 400}};
  press();  // a dictation under way
  speak(*mic, speechFor(1.0));
  app->chooseSpeechModel(kLarge);
  EXPECT_EQ(app->speechSwitch().phase, SpeechSwitch::Phase::downloading);
  app->chooseSpeechModel(kBase);  // one switch at a time
  EXPECT_EQ(app->speechSwitch().file, kLarge);
  runner.runAll();
  loop.runPosted();
  EXPECT_EQ(engine.speechRestarts, 0);  // not while the key is held
  EXPECT_EQ(ModelStore::chosenSpeechFile(), kSmall);
  loop.advance(1.0);
  release();
  settle();
  loop.advance(0.5);
  settle();
  EXPECT_EQ(engine.lineCount(), 1u);
  ASSERT_EQ(engine.speechRestarts, 1);
  EXPECT_EQ(engine.speechStartedWith, std::vector<std::string>{kLarge});
  EXPECT_EQ(UserDefaults().stringValue("speechModel"), kLarge);
  EXPECT_EQ(app->speechSwitch().phase, SpeechSwitch::Phase::idle);
  EXPECT_TRUE(app->modelsReady());
  EXPECT_TRUE(app->speechModels()[2].chosen);
}

TEST_F(SpeechModelSwitch, AModelThatDoesNotStartGivesWayToTheOneBefore) {
  engine.presentFiles = {kSmall, kBase};
  launchReady();
  engine.speechRestartAnswers = {false, true};
  app->chooseSpeechModel(kBase);
  settle();
  EXPECT_EQ(engine.speechStartedWith, (std::vector<std::string>{kBase, kSmall}));
  EXPECT_EQ(ModelStore::chosenSpeechFile(), kSmall);
  EXPECT_EQ(app->speechSwitch().phase, SpeechSwitch::Phase::failed);
  EXPECT_TRUE(app->modelsReady());
}

TEST_F(SpeechModelSwitch, AFailedDownloadChangesNothing) {
  engine.presentFiles = {kSmall};
  launchReady();
  engine.downloadOk = false;
  app->chooseSpeechModel(kLarge);
  settle();
  EXPECT_EQ(app->speechSwitch().phase, SpeechSwitch::Phase::failed);
  EXPECT_EQ(engine.speechRestarts, 0);
  EXPECT_EQ(ModelStore::chosenSpeechFile(), kSmall);
  // A later try may work.
  engine.downloadOk = true;
  app->chooseSpeechModel(kLarge);
  settle();
  EXPECT_EQ(ModelStore::chosenSpeechFile(), kLarge);
}

TEST_F(SpeechModelSwitch, OnlyDownloadedModelsNotInUseAreDeleted) {
  engine.presentFiles = {kSmall, kBase};
  launchReady();
  EXPECT_FALSE(app->deleteSpeechModel(kSmall));          // in use
  EXPECT_FALSE(app->deleteSpeechModel(kLarge));          // not here
  EXPECT_FALSE(app->deleteSpeechModel("../cleanup.json"));  // not a speech model
  EXPECT_TRUE(app->deleteSpeechModel(kBase));
  EXPECT_EQ(engine.deleted, std::vector<std::string>{kBase});
  EXPECT_FALSE(app->speechModels()[0].present);
}

}  // namespace
}  // namespace quorvel::testing
