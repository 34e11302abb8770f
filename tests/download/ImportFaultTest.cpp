// Failures injected where they really happen during an import: a reader holding the log at
// the commit, a full disk, a trigger that refuses a row, a mark left by a killed run. After
// each, the imported-QSO list, the counters, the date file and the log agree.

#include "demo/DemoData.h"
#include "download/ImportRun.h"
#include "undo/UndoJournal.h"
#include "logdb/Connection.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "support/Fakes.h"
#include "support/FileSizeLimit.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include "Printing.h"

#include <gtest/gtest.h>

#include <QFile>
#include <chrono>
#include <csignal>
#include <sqlite3.h>
#include <thread>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

QByteArray F(const char* name, const QByteArray& value)
{
    return "<" + QByteArray(name) + ":" + QByteArray::number(value.size()) + ">" + value + "\r\n";
}

// Another program reading the log: an open read transaction holds its shared lock until
// release().
class LogReader
{
public:
    explicit LogReader(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "SELECT count(*) FROM [QSO-TAB]", nullptr, nullptr, nullptr);
    }
    ~LogReader()
    {
        release();
        sqlite3_close(m_db);
    }
    void release() { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }

private:
    sqlite3* m_db = nullptr;
};

constexpr int kQsos = 40;

// Each case runs on the SQLite engine and, where the SQLite3 ODBC driver is installed, on
// the same file through ODBC.
class ImportFaultTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        logPath = dir.file(QStringLiteral("log.sqlite"));
        refPath = dir.file(QStringLiteral("ref.sqlite"));
        DemoData::writeLog(logPath, 0, 1);
        DemoData::writeRefdata(refPath);
        paths.data = dir.path();
        // The ODBC driver's own wait for a busy log, kept short here.
        const QString odbcPrefix = QStringLiteral("odbc:DRIVER=SQLite3;Timeout=2000;Database=");
        if (GetParam() && !CheckEngineAvailable(odbcPrefix + logPath).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
        options.sourceMdbPath = GetParam() ? odbcPrefix + logPath : logPath;
        options.refdataMdbPath = GetParam() ? odbcPrefix + refPath : refPath;
        options.errorFilePath = dir.file(QStringLiteral("SemiQuorvaneErrors.txt"));
        options.importedListPath = dir.file(QStringLiteral("SemiQuorvaneImportedQSOs.txt"));
        choices.ImportScope = 1;
        choices.OverwriteChoice = 0;

        QStringList inserts{L("BEGIN")};
        QByteArray records;
        for (int i = 0; i < kQsos; ++i) {
            const QByteArray call = "K" + QByteArray::number(i) + "QV";
            inserts.append(QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND],"
                                          "[QSO-OPRCALL],[QSO-CONFIRM],[QSO-AWARD]) VALUES ('%1','20110305','1000%2','2',"
                                          "'6','K1QVN','0',0)")
                               .arg(QString::fromLatin1(call))
                               .arg(i % 60, 2, 10, QLatin1Char('0')));
            records += record(call, "1000" + QByteArray::number(i % 60).rightJustified(2, '0'), "20110310");
            if (i % 10 == 3) // one that matches nothing
                records += record("N" + call, "100000", "20110311");
        }
        inserts.append(L("COMMIT"));
        SqliteFixture::exec(logPath, inserts);
        report = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
                 "<PROGRAMID:4>LoTW\r\n<eoh>\r\n" + records + "<APP_LoTW_EOF>\r\n";
        dir.write(QStringLiteral("lotwreport.adi"), report);
        dir.write(QStringLiteral("quorvane2.dat"), kDateFile);
        before = dump();
    }

    static QByteArray record(const QByteArray& call, const QByteArray& time, const char* qslDate)
    {
        return F("APP_LoTW_OWNCALL", "K1QVN") + F("STATION_CALLSIGN", "K1QVN") + F("CALL", call) + F("BAND", "20M")
               + F("MODE", "CW") + F("QSO_DATE", "20110305") + F("TIME_ON", time) + F("QSL_RCVD", "Y")
               + F("QSLRDATE", qslDate) + F("CQZ", "5") + F("CREDIT_GRANTED", "DXCC") + "<eor>\r\n\r\n";
    }

    bool run(bool keepUndo = true)
    {
        ImportRun importRun(options, choices, paths, monitor);
        importRun.setKeepUndo(keepUndo);
        const bool ok = importRun.OnLotwImport();
        if (const auto dates = importRun.result().savedDates)
            ImportRun::applySavedDates(choices, *dates);
        return ok;
    }

    QStringList dump() const { return SqliteFixture::query(logPath, L("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid")); }
    QStringList listed() const
    {
        QStringList lines = QString::fromLatin1(dir.read(QStringLiteral("SemiQuorvaneImportedQSOs.txt")))
                                .split(QStringLiteral("\r\n"));
        lines.removeLast(); // after the last line end
        return lines;
    }
    // The calls of the rows the log holds as confirmed by this run.
    QStringList confirmed() const
    {
        return SqliteFixture::query(logPath, L("SELECT [QSO-CALL] FROM [QSO-TAB] WHERE [QSO-CONFIRM]='2' AND "
                                               "[QSO-LOTWREC]='20110310' AND [QSO-AWARD]=1 AND [QSO-CQ-ZONE]='05' "
                                               "ORDER BY rowid"));
    }

    // What a run that saved nothing leaves: the log, the list, the counters and the date file
    // as they were, and the reason in one line.
    void expectNothingSaved(const char* reason, const QString& discarded = QString(), bool waited = false)
    {
        EXPECT_EQ(dump(), before);
        EXPECT_TRUE(listed().isEmpty()) << listed().join(L("\n")).toStdString();
        for (Counter counter : {Counter::DownloadReadIn, Counter::DownloadRecsUsed, Counter::DownloadNewDxcc,
                            Counter::DownloadErrors, Counter::DownloadWarnings})
            EXPECT_EQ(monitor.counter(counter), 0) << int(counter);
        EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), kDateFile);
        EXPECT_EQ(choices.sinceDate, QString());
        ASSERT_EQ(monitor.messages.size(), 1);
        EXPECT_TRUE(monitor.messages[0].contains(L(reason))) << monitor.messages[0].toStdString();
        const QString expected = discarded.isNull()
                                     ? QStringLiteral("The %1 records read from the report were discarded").arg(kQsos + kQsos / 10)
                                     : discarded;
        EXPECT_TRUE(monitor.messages[0].contains(expected)) << monitor.messages[0].toStdString();
        const QString first = monitor.messages[0].section(QLatin1Char('\n'), 0, 0);
        // A wait for another program is said while it goes on.
        const QStringList lines = waited ? QStringList{WaitNoticeText(options.sourceMdbPath), first} : QStringList{first};
        EXPECT_EQ(monitor.download, lines);
        EXPECT_EQ(dir.read(QStringLiteral("SemiQuorvaneErrors.txt")), first.toLatin1() + "\r\n");
        EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::RedArrow);
        EXPECT_EQ(SqliteFixture::query(logPath, L("PRAGMA integrity_check")), QStringList{L("ok")});
    }

    // The lines of the list name exactly the rows the log holds as confirmed, and the counters
    // count them.
    void expectListMatchesLog()
    {
        QStringList calls;
        for (const QString& line : listed())
            calls.append(line.section(QLatin1Char(' '), 0, 0));
        EXPECT_EQ(calls, confirmed());
        EXPECT_EQ(monitor.counter(Counter::DownloadRecsUsed), calls.size());
        EXPECT_EQ(monitor.counter(Counter::DownloadNewDxcc), calls.size());
    }

    static inline const QByteArray kDateFile = "1\r\n2020-01-01\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n";
    TestDir dir;
    QString logPath;
    QString refPath;
    FakePaths paths;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    QByteArray report;
    QStringList before;
};

