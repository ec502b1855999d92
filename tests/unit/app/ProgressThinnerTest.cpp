// Which progress lines the download check prints.
#include <gtest/gtest.h>

#include "app/cli/DownloadCheck.h"

namespace quorvel {
namespace {

TEST(ProgressThinner, PrintsEachTenthPercentOnceAndEveryPlainMessage) {
  const std::vector<std::pair<std::string, bool>> messages = {
      {"Downloading Quorvel's models… 0% of 1.3 GB", true},
      {"Downloading Quorvel's models… 0% of 1.3 GB", false},  // same part before "%"
      {"Downloading Quorvel's models… 4% of 1.3 GB", false},  // not a tenth
      {"Downloading Quorvel's models… 10% of 1.3 GB", true},
      {"Downloading Quorvel's models… 10% of 1.3 GB", false},
      {"Downloading Quorvel's models… 19% of 1.3 GB", false},
      {"Downloading Quorvel's models… 30% of 1.3 GB", true},  // a skipped tenth is fine
      {"Downloading Quorvel's models… 99% of 1.3 GB", false},
      {"Starting the models…", true},
      {"Starting the models…", false},                       // unchanged since printed
      {"Couldn't save the models: /m: No space left on device", true},
  };
  ProgressThinner thinner;
  for (const auto& [message, printed] : messages) {
    const auto line = thinner.filter(message);
    EXPECT_EQ(line.has_value(), printed) << message;
    if (line) {
      EXPECT_EQ(*line, message);
    }
  }
}

TEST(ProgressThinner, ASkippedMessageDoesNotCountAsPrinted) {
  ProgressThinner thinner;
  EXPECT_TRUE(thinner.filter("Downloading Quorvel's models… 20% of 1.3 GB"));
  EXPECT_FALSE(thinner.filter("Downloading Quorvel's models… 25% of 1.3 GB"));
  // Back to a part equal to the last printed one: still not printed again.
  EXPECT_FALSE(thinner.filter("Downloading Quorvel's models… 20% of 2.0 GB"));
  EXPECT_TRUE(thinner.filter("Downloading Quorvel's models… 40% of 1.3 GB"));
}

}  // namespace
}  // namespace quorvel
