#pragma once

#include <QString>

// The text with the value of every "password=" parameter replaced by "********", so that a
// LoTW address can be shown or logged without the password it carries.
QString MaskPasswords(const QString& text);

// Routes Qt's own messages (warnings such as "Unable to detect a web browser to launch '...'")
// through MaskPasswords before they are printed.
void InstallPasswordMaskingMessageHandler();
