#include "ui/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>

using platform::PromptAnswer;
using platform::PromptKind;

PromptAnswer QtPrompter::Ask(const std::string& text, const std::string& caption, PromptKind kind,
                             PromptAnswer) {
  QMessageBox box(QApplication::activeWindow());
  box.setText(QString::fromStdString(text));
  box.setWindowTitle(QString::fromStdString(caption));
  switch (kind) {
    case PromptKind::Info:
      box.setIcon(QMessageBox::Information);
      break;
    case PromptKind::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case PromptKind::YesNo:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case PromptKind::Warning:
    case PromptKind::OkCancel:
      box.setIcon(QMessageBox::Warning);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return PromptAnswer::Yes;
    case QMessageBox::No:
      return PromptAnswer::No;
    case QMessageBox::Cancel:
      return PromptAnswer::Cancel;
    default:
      return PromptAnswer::Ok;
  }
}
