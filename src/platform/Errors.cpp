#include "Errors.h"

#include <QFileDevice>
#include <cstring>

QString FileErrorText(const QFileDevice& file, int savedErrno)
{
    const QString text = file.errorString();
    if (!text.isEmpty() && text != QLatin1String("Unknown error"))
        return text;
    if (savedErrno != 0)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QStringLiteral("the file could not be written");
}

QString WithoutFinalStop(const QString& text)
{
    QString cut = text;
    while (cut.endsWith(QLatin1Char('.')))
        cut.chop(1);
    return cut;
}
