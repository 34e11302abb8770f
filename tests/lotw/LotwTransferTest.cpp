// Reports fetched from and signed files sent to a LoTW stand-in over HTTPS: every way the
// answer can go wrong gives a message naming the cause and leaves the report file as it was.

// Answers are written with designated initialisers that leave the rest as they are.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "lotw/LotwAddress.h"
#include "lotw/ReportDownload.h"
#include "lotw/SignedFileUpload.h"
#include "support/Fakes.h"
#include "support/LotwStandIn.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

constexpr char kReportPath[] = "/lotwuser/lotwreport.adi";
const QByteArray kOldReport = "the previous report\r\n";

HttpLimits ShortLimits()
{
    HttpLimits limits;
    limits.firstByteMs = 1500;
    limits.stallMs = 1000;
    limits.maxBytes = 20 << 20;
    return limits;
}

// Peak resident memory of this process, in KiB.
qint64 PeakKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

class LotwTransferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_LOTW_STAND_IN();
        ASSERT_TRUE(lotw.started()) << lotw.error().toStdString();
        lotw.useInThisProcess();
        dir.write(QStringLiteral("lotwreport.adi"), kOldReport);
    }
    QUrl reportUrl(const QString& password = QStringLiteral("%73%65%63%72%65%74")) const
    {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("login"), QStringLiteral("N1TST"));
        query.addQueryItem(QStringLiteral("password"), LotwAddress::queryValue(password));
        return LotwAddress::at(QString::fromLatin1(kReportPath), query);
    }
    ReportDownload download(const LotwStandIn::Answer& answer, HttpLimits limits = ShortLimits())
    {
        lotw.answer(QString::fromLatin1(kReportPath), answer);
        return DownloadReport(reportUrl(), dir.file(QStringLiteral("lotwreport.adi")), QStringLiteral("N1TST"), monitor,
                              limits);
    }

    LotwStandIn lotw;
    TestDir dir;
    RecordingMonitor monitor;
};

TEST_F(LotwTransferTest, AWholeReportReplacesTheFileByteForByte)
{
    for (int records : {0, 1, 100000}) {
        SCOPED_TRACE(records);
        LotwStandIn::Answer answer;
        if (records < 2)
            answer.body = LotwReportBytes(std::vector<ReportQso>(size_t(records), {QStringLiteral("DL1ABC"), QStringLiteral("20250101"),
                                                                          QStringLiteral("120000"), QStringLiteral("20M"),
                                                                          QStringLiteral("CW"), QStringLiteral("20260301"),
                                                                          QStringLiteral("N1TST")}),
                                          QStringLiteral("2026-03-14 17:58:41"));
        else
            answer.generateRecords = records;
        const ReportDownload result = download(answer);
        ASSERT_EQ(result.result, ReportDownload::Result::Saved) << result.message.toStdString();
        const QByteArray saved = dir.read(QStringLiteral("lotwreport.adi"));
        EXPECT_EQ(saved.size(), result.bytes);
        EXPECT_TRUE(saved.endsWith("<APP_LoTW_EOF>\r\n"));
        if (records < 2)
            EXPECT_EQ(saved, answer.body);
        else
            EXPECT_EQ(saved.count("<eor>"), records);
    }
    // Progress went from waiting (nothing yet) to the bytes received.
    ASSERT_FALSE(monitor.progress.empty());
    EXPECT_EQ(monitor.progress.front().first, 0);
    EXPECT_GT(monitor.progress.back().first, 1000000);
}

struct BadAnswer
{
    const char* name;
    LotwStandIn::Answer answer;
    const char* says;  // part of the message
    HttpOutcome::Kind kind;
};

QByteArray Page(const char* body)
{
    return QByteArray("<!DOCTYPE html>\n<html><head><title>LoTW</title></head><body>") + body + "</body></html>\n";
}

