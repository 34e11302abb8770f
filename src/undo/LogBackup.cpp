#include "LogBackup.h"

#include "platform/Errors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

QString copyPath(const QString& logPath, const QString& dataFolder)
{
    const QString folder = QDir(dataFolder).filePath(QStringLiteral("backup"));
    if (!QDir().mkpath(folder))
        throw CFileException(QStringLiteral("The backup folder %1 cannot be made").arg(QDir::toNativeSeparators(folder)));
    const QFileInfo log(logPath);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path;
    for (int n = 0;; ++n) {
        path = QDir(folder).filePath(log.completeBaseName() + QLatin1Char('-') + stamp
                                     + (n ? QStringLiteral("-%1").arg(n) : QString()) + QLatin1Char('.') + log.suffix());
        if (!QFileInfo::exists(path))
            return path;
    }
}

void backUpSqlite(const QString& logPath, const QString& copy)
{
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    const auto fail = [&](sqlite3* db, const QString& what) {
        const QString text = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        sqlite3_close(source);
        sqlite3_close(target);
        QFile::remove(copy);
        throw CFileException(QStringLiteral("The log could not be copied to %1 (%2: %3)")
                                 .arg(QDir::toNativeSeparators(copy), what, text));
    };
    if (sqlite3_open_v2(logPath.toUtf8().constData(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(source, QStringLiteral("reading the log"));
    sqlite3_busy_timeout(source, 5000);
    if (sqlite3_open_v2(copy.toUtf8().constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        fail(target, QStringLiteral("writing the copy"));
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup)
        fail(target, QStringLiteral("starting the copy"));
    // Page by page, so that a program writing the log meanwhile is not kept out for long; a
    // write between two steps makes the backup start again, and the copy is consistent.
    int rc;
    do {
        rc = sqlite3_backup_step(backup, 1024);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        fail(target, QStringLiteral("copying"));
    sqlite3_close(source);
    if (sqlite3_close(target) != SQLITE_OK)
        fail(nullptr, QStringLiteral("closing the copy"));
}

} // namespace

QString BackUpLog(const QString& logPath, const QString& dataFolder)
{
    if (logPath.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive))
        throw CFileException(QStringLiteral("A log reached through an ODBC connection string cannot be copied here: "
                                            "copy it with the tools of its database"));
    const QFileInfo log(logPath);
    if (!log.isFile())
        throw CFileException(QStringLiteral("The log %1 does not exist").arg(QDir::toNativeSeparators(logPath)));
    const QString suffix = log.suffix().toLower();
    if (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) {
        // Access keeps a lock file beside a database that is open.
        const QString lockFile = log.absolutePath() + QLatin1Char('/') + log.completeBaseName()
                                 + (suffix == QLatin1String("mdb") ? QStringLiteral(".ldb") : QStringLiteral(".laccdb"));
        if (QFileInfo::exists(lockFile))
            throw CFileException(QStringLiteral("The log %1 is in use (DXbase or another program has it open): close it "
                                                "and back it up again")
                                     .arg(QDir::toNativeSeparators(logPath)));
        const QString copy = copyPath(logPath, dataFolder);
        QFile file(logPath);
        if (!file.copy(copy))
            throw CFileException(QStringLiteral("The log could not be copied to %1: %2")
                                     .arg(QDir::toNativeSeparators(copy), file.errorString()));
        return copy;
    }
    const QString copy = copyPath(logPath, dataFolder);
    backUpSqlite(logPath, copy);
    return copy;
}
