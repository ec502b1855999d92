// Reading the keyboard layout with xkbcommon.
#include "platform/linux/KeyLayoutXkb.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace quorvel {
namespace {

constexpr unsigned firstEvdevOffset = 8;  // X and xkb key codes are evdev codes + 8

struct ContextFree {
  void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapFree {
  void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateFree {
  void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ConnectionFree {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

bool isKeypad(xkb_keysym_t sym) { return sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_9; }

int modifierCount(const KeyStroke& stroke) { return (stroke.shift ? 1 : 0) + (stroke.altGr ? 1 : 0); }

KeyLayout layoutFromNamesOrDefaults(xkb_context* context, const xkb_rule_names* names, std::string& source) {
  std::unique_ptr<xkb_keymap, KeymapFree> keymap(
      xkb_keymap_new_from_names(context, names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) {
    source = "no keymap could be compiled";
    return {};
  }
  return layoutFromKeymap(keymap.get(), 0);
}

}  // namespace

KeyLayout layoutFromKeymap(xkb_keymap* keymap, unsigned group) {
  KeyLayout layout;
  if (keymap == nullptr) return layout;
  if (group >= xkb_keymap_num_layouts(keymap)) group = 0;
  if (const char* name = xkb_keymap_layout_get_name(keymap, group)) layout.name = name;
  const xkb_mod_index_t shiftIndex = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
  // AltGr's level is reached through Mod5 on every standard layout; newer
  // xkbcommon also names it LevelThree.
  xkb_mod_mask_t levelThree = 0;
  for (const char* name : {"Mod5", "LevelThree"}) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    if (index != XKB_MOD_INVALID) levelThree |= xkb_mod_mask_t{1} << index;
  }
  const xkb_mod_mask_t shift = shiftIndex != XKB_MOD_INVALID ? xkb_mod_mask_t{1} << shiftIndex : 0;

  bool altGrFound = false;
  const xkb_keycode_t lowest = xkb_keymap_min_keycode(keymap);
  const xkb_keycode_t highest = xkb_keymap_max_keycode(keymap);
  for (xkb_keycode_t key = lowest; key <= highest && key != 0; ++key) {
    if (key < firstEvdevOffset) continue;
    const unsigned evdev = key - firstEvdevOffset;
    // Only keys the virtual keyboard can press.
    if (evdev < KEY_ESC || evdev > KEY_MICMUTE) continue;
    const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, group);
    for (xkb_level_index_t level = 0; level < levels; ++level) {
      const xkb_keysym_t* syms = nullptr;
      if (xkb_keymap_key_get_syms_by_level(keymap, key, group, level, &syms) != 1) continue;
      // Keymaps also give the third level to a key no keyboard has (LVL3):
      // right Alt is taken whenever it is one.
      if (syms[0] == XKB_KEY_ISO_Level3_Shift && level == 0 && (!altGrFound || evdev == KEY_RIGHTALT)) {
        layout.altGrKey = static_cast<unsigned short>(evdev);
        altGrFound = true;
      }
      if (isKeypad(syms[0])) continue;
      const char32_t point = xkb_keysym_to_utf32(syms[0]);
      if (point < 0x20 || point == 0x7F) continue;  // not a character (or a control key)
      xkb_mod_mask_t masks[8];
      const size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, group, level, masks, 8);
      for (size_t m = 0; m < count; ++m) {
        if ((masks[m] & ~(shift | levelThree)) != 0) continue;  // needs Caps Lock, Num Lock…
        KeyStroke stroke;
        stroke.code = static_cast<unsigned short>(evdev);
        stroke.shift = (masks[m] & shift) != 0;
        stroke.altGr = (masks[m] & levelThree) != 0;
        auto [found, added] = layout.keys.try_emplace(point, stroke);
        if (!added && modifierCount(stroke) < modifierCount(found->second)) found->second = stroke;
      }
    }
  }
  // Without a key for the third level, its characters can't be reached.
  if (!altGrFound) std::erase_if(layout.keys, [](const auto& entry) { return entry.second.altGr; });
  return layout;
}

KeyLayout layoutNamed(const std::string& layout, const std::string& variant) {
  std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
  if (!context) return {};
  xkb_rule_names names{};
  names.layout = layout.c_str();
  names.variant = variant.c_str();
  std::string ignored;
  return layoutFromNamesOrDefaults(context.get(), &names, ignored);
}

namespace {

// The keymap in use now and its active layout: from the X server when there
// is one (under Wayland, XWayland follows the compositor's keymap and its
// active group), else from the XKB_DEFAULT_* names, else xkbcommon's default
// (us). Empty when no keymap can be compiled; source says which it was.
std::unique_ptr<xkb_keymap, KeymapFree> currentKeymap(xkb_context* context, unsigned& group, std::string& source) {
  group = 0;
  std::unique_ptr<xcb_connection_t, ConnectionFree> connection(xcb_connect(nullptr, nullptr));
  if (connection && xcb_connection_has_error(connection.get()) == 0 &&
      xkb_x11_setup_xkb_extension(connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                  XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 1) {
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection.get());
    std::unique_ptr<xkb_keymap, KeymapFree> keymap(
        device >= 0 ? xkb_x11_keymap_new_from_device(context, connection.get(), device, XKB_KEYMAP_COMPILE_NO_FLAGS)
                    : nullptr);
    if (keymap) {
      std::unique_ptr<xkb_state, StateFree> state(xkb_x11_state_new_from_device(keymap.get(), connection.get(), device));
      group = state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
      source = "the X server's keymap";
      return keymap;
    }
  }
  source = "the default keymap (XKB_DEFAULT_LAYOUT or us)";
  std::unique_ptr<xkb_keymap, KeymapFree> keymap(
      xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) source = "no keymap could be compiled";
  return keymap;
}

}  // namespace

KeyLayout currentKeyLayout(std::string& source) {
  std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!context) {
    source = "no xkbcommon context";
    return {};
  }
  unsigned group = 0;
  auto keymap = currentKeymap(context.get(), group, source);
  return keymap ? layoutFromKeymap(keymap.get(), group) : KeyLayout{};
}

bool isLevelThreeShift(xkb_keymap* keymap, unsigned group, int evdevCode) {
  if (keymap == nullptr || evdevCode <= 0) return false;
  if (group >= xkb_keymap_num_layouts(keymap)) group = 0;
  const xkb_keycode_t key = static_cast<xkb_keycode_t>(evdevCode) + firstEvdevOffset;
  if (key < xkb_keymap_min_keycode(keymap) || key > xkb_keymap_max_keycode(keymap)) return false;
  const xkb_keysym_t* syms = nullptr;
  return xkb_keymap_key_get_syms_by_level(keymap, key, group, 0, &syms) == 1 && syms[0] == XKB_KEY_ISO_Level3_Shift;
}

bool keyIsAltGrNow(int evdevCode) {
  std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!context) return false;
  unsigned group = 0;
  std::string source;
  auto keymap = currentKeymap(context.get(), group, source);
  return isLevelThreeShift(keymap.get(), group, evdevCode);
}

bool keyIsAltGrIn(const std::string& layout, const std::string& variant, int evdevCode) {
  std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
  if (!context) return false;
  xkb_rule_names names{};
  names.layout = layout.c_str();
  names.variant = variant.c_str();
  std::unique_ptr<xkb_keymap, KeymapFree> keymap(
      xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  return isLevelThreeShift(keymap.get(), 0, evdevCode);
}

}  // namespace quorvel
