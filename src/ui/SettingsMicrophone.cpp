// The microphone card on the settings page.
#include "ui/SettingsMicrophone.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"

namespace quorvel::ui {

MicrophoneSettingsCard::MicrophoneSettingsCard(DashboardBridge& bridge, QWidget* parent)
    : PolledCard(std::chrono::seconds(2), parent), bridge_(bridge) {
  startLooking();
}

bool MicrophoneSettingsCard::readChanged() {
  auto sources = bridge_.microphones();
  auto chosen = bridge_.chosenMicrophone();
  if (sources == sources_ && chosen == chosen_) return false;
  sources_ = std::move(sources);
  chosen_ = std::move(chosen);
  return true;
}

void MicrophoneSettingsCard::refill() {
  clearLayout(rows_);
  auto* head = new QWidget(this);
  auto* column = new QVBoxLayout(head);
  column->setContentsMargins(22, 14, 20, 8);
  column->setSpacing(3);
  column->addWidget(label(QStringLiteral("Microphone"), 14.5, 600, Ink::ink, false, head));
  column->addWidget(label(QStringLiteral("Quorvel records from this input. A chosen microphone is used again "
                                         "whenever it's plugged in."),
                          13, 400, Ink::mute, true, head));
  const std::vector<MicSource> present = sources_.value_or(std::vector<MicSource>());
  const std::string notice = microphoneNotice(chosen_, present);
  if (!notice.empty()) {
    column->addSpacing(4);
    column->addWidget(label(qs(notice), 13, 500, Ink::rec, true, head));
  }
  if (!sources_) {
    column->addSpacing(4);
    column->addWidget(label(QStringLiteral("No sound server answered, so the inputs can't be listed."), 13, 500,
                            Ink::ink2, true, head));
  }
  rows_->addWidget(head);

  const bool chosenHere =
      chosen_ && std::any_of(present.begin(), present.end(), [&](const MicSource& s) { return s.name == chosen_->name; });
  addChoice(QStringLiteral("The system's default"), QStringLiteral("Whatever your sound settings pick"),
            !chosenHere, std::nullopt);
  for (const MicSource& source : present) {
    addChoice(qs(source.description), qs(source.name), chosen_ && chosen_->name == source.name, source);
  }
}

void MicrophoneSettingsCard::addChoice(const QString& title, const QString& detail, bool inUse,
                                       std::optional<MicSource> source) {
  rows_->addWidget(hairline(this));
  auto* row = new QWidget(this);
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(22, 10, 20, 10);
  line->setSpacing(12);
  auto* texts = new QVBoxLayout();
  texts->setSpacing(2);
  texts->addWidget(label(title, 14, inUse ? 600 : 500, Ink::ink, false, row));
  QLabel* small = monoLabel(detail, 11, Ink::mute, row);
  small->setTextInteractionFlags(Qt::TextSelectableByMouse);
  texts->addWidget(small);
  line->addLayout(texts, 1);
  if (inUse) {
    line->addWidget(new Dot(Palette::accent(), 8, row), 0, Qt::AlignVCenter);
    line->addWidget(label(QStringLiteral("In use"), 13, 600, Ink::accent, false, row), 0, Qt::AlignVCenter);
  } else {
    auto* use = new FlatButton(QStringLiteral("Use"), FlatButton::Kind::outline, row);
    use->setHeight(28);
    use->setAccessibleName(QStringLiteral("Use %1").arg(title));
    QObject::connect(use, &QAbstractButton::clicked, this, [this, source] {
      bridge_.chooseMicrophone(source);
      QTimer::singleShot(0, this, [this] { look(); });
    });
    line->addWidget(use, 0, Qt::AlignVCenter);
  }
  rows_->addWidget(row);
}

}  // namespace quorvel::ui
