#include "support/ProgramText.h"
#include "support/SqliteFixture.h"
#include "support/LotwStandIn.h"
#include "support/RealTqsl.h"
#include "support/StandInTqsl.h"
#include "platform/RunLock.h"

#include <QCoreApplication>
#include <QThread>
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void overwrite(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        throw std::runtime_error("cannot write test file");
}

// quorvane-cli run with its output split by stream. HOME is the test's folder, so that a
// command without --data-dir finds its default data folder there and never a real one.
class BatchCommandTest : public ::testing::Test
{
protected:
    CliRun cli(const QStringList& arguments) const { return cliWithPath(arguments, QString()); }
    // The same with PATH set to one folder (null: as it is).
    CliRun cliWithPath(const QStringList& arguments, const QString& path) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QUORVANE_DATA_DIR"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("HOME"), dir.path());
        // No test asks the real LoTW: a request that is not pointed at a stand-in meets a closed port.
        if (!env.contains(QStringLiteral("QUORVANE_LOTW_URL")))
            env.insert(QStringLiteral("QUORVANE_LOTW_URL"), QStringLiteral("https://127.0.0.1:9"));
        if (!path.isNull())
            env.insert(QStringLiteral("PATH"), path);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_CLI), arguments);
        CliRun run;
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.exitCode = process.exitCode();
        run.out = ProgramText(process.readAllStandardOutput());
        run.err = ProgramText(process.readAllStandardError());
        return run;
    }
    // A fresh demo data folder; returns its path.
    QString demo(const QString& name) const
    {
        const QString data = dir.file(name);
        const CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("demo"), QStringLiteral("--qsos"),
                             QStringLiteral("200")});
        if (run.exitCode != 0)
            throw std::runtime_error("demo failed: " + run.err.toStdString());
        return data;
    }

    TestDir dir;
};

TEST_F(BatchCommandTest, ImportRunsToItsEndWithTheCountersLast)
{
    const QString data = demo(QStringLiteral("data"));
    const CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("import")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString(); // no terminal: no progress either
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("QSOs Read-in: "))) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().contains(QStringLiteral("  LoTW Recs Used: "))) << lines.last().toStdString();
}

