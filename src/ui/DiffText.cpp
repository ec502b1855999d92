// Rich text of the word diff.
#include "ui/DiffText.h"

#include "app/history/StrikeDiff.h"
#include "ui/Palette.h"
#include "ui/UiKit.h"

namespace quorvel::ui {

QString escapedText(std::string_view text) {
  QString escaped = qs(std::string(text)).toHtmlEscaped();
  escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  return escaped;
}

QString diffText(std::string_view raw, std::string_view typed) {
  QColor struck = Palette::accent();
  struck.setAlphaF(0.8);
  const QString style = QStringLiteral("color: rgba(%1,%2,%3,0.8); text-decoration: line-through;")
                            .arg(struck.red())
                            .arg(struck.green())
                            .arg(struck.blue());
  QString html;
  bool first = true;
  for (const StruckWord& word : strikeDiff(saidText(raw, typed), typed)) {
    if (!first) html += QLatin1Char(' ');
    first = false;
    const QString text = qs(word.word).toHtmlEscaped();
    html += word.cut ? QStringLiteral("<span style=\"%1\">%2</span>").arg(style, text) : text;
  }
  return html;
}

}  // namespace quorvel::ui
