// The form's operations as the operator runs them, on demo data folders of 100,000 QSOs made by
// the batch command: progress while they run, the same outcome as the batch command, Stop at
// several points, closing the window during a run, and the log left free for other writers.

#include "CAboutDlg.h"
#include "logdb/QsoTable.h"
#include "CBrindlewickDoc.h"
#include "CBrindlewickView.h"
#include "CMainFrame.h"
#include "FormMonitor.h"
#include "FormOperations.h"
#include "MonitorModel.h"
#include "RunProgress.h"
#include "logdb/Connection.h"
#include "undo/UndoJournal.h"
#include "options/OptionsStore.h"
#include "platform/EventMonitor.h"
#include "platform/Profile.h"
#include "demo/DemoData.h"
#include "support/Fakes.h"
#include "support/SqliteFixture.h"
#include "support/LotwStandIn.h"
#include "support/RealTqsl.h"
#include "support/StandInTqsl.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace {

constexpr int kQsos = 100000;

QString L(const char* text)
{
    return QString::fromLatin1(text);
}

template <class T = QWidget>
T* find(const QWidget& root, int controlId)
{
    const auto widgets = root.findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant id = widget->property("controlId");
        if (id.isValid() && id.toInt() == controlId)
            return qobject_cast<T*>(widget);
    }
    return nullptr;
}

void click(const QWidget& root, int controlId)
{
    auto* button = find<QAbstractButton>(root, controlId);
    ASSERT_NE(button, nullptr) << controlId;
    ASSERT_TRUE(button->isEnabled()) << controlId;
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(4, button->height() / 2));
}

bool waitForRun(const CBrindlewickView& v, int timeoutMs = 120000)
{
    return QTest::qWaitFor([&] { return !v.isRunning(); }, timeoutMs);
}

// Whether another program can write the database at once: one committed UPDATE, with no
// waiting for a lock (a reader left open anywhere makes the commit fail as "locked").
bool writableNow(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 0);
    char* error = nullptr;
    const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok)
        ADD_FAILURE() << path.toStdString() << ": " << (error ? error : "?");
    sqlite3_free(error);
    sqlite3_close(db);
    return ok;
}

const char kTouchLog[] = "UPDATE [QSO-TAB] SET [QSO-NOTE] = [QSO-NOTE] WHERE rowid IN (1, 50000)";
const char kTouchReference[] = "UPDATE [PREFIX-Pri] SET [PREFIX] = [PREFIX] WHERE rowid = 1; UPDATE [COUNTY-TAB] SET [CNTY-NAME] = [CNTY-NAME] WHERE rowid = 1";

// What the batch command printed: its monitor lines (the last line, the counters, apart).
struct BatchOutput
{
    int exitCode = -1;
    QStringList lines;
    QString counters;
    QString errors;
};

// Demo data folders made by the batch command, the real TQSL signing for the demo's call (the
// TQSL the window finds and the one on the batch command's PATH), and the batch command and
// the form run on them.
class FormRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (RealTqsl::unavailable().isEmpty()) {
            RealTqsl::Certificate certificate;
            certificate.call = QStringLiteral("K1QVN");
            certificate.location = QStringLiteral("Home");
            certificate.qsoFrom = QStringLiteral("2000-01-01");
            realTqsl = std::make_unique<RealTqsl>(certificate);
            tqsl = tools.file(QStringLiteral("tqsl"));
            tools.write(QStringLiteral("tqsl"), "#!/bin/sh\nexec '" + realTqsl->program().toUtf8() + "' \"$@\"\n");
            QFile::setPermissions(tqsl, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        QDir().mkpath(dir.file(QStringLiteral("home")));
    }
    // The tests that upload need TQSL to sign.
    bool canSign() const { return realTqsl != nullptr; }
    // LoTW takes every signed file sent to it.
    void lotwTakesUploads()
    {
        lotw = std::make_unique<LotwStandIn>();
        SKIP_WITHOUT_LOTW_STAND_IN();
        ASSERT_TRUE(lotw->started()) << lotw->error().toStdString();
        lotw->answer(QStringLiteral("/lotw/upload"),
                     {.body = "<html><!-- .UPL.  accepted --><!-- .UPLMESSAGE. File queued for processing --></html>",
                      .contentType = "text/html"});
        lotw->useInThisProcess();
    }

    // A new demo data folder of kQsos QSOs.
    QString demo(const QString& name)
    {
        const QString folder = dir.file(name);
        const BatchOutput made = batch(folder, {QStringLiteral("demo"), QStringLiteral("--qsos"), QString::number(kQsos)});
        EXPECT_EQ(made.exitCode, 0) << made.errors.toStdString();
        return folder;
    }

