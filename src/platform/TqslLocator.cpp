#include "TqslLocator.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

TqslInstall SystemTqslLocator::locate() const
{
    TqslInstall result;
#ifdef Q_OS_WIN
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\TrustedQSL"), QSettings::NativeFormat);
    result.keyFound = !key.allKeys().isEmpty() || !key.childGroups().isEmpty();
    if (result.keyFound)
        result.folder = key.value(QStringLiteral("InstallPath")).toString();
#else
    const QString program = QStandardPaths::findExecutable(QStringLiteral("tqsl"));
    result.keyFound = !program.isEmpty();
    if (result.keyFound)
        result.folder = QFileInfo(program).absolutePath();
#endif
    return result;
}

QString SystemTqslLocator::programPath(const QString& folder) const
{
#ifdef Q_OS_WIN
    return folder + QStringLiteral("\\tqsl.exe");
#else
    return folder + QStringLiteral("/tqsl");
#endif
}
