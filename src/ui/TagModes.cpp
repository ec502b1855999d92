// Runs the tag's demonstration and renders its snapshots.
#include "ui/TagModes.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "support/Files.h"
#include "ui/TagWindow.h"
#include "ui/TagWidget.h"
#include "ui/GuiStart.h"
#include "ui/QtMainLoop.h"

namespace quorvel {

namespace {

constexpr const char* kDemoSentence =
    "Can you check the conversion rate on the new landing page? I just noticed the drop after the last update.";

// Snapshots are drawn at twice the size so they stay sharp on a dense screen.
constexpr double kSnapshotScale = 2;

// A level that breathes like speech: a slow swing with a little noise.
class SyntheticMeter {
 public:
  float next() {
    t_ += 0.25;
    const double level = std::sin(t_) * 0.35 + 0.45 + noise_(random_);
    return static_cast<float>(std::clamp(level, 0.0, 1.0));
  }

 private:
  double t_ = 0;
  std::mt19937 random_{std::random_device{}()};
  std::uniform_real_distribution<double> noise_{-0.15, 0.15};
};

struct SnapshotState {
  const char* stem;
  TagMode mode;
  const char* preview;
};

// PNG data of one state, rendered the way the window draws it.
QByteArray renderState(const SnapshotState& state) {
  tag::TagContent content;
  content.mode = state.mode;
  content.setPreview(state.preview);
  TagWidget view(content);
  const double width = std::ceil(view.idealWidth());
  for (int i = 0; i < 24; ++i) {
    content.step(std::sin(0.9 * i) * 0.35 + 0.55);
  }

  QImage image(QSize(static_cast<int>(width * kSnapshotScale), static_cast<int>(tag::kHeight * kSnapshotScale)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(kSnapshotScale);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    view.paintTag(painter, width);
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

}  // namespace

int runTagDemo(int& argc, char** argv) {
  auto app = startGui(argc, argv, {});
  QtMainLoop loop;
  TagWindow tagWindow(loop, [] { return false; });
  auto meter = std::make_shared<SyntheticMeter>();
  tagWindow.setLevelSource([meter] { return meter->next(); });

  struct Step {
    double at;
    std::function<void()> action;
  };
  const Step timeline[] = {
      {0.0, [&] { tagWindow.show(TagMode::recording, ""); }},
      {2.5, [&] { tagWindow.show(TagMode::transcribing, ""); }},
      {3.4, [&] { tagWindow.show(TagMode::polishing, ""); }},
      {4.0, [&] { tagWindow.setPreview("Can you check the conversion rate"); }},
      {4.5, [&] { tagWindow.setPreview(kDemoSentence); }},
      {5.6, [&] { tagWindow.show(TagMode::done, "19 words"); }},
      {6.5, [&] { tagWindow.hide(0); }},
      {7.2, [] { QCoreApplication::exit(0); }},
  };
  for (const Step& step : timeline) {
    loop.after(Seconds(step.at), step.action);
  }
  return app->exec();
}

int runTagSnapshot(const std::filesystem::path& dir, int& argc, char** argv) {
  auto app = startGui(argc, argv, {.offscreen = true, .appearance = Appearance::light});
  std::error_code error;
  std::filesystem::create_directories(dir, error);  // a failure shows at the first write

  const SnapshotState states[] = {
      {"1-recording", TagMode::recording, ""},
      {"2-transcribing", TagMode::transcribing, ""},
      {"3-polishing", TagMode::polishing, kDemoSentence},
      {"4-done", TagMode::done, "19 words"},
      {"5-failed", TagMode::failed, ""},
  };
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    setAppearance(appearance);
    for (const SnapshotState& state : states) {
      const std::string name =
          std::string("tag-") + state.stem + (appearance == Appearance::dark ? "-dark" : "") + ".png";
      const QByteArray png = renderState(state);
      const auto written = writeFileAtomically(dir / name, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
      if (!written.ok()) {
        std::fprintf(stderr, "quorvel: could not write %s: %s\n", (dir / name).c_str(), written.error().c_str());
      }
    }
  }
  return 0;
}

}  // namespace quorvel
