// The Settings page: the keys, the microphone, the speech model, the switches
// stored in the user defaults, the shared servers and, in a build with an
// update feed, the update rows.
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

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
