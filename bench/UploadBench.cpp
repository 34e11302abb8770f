// Upload benchmark: builds a demo log in which every QSO is due for upload under the primary
// call (or, with --mixed, the demo's own mix of states), runs the upload on SQLite and reports
// the time, the counts and the file size, and the floor of the SQLite C API measured in the
// same run, before and after the upload: every column of every row read, and the marks of
// the QSOs the upload selects written by rowid through one prepared statement in one
// transaction. Peak memory: run under /usr/bin/time -v.
//
//   UploadBench [--qsos N] [--dir FOLDER] [--mixed] [--keep] [--test] [--no-floor] [--undo]
//   --undo: the run keeps its before-images, as the programs do, and takes the upload back after
//   it (timed)
//   --engine sqlite|odbc-keyed|odbc-keyless|odbc-index: the engine the upload runs on
//   (BenchEngine.h)

#include "BenchEngine.h"
#include "CliServices.h"
#include "demo/DemoData.h"
#include "platform/Desktop.h"
#include "platform/EventMonitor.h"
#include "undo/UndoJournal.h"
#include "upload/UploadRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>
#include <sqlite3.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

class NoDesktop : public Desktop
{
public:
    bool openUrl(const QString&) override { return true; }
    bool openFile(const QString&) override { return true; }
    void setClipboardText(const QString&) override {}
    void pause(int) override {}
};

long long scalar(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toLocal8Bit().constData(), &db);
    sqlite3_stmt* statement = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

bool exec(const QString& path, const QByteArray& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toLocal8Bit().constData(), &db);
    char* error = nullptr;
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s\n", error);
    sqlite3_free(error);
    sqlite3_close(db);
    return ok;
}

struct FloorTimes
{
    double scan = 0;
    double marks = 0;
    qint64 marked = 0;
    double total() const { return scan + marks; }
};

