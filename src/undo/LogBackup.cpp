#include "LogBackup.h"

#include "logdb/Connection.h"
#include "logdb/SqliteBusyWait.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// A copy is written under its name with this added, and renamed when whole.
const char kPartSuffix[] = ".part";

QString backupFolder(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("backup"));
}

QString copyPath(const QString& logPath, const QString& folder)
{
    const QFileInfo log(logPath);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path;
    for (int n = 0;; ++n) {
        path = QDir(folder).filePath(log.completeBaseName() + QLatin1Char('-') + stamp
                                     + (n ? QStringLiteral("-%1").arg(n) : QString()) + QLatin1Char('.') + log.suffix());
        if (!QFileInfo::exists(path) && !QFileInfo::exists(path + QLatin1String(kPartSuffix)))
            return path;
    }
}

// What a copy that failed or was killed left: its part file (and a journal beside it, which
// earlier versions could leave). Only one run uses the data folder at a time, so nothing of
// this is being written now.
void removeLeftovers(const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*") + QLatin1String(kPartSuffix),
                                              QStringLiteral("*") + QLatin1String(kPartSuffix) + QStringLiteral("-journal")},
                                             QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// Puts what a file holds on the disk, as far as the system lets a program.
bool syncFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))) != 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Puts a whole copy under its own name; it never replaces a file.
void putInPlace(const QString& part, const QString& copy)
{
    if (!QFile::rename(part, copy)) {
        QFile::remove(part);
        throw CFileException(QStringLiteral("The copy of the log could not be given its name %1. No backup was made")
                                 .arg(QDir::toNativeSeparators(copy)));
    }
}

