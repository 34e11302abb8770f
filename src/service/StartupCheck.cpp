#include "StartupCheck.h"

#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/Strings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <optional>

LogCheck CheckLogAtStart(const QString& logPath, EventMonitor* monitor)
{
    // The engine is chosen by the log's path.
    const QString missing = CheckEngineAvailable(logPath);
    if (!missing.isEmpty())
        return {LogCheck::Result::NoEngine, missing};
    try {
        std::shared_ptr<Connection> db = Connection::open(logPath);
        std::optional<WaitNoticeScope> notice;
        if (monitor)
            notice.emplace(*db, WaitNotice(*monitor, false, logPath));
        if (!CheckLogVersion(*db))
            return {LogCheck::Result::WrongVersion, Strings::text(Strings::VersionError)};
    } catch (const CDbException& e) {
        // Another program holding the log is said as such, whether the open or the version's
        // read waited for it; any other failure in the engine's words.
        if (e.busy())
            return {LogCheck::Result::Busy, QStringLiteral("%1: waited %2 seconds for it, then gave up.")
                                                .arg(WithoutFinalStop(e.description()))
                                                .arg(Connection::kBusyWaitMs / 1000)};
        return {LogCheck::Result::Failed, e.description()};
    }
    return {};
}

QString DataFolderProblem(const QString& dataFolder, const QString& optionsFile)
{
    const QFileInfo folder(dataFolder);
    if (folder.exists() && !folder.isDir())
        return QStringLiteral("the data folder %1 is a file, not a folder: give a folder with --data-dir. Nothing was "
                              "changed")
            .arg(QDir::toNativeSeparators(dataFolder));
    if (!folder.isDir())
        return QStringLiteral("the data folder %1 does not exist").arg(dataFolder);
    if (!QFile::exists(optionsFile))
        return QStringLiteral("no options in %1 (run the program once, or 'quorvane-cli demo')").arg(dataFolder);
    return QString();
}
