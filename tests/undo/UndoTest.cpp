#include "support/UploadLogFixture.h"
#include "logdb/QsoTable.h"

#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "undo/LogBackup.h"
#include "undo/UndoJournal.h"
#include "upload/UploadRun.h"

#include "support/Fakes.h"
#include "support/FileSizeLimit.h"
#include "support/SqliteFixture.h"
#include "support/RealTqsl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

using Row = std::map<std::string, std::string>;

Row qso(const std::string& call, const std::string& qsls)
{
    return {{"QSO-CALL", call},    {"QSO-DATE", "20240315"}, {"QSO-TIME", "142530"}, {"QSO-OPRCALL", "K1ABC"},
            {"QSO-BAND", "6"},     {"QSO-MODE", "2"},        {"QSO-QSLS", qsls},     {"QSO-PREFIX", "DL"},
            {"QSO-NAME", "Name \xc3\xa9"}, {"QSO-CONFIRM", "0"}};
}

enum class Engine { Sqlite, Odbc };
// The engine by its name in test listings.
void PrintTo(Engine engine, std::ostream* os)
{
    *os << (engine == Engine::Sqlite ? "Sqlite" : "Odbc");
}

// Upload, then undo, through both engines: the log is row for row, column for column what it
// was before the upload.
class UndoTest : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        file = dir.file(S("log.sqlite"));
        logPath = GetParam() == Engine::Sqlite ? file : S("odbc:DRIVER=SQLite3;Database=") + file;
        if (GetParam() == Engine::Odbc && !CheckEngineAvailable(logPath).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
        SqliteFile log(file);
        CreateQsoTable(log);
        log.exec("BEGIN");
        for (int i = 0; i < 300; ++i)
            InsertQso(log, qso("DL" + std::to_string(i) + "AB", i % 3 == 0 ? "1" : i % 3 == 1 ? "0" : "2"));
        log.exec("COMMIT");
        setUpUpload();
    }
    // The reference database, and the options and choices of an upload of the log at logPath
    // that the real TQSL signs (or, without the hand-off, that is marked unsigned).
    void setUpUpload()
    {
        if (handOff) {
            const QString missing = RealTqsl::unavailable();
            if (!missing.isEmpty())
                GTEST_SKIP() << missing.toStdString();
            tqsl = std::make_unique<RealTqsl>();
        }
        QFile::remove(dir.file(S("ref.sqlite")));
        SqliteFile ref(dir.file(S("ref.sqlite")));
        CreatePrefixTable(ref, {{"DL", "230"}});
        options.sourceMdbPath = logPath;
        options.refdataMdbPath = dir.file(S("ref.sqlite"));
        options.uploadAdifPath = dir.file(S("LoTWUpload.adi"));
        options.errorFilePath = dir.file(S("errors.txt"));
        options.stations[0] = {S("K1ABC"), S("Home QTH")};
        choices.SigningCall = S("K1ABC");
        if (tqsl)
            options.tqslExePath = tqsl->program();
    }
    bool upload()
    {
        UploadRun run(options, choices, monitor, desktop);
        run.setUndoFolder(data.path());
        run.setHandOff(handOff);
        if (tqsl)
            run.setStationFile(tqsl->stationFile());
        return run.run();
    }
    QStringList table() const { return SqliteFixture::query(file, S("SELECT * FROM [QSO-TAB] ORDER BY rowid")); }
    UndoEntry last() const
    {
        const std::vector<UndoEntry> runs = ListUndoRuns(data.path());
        return runs.empty() ? UndoEntry() : runs.front();
    }

    TestDir dir;
    TestDir data;
    bool handOff = true;
    std::unique_ptr<RealTqsl> tqsl;
    QString file;
    QString logPath;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    FakeDesktop desktop;
};

