// The accessibility desktop on Linux through AT-SPI 2: whether it can be used
// ("trusted": the accessibility bus answers and accessibility is switched on),
// the focused element (tracked from focus events, else found by walking the
// frontmost application), the frontmost application, and switching
// accessibility on at the user's request.
//
// Every call to another process is bounded by a short D-Bus timeout, so a
// hung application or bus costs a fraction of a second, never a stalled main
// thread. Works without any display, and on Wayland, where the frontmost
// application comes from the accessibility tree alone (the application whose
// window is active).
//
// Threading: one thread only (the main thread). libatspi's events are
// dispatched from a private GLib context during focusedElement(), never from
// the application's own event loop.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "app/permissions/InputPaths.h"
#include "learning/AccessibleElement.h"
#include "platform/linux/X11Display.h"

typedef struct _AtspiAccessible AtspiAccessible;
typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiEventListener AtspiEventListener;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;

namespace quorvel {

class AtspiDesktop : public AccessibilityDesktop {
 public:
  struct Waits {
    std::chrono::milliseconds call{300};        // one request to an application
    std::chrono::milliseconds bus{1000};        // the session and accessibility buses
    std::chrono::milliseconds walk{600};        // looking for the focus in a tree
    int walkNodes = 4000;                       // at most this many objects per walk
  };

  // front: where the application in front is looked for first (the
  // session's chooseFrontWindow); the accessibility tree answers otherwise.
  explicit AtspiDesktop(FrontWindowPath front = FrontWindowPath::x11);
  AtspiDesktop(Waits waits, FrontWindowPath front = FrontWindowPath::x11);
  ~AtspiDesktop() override;
  AtspiDesktop(const AtspiDesktop&) = delete;
  AtspiDesktop& operator=(const AtspiDesktop&) = delete;

  bool isTrusted() override;
  FocusedElementAnswer focusedElement() override;
  std::optional<std::string> frontmostApp() override;
  std::optional<FrontmostApp> frontmostApplication() override;
  bool enableAccessibility() override;

  // Why isTrusted() last answered false ("" when it answered true).
  std::string problem() const { return problem_; }

  // Error code of focusedElement() when the accessibility bus itself failed.
  static constexpr int busError = -1;

 private:
  GDBusConnection* sessionBus();
  std::optional<bool> isEnabledFlag();
  bool startAtspi();
  void pumpEvents();
  static void onFocus(AtspiEvent* event, void* self);
  AtspiAccessible* findFocus(AtspiAccessible* application);
  AtspiAccessible* applicationWithPid(pid_t pid);
  AtspiAccessible* applicationWithActiveFrame();

  Waits waits_;
  FrontWindowPath front_;
  std::string problem_;
  GDBusConnection* session_ = nullptr;
  GMainContext* context_ = nullptr;
  AtspiEventListener* listener_ = nullptr;
  AtspiAccessible* focused_ = nullptr;  // last object that reported gaining focus
  X11DisplayPtr display_;
  bool triedDisplay_ = false;
};

}  // namespace quorvel
