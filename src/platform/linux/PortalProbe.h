// What the session offers for hearing keys and typing: the desktop portals'
// interfaces (asked on the session bus, bounded) and whether the keyboard
// devices and /dev/uinput can be opened. Nothing is bound, started or shown.
#pragma once

#include <chrono>
#include <string>

#include "app/permissions/InputPaths.h"

namespace quorvel {

struct PortalOffer {
  unsigned globalShortcuts = 0;  // interface versions; 0 when not offered
  unsigned remoteDesktop = 0;
  bool remoteDesktopKeyboard = true;
  std::string problem;  // why the portals could not be asked, or ""
};

// busAddress: "" for the session bus.
PortalOffer probePortals(const std::string& busAddress = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(5));

// The facts for chooseInputPaths: the session's own (the override, which
// displays are set) completed with what the portals and devices offer. Those
// are looked at only under Wayland (or when QUORVEL_KEYS asks for them).
SessionFacts addSessionOffers(SessionFacts facts);

}  // namespace quorvel
