// quorvane-cli import killed (SIGKILL) at moments spread over its run, among them the moment
// its first monitor line comes out, when the log has just committed and the lists are being
// written. After every kill the log is as it was or as a whole run leaves it, the imported-QSO
// list names no row the log does not hold, the date file is the one from before (unless the run
// had reached its end), and the next
// run gives the log one run gives (saying so when the previous run's lists may be short).

#include "demo/DemoData.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromLatin1(text);
}

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ImportKillTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = dir.file(S("data"));
        QProcess demo;
        demo.setProcessEnvironment(environment());
        demo.start(S(QUORVANE_CLI), {S("--data-dir"), data, S("demo"), S("--qsos"), QString::number(kQsos)});
        ASSERT_TRUE(demo.waitForFinished(120000));
        ASSERT_EQ(demo.exitCode(), 0) << demo.readAllStandardError().constData();
        log = data + S("/Dxbase.sqlite");
        // A report that confirms every QSO the log has uploaded.
        DemoData::writeReport(data + S("/lotwreport.adi"), kQsos, 20261207, 1);
        ASSERT_TRUE(QFile::copy(log, dir.file(S("pristine.sqlite"))));
        dateFile = bytes(data + S("/quorvane2.dat"));
        ASSERT_FALSE(dateFile.isEmpty());
        before = dump();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(S("QUORVANE_DATA_DIR"));
        env.insert(S("HOME"), dir.path());
        return env;
    }

    // Back to the state before any import: the log, the date file, no lists, no mark.
    void reset()
    {
        QFile::remove(log);
        QFile::remove(log + S("-journal"));
        ASSERT_TRUE(QFile::copy(dir.file(S("pristine.sqlite")), log));
        QFile date(data + S("/quorvane2.dat"));
        ASSERT_TRUE(date.open(QIODevice::WriteOnly | QIODevice::Truncate));
        date.write(dateFile);
        date.close();
        for (const char* name : {"SemiQuorvaneImportedQSOs.txt", "SemiQuorvaneErrors.txt", "quorvane-import.unfinished"})
            QFile::remove(data + QLatin1Char('/') + QLatin1String(name));
    }

    // Starts an import; killAfterMs < 0: kill it as soon as it prints, otherwise after that
    // long (when it has not ended by then). Returns whether it ran to its end.
    bool import(int killAfterMs, QByteArray* out = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(S(QUORVANE_CLI), {S("--data-dir"), data, S("import")});
        EXPECT_TRUE(process.waitForStarted(10000));
        if (killAfterMs < 0) {
            if (process.waitForReadyRead(60000))
                process.kill();
        } else if (!process.waitForFinished(killAfterMs)) {
            process.kill();
        }
        process.waitForFinished(60000);
        if (out)
            *out = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QStringList dump() const { return SqliteFixture::query(log, S("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid")); }
    QStringList listed() const
    {
        QStringList lines = QString::fromLatin1(bytes(data + S("/SemiQuorvaneImportedQSOs.txt"))).split(S("\r\n"));
        lines.removeLast(); // after the last line end, or the empty file
        return lines;
    }

    static constexpr int kQsos = 30000;
    TestDir dir;
    QString data;
    QString log;
    QByteArray dateFile;
    QStringList before;
};

TEST_F(ImportKillTest, EveryKillLeavesTheListsAndTheLogInAgreement)
{
    // One whole run: the log and the list it leaves, and how long it takes.
    reset();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(import(120000));
    const qint64 whole = timer.elapsed();
    const QStringList after = dump();
    const QStringList wholeList = listed();
    ASSERT_NE(after, before);
    ASSERT_GT(wholeList.size(), 1000);
    const QByteArray wholeDate = bytes(data + S("/quorvane2.dat"));
    ASSERT_NE(wholeDate, dateFile);

    QList<int> kills = {-1, -1, -1};
    for (int percent : {5, 15, 30, 45, 60, 70, 80, 85, 90, 95, 98})
        kills.append(int(whole * percent / 100));
    int afterCommit = 0;
    for (int kill : kills) {
        SCOPED_TRACE(kill < 0 ? std::string("at the first output") : std::to_string(kill) + " ms");
        reset();
        const bool ended = import(kill);
        const QStringList now = dump();
        const QStringList list = listed();
        const bool marked = QFile::exists(data + S("/quorvane-import.unfinished"));
        // All or nothing: the run's rows are untouched or every one of them is written.
        ASSERT_TRUE(now == before || now == after);
        if (now == before) {
            EXPECT_TRUE(list.isEmpty()) << list.size() << " lines for a log that holds none of them";
        } else {
            ++afterCommit;
            // The list is a beginning of the whole run's list: it names only rows the log holds.
            ASSERT_LE(list.size(), wholeList.size());
            EXPECT_EQ(list, wholeList.mid(0, list.size()));
            // A list cut short is marked for the next run.
            if (list.size() < wholeList.size() && !ended) {
                EXPECT_TRUE(marked);
            }
        }
        // The date file is the new one only when the run reached its end: a kill may still come
        // after that, while the process exits, and then the log and both lists are complete.
        const QByteArray date = bytes(data + S("/quorvane2.dat"));
        if (ended) {
            EXPECT_EQ(date, wholeDate);
        } else if (date != dateFile) {
            EXPECT_EQ(date, wholeDate);
            EXPECT_EQ(now, after);
            EXPECT_EQ(list, wholeList);
            EXPECT_FALSE(marked);
        }

        // The next run gives the log of one run, and says when the previous one was cut short.
        QByteArray out;
        ASSERT_TRUE(import(120000, &out));
        EXPECT_EQ(dump(), after);
        EXPECT_EQ(out.contains("the previous import was interrupted"), marked) << out.left(300).constData();
        EXPECT_FALSE(QFile::exists(data + S("/quorvane-import.unfinished")));
    }
    // The kills at the first output came after the commit.
    EXPECT_GE(afterCommit, 3);
}

} // namespace
