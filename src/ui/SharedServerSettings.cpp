// The "Servers on another machine" section of the Settings page.
#include "ui/SharedServerSettings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "engine/RemoteServer.h"
#include "support/Settings.h"
#include "ui/Brand.h"
#include "ui/UiKit.h"

namespace quorvel::ui {
namespace {

struct ServerKeys {
  ServerKind kind;
  const char* title;
  Settings::Text address;
  Settings::Text keyFile;
  Settings::Text unencrypted;  // holds the address plain HTTP was allowed for
};

constexpr ServerKeys kServers[] = {
    {ServerKind::speech, "Speech server", Settings::speechServer, Settings::speechKeyFile,
     Settings::speechUnencrypted},
    {ServerKind::language, "Language model server", Settings::cleanupServer, Settings::cleanupKeyFile,
     Settings::cleanupUnencrypted},
};

QLineEdit* edit(const QString& placeholder, const std::string& value, QWidget* parent) {
  auto* line = new QLineEdit(qs(value), parent);
  line->setPlaceholderText(placeholder);
  line->setAccessibleName(placeholder);
  line->setFont(Brand::sans(13.5, 400));
  line->setStyleSheet(fieldStyleSheet());
  return line;
}

void store(Settings::Text setting, const std::string& value) {
  if (value.empty()) {
    (void)UserDefaults().remove(setting.key);
  } else {
    (void)UserDefaults().set(setting.key, Json(value));
  }
}

std::string trimmed(const QLineEdit* line) { return utf8(line->text().trimmed()); }

// A block of the section: its own column with the row margins of the page,
// headed by its title.
QVBoxLayout* titledColumn(QWidget* block, const QString& title, int spacing) {
  auto* column = new QVBoxLayout(block);
  column->setContentsMargins(22, 14, 20, 14);
  column->setSpacing(spacing);
  column->addWidget(label(title, 14.5, 600, Ink::ink, false, block));
  return column;
}

// One server: its fields, its toggle and the line that says how it stands.
QWidget* serverBlock(const ServerKeys& keys, QWidget* parent) {
  UserDefaults defaults;
  auto* block = new QWidget(parent);
  QVBoxLayout* column = titledColumn(block, QString::fromUtf8(keys.title), 8);
  auto* address = edit(QStringLiteral("https://gpu.example:8443 (empty: this computer)"),
                       keys.address.read(defaults), block);
  auto* keyFile = edit(QStringLiteral("Key file, readable only by you (chmod 600)"),
                       keys.keyFile.read(defaults), block);
  column->addWidget(address);
  column->addWidget(keyFile);
  auto* plainRow = new QHBoxLayout();
  plainRow->setSpacing(10);
  auto* plain = new Toggle(block);
  plain->setAccessibleName(QString::fromUtf8(keys.title) + QStringLiteral(": allow unencrypted"));
  plain->setChecked(!trimmed(address).empty() &&
                    keys.unencrypted.read(defaults) == trimmed(address));
  plainRow->addWidget(plain, 0, Qt::AlignVCenter);
  plainRow->addWidget(label(QStringLiteral("Allow unencrypted (plain http) for this address"), 13, 400,
                            Ink::mute, false, block),
                      1);
  column->addLayout(plainRow);
  auto* verdict = label(QString(), 12.5, 500, Ink::mute, true, block);
  column->addWidget(verdict);

  const auto check = [keys, address, keyFile, plain, verdict] {
    const std::string where = trimmed(address);
    if (where.empty()) {
      verdict->setText(QStringLiteral("Runs on this computer. Nothing is sent elsewhere."));
      setInk(verdict, inkColor(Ink::mute));
      return;
    }
    const RemoteChoice choice{where, trimmed(keyFile), plain->isChecked()};
    const auto server =
        RemoteServer::resolve(keys.kind, choice, Settings::caFile.read());
    if (const auto problem = server->problem()) {
      verdict->setText(qs(*problem));
      setInk(verdict, inkColor(Ink::rec));
    } else {
      verdict->setText(qs("Recordings or text go to " + server->hostForUser() +
                          " from the next start of Quorvel."));
      setInk(verdict, inkColor(Ink::accent));
    }
  };
  const auto save = [keys, address, keyFile, plain, check] {
    const std::string where = trimmed(address);
    store(keys.address, where);
    store(keys.keyFile, trimmed(keyFile));
    // The tick belongs to the address it was given for.
    store(keys.unencrypted, plain->isChecked() && !where.empty() ? where : "");
    check();
  };
  QObject::connect(address, &QLineEdit::editingFinished, block, [plain, address, keys, save] {
    // A new address loses the old address's tick.
    if (keys.unencrypted.read() != trimmed(address)) {
      const QSignalBlocker quiet(plain);
      plain->setChecked(false);
    }
    save();
  });
  QObject::connect(keyFile, &QLineEdit::editingFinished, block, save);
  QObject::connect(plain, &QAbstractButton::toggled, block, [save](bool) { save(); });
  check();
  return block;
}

}  // namespace

QWidget* sharedServerSettings(QWidget* parent) {
  auto* card = new Card(Card::Fill::panel, parent);
  auto* rows = new QVBoxLayout(card);
  rows->setContentsMargins(0, 4, 0, 4);
  rows->setSpacing(0);

  auto* intro = new QWidget(card);
  QVBoxLayout* introColumn = titledColumn(intro, QStringLiteral("Servers on another machine"), 3);
  introColumn->addWidget(label(QStringLiteral("For a team's GPU machine. When an address is set, your "
                                              "recordings (speech) or your words and the text around "
                                              "your cursor (language model) are sent there over HTTPS "
                                              "with your key, and Quorvel starts no model of that kind "
                                              "here."),
                               13, 400, Ink::mute, true, intro));
  rows->addWidget(intro);

  for (const ServerKeys& keys : kServers) {
    rows->addWidget(hairline(card));
    rows->addWidget(serverBlock(keys, card));
  }

  rows->addWidget(hairline(card));
  auto* caBlock = new QWidget(card);
  QVBoxLayout* caColumn = titledColumn(caBlock, QStringLiteral("Certificate authority"), 6);
  caColumn->addWidget(label(QStringLiteral("Only when your team's servers use their own; otherwise the "
                                           "system's certificates are trusted."),
                            13, 400, Ink::mute, true, caBlock));
  auto* ca = edit(QStringLiteral("/path/to/team-ca.pem"), Settings::caFile.read(),
                  caBlock);
  QObject::connect(ca, &QLineEdit::editingFinished, caBlock, [ca] { store(Settings::caFile, trimmed(ca)); });
  caColumn->addWidget(ca);
  rows->addWidget(caBlock);
  return card;
}

}  // namespace quorvel::ui
