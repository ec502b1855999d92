// The tray item as the application drives it: show a look and a menu, report
// the chosen action, and say whether the desktop has a tray at all (without
// one the application runs on and is reached by starting it again).
//
// Threading: main thread only; the handlers are called on the main thread.
#pragma once

#include <functional>
#include <vector>

#include "app/tray/StatusMenu.h"

namespace quorvel {

class TrayView {
 public:
  virtual ~TrayView() = default;
  virtual bool available() const = 0;
  virtual void show(const TrayLook& look, const std::vector<MenuItem>& menu) = 0;
  virtual void onAction(std::function<void(MenuAction)> handler) = 0;
  // Called just before the menu opens, so its items can be brought up to date.
  virtual void onMenuAboutToShow(std::function<void()> handler) = 0;
};

// Modal questions and notices (alerts). Main thread only.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // True for the accepting button.
  virtual bool ask(const std::string& message, const std::string& detail, const std::string& accept,
                   const std::string& reject) = 0;
  virtual void tell(const std::string& message, const std::string& detail) = 0;
};

}  // namespace quorvel