// The floor on a copy of the log as the upload finds it.
FloorTimes measureFloor(const QString& path, const QByteArray& signingCall)
{
    FloorTimes t;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toLocal8Bit().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt* scan = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid", -1, &scan, nullptr);
    const int columns = sqlite3_column_count(scan);
    int qslsAt = -1, oprAt = -1, validAt = -1;
    for (int c = 0; c < columns; ++c) {
        const QByteArray name = sqlite3_column_name(scan, c);
        qslsAt = name == "QSO-QSLS" ? c : qslsAt;
        oprAt = name == "QSO-OPRCALL" ? c : oprAt;
        validAt = name == "QSO-VALID" ? c : validAt;
    }
    std::vector<std::pair<qint64, bool>> due; // rowid, [QSO-QSLS] was "1"
    qint64 bytes = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(scan, c) == SQLITE_INTEGER)
                bytes += sqlite3_column_int64(scan, c) & 1;
            else if (sqlite3_column_text(scan, c))
                bytes += sqlite3_column_bytes(scan, c);
        }
        const auto* qsls = reinterpret_cast<const char*>(sqlite3_column_text(scan, qslsAt));
        const auto* opr = reinterpret_cast<const char*>(sqlite3_column_text(scan, oprAt));
        if (qsls && (!std::strcmp(qsls, "0") || !std::strcmp(qsls, "1")) && opr && signingCall == opr
            && sqlite3_column_int(scan, validAt) != 0)
            due.emplace_back(sqlite3_column_int64(scan, 0), qsls[0] == '1');
    }
    sqlite3_finalize(scan);
    t.scan = timer.nsecsElapsed() / 1e9;
    timer.restart();
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* mark = nullptr;
    sqlite3_prepare_v2(db, "UPDATE [QSO-TAB] SET [QSO-QSLS] = ? WHERE rowid = ?", -1, &mark, nullptr);
    for (const auto& [rowid, one] : due) {
        sqlite3_bind_text(mark, 1, one ? "3" : "2", 1, SQLITE_STATIC);
        sqlite3_bind_int64(mark, 2, rowid);
        sqlite3_step(mark);
        sqlite3_reset(mark);
    }
    sqlite3_finalize(mark);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    t.marks = timer.nsecsElapsed() / 1e9;
    t.marked = qint64(due.size()) + (bytes < 0 ? 1 : 0);
    sqlite3_close(db);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program's own SQLite engine runs (it does not count SQLite's memory use), for the
    // floor and the upload alike.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    QCoreApplication app(argc, argv);
    qint64 qsos = 100000;
    QString folder;
    bool mixed = false;
    bool keep = false;
    bool test = false;
    bool floor = true;
    bool undo = false;
    QString engine = QStringLiteral("sqlite");
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--qsos") && i + 1 < arguments.size())
            qsos = arguments.at(++i).toLongLong();
        else if (arguments.at(i) == QLatin1String("--dir") && i + 1 < arguments.size())
            folder = arguments.at(++i);
        else if (arguments.at(i) == QLatin1String("--mixed"))
            mixed = true;
        else if (arguments.at(i) == QLatin1String("--keep"))
            keep = true;
        else if (arguments.at(i) == QLatin1String("--test"))
            test = true;
        else if (arguments.at(i) == QLatin1String("--no-floor"))
            floor = false;
        else if (arguments.at(i) == QLatin1String("--undo"))
            undo = true;
        else if (arguments.at(i) == QLatin1String("--engine") && i + 1 < arguments.size()
                 && BenchEngineKnown(arguments.at(i + 1)))
            engine = arguments.at(++i);
        else {
            std::fprintf(stderr, "usage: UploadBench [--qsos N] [--dir FOLDER] [--mixed] [--keep] [--test] [--no-floor] [--undo]\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    if (folder.isEmpty())
        folder = temporary.path();
    temporary.setAutoRemove(!keep);
    QDir().mkpath(folder);

    const QString logPath = QDir(folder).filePath(QStringLiteral("log.sqlite"));
    const QString pristine = QDir(folder).filePath(QStringLiteral("pristine.sqlite"));
    const QString refPath = QDir(folder).filePath(QStringLiteral("refdata.sqlite"));
    QElapsedTimer timer;
    timer.start();
    // A log prepared by an earlier run with --keep in the same folder is used again as it was.
    const QString prepared = QDir(folder).filePath(QStringLiteral("prepared-%1%2.sqlite").arg(qsos).arg(mixed ? QStringLiteral("-mixed") : QString()));
    if (QFile::exists(prepared)) {
        QFile::remove(logPath);
        QFile::copy(prepared, logPath);
    } else {
        DemoData::writeLog(logPath, qsos, 20261207);
        if (!mixed) {
            // Every QSO due for upload under the primary call.
            const QByteArray sql = "UPDATE [QSO-TAB] SET [QSO-QSLS] = '0', [QSO-VALID] = 1, [QSO-OPRCALL] = '"
                                   + QByteArray(DemoData::kPrimaryCall) + "'";
            if (!exec(logPath, sql))
                return 1;
        }
        if (keep)
            QFile::copy(logPath, prepared);
    }
    DemoData::writeRefdata(refPath);
    std::printf("log of %lld QSOs prepared in %.1f s\n", static_cast<long long>(qsos), timer.elapsed() / 1000.0);

    if (floor) {
        QFile::remove(pristine);
        QFile::copy(logPath, pristine);
    }
    Options options;
    options.sourceMdbPath = BenchEngineLog(engine, logPath);
    options.refdataMdbPath = refPath;
    options.uploadAdifPath = QDir(folder).filePath(QStringLiteral("LoTWUpload.adi"));
    options.errorFilePath = QDir(folder).filePath(QStringLiteral("SemiQuorvaneErrors.txt"));
    options.stations[0] = {QString::fromLatin1(DemoData::kPrimaryCall), QString::fromLatin1(DemoData::kPrimaryLocation)};
    Choices choices;
    choices.SigningCall = options.stations[0].oprCall;
    choices.TestOnly = test;

    const QString floorLog = QDir(folder).filePath(QStringLiteral("floor.sqlite"));
    auto floorRun = [&] {
        QFile::remove(floorLog);
        QFile::copy(pristine, floorLog);
        const FloorTimes t = measureFloor(floorLog, DemoData::kPrimaryCall);
        QFile::remove(floorLog);
        return t;
    };
    FloorTimes before, after;
    if (floor)
        before = floorRun();

    // The batch command's own monitor, its lines (as the batch command writes them to its
    // standard output) going to /dev/null for the length of the run.
    CliMonitor monitor;
    NoDesktop desktop;
    UploadRun run(options, choices, monitor, desktop);
    run.setHandOff(false);
    if (undo)
        run.setUndoFolder(temporary.path());
    timer.restart();
    const std::clock_t cpuStart = std::clock();
    std::fflush(stdout);
    const int standardOutput = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const bool ok = run.run();
    std::fflush(stdout);
    dup2(standardOutput, 1);
    close(null);
    close(standardOutput);
    const double seconds = timer.elapsed() / 1000.0;
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    const long long marked = scalar(logPath, "SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('2','3')");
    std::printf("upload %s: %.2f s (CPU %.2f s)  read-in %ld  ADIF output %ld  refused %ld  monitor lines %lld\n",
                ok ? "completed" : "FAILED", seconds, cpuSeconds, run.readInCount(), run.adifOutCount(), run.refusedCount(),
                static_cast<long long>(monitor.lineCount()));
    std::printf("ADIF file %lld bytes, rows marked as sent now %lld\n",
                static_cast<long long>(QFileInfo(options.uploadAdifPath).size()), marked);
    if (undo) {
        const std::vector<UndoEntry> runs = ListUndoRuns(temporary.path());
        if (!runs.empty()) {
            timer.restart();
            const UndoResult result = UndoRunAt(runs.front(), options.sourceMdbPath);
            std::printf("undo of %lld rows: %.2f s (%lld restored, %lld left alone)\n",
                        static_cast<long long>(runs.front().rows), timer.elapsed() / 1000.0,
                        static_cast<long long>(result.restored), static_cast<long long>(result.leftAlone));
        }
    }
    if (floor) {
        after = floorRun();
        QFile::remove(pristine);
        std::printf("floor: %.2f s before, %.2f s after (scan %.2f + %lld marks %.2f, then %.2f + %.2f)\n",
                    before.total(), after.total(), before.scan, static_cast<long long>(before.marked), before.marks,
                    after.scan, after.marks);
        std::printf("ratio to the floor: %.2f\n", seconds / ((before.total() + after.total()) / 2));
    }
    return ok ? 0 : 1;
}
