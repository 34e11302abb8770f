// quorvane-cli request and verify against a LoTW stand-in over HTTPS, run as the operator runs
// them: what they print, the report file, the date file and the log after each.

// Answers are written with designated initialisers that leave the rest as they are.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "support/ProgramText.h"
#include "support/LotwStandIn.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

constexpr char kReport[] = "/lotwuser/lotwreport.adi";

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

QByteArray Bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class LotwCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_LOTW_STAND_IN();
        ASSERT_TRUE(lotw.started()) << lotw.error().toStdString();
        data = dir.file(QStringLiteral("data"));
        ASSERT_EQ(cli({QStringLiteral("demo"), QStringLiteral("--qsos"), QStringLiteral("300")}).exitCode, 0);
        demoReport = Bytes(data + QStringLiteral("/lotwreport.adi"));
    }
    CliRun cli(const QStringList& arguments, const QString& timeouts = QString()) const
    {
        QProcess process;
        QProcessEnvironment env = lotw.environment();
        env.insert(QStringLiteral("HOME"), dir.path());
        env.remove(QStringLiteral("QUORVANE_DATA_DIR"));
        if (!timeouts.isEmpty())
            env.insert(QStringLiteral("QUORVANE_LOTW_TIMEOUTS"), timeouts);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_CLI), QStringList{QStringLiteral("--data-dir"), data} + arguments);
        CliRun run;
        if (!process.waitForFinished(120000))
            return run;
        run.exitCode = process.exitCode();
        run.out = ProgramText(process.readAllStandardOutput());
        run.err = ProgramText(process.readAllStandardError());
        return run;
    }
    QString log() const { return data + QStringLiteral("/Dxbase.sqlite"); }
    QStringList marks() const
    {
        return SqliteFixture::query(log(), QStringLiteral("SELECT [QSO-QSLS], count(*) FROM [QSO-TAB] GROUP BY 1"));
    }
    static void expectNoPassword(const CliRun& run)
    {
        for (const QString& text : {run.out, run.err}) {
            EXPECT_FALSE(text.contains(QStringLiteral("demo1234"))) << text.toStdString();
            EXPECT_FALSE(text.contains(QStringLiteral("%64%65%6d%6f"))) << text.toStdString();
        }
    }

    LotwStandIn lotw;
    TestDir dir;
    QString data;
    QByteArray demoReport;
};

