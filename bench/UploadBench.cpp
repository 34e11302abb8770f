// Upload benchmark: builds a demo log in which every QSO is due for upload under the primary
// call (or, with --mixed, the demo's own mix of states), runs the upload on SQLite and reports
// the time, the counts and the file size. Peak memory: run under /usr/bin/time -v.
//
//   UploadBench [--qsos N] [--dir FOLDER] [--mixed] [--keep] [--test]

#include "demo/DemoData.h"
#include "platform/Desktop.h"
#include "platform/EventMonitor.h"
#include "upload/UploadRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>

namespace {

// Monitor lines go where the batch command's go, to a stream (here /dev/null).
class StreamMonitor : public EventMonitor
{
public:
    StreamMonitor() : m_out(std::fopen("/dev/null", "wb")) {}
    ~StreamMonitor() override { std::fclose(m_out); }
    void AddUploadEvent(const QString& text) override { write(text); }
    void AddDownloadEvent(const QString& text) override
    {
        write(text);
        ++downloadLines;
    }
    void ClearUploadMonitor() override {}
    void ClearDownloadMonitor() override {}
    void ShowCounters() override {}
    void SetStepIcon(int, int) override {}
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "message: %s\n", text.toLatin1().constData()); }

    long long lines = 0;
    long long downloadLines = 0;

private:
    void write(const QString& text)
    {
        QByteArray bytes = text.toLatin1();
        bytes += '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
        ++lines;
    }
    FILE* m_out;
};

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 qsos = 100000;
    QString folder;
    bool mixed = false;
    bool keep = false;
    bool test = false;
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
        else {
            std::fprintf(stderr, "usage: UploadBench [--qsos N] [--dir FOLDER] [--mixed] [--keep] [--test]\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    if (folder.isEmpty())
        folder = temporary.path();
    temporary.setAutoRemove(!keep);
    QDir().mkpath(folder);

    const QString logPath = QDir(folder).filePath(QStringLiteral("log.sqlite"));
    const QString refPath = QDir(folder).filePath(QStringLiteral("refdata.sqlite"));
    QElapsedTimer timer;
    timer.start();
    DemoData::writeLog(logPath, qsos, 20261207);
    DemoData::writeRefdata(refPath);
    if (!mixed) {
        // Every QSO due for upload under the primary call.
        const QByteArray sql = "UPDATE [QSO-TAB] SET [QSO-QSLS] = '0', [QSO-VALID] = 1, [QSO-OPRCALL] = '"
                               + QByteArray(DemoData::kPrimaryCall) + "'";
        if (!exec(logPath, sql))
            return 1;
    }
    std::printf("log of %lld QSOs prepared in %.1f s\n", static_cast<long long>(qsos), timer.elapsed() / 1000.0);

    Options options;
    options.sourceMdbPath = logPath;
    options.refdataMdbPath = refPath;
    options.uploadAdifPath = QDir(folder).filePath(QStringLiteral("LoTWUpload.adi"));
    options.errorFilePath = QDir(folder).filePath(QStringLiteral("SemiQuorvaneErrors.txt"));
    options.stations[0] = {QString::fromLatin1(DemoData::kPrimaryCall), QString::fromLatin1(DemoData::kPrimaryLocation)};
    Choices choices;
    choices.SigningCall = options.stations[0].oprCall;
    choices.TestOnly = test;

    StreamMonitor monitor;
    NoDesktop desktop;
    UploadRun run(options, choices, QString(), monitor, desktop);
    run.setHandOff(false);
    timer.restart();
    const std::clock_t cpuStart = std::clock();
    const bool ok = run.run();
    const double seconds = timer.elapsed() / 1000.0;
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    const long long marked = scalar(logPath, "SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('2','3')");
    std::printf("upload %s: %.2f s (CPU %.2f s)  read-in %ld  ADIF output %ld  refused %ld  monitor lines %lld  error lines %lld\n",
                ok ? "completed" : "FAILED", seconds, cpuSeconds, run.readInCount(), run.adifOutCount(), run.refusedCount(),
                monitor.lines, monitor.downloadLines);
    std::printf("ADIF file %lld bytes, rows marked as sent now %lld\n",
                static_cast<long long>(QFileInfo(options.uploadAdifPath).size()), marked);
    return ok ? 0 : 1;
}