    // Makes the folder's report long enough for a Stop to land in the middle of the import:
    // every QSO the log has uploaded is confirmed, and the records come four times over (the
    // later ones find their rows confirmed already). A report of the demo's own size is read
    // before the window could show a third of it.
    static void lengthenReport(const QString& folder)
    {
        const QString path = folder + QStringLiteral("/lotwreport.adi");
        DemoData::writeReport(path, kQsos, 20261207, 1);
        QByteArray report = read(path);
        const qsizetype first = report.indexOf("<eoh>\r\n") + 7;
        const qsizetype end = report.lastIndexOf("<APP_LoTW_EOF>");
        const QByteArray records = report.mid(first, end - first);
        report.insert(end, records + records + records);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(report);
    }

    BatchOutput batch(const QString& folder, const QStringList& command)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The stand-in is the TQSL found on PATH, and no station file of this machine's user is read.
        env.insert(QStringLiteral("PATH"), tools.path() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("HOME"), dir.file(QStringLiteral("home")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_CLI), QStringList{QStringLiteral("--data-dir"), folder} + command);
        BatchOutput output;
        if (!process.waitForFinished(300000)) {
            ADD_FAILURE() << "quorvane-cli did not end";
            process.kill();
            process.waitForFinished();
            return output;
        }
        output.exitCode = process.exitCode();
        QByteArray out = process.readAllStandardOutput();
#ifdef Q_OS_WIN
        out.replace("\r\n", "\n"); // the C library's line ends there
#endif
        output.lines = QString::fromLatin1(out).split(QLatin1Char('\n'));
        if (!output.lines.isEmpty() && output.lines.last().isEmpty())
            output.lines.removeLast();
        if (!output.lines.isEmpty() && command.first() != QLatin1String("demo"))
            output.counters = output.lines.takeLast();
        output.errors = QString::fromLocal8Bit(process.readAllStandardError());
        return output;
    }

    // The window on a data folder, with the options as they are loaded at start.
    void openForm(const QString& folder, const QString& tqslProgram = QString())
    {
        paths = std::make_unique<FakePaths>();
        paths->data = folder;
        FakeTqslLocator locator;
        locator.install.keyFound = true;
        locator.install.folder = tools.path();
        Options options;
        LoadOptionsForBatch(*paths, IniProfile(), locator, options);
        if (!tqslProgram.isEmpty())
            options.tqslExePath = tqslProgram;
        logPath = options.sourceMdbPath;
        refPath = options.refdataMdbPath;
        doc = std::make_unique<CBrindlewickDoc>(options.sourceMdbPath);
        frame = std::make_unique<CMainFrame>();
        view = new CBrindlewickView(*doc, options, *paths, desktop, messages);
        ConnectFormOperations(*view);
        frame->setView(view);
        view->OnInitialUpdate();
        frame->show();
        frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        ASSERT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
    }

    // Every line of a monitor.
    QStringList lines(MonitorModel& model) const
    {
        QStringList all;
        for (qsizetype i = 0; i < model.lineCount(); ++i)
            all.append(model.line(i));
        return all;
    }

    static QStringList dump(const QString& log)
    {
        return SqliteFixture::query(log, QStringLiteral("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid"));
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Status line texts shown while the form runs, sampled as the operator sees them.
    void recordStatus()
    {
        QObject::connect(view, &CBrindlewickView::runProgress, frame.get(), [this](const QString& text, int permille) {
            statusTexts.append(text);
            permilles.insert(permille);
            barsVisible = barsVisible || frame->runProgressBar()->isVisible();
            statusShown.append(frame->statusBar()->currentMessage());
        });
    }

    // Clicks Stop (or presses Escape) once the run has reported at least done units.
    void stopAt(qint64 done, bool escape)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isRunning() || progressDone() >= done; }, 60000));
        ASSERT_TRUE(view->isRunning()) << "the run ended before it could be stopped";
        if (escape)
            QTest::keyClick(view, Qt::Key_Escape);
        else
            click(*view, 1112);
        EXPECT_TRUE(view->progressText().endsWith(L(" - stopping"))) << view->progressText().toStdString();
    }

    // The progress the status line shows, as a number (the first one in it).
    qint64 progressDone() const
    {
        const QString text = view->progressText();
        const qsizetype colon = text.indexOf(QLatin1String(": "));
        if (colon < 0)
            return 0;
        QString number;
        for (qsizetype i = colon + 2; i < text.size() && (text.at(i).isDigit() || text.at(i) == QLatin1Char(',')
                                                          || text.at(i) == QLatin1Char('.'));
             ++i)
            number += text.at(i);
        number.remove(QLatin1Char(','));
        return text.contains(QLatin1String(" MB")) ? qint64(number.toDouble() * 1e6) : number.toLongLong();
    }

    // After a stopped import: the log, the lists and the date file are what an import of the
    // report cut after the records read gives, run by the batch command on a fresh folder.
    void expectStoppedImportKeepsWhatItRead(const QString& folder)
    {
        const QStringList download = lines(view->formMonitor().downloadModel());
        ASSERT_GE(download.size(), 2);
        ASSERT_EQ(download.last(), L("Stopped by the operator"));
        const QString said = download.at(download.size() - 2);
        const long records = said.section(QLatin1Char(' '), 0, 0).toLong();
        ASSERT_GT(records, 0) << said.toStdString();
        const QString kept = said.section(QLatin1String("the log keeps the "), 1).section(QLatin1Char(' '), 0, 0);
        EXPECT_EQ(kept, find<QLabel>(*view, 1056)->text());

        const QString reference = demo(QStringLiteral("reference"));
        const QByteArray report = read(folder + QStringLiteral("/lotwreport.adi"));
        qsizetype cut = 0;
        for (long i = 0; i < records; ++i) {
            cut = report.indexOf("<eor>\r\n", cut);
            ASSERT_GE(cut, 0);
            cut += 7;
        }
        QFile cutReport(reference + QStringLiteral("/lotwreport.adi"));
        ASSERT_TRUE(cutReport.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cutReport.write(report.left(cut) + "<APP_LoTW_EOF>\r\n");
        cutReport.close();
        const QByteArray datesBefore = read(reference + QStringLiteral("/quorvane2.dat"));
        const BatchOutput whole = batch(reference, {QStringLiteral("import")});
        ASSERT_EQ(whole.exitCode, 0) << whole.errors.toStdString();
        // The stopped run leaves the date file as the demo wrote it; the whole run moves it on.
        EXPECT_EQ(read(folder + QStringLiteral("/quorvane2.dat")), datesBefore);
        EXPECT_NE(read(reference + QStringLiteral("/quorvane2.dat")), datesBefore);
        EXPECT_TRUE(whole.counters.contains(QStringLiteral("LoTW Recs Used: ") + kept)) << whole.counters.toStdString();
        EXPECT_EQ(dump(logPath), dump(reference + QStringLiteral("/Dxbase.sqlite")));
        for (const char* file : {"/SemiQuorvaneImportedQSOs.txt", "/SemiQuorvaneErrors.txt"})
            EXPECT_EQ(read(folder + QLatin1String(file)), read(reference + QLatin1String(file))) << file;
        EXPECT_EQ(read(folder + QStringLiteral("/SemiQuorvaneImportedQSOs.txt")).count("\r\n"), kept.toLong());
        // Every monitor line of the stopped run is the batch run's, in order.
        EXPECT_EQ(download.mid(0, download.size() - 2), whole.lines);
    }

    TestDir dir;
    TestDir tools;
    QString tqsl;
    std::unique_ptr<RealTqsl> realTqsl;
    std::unique_ptr<LotwStandIn> lotw;
    std::unique_ptr<FakePaths> paths;
    FakeDesktop desktop;
    FakeMessageBox messages;
    std::unique_ptr<CBrindlewickDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    CBrindlewickView* view = nullptr;
    QString logPath;
    QString refPath;
    QStringList statusTexts;
    QStringList statusShown;
    std::set<int> permilles;
    bool barsVisible = false;
};

