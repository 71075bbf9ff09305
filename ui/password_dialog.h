#pragma once
// The OTP password box: one field (control 1137) that shows what is typed,
// OK and Cancel. The text on OK, nothing on Cancel.
#include <QWidget>
#include <optional>
#include <string>

inline constexpr char kPasswordDialogName[] = "otpPasswordDialog";

std::optional<std::string> AskOtpPassword(QWidget* parent);
