// Registers the shipped typefaces and builds fonts from them or the system's.
#include "ui/Brand.h"

#include <QFontDatabase>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

BrandFaces& facesInEffect() {
  static BrandFaces faces;
  return faces;
}

// The first family a font file brings, or empty when it can't be registered.
QString registerFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return {};
  const int id = QFontDatabase::addApplicationFont(QString::fromStdString(file.string()));
  if (id < 0) return {};
  const QStringList families = QFontDatabase::applicationFontFamilies(id);
  return families.isEmpty() ? QString() : families.first();
}

// Widget geometry is in device-independent pixels at 96 per inch; fonts are
// sized in points, so convert at that resolution.
double pointsFor(double pixels) {
  if (!std::isfinite(pixels)) pixels = 13;
  return std::clamp(pixels, 1.0, 512.0) * 72.0 / 96.0;
}

QFont::Weight clampedWeight(double weight) {
  if (!std::isfinite(weight)) weight = 400;
  return static_cast<QFont::Weight>(std::lround(std::clamp(weight, 1.0, 1000.0)));
}

QFont::Weight fallbackStep(double weight) {
  if (weight >= 600) return QFont::DemiBold;
  if (weight >= 500) return QFont::Medium;
  return QFont::Normal;
}

}  // namespace

namespace Brand {

BrandFaces registerFonts(const std::filesystem::path& fontsDir) {
  BrandFaces faces;
  faces.sans = registerFile(fontsDir / "Inter.ttf");
  faces.monoRegular = registerFile(fontsDir / "IBMPlexMono-Regular.ttf");
  faces.monoMedium = registerFile(fontsDir / "IBMPlexMono-Medium.ttf");
  facesInEffect() = faces;
  return faces;
}

const BrandFaces& faces() { return facesInEffect(); }

QFont sans(double size, double weight) { return sans(facesInEffect(), size, weight); }

QFont mono(double size, bool medium) { return mono(facesInEffect(), size, medium); }

QFont sans(const BrandFaces& faces, double size, double weight) {
  QFont font;
  if (faces.sans.isEmpty()) {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setWeight(fallbackStep(std::isfinite(weight) ? weight : 400));
  } else {
    font = QFont(faces.sans);
    font.setWeight(clampedWeight(weight));
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    // The face answers any weight on its axis; older Qt versions take the
    // nearest of its named weights (every hundred), which is what we draw with.
    font.setVariableAxis(QFont::Tag("wght"), static_cast<float>(clampedWeight(weight)));
#endif
  }
  font.setPointSizeF(pointsFor(size));
  font.setKerning(true);
  return font;
}

QFont mono(const BrandFaces& faces, double size, bool medium) {
  const QString& family = medium ? faces.monoMedium : faces.monoRegular;
  QFont font;
  if (family.isEmpty()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  } else {
    font = QFont(family);
  }
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setWeight(medium ? QFont::Medium : QFont::Normal);
  font.setPointSizeF(pointsFor(size));
  return font;
}

}  // namespace Brand

}  // namespace quorvel