// An upload from the form writes the same log, upload file and lines as the batch command's,
// with its progress in the status bar while it runs and "Ready" again at its end.
TEST_F(FormRunTest, UploadShowsProgressAndEndsAsTheBatchCommand)
{
    if (!canSign())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    lotwTakesUploads();
    const QString formFolder = demo(QStringLiteral("form"));
    const QString batchFolder = demo(QStringLiteral("batch"));
    openForm(formFolder);
    recordStatus();
    click(*view, 1111); // sent to LoTW, as --tqsl-upload
    click(*view, 1004);
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lotw->requests().size(), 1u);

    // The batch command's TQSL has not signed these QSOs before either.
    realTqsl->forgetSignedQsos();
    const BatchOutput cli = batch(batchFolder, {QStringLiteral("upload"), QStringLiteral("--tqsl-upload")});
    ASSERT_EQ(cli.exitCode, 0) << cli.errors.toStdString();
    EXPECT_EQ(dump(logPath), dump(batchFolder + QStringLiteral("/Dxbase.sqlite")));
    EXPECT_EQ(read(formFolder + QStringLiteral("/LoTWUpload.adi")), read(batchFolder + QStringLiteral("/LoTWUpload.adi")));
    EXPECT_EQ(read(formFolder + QStringLiteral("/SemiQuorvaneErrors.txt")),
              read(batchFolder + QStringLiteral("/SemiQuorvaneErrors.txt")));
    // Every line, in order: the upload monitor has the batch command's lines but the problem
    // lines, which are the download monitor's.
    QStringList uploadLines;
    QStringList problemLines;
    for (QString line : cli.lines) {
        line.replace(batchFolder, formFolder);
        (line.startsWith(L("ERROR:  ")) || line.startsWith(L("Warning: ")) ? problemLines : uploadLines).append(line);
    }
    EXPECT_EQ(lines(view->formMonitor().uploadModel()), uploadLines);
    EXPECT_EQ(lines(view->formMonitor().downloadModel()), problemLines);
    EXPECT_TRUE(cli.counters.startsWith(QStringLiteral("QSOs Read-in: %1  ADIF Output: %2")
                                            .arg(find<QLabel>(*view, 1050)->text(), find<QLabel>(*view, 1053)->text())))
        << cli.counters.toStdString();
    EXPECT_EQ(find<QLabel>(*view, 1050)->text(), QString::number(kQsos));

    // Progress: rows of the log, as the status bar's message pane showed them.
    ASSERT_FALSE(statusTexts.isEmpty());
    EXPECT_EQ(statusTexts, statusShown);
    bool counted = false;
    for (const QString& text : statusTexts) {
        EXPECT_TRUE(text.startsWith(L("Upload"))) << text.toStdString();
        counted = counted || text.contains(L(" of 100,000 QSOs read"));
    }
    EXPECT_TRUE(counted) << statusTexts.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(barsVisible);
    EXPECT_EQ(frame->statusBar()->currentMessage(), L("Ready"));
    EXPECT_FALSE(frame->runProgressBar()->isVisible());
    EXPECT_TRUE(writableNow(logPath, kTouchLog));
    EXPECT_TRUE(writableNow(refPath, kTouchReference));
}