TEST_P(UndoTest, UploadThenUndoGivesTheLogAsItWas)
{
    const QStringList before = table();
    ASSERT_TRUE(upload()) << monitor.messages.join(S("\n")).toStdString();
    ASSERT_NE(table(), before);
    const UndoEntry entry = last();
    EXPECT_EQ(entry.kind, S("upload"));
    EXPECT_EQ(entry.rows, 200);
    EXPECT_EQ(entry.state, UndoJournal::State::Done);
    EXPECT_TRUE(entry.problem.isEmpty());

    const UndoResult result = UndoRunAt(entry, logPath);
    EXPECT_EQ(result.restored, 200);
    EXPECT_EQ(result.leftAlone, 0);
    EXPECT_EQ(table(), before);
    // The QSOs are due again: the next upload takes them. TQSL signed them before, and does
    // not sign them again until the operator says so.
    monitor = RecordingMonitor();
    EXPECT_FALSE(upload());
    EXPECT_EQ(table(), before);
    ASSERT_EQ(monitor.questions.size(), 1);
    EXPECT_TRUE(monitor.questions.at(0).startsWith(S("TQSL did not sign 200 QSOs of this upload because it signed them before")))
        << monitor.questions.at(0).toStdString();
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("TQSL signed 200 of them before"))) << monitor.messages.at(0).toStdString();
    EXPECT_EQ(monitor.upload.filter(S("Warning: not signed by TQSL, stays due: ")).filter(S("Already Uploaded")).size(), 200);
    monitor = RecordingMonitor();
    monitor.answer = true;
    ASSERT_TRUE(upload()) << monitor.messages.join(S("\n")).toStdString();
    EXPECT_TRUE(monitor.upload.contains(S("Marked 200 QSOs as sent to LoTW")));
}

TEST_P(UndoTest, RowsChangedSinceAreLeftAloneAndListed)
{
    const QStringList before = table();
    ASSERT_TRUE(upload());
    SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='9' WHERE [QSO-CALL] IN ('DL0AB','DL1AB')")});
    const UndoResult result = UndoRunAt(last(), logPath);
    EXPECT_EQ(result.restored, 198);
    EXPECT_EQ(result.leftAlone, 2);
    EXPECT_EQ(result.leftAloneLines, (QStringList{S("DL0AB 20240315 142530"), S("DL1AB 20240315 142530")}));
    const QStringList after = table();
    ASSERT_EQ(after.size(), before.size());
    for (qsizetype i = 2; i < after.size(); ++i)
        EXPECT_EQ(after.at(i), before.at(i)) << i;
    EXPECT_TRUE(after.at(0).contains(S("|9|"))) << after.at(0).toStdString();
}

TEST_P(UndoTest, RefusalsChangeNothing)
{
    ASSERT_TRUE(upload());
    const QStringList uploaded = table();
    UndoEntry entry = last();

    // Another log.
    EXPECT_THROW(UndoRunAt(entry, dir.file(S("other.sqlite"))), CDbException);
    // Twice.
    UndoRunAt(entry, logPath);
    const QStringList undone = table();
    entry = last();
    EXPECT_EQ(entry.state, UndoJournal::State::Undone);
    try {
        UndoRunAt(entry, logPath);
        ADD_FAILURE() << "undone twice";
    } catch (const CDbException& e) {
        EXPECT_TRUE(e.description().contains(S("undone already"))) << e.description().toStdString();
    }
    EXPECT_EQ(table(), undone);
    EXPECT_NE(undone, uploaded);
}

INSTANTIATE_TEST_SUITE_P(Engines, UndoTest, ::testing::Values(Engine::Sqlite, Engine::Odbc),
                         [](const auto& info) { return info.param == Engine::Sqlite ? "Sqlite" : "Odbc"; });

// What another program (DXbase) may do to the log between an upload and its undo, through both
// engines: the undo restores the rows that are still the QSOs it wrote and hold what it wrote,
// names the others by what they held, never as blank lines, and refuses a log most of whose rows
// are not what it wrote (a copy from before the upload, another log) without changing anything.
class UndoEdits : public UndoTest
{
protected:
    UndoEdits() { handOff = false; }
};

