// A card that asks again on a timer and redraws on a change.
#include "ui/PolledCard.h"

#include <QVBoxLayout>

namespace quorvel::ui {

PolledCard::PolledCard(std::chrono::milliseconds interval, QWidget* parent) : Card(Card::Fill::panel, parent) {
  rows_ = new QVBoxLayout(this);
  rows_->setContentsMargins(0, 4, 0, 4);
  rows_->setSpacing(0);
  again_.setInterval(static_cast<int>(interval.count()));
  QObject::connect(&again_, &QTimer::timeout, this, [this] { look(); });
}

void PolledCard::startLooking() {
  again_.start();
  look();
}

void PolledCard::look() {
  const bool changed = readChanged();
  if (drawn_ && !changed) return;
  drawn_ = true;
  refill();
}

}  // namespace quorvel::ui