TEST_P(ImportFaultTest, RunToItsEnd)
{
    EXPECT_TRUE(run());
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
    EXPECT_EQ(confirmed().size(), kQsos);
    expectListMatchesLog();
    EXPECT_EQ(monitor.counter(Counter::DownloadReadIn), kQsos + kQsos / 10);
    // The report has no cursor of LoTW's: its newest QSL date is kept.
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), QByteArray("1\r\n2011-03-11\x05" "0:-1:1:0:0:0:0:0:0:0:0:0\r\n"));
    EXPECT_FALSE(QFile::exists(ImportRun::unfinishedMarkPath(paths)));
    // A second run gives the same log as one run.
    const QStringList once = dump();
    choices.ImportScope = 0;
    EXPECT_TRUE(run());
    EXPECT_EQ(dump(), once);
}

// Another program reads the log the whole time: the commit waits 5 seconds for it, then the run
// gives up and says why; nothing of it is saved, listed or counted.
TEST_P(ImportFaultTest, ReaderHoldsTheLogAtTheCommit)
{
    LogReader reader(logPath);
    EXPECT_FALSE(run());
    expectNothingSaved("is in use by another program", QString(), !GetParam());
    reader.release();
    // Once the reader has gone, the next run saves everything.
    monitor = RecordingMonitor();
    EXPECT_TRUE(run());
    EXPECT_EQ(confirmed().size(), kQsos);
    expectListMatchesLog();
}