// An import from the form: the same log, lists, date file and lines as the batch command's,
// progress by the bytes of the report.
TEST_F(FormRunTest, ImportShowsProgressAndEndsAsTheBatchCommand)
{
    const QString formFolder = demo(QStringLiteral("form"));
    const QString batchFolder = demo(QStringLiteral("batch"));
    openForm(formFolder);
    recordStatus();
    click(*view, 1054);
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();

    const BatchOutput cli = batch(batchFolder, {QStringLiteral("import")});
    ASSERT_EQ(cli.exitCode, 0) << cli.errors.toStdString();
    EXPECT_EQ(dump(logPath), dump(batchFolder + QStringLiteral("/Dxbase.sqlite")));
    for (const char* file : {"/SemiQuorvaneImportedQSOs.txt", "/SemiQuorvaneErrors.txt", "/quorvane2.dat"})
        EXPECT_EQ(read(formFolder + QLatin1String(file)), read(batchFolder + QLatin1String(file))) << file;
    EXPECT_EQ(lines(view->formMonitor().downloadModel()), cli.lines);
    for (int id : {1055, 1056, 1058, 1060, 1107})
        EXPECT_TRUE(cli.counters.contains(find<QLabel>(*view, id)->text())) << id;

    ASSERT_FALSE(statusTexts.isEmpty());
    bool counted = false;
    for (const QString& text : statusTexts) {
        EXPECT_TRUE(text.startsWith(L("Import"))) << text.toStdString();
        counted = counted || text.contains(L(" MB of the report read"));
    }
    EXPECT_TRUE(counted) << statusTexts.join(QLatin1Char('\n')).toStdString();
    EXPECT_GE(*permilles.rbegin(), 0);
    EXPECT_EQ(frame->statusBar()->currentMessage(), L("Ready"));
    EXPECT_TRUE(writableNow(logPath, kTouchLog));
    EXPECT_TRUE(writableNow(refPath, kTouchReference));
}

// The import's status line names the stage it is in, each with its own count and bar: reading
// the log, matching the report (its counters provisional), saving the log.
TEST_F(FormRunTest, ImportProgressNamesEachStage)
{
    openForm(demo(QStringLiteral("form")));
    const QStringList expected{
        L("Import, reading the log: 150,000 of 300,000 QSOs read"),
        L("Import, matching: 9.1 of 18.2 MB of the report read - counters provisional until saved"),
        L("Import, saving the log: 20,000 of 40,000 rows written")};
    std::atomic<int> seen{0};
    QStringList shown;
    QObject::connect(view, &CBrindlewickView::runProgress, frame.get(), [&](const QString& text, int permille) {
        shown.append(text);
        const int at = seen.load();
        if (at < expected.size() && text == expected.at(at) && permille == 500)
            seen.store(at + 1);
    });
    std::atomic<bool> timedOut{false};
    view->setImportOperation([&](OperationContext& ctx) {
        const RunStage stages[] = {RunStage::ReadingLog, RunStage::Matching, RunStage::Saving};
        const qint64 totals[] = {300000, 18200000, 40000};
        for (int s = 0; s < 3; ++s) {
            ctx.monitor.ReportStage(stages[s]);
            ctx.monitor.ReportProgress(totals[s] / 2, totals[s]);
            // Each stage waits until the window has shown it.
            QElapsedTimer waited;
            waited.start();
            while (seen.load() <= s) {
                if (waited.elapsed() > 20000) {
                    timedOut = true;
                    return;
                }
                ctx.monitor.PumpMessages();
                QThread::msleep(10);
            }
        }
    });
    click(*view, 1054);
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_FALSE(timedOut.load()) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(seen.load(), 3) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(frame->statusBar()->currentMessage(), L("Ready"));
}

