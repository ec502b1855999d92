// Whether the udev rule is in place, read from a stand-in for /dev/uinput.
#include "platform/linux/InputAccessProbe.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace quorvel {
namespace {

TEST(InputAccessProbe, TheRuleIsMissingUntilTheNodeIsTheGroupsToWrite) {
  const struct group* own = getgrgid(getegid());
  ASSERT_NE(own, nullptr);
  const std::string groupName = own->gr_name;
  testing::TempDir dir;
  const std::string node = (dir / "uinput").string();
  testing::writeTextFile(node, "");

  InputAccess access{true, true, false, false, false};
  ASSERT_EQ(chmod(node.c_str(), 0600), 0);
  addInputAccessDetails(access, node, groupName);
  EXPECT_TRUE(access.ruleMissing);
  ASSERT_EQ(chmod(node.c_str(), 0660), 0);
  addInputAccessDetails(access, node, groupName);
  EXPECT_FALSE(access.ruleMissing);
  EXPECT_FALSE(access.loginPending);  // this process has its own group
  addInputAccessDetails(access, (dir / "none").string(), groupName);
  EXPECT_TRUE(access.ruleMissing);  // no node at all: the module and the rule

  // Nothing is missing outside Wayland, and a working virtual keyboard needs no rule.
  access = InputAccess{false, true, false, false, false};
  addInputAccessDetails(access, (dir / "none").string(), groupName);
  EXPECT_FALSE(access.ruleMissing);
  access = InputAccess{true, false, true, false, false};
  addInputAccessDetails(access, (dir / "none").string(), groupName);
  EXPECT_FALSE(access.ruleMissing);
}

}  // namespace
}  // namespace quorvel