// Each bad set-up ends with its exit status and a message naming the cause on stderr, and the
// log stays byte for byte as it was.
TEST_F(BatchCommandTest, BadSetUpsFailClearlyAndChangeNothing)
{
    struct Case
    {
        const char* what;
        std::function<void(const QString& data, const QString& log)> damage;
        QStringList arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"no QSO table",
         [](const QString&, const QString& log) {
             SqliteFixture::exec(log, {QStringLiteral("ALTER TABLE [QSO-TAB] RENAME TO [QSO-OLD]")});
         },
         {QStringLiteral("import")}, 1, "no such table: QSO-TAB"},
        {"version 5",
         [](const QString&, const QString& log) {
             SqliteFixture::exec(log, {QStringLiteral("UPDATE [VERSION] SET [VERSION]='5'")});
         },
         {QStringLiteral("upload")}, 1, "DXbase mdb file version error"},
        {"log is a folder",
         [](const QString&, const QString& log) {
             QFile::remove(log);
             QDir().mkpath(log);
         },
         {QStringLiteral("import")}, 1, "is not a database file"},
        {"log is missing", [](const QString&, const QString& log) { QFile::remove(log); }, {QStringLiteral("import")},
         1, "does not exist"},
        {"option file cut short",
         [](const QString& data, const QString&) {
             const QString options = data + QStringLiteral("/quorvane.dat");
             overwrite(options, bytes(options).left(40));
         },
         {QStringLiteral("import")}, 1, "quorvane.dat is damaged (field 5); start the program to correct the options"},
        {"option file binary",
         [](const QString& data, const QString&) {
             overwrite(data + QStringLiteral("/quorvane.dat"), QByteArray(5000, '\x05') + QByteArray(300, '\0'));
         },
         {QStringLiteral("upload")}, 1, "quorvane.dat is damaged (its first line)"},
        {"password file cut short",
         [](const QString& data, const QString&) {
             const QString passwords = data + QStringLiteral("/quorvane3.dat");
             overwrite(passwords, bytes(passwords).left(6));
         },
         {QStringLiteral("upload"), QStringLiteral("--test")}, 1, "quorvane3.dat is damaged (field 1)"},
        {"date file binary",
         [](const QString& data, const QString&) {
             overwrite(data + QStringLiteral("/quorvane2.dat"), QByteArray(3000, '\xff'));
         },
         {QStringLiteral("request"), QStringLiteral("--print-url"), QStringLiteral("--all")}, 0,
         "quorvane2.dat ends early; what it held before the break is used"},
        {"date file cut short",
         [](const QString& data, const QString&) {
             const QString dates = data + QStringLiteral("/quorvane2.dat");
             const QByteArray whole = bytes(dates);
             overwrite(dates, whole.left(whole.indexOf("\x05") + 4)); // "1:0" and no more
         },
         {QStringLiteral("request"), QStringLiteral("--print-url")}, 0, "quorvane2.dat ends early"},
        {"login page saved as the report",
         [](const QString& data, const QString&) {
             overwrite(data + QStringLiteral("/lotwreport.adi"),
                       "<!DOCTYPE html>\r\n<html><body><p>Username/password incorrect</p></body></html>\r\n");
         },
         {QStringLiteral("import")}, 1, "lotwreport.adi is not a LoTW report: \"<!DOCTYPE html>\""},
        {"report without end of header",
         [](const QString& data, const QString&) {
             QByteArray report = bytes(data + QStringLiteral("/lotwreport.adi"));
             overwrite(data + QStringLiteral("/lotwreport.adi"), report.replace("<eoh>", "<e o h>"));
         },
         {QStringLiteral("import")}, 1, "lotwreport.adi is not a LoTW report: \"ARRL Logbook of the World Status Report\""},
        {"unknown option", [](const QString&, const QString&) {}, {QStringLiteral("import"), QStringLiteral("--bogus")},
         2, "unknown option '--bogus'"},
        {"--since without its date", [](const QString&, const QString&) {},
         {QStringLiteral("request"), QStringLiteral("--since"), QStringLiteral("--print-url")}, 2,
         "--since needs a date"},
        {"--since with a date that is none", [](const QString&, const QString&) {},
         {QStringLiteral("request"), QStringLiteral("--since"), QStringLiteral("2026-13-45")}, 2,
         "--since needs a date (YYYY-MM-DD) or a date and time"},
        {"--overwrite with --keep", [](const QString&, const QString&) {},
         {QStringLiteral("import"), QStringLiteral("--overwrite"), QStringLiteral("--keep")}, 2,
         "either --overwrite or --keep"},
        {"slot out of range", [](const QString&, const QString&) {},
         {QStringLiteral("upload"), QStringLiteral("--slot"), QStringLiteral("6")}, 2, "--slot needs a number from 1 to 5"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString data = demo(QStringLiteral("case%1").arg(n++));
        const QString log = data + QStringLiteral("/Dxbase.sqlite");
        c.damage(data, log);
        const QByteArray before = QFileInfo(log).isFile() ? bytes(log) : QByteArray();
        const CliRun run = cli(QStringList{QStringLiteral("--data-dir"), data} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.message))) << c.what << ": " << run.err.toStdString();
        if (before.isEmpty())
            EXPECT_FALSE(QFileInfo(log).isFile()) << c.what; // nothing made in its place
        else
            EXPECT_EQ(bytes(log), before) << c.what;
    }
}

