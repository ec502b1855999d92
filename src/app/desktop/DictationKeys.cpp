// The dictation and note keys: choices, names and the stored binding.
#include "app/desktop/DictationKeys.h"

#include <array>
#include <utility>

#include "support/Settings.h"

namespace quorvel {
namespace {

// Names for keys a user might pick beyond the offered ones (Linux input codes).
constexpr std::pair<int, const char*> kNamedKeys[] = {
    {1, "Esc"},          {14, "Backspace"},     {15, "Tab"},           {28, "Enter"},
    {29, "left Ctrl"},   {42, "left Shift"},    {54, "right Shift"},   {56, "left Alt"},
    {57, "Space"},       {58, "Caps Lock"},     {59, "F1"},            {60, "F2"},
    {61, "F3"},          {62, "F4"},            {63, "F5"},            {64, "F6"},
    {65, "F7"},          {66, "F8"},            {67, "F9"},            {68, "F10"},
    {69, "Num Lock"},    {70, "Scroll Lock"},   {87, "F11"},           {88, "F12"},
    {97, "right Ctrl"},  {99, "Print Screen"},  {100, "right Alt"},    {102, "Home"},
    {104, "Page Up"},    {107, "End"},          {109, "Page Down"},    {110, "Insert"},
    {111, "Delete"},     {119, "Pause"},        {125, "left Super"},   {126, "right Super"},
    {127, "Menu"},       {183, "F13"},          {184, "F14"},          {185, "F15"},
    {186, "F16"},        {187, "F17"},          {188, "F18"},          {189, "F19"},
    {190, "F20"},        {0x113, "mouse back button"}, {0x114, "mouse forward button"},
};

static_assert(Settings::dictationKey.fallback == keycode::rightAlt);
static_assert(Settings::noteKey.fallback == keycode::rightSuper);

int storedCode(const UserDefaults& defaults, Settings::Integer setting) {
  const std::optional<long long> code = defaults.integerValue(setting.key);
  if (!code || *code < 0 || *code > keycode::highest || !isChoosableKey(static_cast<int>(*code))) {
    return static_cast<int>(setting.fallback);
  }
  return static_cast<int>(*code);
}

}  // namespace

const std::vector<KeyChoice>& keyChoices() {
  static const std::vector<KeyChoice> choices = {
      {keycode::rightAlt, "right Alt"},
      {keycode::rightCtrl, "right Ctrl"},
      {keycode::rightSuper, "right Super"},
      {keycode::menu, "Menu"},
  };
  return choices;
}

std::string keyName(int code) {
  for (const auto& [known, name] : kNamedKeys) {
    if (known == code) return name;
  }
  return "key " + std::to_string(code);
}

bool isChoosableKey(int code) {
  // Escape stays free: it cancels learning a key. Of the buttons, only the
  // mouse's side buttons (a left click must never dictate).
  if (code == keycode::mouseBack || code == keycode::mouseForward) return true;
  return code > keycode::escape && code < 0x100;
}

KeyBinding storedBinding(const UserDefaults& defaults) {
  KeyBinding binding;
  binding.dictation = storedCode(defaults, Settings::dictationKey);
  binding.note = storedCode(defaults, Settings::noteKey);
  if (binding.note == binding.dictation) {
    binding.note = binding.dictation == keycode::rightSuper ? keycode::menu : keycode::rightSuper;
  }
  return binding;
}

bool pickFirstDictationKey(UserDefaults& defaults, bool rightAltIsAltGr) {
  if (defaults.contains(Settings::dictationKey.key)) return false;
  const int code = rightAltIsAltGr ? keycode::rightCtrl : keycode::rightAlt;
  (void)defaults.update([&](Json& object) {
    object[Settings::dictationKey.key] = code;
    if (rightAltIsAltGr) object[Settings::dictationKeyAvoidsAltGr.key] = true;
  });
  return true;
}

bool storeKey(UserDefaults& defaults, ShellKey part, int code) {
  if (part == ShellKey::other || !isChoosableKey(code)) return false;
  const KeyBinding now = storedBinding(defaults);
  const int other = part == ShellKey::dictation ? now.note : now.dictation;
  if (code == other) return false;
  const Settings::Integer setting = part == ShellKey::dictation ? Settings::dictationKey : Settings::noteKey;
  return static_cast<bool>(defaults.set(setting.key, Json(code)));
}

std::string altGrChoiceNote(const UserDefaults& defaults) {
  if (!Settings::dictationKeyAvoidsAltGr.read(defaults)) return {};
  if (storedBinding(defaults).dictation != keycode::rightCtrl) return {};
  return "Right Alt is AltGr on your keyboard (it types @ and €), so Quorvel listens to right Ctrl. You can "
         "change the key in Settings.";
}

std::string dictationKeyName() { return keyName(storedBinding(UserDefaults()).dictation); }
std::string noteKeyName() { return keyName(storedBinding(UserDefaults()).note); }

}  // namespace quorvel