TEST_P(UndoEdits, EditsBetweenARunAndItsUndo)
{
    struct Case
    {
        const char* name;
        QStringList sql;       // run on the log after the upload
        int replacedBy;        // 0: kept; 1: the copy from before the upload; 2: another log
        bool refused;
        qint64 restored, asBefore, leftAlone;
        QStringList lines;     // the rows listed, or the beginnings of their lines
        const char* refusal;   // what the refusal says
    };
    const QString copyBefore = dir.file(S("before.sqlite"));
    QFile::copy(file, copyBefore);
    const QString other = dir.file(S("other.sqlite"));
    {
        // Another log: as many rows, other QSOs.
        SqliteFile log(other);
        CreateQsoTable(log);
        log.exec("BEGIN");
        for (int i = 0; i < 300; ++i)
            InsertQso(log, qso("OH" + std::to_string(i) + "XY", "2"));
        log.exec("COMMIT");
    }
    const QString key = S("20240315 142530");
    const std::vector<Case> cases = {
        {"nothing changed", {}, 0, false, 200, 0, 0, {}, ""},
        {"two rows marked otherwise",
         {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='9' WHERE [QSO-CALL] IN ('DL0AB','DL1AB')")}, 0, false, 198, 0, 2,
         {S("DL0AB ") + key, S("DL1AB ") + key}, ""},
        {"two rows deleted", {S("DELETE FROM [QSO-TAB] WHERE [QSO-CALL] IN ('DL0AB','DL1AB')")}, 0, false, 198, 0, 2,
         {S("DL0AB ") + key + S(" (no longer in the log)"), S("DL1AB ") + key + S(" (no longer in the log)")}, ""},
        {"a call corrected", {S("UPDATE [QSO-TAB] SET [QSO-CALL]='DL0ABC' WHERE [QSO-CALL]='DL0AB'")}, 0, false, 199, 0,
         1, {S("DL0AB ") + key + S(" (")}, ""},
        {"a row added",
         {S("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-QSLS]) VALUES ('DL9ZZ','20240316','0101','0')")},
         0, false, 200, 0, 0, {}, ""},
        {"two rows put back by hand",
         {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='1' WHERE [QSO-CALL]='DL0AB'"),
          S("UPDATE [QSO-TAB] SET [QSO-QSLS]='0' WHERE [QSO-CALL]='DL1AB'")},
         0, false, 198, 2, 0, {}, ""},
        {"most rows deleted", {S("DELETE FROM [QSO-TAB] WHERE rowid > 30")}, 0, true, 0, 0, 0, {},
         "are no longer in it"},
        {"the log replaced by its copy from before the upload", {}, 1, true, 0, 0, 0, {}, "hold what they held before"},
        // Both engines find rows by their row numbers (the ODBC driver offers its rowid).
        {"the log replaced by another log", {}, 2, true, 0, 0, 0, {}, "hold other QSOs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file);
        ASSERT_TRUE(QFile::copy(copyBefore, file));
        QDir(data.file(S("undo"))).removeRecursively();
        monitor = RecordingMonitor();
        ASSERT_TRUE(upload()) << monitor.messages.join(S("\n")).toStdString();
        if (!c.sql.isEmpty())
            SqliteFixture::exec(file, c.sql);
        if (c.replacedBy) {
            QFile::remove(file);
            ASSERT_TRUE(QFile::copy(c.replacedBy == 1 ? copyBefore : other, file));
        }
        const QStringList edited = table();
        const UndoEntry entry = last();
        ASSERT_TRUE(entry.canBeUndone());
        if (c.refused) {
            try {
                UndoRunAt(entry, logPath);
                ADD_FAILURE() << "the undo went through";
            } catch (const CDbException& e) {
                EXPECT_TRUE(e.description().contains(S(c.refusal))) << e.description().toStdString();
                EXPECT_TRUE(e.description().contains(S("Nothing was changed"))) << e.description().toStdString();
            }
            EXPECT_EQ(table(), edited);
            EXPECT_TRUE(last().canBeUndone());
            continue;
        }
        const UndoResult result = UndoRunAt(entry, logPath);
        EXPECT_EQ(result.restored, c.restored);
        EXPECT_EQ(result.asBefore, c.asBefore);
        EXPECT_EQ(result.leftAlone, c.leftAlone);
        ASSERT_EQ(result.leftAloneLines.size(), c.lines.size()) << result.leftAloneLines.join(S("\n")).toStdString();
        for (qsizetype i = 0; i < c.lines.size(); ++i)
            EXPECT_TRUE(result.leftAloneLines.at(i).startsWith(c.lines.at(i))) << result.leftAloneLines.at(i).toStdString();
        EXPECT_EQ(last().state, UndoJournal::State::Undone);
        // Every row the upload marked and nobody touched since is as it was before the upload.
        const QStringList before = SqliteFixture::query(copyBefore, S("SELECT [QSO-CALL],[QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid"));
        const QStringList now = SqliteFixture::query(file, S("SELECT [QSO-CALL],[QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid"));
        for (const QString& row : now) {
            if (row.startsWith(S("DL0AB|")) || row.startsWith(S("DL1AB|")) || row.startsWith(S("DL0ABC|")) || row.startsWith(S("DL9ZZ|")))
                continue;
            EXPECT_TRUE(before.contains(row)) << row.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, UndoEdits, ::testing::Values(Engine::Sqlite, Engine::Odbc),
                         [](const auto& info) { return info.param == Engine::Sqlite ? "Sqlite" : "Odbc"; });

class UndoFiles : public UndoTest
{
protected:
    // The kept runs are what these tests are about: the QSOs are marked without TQSL.
    UndoFiles() { handOff = false; }
    void SetUp() override {}
    // A SQLite log of rows due QSOs, its reference database, and options with a stand-in TQSL
    // that signs.
    void makeLog(int rows)
    {
        logPath = file = dir.file(S("log.sqlite"));
        QFile::remove(file);
        {
            SqliteFile log(file);
            CreateQsoTable(log);
            log.exec("BEGIN");
            for (int i = 0; i < rows; ++i)
                InsertQso(log, qso("DL" + std::to_string(i) + "AB", "0"));
            log.exec("COMMIT");
        }
        setUpUpload();
    }
};

TEST_F(UndoFiles, DamagedOrMissingUndoFilesAreRefused)
{
    makeLog(1);
    ASSERT_TRUE(upload());
    const QString undoFile = last().path;
    QFile damaged(undoFile);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not an undo file at all, but long enough to be looked at as one......................");
    damaged.close();
    const UndoEntry entry = last();
    EXPECT_FALSE(entry.problem.isEmpty());
    const QStringList before = table();
    EXPECT_THROW(UndoRunAt(entry, logPath), CDbException);
    EXPECT_EQ(table(), before);
    QFile::remove(undoFile);
    EXPECT_TRUE(ListUndoRuns(data.path()).empty());
}

TEST_F(UndoFiles, TheLastTenRunsAreKept)
{
    makeLog(0);
    for (int i = 0; i < 12; ++i) {
        SqliteFixture::exec(file, {QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-OPRCALL],"
                                                  "[QSO-BAND],[QSO-MODE],[QSO-QSLS],[QSO-VALID]) VALUES ('DL%1AB',"
                                                  "'20240315','142530','K1ABC','6','2','0',1)")
                                       .arg(i)});
        ASSERT_TRUE(upload());
    }
    const std::vector<UndoEntry> runs = ListUndoRuns(data.path());
    ASSERT_EQ(runs.size(), 10u);
    for (const UndoEntry& run : runs)
        EXPECT_EQ(run.rows, 1);
    // Newest first: undoing the newest restores the last QSO only.
    UndoRunAt(runs.front(), logPath);
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT [QSO-CALL] FROM [QSO-TAB] WHERE [QSO-QSLS]='0'")), QStringList{S("DL11AB")});
}

// A full disk while the before-images are written: the run does not write the log.
TEST_F(UndoFiles, NoRoomForTheBeforeImagesChangesNothing)
{
    SKIP_WITHOUT_FILE_SIZE_LIMIT();
#ifndef _WIN32
    makeLog(10);
    const QStringList before = table();
    UploadRun run(options, choices, monitor, desktop);
    run.setUndoFolder(data.path());
    run.setHandOff(false);
    bool ok = true;
    {
        // The upload file of ten QSOs (some 2 kB) fits; the undo file, pages of 4 kB, does not.
        FileSizeLimit limit(8 * 1024);
        ok = run.run();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(table(), before);
    ASSERT_FALSE(monitor.messages.isEmpty());
    EXPECT_TRUE(monitor.messages.at(0).contains(S("could not be kept"))) << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(ListUndoRuns(data.path()).empty());
#endif
}

// A run killed between its kept run and the log's commit leaves the kept run "written"; the
// next start tells from the rows whether the log took it. Made here as a run makes it, with the
// log's commit left out or done.
TEST_F(UndoFiles, ARunInterruptedAroundTheLogsCommitIsSettledByWhatTheRowsHold)
{
    for (const bool committed : {false, true}) {
        SCOPED_TRACE(committed ? "the log took it" : "the log never took it");
        makeLog(3);
        QDir(data.file(S("undo"))).removeRecursively();
        const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
        {
            std::unique_ptr<UndoJournal> journal = UndoJournal::begin(data.path(), S("upload"), logPath, qsls);
            for (qint64 rowid = 1; rowid <= 3; ++rowid) {
                RowKey key;
                key.rowid = rowid;
                journal->add(key, {S("0")}, {S("2")},
                             {S("DL%1AB").arg(rowid - 1), S("20240315"), S("142530"), S("6"), S("2")});
            }
            journal->seal();
        }
        if (committed)
            SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='2'")});
        const QStringList held = table();
        EXPECT_EQ(last().state, UndoJournal::State::Written);
        EXPECT_EQ(UndoStateText(last()), S("interrupted; not yet known whether the log took it"));

        const QStringList lines = SettleUndoRuns(data.path());
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.at(0).contains(committed ? S("after the log took its changes") : S("before the log took its changes")))
            << lines.at(0).toStdString();
        EXPECT_EQ(last().state, committed ? UndoJournal::State::Done : UndoJournal::State::NotTaken);
        EXPECT_EQ(UndoStateText(last()), committed ? S("can be undone") : S("interrupted, nothing to undo"));
        EXPECT_TRUE(SettleUndoRuns(data.path()).isEmpty());
        EXPECT_EQ(table(), held);
        if (!committed) {
            try {
                UndoRunAt(last(), logPath);
                ADD_FAILURE() << "a run the log never took was undone";
            } catch (const CDbException& e) {
                EXPECT_TRUE(e.description().contains(S("nothing to undo"))) << e.description().toStdString();
            }
            EXPECT_EQ(table(), held);
            continue;
        }
        const UndoResult result = UndoRunAt(last(), logPath);
        EXPECT_EQ(result.restored, 3);
        EXPECT_EQ(result.leftAlone, 0);
        EXPECT_EQ(SqliteFixture::query(file, S("SELECT DISTINCT [QSO-QSLS] FROM [QSO-TAB]")), QStringList{S("0")});
    }
}

// An undo killed around the log's commit leaves its kept run "undoing": the rows tell whether
// the log took the undo, and the kept run is recorded undone or undoable again.
TEST_F(UndoFiles, AnUndoInterruptedAroundTheLogsCommitIsSettledByWhatTheRowsHold)
{
    for (const bool committed : {false, true}) {
        SCOPED_TRACE(committed ? "the log took the undo" : "the log never took the undo");
        makeLog(4);
        QDir(data.file(S("undo"))).removeRecursively();
        ASSERT_TRUE(upload());
        SqliteFixture::exec(last().path, {S("UPDATE meta SET value='undoing' WHERE name='state'")});
        if (committed)
            SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='0'")});
        const QStringList held = table();
        const QStringList lines = SettleUndoRuns(data.path());
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.at(0).startsWith(S("The undo of the upload of "))) << lines.at(0).toStdString();
        EXPECT_EQ(last().state, committed ? UndoJournal::State::Undone : UndoJournal::State::Done);
        EXPECT_EQ(table(), held);
        if (committed)
            continue;
        EXPECT_EQ(UndoRunAt(last(), logPath).restored, 4);
        EXPECT_EQ(last().state, UndoJournal::State::Undone);
    }
}

// Kept runs written by the earlier version of the program (no record of what each row is, a
// fingerprint of the log) still list, settle and undo.
TEST_F(UndoFiles, KeptRunsOfTheEarlierFormatStillListAndUndo)
{
    for (const char* state : {"done", "written"}) {
        SCOPED_TRACE(state);
        makeLog(3);
        QDir(data.file(S("undo"))).removeRecursively();
        QDir().mkpath(data.file(S("undo")));
        const QString kept = data.file(S("undo/20261101-101010-000-upload.undo"));
        UndoValues before;
        UndoValues after;
        before.text(QByteArrayView("0"));
        after.text(QByteArrayView("2"));
        const QString b = QString::fromLatin1(QByteArray(before.bytes().data(), before.bytes().size()).toHex());
        const QString a = QString::fromLatin1(QByteArray(after.bytes().data(), after.bytes().size()).toHex());
        QStringList sql = {S("CREATE TABLE meta (name TEXT PRIMARY KEY, value TEXT)"),
                           S("CREATE TABLE rows (rid INTEGER, k BLOB, b BLOB, a BLOB)"),
                           S("INSERT INTO meta VALUES ('kind','upload'),('created','2026-11-01T11:10:10'),('log','%1'),"
                             "('fingerprint','0123456789abcdef'),('columns','[QSO-QSLS]'),('types','0'),('state','%2'),"
                             "('rows','3')")
                               .arg(logPath, S(state))};
        for (int rowid = 1; rowid <= 3; ++rowid)
            sql.append(S("INSERT INTO rows VALUES (%1, NULL, X'%2', X'%3')").arg(rowid).arg(b, a));
        QFile(kept).open(QIODevice::WriteOnly); // an empty file is an empty database
        SqliteFixture::exec(kept, sql);
        SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-QSLS]='2'")});

        SettleUndoRuns(data.path());
        const UndoEntry entry = last();
        EXPECT_TRUE(entry.problem.isEmpty()) << entry.problem.toStdString();
        EXPECT_EQ(entry.kind, S("upload"));
        EXPECT_EQ(entry.rows, 3);
        EXPECT_EQ(entry.state, UndoJournal::State::Done);
        const UndoResult result = UndoRunAt(entry, logPath);
        EXPECT_EQ(result.restored, 3);
        EXPECT_EQ(SqliteFixture::query(file, S("SELECT DISTINCT [QSO-QSLS] FROM [QSO-TAB]")), QStringList{S("0")});
        EXPECT_EQ(last().state, UndoJournal::State::Undone);
    }
}

