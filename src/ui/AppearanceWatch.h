// Follows the desktop's light or dark preference while the program runs: when
// the settings portal announces a new colour scheme, the appearance in effect
// changes and every window is drawn again in the new colours.
//
// Threading: main thread only. Create after the QApplication, at most once.
#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QString>

namespace quorvel {

class AppearanceWatch final : public QObject {
  Q_OBJECT

 public:
  explicit AppearanceWatch(QObject* parent = nullptr);

 private slots:
  void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

}  // namespace quorvel
