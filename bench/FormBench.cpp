// The window against the batch command: the form's "Upload" and "#2 - LoTW Import", driven
// with QT_QPA_PLATFORM=offscreen on a demo data folder, against `quorvane-cli upload` and
// `quorvane-cli import` on an identical folder; both with a stand-in TQSL that signs at once
// (TQSL uploads itself, so no browser is opened). Prints each run's time, the ratio window /
// batch command, and how responsive the window stayed: the longest gap between two repaints
// and the longest lateness of a 10 ms timer on the window's thread.
//
//   QT_QPA_PLATFORM=offscreen FormBench [--qsos N] [--runs K] [--dir FOLDER] [--keep]
//                                       [--only upload|import]
//
// The demo folders are made once by `quorvane-cli demo`; every run starts from a copy of the
// log and files as the demo wrote them.

#include "CBrindlewickDoc.h"
#include "CBrindlewickView.h"
#include "CMainFrame.h"
#include "FormMonitor.h"
#include "FormOperations.h"
#include "MonitorModel.h"
#include "options/OptionsStore.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/TqslLocator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

class QuietDesktop : public Desktop
{
public:
    bool openUrl(const QString&) override { return true; }
    bool openFile(const QString&) override { return true; }
    void setClipboardText(const QString&) override {}
    void pause(int) override {}
};

class PrintingMessageBox : public MessageBox
{
public:
    void show(const QString& text) override
    {
        ++shown;
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    bool ask(const QString&) override { return false; }
    int shown = 0;
};

// Times of the window's repaints and of a 10 ms timer's ticks. Every tick also asks the status
// bar to repaint, so that the window has something to paint even when nothing of a run changes:
// the gaps between repaints then tell how long the window could not paint.
class Responsiveness : public QObject
{
public:
    explicit Responsiveness(QWidget* repainted) : m_repainted(repainted)
    {
        m_clock.start();
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout, this, [this] {
            m_ticks.push_back(m_clock.elapsed());
            m_repainted->update();
        });
        qApp->installEventFilter(this);
        m_tick.start(10);
    }
    ~Responsiveness() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched == m_repainted)
            m_paints.push_back(m_clock.elapsed());
        return false;
    }
    static qint64 longestGap(const std::vector<qint64>& times)
    {
        qint64 gap = 0;
        for (size_t i = 1; i < times.size(); ++i)
            gap = std::max(gap, times[i] - times[i - 1]);
        return gap;
    }
    qint64 paintGap() const { return longestGap(m_paints); }
    qint64 tickLateness() const { return std::max<qint64>(0, longestGap(m_ticks) - 10); }
    size_t paints() const { return m_paints.size(); }

private:
    QWidget* m_repainted;
    QElapsedTimer m_clock;
    QTimer m_tick;
    std::vector<qint64> m_paints;
    std::vector<qint64> m_ticks;
};

QString cliProgram()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quorvane-cli"));
}

bool copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    return !QFile::exists(from) || QFile::copy(from, to);
}

// The log, the output files and the saved date put back as the demo wrote them.
const char* const kRunFiles[] = {"Dxbase.sqlite", "quorvane2.dat", "LoTWUpload.adi", "LoTWUpload.tq8",
                                 "SemiQuorvaneErrors.txt", "SemiQuorvaneImportedQSOs.txt"};

void saveFolder(const QString& folder, const QString& pristine)
{
    QDir().mkpath(pristine);
    for (const char* name : kRunFiles)
        copyFile(QDir(folder).filePath(QLatin1String(name)), QDir(pristine).filePath(QLatin1String(name)));
}

void restoreFolder(const QString& folder, const QString& pristine)
{
    for (const char* name : kRunFiles) {
        const QString kept = QDir(pristine).filePath(QLatin1String(name));
        const QString target = QDir(folder).filePath(QLatin1String(name));
        if (QFile::exists(kept))
            copyFile(kept, target);
        else
            QFile::remove(target);
    }
    // Both runs start with the log in the page cache, as right after the demo was made.
    QFile log(QDir(folder).filePath(QStringLiteral("Dxbase.sqlite")));
    if (log.open(QIODevice::ReadOnly))
        while (!log.read(1 << 20).isEmpty()) {
        }
}