TEST(LogBackup, ConsistentCopiesAndRefusals)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    {
        SqliteFile db(log);
        CreateQsoTable(db);
        InsertQso(db, qso("DL1AB", "0"));
    }
    const QString copy = BackUpLog(log, dir.file(S("data")));
    EXPECT_TRUE(copy.startsWith(dir.file(S("data/backup/Dxbase-")))) << copy.toStdString();
    EXPECT_TRUE(copy.endsWith(S(".sqlite")));
    EXPECT_EQ(SqliteFixture::query(copy, S("SELECT * FROM [QSO-TAB]")), SqliteFixture::query(log, S("SELECT * FROM [QSO-TAB]")));
    // A second copy in the same second gets a name of its own.
    EXPECT_NE(BackUpLog(log, dir.file(S("data"))), copy);

    // An Access log in use (its lock file is there) is refused; one not in use is copied.
    dir.write(S("K1ABC.mdb"), "access file");
    dir.write(S("K1ABC.ldb"), "lock");
    EXPECT_THROW(BackUpLog(dir.file(S("K1ABC.mdb")), dir.file(S("data"))), CFileException);
    QFile::remove(dir.file(S("K1ABC.ldb")));
    const QString accessCopy = BackUpLog(dir.file(S("K1ABC.mdb")), dir.file(S("data")));
    QFile copied(accessCopy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("access file"));
    EXPECT_THROW(BackUpLog(S("odbc:DSN=log"), dir.file(S("data"))), CFileException);
    EXPECT_THROW(BackUpLog(dir.file(S("missing.sqlite")), dir.file(S("data"))), CFileException);
}

} // namespace
