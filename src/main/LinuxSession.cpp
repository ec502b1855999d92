// Looking at the session once and making its adapters.
#include "main/LinuxSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/desktop/DictationKeys.h"
#include "platform/linux/EvdevDevices.h"
#include "platform/linux/InputAccessProbe.h"
#include "platform/linux/KeysEvdev.h"
#include "platform/linux/KeysX11.h"
#include "platform/linux/NoteDesktopX11.h"
#include "platform/linux/PasterWayland.h"
#include "platform/linux/PasterX11.h"
#include "platform/linux/PortalProbe.h"
#include "platform/linux/PortalShortcuts.h"
#include "platform/linux/PortalTyping.h"
#include "platform/linux/PreferredKeyboard.h"
#include "platform/linux/PreferredKeys.h"
#include "platform/linux/X11Workspaces.h"
#include "support/EnvironmentValues.h"
#include "support/Log.h"
#include "support/UserDefaults.h"
#include "ui/GuiStart.h"
#include "ui/WindowSystem.h"

// Last: Qt's "emit" macro clashes with the key sources' emit().
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

namespace quorvel {

// Asks the desktop's typing question on a thread of its own, one at a time;
// going away ends a question still open.
class TypingAsker {
 public:
  explicit TypingAsker(std::shared_ptr<PortalTyping> portal) : portal_(std::move(portal)) {}
  ~TypingAsker() {
    portal_->cancel();
    std::scoped_lock lock(mutex_);
    if (thread_.joinable()) thread_.join();
  }
  void ask() {
    std::scoped_lock lock(mutex_);
    if (asking_) return;
    if (thread_.joinable()) thread_.join();
    asking_ = true;
    thread_ = std::thread([this] {
      (void)portal_->ask();
      std::scoped_lock done(mutex_);
      asking_ = false;
    });
  }

