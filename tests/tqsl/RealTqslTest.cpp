// The upload with the real TQSL from Debian's trustedqsl package, run under a virtual display
// (TQSL needs one even in batch mode) with its own home folder. Without a callsign
// certificate TQSL signs nothing, which is what this machine can show: every QSO stays due,
// and TQSL's own words and status reach the monitor and the message.

#include "upload/UploadRun.h"

#include "support/UploadLogFixture.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

using Row = std::map<std::string, std::string>;

Row qso(const std::string& call, const std::string& qsls)
{
    return {{"QSO-CALL", call},    {"QSO-DATE", "20240315"}, {"QSO-TIME", "142530"}, {"QSO-OPRCALL", "K1ABC"},
            {"QSO-BAND", "6"},     {"QSO-MODE", "2"},        {"QSO-QSLS", qsls},     {"QSO-PREFIX", "DL"},
            {"QSO-FREQ", "14025.5"}, {"QSO-CONFIRM", "0"}};
}

class RealTqsl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(S("/usr/bin/tqsl")))
            GTEST_SKIP() << "TQSL (Debian package trustedqsl) is not installed";
        const QString xvfb = QStandardPaths::findExecutable(S("xvfb-run"));
        if (xvfb.isEmpty())
            GTEST_SKIP() << "xvfb-run (Debian package xvfb) is not installed";

        // TQSL keeps its station locations, certificates and settings under $HOME/.tqsl.
        QDir(home.path()).mkpath(S(".tqsl"));
        stationFile = home.file(S(".tqsl/station_data"));
        home.write(S(".tqsl/station_data"),
                   "<StationDataFile>\n"
                   "  <StationData name=\"Home\">\n"
                   "    <CALL>K1ABC</CALL>\n    <CQZ>5</CQZ>\n    <DXCC>291</DXCC>\n    <GRIDSQUARE>FN42</GRIDSQUARE>\n"
                   "    <ITUZ>8</ITUZ>\n    <US_COUNTY>Middlesex</US_COUNTY>\n    <US_STATE>MA</US_STATE>\n"
                   "  </StationData>\n"
                   "</StationDataFile>\n");
        // The program the upload starts: the real TQSL, on a display of its own.
        const QString wrapper = home.file(S("tqsl"));
        home.write(S("tqsl"), "#!/bin/sh\nHOME='" + home.path().toUtf8() + "'\nexport HOME\nexec " + xvfb.toUtf8()
                                  + " -a /usr/bin/tqsl \"$@\"\n");
        QFile::setPermissions(wrapper, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        SqliteFile log(dir.file(S("log.sqlite")));
        CreateQsoTable(log);
        InsertQso(log, qso("DL1ABC", "0"));
        InsertQso(log, qso("DL2ABC", "1"));
        SqliteFile ref(dir.file(S("refdata.sqlite")));
        CreatePrefixTable(ref, {{"DL", "230"}});

        options.sourceMdbPath = dir.file(S("log.sqlite"));
        options.refdataMdbPath = dir.file(S("refdata.sqlite"));
        options.uploadAdifPath = dir.file(S("LoTWUpload.adi"));
        options.errorFilePath = dir.file(S("errors.txt"));
        options.tqslExePath = wrapper;
        options.stations[0] = {S("K1ABC"), S("Home")};
        choices.SigningCall = S("K1ABC");
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("pw");
    }

    bool upload(const QString& station = QString())
    {
        UploadRun run(options, choices, dir.file(S("LoTWUpload.tq8")), monitor, desktop);
        run.setStationFile(station);
        return run.run();
    }

    QStringList qsls() { return SqliteFile(dir.file(S("log.sqlite"))).column("QSO-TAB", "QSO-QSLS"); }

    TestDir home;
    TestDir dir;
    QString stationFile;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    FakeDesktop desktop;
};

TEST_F(RealTqsl, WithoutACertificateNothingIsMarked)
{
    EXPECT_FALSE(upload(stationFile));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: There are no valid callsign certificates for callsign K1ABC in entity -NONE-.")))
        << monitor.upload.join(S("\n")).toStdString();
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: Final Status: No QSOs written(8)")));
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("(TQSL status 8)"))) << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(monitor.messages.at(0).contains(S("the 2 QSOs of this run stay due"))) << monitor.messages.at(0).toStdString();
    EXPECT_EQ(monitor.icons[1100], 142);
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 2);
}

// A location TQSL does not know: without the station file to look in, TQSL itself refuses
// it; with it, the location is never handed to TQSL.
TEST_F(RealTqsl, AnUnknownLocationSignsNothing)
{
    options.stations[0].location = S("Nowhere");
    EXPECT_FALSE(upload());
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: The selected station location could not be found")))
        << monitor.upload.join(S("\n")).toStdString();
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("(TQSL status 10)"))) << monitor.messages.at(0).toStdString();

    monitor = RecordingMonitor();
    EXPECT_FALSE(upload(stationFile));
    EXPECT_TRUE(monitor.upload.filter(S("Starting TQSL")).isEmpty());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("\"Nowhere\" is not defined in TQSL"))) << monitor.messages.at(0).toStdString();
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
}

TEST_F(RealTqsl, SignAndUploadInOneGoWithoutACertificate)
{
    choices.TqslUpload = true;
    EXPECT_FALSE(upload(stationFile));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: No records to upload"))) << monitor.upload.join(S("\n")).toStdString();
    EXPECT_TRUE(desktop.urls.isEmpty());
}

} // namespace
