// The keys card on the settings page.
#include "ui/SettingsKeys.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include "app/desktop/DictationKeys.h"
#include "support/Settings.h"
#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"

namespace quorvel::ui {
namespace {

FlatButton* choiceButton(const QString& text, bool chosen, bool enabled, QWidget* parent) {
  auto* button = new FlatButton(text, chosen ? FlatButton::Kind::solid : FlatButton::Kind::outline, parent);
  button->setHeight(30);
  button->setEnabled(enabled);
  // Keys pressed to teach the card must not click its buttons.
  button->setFocusPolicy(Qt::NoFocus);
  button->setAccessibleName(text);
  return button;
}

}  // namespace

KeySettingsCard::KeySettingsCard(DashboardBridge& bridge, QWidget* parent)
    : Card(Card::Fill::panel, parent), bridge_(bridge) {
  rows_ = new QVBoxLayout(this);
  rows_->setContentsMargins(0, 4, 0, 4);
  rows_->setSpacing(0);
  refill();
}

void KeySettingsCard::refill() {
  clearLayout(rows_);
  addKeyRow(ShellKey::dictation);
  rows_->addWidget(hairline(this));
  addKeyRow(ShellKey::note);
  if (!notice_.isEmpty()) {
    auto* notice = label(notice_, 13, 500, Ink::ink2, true, this);
    notice->setContentsMargins(22, 0, 20, 12);
    rows_->addWidget(notice);
  }
  rows_->addWidget(hairline(this));

  // Tap for hands-free.
  auto* row = new QWidget(this);
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(22, 14, 20, 14);
  line->setSpacing(16);
  auto* texts = new QVBoxLayout();
  texts->setSpacing(3);
  const QString dictationKey = qs(keyName(bridge_.keys().dictation));
  texts->addWidget(label(QStringLiteral("Tap to talk hands-free"), 14.5, 600, Ink::ink, false, row));
  texts->addWidget(label(QStringLiteral("A quick tap of %1 starts listening until the next tap. Holding works as "
                                        "always.")
                             .arg(dictationKey),
                         13, 400, Ink::mute, true, row));
  line->addLayout(texts, 1);
  auto* toggle = new Toggle(row);
  toggle->setChecked(Settings::tapForHandsFree.read());
  toggle->setAccessibleName(QStringLiteral("Tap to talk hands-free"));
  QObject::connect(toggle, &QAbstractButton::toggled, this,
                   [](bool on) { (void)Settings::tapForHandsFree.write(on); });
  line->addWidget(toggle, 0, Qt::AlignVCenter);
  rows_->addWidget(row);
}

void KeySettingsCard::addKeyRow(ShellKey part) {
  const KeyBinding keys = bridge_.keys();
  const int chosen = keys.codeOf(part);
  const int other = part == ShellKey::dictation ? keys.note : keys.dictation;
  const bool dictation = part == ShellKey::dictation;

  auto* row = new QWidget(this);
  auto* column = new QVBoxLayout(row);
  column->setContentsMargins(22, 14, 20, 14);
  column->setSpacing(3);
  column->addWidget(label(dictation ? QStringLiteral("Dictation key") : QStringLiteral("Note key"), 14.5, 600,
                          Ink::ink, false, row));
  column->addWidget(label(dictation ? QStringLiteral("Hold it and talk; let go and the text is typed.")
                                    : QStringLiteral("Tap it for a Brainstorm note; tap again to close it."),
                          13, 400, Ink::mute, true, row));
  if (dictation && bridge_.keyIsAltGr(chosen)) {
    column->addWidget(label(QStringLiteral("%1 is AltGr on your keyboard. A character typed with it cancels the "
                                           "recording, and the start sound waits a moment. Right Ctrl avoids "
                                           "both.")
                                .arg(qs(keyName(chosen))),
                            13, 500, Ink::ink2, true, row));
  }
  column->addSpacing(8);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(8);
  bool offered = false;
  for (const KeyChoice& choice : keyChoices()) {
    offered = offered || choice.code == chosen;
    auto* button = choiceButton(QString::fromUtf8(choice.name), choice.code == chosen, choice.code != other, row);
    const int code = choice.code;
    QObject::connect(button, &QAbstractButton::clicked, this, [this, part, code] {
      notice_.clear();
      learning_ = ShellKey::other;
      (void)bridge_.chooseKey(part, code);
      QTimer::singleShot(0, this, [this] { refill(); });
    });
    buttons->addWidget(button);
  }
  const QString learnTitle = learning_ == part ? QStringLiteral("Press a key… (Esc: cancel)")
                             : offered          ? QStringLiteral("A key I press…")
                                                : qs(keyName(chosen));
  auto* learnButton = choiceButton(learnTitle, !offered || learning_ == part, true, row);
  learnButton->setToolTip(QStringLiteral("Press any key or mouse side button to use it"));
  QObject::connect(learnButton, &QAbstractButton::clicked, this, [this, part] { learn(part); });
  buttons->addWidget(learnButton);
  buttons->addStretch(1);
  column->addLayout(buttons);
  rows_->addWidget(row);
}

void KeySettingsCard::learn(ShellKey part) {
  learning_ = part;
  notice_.clear();
  QTimer::singleShot(0, this, [this] { refill(); });
  QPointer<KeySettingsCard> self(this);
  bridge_.learnKey([self, part](int code) {
    if (!self) return;
    self->learning_ = ShellKey::other;
    if (code != 0 && !self->bridge_.chooseKey(part, code)) {
      const KeyBinding keys = self->bridge_.keys();
      const bool taken = code == (part == ShellKey::dictation ? keys.note : keys.dictation);
      self->notice_ = taken ? QStringLiteral("%1 is already the %2 key. Pick another.")
                                  .arg(qs(keyName(code)),
                                       part == ShellKey::dictation ? QStringLiteral("note") : QStringLiteral("dictation"))
                            : QStringLiteral("%1 can't be used. Pick another key.").arg(qs(keyName(code)));
    }
    QTimer::singleShot(0, self, [self] {
      if (self) self->refill();
    });
  });
}

}  // namespace quorvel::ui