 private:
  std::shared_ptr<PortalTyping> portal_;
  std::mutex mutex_;
  bool asking_ = false;  // guarded by mutex_
  std::thread thread_;   // guarded by mutex_
};

SessionAdapters::SessionAdapters() = default;
SessionAdapters::~SessionAdapters() = default;
SessionAdapters::SessionAdapters(SessionAdapters&&) noexcept = default;
SessionAdapters& SessionAdapters::operator=(SessionAdapters&&) noexcept = default;

LinuxSession LinuxSession::look() {
  LinuxSession session;
  const auto keysOverride = environmentValue("QUORVEL_KEYS");
  const auto wayland = environmentValue("WAYLAND_DISPLAY");
  const auto display = environmentValue("DISPLAY");
  session.kind_ = chooseKeyBackend(keysOverride, wayland, display);
  session.facts_.keysOverride = keysOverride;
  session.facts_.wayland = wayland && !wayland->empty();
  session.facts_.x11 = display && !display->empty();
  session.qtPlatform_ = environmentValue("QT_QPA_PLATFORM");
  return session;
}

std::optional<std::string> LinuxSession::prepare() const {
  if (kind_.backend == KeyBackend::none) {
    return "Quorvel can't start here: " + kind_.reason +
           ". Start it from your desktop, or see quorvel --help for the modes that run without one.";
  }
  // Qt's choice only needs to know whether each display is named.
  const char* display = facts_.x11 ? ":" : nullptr;
  const char* wayland = facts_.wayland ? "wayland" : nullptr;
  const std::string platform =
      chooseQtPlatform(false, qtPlatform_ ? qtPlatform_->c_str() : nullptr, display, wayland);
  if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  logLine("Quorvel: keys and typing for " + kind_.reason + (platform.empty() ? "" : "; windows through " + platform));
  if (platform == "wayland" || (platform.empty() && facts_.wayland)) {
    logLine("Quorvel: no XWayland (DISPLAY is not set): the tag can't be placed or kept on top, and "
            "dictations are typed key by key");
  }
  return std::nullopt;
}

namespace {

bool uinputWritable() {
  const int fd = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The desktop's shortcut dialog proposes the keys the user chose.
PortalShortcuts::Settings shortcutSettings() {
  const KeyBinding chosen = storedBinding(UserDefaults::standard());
  PortalShortcuts::Settings settings;
  settings.dictationTrigger = shortcutTrigger(chosen.dictation);
  settings.noteTrigger = shortcutTrigger(chosen.note);
  return settings;
}

std::unique_ptr<KeySource> makeKeys(KeysPath path, PreferredKeys*& preferred) {
  switch (path) {
    case KeysPath::globalShortcuts: {
      auto keys = std::make_unique<PreferredKeys>(
          std::make_unique<PortalShortcuts>(shortcutSettings()),
          [] { return std::make_unique<KeysEvdev>(std::make_unique<UdevKeyboards>()); });
      preferred = keys.get();
      return keys;
    }
    case KeysPath::evdev:
      return std::make_unique<KeysEvdev>(std::make_unique<UdevKeyboards>());
    case KeysPath::x11:
    case KeysPath::xwayland:
    case KeysPath::none:
      return std::make_unique<KeysX11>();
  }
  return std::make_unique<KeysX11>();
}

std::unique_ptr<NoteDesktop> makeNoteDesktop(const SessionFacts& facts) {
  const FrontWindowChoice front = chooseFrontWindow(facts);
  switch (front.path) {
    case FrontWindowPath::x11:
      logLine("Quorvel: the note finds the application it was opened from through X11 (" + front.reason + ")");
      return std::make_unique<NoteDesktopX11>();
    case FrontWindowPath::accessibilityOnly:
      logLine("Quorvel: the note can't name or bring back the application it was opened from (" + front.reason +
              ")");
      return std::make_unique<NoDesktop>();
  }
  return std::make_unique<NoDesktop>();
}

}  // namespace

SessionAdapters LinuxSession::open() const {
  SessionAdapters input;
  const SessionFacts facts = addSessionOffers(facts_);
  input.paths = chooseInputPaths(facts);
  logLine("Quorvel: " + describeInputPaths(input.paths));
  input.noteDesktop = makeNoteDesktop(facts);

  PreferredKeys* preferredKeys = nullptr;
  input.keys = makeKeys(input.paths.keys, preferredKeys);
  auto* x11Keys = dynamic_cast<KeysX11*>(input.keys.get());
  KeySource* keys = input.keys.get();

  // Made inside the paster; the access question looks at it later.
  auto preferredKeyboard = std::make_shared<PreferredKeyboard*>(nullptr);
  switch (input.paths.typing) {
    case TypingPath::remoteDesktop:
    case TypingPath::uinput: {
      PasterWayland::Parts parts = PasterWayland::systemParts();
      if (input.paths.typing == TypingPath::remoteDesktop) {
        PortalTyping::Settings settings;
        settings.stateFile = PortalTyping::defaultStateFile();
        input.portalTyping = std::make_shared<PortalTyping>(settings);
        parts.makeKeyboard = [portal = input.portalTyping, preferredKeyboard](DeviceProblem& problem)
            -> std::unique_ptr<KeyEventSink> {
          problem.clear();
          auto keyboard = std::make_unique<PreferredKeyboard>(
              portal, [](DeviceProblem& fallbackProblem) -> std::unique_ptr<KeyEventSink> {
                return UinputKeyboard::create(fallbackProblem);
              });
          *preferredKeyboard = keyboard.get();
          return keyboard;
        };
      }
      parts.rightAltHeld = [keys] { return keys->isDown(ShellKey::dictation); };
      input.paster = std::make_unique<PasterWayland>(std::move(parts));
      break;
    }
    case TypingPath::xtest:
    case TypingPath::xwayland:
    case TypingPath::none: {
      PasterX11::Settings settings;
      // The paster goes first (declared after the keys), so the keys outlive
      // these questions.
      settings.userHoldsRightAlt = [keys] { return keys->isDown(ShellKey::dictation); };
      if (x11Keys != nullptr) {
        settings.beforeOwnRightAlt = [x11Keys](bool down) { x11Keys->expectOwnRightAlt(down); };
      }
      input.paster = std::make_unique<PasterX11>(std::move(settings));
      break;
    }
  }

  if (input.portalTyping) {
    input.asker = std::make_unique<TypingAsker>(input.portalTyping);
    input.allowTyping = [asker = input.asker.get()] { asker->ask(); };
    // Allowed on an earlier launch: the kept permission is offered now, so
    // the first dictation does not wait for it.
    if (input.portalTyping->allowedBefore()) input.asker->ask();
  }

  const bool wayland = beyondX11(input.paths);
  logLine(wayland ? "Quorvel: the Wayland permission step applies (keys or typing go beyond X11)"
                  : "Quorvel: no permission step for keys and typing (both through X11)");
  input.access = [wayland, paths = input.paths, keys, paster = input.paster.get(), portal = input.portalTyping,
                  preferredKeys, preferredKeyboard] {
    InputAccess access;
    access.wayland = wayland;
    if (!wayland) return access;
    access.keys = paths.keys;
    if (preferredKeys != nullptr && !preferredKeys->portalInUse()) access.keys = KeysPath::evdev;
    access.typing = paths.typing;
    // Refused or taken back: the virtual keyboard types when it can;
    // otherwise the row offers the desktop's dialog again.
    if (portal && *preferredKeyboard != nullptr && !(*preferredKeyboard)->portalInUse() && uinputWritable()) {
      access.typing = TypingPath::uinput;
    }
    if (portal) access.typingConsent = portal->consent() == TypingConsent::notAsked && portal->refusedBefore()
                                           ? TypingConsent::refused
                                           : portal->consent();
    // The devices matter where they are the way, or the only way left to
    // hear and type everywhere (XWayland reaches X11 windows only).
    switch (access.keys) {
      case KeysPath::evdev: access.readKeyboard = !keys->needsPermission(); break;
      case KeysPath::xwayland: access.readKeyboard = false; break;
      default: break;
    }
    switch (access.typing) {
      case TypingPath::uinput:
        access.virtualKeyboard = portal ? true : !paster->needsPermission();
        break;
      case TypingPath::xwayland: access.virtualKeyboard = false; break;
      default: break;
    }
    if (!access.readKeyboard || !access.virtualKeyboard) addInputAccessDetails(access);
    return access;
  };
  return input;
}

std::unique_ptr<AtspiDesktop> LinuxSession::accessibility() const {
  return std::make_unique<AtspiDesktop>(chooseFrontWindow(facts_).path);
}

InputAccess LinuxSession::probeAccess() const {
  const InputPaths paths = chooseInputPaths(addSessionOffers(facts_));
  const bool wayland = beyondX11(paths);
  InputAccess access = probeInputAccess(wayland);
  if (!wayland) return access;
  access.keys = paths.keys;
  access.typing = paths.typing;
  if (paths.keys == KeysPath::globalShortcuts) access.readKeyboard = true;
  if (paths.keys == KeysPath::xwayland) access.readKeyboard = false;
  if (paths.typing == TypingPath::remoteDesktop) {
    access.virtualKeyboard = true;
    PortalTyping::Settings settings;
    settings.stateFile = PortalTyping::defaultStateFile();
    const PortalTyping kept(settings);
    access.typingConsent = kept.allowedBefore()   ? TypingConsent::given
                           : kept.refusedBefore() ? TypingConsent::refused
                                                  : TypingConsent::notAsked;
  }
  if (paths.typing == TypingPath::xwayland) access.virtualKeyboard = false;
  addInputAccessDetails(access);
  return access;
}

namespace {

// Qt's own X connection, when Qt runs on X11; the windows are its windows.
xcb_connection_t* qtX11Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

void LinuxSession::installWindowSystem() {
  WindowSystem system;
  system.compositing = [] {
    xcb_connection_t* connection = qtX11Connection();
    return connection == nullptr || x11CompositorRunning(connection);
  };
  system.showOnAllWorkspaces = [](QWidget& window) {
    if (xcb_connection_t* connection = qtX11Connection()) {
      x11ShowOnAllWorkspaces(connection, static_cast<std::uint32_t>(window.winId()));
    }
  };
  useWindowSystem(std::move(system));
}

}  // namespace quorvel
