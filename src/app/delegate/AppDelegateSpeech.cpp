// Choosing another speech model from the settings page: its download with
// progress, then the speech server switched once no dictation is under way;
// a model that does not start gives way to the one before.
#include <algorithm>

#include "app/delegate/AppDelegate.h"
#include "engine/Config.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quorvel {

namespace {

constexpr double kIdleRecheck = 0.3;

bool isOffered(const std::string& file) {
  const auto& models = Config::speechModels();
  return std::any_of(models.begin(), models.end(), [&](const ModelChoice& model) { return model.file == file; });
}

}  // namespace

std::vector<SpeechModelRow> AppDelegate::speechModels() {
  return speechModelRows(ModelStore::chosenSpeechFile(),
                         [this](const ModelStore::Item& item) { return parts_.engine.isPresent(item); });
}

void AppDelegate::chooseSpeechModel(const std::string& file) {
  if (speech_.busy() || !isOffered(file) || file == ModelStore::chosenSpeechFile()) return;
  const std::string previous = ModelStore::chosenSpeechFile();
  const ModelStore::Item item = ModelStore::speech(file);
  speech_ = {SpeechSwitch::Phase::downloading, file, 0, ""};
  call(windows_.reloadDashboard);
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  std::weak_ptr<AppDelegate*> self = self_;
  parts_.runner.run([&engine, &loop, self, item, previous] {
    const auto back = [&loop, self](std::function<void(AppDelegate&)> work) {
      loop.post([self, work = std::move(work)] {
        if (const auto alive = self.lock()) work(**alive);
      });
    };
    const bool here = engine.isPresent(item) ||
                      engine.download({item}, [back](std::int64_t done, std::int64_t total) {
                        if (total <= 0) return;
                        const int percent = static_cast<int>(std::min<std::int64_t>(99, done * 100 / total));
                        back([percent](AppDelegate& app) {
                          if (app.speech_.phase != SpeechSwitch::Phase::downloading) return;
                          app.speech_.percent = percent;
                          app.call(app.windows_.reloadDashboard);
                        });
                      }, {});
    back([here, file = item.file, previous](AppDelegate& app) {
      if (!here) {
        app.speech_ = {SpeechSwitch::Phase::failed, file, 0,
                       "The download didn't finish. Check your internet connection, then try again."};
        app.call(app.windows_.reloadDashboard);
        return;
      }
      app.switchSpeechWhenIdle(file, previous);
    });
  });
}

void AppDelegate::switchSpeechWhenIdle(std::string file, std::string previous) {
  // The server is never swapped under a dictation: its pieces go to it.
  if (isRecording_ || processing_ > 0 || !modelsReady_) {
    parts_.loop.after(Seconds(kIdleRecheck), [self = std::weak_ptr<AppDelegate*>(self_), file, previous] {
      if (const auto alive = self.lock()) (*alive)->switchSpeechWhenIdle(file, previous);
    });
    return;
  }
  speech_.phase = SpeechSwitch::Phase::switching;
  (void)UserDefaults().set(Settings::speechModel.key, Json(file));
  modelsReady_ = false;
  syncState();
  call(windows_.reloadDashboard);
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  std::weak_ptr<AppDelegate*> self = self_;
  parts_.runner.run([&engine, &loop, self, file, previous] {
    const bool ready = engine.restartSpeechModel();
    bool working = ready;
    if (!ready) {
      // The new model did not start: the one before comes back.
      logLine("Quorvel: the speech model " + file + " did not start; going back to " + previous);
      (void)UserDefaults().set(Settings::speechModel.key, Json(previous));
      working = engine.restartSpeechModel();
    }
    loop.post([self, ready, working, file] {
      if (const auto alive = self.lock()) (*alive)->finishSpeechSwitch(ready, working, file);
    });
  });
}

void AppDelegate::finishSpeechSwitch(bool ready, bool working, const std::string& file) {
  modelsReady_ = working;
  if (!working) statusLine_ = "Models failed to start (see logs)";
  speech_ = ready ? SpeechSwitch{}
                  : SpeechSwitch{SpeechSwitch::Phase::failed, file, 0,
                                 "That model didn't start on this computer, so Quorvel kept the one before."};
  syncState();
  refresh();
  call(windows_.reloadDashboard);
}

bool AppDelegate::deleteSpeechModel(const std::string& file) {
  if (!isOffered(file) || file == ModelStore::chosenSpeechFile()) return false;
  if (speech_.busy() && speech_.file == file) return false;
  const ModelStore::Item item = ModelStore::speech(file);
  if (!parts_.engine.isPresent(item)) return false;
  parts_.engine.deleteModels({item});
  call(windows_.reloadDashboard);
  return true;
}

}  // namespace quorvel
