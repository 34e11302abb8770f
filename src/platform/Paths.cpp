#include "Paths.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

namespace {
QString envPath(const char* name)
{
    return qEnvironmentVariable(name);
}

// A folder given from outside (environment, command line), tidied and with this platform's
// separators (the program's own paths are joined with "\\" on Windows).
QString tidyFolder(const QString& value)
{
    return QDir::toNativeSeparators(QDir::cleanPath(value));
}
}

SystemPaths::SystemPaths(QString dataFolder) : m_dataFolder(std::move(dataFolder)) {}

QString SystemPaths::dataFolder() const
{
    if (!m_dataFolder.isEmpty())
        return tidyFolder(m_dataFolder);
    const QString overridden = envPath("QUORVANE_DATA_DIR");
    if (!overridden.isEmpty())
        return tidyFolder(overridden);
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\quorvane260");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/quorvane260");
#endif
}

QString SystemPaths::windowsDirectory() const
{
    const QString overridden = envPath("QUORVANE_WINDOWS_DIR");
    if (!overridden.isEmpty())
        return tidyFolder(overridden);
#ifdef Q_OS_WIN
    QString root = envPath("SystemRoot");
    if (root.isEmpty())
        root = envPath("windir");
    return QDir::toNativeSeparators(root);
#else
    const QString prefix = envPath("WINEPREFIX");
    if (!prefix.isEmpty())
        return QDir::cleanPath(prefix) + QStringLiteral("/drive_c/windows");
    return QDir::homePath() + QStringLiteral("/.wine/drive_c/windows");
#endif
}

QString SystemPaths::tqslStationFile() const
{
#ifdef Q_OS_WIN
    // The user's roaming application data folder; without it the caller falls back on the
    // profile's usual place.
    const QString roaming = envPath("APPDATA");
    if (roaming.isEmpty())
        return QString();
    return QDir::toNativeSeparators(QDir::cleanPath(roaming) + QStringLiteral("/TrustedQSL/station_data"));
#else
    return QDir::homePath() + QStringLiteral("/.tqsl/station_data");
#endif
}

QString SystemPaths::userName() const
{
    QString name = envPath("USERNAME");
    if (name.isEmpty())
        name = envPath("USER");
    return name;
}

QString SystemPaths::osVersionText() const
{
    return QSysInfo::prettyProductName();
}

QString SystemPaths::join(const QString& folder, const QString& name) const
{
#ifdef Q_OS_WIN
    const QChar sep = QLatin1Char('\\');
#else
    const QChar sep = QLatin1Char('/');
#endif
    if (folder.isEmpty() || folder.endsWith(sep))
        return folder + name;
    return folder + sep + name;
}
