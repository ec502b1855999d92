// The desktop's sound settings, whichever desktop this is.
#include "ui/SoundSettings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace quorvel {

bool openSoundSettings() {
  // The desktop's own settings first when we know which desktop this is;
  // pavucontrol works everywhere PulseAudio or PipeWire runs.
  const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
  const QList<QStringList> gnome{{"gnome-control-center", "sound"}};
  const QList<QStringList> kde{{"systemsettings", "kcm_pulseaudio"}, {"kcmshell6", "kcm_pulseaudio"},
                               {"kcmshell5", "kcm_pulseaudio"}};
  const QList<QStringList> any{{"pavucontrol", "--tab=4"}};  // its input devices
  QList<QStringList> candidates;
  if (desktop.contains("gnome") || desktop.contains("unity") || desktop.contains("budgie")) candidates += gnome;
  if (desktop.contains("kde")) candidates += kde;
  candidates += any;
  candidates += gnome;
  candidates += kde;
  for (const QStringList& command : candidates) {
    const QString program = QStandardPaths::findExecutable(command.front());
    if (program.isEmpty()) continue;
    if (QProcess::startDetached(program, command.mid(1))) return true;
  }
  return false;
}

}  // namespace quorvel