TEST_F(LotwTransferTest, EveryBadAnswerNamesItsCauseAndKeepsThePreviousFile)
{
    const QByteArray whole = LotwReportBytes({{QStringLiteral("DL1ABC"), QStringLiteral("20250101"), QStringLiteral("120000"),
                                                QStringLiteral("20M"), QStringLiteral("CW"), QStringLiteral("20260301"),
                                                QStringLiteral("N1TST")}},
                                              QStringLiteral("2026-03-14 17:58:41"));
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) & 0xff);
    const std::vector<BadAnswer> cases = {
        {"login page", {.body = Page("<p>Username/password incorrect</p>"), .contentType = "text/html"},
         "Username/password incorrect", HttpOutcome::Kind::Ok},
        {"request limit page", {.body = Page("<h1>Page Request Limit!</h1>"), .contentType = "text/html"},
         "Try again later", HttpOutcome::Kind::Ok},
        {"other page", {.body = Page("<p>Down for maintenance</p>"), .contentType = "text/html"}, "web page",
         HttpOutcome::Kind::Ok},
        {"server error", {.status = 500, .body = "oops"}, "HTTP status 500", HttpOutcome::Kind::HttpStatus},
        {"not found", {.status = 404, .body = "gone"}, "HTTP status 404", HttpOutcome::Kind::HttpStatus},
        {"redirect",
         {.status = 302, .headers = {{QStringLiteral("Location"), QStringLiteral("https://127.0.0.1:1/login?password=leak")}}},
         "sent the request on to https://127.0.0.1:1/login", HttpOutcome::Kind::Redirect},
        {"stall before the first byte", {.body = whole, .stallBefore = 4}, "sent no answer within 2 seconds",
         HttpOutcome::Kind::NoFirstByte},
        {"stall in the middle", {.body = whole, .stallAfter = 200, .stallSeconds = 4}, "stopped coming for 1 seconds after 200 bytes",
         HttpOutcome::Kind::Stalled},
        {"connection cut", {.body = whole, .truncateAt = 300}, "ended after", HttpOutcome::Kind::Truncated},
        {"report without its end", {.body = whole.left(whole.size() - 20), .noLength = true}, "without its closing tag",
         HttpOutcome::Kind::Ok},
        {"binary garbage", {.body = garbage, .contentType = "application/octet-stream"}, "is no report",
         HttpOutcome::Kind::Ok},
        {"empty answer", {.body = QByteArray()}, "was empty", HttpOutcome::Kind::Ok},
        {"answer without end", {.endless = true}, "without an end", HttpOutcome::Kind::LocalFile},
    };
    for (const BadAnswer& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportDownload result = download(c.answer);
        EXPECT_EQ(result.result, ReportDownload::Result::Failed);
        EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.says))) << result.message.toStdString();
        EXPECT_EQ(result.failure, c.kind) << result.message.toStdString();
        EXPECT_FALSE(result.message.contains(QStringLiteral("secret")));
        EXPECT_FALSE(result.message.contains(QStringLiteral("leak")));
        EXPECT_EQ(dir.read(QStringLiteral("lotwreport.adi")), kOldReport);
    }
    // Nothing was left behind beside the report.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("lotwreport.adi")});
}

TEST_F(LotwTransferTest, AServerTheAuthoritiesDoNotVouchForIsRefused)
{
    LotwStandIn foreign(LotwStandIn::Certificate::Foreign);
    SKIP_WITHOUT_LOTW_STAND_IN();
    ASSERT_TRUE(foreign.started()) << foreign.error().toStdString();
    foreign.answer(QString::fromLatin1(kReportPath), {.body = "<APP_LoTW_EOF>\r\n"});
    qputenv("QUORVANE_LOTW_URL", foreign.baseUrl().toUtf8());
    const ReportDownload result = DownloadReport(reportUrl(), dir.file(QStringLiteral("lotwreport.adi")),
                                                 QStringLiteral("N1TST"), monitor, ShortLimits());
    EXPECT_EQ(result.failure, HttpOutcome::Kind::Tls) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains(QStringLiteral("secure connection to 127.0.0.1:%1").arg(foreign.port())));
    EXPECT_TRUE(foreign.requests().empty());
    EXPECT_EQ(dir.read(QStringLiteral("lotwreport.adi")), kOldReport);

    // Without the test's authority the stand-in is a stranger too.
    lotw.useInThisProcess();
    qunsetenv("QUORVANE_LOTW_CA");
    const ReportDownload untrusted = download({.body = "<APP_LoTW_EOF>\r\n"});
    EXPECT_EQ(untrusted.failure, HttpOutcome::Kind::Tls) << untrusted.message.toStdString();
    lotw.useInThisProcess();
}

TEST_F(LotwTransferTest, ARefusedConnectionAndABadAddressAreNamed)
{
    const int port = LotwStandIn::refusedPort();
    qputenv("QUORVANE_LOTW_URL", QByteArray("https://127.0.0.1:") + QByteArray::number(port));
    ReportDownload result = DownloadReport(reportUrl(), dir.file(QStringLiteral("lotwreport.adi")),
                                           QStringLiteral("N1TST"), monitor, ShortLimits());
    EXPECT_EQ(result.failure, HttpOutcome::Kind::Refused);
    EXPECT_TRUE(result.message.contains(QStringLiteral("127.0.0.1:%1 refused the connection").arg(port)))
        << result.message.toStdString();

    qputenv("QUORVANE_LOTW_CA", dir.file(QStringLiteral("none.pem")).toUtf8());
    lotw.answer(QString::fromLatin1(kReportPath), {.body = "<APP_LoTW_EOF>\r\n"});
    qputenv("QUORVANE_LOTW_URL", lotw.baseUrl().toUtf8());
    result = DownloadReport(reportUrl(), dir.file(QStringLiteral("lotwreport.adi")), QStringLiteral("N1TST"), monitor,
                            ShortLimits());
    EXPECT_EQ(result.failure, HttpOutcome::Kind::Setup);
    EXPECT_TRUE(result.message.contains(QStringLiteral("QUORVANE_LOTW_CA"))) << result.message.toStdString();
    EXPECT_TRUE(lotw.requests().empty());
    lotw.useInThisProcess();

    QString problem;
    qputenv("QUORVANE_LOTW_URL", "ftp://example.org");
    EXPECT_EQ(LotwAddress::base(&problem).toString(), QStringLiteral("https://lotw.arrl.org"));
    EXPECT_TRUE(problem.contains(QStringLiteral("ftp://example.org")));
    qputenv("QUORVANE_LOTW_URL", "https://127.0.0.1:8443/some/path?x=1");
    EXPECT_EQ(LotwAddress::at(QStringLiteral("/lotw/upload")).toString(), QStringLiteral("https://127.0.0.1:8443/lotw/upload"));
    lotw.useInThisProcess();
}