TEST_F(LotwCommandTest, RequestImportsTheReportAndKeepsLoTWsCursor)
{
    QByteArray served = demoReport;
    served.replace("<APP_LoTW_LASTQSL:19>", "<APP_LoTW_LASTQSL:19>2026-04-01 08:15:30<X:0>");
    served.replace("<X:0>", "\r\n<OLD:19>");
    lotw.answer(QString::fromLatin1(kReport), {.body = served});
    QFile::remove(data + QStringLiteral("/lotwreport.adi"));
    const auto confirmed = [this] {
        return SqliteFixture::query(log(), QStringLiteral("SELECT [QSO-CONFIRM], [QSO-LOTWREC], [QSO-AWARD] FROM [QSO-TAB] ORDER BY rowid"));
    };
    const QStringList before = confirmed();

    CliRun run = cli({QStringLiteral("request"), QStringLiteral("--all"), QStringLiteral("--import")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Bytes(data + QStringLiteral("/lotwreport.adi")), served);
    EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW's report is saved as"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW Recs Used: "))) << run.out.toStdString();
    EXPECT_NE(confirmed(), before);
    EXPECT_TRUE(Bytes(data + QStringLiteral("/quorvane2.dat")).startsWith("1\r\n2026-04-01 08:15:30\x05" "0:-1:"))
        << Bytes(data + QStringLiteral("/quorvane2.dat")).constData();
    expectNoPassword(run);
    std::vector<LotwStandIn::Request> requests = lotw.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("password")), QByteArray("demo1234"));
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("qso_query")), QByteArray("1"));
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("qso_qsl")), QByteArray("yes"));
    EXPECT_FALSE(requests[0].query.hasQueryItem(QStringLiteral("qso_qslsince")));

    // The import checked "Download ALL QSLs", as the form does; with "Only fm last QSL >"
    // chosen and saved, the next request asks from LoTW's cursor as it stands.
    QByteArray dates = Bytes(data + QStringLiteral("/quorvane2.dat"));
    dates.replace("\x05" "0:-1:", "\x05" "1:0:");
    QFile file(data + QStringLiteral("/quorvane2.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(dates);
    file.close();
    run = cli({QStringLiteral("request")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    requests = lotw.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].valueBytes(QStringLiteral("qso_qslsince")), QByteArray("2026-04-01 08:15:30"));
}

TEST_F(LotwCommandTest, EveryFailedRequestChangesNothingAndSaysWhy)
{
    struct Case
    {
        const char* name;
        LotwStandIn::Answer answer;
        const char* says;
    };
    const QByteArray page = "<!DOCTYPE html><html><head><title>Logbook of the World</title></head><body>";
    const std::vector<Case> cases = {
        {"login refused", {.body = page + "Username/password incorrect</body></html>", .contentType = "text/html"},
         "LoTW refused the login \"K1QVN\""},
        {"request limit", {.body = page + "<b>Page Request Limit!</b></body></html>", .contentType = "text/html"},
         "Try again later"},
        {"server error", {.status = 500, .body = "Internal error"}, "HTTP status 500"},
        {"redirect", {.status = 302, .headers = {{QStringLiteral("Location"), QStringLiteral("/lotwuser/default")}}},
         "sent the request on to"},
        {"silence", {.body = "x", .stallBefore = 4}, "sent no answer within 2 seconds"},
        {"stall", {.body = QByteArray(100000, 'x'), .stallAfter = 1000, .stallSeconds = 4}, "stopped coming"},
        {"cut short", {.body = QByteArray("ARRL Logbook of the World Status Report\r\n<eoh>\r\n<CALL:4>DL1X"),
                       .noLength = true},
         "without its closing tag"},
        {"garbage", {.body = QByteArray(5000, '\x01')}, "is no report"},
    };
    const QByteArray dates = Bytes(data + QStringLiteral("/quorvane2.dat"));
    const QStringList before = marks();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lotw.answer(QString::fromLatin1(kReport), c.answer);
        const CliRun run = cli({QStringLiteral("request"), QStringLiteral("--since"), QStringLiteral("2026-01-01"),
                                QStringLiteral("--import")},
                               QStringLiteral("2,1"));
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.says))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Nothing was changed"))) << run.err.toStdString();
        EXPECT_EQ(Bytes(data + QStringLiteral("/lotwreport.adi")), demoReport);
        EXPECT_EQ(Bytes(data + QStringLiteral("/quorvane2.dat")), dates);
        EXPECT_EQ(marks(), before);
        expectNoPassword(run);
    }

    // A server no authority of ours vouches for, and none at all.
    LotwStandIn foreign(LotwStandIn::Certificate::Foreign);
    SKIP_WITHOUT_LOTW_STAND_IN();
    ASSERT_TRUE(foreign.started());
    for (const QString& url : {foreign.baseUrl(), QStringLiteral("https://127.0.0.1:%1").arg(LotwStandIn::refusedPort())}) {
        QProcess process;
        QProcessEnvironment env = lotw.environment();
        env.insert(QStringLiteral("QUORVANE_LOTW_URL"), url);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_CLI), {QStringLiteral("--data-dir"), data, QStringLiteral("request"),
                                                     QStringLiteral("--all")});
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString err = ProgramText(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(err.contains(QStringLiteral("secure connection")) || err.contains(QStringLiteral("refused the connection")))
            << err.toStdString();
        EXPECT_EQ(Bytes(data + QStringLiteral("/lotwreport.adi")), demoReport);
        EXPECT_EQ(Bytes(data + QStringLiteral("/quorvane2.dat")), dates);
    }
    EXPECT_TRUE(foreign.requests().empty());
}

// The records of the upload file, as LoTW's report of received QSOs lists them.
QByteArray ReceivedReport(const QByteArray& upload, int every, int skip)
{
    const QByteArray body = upload.mid(upload.indexOf("<EOH>") + 5);
    QByteArray report = "ARRL Logbook of the World Status Report\r\n<PROGRAMID:4>LoTW\r\n"
                        "<APP_LoTW_LASTQSORX:19>2026-04-01 08:15:30\r\n<eoh>\r\n";
    int n = 0;
    qsizetype at = 0;
    for (;;) {
        const qsizetype end = body.indexOf("<EOR>", at);
        if (end < 0)
            break;
        if (n++ % every != skip)
            report += "<APP_LoTW_OWNCALL:5>K1QVN\r\n<STATION_CALLSIGN:5>K1QVN\r\n" + body.mid(at, end - at).trimmed()
                      + "\r\n<QSL_RCVD:1>N\r\n<eor>\r\n\r\n";
        at = end + 5;
    }
    return report + "<APP_LoTW_EOF>\r\n";
}

