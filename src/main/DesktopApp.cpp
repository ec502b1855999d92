// Creates the adapters, wires them to the application's logic and runs the
// Qt event loop.
#include "main/DesktopApp.h"

#include <cstdio>

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <unistd.h>

#include "app/delegate/AppDelegate.h"
#include "app/note/BrainstormNote.h"
#include "app/launch/Launch.h"
#include "app/core/LoopTicker.h"
#include "app/desktop/Microphones.h"
#include "app/windows/MicrophoneCheck.h"
#include "app/launch/OpenAtLogin.h"
#include "app/models/PipelineEngine.h"
#include "app/launch/Placement.h"
#include "app/core/TaskRunner.h"
#include "app/launch/Updates.h"
#include "app/launch/LaunchFlow.h"
#include "app/launch/UpdateAnswers.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "main/LinuxSession.h"
#include "platform/linux/KeyLayoutXkb.h"
#include "platform/linux/MicAccessPulse.h"
#include "platform/linux/MicPulse.h"
#include "platform/linux/MicSourcesPulse.h"
#include "platform/linux/SingleInstanceLinux.h"
#include "platform/linux/SoundsCanberra.h"
#include "support/EnvironmentValues.h"
#include "support/Log.h"
#include "support/ProgramValues.h"
#include "support/Settings.h"
#include "support/UserDefaults.h"
#include "ui/TagWindow.h"
#include "ui/DashboardWindow.h"
#include "ui/GuiStart.h"
#include "ui/NotePanel.h"
#include "ui/OnboardingWindow.h"
#include "ui/QtDialogs.h"
#include "ui/QtMainLoop.h"
#include "ui/QtTray.h"
#include "ui/QuitOnSignals.h"
#include "ui/SoundSettings.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0.0.0"
#endif

