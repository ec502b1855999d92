// Where the program runs from: an AppImage started from Downloads, the
// desktop or removable media is offered a move to ~/Applications, from where
// it opens again. A build tree or a system install is left alone.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "support/Files.h"
#include "support/Result.h"

namespace quorvel {

struct PlacementOffer {
  fs::path source;       // the AppImage now
  fs::path destination;  // ~/Applications/Quorvel.AppImage
  bool copy = false;     // from removable media: copied, the original stays
};

inline constexpr const char* kMoveQuestion = "Move Quorvel to Applications?";
inline constexpr const char* kMoveDetail =
    "Quorvel runs from your Applications folder. It will move itself there and open again.";
inline constexpr const char* kMoveFailed = "Quorvel couldn't move itself";
inline constexpr const char* kMoveFailedDetail =
    "Drag Quorvel into your Applications folder, then open it from there.";

// The offer for an AppImage at `appImage` (the APPIMAGE variable), or nothing
// when there is none or it is already placed or elsewhere.
std::optional<PlacementOffer> placementOffer(const std::optional<fs::path>& appImage, const fs::path& home);

// Moves (or copies) the AppImage into place. An older copy at the
// destination goes to the trash first, never deleted outright; trash answers
// whether that worked.
Status place(const PlacementOffer& offer, const std::function<bool(const fs::path&)>& trash);

// The shell command that opens the placed copy once this one has ended.
std::string relaunchCommand(const fs::path& destination);

// Starts `/bin/sh -c command` detached from this process; whether it started.
bool startDetachedShell(const std::string& command);

}  // namespace quorvel
