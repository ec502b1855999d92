// The speech model card on the settings page.
#include "ui/SettingsSpeech.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/DashboardPages.h"
#include "ui/Palette.h"

namespace quorvel::ui {

SpeechModelCard::SpeechModelCard(DashboardBridge& bridge, QWidget* parent)
    : PolledCard(std::chrono::milliseconds(500), parent), bridge_(bridge) {
  startLooking();
}

bool SpeechModelCard::readChanged() {
  auto models = bridge_.speechModels();
  const SpeechSwitch now = bridge_.speechSwitch();
  if (models == models_ && now == switch_) return false;
  models_ = std::move(models);
  switch_ = now;
  return true;
}

void SpeechModelCard::refill() {
  clearLayout(rows_);
  auto* head = new QWidget(this);
  auto* column = new QVBoxLayout(head);
  column->setContentsMargins(22, 14, 20, 8);
  column->setSpacing(3);
  column->addWidget(label(QStringLiteral("Speech model"), 14.5, 600, Ink::ink, false, head));
  column->addWidget(label(QStringLiteral("Turns your voice into words, on this computer. A bigger model is more "
                                         "exact and takes longer."),
                          13, 400, Ink::mute, true, head));
  if (switch_.phase == SpeechSwitch::Phase::failed) {
    column->addSpacing(4);
    column->addWidget(label(qs(switch_.message), 13, 500, Ink::rec, true, head));
  }
  rows_->addWidget(head);

  for (const SpeechModelRow& model : models_) {
    rows_->addWidget(hairline(this));
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(22, 10, 20, 10);
    line->setSpacing(12);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(2);
    texts->addWidget(label(qs(model.title), 14, model.chosen ? 600 : 500, Ink::ink, false, row));
    texts->addWidget(label(qs(model.note), 13, 400, Ink::mute, true, row));
    texts->addWidget(monoLabel(QStringLiteral("%1 · %2 licence%3")
                                   .arg(qs(modelSize(model.bytes)), qs(model.licence),
                                        model.present ? QStringLiteral(" · downloaded") : QString()),
                               11, Ink::mute, row));
    line->addLayout(texts, 1);
    const bool target = switch_.busy() && switch_.file == model.file;
    if (model.chosen && !target) {
      line->addWidget(new Dot(Palette::accent(), 8, row), 0, Qt::AlignVCenter);
      line->addWidget(label(QStringLiteral("In use"), 13, 600, Ink::accent, false, row), 0, Qt::AlignVCenter);
    } else if (target) {
      const bool downloading = switch_.phase == SpeechSwitch::Phase::downloading;
      auto* progress = new QVBoxLayout();
      progress->setSpacing(4);
      progress->addWidget(label(downloading ? QStringLiteral("Downloading… %1%").arg(switch_.percent)
                                            : QStringLiteral("Switching…"),
                                13, 600, Ink::ink2, false, row),
                          0, Qt::AlignRight);
      auto* bar = new ProgressLine(row);
      bar->setFixedWidth(120);
      bar->setFraction(downloading ? switch_.percent / 100.0 : 1.0);
      progress->addWidget(bar, 0, Qt::AlignRight);
      line->addLayout(progress);
    } else {
      if (model.present) {
        auto* remove = new FlatButton(QStringLiteral("Delete"), FlatButton::Kind::plain, row);
        remove->setHeight(28);
        remove->setAccessibleName(QStringLiteral("Delete %1").arg(qs(model.title)));
        const std::string file = model.file;
        QObject::connect(remove, &QAbstractButton::clicked, this, [this, file] {
          (void)bridge_.deleteSpeechModel(file);
          QTimer::singleShot(0, this, [this] { look(); });
        });
        line->addWidget(remove, 0, Qt::AlignVCenter);
      }
      auto* use = new FlatButton(model.present ? QStringLiteral("Use") : QStringLiteral("Download and use"),
                                 FlatButton::Kind::outline, row);
      use->setHeight(28);
      use->setEnabled(!switch_.busy());
      use->setAccessibleName(QStringLiteral("Use %1").arg(qs(model.title)));
      const std::string file = model.file;
      QObject::connect(use, &QAbstractButton::clicked, this, [this, file] {
        bridge_.chooseSpeechModel(file);
        QTimer::singleShot(0, this, [this] { look(); });
      });
      line->addWidget(use, 0, Qt::AlignVCenter);
    }
    rows_->addWidget(row);
  }
}

}  // namespace quorvel::ui