TEST_F(LotwTransferTest, StopEndsTheDownloadAtOnceAndKeepsTheFile)
{
    monitor.onProgress = [this](qint64 done, qint64) {
        if (done > 0)
            monitor.stopRequested = true;
    };
    QElapsedTimer clock;
    clock.start();
    const ReportDownload result = download({.endless = true}, HttpLimits{});
    EXPECT_EQ(result.result, ReportDownload::Result::Stopped);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(dir.read(QStringLiteral("lotwreport.adi")), kOldReport);

    // A stop while LoTW is still silent ends the wait too.
    monitor.onProgress = nullptr;
    monitor.stopRequested = false;
    lotw.answer(QString::fromLatin1(kReportPath), {.body = "x", .stallBefore = 30});
    QTimer::singleShot(300, [this] { monitor.stopRequested = true; });
    clock.restart();
    const ReportDownload waiting = DownloadReport(reportUrl(), dir.file(QStringLiteral("lotwreport.adi")),
                                                  QStringLiteral("N1TST"), monitor, HttpLimits{});
    EXPECT_EQ(waiting.result, ReportDownload::Result::Stopped);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(LotwTransferTest, ThePasswordReachesLoTWAsItsBytesAndNowhereElse)
{
    // "a&b #%c é" as the options keep it: every Latin-1 byte percent-encoded.
    const QByteArray typed = QByteArray("a&b #%c ") + char(0xe9) + "+=";
    QString encoded;
    for (char c : typed)
        encoded += QStringLiteral("%%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("login"), QStringLiteral("N1TST"));
    query.addQueryItem(QStringLiteral("password"), LotwAddress::queryValue(encoded));
    query.addQueryItem(QStringLiteral("qso_qslsince"), LotwAddress::queryValue(QStringLiteral("2026-03-14 17:58:41")));
    lotw.answer(QString::fromLatin1(kReportPath), {.status = 500});
    const QUrl url = LotwAddress::at(QString::fromLatin1(kReportPath), query);
    const ReportDownload result =
        DownloadReport(url, dir.file(QStringLiteral("lotwreport.adi")), QStringLiteral("N1TST"), monitor, ShortLimits());
    const std::vector<LotwStandIn::Request> requests = lotw.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("password")), typed);
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("qso_qslsince")), QByteArray("2026-03-14 17:58:41"));
    EXPECT_EQ(requests[0].valueBytes(QStringLiteral("login")), QByteArray("N1TST"));
    const QString shown = LotwAddress::shown(url);
    EXPECT_TRUE(shown.contains(QStringLiteral("password=********&"))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("%61%26")));
    EXPECT_FALSE(result.message.contains(QStringLiteral("%61")));
}

TEST_F(LotwTransferTest, AHalfGigabyteReportIsStreamedInConstantMemory)
{
    const qint64 before = PeakKib();
    HttpLimits limits;
    const ReportDownload result = download({.repeatBytes = 500LL * 1000 * 1000}, limits);
    ASSERT_EQ(result.result, ReportDownload::Result::Saved) << result.message.toStdString();
    EXPECT_EQ(QFileInfo(dir.file(QStringLiteral("lotwreport.adi"))).size(), 500LL * 1000 * 1000);
    EXPECT_LT(PeakKib() - before, 64 * 1024) << "peak memory grew by " << (PeakKib() - before) << " KiB";
    QFile::remove(dir.file(QStringLiteral("lotwreport.adi")));
}

