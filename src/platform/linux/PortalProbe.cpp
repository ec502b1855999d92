// Asking the session what it offers.
#include "platform/linux/PortalProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/EvdevDevices.h"
#include "platform/linux/PortalBus.h"

namespace quorvel {

PortalOffer probePortals(const std::string& busAddress, std::chrono::milliseconds limit) {
  PortalOffer offer;
  auto bus = PortalBus::connect(busAddress, offer.problem);
  if (!bus) return offer;
  offer.globalShortcuts = bus->version("org.freedesktop.portal.GlobalShortcuts", limit);
  offer.remoteDesktop = bus->version("org.freedesktop.portal.RemoteDesktop", limit);
  if (offer.remoteDesktop > 0) {
    if (const auto types = bus->unsignedProperty("org.freedesktop.portal.RemoteDesktop", "AvailableDeviceTypes", limit)) {
      offer.remoteDesktopKeyboard = (*types & 1U) != 0;
    }
  }
  return offer;
}

SessionFacts addSessionOffers(SessionFacts facts) {
  const std::string override = facts.keysOverride.value_or("");
  if (override == "x11" || override == "evdev" || (!facts.wayland && override != "portal")) return facts;
  const PortalOffer offer = probePortals();
  facts.globalShortcutsVersion = offer.globalShortcuts;
  facts.remoteDesktopVersion = offer.remoteDesktop;
  facts.remoteDesktopKeyboard = offer.remoteDesktopKeyboard;
  UdevKeyboards keyboards;
  facts.keyboardsReadable = !keyboards.present().empty();
  const int fd = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
  facts.uinputWritable = fd >= 0;
  if (fd >= 0) ::close(fd);
  return facts;
}

}  // namespace quorvel