// Another program writes the log: the run waits 5 seconds for it (the ODBC driver as long as
// its connection says), then gives up before it has read a row.
TEST_P(ImportFaultTest, WriterHoldsTheLog)
{
    sqlite3* writer = nullptr;
    sqlite3_open_v2(logPath.toUtf8().constData(), &writer, SQLITE_OPEN_READWRITE, nullptr);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(run());
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    // Through ODBC the rows are read before the first write finds the log held.
    expectNothingSaved("is in use by another program",
                       GetParam() ? QString() : QStringLiteral("The record read from the report was discarded"),
                       !GetParam());
}

// A reader that lets go within the wait: the commit goes through.
TEST_P(ImportFaultTest, ReaderLetsGoWithinTheWait)
{
    auto reader = std::make_unique<LogReader>(logPath);
    std::thread letGo([&reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        reader->release();
    });
    EXPECT_TRUE(run());
    letGo.join();
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
    EXPECT_EQ(confirmed().size(), kQsos);
    expectListMatchesLog();
}

// The disk is full when the log is saved (the journal can't grow): nothing is saved.
TEST_P(ImportFaultTest, FullDiskAtTheCommit)
{
    SKIP_WITHOUT_FILE_SIZE_LIMIT();
#ifndef _WIN32
    const qint64 size = QFile(logPath).size();
    {
        // Without before-images to keep, the disk fills at the log's commit.
        FileSizeLimit limit(rlim_t(size / 2));
        EXPECT_FALSE(run(false));
    }
    expectNothingSaved("The import stopped on an error of the log");
    // The log is whole and takes the next run.
    monitor = RecordingMonitor();
    EXPECT_TRUE(run());
    expectListMatchesLog();
#endif
}

// A full disk while the before-images are kept: the run does not write the log.
TEST_P(ImportFaultTest, FullDiskForTheBeforeImages)
{
    SKIP_WITHOUT_FILE_SIZE_LIMIT();
#ifndef _WIN32
    {
        FileSizeLimit limit(rlim_t(8 * 1024));
        EXPECT_FALSE(run());
    }
    expectNothingSaved("What this run changes could not be kept in ");
    EXPECT_TRUE(monitor.messages[0].contains(L("so the run changes nothing"))) << monitor.messages[0].toStdString();
    EXPECT_TRUE(QDir(dir.file(QStringLiteral("undo"))).entryList(QDir::Files).isEmpty());
    // The log is whole and takes the next run.
    monitor = RecordingMonitor();
    EXPECT_TRUE(run());
    expectListMatchesLog();
#endif
}

