// Watches typed dictations for the user's corrections and learns from them.
#include "learning/EditWatcher.h"

#include "learning/CursorContextReader.h"
#include "support/Settings.h"
#include "support/Uuid.h"
#include "text/Fitting.h"
#include "text/TextPeriods.h"

namespace quorvel {

EditWatcher::EditWatcher(AccessibilityDesktop& desktop, WatchTicker& ticker, CleanupFiles files,
                         std::filesystem::path frequencyFile, std::function<bool()> trusted)
    : desktop_(desktop),
      ticker_(ticker),
      files_(std::move(files)),
      frequencyFile_(std::move(frequencyFile)),
      trusted_(std::move(trusted)) {}

bool EditWatcher::enabled() {
  if (!Settings::fitText.read()) return false;
  return trusted_ && trusted_();
}

void EditWatcher::typed(const std::string& text, bool droppedPeriod, bool keptPeriod) {
  if (!enabled()) return;
  const auto app = desktop_.frontmostApp();
  if (!app) return;
  Watched entry;
  entry.id = randomUuid();
  entry.text = text;
  entry.app = *app;
  entry.since = ticker_.now();
  entry.droppedPeriod = droppedPeriod;
  entry.keptPeriod = keptPeriod;
  watched_.push_back(std::move(entry));
  // The oldest leaves without a take-in; what it found waits in seen_.
  while (watched_.size() > maxWatched) watched_.erase(watched_.begin());
  if (!ticking_) {
    ticking_ = true;
    ticker_.start(std::chrono::duration<double>(lookInterval), [this] { look(); });
  }
}

void EditWatcher::beforeDictation() {
  look();
  takeIn();
}

void EditWatcher::stopTicking() {
  if (ticking_) ticker_.stop();
  ticking_ = false;
}

const FixFinder::Frequency& EditWatcher::frequency() {
  if (!frequency_) {
    auto table = std::make_shared<const FixFinder::FrequencyTable>(FixFinder::loadFrequencies(frequencyFile_));
    frequency_ = FixFinder::frequencyFrom(std::move(table));
  }
  return *frequency_;
}

void EditWatcher::look() {
  const auto now = ticker_.now();
  std::erase_if(watched_, [&](const Watched& entry) {
    return std::chrono::duration<double>(now - entry.since).count() > watchSeconds;
  });
  if (watched_.empty() || !enabled()) {
    stopTicking();
    return;
  }
  const auto app = desktop_.frontmostApp();
  if (!app) return;
  bool any = false;
  for (const Watched& entry : watched_) any = any || entry.app == *app;
  if (!any) return;

  const auto context = CursorContextReader::read(desktop_, readBefore, readAfter);
  if (!context) return;
  const std::string field = context->before + context->after;

  bool dropped = false;
  // Newest first; erasing at index i leaves the older ones where they were.
  for (std::size_t i = watched_.size(); i-- > 0;) {
    Watched& entry = watched_[i];
    if (entry.app != *app) continue;
    if (!entry.periodSeen) {
      if (entry.droppedPeriod && TextHelpers::addedFinalPeriod(entry.text, field)) {
        entry.periodSeen = true;
        (void)TextPeriods::userChanged(true);
      } else if (entry.keptPeriod && TextHelpers::removedFinalPeriod(entry.text, field)) {
        entry.periodSeen = true;
        (void)TextPeriods::userChanged(false);
      }
    }
    const auto fixes = FixFinder::visibleCorrections(entry.text, field, frequency());
    if (!fixes) {
      // Gone from the field: what it found is learned below, at once.
      dropped = true;
      watched_.erase(watched_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    auto result = entry.memory.look(*fixes, context->before, context->after);
    if (result != entry.fixes) {
      entry.fixes = result;
      seen_[entry.id] = std::move(result);
    }
  }
  if (dropped) takeIn();
  if (watched_.empty()) stopTicking();
}

void EditWatcher::takeIn() {
  std::vector<LearnedFix> fixes;
  for (const auto& [id, list] : seen_) {
    for (const Fix& fix : list) fixes.push_back(learnedFix(fix));
  }
  seen_.clear();
  if (fixes.empty()) return;
  // Load, absorb and save under the file's lock, so a word the user adds in
  // the dashboard at the same moment is not lost.
  (void)CleanupConfig::updateWords(files_, [&](PersonalWords& words) {
    const auto counts = words.absorb(fixes);
    return counts.learned + counts.unlearned > 0;
  });
}

}  // namespace quorvel