// Stop, by the button or Escape, at the start, in the middle of the walk and during the wait
// for TQSL: the log and the previous upload file stay exactly as they were.
TEST_F(FormRunTest, StoppedUploadChangesNothing)
{
    const QString folder = demo(QStringLiteral("form"));
    StandInTqsl hanging;
    hanging.ending = StandInTqsl::Ending::Hang;
    const QString hangingTqsl = hanging.write(tools.path(), QStringLiteral("tqsl-hangs"));
    openForm(folder, hangingTqsl);
    const QString upload = folder + QStringLiteral("/LoTWUpload.adi");
    const QStringList before = dump(logPath);
    struct Point
    {
        const char* name;
        qint64 done; // stop once this many rows are read; -1: during the wait for TQSL
        bool escape;
    };
    for (const Point& point : {Point{"start", 0, true}, Point{"walk", 40000, false}, Point{"tqsl", -1, true}}) {
        SCOPED_TRACE(point.name);
        QFile previous(upload);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly | QIODevice::Truncate));
        previous.write("the previous upload\r\n");
        previous.close();
        click(*view, 1004);
        if (point.done >= 0) {
            stopAt(point.done, point.escape);
        } else {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return lines(view->formMonitor().uploadModel()).filter(L("Starting TQSL")).size() == 1; }, 60000));
            QTest::keyClick(view, Qt::Key_Escape);
            EXPECT_TRUE(view->progressText().endsWith(L(" - stopping"))) << view->progressText().toStdString();
        }
        ASSERT_TRUE(waitForRun(*view));
        EXPECT_EQ(dump(logPath), before);
        EXPECT_EQ(read(upload), QByteArray("the previous upload\r\n"));
        EXPECT_FALSE(QFile::exists(upload + QStringLiteral(".previous")));
        const QStringList shown = lines(view->formMonitor().uploadModel());
        ASSERT_GE(shown.size(), 2);
        EXPECT_EQ(shown.last(), L("Stopped by the operator"));
        EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
        EXPECT_FALSE(find(*view, 1112)->isEnabled());
        EXPECT_TRUE(find(*view, 1004)->isEnabled());
        EXPECT_EQ(frame->statusBar()->currentMessage(), L("Ready"));
        EXPECT_TRUE(writableNow(logPath, kTouchLog));
    }
}

// A stopped import keeps what it committed, and its lists name exactly that.
TEST_F(FormRunTest, StoppedImportKeepsTheCommittedPart)
{
    const QString folder = demo(QStringLiteral("form"));
    lengthenReport(folder);
    openForm(folder);
    click(*view, 1054);
    stopAt(read(folder + QStringLiteral("/lotwreport.adi")).size() / 3, false);
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(writableNow(logPath, kTouchLog));
    expectStoppedImportKeepsWhatItRead(folder);
}

// Closing the window in the middle of an import asks; Yes stops the import, whose committed
// part stays, and then closes the window.
TEST_F(FormRunTest, ClosingDuringAnImportStopsItAndCloses)
{
    const QString folder = demo(QStringLiteral("form"));
    lengthenReport(folder);
    openForm(folder);
    click(*view, 1054);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isRunning() || progressDone() > 1000000; }, 60000));
    ASSERT_TRUE(view->isRunning());
    messages.answer = true;
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(messages.asked.size(), 1);
    EXPECT_TRUE(messages.asked[0].startsWith(L("The import is still running."))) << messages.asked[0].toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 60000));
    EXPECT_FALSE(view->isRunning());
    expectStoppedImportKeepsWhatItRead(folder);
}