// The list can't be written once the log has saved its rows: the system's reason, and the
// date file as it was, so that the next request asks for these QSLs again.
TEST_P(ImportFaultTest, FullDiskForTheList)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    options.importedListPath = QStringLiteral("/dev/full");
    EXPECT_FALSE(run());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages[0].contains(L("/dev/full"))) << monitor.messages[0].toStdString();
    EXPECT_TRUE(monitor.messages[0].contains(L("No space left on device"))) << monitor.messages[0].toStdString();
    EXPECT_FALSE(monitor.messages[0].contains(L("Unknown error"))) << monitor.messages[0].toStdString();
    EXPECT_TRUE(monitor.messages[0].contains(L("The log holds every QSO this import confirmed")))
        << monitor.messages[0].toStdString();
    EXPECT_EQ(confirmed().size(), kQsos);
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), kDateFile);
}

// A trigger refuses the update of one row: that record alone gets an error line, every other
// one is saved and listed, and a later record of the same QSO sees the row as the log holds it.
TEST_P(ImportFaultTest, TriggerRefusesOneRow)
{
    SqliteFixture::exec(logPath, {L("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN OLD.[QSO-CALL]='K7QV' "
                                    "AND NEW.[QSO-AWARD]=1 BEGIN SELECT RAISE(ABORT, 'no award for K7QV'); END")});
    // A second record of K7QV without a credit: its update is taken.
    QByteArray again = record("K7QV", "100007", "20110312");
    again.replace(F("CREDIT_GRANTED", "DXCC"), "");
    report.replace("<APP_LoTW_EOF>", again + "<APP_LoTW_EOF>");
    dir.write(QStringLiteral("lotwreport.adi"), report);
    EXPECT_TRUE(run());
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
    const QStringList lines = listed();
    ASSERT_EQ(lines.size(), kQsos);
    EXPECT_EQ(lines.filter(L("K7QV ")).size(), 1); // the second record only
    EXPECT_EQ(lines.last(), L("K7QV 20110305 100007 14 CW"));
    EXPECT_EQ(SqliteFixture::query(logPath, L("SELECT [QSO-CONFIRM],[QSO-LOTWREC],[QSO-AWARD] FROM [QSO-TAB] "
                                              "WHERE [QSO-CALL]='K7QV'")),
              QStringList{L("2|20110312|0")});
    const QByteArray errors = dir.read(QStringLiteral("SemiQuorvaneErrors.txt"));
    EXPECT_TRUE(errors.contains("ERROR:     K7QV ")) << errors.constData();
    EXPECT_TRUE(errors.contains("no award for K7QV")) << errors.constData();
    EXPECT_EQ(monitor.counter(Counter::DownloadRecsUsed), kQsos);
    EXPECT_EQ(monitor.counter(Counter::DownloadNewDxcc), kQsos - 1);
    EXPECT_EQ(confirmed().size(), kQsos - 1);
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), QByteArray("1\r\n2011-03-12\x05" "0:-1:1:0:0:0:0:0:0:0:0:0\r\n"));
}

// The operator stops a run whose log refuses a row: the second pass over the report stops
// after the same record as the first, and what is saved, listed and counted agrees.
TEST_P(ImportFaultTest, StopWhileARowIsRefused)
{
    SqliteFixture::exec(logPath, {L("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN OLD.[QSO-CALL]='K7QV' "
                                    "BEGIN SELECT RAISE(ABORT, 'no update for K7QV'); END")});
    // Each record takes 13 lines; the Stop comes while the twenty-first is read.
    monitor.onPump = [this](int pumps) {
        if (pumps == 5 + 20 * 13 + 3)
            monitor.stopRequested = true;
    };
    EXPECT_FALSE(run());
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
    ASSERT_GE(monitor.download.size(), 2);
    EXPECT_EQ(monitor.download.last(), L("Stopped by the operator"));
    // 21 records: 19 QSOs of the log (K7QV refused) and two that match nothing.
    EXPECT_TRUE(monitor.download.at(monitor.download.size() - 2).startsWith(L("21 records of the report were read; "
                                                                              "the log keeps the 18 QSOs")))
        << monitor.download.at(monitor.download.size() - 2).toStdString();
    EXPECT_EQ(confirmed().size(), 18);
    expectListMatchesLog();
    const QByteArray errors = dir.read(QStringLiteral("SemiQuorvaneErrors.txt"));
    EXPECT_EQ(errors.count("no update for K7QV"), 1) << errors.constData();
}

