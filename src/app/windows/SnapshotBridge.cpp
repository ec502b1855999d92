// Fixed bridge answers for the window pictures.
#include "app/windows/SnapshotBridge.h"

#include <algorithm>

namespace quorvel {
namespace {

bool has(const std::vector<std::string>& args, const std::string& flag) {
  return std::find(args.begin(), args.end(), flag) != args.end();
}

SetupInfo setupFrom(const std::vector<std::string>& args) {
  SetupInfo setup;
  setup.phase = SetupInfo::Phase::downloading;
  setup.done = 642'000'000;
  setup.total = 1'297'507'417;
  setup.secondsLeft = 170;
  const auto flag = std::find(args.begin(), args.end(), "--setup");
  if (flag == args.end() || flag + 1 == args.end()) return setup;
  const std::string& phase = *(flag + 1);
  if (phase == "starting") {
    setup = SetupInfo();
    setup.phase = SetupInfo::Phase::starting;
  } else if (phase == "failed") {
    setup = SetupInfo();
    setup.phase = SetupInfo::Phase::failed;
  } else if (phase == "ready") {
    setup = SetupInfo();
    setup.phase = SetupInfo::Phase::ready;
    setup.justFinished = true;
  }
  return setup;
}

}  // namespace

bool snapshotDark(const std::vector<std::string>& args) { return has(args, "--dark"); }

SharedBridge snapshotBridge(const std::vector<std::string>& args, SnapshotWindow window) {
  auto bridge = std::make_shared<DashboardBridge>();
  const SetupInfo setup = setupFrom(args);
  bridge->setup = [setup] { return setup; };
  AppState state = AppState::idle;
  if (has(args, "--record")) {
    state = AppState::recording;
  } else if (window == SnapshotWindow::onboarding && has(args, "--processing")) {
    state = AppState::processing;
  }
  bridge->state = [state] { return state; };
  bridge->status = [] { return std::string("Ready"); };
  bridge->noteKeyPressed = [] { return false; };
  const bool wayland = has(args, "--wayland");
  bridge->wayland = [wayland] { return wayland; };
  bridge->requestMicrophone = [](std::function<void(bool)>) {};
  bridge->openSoundSettings = [] { return false; };
  bridge->enableAccessibility = [] { return false; };
  bridge->automaticUpdates = [] { return true; };
  // Two inputs, the headset chosen; "--mic-gone" pictures it unplugged.
  const MicSource builtIn{"alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo"};
  const MicSource headset{"alsa_input.usb-Generic_USB_Headset-00.mono-fallback", "USB Headset Mono"};
  const bool micGone = has(args, "--mic-gone");
  bridge->microphones = [=] {
    return std::optional<std::vector<MicSource>>(micGone ? std::vector<MicSource>{builtIn}
                                                         : std::vector<MicSource>{builtIn, headset});
  };
  bridge->chosenMicrophone = [headset] { return std::optional<MicSource>(headset); };
  // small.en in use and base.en downloaded; "--speech-download" pictures
  // large-v3-turbo on its way.
  bridge->speechModels = [] {
    return speechModelRows("ggml-small.en-q5_1.bin",
                           [](const ModelStore::Item& item) { return item.file != "ggml-large-v3-turbo-q5_0.bin"; });
  };
  if (has(args, "--speech-download")) {
    bridge->speechSwitch = [] {
      return SpeechSwitch{SpeechSwitch::Phase::downloading, "ggml-large-v3-turbo-q5_0.bin", 42, ""};
    };
  }
  if (wayland) {
    // Both halves of the keyboard devices' step wait until the keys can be
    // heard; "--no-rule" pictures the longer command with the udev rule.
    const bool noRule = has(args, "--no-rule");
    const bool portal = has(args, "--portal");
    bridge->inputAccess = [raw = bridge.get(), noRule, portal] {
      InputAccess access;
      access.wayland = true;
      if (portal) {
        access.keys = KeysPath::globalShortcuts;
        access.typing = TypingPath::remoteDesktop;
        access.typingConsent = TypingConsent::notAsked;
        return access;
      }
      access.readKeyboard = access.virtualKeyboard = raw->trusted();
      access.ruleMissing = noRule && !raw->trusted();
      return access;
    };
  }

  if (window == SnapshotWindow::dashboard) {
    bridge->currentSpeech = [] { return 1; };
    bridge->currentCleanup = [] { return 0; };
    if (has(args, "--update")) bridge->updateVersion = [] { return std::optional<std::string>("1.0.0"); };
    const bool ready = has(args, "--ready");
    bridge->trusted = [ready] { return ready; };
    bridge->micStatus = [ready] { return ready ? MicStatus::authorised : MicStatus::notDetermined; };
    bridge->needsDownload = [] { return false; };
  } else {
    MicStatus mic = MicStatus::notDetermined;
    if (has(args, "granted")) {
      mic = MicStatus::authorised;
    } else if (has(args, "denied")) {
      mic = MicStatus::denied;
    }
    bridge->micStatus = [mic] { return mic; };
    const bool ax = has(args, "--ax");
    bridge->trusted = [ax] { return ax; };
    const bool download = !has(args, "--no-download");
    bridge->needsDownload = [download] { return download; };
  }
  return bridge;
}

}  // namespace quorvel