// A file that is no report leaves the date file as it was; LoTW's answer without QSLs is no
// error.
TEST_F(BatchCommandTest, ImportOfNoReportKeepsTheDateFile)
{
    const QString data = demo(QStringLiteral("data"));
    const QString dateFile = data + QStringLiteral("/quorvane2.dat");
    overwrite(dateFile, "1\r\n2024-01-01\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n");
    overwrite(data + QStringLiteral("/lotwreport.adi"), QByteArray(2000, '\0'));
    CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("import")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("is not a LoTW report"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("QSOs Read-in: 0"))) << run.out.toStdString();
    EXPECT_EQ(bytes(dateFile), QByteArray("1\r\n2024-01-01\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n"));

    overwrite(data + QStringLiteral("/lotwreport.adi"),
              "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
              "<PROGRAMID:4>LoTW\r\n<APP_LoTW_NUMREC:1>0\r\n\r\n<APP_LoTW_EOF>\r\n");
    run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("import")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

// A "since" that is no date is refused before anything is asked or saved; LoTW's own date and
// time goes into the address as one value.
TEST_F(BatchCommandTest, RequestWithAMalformedDate)
{
    const QString data = demo(QStringLiteral("data"));
    const QByteArray dates = bytes(data + QStringLiteral("/quorvane2.dat"));
    CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("request"), QStringLiteral("--since"),
                      QStringLiteral("2026-13-45")});
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("--since needs a date"))) << run.err.toStdString();
    EXPECT_EQ(bytes(data + QStringLiteral("/quorvane2.dat")), dates);

    run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("request"), QStringLiteral("--since"),
               QStringLiteral("2026-03-14 17:58:41"), QStringLiteral("--print-url")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("&qso_qslsince=2026-03-14%2017:58:41&qso_withown=yes"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("&password=********&"))) << run.out.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("YYYY-MM-DD"))) << run.err.toStdString();
    EXPECT_TRUE(bytes(data + QStringLiteral("/quorvane2.dat")).startsWith("1\r\n2026-03-14 17:58:41\x05" "1:0:"));

    run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("request"), QStringLiteral("--all"),
               QStringLiteral("--print-url"), QStringLiteral("--show-password")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("&password=%64%65%6d%6f%31%32%33%34&"))) << run.out.toStdString();
}

TEST_F(BatchCommandTest, CommandLineErrors)
{
    struct Case
    {
        QStringList arguments;
        int exitCode;
        const char* err; // on stderr
        const char* out; // on stdout
    };
    const QString missing = dir.file(QStringLiteral("no-such-folder"));
    const Case cases[] = {
        {{}, 2, "usage: quorvane-cli", ""},
        {{QStringLiteral("--help")}, 0, "", "usage: quorvane-cli"},
        {{QStringLiteral("--data-dir")}, 2, "--data-dir needs a folder", ""},
        {{QStringLiteral("frobnicate")}, 2, "unknown command 'frobnicate'", ""},
        {{QStringLiteral("--data-dir"), missing, QStringLiteral("import")}, 1, "does not exist", ""},
    };
    for (const Case& c : cases) {
        const CliRun run = cli(c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.err))) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(c.out))) << what << ": " << run.out.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// The command line is checked whole before the data folder is read: a usage error in front of
