// From raw transcript to finished text: names, the fast path, one cleanup of
// the whole text, the guards and restorers, pieces for a long refused text,
// and the final touches.
#include <chrono>

#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/WritingSpeed.h"
#include "support/Log.h"
#include "text/CleanupGuards.h"
#include "text/NameMatching.h"
#include "text/Restorers.h"
#include "text/SpellCheck.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

using namespace TextHelpers;
using Clock = std::chrono::steady_clock;

constexpr int kPieceWords = 60;

std::int64_t millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::int64_t tokenLimit(const std::string& text) { return 3 * wordCount(text) + 20; }

// Whether the pieces cleaned while the user talked fit this text: cleaned for
// the same place, and the text goes on past their source after a space.
bool headFits(const std::optional<TalkAheadHead>& ahead, const std::string& stripped,
              const std::optional<std::string>& before, const std::optional<std::string>& field) {
  return ahead && !ahead->cleaned.empty() && ahead->before == before && ahead->field == field &&
         stripped.size() > ahead->source.size() && stripped.starts_with(ahead->source) &&
         stripped[ahead->source.size()] == ' ';
}

const WordTest& realWordTest() {
  static const WordTest test = [](std::string_view word) { return isRealWord(word); };
  return test;
}

}  // namespace

DictationResult Pipeline::finish(const std::string& raw, const std::optional<TalkAheadHead>& ahead) {
  DictationResult result = finishOrFallBack(raw, ahead);
  saveWritingSpeed();
  return result;
}

DictationResult Pipeline::finishOrFallBack(const std::string& raw, const std::optional<TalkAheadHead>& ahead) {
  try {
    return finishOrThrow(raw, ahead);
  } catch (const std::exception& failure) {
    // Whatever went wrong (memory, most likely), the user's words still arrive.
    logLine(std::string("Quorvel: finishing a dictation failed (") + failure.what() +
            "); it is typed lightly cleaned");
    DictationResult result;
    result.raw = raw;
    result.model = trained ? "trained" : "standard";
    result.path = raw.empty() ? "empty" : "fallback";
    try {
      result.final = lightClean(raw);
    } catch (const std::exception&) {
      result.final = raw;
    }
    return result;
  }
}

DictationResult Pipeline::finishOrThrow(const std::string& raw,
                                        const std::optional<TalkAheadHead>& ahead) {
  const CleanupConfig config = loadConfig();
  DictationResult result = finishText(raw, ahead, config);
  std::string text = namesBySound(result.final, config.dictionary, realWordTest());
  if (!configOverride) {
    // The word statistics: which of the user's words were just used. Saved
    // under the file lock so a concurrent edit of the words is not lost.
    CleanupConfig::updateWords(engineCleanupFiles(),
                               [&](PersonalWords& words) { return words.noteUsed(text); });
  }
  if (auto letter = formatLetter(text)) text = std::move(*letter);
  result.final = sturdyGrammar(removeDashes(text));
  result.warmed = ahead && ahead->warmed;
  return result;
}

DictationResult Pipeline::finishText(const std::string& raw,
                                     const std::optional<TalkAheadHead>& ahead,
                                     const CleanupConfig& config) {
  DictationResult result;
  result.raw = raw;
  result.model = trained ? "trained" : "standard";
  if (raw.empty()) {
    result.path = "empty";
    return result;
  }
  const PersonalWords words = config.personal();
  const std::string text = spellNames(raw, words, config.dictionary, realWordTest());
  if (!cleanupEnabled) {
    result.final = text;
    result.path = "raw";
    return result;
  }
  if (!trained && !needsCleanup(text)) {
    result.final = text;
    result.path = "fast";
    return result;
  }

  // A slow writer finishes a long text from the pieces cleaned while the user
  // talked, instead of writing all of it again while the user waits.
  if (finishesFromHead(text, ahead)) return cleanInPieces(text, config, ahead, result, std::nullopt);

  const auto start = Clock::now();
  const std::string stripped = stripClosingCommands(text);
  const MessageList messages = cleanupMessages(stripped, config, std::nullopt, std::nullopt);
  std::optional<EngineTimings> timings;
  auto answer = complete(messages, "cleanup", tokenLimit(stripped), 0, onPartial,
                         [&timings](const EngineTimings& reported) { timings = reported; });
  const std::string cleaned = answer ? *answer : std::string();
  result.cleanupMs = millisecondsSince(start);
  result.timings = timings;

  const auto usable = usableCleanup(text, cleaned, config.dictionary, config.dictionary, minKept());
  if (usable) {
    const std::string a = restoreDroppedSentences(text, *usable);
    const std::string b = restoreSentenceBreaks(text, a);
    const std::string c = applyDictionary(b, config.dictionary, config.aliases.value_or(
                                                                    std::map<std::string, std::string>{}));
    result.final = removeLeftoverCommands(c);
    result.path = "cleaned";
    if (*usable != cleaned) result.path += ", dictionary word restored";
    if (a != *usable) result.path += ", dropped sentence restored";
    if (b != a) result.path += ", sentence break restored";
    return result;
  }
  if (cleansInPieces() && Config::longPiecesEnabled() && wordCount(text) > longWords) {
    const std::int64_t failedMs = result.cleanupMs;
    DictationResult pieces = cleanInPieces(text, config, ahead, result, RefusedAttempt{messages, cleaned});
    pieces.cleanupMs += failedMs;
    return pieces;
  }
  result.final = lightClean(stripClosingCommands(text));
  result.path = "fallback";
  return result;
}

