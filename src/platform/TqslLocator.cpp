#include "TqslLocator.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

TqslInstall SystemTqslLocator::locate() const
{
    TqslInstall result;
#ifdef Q_OS_WIN
    // TQSL's Windows installer is a 32-bit one, whose key a 64-bit program finds only in the
    // registry's 32-bit view; the program's own view is read first.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::Registry32Format}) {
        QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\TrustedQSL"), format);
        if (key.allKeys().isEmpty() && key.childGroups().isEmpty())
            continue;
        result.keyFound = true;
        result.folder = key.value(QStringLiteral("InstallPath")).toString();
        break;
    }
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
    // Without an install folder there is no program (not one at the root of the disk).
    if (folder.isEmpty())
        return QString();
#ifdef Q_OS_WIN
    return folder + QStringLiteral("\\tqsl.exe");
#else
    return folder + QStringLiteral("/tqsl");
#endif
}
