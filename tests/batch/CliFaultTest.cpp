// quorvane-cli as the operator runs it, under faults at chosen moments: killed on the system
// calls around the log's commit, the kept run's record and the run lock (a library of fault
// points preloaded into it stops it there, and the test kills it), with a full data folder or
// log folder, with another program holding the log, and with things in the place of its files.

#include "support/LogHolder.h"
#include "support/SqliteFixture.h"
#include "support/StandInTqsl.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct Outcome
{
    bool killed = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Whether the process is stopped (it reached its fault point).
bool stopped(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(") ");
    return end >= 0 && end + 2 < line.size() && (line.at(end + 2) == 'T' || line.at(end + 2) == 't');
}

class CliFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = dir.file(S("data"));
        const Outcome demo = cli({S("demo"), S("--qsos"), S("300")});
        ASSERT_EQ(demo.exitCode, 0) << demo.err.toStdString();
        log = data + S("/Dxbase.sqlite");
        pristine = dir.file(S("pristine.sqlite"));
        ASSERT_TRUE(QFile::copy(log, pristine));
    }

    // Back to the demo's log, without kept runs, backups or an upload file.
    void reset()
    {
        QFile::remove(log);
        QFile::remove(log + S("-journal"));
        ASSERT_TRUE(QFile::copy(pristine, log));
        QDir(data + S("/undo")).removeRecursively();
        QDir(data + S("/backup")).removeRecursively();
        QFile::remove(data + S("/LoTWUpload.adi"));
    }

    // quorvane-cli on the data folder with arguments; stopAt names the moment it is killed at
    // (QV_STOP_AT), fullDir a folder in which its writes fail as on a full disk; onOutput
    // hears its standard output as it comes.
    Outcome cli(const QStringList& arguments, const QString& stopAt = QString(), const QString& fullDir = QString(),
                const std::function<void(const QString&)>& onOutput = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(S("QUORVANE_DATA_DIR"));
        env.insert(S("HOME"), dir.path());
        env.insert(S("QUORVANE_LOTW_URL"), S("https://127.0.0.1:9"));
        if (!path.isEmpty())
            env.insert(S("PATH"), path);
        if (!stopAt.isEmpty() || !fullDir.isEmpty()) {
            env.insert(S("LD_PRELOAD"), S(QUORVANE_FAULT_POINTS));
            env.insert(S("QV_STOP_AT"), stopAt);
            env.insert(S("QV_FULL_DIR"), fullDir.isEmpty() ? QString() : QFileInfo(fullDir).canonicalFilePath());
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(S(QUORVANE_CLI), QStringList{S("--data-dir"), data} + arguments);
        Outcome outcome;
        if (!process.waitForStarted(10000))
            return outcome;
        QByteArray out;
        const QDeadlineTimer deadline(120000);
        for (;;) {
            if (process.waitForReadyRead(20)) {
                out += process.readAllStandardOutput();
                if (onOutput)
                    onOutput(QString::fromUtf8(out));
            }
            if (process.state() == QProcess::NotRunning)
                break;
            if (!stopAt.isEmpty() && stopped(process.processId())) {
                ::kill(pid_t(process.processId()), SIGKILL);
                process.waitForFinished(10000);
                outcome.killed = true;
                break;
            }
            if (deadline.hasExpired()) {
                ADD_FAILURE() << "quorvane-cli " << arguments.join(S(" ")).toStdString() << " did not end";
                process.kill();
                process.waitForFinished();
                break;
            }
        }
        process.waitForFinished(10000);
        out += process.readAllStandardOutput();
        outcome.out = QString::fromUtf8(out);
        outcome.err = QString::fromUtf8(process.readAllStandardError());
        if (!outcome.killed && process.exitStatus() == QProcess::NormalExit)
            outcome.exitCode = process.exitCode();
        return outcome;
    }

    QStringList rows(const QString& file) const
    {
        return SqliteFixture::query(file, S("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid"));
    }
    QStringList rows() const { return rows(log); }
    // What "undo --list" says of the newest kept run.
    QString newestState() const
    {
        const Outcome list = cli({S("undo"), S("--list")});
        EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
        return list.out.section(QLatin1Char('\n'), 0, 0).section(S(" rows  "), 1);
    }
    QStringList files(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    TestDir dir;
    QString data;
    QString log;
    QString pristine;
    QString path; // PATH for the command; empty: as it is
};

// A run killed around the log's commit, and while its kept run is marked done: the next start
// tells from the rows whether the log took it. One the log took can be undone whole, and says
// no row was changed by another program; one it never took has nothing to undo, and the undo
// passes over it.
TEST_F(CliFaultTest, AKilledRunIsSettledByTheNextStart)
{
    struct Case
    {
        const char* name;
        QStringList command;
        const char* stopAt;
        bool taken;
    };
    const QStringList upload = {S("upload"), S("--no-handoff")};
    const std::vector<Case> cases = {
        {"upload, before the log's commit", upload, "before:unlink:Dxbase.sqlite-journal", false},
        {"upload, after the log's commit", upload, "after:unlink:Dxbase.sqlite-journal", true},
        {"upload, while its kept run is marked done", upload, "before:unlink:.undo-journal", true},
        {"import, before the log's commit", {S("import")}, "before:unlink:Dxbase.sqlite-journal", false},
        {"import, after the log's commit", {S("import")}, "after:unlink:Dxbase.sqlite-journal", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        const Outcome killed = cli(c.command, S(c.stopAt));
        ASSERT_TRUE(killed.killed) << killed.err.toStdString();

        const Outcome list = cli({S("undo"), S("--list")});
        EXPECT_EQ(list.exitCode, 0);
        EXPECT_TRUE(list.err.contains(c.taken ? S("was interrupted after the log took its changes")
                                              : S("was interrupted before the log took its changes")))
            << list.err.toStdString();
        EXPECT_EQ(list.out.section(QLatin1Char('\n'), 0, 0).section(S(" rows  "), 1),
                  c.taken ? S("can be undone") : S("interrupted, nothing to undo"));
        EXPECT_EQ(rows() == rows(pristine), !c.taken);

        const Outcome undo = cli({S("undo")});
        if (c.taken) {
            EXPECT_EQ(undo.exitCode, 0) << undo.err.toStdString();
            EXPECT_TRUE(undo.out.contains(S("Restored "))) << undo.out.toStdString();
            EXPECT_FALSE(undo.out.contains(S("another program"))) << undo.out.toStdString();
        } else {
            EXPECT_EQ(undo.exitCode, 1);
            EXPECT_TRUE(undo.out.contains(S("was interrupted before the log took its changes: nothing to undo there")))
                << undo.out.toStdString();
            EXPECT_TRUE(undo.err.contains(S("No kept run holds changes of the log to undo"))) << undo.err.toStdString();
        }
        EXPECT_EQ(rows(), rows(pristine));
    }
}

// An undo killed around the log's commit, and while its kept run is marked undone: the next
// start records what the log holds, and an undo the log took is not done twice.
TEST_F(CliFaultTest, AKilledUndoIsSettledByTheNextStart)
{
    struct Case
    {
        const char* name;
        const char* stopAt;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"before the log's commit", "before:unlink:Dxbase.sqlite-journal", false},
        {"after the log's commit", "after:unlink:Dxbase.sqlite-journal", true},
        {"while its kept run is marked undone", "before:unlink:.undo-journal:2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        ASSERT_EQ(cli({S("upload"), S("--no-handoff")}).exitCode, 0);
        const QStringList uploaded = rows();
        ASSERT_NE(uploaded, rows(pristine));
        ASSERT_TRUE(cli({S("undo")}, S(c.stopAt)).killed);

        EXPECT_EQ(newestState(), c.taken ? S("undone") : S("can be undone"));
        EXPECT_EQ(rows(), c.taken ? rows(pristine) : uploaded);
        const Outcome again = cli({S("undo")});
        if (c.taken) {
            EXPECT_EQ(again.exitCode, 1);
            EXPECT_TRUE(again.err.contains(S("was undone already"))) << again.err.toStdString();
        } else {
            EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
            EXPECT_FALSE(again.out.contains(S("another program"))) << again.out.toStdString();
        }
        EXPECT_EQ(rows(), rows(pristine));
        EXPECT_EQ(newestState(), S("undone"));
    }
}

// A run killed as it takes the run lock, or a lock left empty by an earlier version: the next
// run starts, says what it took over, and nothing of the lock is left behind.
TEST_F(CliFaultTest, AKillWhileTheLockIsTakenLeavesNothingInTheWay)
{
    struct Case
    {
        const char* name;
        const char* stopAt; // empty: the lock file below is left instead
        QByteArray leftBehind;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"after the lock is written", "after:write:quorvane.lock.", QByteArray(), nullptr},
        {"after the lock is linked into place", "after:link:quorvane.lock", QByteArray(), "was taken over"},
        {"an empty lock", "", QByteArray(), "An empty run lock"},
        {"a garbage lock", "", QByteArray("\x7f" "ELF garbage\n\n"), "A damaged run lock"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (*c.stopAt) {
            ASSERT_TRUE(cli({S("undo"), S("--list")}, S(c.stopAt)).killed);
        } else {
            QFile lock(data + S("/quorvane.lock"));
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
            lock.write(c.leftBehind);
        }
        const Outcome next = cli({S("undo"), S("--list")});
        EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
        if (c.note)
            EXPECT_TRUE(next.err.contains(S(c.note))) << next.err.toStdString();
        else
            EXPECT_FALSE(next.err.contains(S("taken over"))) << next.err.toStdString();
        EXPECT_TRUE(files(data).filter(S("quorvane.lock")).isEmpty()) << files(data).join(S(" ")).toStdString();
    }
}

// The data folder full while the log (elsewhere) has room, and the other way round: each run
// stops with the cause and changes nothing; nothing is left that passes for a kept run or a
// backup.
TEST_F(CliFaultTest, AFullFolderChangesNothing)
{
    // The log lives in a folder of its own; the data folder names it by a link.
    const QString logs = dir.file(S("logs"));
    QDir().mkpath(logs);
    const QString elsewhere = logs + S("/Dxbase.sqlite");
    ASSERT_TRUE(QFile::rename(log, elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, log));
    log = elsewhere;
    const QString undo = data + S("/undo");
    const QString backup = data + S("/backup");
    QDir().mkpath(undo);
    QDir().mkpath(backup);
    const QStringList before = rows();

    // The data folder: not even the run lock can be written.
    Outcome run = cli({S("upload"), S("--no-handoff")}, QString(), data);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(S("The run lock cannot be written in the data folder"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(S("No space left on device"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(S("Nothing was changed"))) << run.err.toStdString();

    // The undo folder: no run keeps what it changes, so none changes the log.
    run = cli({S("upload"), S("--no-handoff")}, QString(), undo);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(S("could not be kept"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(S("the new upload file is removed (there was none before)"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(S("ADIF Output: 0\n"))) << run.out.right(200).toStdString();
    EXPECT_FALSE(QFile::exists(data + S("/LoTWUpload.adi")));
    run = cli({S("import")}, QString(), undo);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(S("could not be kept"))) << run.err.toStdString();
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(files(undo).isEmpty()) << files(undo).join(S(" ")).toStdString();

    // An undo that can't record itself does not start; one whose log has no room changes nothing.
    ASSERT_EQ(cli({S("upload"), S("--no-handoff")}).exitCode, 0);
    const QStringList uploaded = rows();
    for (const QString& full : {undo, logs}) {
        SCOPED_TRACE(full.toStdString());
        run = cli({S("undo")}, QString(), full);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(S("othing was changed"))) << run.err.toStdString();
        if (full == logs)
            EXPECT_TRUE(run.err.contains(S("full"))) << run.err.toStdString();
        EXPECT_EQ(rows(), uploaded);
        EXPECT_EQ(newestState(), S("can be undone"));
    }

    // A backup with no room leaves no file at all behind.
    run = cli({S("backup")}, QString(), backup);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(S("No backup was made"))) << run.err.toStdString();
    EXPECT_TRUE(files(backup).isEmpty()) << files(backup).join(S(" ")).toStdString();
}

// A backup killed before its copy is whole leaves nothing that looks like a backup; the next
// one clears what it left and makes a whole copy.
TEST_F(CliFaultTest, AKilledBackupLeavesNoBackup)
{
    const QString backup = data + S("/backup");
    ASSERT_TRUE(cli({S("backup")}, S("before:fsync:.part")).killed);
    for (const QString& name : files(backup))
        EXPECT_TRUE(name.endsWith(S(".part"))) << name.toStdString();
    const Outcome run = cli({S("backup")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList made = files(backup);
    ASSERT_EQ(made.size(), 1) << made.join(S(" ")).toStdString();
    EXPECT_TRUE(made.at(0).startsWith(S("Dxbase-")) && made.at(0).endsWith(S(".sqlite"))) << made.at(0).toStdString();
    EXPECT_EQ(rows(backup + QLatin1Char('/') + made.at(0)), rows());
}

// Another program holds the log, reading or writing: every run, undo and backup waits the same
// few seconds, says so while it waits, and then gives up with the cause and changes nothing;
// one that lets go within the wait lets the run go through.
TEST_F(CliFaultTest, AnotherProgramHoldingTheLog)
{
    using Kind = LogHolder::Kind;
    struct Case
    {
        const char* name;
        QStringList command;
        Kind kind;
        bool letsGo;   // lets go once the wait is said, else holds until the command has ended
        bool uploadFirst;
        int exitCode;
        bool waits;
    };
    const QStringList upload = {S("upload"), S("--no-handoff")};
    const std::vector<Case> cases = {
        {"upload, a reader that stays", upload, Kind::Reader, false, false, 1, true},
        {"upload, a reader that lets go", upload, Kind::Reader, true, false, 0, true},
        {"import, a writer that stays", {S("import")}, Kind::Writer, false, false, 1, true},
        {"import, a reader that lets go", {S("import")}, Kind::Reader, true, false, 0, true},
        {"undo, a reader that stays", {S("undo")}, Kind::Reader, false, true, 1, true},
        {"undo, a writer that lets go", {S("undo")}, Kind::Writer, true, true, 0, true},
        {"backup, a writer that stays", {S("backup")}, Kind::Writer, false, false, 1, true},
        {"backup, a writer that lets go", {S("backup")}, Kind::Writer, true, false, 0, true},
        {"backup, a reader", {S("backup")}, Kind::Reader, false, false, 0, false},
    };
    const QString said = S("is in use by another program, waiting for it (up to 5 seconds)...");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.uploadFirst)
            ASSERT_EQ(cli(upload).exitCode, 0);
        const QStringList before = rows();
        LogHolder holder(log, c.kind);
        ASSERT_TRUE(holder.holding());
        const Outcome run = cli(c.command, QString(), QString(), [&](const QString& out) {
            if (c.letsGo && out.contains(said))
                holder.release();
        });
        holder.release();
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(run.out.contains(said), c.waits) << run.out.right(500).toStdString();
        if (c.exitCode == 0)
            continue;
        EXPECT_TRUE(run.err.contains(S("in use by another program"))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(S("othing was changed")) || run.err.contains(S("No QSO was marked"))
                    || run.err.contains(S("No backup was made")) || run.err.contains(S("the log is as it was")))
            << run.err.toStdString();
        EXPECT_EQ(rows(), before);
        if (c.uploadFirst)
            EXPECT_EQ(newestState(), S("can be undone"));
        else if (c.command.first() != S("backup"))
            EXPECT_TRUE(files(data + S("/undo")).isEmpty()) << files(data + S("/undo")).join(S(" ")).toStdString();
        EXPECT_TRUE(files(data + S("/backup")).isEmpty());
    }
}

// A named pipe or a folder in the place of TQSL's station file: the upload says so at once and
// neither starts TQSL nor marks a QSO (a pipe would have kept it waiting for ever).
TEST_F(CliFaultTest, SomethingElseInThePlaceOfTheStationFile)
{
    const QString tools = dir.file(S("tools"));
    QDir().mkpath(tools);
    StandInTqsl standIn;
    const QString tqsl = standIn.write(tools);
    path = tools + S(":/usr/bin:/bin");
    const QString station = dir.file(S(".tqsl/station_data"));
    QDir().mkpath(dir.file(S(".tqsl")));
    for (const char* what : {"pipe", "folder"}) {
        SCOPED_TRACE(what);
        QFile::remove(station);
        QDir(station).removeRecursively();
        if (QByteArray(what) == "pipe")
            ASSERT_EQ(::mkfifo(QFile::encodeName(station).constData(), 0600), 0);
        else
            ASSERT_TRUE(QDir().mkpath(station));
        const Outcome run = cli({S("upload")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(S("TQSL was not started: TQSL's station file %1 is %2")
                                         .arg(station, QByteArray(what) == "pipe" ? S("a named pipe") : S("a folder"))))
            << run.err.toStdString();
        EXPECT_FALSE(StandInTqsl::ran(tqsl));
        EXPECT_EQ(rows(), rows(pristine));
    }
}

// Smaller things the operator meets, each said with its cause.
TEST_F(CliFaultTest, MessagesThatNameTheCause)
{
    // A data folder that is a file.
    const QString file = dir.file(S("not-a-folder"));
    QFile(file).open(QIODevice::WriteOnly);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("HOME"), dir.path());
    process.setProcessEnvironment(env);
    for (const char* command : {"upload", "demo"}) {
        process.start(S(QUORVANE_CLI), {S("--data-dir"), file, S(command)});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 1);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(err.contains(S("is a file, not a folder"))) << err.toStdString();
    }
    // The demo names a folder outside ASCII as it is.
    const QString named = dir.file(S("Dätä Ünïcode"));
    process.start(S(QUORVANE_CLI), {S("--data-dir"), named, S("demo"), S("--qsos"), S("10")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).contains(named));

    // An undo of a damaged kept run says why, without a line about undoing nothing.
    ASSERT_EQ(cli({S("upload"), S("--no-handoff")}).exitCode, 0);
    const QString kept = data + S("/undo/") + files(data + S("/undo")).value(0);
    QFile damaged(kept);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    const QStringList uploaded = rows();
    const Outcome undo = cli({S("undo")});
    EXPECT_EQ(undo.exitCode, 1);
    EXPECT_FALSE(undo.out.contains(S("Undoing"))) << undo.out.toStdString();
    EXPECT_TRUE(undo.err.contains(S("cannot be undone"))) << undo.err.toStdString();
    EXPECT_TRUE(undo.err.contains(S("Nothing was changed"))) << undo.err.toStdString();
    EXPECT_EQ(rows(), uploaded);
}

} // namespace