DictationResult Pipeline::cleanInPieces(const std::string& text, const CleanupConfig& config,
                                        const std::optional<TalkAheadHead>& ahead,
                                        DictationResult result,
                                        const std::optional<RefusedAttempt>& refused) {
  const auto start = Clock::now();
  const std::string stripped = stripClosingCommands(text);
  const std::optional<std::string> before = placeBefore();
  const std::optional<std::string> field = placeField();

  // Pieces cleaned while the user talked are reused only when they were cleaned
  // for the same place and the final transcript still begins with their source.
  std::vector<std::string> cleaned;
  std::int64_t fellBack = 0;
  std::int64_t reused = 0;
  std::string rest = stripped;
  if (headFits(ahead, stripped, before, field)) {
    cleaned = ahead->cleaned;
    fellBack = ahead->fellBack;
    reused = static_cast<std::int64_t>(ahead->cleaned.size());
    rest = stripped.substr(ahead->source.size() + 1);
  }

  for (const std::string& piece : sentencePieces(rest, kPieceWords)) {
    if (!pieceNeedsModel(piece)) {
      cleaned.push_back(piece);
      continue;
    }
    const auto pieceContext = pieceBefore(before, cleaned);
    std::function<void(const std::string&)> partial;
    if (onPartial) {
      partial = [this, &cleaned](const std::string& soFar) {
        std::vector<std::string> all = cleaned;
        all.push_back(soFar);
        onPartial(joinPieces(all));
      };
    }
    const MessageList messages = cleanupMessages(piece, config, ContextOverride(pieceContext), std::nullopt);
    // A text that makes a single piece asks exactly what the whole-text request
    // asked; at temperature 0 the answer would be the same, so it is not sent twice.
    std::string answer;
    if (refused && messages == refused->messages) {
      answer = refused->answer;
    } else {
      auto reply = complete(messages, "cleanup", tokenLimit(piece), 0, partial);
      if (reply) answer = std::move(*reply);
    }
    const auto usable = usableCleanup(piece, answer, config.dictionary, config.dictionary, minKept());
    if (usable) {
      cleaned.push_back(*usable);
    } else {
      cleaned.push_back(lightClean(piece));
      ++fellBack;
    }
  }

  // The restorers compare with the spelled transcript, not the stripped one.
  const std::string joinedPieces = joinPieces(cleaned);
  const std::string d = restoreDictionaryWords(text, joinedPieces, config.dictionary);
  const std::string e = restoreDroppedSentences(text, d);
  const std::string f = restoreSentenceBreaks(text, e);
  const std::string g =
      applyDictionary(f, config.dictionary, config.aliases.value_or(std::map<std::string, std::string>{}));
  result.final = removeLeftoverCommands(g);

  const auto n = static_cast<std::int64_t>(cleaned.size());
  if (fellBack == n) {
    result.path = "fallback (" + std::to_string(n) + " pieces)";
  } else {
    result.path = "cleaned in " + std::to_string(n) + " pieces";
    if (fellBack >= 1) result.path += ", " + std::to_string(fellBack) + " fell back";
  }
  if (reused > 0) result.path += ", " + std::to_string(reused) + " while talking";
  result.cleanupMs = millisecondsSince(start);
  result.aheadPieces = reused;
  result.chunks = std::max<std::int64_t>(result.chunks, 1);
  return result;
}

bool Pipeline::finishesFromHead(const std::string& text,
                                const std::optional<TalkAheadHead>& ahead) const {
  if (!cleansInPieces() || !Config::longPiecesEnabled()) return false;
  if (wordCount(text) <= longWords) return false;
  if (!headFits(ahead, stripClosingCommands(text), placeBefore(), placeField())) return false;
  return fastFinishChosen(Config::fastFinish(), writingSpeed().tokensPerSecond());
}

bool Pipeline::pieceNeedsModel(const std::string& piece) const {
  return trained || needsCleanup(piece);
}

bool Pipeline::cleansInPieces() const { return trained ? servers_.usesLayers() : true; }

std::optional<std::string> Pipeline::placeBefore() const {
  if (testBefore) return testBefore;
  if (context) return context->before;
  return std::nullopt;
}

std::optional<std::string> Pipeline::placeField() const {
  if (testField) return testField;
  if (context) return fieldName(*context);
  return std::nullopt;
}

std::optional<std::string> Pipeline::pieceBefore(const std::optional<std::string>& before,
                                                 const std::vector<std::string>& soFar) {
  if (soFar.empty()) return before;
  const std::string text = (before ? *before + " " : std::string()) + joinPieces(soFar);
  return unicode::toUtf8(
      unicode::suffixOfAtMost(unicode::fromUtf8(text), static_cast<int32_t>(cleanupContextBefore)));
}

Result<std::string> Pipeline::cleanPiece(const std::string& piece, const CleanupConfig& config,
                                         const ContextOverride& before,
                                         const ContextOverride& field) {
  // Streamed, so a stop can cut the transfer short as soon as it is asked for.
  return complete(cleanupMessages(piece, config, before, field), "cleanup", tokenLimit(piece), 0,
                  [](const std::string&) {});
}

void Pipeline::warmCleanup(const std::string& text, const CleanupConfig& config,
                           const ContextOverride& before, const ContextOverride& field) {
  (void)complete(cleanupMessages(text, config, before, field), "cleanup", 1);
}

}  // namespace quorvel
