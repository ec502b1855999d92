// The tray item on Qt: a QSystemTrayIcon with the drawn icon and a QMenu built
// from the menu data. Where the tray cannot show a title beside the icon, the
// percentage and the failure mark go into the tool tip and onto the icon (a
// progress arc, a badge). A desktop without a tray gets no icon; the caller
// logs that once and the application runs on.
//
// Threading: main thread only.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/tray/TrayView.h"

namespace quorvel {

class QtTray final : public TrayView {
 public:
  QtTray();
  ~QtTray() override;
  QtTray(const QtTray&) = delete;
  QtTray& operator=(const QtTray&) = delete;

  bool available() const override;
  void show(const TrayLook& look, const std::vector<MenuItem>& menu) override;
  void onAction(std::function<void(MenuAction)> handler) override;
  void onMenuAboutToShow(std::function<void()> handler) override;

  // The mark's two inks: light for dark panels, dark for light ones.
  enum class Panel { dark, light };
  // The icon for a look at a pixel size on a panel of that kind (also used by
  // the snapshot tests).
  static QImage drawIcon(const TrayLook& look, int pixels, Panel panel = Panel::dark);
  // Whether what lies behind the icon (a grab of its place, mark included)
  // is a light panel: the median lightness of its pixels, which the thin
  // mark does not move. Dark when the picture is empty.
  static Panel panelBehind(const QImage& behind);
  // The menu as it is now, for tests and screenshots.
  QMenu* menu() { return menu_.get(); }

 private:
  void rebuildMenu(const std::vector<MenuItem>& items);
  // The panel under the icon, grabbed from the screen where that works (X11);
  // the last answer otherwise.
  Panel lookAtPanel();
  void setIcon(const TrayLook& look);

  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  bool available_ = false;
  std::optional<TrayLook> shownLook_;
  Panel panel_ = Panel::dark;
  QTimer panelCheck_;
  std::vector<MenuItem> shownMenu_;
  std::function<void(MenuAction)> onAction_;
  std::function<void()> onAboutToShow_;
};

}  // namespace quorvel
