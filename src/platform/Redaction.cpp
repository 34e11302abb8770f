#include "Redaction.h"

#include <QRegularExpression>
#include <QtGlobal>

namespace {
QtMessageHandler previousHandler = nullptr;

void maskingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString masked = MaskPasswords(message);
    if (previousHandler)
        previousHandler(type, context, masked);
}
} // namespace

QString MaskPasswords(const QString& text)
{
    if (!text.contains(QLatin1String("password="), Qt::CaseInsensitive))
        return text;
    static const QRegularExpression value(QStringLiteral("(password=)[^&#\\s'\"]*"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString masked = text;
    masked.replace(value, QStringLiteral("\\1********"));
    return masked;
}

void InstallPasswordMaskingMessageHandler()
{
    QtMessageHandler previous = qInstallMessageHandler(maskingHandler);
    if (previous != maskingHandler)
        previousHandler = previous;
}
