// What the user is told leaves the machine, and the count of what did.
#include "app/permissions/PrivacyTexts.h"

#include <gtest/gtest.h>

#include "app/models/SentOnline.h"

namespace quorvel {
namespace {

TEST(PrivacyTexts, LocalSaysNothingLeavesAndEachServerElsewhereIsNamedWithWhatGoesThere) {
  const PrivacyTexts local = privacyTexts({});
  EXPECT_NE(local.welcome.find("Everything stays on this computer"), std::string::npos);
  EXPECT_NE(local.microphone.find("never sent anywhere"), std::string::npos);

  RemoteSettings speech;
  speech.speech.address = "https://gpu.example:8443/speech";
  const PrivacyTexts heard = privacyTexts(speech);
  EXPECT_NE(heard.welcome.find("Your recordings go to your team's server at gpu.example:8443"), std::string::npos);
  EXPECT_EQ(heard.microphone.find("never sent"), std::string::npos);
  EXPECT_NE(heard.download.find("writing model"), std::string::npos) << "only the other model is downloaded";
  EXPECT_EQ(heard.download.find("offline"), std::string::npos);

  RemoteSettings both = speech;
  both.cleanup.address = "https://llm.example/language";
  const PrivacyTexts away = privacyTexts(both);
  EXPECT_NE(away.welcome.find("gpu.example:8443"), std::string::npos);
  EXPECT_NE(away.welcome.find("llm.example:443"), std::string::npos);
  EXPECT_NE(away.microphone.find("around your cursor"), std::string::npos);
  EXPECT_NE(away.download.find("nothing to download"), std::string::npos);
}

TEST(SentOnline, TheReadoutKeepsSmallCountsExactAndRoundsLargeOnes) {
  const std::pair<std::int64_t, std::pair<std::string, std::string>> cases[] = {
      {0, {"0", "bytes"}},           {999, {"999", "bytes"}},       {1000, {"1.0", "KB"}},
      {12345, {"12.3", "KB"}},       {999949, {"999.9", "KB"}},     {999950, {"1.0", "MB"}},
      {3'100'000, {"3.1", "MB"}},    {-5, {"0", "bytes"}},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(SentOnline::readout(bytes), expected) << bytes;
}

}  // namespace
}  // namespace quorvel