// a missing folder or a log that fails its version check is still a usage error, and --help and
// --version answer without a data folder at all.
TEST_F(BatchCommandTest, UsageErrorsComeBeforeTheStartUpChecks)
{
    const QString missing = dir.file(QStringLiteral("no-such-folder"));
    const QString old = demo(QStringLiteral("old"));
    SqliteFixture::exec(old + QStringLiteral("/Dxbase.sqlite"), {QStringLiteral("UPDATE [VERSION] SET [VERSION]='5'")});
    struct Case
    {
        QString dataDir;
        QStringList arguments;
        int exitCode;
        const char* err;
        const char* out;
    };
    const Case cases[] = {
        {missing, {QStringLiteral("import"), QStringLiteral("--bogus")}, 2, "unknown option '--bogus'", ""},
        {old, {QStringLiteral("import"), QStringLiteral("--bogus")}, 2, "unknown option '--bogus'", ""},
        {old, {QStringLiteral("upload"), QStringLiteral("--slot"), QStringLiteral("9")}, 2, "--slot needs a number", ""},
        {missing, {QStringLiteral("request"), QStringLiteral("--since"), QStringLiteral("--all")}, 2,
         "--since needs a date", ""},
        {old, {QStringLiteral("upload")}, 1, "DXbase mdb file version error", ""},
        {missing, {QStringLiteral("upload"), QStringLiteral("--help")}, 0, "",
         "usage: quorvane-cli [--data-dir DIR] upload [--slot N] [--test] [--no-handoff | --tqsl-upload] [--sign-again] "
         "[--passphrase-file FILE] [--tqsl-timeout SECONDS]\n"},
        {missing, {QStringLiteral("import"), QStringLiteral("--version")}, 0, "", "quorvane-cli 2.71\n"},
        {missing, {QStringLiteral("--version")}, 0, "", "quorvane-cli 2.71\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = cli(QStringList{QStringLiteral("--data-dir"), c.dataDir} + c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.err))) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(c.out))) << what << ": " << run.out.toStdString();
        if (c.exitCode != 1) {
            EXPECT_EQ(c.exitCode == 0, run.err.isEmpty()) << what;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// The demo writes option files: into a folder that already holds options (the default data
// folder of a station in use, above all) it writes nothing.
TEST_F(BatchCommandTest, DemoLeavesAFolderWithOptionsAlone)
{
    const QString data = demo(QStringLiteral("data"));
    overwrite(data + QStringLiteral("/quorvane.dat"), "1\r\nmine\x05");
    const QByteArray report = bytes(data + QStringLiteral("/lotwreport.adi"));
    const QByteArray passwords = bytes(data + QStringLiteral("/quorvane3.dat"));
    const CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("demo")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already holds options"))) << run.err.toStdString();
    EXPECT_EQ(bytes(data + QStringLiteral("/quorvane.dat")), QByteArray("1\r\nmine\x05"));
    EXPECT_EQ(bytes(data + QStringLiteral("/quorvane3.dat")), passwords);
    EXPECT_EQ(bytes(data + QStringLiteral("/lotwreport.adi")), report);

    // Without --data-dir: the default data folder, here under the test's HOME. (On Windows it
    // is the fixed C:\quorvane260, which a test must leave alone.)
#ifndef Q_OS_WIN
    const QString home = dir.path() + QStringLiteral("/.local/share/quorvane260");
    ASSERT_TRUE(QDir().mkpath(home));
    overwrite(home + QStringLiteral("/quorvane.dat"), "1\r\nmine\x05");
    EXPECT_EQ(cli({QStringLiteral("demo")}).exitCode, 1);
    EXPECT_EQ(QDir(home).entryList(QDir::Files), QStringList{QStringLiteral("quorvane.dat")});
#endif
}

}

// The upload waits for TQSL (here a stand-in found on PATH, as the program finds TQSL) and
// succeeds only when TQSL signed the file; without TQSL it fails and changes nothing.
TEST_F(BatchCommandTest, UploadExitsByTqslsVerdict)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows finds TQSL through the registry (HKEY_LOCAL_MACHINE\\Software\\TrustedQSL), not on "
                    "PATH, and a test must not write the machine's own entry";
#endif
    const QString data = demo(QStringLiteral("data"));
    const QString log = data + QStringLiteral("/Dxbase.sqlite");
    const QString due = QStringLiteral("SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('0','1')");
    const QString dueBefore = SqliteFixture::query(log, due).value(0);
    const QString tools = dir.file(QStringLiteral("tools"));
    QDir().mkpath(tools);
    const auto withTqsl = [&](int status) {
        StandInTqsl standIn;
        standIn.exitCode = status;
        standIn.lines = {QStringLiteral("Signing using Callsign K1QVN")};
        standIn.write(tools);
    };
    const auto upload = [&](const QStringList& options = {}) {
        return cliWithPath(QStringList{QStringLiteral("--data-dir"), data, QStringLiteral("upload")} + options, tools);
    };

    // No TQSL on PATH.
    CliRun run = upload();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("TQSL is not installed"))) << run.err.toStdString();
    EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);

    // TQSL signs nothing.
    withTqsl(8);
    run = upload();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("TQSL: Signing using Callsign K1QVN"))) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("TQSL did not sign the upload file"))) << run.err.toStdString();
    EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);
    EXPECT_EQ(StandInTqsl::receivedArguments(tools + QStringLiteral("/tqsl")).mid(0, 2),
              (QStringList{QStringLiteral("-l"), QStringLiteral("Home")}));

    // --no-handoff marks without TQSL; a test run neither.
    withTqsl(8);
    run = upload({QStringLiteral("--test")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(StandInTqsl::ran(tools + QStringLiteral("/tqsl")));
    EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);

    // TQSL says it signed, but wrote no signed file: nothing is marked.
    withTqsl(0);
    run = upload();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("can't be used: it does not exist"))) << run.err.toStdString();
    EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);
}