// A trigger that gives up the whole transaction: nothing of the run stays.
TEST_P(ImportFaultTest, TriggerGivesUpTheTransaction)
{
    if (GetParam())
        GTEST_SKIP() << "through ODBC a transaction the engine gave up can't be told from one still open";
    SqliteFixture::exec(logPath, {L("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN OLD.[QSO-CALL]='K7QV' "
                                    "BEGIN SELECT RAISE(ROLLBACK, 'the log gives up'); END")});
    EXPECT_FALSE(run());
    expectNothingSaved("the log gives up");
}

// A run killed after its commit leaves its mark; the next run says so, once.
TEST_P(ImportFaultTest, MarkOfAnInterruptedRun)
{
    QFile mark(ImportRun::unfinishedMarkPath(paths));
    ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
    mark.close();
    EXPECT_TRUE(run());
    ASSERT_FALSE(monitor.download.isEmpty());
    EXPECT_TRUE(monitor.download[0].startsWith(L("Note: the previous import was interrupted")))
        << monitor.download[0].toStdString();
    EXPECT_TRUE(dir.read(QStringLiteral("SemiQuorvaneErrors.txt")).startsWith("Note: the previous import was interrupted"));
    EXPECT_FALSE(QFile::exists(ImportRun::unfinishedMarkPath(paths)));
    expectListMatchesLog();
    monitor = RecordingMonitor();
    EXPECT_TRUE(run());
    EXPECT_TRUE(monitor.download.filter(L("interrupted")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportFaultTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Odbc" : "Sqlite"; });
} // namespace

namespace {
// An import, then its undo: the log is row for row, column for column what it was; rows
// another program changed since are left alone and named.
TEST_P(ImportFaultTest, ImportThenUndo)
{
    ASSERT_TRUE(run());
    const std::vector<UndoEntry> runs = ListUndoRuns(dir.path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].kind, QStringLiteral("import"));
    EXPECT_EQ(runs[0].rows, qint64(confirmed().size()));
    const UndoResult result = UndoRunAt(runs[0], options.sourceMdbPath);
    EXPECT_EQ(result.restored, runs[0].rows);
    EXPECT_EQ(result.leftAlone, 0);
    const QStringList undone = dump();
    ASSERT_EQ(undone.size(), before.size());
    for (qsizetype i = 0; i < undone.size(); ++i)
        EXPECT_EQ(undone.at(i), before.at(i));

    // Again, with a row changed by another program in between.
    monitor = RecordingMonitor();
    ASSERT_TRUE(run());
    SqliteFixture::exec(logPath, {L("UPDATE [QSO-TAB] SET [QSO-CONFIRM]='9' WHERE [QSO-CALL]='K7QV'")});
    const UndoResult second = UndoRunAt(ListUndoRuns(dir.path()).front(), options.sourceMdbPath);
    EXPECT_EQ(second.leftAlone, 1);
    EXPECT_EQ(second.leftAloneLines.size(), 1);
    EXPECT_TRUE(second.leftAloneLines.value(0).startsWith(L("K7QV "))) << second.leftAloneLines.value(0).toStdString();
    const QStringList now = dump();
    qsizetype differ = 0;
    for (qsizetype i = 0; i < now.size(); ++i)
        differ += now.at(i) != before.at(i) ? 1 : 0;
    EXPECT_EQ(differ, 1);
}
} // namespace
