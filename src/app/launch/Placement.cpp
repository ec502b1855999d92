// The move of an AppImage into ~/Applications.
#include "app/launch/Placement.h"

#include <spawn.h>
#include <system_error>
#include <unistd.h>

#include "support/ShellQuoted.h"

extern char** environ;

namespace quorvel {

namespace {

bool inside(const fs::path& path, const fs::path& folder) {
  const std::string text = path.lexically_normal().string();
  std::string prefix = folder.lexically_normal().string();
  if (!prefix.ends_with('/')) prefix += '/';
  return text.starts_with(prefix);
}

}  // namespace

std::optional<PlacementOffer> placementOffer(const std::optional<fs::path>& appImage, const fs::path& home) {
  if (!appImage || appImage->empty() || !appImage->is_absolute()) return std::nullopt;
  const fs::path& path = *appImage;
  if (inside(path, home / "Applications")) return std::nullopt;
  PlacementOffer offer;
  offer.source = path;
  offer.destination = home / "Applications" / "Quorvel.AppImage";
  if (inside(path, "/media") || inside(path, "/run/media")) {
    offer.copy = true;
  } else if (!inside(path, home / "Downloads") && !inside(path, home / "Desktop")) {
    return std::nullopt;
  }
  return offer;
}

Status place(const PlacementOffer& offer, const std::function<bool(const fs::path&)>& trash) {
  std::error_code error;
  fs::create_directories(offer.destination.parent_path(), error);
  if (error) return Error{"cannot create " + offer.destination.parent_path().string() + ": " + error.message()};
  if (fs::exists(fs::symlink_status(offer.destination, error))) {
    if (!trash(offer.destination)) return Error{"cannot move the older copy to the trash"};
  }
  // Copied beside the destination first, so a half-written copy never
  // carries the destination's name.
  const fs::path partial = offer.destination.string() + ".part";
  if (offer.copy) {
    fs::copy_file(offer.source, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, offer.destination, error);
    if (error) {
      fs::remove(partial, error);
      return Error{"cannot copy " + offer.source.string()};
    }
  } else {
    fs::rename(offer.source, offer.destination, error);
    if (error == std::errc::cross_device_link) {
      error.clear();
      fs::copy_file(offer.source, partial, fs::copy_options::overwrite_existing, error);
      if (!error) fs::rename(partial, offer.destination, error);
      if (!error) fs::remove(offer.source, error);
      error.clear();
    }
    if (error) return Error{"cannot move " + offer.source.string() + ": " + error.message()};
  }
  fs::permissions(offer.destination, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, error);
  return success();
}

std::string relaunchCommand(const fs::path& destination) {
  return "sleep 1; exec " + shellQuoted(destination.string()) + " >/dev/null 2>&1";
}

bool startDetachedShell(const std::string& command) {
  // Its own session: the shell outlives this process, which exits right after.
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t shell = 0;
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  const int started = ::posix_spawn(&shell, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  return started == 0;
}

}  // namespace quorvel