TEST_F(LotwCommandTest, VerifyMatchesTheKeptUploadAndMakesTheMissingOnesDueAgain)
{
    ASSERT_EQ(cli({QStringLiteral("upload"), QStringLiteral("--no-handoff")}).exitCode, 0);
    const QByteArray upload = Bytes(data + QStringLiteral("/LoTWUpload.adi"));
    const long uploaded = long(upload.count("<EOR>"));
    ASSERT_GT(uploaded, 20);
    const QStringList afterUpload = marks();

    struct Case
    {
        const char* name;
        QByteArray answer;
        long missing;
    };
    const std::vector<Case> cases = {
        {"none received", ReceivedReport(upload, 1, 0), uploaded},
        {"every third missing", ReceivedReport(upload, 3, 1), (uploaded + 1) / 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lotw.answer(QString::fromLatin1(kReport) + QStringLiteral("?qso_qsl=no"), {.body = c.answer});
        const CliRun run = cli({QStringLiteral("verify")});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW holds %1 of the %2 QSOs").arg(uploaded - c.missing).arg(uploaded)))
            << run.out.toStdString();
        EXPECT_EQ(run.out.count(QStringLiteral("** not received by LoTW **")), c.missing);
        EXPECT_EQ(QString::fromLatin1(Bytes(data + QStringLiteral("/SemiQuorvaneErrors.txt"))).count(QStringLiteral("** not received by LoTW **")),
                  c.missing);
        EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW may still be processing"))) << run.out.toStdString();
        EXPECT_EQ(marks(), afterUpload);
        expectNoPassword(run);
        const LotwStandIn::Request asked = lotw.requests().back();
        EXPECT_EQ(asked.valueBytes(QStringLiteral("qso_qsl")), QByteArray("no"));
        EXPECT_EQ(asked.valueBytes(QStringLiteral("qso_qsorxsince")).size(), 19);
        EXPECT_EQ(asked.valueBytes(QStringLiteral("qso_withown")), QByteArray("yes"));
        EXPECT_EQ(asked.valueBytes(QStringLiteral("qso_owncall")), QByteArray("K1QVN"));
    }

    // The missing third made due again, kept for undo; the undo puts them back.
    CliRun run = cli({QStringLiteral("verify"), QStringLiteral("--redue")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const long missing = (uploaded + 1) / 3;
    EXPECT_TRUE(run.out.contains(QStringLiteral("Made %1 QSOs due again").arg(missing))) << run.out.toStdString();
    EXPECT_NE(marks(), afterUpload);
    run = cli({QStringLiteral("undo"), QStringLiteral("--list")});
    EXPECT_TRUE(run.out.contains(QStringLiteral("redue  %1 rows").arg(missing))) << run.out.toStdString();
    ASSERT_EQ(cli({QStringLiteral("undo")}).exitCode, 0);
    EXPECT_EQ(marks(), afterUpload);

    // A failed check changes nothing.
    lotw.answer(QString::fromLatin1(kReport) + QStringLiteral("?qso_qsl=no"), {.status = 503});
    const QStringList beforeFailure = marks();
    run = cli({QStringLiteral("verify"), QStringLiteral("--redue")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("HTTP status 503"))) << run.err.toStdString();
    EXPECT_EQ(marks(), beforeFailure);
    lotw.answer(QString::fromLatin1(kReport) + QStringLiteral("?qso_qsl=no"), {.body = ReceivedReport(upload, 1, -1)});

    // All received: the upload is known to be held, and the next check has nothing to ask.
    lotw.answer(QString::fromLatin1(kReport) + QStringLiteral("?qso_qsl=no"), {.body = ReceivedReport(upload, 1, -1)});
    run = cli({QStringLiteral("verify"), QStringLiteral("--redue")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("LoTW holds %1 of the %1 QSOs").arg(uploaded))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("due again")));
    const size_t asked = lotw.requests().size();
    run = cli({QStringLiteral("verify")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains(QStringLiteral("No kept upload waits"))) << run.out.toStdString();
    EXPECT_EQ(lotw.requests().size(), asked);

}

} // namespace
