#include "support/ReplacingFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace quorvel {
namespace {

size_t entriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ReplacingFile, TakesThePlaceOfTheOldFileOnlyWhenCommitted) {
  testing::TempDir dir;
  const fs::path file = dir / "results.jsonl";
  testing::writeTextFile(file, "last week\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  {
    auto output = ReplacingFile::open(file);
    ASSERT_TRUE(output.ok()) << output.error();
    ASSERT_TRUE((*output)->write("half of").ok());
    EXPECT_EQ(testing::readTextFile(file), "last week\n");
    // Given up without a commit: the old file stays and nothing is left beside it.
  }
  EXPECT_EQ(testing::readTextFile(file), "last week\n");
  EXPECT_EQ(entriesIn(dir.path()), 1u);

  auto output = ReplacingFile::open(file);
  ASSERT_TRUE(output.ok());
  ASSERT_TRUE((*output)->write("this week\n").ok());
  ASSERT_TRUE((*output)->write("and more\n").ok());
  ASSERT_TRUE((*output)->commit().ok());
  EXPECT_EQ(testing::readTextFile(file), "this week\nand more\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ReplacingFile, SaysWhyItCannotWrite) {
  testing::TempDir dir;
  const auto missingFolder = ReplacingFile::open(dir / "no" / "file");
  ASSERT_FALSE(missingFolder.ok());
  EXPECT_EQ(missingFolder.error(), "No such file or directory");
  const auto folder = ReplacingFile::open(dir.path());
  ASSERT_FALSE(folder.ok());
  EXPECT_EQ(folder.error(), "Is a directory");

  // A device is written in place; a full one fails at the first write, and on.
  auto full = ReplacingFile::open("/dev/full");
  ASSERT_TRUE(full.ok()) << full.error();
  const Status written = (*full)->write("x");
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error(), "No space left on device");
  EXPECT_FALSE((*full)->commit().ok());
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace quorvel