namespace quorvel {

namespace {

ShellTimings timingsFromEnvironment() {
  ShellTimings timings;
  // For tests: a shorter wait for servers that never answer.
  if (const auto text = environmentValue("QUORVEL_SERVER_WAIT_S")) {
    char* end = nullptr;
    const double seconds = std::strtod(text->c_str(), &end);
    if (end != text->c_str() && seconds > 0 && seconds < 3600) timings.serverWait = seconds;
  }
  return timings;
}

}  // namespace

int runDesktopApp(int argc, char** argv) {
  const LinuxSession session = LinuxSession::look();
  if (const auto problem = session.prepare()) {
    std::fprintf(stderr, "quorvel: %s\n", problem->c_str());
    logLine("Quorvel: " + *problem);
    return 1;
  }
  const auto qt = startGui(argc, argv, {});
  quitOnSignals(*qt);

  QtDialogs dialogs;
  const CleanupFiles cleanupFiles = engineCleanupFiles();
  CleanupConfig::migrateSpeechHints(cleanupFiles);
  {
    UserDefaults defaults;
    (void)CleanupConfig::seedProductWord(cleanupFiles, defaults);
  }

  SingleInstanceLinux instance;
  if (const auto status = becomeTheOnlyCopy(instance, dialogs, executableOf(::getpid()))) return *status;

  for (const pid_t pid : predecessorProcesses()) {
    (void)stopProcess(pid, true, std::chrono::seconds(5), "", kPredecessorName);
  }
  {
    UserDefaults defaults;
    (void)migrateVimmoSettings(defaults, predecessorDefaultsFile());
  }

  PlacementSystem placement;
  placement.trash = [](const fs::path& path) { return QFile::moveToTrash(QString::fromStdString(path.string())); };
  const auto appImage = nonEmptyEnvironmentValue("APPIMAGE");
  if (movedIntoApplications(dialogs, appImage ? std::optional<fs::path>(*appImage) : std::nullopt, homeFolder(),
                            placement)) {
    return 0;
  }

  QtMainLoop loop;
  QtTray tray;
  SessionAdapters input = session.open();
  KeySource& keys = *input.keys;
  Paster& paster = *input.paster;
  SoundsCanberra sounds;
  TagWindow tag(loop, [] { return Settings::tagAtTop.read(); });
  const auto accessibility = session.accessibility();
  AtspiDesktop& desktop = *accessibility;
  BrainstormNote note(loop, paster, *input.noteDesktop, ui::notePanelFactory());
  Recorder recorder(MicPulse::factory({}, [] {
    const auto chosen = chosenMicrophone(UserDefaults());
    return chosen ? chosen->name : std::string();
  }));
  PipelineEngine engine;
  ThreadTaskRunner runner;
  LoopTicker ticker(loop);
  AppDelegate* running = nullptr;
  EditWatcher watcher(desktop, ticker, cleanupFiles, Config::resources() / "wordfreq-en.txt",
                      [&running] { return running != nullptr && running->trusted(); });

  MicrophoneCheck microphone(loop, runner, [] { return micStatusOf(pulseMicrophoneAccess()); });
  Updates updates(loop, runner, QUORVEL_VERSION, developmentBuild(Config::isDev(), executableOf(::getpid())),
                  configuredUpdateFeed().value_or(""), fetchUpdateFeed);
  // The windows are made on first use and closed before the delegate goes;
  // they reach the delegate through the bridge it makes below.
  SharedBridge bridge;
  std::unique_ptr<ui::DashboardController> dashboard;
  std::unique_ptr<ui::OnboardingController> onboarding;
  const auto dashboardWindow = [&]() -> ui::DashboardController& {
    if (!dashboard) dashboard = std::make_unique<ui::DashboardController>(bridge, loop);
    return *dashboard;
  };
  const auto onboardingWindow = [&]() -> ui::OnboardingController& {
    if (!onboarding) {
      onboarding = std::make_unique<ui::OnboardingController>(bridge, loop);
      onboarding->onFinished = [&dashboardWindow] { dashboardWindow().show(); };
    }
    return *onboarding;
  };
  ShellWindows windows;
  // A window that opens shows the microphone as it is now.
  windows.openDashboard = [&dashboardWindow, &microphone] {
    microphone.refresh();
    dashboardWindow().show();
  };
  windows.openDashboardHome = [&dashboardWindow, &microphone] {
    microphone.refresh();
    dashboardWindow().show(Page::home);
  };
  windows.openOnboarding = [&onboardingWindow, &microphone](bool fromStart) {
    microphone.refresh();
    onboardingWindow().show(fromStart);
  };
  windows.reloadDashboard = [&dashboard] {
    if (dashboard) dashboard->reload();
  };
  windows.showUpdate = [&updates] { updates.checkNow(); };
  windows.onboardingFinished = [] { return ui::OnboardingController::finished(); };
  windows.quit = [] { QCoreApplication::quit(); };
  AppDelegate app(ShellParts{loop, keys, recorder, desktop, paster, sounds, tag, note, tray, engine, runner, watcher,
                             input.access, [](int code) { return keyIsAltGrNow(code); }},
                  windows, timingsFromEnvironment());
  running = &app;
  updates.onChange = [&app, &updates] { app.setUpdatePending(updates.pending()); };
  // Handed to the dashboard and onboarding windows.
  bridge = app.makeBridge();
  if (input.allowTyping) bridge->allowTyping = input.allowTyping;
  bridge->updateVersion = [&updates] { return updates.pendingVersion(); };
  bridge->installUpdate = [&updates] { updates.checkNow(); };
  bridge->checkForUpdates = [&updates] { updates.checkNow(); };
  bridge->micStatus = [&microphone] { return microphone.status(); };
  bridge->requestMicrophone = [&microphone](std::function<void(bool)> answer) {
    microphone.refresh([answer = std::move(answer)](MicStatus status) {
      if (answer) answer(status == MicStatus::authorised);
    });
  };
  bridge->openSoundSettings = [] { return openSoundSettings(); };
  bridge->enableAccessibility = [&desktop] { return desktop.enableAccessibility(); };
  bridge->microphones = [] { return listMicSources(); };
  bridge->chosenMicrophone = [] { return chosenMicrophone(UserDefaults()); };
  bridge->chooseMicrophone = [&recorder](std::optional<MicSource> source) {
    UserDefaults defaults;
    if (!chooseMicrophone(defaults, source)) logLine("Quorvel: could not save the microphone choice");
    recorder.reset();
  };
  bridge->updatesAvailable = [&updates] { return updates.available(); };
  bridge->automaticUpdates = [&updates] { return updates.automatic(); };
  bridge->setAutomaticUpdates = [&updates](bool on) { updates.setAutomatic(on); };
  bridge->openAtLogin = [] { return Settings::openAtLogin.read(); };
  bridge->setOpenAtLogin = [](bool open) {
    const Status changed = OpenAtLogin::set(open);
    if (!changed.ok()) logLine("Quorvel: could not change the start at login: " + changed.error());
    return changed.ok();
  };
  updates.show = [&dialogs](const std::optional<UpdateFeed>& newer, const std::string& problem) {
    showUpdateAnswer(dialogs, newer, problem, QUORVEL_VERSION, [](const std::string& url) {
      QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    });
  };
  instance.onRequest([&loop, &app](InstanceRequest request) {
    loop.post([&app, request] {
      if (request == InstanceRequest::reopen) app.reopen();
      if (request == InstanceRequest::quit) QCoreApplication::quit();
    });
  });
  // Later starts of the program reach this copy through the instance socket.
  loop.every(Seconds(0.2), [&instance] { instance.poll(); });
  QObject::connect(qt.get(), &QCoreApplication::aboutToQuit, [&app] { app.terminate(); });

  logLine("Quorvel: started");
  // The login entry names this executable, so a program that moved is found again.
  if (const Status entry = OpenAtLogin::sync(); !entry.ok()) {
    logLine("Quorvel: could not update the start at login: " + entry.error());
  }
  app.launch(programArguments());
  microphone.start();
  updates.start();
  const int code = QApplication::exec();
  onboarding.reset();
  dashboard.reset();
  // Deliveries still under way get a moment to finish their history line.
  (void)runner.waitIdle(std::chrono::seconds(2));
  running = nullptr;
  return code;
}

}  // namespace quorvel