void backUpSqlite(const QString& logPath, const QString& copy, EventMonitor* monitor)
{
    const QString part = copy + QLatin1String(kPartSuffix);
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    SqliteBusyWait wait(Connection::kBusyWaitMs);
    if (monitor)
        wait.setNotice(WaitNotice(*monitor, false, logPath));
    const auto fail = [&](sqlite3* db, const QString& what) {
        QString text = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        const int code = db ? sqlite3_errcode(db) & 0xff : SQLITE_NOMEM;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            text = QStringLiteral("the log is in use by another program: waited %1 seconds for it, then gave up")
                       .arg(Connection::kBusyWaitMs / 1000);
        sqlite3_close(source);
        sqlite3_close(target);
        QFile::remove(part);
        QFile::remove(part + QStringLiteral("-journal"));
        throw CFileException(QStringLiteral("The log could not be copied to %1 (%2: %3). No backup was made")
                                 .arg(QDir::toNativeSeparators(copy), what, text));
    };
    if (sqlite3_open_v2(logPath.toUtf8().constData(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(source, QStringLiteral("reading the log"));
    wait.install(source);
    if (sqlite3_open_v2(part.toUtf8().constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        fail(target, QStringLiteral("writing the copy"));
    // The copy is new and thrown away when anything fails: it needs no journal of its own.
    // Its pages are synced when the copy ends.
    if (sqlite3_exec(target, "PRAGMA journal_mode=OFF", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(target, QStringLiteral("writing the copy"));
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup)
        fail(target, QStringLiteral("starting the copy"));
    // Page by page, so that a program writing the log meanwhile is not kept out for long; a
    // write between two steps makes the backup start again, and the copy is consistent. A log
    // another program keeps from being read is waited for as long as a run waits.
    int rc;
    do {
        rc = sqlite3_backup_step(backup, 1024);
        if (monitor) {
            monitor->PumpMessages();
            const int total = sqlite3_backup_pagecount(backup);
            monitor->ReportProgress(total - sqlite3_backup_remaining(backup), total);
            if (monitor->StopRequested()) {
                sqlite3_backup_finish(backup);
                sqlite3_close(source);
                sqlite3_close(target);
                QFile::remove(part);
                throw CFileException(QStringLiteral("The copy of the log was stopped by the operator. No backup was "
                                                    "made"));
            }
        }
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && wait.exhausted())
            break;
        if (rc == SQLITE_OK)
            wait.reset();
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            sqlite3_close(source);
            sqlite3_close(target);
            QFile::remove(part);
            throw CFileException(QStringLiteral("The log %1 is in use by another program: the backup waited %2 "
                                                "seconds for it, then gave up. No backup was made")
                                     .arg(QDir::toNativeSeparators(logPath))
                                     .arg(Connection::kBusyWaitMs / 1000));
        }
        fail(target, QStringLiteral("copying"));
    }
    sqlite3_close(source);
    source = nullptr;
    if (sqlite3_close(target) != SQLITE_OK)
        fail(target, QStringLiteral("closing the copy"));
    target = nullptr;
    // Synced before it takes its name: a power cut leaves a whole copy or none.
    if (!syncFile(part)) {
        QFile::remove(part);
        throw CFileException(QStringLiteral("The copy of the log could not be written to the disk at %1. No backup was "
                                            "made")
                                 .arg(QDir::toNativeSeparators(copy)));
    }
    putInPlace(part, copy);
}

void copyFile(const QString& logPath, const QString& copy)
{
    QFile from(logPath);
    if (!from.open(QIODevice::ReadOnly))
        throw CFileException(QStringLiteral("The log %1 could not be read: %2. No backup was made")
                                 .arg(QDir::toNativeSeparators(logPath), from.errorString()));
    // Written under a name of its own, synced, and given the copy's name when whole.
    QSaveFile to(copy);
    if (!to.open(QIODevice::WriteOnly))
        throw CFileException(QStringLiteral("The copy %1 could not be made: %2. No backup was made")
                                 .arg(QDir::toNativeSeparators(copy), to.errorString()));
    bool written = true;
    while (written && !from.atEnd()) {
        const QByteArray buffer = from.read(1 << 20);
        written = !(buffer.isEmpty() && from.error() != QFileDevice::NoError) && to.write(buffer) == buffer.size();
    }
    errno = 0;
    if (!written || !to.commit()) {
        const QString reason = from.error() != QFileDevice::NoError ? from.errorString() : FileErrorText(to, errno);
        to.cancelWriting();
        throw CFileException(QStringLiteral("The log could not be copied to %1: %2. No backup was made")
                                 .arg(QDir::toNativeSeparators(copy), reason));
    }
}

} // namespace

QString BackUpLog(const QString& logPath, const QString& dataFolder, EventMonitor* monitor)
{
    if (logPath.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive))
        throw CFileException(QStringLiteral("A log reached through an ODBC connection string cannot be copied here: "
                                            "copy it with the tools of its database"));
    const QFileInfo log(logPath);
    if (!log.isFile())
        throw CFileException(QStringLiteral("The log %1 does not exist").arg(QDir::toNativeSeparators(logPath)));
    const QString folder = backupFolder(dataFolder);
    if (!QDir().mkpath(folder))
        throw CFileException(QStringLiteral("The backup folder %1 cannot be made. No backup was made")
                                 .arg(QDir::toNativeSeparators(folder)));
    removeLeftovers(folder);
    const QString suffix = log.suffix().toLower();
    if (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) {
        // Access keeps a lock file beside a database that is open.
        const QString lockFile = log.absolutePath() + QLatin1Char('/') + log.completeBaseName()
                                 + (suffix == QLatin1String("mdb") ? QStringLiteral(".ldb") : QStringLiteral(".laccdb"));
        if (QFileInfo::exists(lockFile))
            throw CFileException(QStringLiteral("The log %1 is in use (DXbase or another program has it open): close it "
                                                "and back it up again")
                                     .arg(QDir::toNativeSeparators(logPath)));
        const QString copy = copyPath(logPath, folder);
        copyFile(logPath, copy);
        return copy;
    }
    const QString copy = copyPath(logPath, folder);
    backUpSqlite(logPath, copy, monitor);
    return copy;
}
