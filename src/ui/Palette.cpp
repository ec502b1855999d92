// Resolves the named colours by appearance and finds the desktop's appearance.
#include "ui/Palette.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <cmath>

namespace quorvel {

namespace {

// The appearance in effect; only the main thread reads or sets it.
Appearance& currentAppearance() {
  static Appearance appearance = Appearance::light;
  return appearance;
}

// The portal answers Read with a variant that may hold another variant
// (older portals wrap the value twice).
std::optional<std::uint32_t> unsignedIn(QVariant value) {
  for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>() &&
                      value.metaType() == QMetaType::fromType<QDBusVariant>();
       ++depth) {
    value = value.value<QDBusVariant>().variant();
  }
  bool ok = false;
  const uint number = value.toUInt(&ok);
  if (!ok) return std::nullopt;
  return number;
}

std::optional<std::uint32_t> portalColorScheme() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
      "org.freedesktop.portal.Settings", "Read");
  call << QString("org.freedesktop.appearance") << QString("color-scheme");
  // A missing portal answers at once; a stuck one must not hold up the start.
  const QDBusMessage reply = bus.call(call, QDBus::Block, 800);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  return unsignedIn(reply.arguments().first());
}

}  // namespace

QColor DynamicColor::resolve(Appearance appearance) const {
  const std::uint32_t rgb = appearance == Appearance::dark ? dark : light;
  return QColor::fromRgb(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                         static_cast<int>(rgb & 0xFF));
}

QColor DynamicColor::resolve() const { return resolve(appearanceInEffect()); }

Appearance resolveAppearance(std::optional<std::uint32_t> colorScheme,
                             std::optional<double> windowLightness) {
  if (colorScheme == 1u) return Appearance::dark;
  if (colorScheme == 2u) return Appearance::light;
  if (windowLightness && std::isfinite(*windowLightness) && *windowLightness < 0.5) {
    return Appearance::dark;
  }
  return Appearance::light;
}

Appearance detectAppearance() {
  std::optional<double> lightness;
  if (qGuiApp != nullptr) {
    lightness = QGuiApplication::palette().color(QPalette::Window).lightnessF();
  }
  return resolveAppearance(portalColorScheme(), lightness);
}

Appearance appearanceInEffect() { return currentAppearance(); }

void setAppearance(Appearance appearance) { currentAppearance() = appearance; }

}  // namespace quorvel
