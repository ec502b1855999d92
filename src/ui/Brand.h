// The application's typefaces: a variable sans-serif text face with a weight
// axis (Inter) and a monospaced face in regular and medium (IBM Plex Mono),
// shipped as files in the resources' fonts/ folder and registered for this
// process only.
//
// How windows use it: the program calls Brand::registerFonts once, before the
// first window is drawn; every window then asks Brand::sans(size, weight) for
// text and Brand::mono(size, medium) for figures, counts and code. Sizes are
// in device-independent pixels (the unit of widget geometry, so a 13 px label
// fits a 32 px pill on every screen); weights on the 1…1000 scale of
// OpenType (400 regular, 500 medium, 600 semibold). When a file is missing or
// cannot be registered the desktop's own fonts stand in, in steps: 600 and
// above semibold, 500 and above medium, regular below.
//
// Threading: main thread only; REQUIRES: a QGuiApplication for registering.
#pragma once

#include <QFont>
#include <QString>
#include <filesystem>

namespace quorvel {

// The families this process registered; an empty name means that face is
// missing and the system font stands in for it.
struct BrandFaces {
  QString sans;
  QString monoRegular;
  QString monoMedium;
};

namespace Brand {

// Registers Inter.ttf, IBMPlexMono-Regular.ttf and IBMPlexMono-Medium.ttf from
// fontsDir in that order (a missing or unreadable file is skipped) and makes
// the result the faces in effect.
BrandFaces registerFonts(const std::filesystem::path& fontsDir);

// The faces in effect (all empty before registerFonts).
const BrandFaces& faces();

// Fonts from the faces in effect.
QFont sans(double size, double weight = 400);
QFont mono(double size, bool medium = true);

// The same from given faces (what the two above use; tests call it directly).
QFont sans(const BrandFaces& faces, double size, double weight);
QFont mono(const BrandFaces& faces, double size, bool medium);

}  // namespace Brand

}  // namespace quorvel
