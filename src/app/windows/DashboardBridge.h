// What the dashboard and onboarding windows read from the application and ask
// of it, as a bundle of closures. Every closure has a harmless default, so a
// window works (and a snapshot renders) without an application behind it; the
// application replaces them with closures that hold it weakly and fall back to
// the default once it is gone.
//
// Threading: main thread only, like the windows that call it.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/AppState.h"
#include "app/permissions/InputAccess.h"
#include "app/desktop/KeySource.h"
#include "app/desktop/Microphones.h"
#include "app/models/SetupInfo.h"
#include "app/models/SpeechModels.h"

namespace quorvel {

// Whether Quorvel may record from the microphone, as the sound server answers.
enum class MicStatus {
  notDetermined,  // never tried: the first test capture decides
  restricted,     // no capture device, or the session forbids recording
  denied,         // capture was refused (a sandbox portal, or a muted privacy switch)
  authorised,
};

struct DashboardBridge {
  // The first-run model setup.
  std::function<SetupInfo()> setup = [] { return SetupInfo(); };
  std::function<void()> retrySetup = [] {};
  // The chosen speech and cleanup models (indexes into the model tables).
  std::function<int()> currentSpeech = [] { return 1; };
  std::function<int()> currentCleanup = [] { return 0; };
  // The status menu's first line ("Ready", "Downloading … 40%", …).
  std::function<std::string()> status = [] { return std::string("Ready"); };
  // Where the application is: loading, waiting, recording or typing.
  std::function<AppState()> state = [] { return AppState::idle; };
  // Quorvel can hear the dictation key and read the focused field.
  std::function<bool()> trusted = [] { return false; };
  std::function<MicStatus()> micStatus = [] { return MicStatus::notDetermined; };
  // A pending update's version ("A new version" when it is not known).
  std::function<std::optional<std::string>()> updateVersion = [] { return std::optional<std::string>(); };
  std::function<void()> installUpdate = [] {};
  // The note key is down, or went down less than 0.25 s ago.
  std::function<bool()> noteKeyPressed = [] { return false; };
  std::function<bool()> needsDownload = [] { return false; };

  // --- The desktop's side of the permissions ---------------------------------

  // Makes a short test capture and answers whether it worked (on the main
  // thread, possibly later). The default answers from micStatus at once.
  std::function<void(std::function<void(bool granted)>)> requestMicrophone =
      [this](std::function<void(bool)> answer) {
        if (answer) answer(micStatus() == MicStatus::authorised);
      };
  // Opens the desktop's sound settings; false when no settings program is known
  // (the window explains what to do instead).
  std::function<bool()> openSoundSettings = [] { return false; };
  // Switches the desktop's accessibility support on (AT-SPI), so the text
  // around the cursor can be read; keys are heard from X11 or the keyboard
  // devices. Answers whether it is on afterwards.
  std::function<bool()> enableAccessibility = [] { return false; };
  // A Wayland session: keys are read from the keyboard devices, which needs
  // the "input" group.
  std::function<bool()> wayland = [] {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
  };
  // The Wayland permission step: what the keyboard devices allow. By default
  // a Wayland session whose keys can't be heard lacks the keyboard's part.
  std::function<InputAccess()> inputAccess = [this] {
    InputAccess access;
    access.wayland = wayland();
    access.readKeyboard = !access.wayland || trusted();
    return access;
  };

  // --- The dictation and note keys --------------------------------------------
  // The keys in use.
  std::function<KeyBinding()> keys = [] { return KeyBinding(); };
  // Makes code the key for part (dictation or note) and stores it; false when
  // it can't be (the other part's key, or not a key a user may choose).
  std::function<bool(ShellKey part, int code)> chooseKey = [](ShellKey, int) { return false; };
  // The next key the user presses anywhere, for "a key I press" (0: Esc or
  // nothing within ten seconds), answered on the main thread.
  std::function<void(std::function<void(int code)>)> learnKey = [](std::function<void(int)> done) {
    if (done) done(0);
  };
  // Whether a key is AltGr in the keyboard layout in use now.
  std::function<bool(int code)> keyIsAltGr = [](int) { return false; };

  // --- The microphone ----------------------------------------------------------
  // The sound server's input sources now; nothing when no sound server answered.
  std::function<std::optional<std::vector<MicSource>>()> microphones = [] {
    return std::optional<std::vector<MicSource>>();
  };
  // The chosen source (nothing: the default) and choosing one; the next
  // recording uses it.
  std::function<std::optional<MicSource>()> chosenMicrophone = [] { return std::optional<MicSource>(); };
  std::function<void(std::optional<MicSource>)> chooseMicrophone = [](std::optional<MicSource>) {};

  // --- The speech model -------------------------------------------------------
  std::function<std::vector<SpeechModelRow>()> speechModels = [] {
    return speechModelRows("ggml-small.en-q5_1.bin", nullptr);
  };
  std::function<SpeechSwitch()> speechSwitch = [] { return SpeechSwitch(); };
  // Downloads (when needed) and switches to the model; the page follows
  // through speechSwitch.
  std::function<void(const std::string& file)> chooseSpeechModel = [](const std::string&) {};
  // Deletes a downloaded model not in use; false when it can't.
  std::function<bool(const std::string& file)> deleteSpeechModel = [](const std::string&) { return false; };
  // Asks the desktop, in its own dialog, to let Quorvel type (typing through
  // its remote desktop portal); the answer shows in inputAccess later.
  std::function<void()> allowTyping = [] {};

  // --- Updates ---------------------------------------------------------------
  // Whether this build has an update feed; without one the update rows are left out.
  std::function<bool()> updatesAvailable = [] { return false; };
  std::function<bool()> automaticUpdates = [] { return true; };
  std::function<void(bool)> setAutomaticUpdates = [](bool) {};
  std::function<void()> checkForUpdates = [] {};

  // --- Start at login --------------------------------------------------------
  // The "openAtLogin" setting. Setting it writes or removes the autostart
  // entry and answers whether that worked; on false nothing changed and the
  // switch goes back.
  std::function<bool()> openAtLogin = [] { return false; };
  std::function<bool(bool)> setOpenAtLogin = [](bool) { return true; };

  // One bridge is shared by the windows (SharedBridge); the default
  // requestMicrophone refers to it, so it is never copied.
  DashboardBridge() = default;
  DashboardBridge(const DashboardBridge&) = delete;
  DashboardBridge& operator=(const DashboardBridge&) = delete;
};

using SharedBridge = std::shared_ptr<DashboardBridge>;

}  // namespace quorvel
