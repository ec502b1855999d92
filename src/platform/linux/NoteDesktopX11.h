// The note's view of the desktop on X11: the application in front when the
// note opens (its window, to bring it back for "Insert in …"), and whether
// that is Quorvel itself. Main thread only; its own X connection, opened on
// first use. Without a display it knows no application, like NoDesktop.
#pragma once

#include "app/note/NoteWindow.h"
#include "platform/linux/X11Display.h"

namespace quorvel {

class NoteDesktopX11 final : public NoteDesktop {
 public:
  std::optional<SourceApp> frontmost() override;
  bool frontmostIsSelf() override;
  bool isActive(const SourceApp& app) override;
  // Asks the window manager to activate the window (_NET_ACTIVE_WINDOW);
  // without one, raises it and gives it the input focus.
  void activate(const SourceApp& app) override;

 private:
  _XDisplay* display();

  X11DisplayPtr display_;
  bool tried_ = false;
};

}  // namespace quorvel
