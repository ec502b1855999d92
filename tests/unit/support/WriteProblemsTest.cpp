// A file that can't be written is said once, until a write of it works.
#include "support/WriteProblems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel {
namespace {

using WriteProblems::File;

TEST(WriteProblems, EachFileIsSaidOnceUntilAWriteOfItWorksAgain) {
  std::vector<std::string> said;
  WriteProblems::setListener([&](const std::string& message) { said.push_back(message); });
  for (File file : {File::history, File::words, File::settings}) WriteProblems::succeeded(file);

  const std::string full = "could not write /x/y: No space left on device";
  WriteProblems::failed(File::history, full);
  WriteProblems::failed(File::history, full);
  WriteProblems::failed(File::words, full);
  WriteProblems::failed(File::settings, "cannot open /x: Read-only file system");
  WriteProblems::succeeded(File::history);
  WriteProblems::failed(File::history, full);
  WriteProblems::setListener(nullptr);
  WriteProblems::succeeded(File::words);
  WriteProblems::failed(File::words, full);  // nobody listening: only logged

  EXPECT_EQ(said, (std::vector<std::string>{"Can't save the history: disk full", "Can't save your words: disk full",
                                            "Can't save the settings: the disk is read-only",
                                            "Can't save the history: disk full"}));
  for (File file : {File::history, File::words, File::settings}) WriteProblems::succeeded(file);
}

}  // namespace
}  // namespace quorvel
