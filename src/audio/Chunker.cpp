// The pause search that cuts a live recording into pieces.
#include "audio/Chunker.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/Levels.h"
#include "support/Settings.h"

namespace quorvel {

namespace {

constexpr std::int64_t kLongestNeed = std::int64_t{1} << 50;  // far beyond any recording
constexpr int kLongestPauseMs = 3'600'000;

// Everything one decision needs, worked out from the settings and the buffer.
// All divisions are integer divisions truncating toward zero.
struct Search {
  std::int64_t end = 0;
  std::int64_t uncut = 0;
  std::int64_t need = 0;
  std::int64_t floor = 0;   // no window starts before this
  std::int64_t stop = 0;    // no window reaches past this
  std::int64_t window = 0;
  std::int64_t half = 0;
  std::int64_t step = 0;
  std::int64_t windows = 0;  // how many windows fit between floor and stop
};

Search plan(const Chunker& chunker, std::int64_t end) {
  constexpr std::int64_t rate = Chunker::rate;
  Search s;
  s.end = end;
  s.uncut = end - chunker.cut;
  // A negative, NaN or absurd minimum would let a window start before the cut.
  const double needSamples = chunker.minPiece * rate;
  s.need = needSamples > 0 ? static_cast<std::int64_t>(std::min<double>(needSamples, kLongestNeed)) : 0;
  s.floor = std::max(chunker.cut + s.need * 6 / 10, end - 12 * rate);
  s.stop = end - rate / 4;
  const std::int64_t pauseMs = std::clamp(chunker.pauseMs, 0, kLongestPauseMs);
  s.window = rate * pauseMs / 1000;
  s.half = rate * pauseMs / 2000;
  s.step = rate / 20;
  s.windows = s.stop - s.window >= s.floor ? (s.stop - s.window - s.floor) / s.step + 1 : 0;
  return s;
}

struct Quietest {
  std::int64_t end = 0;  // end of the kept window
  double rms = 0;
};

// The k-th window is [stop − k·step − window, stop − k·step). A window
// replaces the kept one only when strictly quieter, so the latest of equally
// quiet windows wins. Window sums come from prefix sums of squares at the
// window edges: one vectorised pass over the searched stretch, exact integers,
// so the choice is identical to measuring every window on its own.
Quietest quietestWindow(const Search& s, SampleSpan samples) {
  std::vector<std::int64_t> edges;
  edges.reserve(static_cast<std::size_t>(s.windows) * 2);
  for (std::int64_t k = 0; k < s.windows; ++k) {
    const std::int64_t windowEnd = s.stop - k * s.step;
    edges.push_back(windowEnd);
    edges.push_back(windowEnd - s.window);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  // prefix[i] = sum of squares over [edges[0], edges[i]).
  std::vector<std::uint64_t> prefix(edges.size(), 0);
  for (std::size_t i = 1; i < edges.size(); ++i) {
    const auto from = static_cast<std::size_t>(edges[i - 1]);
    const auto length = static_cast<std::size_t>(edges[i] - edges[i - 1]);
    prefix[i] = prefix[i - 1] + sumOfSquares(samples.subspan(from, length));
  }
  const auto prefixAt = [&](std::int64_t position) {
    const auto it = std::lower_bound(edges.begin(), edges.end(), position);
    return prefix[static_cast<std::size_t>(it - edges.begin())];
  };

  Quietest kept;
  std::uint64_t keptSum = 0;
  for (std::int64_t k = 0; k < s.windows; ++k) {
    const std::int64_t windowEnd = s.stop - k * s.step;
    const std::uint64_t sum = prefixAt(windowEnd) - prefixAt(windowEnd - s.window);
    if (k == 0 || sum < keptSum) {
      keptSum = sum;
      kept.end = windowEnd;
    }
  }
  kept.rms = s.window > 0 ? std::sqrt(static_cast<double>(keptSum) / static_cast<double>(s.window)) : 0;
  return kept;
}

Quietest quietestWindowDirect(const Search& s, SampleSpan samples) {
  Quietest kept;
  for (std::int64_t k = 0; k < s.windows; ++k) {
    const std::int64_t windowEnd = s.stop - k * s.step;
    const double level = rms(samples.subspan(static_cast<std::size_t>(windowEnd - s.window),
                                             static_cast<std::size_t>(s.window)));
    if (k == 0 || level < kept.rms) kept = {windowEnd, level};
  }
  return kept;
}

// The shared decision; `findQuietest` is the window scan to use. Answers the
// new cut point, or nothing.
template <class FindQuietest>
std::optional<std::int64_t> decide(const Chunker& chunker, SampleSpan samples, FindQuietest findQuietest) {
  const Search s = plan(chunker, static_cast<std::int64_t>(samples.size()));
  // A cut outside the buffer (a buffer that shrank, a bad start value) cuts nothing.
  if (chunker.cut < 0 || s.uncut <= 0 || s.uncut < s.need) return std::nullopt;
  const double level = rms(samples.subspan(static_cast<std::size_t>(chunker.cut)));
  std::int64_t point = s.end;
  if (s.windows > 0) {
    const Quietest quietest = findQuietest(s, samples);
    point = quietest.end - s.half;
    if (quietest.rms < std::max(level, 400.0) * chunker.pauseRatio) return point;
  }
  if (s.uncut < 28 * Chunker::rate) return std::nullopt;
  return point;
}

}  // namespace

Chunker::Chunker() : Chunker(defaultMinPiece(), defaultPauseMs(), defaultPauseRatio()) {}

Chunker::Chunker(double minPiece, int pauseMs, double pauseRatio, std::int64_t cut)
    : minPiece(minPiece), pauseMs(pauseMs), pauseRatio(pauseRatio), cut(cut) {}

double Chunker::defaultMinPiece() {
  return Settings::chunkMin.read();
}

int Chunker::defaultPauseMs() {
  return static_cast<int>(std::clamp<long long>(Settings::pauseMs.read(), -1, kLongestPauseMs));
}

double Chunker::defaultPauseRatio() {
  return Settings::pauseRatio.read();
}

std::optional<SampleRange> Chunker::next(SampleSpan samples) {
  const auto point = decide(*this, samples, quietestWindow);
  // An empty piece (possible only with a zero pause window) is not handed out.
  if (!point || *point <= cut) return std::nullopt;
  const SampleRange range{cut, *point};
  cut = *point;
  return range;
}

std::optional<SampleRange> Chunker::finalPiece(SampleSpan samples, int piecesAdded) const {
  const auto end = static_cast<std::int64_t>(samples.size());
  if (piecesAdded <= 0) return SampleRange{0, end};
  if (cut < 0 || end - cut <= 8000) return std::nullopt;
  if (!hasSpeech(samples.subspan(static_cast<std::size_t>(cut)))) return std::nullopt;
  return SampleRange{cut, end};
}

std::optional<SampleRange> Chunker::nextByDirectScan(SampleSpan samples) const {
  const auto point = decide(*this, samples, quietestWindowDirect);
  if (!point || *point <= cut) return std::nullopt;
  return SampleRange{cut, *point};
}

}  // namespace quorvel
