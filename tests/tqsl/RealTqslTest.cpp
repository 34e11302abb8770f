// The upload with the real TQSL from Debian's trustedqsl package, signing for real with a
// callsign certificate made for the test (or without one), under a virtual display and with a
// home folder of its own. What is marked is what the signed file holds: every signed file is
// compared with the upload file, and every row of the log with what TQSL said of its QSO.

#include "upload/SignedFile.h"
#include "upload/UploadRun.h"

#include "support/Fakes.h"
#include "support/RealTqsl.h"
#include "support/TempDir.h"
#include "support/UploadLogFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

using Row = std::map<std::string, std::string>;

Row qso(const std::string& call, const std::string& qsls, const std::string& date = "20240315")
{
    return {{"QSO-CALL", call},    {"QSO-DATE", date},    {"QSO-TIME", "142530"}, {"QSO-OPRCALL", "K1ABC"},
            {"QSO-BAND", "6"},     {"QSO-MODE", "2"},     {"QSO-QSLS", qsls},     {"QSO-PREFIX", "DL"},
            {"QSO-FREQ", "14025.5"}, {"QSO-CONFIRM", "0"}};
}

class RealTqslTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString missing = RealTqsl::unavailable();
        if (!missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        SqliteFile log(dir.file(S("log.sqlite")));
        CreateQsoTable(log);
        SqliteFile ref(dir.file(S("refdata.sqlite")));
        CreatePrefixTable(ref, {{"DL", "230"}});
        options.sourceMdbPath = dir.file(S("log.sqlite"));
        options.refdataMdbPath = dir.file(S("refdata.sqlite"));
        options.uploadAdifPath = dir.file(S("LoTWUpload.adi"));
        options.errorFilePath = dir.file(S("errors.txt"));
        options.stations[0] = {S("K1ABC"), S("Home QTH")};
        choices.SigningCall = S("K1ABC");
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("pw");
    }

    void insert(const std::vector<Row>& rows)
    {
        SqliteFile log(dir.file(S("log.sqlite")));
        for (const Row& row : rows)
            InsertQso(log, row);
    }

    // Uploads with TQSL signing as tqsl is set up; with the station file to look in unless
    // told otherwise.
    bool upload(const RealTqsl& tqsl, bool withStationFile = true)
    {
        options.tqslExePath = tqsl.program();
        before = qsls();
        UploadRun run(options, choices, monitor, desktop);
        if (withStationFile)
            run.setStationFile(tqsl.stationFile());
        run.setTqslPassphrase(passphrase);
        run.setTqslTimeLimit(timeLimit);
        const bool ok = run.run();
        marked = run.markedCount();
        return ok;
    }

    QStringList qsls() { return SqliteFile(dir.file(S("log.sqlite"))).column("QSO-TAB", "QSO-QSLS"); }
    QStringList calls() { return SqliteFile(dir.file(S("log.sqlite"))).column("QSO-TAB", "QSO-CALL"); }

    // The calls of the QSOs the signed file holds, in its order.
    QStringList signedCalls()
    {
        QStringList signedOnes;
        SignedFileReader reader;
        if (!reader.read(dir.file(S("LoTWUpload.tq8")), [&](const SignedContact& c) { signedOnes.append(c.call); }))
            signedOnes.append(S("unreadable: ") + reader.problem());
        return signedOnes;
    }

    // The calls of the upload file's records, in its order.
    QStringList fileCalls()
    {
        QStringList found;
        static const QRegularExpression call(QStringLiteral("<CALL:\\d+>(\\S+)"));
        for (const auto& m : call.globalMatch(QString::fromUtf8(dir.read(S("LoTWUpload.adi")))))
            found.append(m.captured(1));
        return found;
    }

    // The rows this run marked are exactly the QSOs the signed file holds, each once, and
    // every QSO of the file not in it has a line that says why.
    void expectMarksAreTheSignedFile()
    {
        const QStringList signedOnes = signedCalls();
        QStringList marked;
        const QStringList all = calls(), flags = qsls();
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (flags.at(i) != before.value(i))
                marked.append(all.at(i));
        }
        EXPECT_EQ(marked, signedOnes);
        EXPECT_EQ(QSet<QString>(signedOnes.begin(), signedOnes.end()).size(), signedOnes.size());
        for (const QString& call : fileCalls()) {
            if (!signedOnes.contains(call))
                EXPECT_EQ(monitor.upload.filter(S("Warning: not signed by TQSL, stays due: ") + call + S(" ")).size(), 1)
                    << call.toStdString();
        }
    }

    TestDir dir;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    FakeDesktop desktop;
    QString passphrase;
    int timeLimit = 0;
    QStringList before; // [QSO-QSLS] before the last upload
    long marked = -1;
};