// With the window open and idle, and right after each kind of run, another program can write
// the log and the reference database at once.
TEST_F(FormRunTest, LogStaysFreeWhileIdleAndAfterEveryRun)
{
    if (!canSign())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    const QString folder = demo(QStringLiteral("form"));
    openForm(folder);
    EXPECT_TRUE(doc->qsoSet().isOpen());
    EXPECT_TRUE(writableNow(logPath, kTouchLog));
    EXPECT_TRUE(writableNow(refPath, kTouchReference));
    QTest::qWait(200);
    EXPECT_TRUE(writableNow(logPath, kTouchLog));

    struct Step
    {
        const char* name;
        int button;
        bool test; // "Test only"
    };
    for (const Step& step : {Step{"test upload", 1004, true}, Step{"upload", 1004, false},
                             Step{"report request", 1057, false}, Step{"import", 1054, false}}) {
        SCOPED_TRACE(step.name);
        if (find<QCheckBox>(*view, 1045)->isChecked() != step.test)
            click(*view, 1045);
        // The report page in the browser: no test asks the real LoTW.
        if (!find<QCheckBox>(*view, 1115)->isChecked())
            click(*view, 1115);
        click(*view, step.button);
        ASSERT_TRUE(waitForRun(*view));
        EXPECT_TRUE(writableNow(logPath, kTouchLog));
        EXPECT_TRUE(writableNow(refPath, kTouchReference));
    }
    EXPECT_EQ(desktop.urls.size(), 2); // the upload page and the report page
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
}

// A modal box opened on the window in the middle of a run (the About box) does not hold the
// run up: the run commits and ends while the box is open, and the log is free before it closes.
TEST_F(FormRunTest, AboutBoxDuringARunDoesNotHoldItsTransaction)
{
    const QString folder = demo(QStringLiteral("form"));
    openForm(folder);
    click(*view, 1054);
    ASSERT_TRUE(view->isRunning());
    bool endedWhileOpen = false;
    bool writableWhileOpen = false;
    bool boxWasOpen = false;
    bool runningWhenOpened = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!boxWasOpen)
            runningWhenOpened = view->isRunning();
        boxWasOpen = true;
        if (view->isRunning())
            return;
        endedWhileOpen = true;
        writableWhileOpen = writableNow(logPath, kTouchLog);
        watch.stop();
        box->accept();
    });
    watch.start(20);
    QTimer::singleShot(120000, [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            box->reject();
    });
    frame->OnAppAbout(); // modal: returns when the box is closed
    EXPECT_TRUE(boxWasOpen);
    EXPECT_TRUE(runningWhenOpened);
    EXPECT_TRUE(endedWhileOpen);
    EXPECT_TRUE(writableWhileOpen);
    EXPECT_FALSE(view->isRunning());
    EXPECT_NE(find<QLabel>(*view, 1056)->text(), L("0"));
}

// A message an operation shows while its write transaction is open does not keep the
// transaction open: the operation goes on and ends while the box is still open.
TEST_F(FormRunTest, MessageOfARunDoesNotHoldItsTransaction)
{
    const QString folder = demo(QStringLiteral("form"));
    openForm(folder);
    const QString log = logPath;
    view->setImportOperation([log](OperationContext& ctx) {
        std::shared_ptr<Connection> db = Connection::open(log);
        db->beginTransaction();
        RowKey key;
        key.rowid = 1;
        db->update(QsoTable::name(), key, {QsoTable::column(QsoColumn::Note)},
                   {QStringLiteral("written before the message")});
        ctx.monitor.ShowMessage(QStringLiteral("Something went wrong with a county lookup"));
        db->commit();
        ctx.monitor.AddDownloadEvent(QStringLiteral("committed"));
    });
    bool endedWhileShown = false;
    bool writableWhileShown = false;
    messages.onShow = [&](const QString&) {
        endedWhileShown = QTest::qWaitFor([&] { return !view->isRunning(); }, 30000);
        writableWhileShown = writableNow(logPath, kTouchLog);
    };
    click(*view, 1054);
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_EQ(messages.shown, QStringList{L("Something went wrong with a county lookup")});
    EXPECT_TRUE(endedWhileShown);
    EXPECT_TRUE(writableWhileShown);
    EXPECT_EQ(SqliteFixture::query(logPath, QStringLiteral("SELECT [QSO-NOTE] FROM [QSO-TAB] WHERE rowid = 1")),
              QStringList{L("written before the message")});
    EXPECT_EQ(lines(view->formMonitor().downloadModel()), QStringList{L("committed")});
}