// The batch command writes the upload file where the form does: an upload path in the options
// longer than the form hands on is cut to its first 99 characters, so the window and the batch
// command use the same upload file (and the same previous one) on one data folder.
TEST_F(BatchCommandTest, UploadUsesThePathsAsTheFormHandsThemOn)
{
    const QString data = demo(QStringLiteral("data"));
    const QString optionsFile = data + QStringLiteral("/quorvane.dat");
    const QString longPath = data + QLatin1Char('/') + QString(150, QLatin1Char('u')) + QStringLiteral(".adi");
    ASSERT_LT(data.size(), 90);
    QList<QByteArray> fields = bytes(optionsFile).split('\x05');
    ASSERT_GT(fields.size(), 5);
    fields[4] = longPath.toLocal8Bit(); // the upload file
    overwrite(optionsFile, fields.join('\x05'));

    const CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("upload"), QStringLiteral("--no-handoff")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString cut = longPath.left(99);
    EXPECT_TRUE(bytes(cut).contains("<EOR>\r\n")) << cut.toStdString();
    EXPECT_FALSE(QFile::exists(longPath));
}

// The real TQSL signs for the demo's call, and the signed file goes to LoTW (a stand-in): the
// QSOs are marked once LoTW took it; when LoTW rejects it, answers something else or can't be
// reached, nothing is marked, the signed file stays, and the message says what to do.
TEST_F(BatchCommandTest, SignedFilesSentToLotw)
{
    if (!RealTqsl::unavailable().isEmpty())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    RealTqsl::Certificate certificate;
    certificate.call = QStringLiteral("K1QVN");
    certificate.location = QStringLiteral("Home");
    certificate.qsoFrom = QStringLiteral("2000-01-01");
    const RealTqsl tqsl(certificate);
    const QString tools = dir.file(QStringLiteral("tools"));
    QDir().mkpath(tools);
    overwrite(tools + QStringLiteral("/tqsl"), "#!/bin/sh\nexec '" + tqsl.program().toUtf8() + "' \"$@\"\n");
    QFile::setPermissions(tools + QStringLiteral("/tqsl"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    LotwStandIn lotw;
    SKIP_WITHOUT_LOTW_STAND_IN();
    ASSERT_TRUE(lotw.started()) << lotw.error().toStdString();
    lotw.useInThisProcess();

    const QString data = demo(QStringLiteral("data"));
    const QString log = data + QStringLiteral("/Dxbase.sqlite");
    const QString due = QStringLiteral("SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('0','1')");
    const QString dueBefore = SqliteFixture::query(log, due).value(0);
    const auto upload = [&](const QStringList& options) {
        return cliWithPath(QStringList{QStringLiteral("--data-dir"), data, QStringLiteral("upload"),
                                       QStringLiteral("--tqsl-upload")} + options,
                           tools);
    };
    struct Case
    {
        const char* name;
        LotwStandIn::Answer answer;
        const char* said;
    };
    const Case failures[] = {
        {"rejected", {.body = "<!-- .UPL.  rejected --><!-- .UPLMESSAGE. Certificate superseded -->", .contentType = "text/html"},
         "LoTW rejected it (Certificate superseded)"},
        {"unexpected", {.body = "<html>Maintenance</html>", .contentType = "text/html"}, "LoTW gave an unexpected answer"},
        {"server error", {.status = 500, .body = "oops"}, "LoTW could not be reached"},
    };
    QStringList options;
    for (const Case& c : failures) {
        SCOPED_TRACE(c.name);
        lotw.answer(QStringLiteral("/lotw/upload"), c.answer);
        const CliRun run = upload(options);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.said))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("No QSO was marked as sent"))) << run.err.toStdString();
        EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);
        EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral("/LoTWUpload.tq8")));
        // TQSL signed them: from now on they must be signed again.
        options = {QStringLiteral("--sign-again")};
    }
    // A port where nothing listens.
    {
        qputenv("QUORVANE_LOTW_URL", QStringLiteral("https://127.0.0.1:%1").arg(LotwStandIn::refusedPort()).toUtf8());
        const CliRun run = upload(options);
        lotw.useInThisProcess();
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("LoTW could not be reached"))) << run.err.toStdString();
        EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);
    }

    lotw.answer(QStringLiteral("/lotw/upload"),
                {.body = "<!-- .UPL.  accepted --><!-- .UPLMESSAGE. File queued for processing -->", .contentType = "text/html"});
    const CliRun run = upload(options);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW took the signed file: File queued for processing"))) << run.out.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("Opening"))) << run.err.toStdString();
    EXPECT_EQ(SqliteFixture::query(log, due).value(0).toInt(), dueBefore.toInt() - run.out.section(QStringLiteral("Marked "), 1).section(QLatin1Char(' '), 0, 0).toInt());
    EXPECT_LT(SqliteFixture::query(log, due).value(0).toInt(), dueBefore.toInt());
    EXPECT_FALSE(run.err.contains(QStringLiteral("password="))) << run.err.toStdString();
    // What LoTW received is the signed file, byte for byte.
    const std::vector<LotwStandIn::Request> requests = lotw.requests();
    ASSERT_FALSE(requests.empty());
    ASSERT_EQ(requests.back().parts.size(), 1u);
    EXPECT_EQ(requests.back().parts[0].name, QStringLiteral("upfile"));
    EXPECT_EQ(requests.back().parts[0].bytes, bytes(data + QStringLiteral("/LoTWUpload.tq8")));
}