TEST_F(RealTqslTest, EverythingSigned)
{
    insert({qso("DL1ABC", "0"), qso("DL2ABC", "1"), qso("DL3ABC", "2")});
    RealTqsl tqsl;
    ASSERT_TRUE(upload(tqsl)) << monitor.messages.join(S("\n")).toStdString();
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("3"), S("2")}));
    EXPECT_EQ(signedCalls(), (QStringList{S("DL1ABC"), S("DL2ABC")}));
    expectMarksAreTheSignedFile();
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(S("\n")).toStdString();
    EXPECT_EQ(desktop.clipboard, dir.file(S("LoTWUpload.tq8")));
    for (Step step : {Step::MakeAdif, Step::SignAdif, Step::MakeTq8, Step::Clipboard, Step::Upload})
        EXPECT_EQ(monitor.icons[step], StepIcon::Tick) << int(step);
}

// A certificate for QSOs from 2024-03-16 on: TQSL signs those and leaves the others out
// (status 9); only the signed ones are marked, the others stay due with TQSL's reason.
TEST_F(RealTqslTest, ACertificateThatCoversSomeQsos)
{
    insert({qso("DL1ABC", "0", "20240315"), qso("DL2ABC", "0", "20240316"), qso("DL3ABC", "1", "20240314"),
            qso("DL4ABC", "1", "20240317")});
    RealTqsl::Certificate certificate;
    certificate.qsoFrom = S("2024-03-16");
    RealTqsl tqsl(certificate);
    ASSERT_TRUE(upload(tqsl)) << monitor.messages.join(S("\n")).toStdString();
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: Final Status: Some QSOs suppressed(9)")));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("2"), S("1"), S("3")}));
    EXPECT_EQ(marked, 2);
    expectMarksAreTheSignedFile();
    EXPECT_TRUE(monitor.upload.contains(S("Warning: not signed by TQSL, stays due: DL1ABC 20240315 142530 20M CW: QSO "
                                          "date is not within the date range specified on your Callsign Certificate")))
        << monitor.upload.join(S("\n")).toStdString();
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL signed 2 of the 4 QSOs of the upload file; 2 are marked as sent.")))
        << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(monitor.questions.isEmpty());
    // The error file names them too.
    EXPECT_EQ(dir.read(S("errors.txt")).count("stays due"), 2);
}

// Every QSO outside the certificate's dates (status 8), or a certificate that has expired:
// nothing is signed, nothing marked, nothing offered.
TEST_F(RealTqslTest, NothingSigned)
{
    insert({qso("DL1ABC", "0"), qso("DL2ABC", "1")});
    RealTqsl::Certificate outside;
    outside.qsoFrom = S("2025-01-01");
    RealTqsl::Certificate expired;
    expired.validDays = -5;
    for (const RealTqsl::Certificate& certificate : {outside, expired}) {
        SCOPED_TRACE(certificate.validDays);
        RealTqsl tqsl(certificate);
        monitor = RecordingMonitor();
        desktop = FakeDesktop();
        EXPECT_FALSE(upload(tqsl));
        EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
        EXPECT_TRUE(desktop.events.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(dir.file(S("LoTWUpload.tq8"))));
        ASSERT_EQ(monitor.messages.size(), 1);
        EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL did not sign the upload file: ")))
            << monitor.messages.at(0).toStdString();
        EXPECT_TRUE(monitor.messages.at(0).contains(S("the 2 QSOs of this run stay due"))) << monitor.messages.at(0).toStdString();
    }
}