// The same message coming again and again while its box is open is shown once more, with its count.
TEST_F(FormRunTest, RepeatedMessagesWaitAndComeOnce)
{
    const QString folder = demo(QStringLiteral("form"));
    openForm(folder);
    view->setImportOperation([](OperationContext& ctx) {
        for (int i = 0; i < 50; ++i)
            ctx.monitor.ShowMessage(QStringLiteral("The county table could not be read"));
        ctx.monitor.ShowMessage(QStringLiteral("Another message"));
    });
    messages.onShow = [&](const QString&) {
        if (messages.shown.size() == 1) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !view->isRunning(); }, 30000));
        }
    };
    click(*view, 1054);
    ASSERT_TRUE(waitForRun(*view));
    ASSERT_GE(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown.first(), L("The county table could not be read"));
    // Every one of the 50 is accounted for, in order, and the other message comes last.
    int count = 1;
    for (qsizetype i = 1; i + 1 < messages.shown.size(); ++i) {
        const QString& text = messages.shown.at(i);
        ASSERT_TRUE(text.startsWith(L("The county table could not be read"))) << text.toStdString();
        const qsizetype at = text.indexOf(L("(This message came "));
        count += at < 0 ? 1 : text.mid(at + 19).section(QLatin1Char(' '), 0, 0).toInt();
    }
    EXPECT_EQ(count, 50);
    EXPECT_EQ(messages.shown.last(), L("Another message"));
}

struct ProgressCase
{
    const char* name;
    const char* title;
    ProgressUnit unit;
    qint64 done;
    qint64 total;
    qint64 elapsedMs;
    const char* text;
    int permille;
    qint64 doneBefore = 0; // a stage that goes on where it was left
};

// The case by its name in test listings (not its bytes).
void PrintTo(const ProgressCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgressLine : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressLine, Text)
{
    const ProgressCase& c = GetParam();
    EXPECT_EQ(ProgressText(L(c.title), c.unit, c.done, c.total, c.elapsedMs, c.doneBefore), L(c.text));
    EXPECT_EQ(ProgressPermille(c.done, c.total), c.permille);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressLine,
    ::testing::Values(
        ProgressCase{"NothingYet", "Upload", ProgressUnit::Qsos, 0, 0, 5000, "Upload running", -1},
        ProgressCase{"NoUnit", "Report request", ProgressUnit::None, 5, 10, 5000, "Report request running", 500},
        ProgressCase{"FirstSecond", "Upload", ProgressUnit::Qsos, 1234, 1000000, 900,
                     "Upload: 1,234 of 1,000,000 QSOs read", 1},
        ProgressCase{"RateAndLeft", "Upload", ProgressUnit::Qsos, 412345, 1000000, 8000,
                     "Upload: 412,345 of 1,000,000 QSOs read, 51,543 QSOs/s, 0:11 left", 412},
        // Once everything is read the run may still wait (for TQSL, for the log): no time left is claimed.
        ProgressCase{"Done", "Upload", ProgressUnit::Qsos, 1000000, 1000000, 20000,
                     "Upload: all 1,000,000 QSOs read, finishing", 1000},
        ProgressCase{"BeyondTotal", "Upload", ProgressUnit::Qsos, 12, 10, 2000, "Upload: all 10 QSOs read, finishing",
                     1000},
        ProgressCase{"AllOfTheReport", "Import", ProgressUnit::Bytes, 60700000, 60700000, 4600,
                     "Import: all of the 60.7 MB report read, finishing", 1000},
        ProgressCase{"NoTotal", "Upload", ProgressUnit::Qsos, 500, 0, 2000, "Upload: 500 QSOs read, 250 QSOs/s", -1},
        ProgressCase{"Megabytes", "Import", ProgressUnit::Bytes, 23400000, 60700000, 4600,
                     "Import: 23.4 of 60.7 MB of the report read, 5.1 MB/s, 0:07 left", 385},
        ProgressCase{"Kilobytes", "Import", ProgressUnit::Bytes, 4100, 820000, 3000,
                     "Import: 4 of 820 KB of the report read, 1 KB/s, 9:57 left", 5},
        ProgressCase{"Hours", "Import", ProgressUnit::Bytes, 1000000, 100000000, 60000,
                     "Import: 1.0 of 100.0 MB of the report read, 0.0 MB/s, 1:39:00 left", 10},
        ProgressCase{"RowsWritten", "Import, saving the log", ProgressUnit::Rows, 2048, 10000, 2000,
                     "Import, saving the log: 2,048 of 10,000 rows written, 1,024 rows/s, 0:08 left", 204},
        ProgressCase{"AllRowsWritten", "Import, saving the log", ProgressUnit::Rows, 10000, 10000, 2000,
                     "Import, saving the log: all 10,000 rows written, finishing", 1000},
        // The matching goes on after the log was read: its rate counts only what came since.
        ProgressCase{"GoesOnWhereItWasLeft", "Import, matching", ProgressUnit::Bytes, 3300000, 60700000,
                     2000, "Import, matching: 3.3 of 60.7 MB of the report read, 1.5 MB/s, 0:38 left", 54,
                     300000},
        ProgressCase{"NothingSinceItWentOn", "Import, matching", ProgressUnit::Bytes, 300000, 60700000,
                     2000, "Import, matching: 0.3 of 60.7 MB of the report read", 4, 300000}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {
// "Undo last upload/import..." names the run and takes it back once the operator confirms; a
// second time it says the run is undone already. "Back up the log..." leaves a copy that holds
// the log as it is.
TEST_F(FormRunTest, UndoAndBackUpFromTheMenu)
{
    if (!canSign())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    lotwTakesUploads();
    const QString folder = dir.file(QStringLiteral("small"));
    ASSERT_EQ(batch(folder, {QStringLiteral("demo"), QStringLiteral("--qsos"), QStringLiteral("3000")}).exitCode, 0);
    openForm(folder);
    const QStringList before = dump(logPath);
    click(*view, 1111);
    click(*view, 1004);
    ASSERT_TRUE(waitForRun(*view));
    const QStringList uploaded = dump(logPath);
    ASSERT_NE(uploaded, before);

    // Not confirmed: nothing happens.
    messages.answer = false;
    view->OnUndoLast();
    ASSERT_EQ(messages.asked.size(), 1);
    EXPECT_TRUE(messages.asked.at(0).startsWith(QStringLiteral("Undo the upload of "))) << messages.asked.at(0).toStdString();
    EXPECT_TRUE(messages.asked.at(0).contains(QStringLiteral(" rows)?"))) << messages.asked.at(0).toStdString();
    EXPECT_EQ(dump(logPath), uploaded);

    messages.answer = true;
    view->OnUndoLast();
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_EQ(dump(logPath), before);
    EXPECT_TRUE(lines(view->formMonitor().downloadModel()).filter(QStringLiteral("Restored ")).size() == 1);

    messages.shown.clear();
    view->OnUndoLast();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.at(0).contains(QStringLiteral("was undone already"))) << messages.shown.at(0).toStdString();

    messages.shown.clear();
    view->OnBackUpLog();
    ASSERT_TRUE(waitForRun(*view));
    const QStringList copies = QDir(folder + QStringLiteral("/backup")).entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(dump(folder + QStringLiteral("/backup/") + copies.first()), before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 5000));
    EXPECT_TRUE(messages.shown.last().startsWith(QStringLiteral("The log is copied to "))) << messages.shown.last().toStdString();
}
} // namespace

