// "--download-test": the thinned progress and the verdict, in process against
// the test host and as the program itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "DownloadHost.h"
#include "TestSupport.h"
#include "app/cli/DownloadCheck.h"
#include "support/ChildProcess.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DownloadCheck, PrintsEachTenthPercentThenPasses) {
  TempDir temp;
  testing::DownloadHost host(temp / "served", temp / "host");
  const std::string data = testing::randomBytes(10000, 21);
  testing::writeTextFile(temp / "served" / "m.bin", data);
  const ModelStore::Item item{"m.bin", host.url("m.bin"), testing::sha256Hex(data), 10000, "model"};
  ModelStore::DownloadSettings settings;
  settings.pieceSize = 1000;
  settings.piecesAtOnce = 1;  // one piece at a time: each tenth is reached in turn

  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(runDownloadCheck(temp / "new" / "dir", {item}, settings, out), 0);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(out);

  std::vector<std::string> expected;
  for (int percent = 0; percent <= 90; percent += 10) {
    expected.push_back("Downloading Quorvel's models… " + std::to_string(percent) + "% of 0.0 GB");
  }
  expected.push_back("Starting the models…");
  expected.push_back("download test passed");
  EXPECT_EQ(linesOf(text), expected);
  EXPECT_EQ(testing::readTextFile(temp / "new" / "dir" / "m.bin"), data);
}

// Runs the program with --download-test and extra environment; its output.
std::string runProgram(const fs::path& dir, const std::map<std::string, std::string>& environment,
                       const fs::path& output, int& status) {
  LaunchOptions options;
  options.executable = testing::buildProgram("quorvel").string();
  options.arguments = {"--download-test", dir.string()};
  options.extraEnvironment = environment;
  options.outputFile = output;
  auto child = ChildProcess::launch(options);
  if (!child) throw std::runtime_error(child.error());
  if (!(*child)->waitForExit(60s)) {
    (*child)->kill();
    (*child)->waitForExit(5s);
    throw std::runtime_error("the download check did not end");
  }
  status = (*child)->exitStatus().value_or(-1);
  return testing::readTextFile(output);
}

TEST(DownloadCheck, TheProgramReportsAFailedDownloadAndStillExitsZero) {
  TempDir temp;
  fs::create_directories(temp / "empty");
  testing::DownloadHost host(temp / "empty", temp / "host");  // has none of the models
  int status = -1;
  const std::string output = runProgram(
      temp / "models", {{"QUORVEL_MODEL_HOST", host.url("")},
                        {"QUORVEL_DOWNLOAD_RETRY_MS", "1"},
                        {"QUORVEL_DOWNLOAD_PIECE_BYTES", "200000000"},
                        {"QUORVEL_ROOT", (temp / "root").string()}},
      temp / "out.txt", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(linesOf(output), (std::vector<std::string>{"Downloading Quorvel's models… 0% of 1.3 GB",
                                                       "download test FAILED"}));
  EXPECT_TRUE(fs::is_directory(temp / "models"));
  EXPECT_FALSE(fs::exists(temp / "models" / "ggml-small.en-q5_1.bin"));
  // One piece of the speech model and six of the language model, four tries
  // each, then the speech model whole; the later items are not tried whole.
  EXPECT_EQ(host.requests().size(), 7u * 4u + 1u);
}

TEST(DownloadCheck, TheProgramSaysWhenAModelHasNoAddress) {
  TempDir temp;
  int status = -1;
  const std::string output =
      runProgram(temp / "models", {{"QUORVEL_MODEL_HOST", "no address"},
                                   {"QUORVEL_ROOT", (temp / "root").string()}},
                 temp / "out.txt", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(linesOf(output), (std::vector<std::string>{"Speech Model isn't available to download yet",
                                                       "download test FAILED"}));
}

}  // namespace
}  // namespace quorvel
