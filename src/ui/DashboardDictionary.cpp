// The Dictionary page: the personal words, added, respelled and removed in
// place; and the Settings page: switches stored in the user defaults.
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>

#include "app/desktop/DictationKeys.h"
#include "app/launch/OpenAtLogin.h"
#include "engine/ConfigRules.h"
#include "support/Settings.h"
#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"
#include "ui/SettingsKeys.h"
#include "ui/SettingsMicrophone.h"
#include "ui/SettingsSpeech.h"
#include "ui/SharedServerSettings.h"

namespace quorvel::ui {
namespace {

QLineEdit* field(const QString& placeholder, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setPlaceholderText(placeholder);
  edit->setFont(Brand::sans(14, 400));
  edit->setAccessibleName(placeholder);
  return edit;
}

struct SwitchRow {
  Settings::Flag setting;
  const char* title;
  const char* explanation;
};

constexpr SwitchRow kSwitchRows[] = {
    {Settings::showTag, "Show the status tag", "Blue lines that jump with your voice, then the words as they're typed"},
    {Settings::tagAtTop, "Put the tag at the top", "Instead of the bottom of the screen"},
    {Settings::startSound, "Play a sound", "A soft tick when Quorvel starts listening"},
    {Settings::fitText, "Fit into nearby text",
     "Quorvel looks at a few characters next to your cursor to get spacing and capitals right. Stays on this "
     "computer."},
    {Settings::saveAudio, "Save recordings", "Keep audio on this computer to help tune Quorvel"},
};

// A row with a title, an explanation and a control on the right.
QWidget* settingRow(const QString& title, const QString& explanation, QWidget* control, QWidget* parent) {
  auto* widget = new QWidget(parent);
  auto* line = new QHBoxLayout(widget);
  line->setContentsMargins(22, 14, 20, 14);
  line->setSpacing(16);
  auto* texts = new QVBoxLayout();
  texts->setSpacing(3);
  texts->addWidget(label(title, 14.5, 600, Ink::ink, false, widget));
  texts->addWidget(label(explanation, 13, 400, Ink::mute, true, widget));
  line->addLayout(texts, 1);
  control->setParent(widget);
  line->addWidget(control, 0, Qt::AlignVCenter);
  return widget;
}

// "Clean while I talk": the fast finish of long dictations. On stands for
// the automatic choice (cleaned while talking wherever the model writes
// slowly enough for it to help); off always cleans the whole text again.
QWidget* cleanWhileTalkingRow(QWidget* parent) {
  auto* toggle = new Toggle();
  toggle->setChecked(cleanWhileTalkingShown(UserDefaults().value(Settings::fastFinish.key)));
  toggle->setAccessibleName(QStringLiteral("Clean while I talk"));
  QObject::connect(toggle, &QAbstractButton::toggled, toggle, [](bool on) {
    (void)UserDefaults().set(Settings::fastFinish.key, cleanWhileTalkingStored(on));
  });
  return settingRow(QStringLiteral("Clean while I talk"),
                    QStringLiteral("Sentences are tidied as you speak, so long dictations arrive sooner after you let go"),
                    toggle, parent);
}

}  // namespace

// --- DictionaryPage ------------------------------------------------------------------

DictionaryPage::DictionaryPage(DashboardModel& model, QWidget* parent) : DashboardPage(model, parent) {}

void DictionaryPage::rebuild() {
  const bool focused = add_ != nullptr && add_->hasFocus();
  clearBody();
  QLabel* count = monoLabel(QStringLiteral("%1 %2")
                                .arg(model_.words().size())
                                .arg(model_.words().size() == 1 ? QStringLiteral("word") : QStringLiteral("words")),
                            12, Ink::mute);
  addHeading(QStringLiteral("Dictionary"),
             QStringLiteral("Names and terms Quorvel spells your way. When you fix a name Quorvel got wrong, it's "
                            "added here by itself."),
             count);
  auto* addRow = new QWidget(widget());
  auto* addLine = new QHBoxLayout(addRow);
  addLine->setContentsMargins(0, 0, 0, 0);
  addLine->setSpacing(10);
  add_ = field(QStringLiteral("Add a name, product or term"), addRow);
  add_->setText(qs(model_.newWord));
  auto* addButton = new FlatButton(QStringLiteral("Add"), FlatButton::Kind::solid, addRow);
  addButton->setHeight(36);
  addLine->addWidget(add_, 1);
  addLine->addWidget(addButton);
  auto submit = [this] {
    model_.newWord = utf8(add_->text());
    model_.addWord();  // the model redraws the page when something was added
  };
  QObject::connect(add_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.newWord = utf8(text); });
  QObject::connect(add_, &QLineEdit::returnPressed, this, submit);
  QObject::connect(addButton, &QAbstractButton::clicked, this, submit);
  body()->addWidget(addRow);
  if (focused) add_->setFocus();

