// Draws the tray icon and keeps the tray menu in step with the menu data.
#include "ui/QtTray.h"

#include <QAction>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

// A light mark on dark panels and a dark one on light panels; the state
// colours read on both, a shade deeper on light ones.
QColor markColour(TrayTint tint, QtTray::Panel panel) {
  const bool light = panel == QtTray::Panel::light;
  switch (tint) {
    case TrayTint::recording: return light ? QColor(0xD1, 0x30, 0x36) : QColor(0xE5, 0x48, 0x4D);
    case TrayTint::accent: return light ? QColor(0x2F, 0x6B, 0xE0) : QColor(0x5B, 0x8D, 0xEF);
    case TrayTint::none: break;
  }
  return light ? QColor(0x2A, 0x2A, 0x2E) : QColor(0xEC, 0xEC, 0xEC);
}

constexpr int kPanelCheckMs = 30000;  // a panel's theme can change while we run

}  // namespace

QtTray::Panel QtTray::panelBehind(const QImage& behind) {
  if (behind.isNull() || behind.width() == 0 || behind.height() == 0) return Panel::dark;
  const QImage pixels = behind.convertToFormat(QImage::Format_RGB32);
  std::vector<int> lightness;
  lightness.reserve(static_cast<size_t>(pixels.width()) * static_cast<size_t>(pixels.height()));
  for (int y = 0; y < pixels.height(); ++y) {
    for (int x = 0; x < pixels.width(); ++x) lightness.push_back(qGray(pixels.pixel(x, y)));
  }
  auto middle = lightness.begin() + static_cast<std::ptrdiff_t>(lightness.size() / 2);
  std::nth_element(lightness.begin(), middle, lightness.end());
  return *middle >= 150 ? Panel::light : Panel::dark;
}

QImage QtTray::drawIcon(const TrayLook& look, int pixels, Panel panel) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // The mark is laid out on an 18 × 18 grid.
  painter.scale(pixels / 18.0, pixels / 18.0);
  const QColor colour = markColour(look.tint, panel);
  const QRectF square(2.65, 2.65, 12.7, 12.7);
  QPainterPath bar;
  bar.addRoundedRect(QRectF(8.2, 5.5, 1.6, 7.0), 0.6, 0.6);
  QPainterPath rounded;
  rounded.addRoundedRect(square, 3.4, 3.4);
  QPainterPath mark;
  if (look.recording) {
    mark = rounded.subtracted(bar);
  } else {
    QPainterPathStroker stroker;
    stroker.setWidth(1.3);
    mark = stroker.createStroke(rounded);
    if (!look.loading) mark = mark.united(bar);
  }
  // A thin edge of the other ink keeps the mark readable on a panel of the
  // middle, or on one whose colour could not be read.
  painter.strokePath(mark, QPen(panel == Panel::light ? QColor(255, 255, 255, 90) : QColor(0, 0, 0, 110), 0.9));
  painter.fillPath(mark, colour);
  if (look.progress) {
    // A download: an arc round the mark grows with the bytes.
    painter.setPen(QPen(QColor(0x5B, 0x8D, 0xEF), 1.6, Qt::SolidLine, Qt::RoundCap));
    const int span = static_cast<int>(-360.0 * 16 * std::clamp(*look.progress, 0.0, 1.0));
    painter.drawArc(QRectF(0.9, 0.9, 16.2, 16.2), 90 * 16, span);
  }
  const auto punch = [&painter](const QRectF& rect) {
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(rect);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  };
  if (look.alert) {
    punch(QRectF(10.8, 10.8, 7.4, 7.4));
    painter.setBrush(QColor(0xF5, 0xA5, 0x24));
    painter.drawEllipse(QRectF(11.6, 11.6, 5.8, 5.8));
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawLine(QPointF(14.5, 12.6), QPointF(14.5, 14.9));
    painter.drawPoint(QPointF(14.5, 16.2));
  } else if (look.update) {
    punch(QRectF(10.8, 10.8, 7.4, 7.4));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(12.2, 12.2, 4.6, 4.6));
  }
  return image;
}

QtTray::QtTray() : menu_(std::make_unique<QMenu>()) {
  available_ = QSystemTrayIcon::isSystemTrayAvailable();
  QObject::connect(menu_.get(), &QMenu::aboutToShow, [this] {
    if (onAboutToShow_) onAboutToShow_();
  });
  if (available_) {
    panelCheck_.setInterval(kPanelCheckMs);
    QObject::connect(&panelCheck_, &QTimer::timeout, [this] {
      if (!shownLook_) return;
      const Panel before = panel_;
      if (lookAtPanel() != before) setIcon(*shownLook_);
    });
    panelCheck_.start();
    icon_ = std::make_unique<QSystemTrayIcon>();
    icon_->setContextMenu(menu_.get());
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
      // A left click opens the window, as the first menu item does.
      if (reason == QSystemTrayIcon::Trigger && onAction_) onAction_(MenuAction::openDashboard);
    });
  }
}

QtTray::~QtTray() {
  if (icon_) icon_->hide();
}

bool QtTray::available() const { return available_; }

void QtTray::onAction(std::function<void(MenuAction)> handler) { onAction_ = std::move(handler); }

void QtTray::onMenuAboutToShow(std::function<void()> handler) { onAboutToShow_ = std::move(handler); }

void QtTray::show(const TrayLook& look, const std::vector<MenuItem>& items) {
  if (items != shownMenu_) rebuildMenu(items);
  if (shownLook_ == look) return;
  shownLook_ = look;
  if (!icon_) return;
  const bool first = !icon_->isVisible();
  setIcon(look);
  icon_->setToolTip(QString::fromStdString(look.toolTip));
  if (first) {
    icon_->show();
    // The panel can be seen once the icon has its place in it.
    QTimer::singleShot(1500, icon_.get(), [this] {
      const Panel before = panel_;
      if (shownLook_ && lookAtPanel() != before) setIcon(*shownLook_);
    });
  }
}

void QtTray::setIcon(const TrayLook& look) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(drawIcon(look, size, panel_)));
  icon_->setIcon(icon);
}

QtTray::Panel QtTray::lookAtPanel() {
  if (!icon_) return panel_;
  const QRect place = icon_->geometry();
  QScreen* screen = place.isValid() ? QGuiApplication::screenAt(place.center()) : nullptr;
  if (screen == nullptr) return panel_;  // no place known (a tray that hides it, Wayland)
  const QRect local = place.translated(-screen->geometry().topLeft());
  const QImage behind = screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
  if (!behind.isNull()) panel_ = panelBehind(behind);
  return panel_;
}

void QtTray::rebuildMenu(const std::vector<MenuItem>& items) {
  shownMenu_ = items;
  menu_->clear();
  menu_->setToolTipsVisible(true);
  for (const MenuItem& item : items) {
    if (item.separator) {
      menu_->addSeparator();
      continue;
    }
    QAction* action = menu_->addAction(QString::fromStdString(item.title));
    action->setEnabled(item.enabled);
    action->setVisible(item.visible);
    if (!item.toolTip.empty()) action->setToolTip(QString::fromStdString(item.toolTip));
    if (!item.shortcut.empty()) {
      action->setShortcut(QKeySequence(QString("Ctrl+") + QString::fromStdString(item.shortcut).toUpper()));
      action->setShortcutVisibleInContextMenu(true);
    }
    const MenuAction what = item.action;
    QObject::connect(action, &QAction::triggered, [this, what] {
      if (onAction_) onAction_(what);
    });
  }
}

}  // namespace quorvel
