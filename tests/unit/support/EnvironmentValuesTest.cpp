#include "support/EnvironmentValues.h"

#include <gtest/gtest.h>

#include "support/Uuid.h"

namespace quorvel {
namespace {

TEST(ParseDecimalInteger, AcceptsOnlySignedDigitsWithinRange) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"8200", 8200},
      {"+8200", 8200},
      {"-5", -5},
      {"007", 7},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"abc", std::nullopt},
      {" 8200", std::nullopt},
      {"8200 ", std::nullopt},
      {"82.0", std::nullopt},
      {"0x10", std::nullopt},
      {"+-1", std::nullopt},
      {"١٢", std::nullopt},  // Arabic-Indic digits are not decimal digits here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseDecimalInteger(c.text), c.expected) << "'" << c.text << "'";
  }
}

TEST(RandomUuid, IsUpperCaseVersionFourAndFresh) {
  const std::string a = randomUuid();
  const std::string b = randomUuid();
  ASSERT_EQ(a.size(), 36u);
  EXPECT_NE(a, b);
  for (size_t i = 0; i < a.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(a[i], '-');
    } else {
      EXPECT_TRUE((a[i] >= '0' && a[i] <= '9') || (a[i] >= 'A' && a[i] <= 'F')) << a;
    }
  }
  EXPECT_EQ(a[14], '4');
}

}  // namespace
}  // namespace quorvel
