// The model setup at launch (download what is missing, start and warm the
// servers) and the later swap to newer models, which waits until no
// dictation is in progress.
#include "app/delegate/AppDelegate.h"
#include "app/desktop/DictationKeys.h"
#include "support/Log.h"

namespace quorvel {

namespace {

constexpr double kEstimateAfter = 3.0;
constexpr double kIdleRecheck = 0.3;
constexpr double kReadyNoticeSeconds = 6.0;
constexpr const char* kSupportAddress = "support@quorvel.app";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

void AppDelegate::runSetup() {
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  std::weak_ptr<AppDelegate*> self = self_;
  const double serverWait = timings_.serverWait;
  const auto back = [&loop, self](std::function<void(AppDelegate&)> work) {
    loop.post([self, work = std::move(work)] {
      if (const auto alive = self.lock()) work(**alive);
    });
  };
  parts_.runner.run([&engine, back, serverWait] {
    auto missing = engine.missingModels();
    std::vector<ModelStore::Item> upgrades;
    if (!missing.empty() && engine.isUpgrade(missing)) upgrades = std::exchange(missing, {});
    const bool downloading = !missing.empty();
    if (downloading) {
      back([](AppDelegate& app) {
        app.setup_ = SetupInfo{};
        app.setup_.phase = SetupInfo::Phase::downloading;
        app.downloadStarted_.reset();
        app.refresh();
      });
      const bool ok = engine.download(
          missing,
          [back](std::int64_t done, std::int64_t total) {
            back([done, total](AppDelegate& app) { app.downloadProgress(done, total); });
          },
          [back](const std::string& message) {
            back([message](AppDelegate& app) {
              app.statusLine_ = message;
              app.refresh();
            });
          });
      if (!ok) {
        back([](AppDelegate& app) {
          app.statusLine_ =
              "Couldn't download the models. Check your internet, then open Quorvel and click Try Again.";
          app.setup_.phase = SetupInfo::Phase::failed;
          app.setup_.startFailed = false;
          app.setup_.message =
              "Check your internet connection, then click Try Again. What already downloaded is checked "
              "again from the start.";
          app.refresh();
          app.call(app.windows_.reloadDashboard);
        });
        return;
      }
    }
    back([](AppDelegate& app) {
      app.setup_.phase = SetupInfo::Phase::starting;
      app.refresh();
    });
    engine.startServers();
    const bool ready = engine.waitUntilReady(std::chrono::duration<double>(serverWait));
    if (ready) engine.warmUp();
    back([ready, downloading, upgrades = std::move(upgrades)](AppDelegate& app) mutable {
      app.finishSetup(ready, downloading, std::move(upgrades));
    });
  });
}

void AppDelegate::finishSetup(bool ready, bool downloaded, std::vector<ModelStore::Item> upgrades) {
  modelsReady_ = ready;
  syncState();
  if (ready) {
    setup_.phase = SetupInfo::Phase::ready;
    setup_.startFailed = false;
    setup_.justFinished = downloaded;
    statusLine_ = "Ready";
    logLine("Quorvel: the models are ready");
    if (downloaded) {
      parts_.sounds.play(SoundName::glass);
      parts_.tag.show(TagMode::failed, "Quorvel is ready. Hold " + dictationKeyName() + " and talk.");
      parts_.tag.hide(kReadyNoticeSeconds);
    }
  } else if (const auto remote = parts_.engine.remoteProblem()) {
    // A server on another machine: nothing here to restart, the line says what is wrong.
    statusLine_ = *remote;
    setup_.phase = SetupInfo::Phase::failed;
    setup_.startFailed = true;
    setup_.message = *remote + ". Check the server's address and key in Settings.";
    logLine("Quorvel: " + *remote);
  } else {
    statusLine_ = "Models failed to start (see logs)";
    setup_.phase = SetupInfo::Phase::failed;
    setup_.startFailed = true;
    setup_.message =
        std::string("The models downloaded but didn't start. Quit Quorvel and open it again; if that "
                    "doesn't help, email ") +
        kSupportAddress + ".";
    logLine("Quorvel: the model servers did not answer in time");
  }
  refresh();
  call(windows_.reloadDashboard);
  if (ready && !upgrades.empty()) upgradeModels(std::move(upgrades));
}

void AppDelegate::downloadProgress(std::int64_t done, std::int64_t total) {
  const auto now = parts_.loop.now();
  if (!downloadStarted_) downloadStarted_ = {now, done};
  setup_.done = done;
  setup_.total = total;
  const auto& [since, startBytes] = *downloadStarted_;
  const double seconds = std::chrono::duration<double>(now - since).count();
  if (seconds > kEstimateAfter && done > startBytes) {
    const double rate = static_cast<double>(done - startBytes) / seconds;
    setup_.secondsLeft = static_cast<double>(total - done) / rate;
  }
  refresh();
}

void AppDelegate::upgradeModels(std::vector<ModelStore::Item> items) {
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  std::weak_ptr<AppDelegate*> self = self_;
  const auto back = [&loop, self](std::function<void(AppDelegate&)> work) {
    loop.post([self, work = std::move(work)] {
      if (const auto alive = self.lock()) work(**alive);
    });
  };
  parts_.runner.run([&engine, back, items = std::move(items)]() mutable {
    const bool ok = engine.download(items, {}, [back](const std::string& message) {
      back([message](AppDelegate& app) {
        // Progress of a background upgrade never hides a dictation's news.
        if (app.isRecording_ || app.processing_ > 0) return;
        app.statusLine_ = replaceAll(message, "Quorvel's models", "Quorvel's new models");
        app.refresh();
      });
    });
    back([ok, items = std::move(items)](AppDelegate& app) mutable {
      if (!ok || !app.parts_.engine.usesAdapters()) {
        app.statusLine_ = "Ready";
        app.refresh();
        return;
      }
      app.swapWhenIdle(std::move(items));
    });
  });
}

void AppDelegate::swapWhenIdle(std::vector<ModelStore::Item> items) {
  if (isRecording_ || processing_ > 0) {
    parts_.loop.after(Seconds(kIdleRecheck), [self = std::weak_ptr<AppDelegate*>(self_), items]() mutable {
      if (const auto alive = self.lock()) (*alive)->swapWhenIdle(std::move(items));
    });
    return;
  }
  modelsReady_ = false;
  syncState();
  AppEngine& engine = parts_.engine;
  MainLoop& loop = parts_.loop;
  std::weak_ptr<AppDelegate*> self = self_;
  parts_.runner.run([&engine, &loop, self, items = std::move(items)] {
    bool ready = engine.restartLanguageModel();
    if (ready) {
      engine.warmUp();
    } else {
      // The new files did not start: they go, and the old ones come back.
      logLine("Quorvel: the upgraded language model did not start; going back to the old one");
      engine.deleteModels(items);
      ready = engine.restartLanguageModel();
    }
    loop.post([self, ready] {
      if (const auto alive = self.lock()) (*alive)->finishUpgrade(ready);
    });
  });
}

void AppDelegate::finishUpgrade(bool ready) {
  modelsReady_ = ready;
  syncState();
  if (parts_.engine.usesAdapters()) parts_.engine.tidyAfterUpgrade(ready);
  statusLine_ = ready ? "Ready" : "Models failed to start (see logs)";
  refresh();
  call(windows_.reloadDashboard);
}

}  // namespace quorvel
