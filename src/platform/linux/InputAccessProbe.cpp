// Looking at /dev/uinput and the group database.
#include "platform/linux/InputAccessProbe.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/EvdevDevices.h"

namespace quorvel {
namespace {

// The account's membership as the group database has it (what usermod wrote),
// and as this process has it (what the login started with).
struct Membership {
  bool listed = false;
  bool effective = false;
};

Membership membership(gid_t group, const struct group& entry) {
  Membership m;
  if (const struct passwd* user = getpwuid(getuid())) {
    m.listed = user->pw_gid == group;
    for (char** member = entry.gr_mem; !m.listed && member != nullptr && *member != nullptr; ++member) {
      m.listed = std::strcmp(*member, user->pw_name) == 0;
    }
  }
  m.effective = getegid() == group;
  const int count = getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got && !m.effective; ++i) m.effective = groups[static_cast<size_t>(i)] == group;
  }
  return m;
}

}  // namespace

InputAccess probeInputAccess(bool wayland) {
  InputAccess access;
  access.wayland = wayland;
  if (!wayland) return access;
  UdevKeyboards keyboards;
  access.readKeyboard = !(keyboards.present().empty() && keyboards.error() == DeviceError::noPermission);
  const int fd = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
  } else {
    access.virtualKeyboard = !(errno == EACCES || errno == EPERM || errno == ENOENT);
  }
  addInputAccessDetails(access);
  return access;
}

void addInputAccessDetails(InputAccess& access, const std::string& uinputPath, const std::string& groupName) {
  access.ruleMissing = false;
  access.loginPending = false;
  if (!access.wayland) return;
  const struct group* entry = getgrnam(groupName.c_str());
  struct stat node {};
  const bool nodeThere = stat(uinputPath.c_str(), &node) == 0;
  if (!access.virtualKeyboard) {
    access.ruleMissing = !nodeThere || entry == nullptr || node.st_gid != entry->gr_gid ||
                         (node.st_mode & S_IWGRP) == 0;
  }
  if (entry != nullptr) {
    const Membership m = membership(entry->gr_gid, *entry);
    access.loginPending = m.listed && !m.effective;
  }
}

}  // namespace quorvel
