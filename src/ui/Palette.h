// The application's colours: thirteen named colours, each with a value for the
// dark and one for the light appearance, and the appearance in effect.
//
// How windows use it: draw with the named accessors (Palette::panel(),
// Palette::ink(), …), which resolve by the appearance in effect at the moment
// of the call, so a window that repaints after an appearance change picks the
// new values up by itself. Never keep a resolved QColor across paints. The
// appearance is detected once at start (detectAppearance) and can be forced
// (snapshot modes render light and dark on purpose).
//
// Threading: main thread only (like every window).
#pragma once

#include <QColor>
#include <cstdint>
#include <optional>

namespace quorvel {

enum class Appearance { light, dark };

// A colour given as two 24-bit RGB values (0xRRGGBB): dark first, then light.
struct DynamicColor {
  std::uint32_t dark = 0;
  std::uint32_t light = 0;

  QColor resolve(Appearance appearance) const;
  QColor resolve() const;  // by the appearance in effect
};

// The freedesktop colour-scheme preference: 1 prefers dark, 2 prefers light,
// 0 has no preference. Any other value counts as no answer. Without an answer
// the window colour's lightness (0…1) decides: below one half is dark. With
// neither, the appearance is light.
Appearance resolveAppearance(std::optional<std::uint32_t> colorScheme,
                             std::optional<double> windowLightness);

// Asks the settings portal over the session bus (bounded wait), then looks at
// the application palette's window colour. REQUIRES: a QGuiApplication.
Appearance detectAppearance();

// The appearance every accessor resolves by. Starts light; the program sets
// the detected one at start, snapshot modes force one.
Appearance appearanceInEffect();
void setAppearance(Appearance appearance);

namespace Palette {

inline constexpr DynamicColor canvasColor{0x0C0C0B, 0xE9E9E5};
inline constexpr DynamicColor panelColor{0x171716, 0xFAFAF8};
inline constexpr DynamicColor recessedColor{0x121211, 0xF1F1EE};
inline constexpr DynamicColor inkColor{0xEDEDE8, 0x0F0F0E};
inline constexpr DynamicColor ink2Color{0xC3C3BC, 0x3A3A37};
inline constexpr DynamicColor muteColor{0x8C8C85, 0x74746D};
inline constexpr DynamicColor ruleColor{0x2E2E2B, 0xD4D4CE};
inline constexpr DynamicColor accentColor{0x7F8BFF, 0x2B3BFF};
inline constexpr DynamicColor recColor{0xFF5A4E, 0xE5372A};
inline constexpr DynamicColor onInkColor{0x0F0F0E, 0xFAFAF8};
inline constexpr DynamicColor tagEdgeColor{0x3C3C38, 0x0F0F0E};
inline constexpr DynamicColor accentSoftColor{0x1C1F45, 0xE4E6FF};
inline constexpr DynamicColor onAccentColor{0x0B0B12, 0xFFFFFF};
// Edges of key caps are drawn like the tag's edge.
inline constexpr DynamicColor keyEdgeColor = tagEdgeColor;

// Resolved by the appearance in effect.
inline QColor canvas() { return canvasColor.resolve(); }
inline QColor panel() { return panelColor.resolve(); }
inline QColor recessed() { return recessedColor.resolve(); }
inline QColor ink() { return inkColor.resolve(); }
inline QColor ink2() { return ink2Color.resolve(); }
inline QColor mute() { return muteColor.resolve(); }
inline QColor rule() { return ruleColor.resolve(); }
inline QColor accent() { return accentColor.resolve(); }
inline QColor rec() { return recColor.resolve(); }
inline QColor onInk() { return onInkColor.resolve(); }
inline QColor tagEdge() { return tagEdgeColor.resolve(); }
inline QColor accentSoft() { return accentSoftColor.resolve(); }
inline QColor onAccent() { return onAccentColor.resolve(); }
inline QColor keyEdge() { return keyEdgeColor.resolve(); }

}  // namespace Palette

}  // namespace quorvel