// Two runs on one data folder: while one holds it (here this test process, as a window would),
// the batch command changes nothing and says who holds it.
TEST_F(BatchCommandTest, OneRunAtATimePerDataFolder)
{
    const QString data = demo(QStringLiteral("data"));
    const QString log = data + QStringLiteral("/Dxbase.sqlite");
    overwrite(data + QStringLiteral("/SemiQuorvaneErrors.txt"), "the running import's lines\r\n");
    const QByteArray before = bytes(log);
    RunLock held(data);
    QString message;
    ASSERT_TRUE(held.acquire(message));
    for (const QString& command : {QStringLiteral("import"), QStringLiteral("upload")}) {
        const CliRun run = cli({QStringLiteral("--data-dir"), data, command});
        EXPECT_EQ(run.exitCode, 1) << command.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Another Quorvane run is using this data folder (process %1)")
                                         .arg(QCoreApplication::applicationPid())))
            << run.err.toStdString();
        EXPECT_EQ(bytes(log), before);
        EXPECT_EQ(bytes(data + QStringLiteral("/SemiQuorvaneErrors.txt")), QByteArray("the running import's lines\r\n"));
    }
    held.release();
    const CliRun run = cli({QStringLiteral("--data-dir"), data, QStringLiteral("import")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

// A kill at any moment of an undo leaves the log as the run left it or as it was before the
// run, never half of each; the undo then runs to its end.
TEST_F(BatchCommandTest, AKilledUndoLeavesAllOrNothing)
{
    const QString data = dir.file(QStringLiteral("data"));
    ASSERT_EQ(cli({QStringLiteral("--data-dir"), data, QStringLiteral("demo"), QStringLiteral("--qsos"),
                   QStringLiteral("60000")})
                  .exitCode,
              0);
    const QString log = data + QStringLiteral("/Dxbase.sqlite");
    const QString sent = QStringLiteral("SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('2','3')");
    const QString before = SqliteFixture::query(log, sent).value(0);
    const QString tools = dir.file(QStringLiteral("tools"));
    QDir().mkpath(tools);
    ASSERT_EQ(cliWithPath({QStringLiteral("--data-dir"), data, QStringLiteral("upload"), QStringLiteral("--no-handoff")},
                          tools)
                  .exitCode,
              0);
    const QString after = SqliteFixture::query(log, sent).value(0);
    ASSERT_NE(after, before);

    for (int delayMs : {30, 80, 150, 300}) {
        QProcess undo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        undo.setProcessEnvironment(env);
        undo.start(QStringLiteral(QUORVANE_CLI), {QStringLiteral("--data-dir"), data, QStringLiteral("undo")});
        ASSERT_TRUE(undo.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(delayMs));
        undo.kill();
        undo.waitForFinished();
        const QString now = SqliteFixture::query(log, sent).value(0);
        EXPECT_TRUE(now == before || now == after) << delayMs << " ms: " << now.toStdString();
        if (now == before)
            break; // the undo had finished before the kill
    }
    const CliRun last = cli({QStringLiteral("--data-dir"), data, QStringLiteral("undo")});
    if (SqliteFixture::query(log, sent).value(0) != before)
        ADD_FAILURE() << "the undo did not finish: " << last.err.toStdString();
    EXPECT_EQ(SqliteFixture::query(log, sent).value(0), before);
}

namespace {
// TQSL signed, but another program holds the log when the QSOs are to be marked: the batch
// command marks nothing, opens no page, puts nothing on the clipboard, and exits 1 saying why.
TEST_F(BatchCommandTest, ALogHeldWhenTheMarksAreWritten)
{
    if (!RealTqsl::unavailable().isEmpty())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    RealTqsl::Certificate certificate;
    certificate.call = QStringLiteral("K1QVN");
    certificate.location = QStringLiteral("Home");
    certificate.qsoFrom = QStringLiteral("2000-01-01");
    const RealTqsl tqsl(certificate);
    const QString data = demo(QStringLiteral("data"));
    const QString log = data + QStringLiteral("/Dxbase.sqlite");
    const QString tools = dir.file(QStringLiteral("tools"));
    QDir().mkpath(tools);
    const QString holding = tqsl.programThatHoldsTheLogAfterwards(tools, log, 8);
    overwrite(tools + QStringLiteral("/tqsl"), "#!/bin/sh\nexec '" + holding.toUtf8() + "' \"$@\"\n");
    QFile::setPermissions(tools + QStringLiteral("/tqsl"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString due = QStringLiteral("SELECT count(*) FROM [QSO-TAB] WHERE [QSO-QSLS] IN ('0','1')");
    const QString dueBefore = SqliteFixture::query(log, due).value(0);

    const CliRun run = cliWithPath({QStringLiteral("--data-dir"), data, QStringLiteral("upload")},
                                   tools + QStringLiteral(":/usr/bin:/bin"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("but the log could not be marked"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("Clipboard:"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("Opening"))) << run.err.toStdString();
    QThread::msleep(3500); // the other program lets the log go
    EXPECT_EQ(SqliteFixture::query(log, due).value(0), dueBefore);
}
} // namespace

namespace {
// Without a browser, the batch command points to --print-url (it has no clipboard to paste
// from), and the message names no password.
TEST_F(BatchCommandTest, WithoutABrowserTheRequestPointsToPrintUrl)
{
    const QString data = demo(QStringLiteral("data"));
    const QString empty = dir.file(QStringLiteral("no-programs"));
    QDir().mkpath(empty);
    const CliRun run = cliWithPath({QStringLiteral("--data-dir"), data, QStringLiteral("request"), QStringLiteral("--all"),
                                    QStringLiteral("--browser")},
                                   empty);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no web browser could be started"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("--print-url"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("paste it"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("password="))) << run.err.toStdString();
}
} // namespace
