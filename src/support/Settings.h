// Every setting and one-time marker Quorvel keeps in the user defaults
// ($XDG_CONFIG_HOME/quorvel/defaults.json, see UserDefaults.h), in one place:
// the key it is stored under, its type, and what an absent value means. A value
// of another type than the one listed counts as absent, so a hand-edited file
// never breaks a reader. Every reader and writer names its setting from here;
// the stored keys never change (a user's file from an earlier version must keep
// meaning the same), which is why the tag's switch is still stored as "bubble".
//
// Where an environment variable overrides a setting, it is named; the rule
// that combines the two lives with the setting's reader (src/engine/Config).
#pragma once

#include "support/Result.h"
#include "support/UserDefaults.h"

namespace quorvel::Settings {

// A Bool setting: the stored Bool, else `fallback`.
struct Flag {
  const char* key;
  bool fallback;

  bool read(const UserDefaults& store) const { return store.boolOr(key, fallback); }
  bool read() const { return read(UserDefaults()); }
  Status write(UserDefaults& store, bool on) const { return store.set(key, Json(on)); }
  Status write(bool on) const {
    UserDefaults store;
    return write(store, on);
  }
};

// A whole number: the stored integer, else `fallback` (each reader also
// bounds what it accepts).
struct Integer {
  const char* key;
  long long fallback;

  long long read(const UserDefaults& store) const { return store.integerValue(key).value_or(fallback); }
  long long read() const { return read(UserDefaults()); }
};

// A number: the stored number, else `fallback`.
struct Number {
  const char* key;
  double fallback;

  double read(const UserDefaults& store) const { return store.numberValue(key).value_or(fallback); }
  double read() const { return read(UserDefaults()); }
};

// A string: the stored string, else "".
struct Text {
  const char* key;