  list_ = new QWidget(widget());
  auto* column = new QVBoxLayout(list_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  body()->addWidget(list_);
  body()->addStretch(1);
  if (limit_ == 0) limit_ = kRowsPerStep;
  rebuildList();
}

void DictionaryPage::rebuildList() {
  auto* column = static_cast<QVBoxLayout*>(list_->layout());
  clearLayout(column);
  const auto& words = model_.words();
  if (words.empty()) {
    column->addWidget(label(QStringLiteral("No words yet. Add a name above, or fix one Quorvel got wrong and it "
                                           "shows up here."),
                            14, 400, Ink::mute, true, list_));
    return;
  }
  auto* panel = new Card(Card::Fill::panel, list_);
  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(0, 4, 0, 4);
  rows->setSpacing(0);
  const int shown = std::min<int>(limit_, static_cast<int>(words.size()));
  for (int i = 0; i < shown; ++i) {
    const std::string word = words[static_cast<size_t>(i)];
    if (i > 0) rows->addWidget(hairline(panel));
    auto* item = new QWidget(panel);
    auto* line = new QHBoxLayout(item);
    line->setContentsMargins(20, 8, 12, 8);
    line->setSpacing(8);
    if (model_.editing && *model_.editing == word) {
      QLineEdit* edit = field(QStringLiteral("Spell it the way Quorvel should write it"), item);
      edit->setText(qs(model_.editText));
      auto* save = new FlatButton(QStringLiteral("Save"), FlatButton::Kind::solid, item);
      auto* cancel = new FlatButton(QStringLiteral("Cancel"), FlatButton::Kind::plain, item);
      line->addWidget(edit, 1);
      line->addWidget(save);
      line->addWidget(cancel);
      auto commit = [this, edit] {
        model_.editText = utf8(edit->text());
        model_.saveEdit();
      };
      QObject::connect(edit, &QLineEdit::returnPressed, this, commit);
      QObject::connect(save, &QAbstractButton::clicked, this, commit);
      QObject::connect(cancel, &QAbstractButton::clicked, this, [this] {
        model_.cancelEdit();
        rebuildList();
      });
      auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), edit);
      escape->setContext(Qt::WidgetShortcut);
      QObject::connect(escape, &QShortcut::activated, this, [this] {
        model_.cancelEdit();
        QTimer::singleShot(0, this, [this] { rebuildList(); });
      });
      QTimer::singleShot(0, edit, [edit] {
        edit->setFocus();
        edit->selectAll();
      });
    } else {
      line->addWidget(label(qs(word), 14.5, 500, Ink::ink, false, item), 1);
      auto* pencil = new IconButton(IconButton::Glyph::pencil, QStringLiteral("Edit the spelling"), item);
      auto* remove = new IconButton(IconButton::Glyph::remove, QStringLiteral("Remove"), item);
      line->addWidget(pencil);
      line->addWidget(remove);
      QObject::connect(pencil, &QAbstractButton::clicked, this, [this, word] {
        model_.startEdit(word);
        QTimer::singleShot(0, this, [this] { rebuildList(); });
      });
      QObject::connect(remove, &QAbstractButton::clicked, this, [this, word] {
        QTimer::singleShot(0, this, [this, word] { model_.removeWord(word); });
      });
    }
    rows->addWidget(item);
  }
  column->addWidget(panel);
  if (shown < static_cast<int>(words.size())) {
    auto* more = new FlatButton(QStringLiteral("Show more (%1 of %2 shown)").arg(shown).arg(words.size()),
                                FlatButton::Kind::outline, list_);
    QObject::connect(more, &QAbstractButton::clicked, this, [this] {
      limit_ += kRowsPerStep;
      QTimer::singleShot(0, this, [this] { rebuildList(); });
    });
    column->addWidget(more, 0, Qt::AlignHCenter);
  }
}

