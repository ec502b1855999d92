// Listens for the portal's colour-scheme changes and repaints the windows.
#include "ui/AppearanceWatch.h"

#include <QApplication>
#include <QDBusConnection>
#include <QPalette>
#include <QWidget>

#include "ui/Palette.h"

namespace quorvel {

AppearanceWatch::AppearanceWatch(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  bus.connect("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
              "org.freedesktop.portal.Settings", "SettingChanged", this,
              SLOT(settingChanged(QString, QString, QDBusVariant)));
}

void AppearanceWatch::settingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
  if (group != "org.freedesktop.appearance" || key != "color-scheme") return;
  bool ok = false;
  const uint scheme = value.variant().toUInt(&ok);
  const double lightness = QGuiApplication::palette().color(QPalette::Window).lightnessF();
  const Appearance appearance =
      resolveAppearance(ok ? std::optional<std::uint32_t>(scheme) : std::nullopt, lightness);
  if (appearance == appearanceInEffect()) return;
  setAppearance(appearance);
  for (QWidget* window : QApplication::topLevelWidgets()) window->update();
}

}  // namespace quorvel
