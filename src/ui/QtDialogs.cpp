// Message boxes for the application's questions.
#include "ui/QtDialogs.h"

#include <QMessageBox>
#include <QPushButton>

namespace quorvel {

bool QtDialogs::ask(const std::string& message, const std::string& detail, const std::string& accept,
                    const std::string& reject) {
  QMessageBox box;
  box.setWindowTitle("Quorvel");
  box.setText(QString::fromStdString(message));
  box.setInformativeText(QString::fromStdString(detail));
  QPushButton* yes = box.addButton(QString::fromStdString(accept), QMessageBox::AcceptRole);
  box.addButton(QString::fromStdString(reject), QMessageBox::RejectRole);
  box.setDefaultButton(yes);
  box.exec();
  return box.clickedButton() == yes;
}

void QtDialogs::tell(const std::string& message, const std::string& detail) {
  QMessageBox box;
  box.setWindowTitle("Quorvel");
  box.setText(QString::fromStdString(message));
  box.setInformativeText(QString::fromStdString(detail));
  box.exec();
}

}  // namespace quorvel