// Signed files sent to LoTW.
class SignedFileUploadTest : public LotwTransferTest
{
protected:
    SignedFileUpload upload(const LotwStandIn::Answer& answer)
    {
        lotw.answer(QStringLiteral("/lotw/upload"), answer);
        return UploadSignedFile(dir.file(QStringLiteral("LoTW Upload.tq8")), monitor, ShortLimits());
    }
    QByteArray signedBytes() const
    {
        QByteArray bytes("\x1f\x8b\x08\x00", 4);
        for (int i = 0; i < 70000; ++i)
            bytes += char(i * 31);
        return bytes;
    }
};

QByteArray UploadPage(const char* verdict, const char* message)
{
    return QByteArray("<html><body>\n<!-- .UPL.  ") + verdict + " -->\n<!-- .UPLMESSAGE. " + message
           + " -->\n<p>Your upload</p></body></html>\n";
}

TEST_F(SignedFileUploadTest, TheFileGoesAsTheFormPartUpfileAndLoTWsVerdictIsRead)
{
    dir.write(QStringLiteral("LoTW Upload.tq8"), signedBytes());
    SignedFileUpload result = upload({.body = UploadPage("accepted", "File queued for processing"), .contentType = "text/html"});
    EXPECT_EQ(result.result, SignedFileUpload::Result::Accepted);
    EXPECT_EQ(result.message, QStringLiteral("File queued for processing"));
    const std::vector<LotwStandIn::Request> requests = lotw.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, QStringLiteral("POST"));
    EXPECT_EQ(requests[0].path, QStringLiteral("/lotw/upload"));
    EXPECT_TRUE(requests[0].headers.value(QStringLiteral("content-type")).startsWith(QStringLiteral("multipart/form-data")));
    ASSERT_EQ(requests[0].parts.size(), 1u);
    EXPECT_EQ(requests[0].parts[0].name, QStringLiteral("upfile"));
    EXPECT_EQ(requests[0].parts[0].fileName, QStringLiteral("LoTW Upload.tq8"));
    EXPECT_EQ(requests[0].parts[0].contentType, QStringLiteral("application/octet-stream"));
    EXPECT_EQ(requests[0].parts[0].bytes, signedBytes());

    struct Case
    {
        const char* name;
        LotwStandIn::Answer answer;
        SignedFileUpload::Result result;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"rejected", {.body = UploadPage("rejected", "Certificate superseded"), .contentType = "text/html"},
         SignedFileUpload::Result::Rejected, "Certificate superseded"},
        {"rejected without a message", {.body = "<html><!-- .UPL.  rejected --></html>"},
         SignedFileUpload::Result::Rejected, "without saying why"},
        {"another page", {.body = Page("<p>Log in</p>"), .contentType = "text/html"}, SignedFileUpload::Result::Unexpected,
         "not its upload page"},
        {"server error", {.status = 503, .body = "busy"}, SignedFileUpload::Result::Unreachable, "HTTP status 503"},
        {"stall", {.body = UploadPage("accepted", "x"), .stallBefore = 4}, SignedFileUpload::Result::Unreachable,
         "sent no answer within"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        result = upload(c.answer);
        EXPECT_EQ(result.result, c.result);
        EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.says))) << result.message.toStdString();
    }
}

TEST_F(SignedFileUploadTest, NoServerOrAStrangeOneIsUnreachable)
{
    dir.write(QStringLiteral("LoTW Upload.tq8"), signedBytes());
    qputenv("QUORVANE_LOTW_URL", QByteArray("https://127.0.0.1:") + QByteArray::number(LotwStandIn::refusedPort()));
    SignedFileUpload result = UploadSignedFile(dir.file(QStringLiteral("LoTW Upload.tq8")), monitor, ShortLimits());
    EXPECT_EQ(result.result, SignedFileUpload::Result::Unreachable);
    EXPECT_TRUE(result.message.contains(QStringLiteral("refused"))) << result.message.toStdString();

    LotwStandIn foreign(LotwStandIn::Certificate::Foreign);
    SKIP_WITHOUT_LOTW_STAND_IN();
    ASSERT_TRUE(foreign.started());
    foreign.answer(QStringLiteral("/lotw/upload"), {.body = UploadPage("accepted", "x")});
    qputenv("QUORVANE_LOTW_URL", foreign.baseUrl().toUtf8());
    result = UploadSignedFile(dir.file(QStringLiteral("LoTW Upload.tq8")), monitor, ShortLimits());
    EXPECT_EQ(result.result, SignedFileUpload::Result::Unreachable);
    EXPECT_TRUE(result.message.contains(QStringLiteral("secure connection"))) << result.message.toStdString();
    EXPECT_TRUE(foreign.requests().empty());
    lotw.useInThisProcess();

    result = UploadSignedFile(dir.file(QStringLiteral("missing.tq8")), monitor, ShortLimits());
    EXPECT_EQ(result.result, SignedFileUpload::Result::Unreachable);
    EXPECT_TRUE(result.message.contains(QStringLiteral("missing.tq8")));
    EXPECT_TRUE(lotw.requests().empty());
}

} // namespace