// A digest of every row of the log and of the files a run writes.
QByteArray digest(const QString& folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    sqlite3* db = nullptr;
    sqlite3_open_v2(QDir(folder).filePath(QStringLiteral("Dxbase.sqlite")).toUtf8().constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM [QSO-TAB] ORDER BY rowid", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const auto* text = sqlite3_column_text(stmt, c);
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(text ? text : reinterpret_cast<const unsigned char*>("")),
                                        sqlite3_column_bytes(stmt, c)));
            hash.addData("|");
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    for (const char* name : {"LoTWUpload.adi", "SemiQuorvaneErrors.txt", "SemiQuorvaneImportedQSOs.txt", "quorvane2.dat"}) {
        QFile file(QDir(folder).filePath(QLatin1String(name)));
        if (file.open(QIODevice::ReadOnly))
            hash.addData(file.readAll());
        hash.addData("#");
    }
    return hash.result().toHex().left(12);
}

struct BatchRun
{
    double seconds = 0;
    int exitCode = -1;
};

BatchRun runBatch(const QString& folder, const QStringList& command)
{
    QProcess process;
    // Its lines go where a terminal's would not slow it: nowhere.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(cliProgram(), QStringList{QStringLiteral("--data-dir"), folder} + command);
    process.waitForFinished(-1);
    BatchRun run;
    run.seconds = clock.elapsed() / 1000.0;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

struct FormRun
{
    double seconds = 0;
    qint64 paintGap = 0;
    qint64 tickLateness = 0;
    size_t paints = 0;
    qsizetype monitorLines = 0;
    QString lastProgress;
    int messages = 0;
};

QAbstractButton* button(const QWidget& root, int controlId)
{
    for (QAbstractButton* b : root.findChildren<QAbstractButton*>())
        if (b->property("controlId").toInt() == controlId)
            return b;
    return nullptr;
}

FormRun runForm(const QString& folder, bool upload)
{
    SystemPaths paths(folder);
    Options options;
    LoadOptionsForBatch(paths, IniProfile(), SystemTqslLocator(), options);
    QuietDesktop desktop;
    PrintingMessageBox messages;
    FormRun result;
    {
        CBrindlewickDoc doc(options.sourceMdbPath);
        CMainFrame frame;
        auto* view = new CBrindlewickView(doc, options, paths, desktop, messages);
        ConnectFormOperations(*view);
        frame.setView(view);
        view->OnInitialUpdate();
        frame.show();
        QCoreApplication::processEvents();
        QObject::connect(view, &CBrindlewickView::runProgress,
                         [&](const QString& text, int) { result.lastProgress = text; });
        if (upload)
            button(*view, 1111)->click(); // TQSL uploads, as --tqsl-upload does

        Responsiveness watch(frame.statusBar());
        QElapsedTimer clock;
        clock.start();
        button(*view, upload ? 1004 : 1054)->click();
        while (view->isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        result.seconds = clock.elapsed() / 1000.0;
        result.paintGap = watch.paintGap();
        result.tickLateness = watch.tickLateness();
        result.paints = watch.paints();
        FormMonitor& monitor = view->formMonitor();
        result.monitorLines = monitor.uploadModel().lineCount() + monitor.downloadModel().lineCount();
        view->DestroyWindow();
    }
    result.messages = messages.shown;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    qint64 qsos = 1000000;
    int runs = 3;
    QString folder;
    bool keep = false;
    QString only;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--qsos") && i + 1 < arguments.size())
            qsos = arguments.at(++i).toLongLong();
        else if (a == QLatin1String("--runs") && i + 1 < arguments.size())
            runs = arguments.at(++i).toInt();
        else if (a == QLatin1String("--dir") && i + 1 < arguments.size())
            folder = arguments.at(++i);
        else if (a == QLatin1String("--only") && i + 1 < arguments.size())
            only = arguments.at(++i);
        else if (a == QLatin1String("--keep"))
            keep = true;
        else {
            std::fprintf(stderr, "usage: FormBench [--qsos N] [--runs K] [--dir FOLDER] [--keep] [--only upload|import]\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!keep);
    if (folder.isEmpty())
        folder = temporary.path();
    QDir().mkpath(folder);

    // A stand-in TQSL that signs at once, found on PATH by both; no station file of this user.
    const QString tools = QDir(folder).filePath(QStringLiteral("tools"));
    QDir().mkpath(tools);
    QFile tqsl(QDir(tools).filePath(QStringLiteral("tqsl")));
    tqsl.open(QIODevice::WriteOnly | QIODevice::Truncate);
    tqsl.write("#!/bin/sh\necho 'TQSL Version 2.6.5 [stand-in]' >&2\necho 'Final Status: Success (0)' >&2\nexit 0\n");
    tqsl.close();
    tqsl.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("PATH", (tools + QLatin1Char(':')).toLocal8Bit() + qgetenv("PATH"));
    const QString home = QDir(folder).filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());

    const QString batchFolder = QDir(folder).filePath(QStringLiteral("batch"));
    const QString formFolder = QDir(folder).filePath(QStringLiteral("form"));
    QElapsedTimer clock;
    clock.start();
    for (const QString& f : {batchFolder, formFolder}) {
        if (runBatch(f, {QStringLiteral("demo"), QStringLiteral("--qsos"), QString::number(qsos)}).exitCode != 0) {
            std::fprintf(stderr, "the demo folder %s could not be made\n", f.toLocal8Bit().constData());
            return 1;
        }
        saveFolder(f, f + QStringLiteral("-pristine"));
    }
    std::printf("two demo folders of %lld QSOs made in %.1f s\n", static_cast<long long>(qsos), clock.elapsed() / 1000.0);
    std::fflush(stdout);

    int failures = 0;
    for (const bool upload : {true, false}) {
        const char* name = upload ? "upload" : "import";
        if (!only.isEmpty() && only != QLatin1String(name))
            continue;
        std::vector<double> batchTimes;
        std::vector<double> formTimes;
        qint64 worstPaintGap = 0;
        qint64 worstLateness = 0;
        for (int r = 0; r < runs; ++r) {
            restoreFolder(batchFolder, batchFolder + QStringLiteral("-pristine"));
            const BatchRun batch = runBatch(batchFolder, upload ? QStringList{QStringLiteral("upload"), QStringLiteral("--tqsl-upload")}
                                                               : QStringList{QStringLiteral("import")});
            restoreFolder(formFolder, formFolder + QStringLiteral("-pristine"));
            const FormRun form = runForm(formFolder, upload);
            const QByteArray batchDigest = digest(batchFolder);
            const QByteArray formDigest = digest(formFolder);
            const bool same = batchDigest == formDigest;
            failures += batch.exitCode != 0 || !same || form.messages > 0;
            batchTimes.push_back(batch.seconds);
            formTimes.push_back(form.seconds);
            worstPaintGap = std::max(worstPaintGap, form.paintGap);
            worstLateness = std::max(worstLateness, form.tickLateness);
            std::printf("%s run %d: batch command %.2f s (exit %d), window %.2f s, ratio %.3f; %s log and files (%s); "
                        "%lld monitor lines, %zu repaints, longest repaint gap %lld ms, timer late by %lld ms at most\n",
                        name, r + 1, batch.seconds, batch.exitCode, form.seconds, form.seconds / batch.seconds,
                        same ? "same" : "DIFFERENT", formDigest.constData(), static_cast<long long>(form.monitorLines),
                        form.paints, static_cast<long long>(form.paintGap), static_cast<long long>(form.tickLateness));
            std::printf("    last progress shown: %s\n", form.lastProgress.toLocal8Bit().constData());
            std::fflush(stdout);
        }
        const double b = median(batchTimes);
        const double f = median(formTimes);
        std::printf("%s of %lld QSOs: batch command %.2f s, window %.2f s (medians of %d), ratio %.3f (bar 1.2); "
                    "longest repaint gap %lld ms, timer late by %lld ms at most (bar 100 ms)\n",
                    name, static_cast<long long>(qsos), b, f, runs, f / b, static_cast<long long>(worstPaintGap),
                    static_cast<long long>(worstLateness));
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
