// The system's side of the Wayland permission step: whether /dev/uinput is
// open to the "input" group (Quorvel's udev rule is in place), and whether
// the account already is in the group while this login is older than that.
#pragma once

#include <string>

#include "app/permissions/InputAccess.h"

namespace quorvel {

// Fills ruleMissing and loginPending of an access whose other fields are
// known. uinputPath and groupName are for tests.
void addInputAccessDetails(InputAccess& access, const std::string& uinputPath = "/dev/uinput",
                           const std::string& groupName = "input");

// The whole step as the system stands, without reading a key or making a
// device (the permissions report). Nothing is missing outside Wayland.
InputAccess probeInputAccess(bool wayland);

}  // namespace quorvel