// A passphrase-protected key: the right passphrase signs, a wrong one signs nothing (status 5,
// and the empty file TQSL leaves is gone), and without one the time limit ends TQSL.
TEST_F(RealTqslTest, AProtectedKey)
{
    insert({qso("DL1ABC", "0")});
    RealTqsl::Certificate certificate;
    certificate.passphrase = S("correct horse");
    RealTqsl tqsl(certificate);

    passphrase = S("not-the-passphrase");
    EXPECT_FALSE(upload(tqsl));
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_TRUE(monitor.messages.value(0).contains(S("(TQSL status 5)"))) << monitor.messages.value(0).toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.file(S("LoTWUpload.tq8"))));
    EXPECT_TRUE(monitor.upload.filter(S("not-the-passphrase")).isEmpty());

    passphrase.clear();
    timeLimit = 10;
    monitor = RecordingMonitor();
    EXPECT_FALSE(upload(tqsl));
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_TRUE(monitor.upload.contains(S("TQSL is waiting for the passphrase of the callsign certificate of K1ABC in "
                                          "its own window; it is ended if it has not finished within 10 s.")))
        << monitor.upload.join(S("\n")).toStdString();
    EXPECT_TRUE(monitor.messages.value(0).contains(S("did not finish within 10 s"))) << monitor.messages.value(0).toStdString();

    passphrase = S("correct horse");
    timeLimit = 0;
    monitor = RecordingMonitor();
    ASSERT_TRUE(upload(tqsl)) << monitor.messages.join(S("\n")).toStdString();
    EXPECT_EQ(qsls(), QStringList{S("2")});
    expectMarksAreTheSignedFile();
}

// The station location names another DXCC entity than the certificate: TQSL crashes; nothing
// is marked and the crash is said.
TEST_F(RealTqslTest, ALocationOfAnotherEntity)
{
    insert({qso("DL1ABC", "0")});
    RealTqsl tqsl;
    QFile station(tqsl.stationFile());
    ASSERT_TRUE(station.open(QIODevice::ReadOnly));
    QByteArray text = station.readAll();
    station.close();
    text.replace("<DXCC>291</DXCC>", "<DXCC>230</DXCC>");
    ASSERT_TRUE(station.open(QIODevice::WriteOnly | QIODevice::Truncate));
    station.write(text);
    station.close();
    EXPECT_FALSE(upload(tqsl));
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_TRUE(desktop.events.isEmpty());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL did not sign the upload file: "))) << monitor.messages.at(0).toStdString();
}

TEST_F(RealTqslTest, WithoutACertificateNothingIsMarked)
{
    insert({qso("DL1ABC", "0"), qso("DL2ABC", "1")});
    RealTqsl tqsl;
    QDir(tqsl.home()).remove(S(".tqsl/certs/user"));
    EXPECT_FALSE(upload(tqsl));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_TRUE(monitor.upload.filter(S("TQSL: There are no valid callsign certificates for callsign K1ABC")).size() == 1)
        << monitor.upload.join(S("\n")).toStdString();
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: Final Status: No QSOs written(8)")));
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("(TQSL status 8)"))) << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(monitor.messages.at(0).contains(S("the 2 QSOs of this run stay due"))) << monitor.messages.at(0).toStdString();
    EXPECT_EQ(monitor.icons[Step::SignAdif], StepIcon::RedArrow);
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 2);
}

// A location TQSL does not know: without the station file to look in, TQSL itself refuses
// it; with it, the location is never handed to TQSL.
TEST_F(RealTqslTest, AnUnknownLocationSignsNothing)
{
    insert({qso("DL1ABC", "0"), qso("DL2ABC", "1")});
    RealTqsl tqsl;
    options.stations[0].location = S("Nowhere");
    EXPECT_FALSE(upload(tqsl, false));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: The selected station location could not be found")))
        << monitor.upload.join(S("\n")).toStdString();
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("(TQSL status 10)"))) << monitor.messages.at(0).toStdString();

    monitor = RecordingMonitor();
    EXPECT_FALSE(upload(tqsl));
    EXPECT_TRUE(monitor.upload.filter(S("Starting TQSL")).isEmpty());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("\"Nowhere\" is not defined in TQSL"))) << monitor.messages.at(0).toStdString();
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
}

} // namespace
