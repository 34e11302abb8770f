#include "HandOffToTqsl.h"

#include "options/StationDiscovery.h"

#include <QDir>
#include <QFileInfo>

QString UploadPageAddress(const Choices& choices)
{
    // Login and the already encoded password go in as they stand.
    return QStringLiteral("https://lotw.arrl.org/lotwuser/upload?login=") + choices.CurrentLoginCall
           + QStringLiteral("&password=") + choices.CurrentPassword;
}

QString SignedFilePath(const QString& uploadAdifPath)
{
    const QFileInfo adif(uploadAdifPath);
    const QString name = adif.suffix().isEmpty() ? adif.fileName() : adif.completeBaseName();
    return QDir::cleanPath(adif.path() + QLatin1Char('/') + name + QStringLiteral(".tq8"));
}

QStringList DefinedLocations(const QString& stationFile)
{
    QStringList names;
    if (stationFile.isEmpty() || !QFileInfo(stationFile).isFile())
        return names;
    for (const StationLocation& known : ReadStationLocations(stationFile, 100000)) {
        const QString name = known.name.trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

QString StationFileProblem(const QString& stationFile)
{
    const QFileInfo info(stationFile);
    if (stationFile.isEmpty() || !info.exists() || info.isFile())
        return QString();
    return QStringLiteral("TQSL's station file %1 is %2, not a file")
        .arg(QDir::toNativeSeparators(stationFile),
             info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a named pipe, a socket or a device"));
}

QString TqslKeysFolder(const QString& stationFile)
{
    if (stationFile.isEmpty())
        return QString();
    return QFileInfo(stationFile).dir().filePath(QStringLiteral("keys"));
}