// --- SettingsPage --------------------------------------------------------------------

// Only a build with an update feed has these.
void SettingsPage::addUpdateRows(DashboardBridge& bridge) {
  auto* updates = new Card(Card::Fill::panel, widget());
  auto* updateRows = new QVBoxLayout(updates);
  updateRows->setContentsMargins(0, 4, 0, 4);
  updateRows->setSpacing(0);
  auto* automatic = new Toggle();
  automatic->setChecked(bridge.automaticUpdates ? bridge.automaticUpdates() : false);
  automatic->setAccessibleName(QStringLiteral("Check for updates automatically"));
  QObject::connect(automatic, &QAbstractButton::toggled, this, [&bridge](bool on) {
    if (bridge.setAutomaticUpdates) bridge.setAutomaticUpdates(on);
  });
  updateRows->addWidget(settingRow(QStringLiteral("Check for updates automatically"),
                                   QStringLiteral("Once a day. You choose when to install."), automatic, updates));
  updateRows->addWidget(hairline(updates));
  auto* check = new FlatButton(QStringLiteral("Check for Updates"), FlatButton::Kind::outline);
  QObject::connect(check, &QAbstractButton::clicked, this, [&bridge] {
    if (bridge.checkForUpdates) bridge.checkForUpdates();
  });
  updateRows->addWidget(settingRow(QStringLiteral("Look for a new version now"),
                                   QStringLiteral("Quorvel asks its update feed and tells you what's new."), check,
                                   updates));
  body()->addWidget(updates);
}

SettingsPage::SettingsPage(DashboardModel& model, QWidget* parent) : DashboardPage(model, parent) {}

void SettingsPage::rebuild() {
  clearBody();
  addHeading(QStringLiteral("Settings"),
             QStringLiteral("Hold the %1 key to dictate, in any app.").arg(qs(dictationKeyName())));
  body()->addWidget(new KeySettingsCard(model_.bridge(), widget()));
  body()->addWidget(new MicrophoneSettingsCard(model_.bridge(), widget()));
  body()->addWidget(new SpeechModelCard(model_.bridge(), widget()));
  UserDefaults defaults;
  auto* panel = new Card(Card::Fill::panel, widget());
  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(0, 4, 0, 4);
  rows->setSpacing(0);
  bool first = true;
  for (const SwitchRow& row : kSwitchRows) {
    if (!first) rows->addWidget(hairline(panel));
    first = false;
    auto* toggle = new Toggle();
    toggle->setChecked(row.setting.read(defaults));
    toggle->setAccessibleName(QString::fromUtf8(row.title));
    const Settings::Flag setting = row.setting;
    QObject::connect(toggle, &QAbstractButton::toggled, this, [setting](bool on) { (void)setting.write(on); });
    rows->addWidget(settingRow(QString::fromUtf8(row.title), QString::fromUtf8(row.explanation), toggle, panel));
  }
  rows->addWidget(hairline(panel));
  rows->addWidget(cleanWhileTalkingRow(panel));
  DashboardBridge& bridge = model_.bridge();
  rows->addWidget(hairline(panel));
  auto* atLogin = new Toggle();
  atLogin->setChecked(bridge.openAtLogin ? bridge.openAtLogin() : false);
  const QString atLoginTitle = QString::fromUtf8(OpenAtLogin::kTitle.data(), OpenAtLogin::kTitle.size());
  atLogin->setAccessibleName(atLoginTitle);
  QObject::connect(atLogin, &QAbstractButton::toggled, this, [&bridge, atLogin](bool on) {
    if (!bridge.setOpenAtLogin || bridge.setOpenAtLogin(on)) return;
    const QSignalBlocker quiet(atLogin);  // the entry could not be changed: show what holds
    atLogin->setChecked(!on);
  });
  rows->addWidget(settingRow(atLoginTitle,
                             QString::fromUtf8(OpenAtLogin::kDetail.data(), OpenAtLogin::kDetail.size()),
                             atLogin, panel));
  body()->addWidget(panel);
  body()->addWidget(sharedServerSettings(widget()));

  if (bridge.updatesAvailable && bridge.updatesAvailable()) addUpdateRows(bridge);
  body()->addStretch(1);
}

}  // namespace quorvel::ui
