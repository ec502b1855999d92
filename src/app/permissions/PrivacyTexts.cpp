// The onboarding's words about where speech and text go.
#include "app/permissions/PrivacyTexts.h"

namespace quorvel {
namespace {

// "gpu.example:8443", or the address as written when it does not read.
std::string hostOf(const std::string& address) {
  const auto parsed = parseServerAddress(address);
  return parsed ? parsed->hostForUser() : address;
}

}  // namespace

PrivacyTexts privacyTexts(const RemoteSettings& remote, const std::string& keyName) {
  const std::string listens = "Quorvel listens only while you hold the " + keyName + " key. ";
  const bool speech = !remote.speech.address.empty();
  const bool language = !remote.cleanup.address.empty();
  PrivacyTexts texts;
  if (!speech && !language) {
    texts.welcome = "Clean, finished text in any app. Everything stays on this computer.";
    texts.microphone = listens + "What it hears is turned into text on this computer and never sent anywhere.";
    texts.download =
        "A one-time download of Quorvel's speech and writing models. After this, everything works offline.";
    return texts;
  }
  const std::string speechHost = hostOf(remote.speech.address);
  const std::string languageHost = hostOf(remote.cleanup.address);
  if (speech && language) {
    texts.welcome = "Clean, finished text in any app. Your recordings go to " + speechHost +
                    " and your words to " + languageHost + ", your team's servers.";
  } else if (speech) {
    texts.welcome = "Clean, finished text in any app. Your recordings go to your team's server at " + speechHost +
                    "; the rest stays on this computer.";
  } else {
    texts.welcome = "Clean, finished text in any app. Your words go to your team's server at " + languageHost +
                    "; your recordings stay on this computer.";
  }
  texts.microphone = listens;
  texts.microphone += speech ? "What it hears is sent with your key to the speech server at " + speechHost +
                                   " and turned into text there."
                             : "What it hears is turned into text on this computer.";
  if (language) {
    texts.microphone += " The text, with a few words around your cursor and the names in your dictionary, is "
                        "cleaned by the language model server at " +
                        languageHost + ".";
  }
  if (speech && language) {
    texts.download = "Quorvel uses your team's servers: there is nothing to download.";
  } else {
    texts.download = std::string("A one-time download of Quorvel's ") + (speech ? "writing" : "speech") +
                     " model; the other runs on your team's server.";
  }
  return texts;
}

}  // namespace quorvel
