// One repaint of the status tag while the model's text arrives: the polishing
// mode with a 90-character preview, drawn offscreen the way the window draws
// it. At 30 repaints a second, 2 ms per repaint would be 6 % of one core.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "engine/Config.h"
#include "ui/Brand.h"
#include "ui/TagWidget.h"
#include "ui/Palette.h"

namespace quorvel {
namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "quorvel-bench";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    auto* created = new QApplication(argc, argv);
    Brand::registerFonts(Config::resources() / "fonts");
    return created;
  }();
  return *instance;
}

// Two different 90-character texts, so a repaint can be made to fit anew.
const char* const kPreviews[] = {
    "noticed the drop after the last update. Can you check the conversion rate on the new page?",
    "Can you check the conversion rate on the new landing page? I just noticed the drop after it",
};

void repaint(benchmark::State& state, bool newTextEachTime) {
  app();
  setAppearance(state.range(1) ? Appearance::dark : Appearance::light);
  const double scale = static_cast<double>(state.range(0));
  tag::TagContent content;
  content.mode = TagMode::polishing;
  content.setPreview(kPreviews[0]);
  TagWidget view(content);
  const double width = std::ceil(view.idealWidth());
  QImage image(QSize(static_cast<int>(width * scale), static_cast<int>(tag::kHeight * scale)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);

  std::size_t frame = 0;
  for (auto _ : state) {
    ++frame;
    content.step(0);
    if (newTextEachTime) content.setPreview(kPreviews[frame % 2]);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    view.paintTag(painter, width);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  // Seconds of work per second at 30 repaints a second.
  state.counters["core_share_at_30Hz"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / 30.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The steady case: the wave moves, the text stays.
void BM_TagRepaintPolishing(benchmark::State& state) { repaint(state, false); }
// The worst case: new text on every frame, fitted again each time.
void BM_TagRepaintPolishingNewText(benchmark::State& state) { repaint(state, true); }

// Arguments: device pixel ratio, dark appearance.
BENCHMARK(BM_TagRepaintPolishing)->Args({1, 0})->Args({2, 0})->Args({2, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TagRepaintPolishingNewText)->Args({1, 0})->Args({2, 0})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
