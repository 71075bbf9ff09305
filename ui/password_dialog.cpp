#include "ui/password_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

std::optional<std::string> AskOtpPassword(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(kPasswordDialogName);
  dialog.setWindowTitle(QString::fromUtf8("请輸入密碼才能進行二次燒錄"));
  auto* field = new QLineEdit(&dialog);
  field->setProperty("controlId", 1137);
  field->setObjectName("control1137");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(field);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return field->text().toStdString();
}
