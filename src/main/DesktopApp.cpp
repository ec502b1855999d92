// Creates the adapters, wires them to the application's logic and runs the
// Qt event loop.
#include "main/DesktopApp.h"

#include <cstdio>

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
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
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "main/SessionInput.h"
#include "platform/linux/AtspiDesktop.h"
#include "platform/linux/KeyLayoutXkb.h"
#include "platform/linux/MicAccessPulse.h"
#include "platform/linux/MicPulse.h"
#include "platform/linux/MicSourcesPulse.h"
#include "platform/linux/NoteDesktopX11.h"
#include "platform/linux/SingleInstanceLinux.h"
#include "platform/linux/SoundsCanberra.h"
#include "support/EnvironmentValues.h"
#include "support/Http.h"
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
#include "ui/SoundSettings.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0.0.0"
#endif

namespace quorvel {

namespace {

// --- Quitting on SIGTERM and SIGINT through the event loop ---

int signalPipe[2] = {-1, -1};  // the entry point's one program-wide value

void onSignal(int) {
  const char byte = 1;
  (void)!::write(signalPipe[1], &byte, 1);
}

void quitOnSignals(QApplication& app) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

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

// Single instance, before anything else is touched. False when this copy is
// to end (the exit status in `status`).
bool becomeTheOnlyCopy(SingleInstance& instance, Dialogs& dialogs, int& status) {
  const std::string ours = executableOf(::getpid());
  auto other = instance.acquire();
  switch (instanceChoice(other, ours)) {
    case InstanceChoice::run:
      return true;
    case InstanceChoice::reopenOther:
      if (!instance.send(InstanceRequest::reopen)) logLine("Quorvel: the running copy did not answer");
      status = 0;
      return false;
    case InstanceChoice::askUser:
      break;
  }
  if (!dialogs.ask(kAlreadyRunning, alreadyRunningDetail(*other), "Use This Copy", "Quit")) {
    status = 0;
    return false;
  }
  const bool asked = instance.send(InstanceRequest::quit);
  (void)stopProcess(other->pid, !asked, std::chrono::seconds(5), ours);
  if (instance.acquire()) {
    logLine("Quorvel: the other copy still holds the lock; running beside it");
  }
  return true;
}

// Offers to move an AppImage into ~/Applications; true when this copy is to
// end because the moved one opens in its place.
bool movedIntoApplications(Dialogs& dialogs) {
  std::optional<fs::path> appImage;
  if (auto value = nonEmptyEnvironmentValue("APPIMAGE")) appImage = fs::path(*value);
  const auto offer = placementOffer(appImage, homeFolder());
  if (!offer || !dialogs.ask(kMoveQuestion, kMoveDetail, "Move to Applications", "Not Now")) return false;
  const Status moved = place(*offer, [](const fs::path& path) {
    return QFile::moveToTrash(QString::fromStdString(path.string()));
  });
  if (!moved) {
    logLine("Quorvel: could not move itself: " + moved.error());
    dialogs.tell(kMoveFailed, kMoveFailedDetail);
    return false;
  }
  if (!startDetachedShell(relaunchCommand(offer->destination))) {
    logLine("Quorvel: could not open the moved copy; open it from " + offer->destination.string());
  }
  return true;
}

// A program run from its build tree (beside CMakeCache.txt) or on the
// developer's data folder never looks for updates on its own.
bool developmentBuild() {
  if (Config::isDev()) return true;
  const fs::path executable = executableOf(::getpid());
  std::error_code ignored;
  return !executable.empty() && fs::exists(executable.parent_path().parent_path() / "CMakeCache.txt", ignored);
}

MicStatus micStatusOf(MicrophoneAccess access) {
  switch (access) {
    case MicrophoneAccess::allowed: return MicStatus::authorised;
    case MicrophoneAccess::denied: return MicStatus::denied;
    case MicrophoneAccess::restricted: return MicStatus::restricted;
    case MicrophoneAccess::notAskedYet: return MicStatus::notDetermined;
  }
  return MicStatus::notDetermined;
}

Result<std::string> fetchFeed(const std::string& url) {
  HttpRequest request;
  request.url = url;
  request.timeout = std::chrono::seconds(20);
  auto response = httpFetch(request);
  if (!response) return Error{response.error()};
  if (response.value().status != 200) return Error{"status " + std::to_string(response.value().status)};
  return response.value().body;
}

void showUpdateAnswer(Dialogs& dialogs, const std::optional<UpdateFeed>& newer, const std::string& problem) {
  if (newer) {
    if (dialogs.ask("Quorvel " + newer->version + " is available", newer->notes, "Open Download Page", "Later")) {
      QDesktopServices::openUrl(QUrl(QString::fromStdString(newer->url)));
    }
  } else if (!problem.empty()) {
    dialogs.tell("Couldn't check for updates", problem);
  } else {
    dialogs.tell("Quorvel is up to date", std::string("You have version ") + QUORVEL_VERSION + ".");
  }
}

}  // namespace

int runDesktopApp(int argc, char** argv) {
  const KeyBackendChoice session = chooseKeyBackend();
  if (const auto problem = prepareSession(session)) {
    std::fprintf(stderr, "quorvel: %s\n", problem->c_str());
    logLine("Quorvel: " + *problem);
    return 1;
  }
  QApplication qt(argc, argv);
  QApplication::setApplicationName("Quorvel");
  QApplication::setQuitOnLastWindowClosed(false);
  quitOnSignals(qt);
  prepareStyle();

  QtDialogs dialogs;
  const CleanupFiles cleanupFiles = engineCleanupFiles();
  CleanupConfig::migrateSpeechHints(cleanupFiles);
  {
    UserDefaults defaults;
    (void)CleanupConfig::seedProductWord(cleanupFiles, defaults);
  }

  SingleInstanceLinux instance;
  int status = 0;
  if (!becomeTheOnlyCopy(instance, dialogs, status)) return status;

  for (const pid_t pid : predecessorProcesses()) {
    (void)stopProcess(pid, true, std::chrono::seconds(5), "", kPredecessorName);
  }
  {
    UserDefaults defaults;
    (void)migrateVimmoSettings(defaults, predecessorDefaultsFile());
  }

  if (movedIntoApplications(dialogs)) return 0;

  QtMainLoop loop;
  QtTray tray;
  SessionInput input = makeSessionInput(session);
  KeySource& keys = *input.keys;
  Paster& paster = *input.paster;
  SoundsCanberra sounds;
  TagWindow tag(loop, [] { return Settings::tagAtTop.read(); });
  AtspiDesktop desktop;
  // Under Wayland the X server only sees its own windows: the note cannot
  // name or bring back the application it was opened from.
  std::unique_ptr<NoteDesktop> noteDesktop;
  if (nonEmptyEnvironmentValue("WAYLAND_DISPLAY")) noteDesktop = std::make_unique<NoDesktop>();
  else noteDesktop = std::make_unique<NoteDesktopX11>();
  BrainstormNote note(loop, paster, *noteDesktop, ui::notePanelFactory());
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
  Updates updates(loop, runner, QUORVEL_VERSION, developmentBuild(), configuredUpdateFeed().value_or(""), fetchFeed);
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
    showUpdateAnswer(dialogs, newer, problem);
  };
  instance.onRequest([&loop, &app](InstanceRequest request) {
    loop.post([&app, request] {
      if (request == InstanceRequest::reopen) app.reopen();
      if (request == InstanceRequest::quit) QCoreApplication::quit();
    });
  });
  // Later starts of the program reach this copy through the instance socket.
  loop.every(Seconds(0.2), [&instance] { instance.poll(); });
  QObject::connect(&qt, &QCoreApplication::aboutToQuit, [&app] { app.terminate(); });

  logLine("Quorvel: started");
  // The login entry names this executable, so a program that moved is found again.
  if (const Status entry = OpenAtLogin::sync(); !entry.ok()) {
    logLine("Quorvel: could not update the start at login: " + entry.error());
  }
  app.launch(programArguments());
  microphone.refresh();
  // A missing or muted microphone is looked at again, so the windows' advice
  // goes away once the user has plugged one in.
  loop.every(Seconds(10), [&microphone] {
    if (microphone.status() != MicStatus::authorised) microphone.refresh();
  });
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