namespace {
// The window's undo passes over a run a kill left before the log took it, saying so, and takes
// back the run before it; a run lock left behind by a kill is taken over with a note in the
// monitor.
TEST_F(FormRunTest, UndoPassesOverARunTheLogNeverTook)
{
    const QString folder = dir.file(QStringLiteral("small"));
    ASSERT_EQ(batch(folder, {QStringLiteral("demo"), QStringLiteral("--qsos"), QStringLiteral("300")}).exitCode, 0);
    const QString log = folder + QStringLiteral("/Dxbase.sqlite");
    const QStringList before = dump(log);
    ASSERT_EQ(batch(folder, {QStringLiteral("upload"), QStringLiteral("--no-handoff")}).exitCode, 0);
    const QStringList uploaded = dump(log);
    ASSERT_NE(uploaded, before);
    // A later run kept what it was about to change and was killed before the log took it.
    {
        std::unique_ptr<UndoJournal> journal = UndoJournal::begin(
            folder, QStringLiteral("import"), log, {QsoTable::column(QsoColumn::Confirm)});
        RowKey key;
        key.rowid = 1;
        journal->add(key, {QStringLiteral("0")}, {QStringLiteral("2")});
        journal->seal();
    }
    // And a kill left the run lock empty.
    QFile lock(folder + QStringLiteral("/quorvane.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();

    openForm(folder);
    messages.answer = true;
    view->OnUndoLast();
    ASSERT_EQ(messages.asked.size(), 1);
    const QString& question = messages.asked.at(0);
    EXPECT_TRUE(question.contains(QStringLiteral("was interrupted before the log took its changes"))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("Undo the upload of "))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("An empty run lock"))) << question.toStdString();
    ASSERT_TRUE(waitForRun(*view));
    EXPECT_EQ(dump(log), before);
    const QStringList said = lines(view->formMonitor().downloadModel());
    EXPECT_EQ(said.filter(QStringLiteral("Restored ")).size(), 1) << said.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/quorvane.lock")));

    // A lock left behind before a run: the run says it took it over.
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    view->OnBackUpLog();
    ASSERT_TRUE(waitForRun(*view));
    const QStringList backedUp = lines(view->formMonitor().downloadModel());
    EXPECT_EQ(backedUp.filter(QStringLiteral("Note: An empty run lock")).size(), 1)
        << backedUp.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/quorvane.lock")));
}
} // namespace
