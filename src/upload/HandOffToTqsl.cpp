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
    if (stationFile.isEmpty() || !QFileInfo::exists(stationFile))
        return names;
    for (const StationLocation& known : ReadStationLocations(stationFile, 100000)) {
        const QString name = known.name.trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

QString TqslKeysFolder(const QString& stationFile)
{
    if (stationFile.isEmpty())
        return QString();
    return QFileInfo(stationFile).dir().filePath(QStringLiteral("keys"));
}