  std::string read(const UserDefaults& store) const { return store.stringValue(key).value_or(""); }
  std::string read() const { return read(UserDefaults()); }
};

// A value of its own shape (an object, an array, or a Bool or string with a
// third meaning), read and written by its owner, named beside it.
struct Value {
  const char* key;
};

// --- The switches on the Settings page -------------------------------------

// Show the status tag while dictating (src/app/delegate/AppDelegate).
// Default: true. Stored as "bubble", the tag's name in earlier versions.
inline constexpr Flag showTag{"bubble", true};

// Put the tag at the top of the screen instead of the bottom (src/ui/TagWindow).
// Default: false.
inline constexpr Flag tagAtTop{"tagTop", false};

// Play the start sound when a recording begins (src/app/delegate/AppDelegateRecording).
// Default: true.
inline constexpr Flag startSound{"sound", true};

// Read the text around the cursor to fit spacing and capitals, and watch the
// field for corrections afterwards (src/app, src/learning/EditWatcher).
// Default: true.
inline constexpr Flag fitText{"fitText", true};

// Keep every recording's audio beside the history (src/app/history/DictationLog).
// Default: false.
inline constexpr Flag saveAudio{"saveAudio", false};

// "Clean while I talk": a Bool, or the string "auto", "1" or "0"
// (src/engine/ConfigRules, fastFinishFromSettings). QUORVEL_FAST_FINISH
// overrides it. Default: absent, which is the automatic choice.
inline constexpr Value fastFinish{"fastFinish"};

// A quick tap of the dictation key starts a hands-free recording
// (src/app/delegate/AppDelegateRecording). Default: false.
inline constexpr Flag tapForHandsFree{"tapForHandsFree", false};

// Open Quorvel when the user logs in (src/app/launch/OpenAtLogin).
// Default: false.
inline constexpr Flag openAtLogin{"openAtLogin", false};

// Look for a new version once a day (src/app/launch/Updates).
// Default: true.
inline constexpr Flag automaticUpdates{"autoUpdate", true};

// --- The engine's switches (src/engine/Config), read once per process -------
// The environment variable named beside each decides when set (any value but
// "0" is on).

// Use the speech model's separate encoder copy (models/neural-engine) when
// one is there. QUORVEL_NEURAL_ENGINE. Default: true.
inline constexpr Flag neuralEngine{"neuralEngine", true};

// Clean pieces of a long dictation while the user still talks.
// QUORVEL_TALK_AHEAD. Default: true.
inline constexpr Flag talkAhead{"talkAhead", true};

// Clean a long dictation (over 90 words) in pieces when the whole text
// could not be cleaned. QUORVEL_LONG_PIECES. Default: true.
inline constexpr Flag longPieces{"longPieces", true};

// Wake the language model when the dictation key goes down
// (src/engine/PipelineRequests). Default: true.
inline constexpr Flag wakeOnKey{"wakeOnKey", true};

// --- Cutting a recording into pieces (src/audio/Chunker) --------------------
// Read each time a recording starts.

// Seconds of uncut audio before a cut is looked for. Default: 20.0.
inline constexpr Number chunkMin{"chunkMin", 20.0};

// Milliseconds of the window a pause is looked for in (bounded by the
// chunker). Default: 600.
inline constexpr Integer pauseMs{"pauseMs", 600};

// How much quieter than the speech a window must be to count as a pause.
// Default: 0.15.
inline constexpr Number pauseRatio{"pauseRatio", 0.15};

// --- Choices made in the windows ---------------------------------------------

// The dictation key, a Linux input code (src/app/desktop/DictationKeys).
// Default: right Alt (100); the first launch stores right Ctrl instead when
// right Alt is AltGr in the keyboard layout.
inline constexpr Integer dictationKey{"dictationKey", 100};

// The key that opens the note, a Linux input code (src/app/desktop/DictationKeys).
// Default: right Super (126); the Menu key when that is the dictation key.
inline constexpr Integer noteKey{"noteKey", 126};

// Set when the first launch took right Ctrl because right Alt is AltGr, so
// onboarding can say why. Default: false.
inline constexpr Flag dictationKeyAvoidsAltGr{"dictationKeyAvoidsAltGr", false};

// The microphone's PulseAudio source name and its description for the page
// (src/app/desktop/Microphones). Default: "" (the system's default microphone).
inline constexpr Text microphone{"microphone"};
inline constexpr Text microphoneDescription{"microphoneDescription"};

// The speech model's file name, one of the known models (src/app/models/ModelStore).
// Default: "" (the standard model).
inline constexpr Text speechModel{"speechModel"};

// The language model a server elsewhere must serve. QUORVEL_CLEANUP_MODEL.
// Default: "" (the first the server lists).
inline constexpr Text cleanupModel{"cleanupModel"};

// --- Model servers elsewhere (src/engine/RemoteServer) ----------------------
// Each is overridden by the environment variable named beside it.

// The speech server's address. QUORVEL_SPEECH_SERVER. Default: "" (this computer).
inline constexpr Text speechServer{"speechServer"};
// The file holding its key. QUORVEL_SPEECH_KEY_FILE. Default: "" (no key).
inline constexpr Text speechKeyFile{"speechKeyFile"};
// The one address plain HTTP is allowed for, so the tick goes when the address
// changes. QUORVEL_ALLOW_UNENCRYPTED. Default: "" (none).
inline constexpr Text speechUnencrypted{"speechUnencrypted"};
// The same three for the language model server: QUORVEL_CLEANUP_SERVER,
// QUORVEL_CLEANUP_KEY_FILE, QUORVEL_ALLOW_UNENCRYPTED. Default: "".
inline constexpr Text cleanupServer{"cleanupServer"};
inline constexpr Text cleanupKeyFile{"cleanupKeyFile"};
inline constexpr Text cleanupUnencrypted{"cleanupUnencrypted"};
// An extra certificate authority to trust. QUORVEL_CA_FILE.
// Default: "" (the system's store).
inline constexpr Text caFile{"caFile"};

// --- Kept by Quorvel itself --------------------------------------------------

// Where the dashboard and the note were last, as [x, y, width, height]
// (src/ui/UiKit savedFrame). Default: absent (placed afresh).
inline constexpr Value dashboardFrame{"dashboardFrame"};
inline constexpr Value noteFrame{"noteFrame"};

// The language model's measured writing speed, {"tokens", "ms"}
// (src/engine/WritingSpeed). Default: absent (not yet measured).
inline constexpr Value writingSpeed{"writingSpeed"};

// Bytes sent to servers elsewhere, over all launches (src/app/models/SentOnline).
// Default: 0.
inline constexpr Integer sentOnlineBytes{"sentOnlineBytes", 0};

// When updates were last looked for, in seconds since the epoch
// (src/app/launch/Updates). Default: 0 (never).
inline constexpr Number updateCheckedAt{"updateCheckedAt", 0};

// Whether chat messages keep their final full stop, and the corrections in a
// row against it (src/text/TextPeriods). Default: false and 0.
inline constexpr Flag textPeriodsOn{"textPeriodsOn", false};
inline constexpr Integer textPeriodsVotes{"textPeriodsVotes", 0};

// --- One-time markers ---------------------------------------------------------

// Onboarding is done and the dashboard has been seen (src/app/windows/OnboardingModel).
// Default: false; while it is absent, a user whose models and history are on
// disk already counts as done.
inline constexpr Flag dashboardSeen{"dashboardSeen", false};

// "Quorvel" was added to the personal words once (src/text/CleanupConfig).
// Default: false.
inline constexpr Flag addedProductWord{"addedQuorvelWord", false};

// The predecessor's settings were copied once (src/app/launch/Launch).
// Default: false.
inline constexpr Flag migratedFromPredecessor{"migratedFromVimmo", false};

// Settings only the predecessor read, copied with the others and kept for a
// downgrade; nothing reads them now.
inline constexpr Value predecessorCleanup{"cleanup"};
inline constexpr Value predecessorFastChunks{"fastChunks"};

}  // namespace quorvel::Settings
