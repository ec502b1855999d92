// The Settings page's section for model servers on another machine: for the
// speech server and the language model server an address, the file that
// holds the key, and "allow unencrypted" for that address; and a certificate
// authority file. Each change is checked at once (no traffic) and saved in
// the user defaults; the key itself is never read into the settings.
// Main thread only.
#pragma once

class QWidget;

namespace quorvel::ui {

QWidget* sharedServerSettings(QWidget* parent);

}  // namespace quorvel::ui
