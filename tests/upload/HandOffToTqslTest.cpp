#include "upload/HandOffToTqsl.h"
#include "upload/TqslRun.h"

#include "support/Fakes.h"
#include "support/StandInTqsl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

class HandOffTest : public ::testing::Test
{
protected:
    HandOffTest()
    {
        options.uploadAdifPath = dir.file(S("My Logs LoTWUpload.adi"));
        dir.write(S("My Logs LoTWUpload.adi"), "file\r\n");
        options.stations[0] = {S("K1ABC"), S("Home")};
        options.stations[1] = {S("W1XYZ"), S("Field \"Day\" site")};
        options.stations[2] = {S("k1abc"), S("Lower")};
        options.stations[3] = {S("K1ABC"), S("Portable one")};
        choices.SigningCall = S("K1ABC");
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("se%26cret");
        useStandIn(StandInTqsl{});
    }
    void useStandIn(const StandInTqsl& standIn) { options.tqslExePath = script = standIn.write(dir.path()); }
    HandOffResult handOff(long records = 3) { return HandOffToTqsl(options, choices, records, desktop, monitor, stationFile); }
    QStringList started() const { return monitor.upload.filter(S("Starting TQSL: ")); }
    QStringList args(const char* location) const
    {
        return {S("-l"), S(location), S("-d"), options.uploadAdifPath, S("-x"), S("-a"), S("compliant")};
    }

    TestDir dir;
    Options options;
    Choices choices;
    FakeDesktop desktop;
    RecordingMonitor monitor;
    QString script;
    QString stationFile;
};

const char* const kPage = "https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=se%26cret";

TEST_F(HandOffTest, EachMatchingSlotSignsInSlotOrderThenThePageOpensOnce)
{
    const HandOffResult result = handOff();
    EXPECT_TRUE(result.signedFile);
    EXPECT_TRUE(result.pageOpened);
    const QStringList starts = started();
    ASSERT_EQ(starts.size(), 2);
    EXPECT_TRUE(starts[0].contains(S("-l Home -d"))) << starts[0].toStdString();
    EXPECT_TRUE(starts[1].contains(S("-l \"Portable one\" -d"))) << starts[1].toStdString();
    EXPECT_EQ(StandInTqsl::receivedArguments(script), args("Portable one"));
    EXPECT_EQ(desktop.urls, QStringList{S(kPage)});
    for (int step : {1100, 1101, 1102, 1103})
        EXPECT_EQ(monitor.icons[step], 141) << step;
    EXPECT_EQ(monitor.icons.count(1099), 0u);
    // TQSL's own lines reach the upload monitor as it writes them.
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: TQSL Version 2.6.5 [stand-in]")));
}

TEST_F(HandOffTest, ALocationWithQuotesAndBlanksStaysOneArgument)
{
    choices.SigningCall = S("W1XYZ");
    EXPECT_TRUE(handOff().signedFile);
    EXPECT_EQ(StandInTqsl::receivedArguments(script), args("Field \"Day\" site"));
}

TEST_F(HandOffTest, NoSlotWithTheSigningCallSignsNothing)
{
    choices.SigningCall = S("K1AB");
    const HandOffResult result = handOff();
    EXPECT_FALSE(result.signedFile);
    EXPECT_TRUE(result.failure.contains(S("K1AB"))) << result.failure.toStdString();
    EXPECT_FALSE(StandInTqsl::ran(script));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_EQ(monitor.icons[1100], 142);
}

TEST_F(HandOffTest, NothingAfterTestRunOrWithoutRecords)
{
    choices.TestOnly = true;
    EXPECT_FALSE(handOff(5).attempted);
    choices.TestOnly = false;
    EXPECT_FALSE(handOff(0).attempted);
    EXPECT_FALSE(StandInTqsl::ran(script));
    EXPECT_TRUE(desktop.events.isEmpty());
    EXPECT_TRUE(monitor.icons.empty());
}

TEST_F(HandOffTest, AddressTakesLoginAndPasswordAsTheyStand)
{
    choices.CurrentLoginCall = S("K1ABC&x=1");
    choices.CurrentPassword = S("a%2Bb?c");
    EXPECT_EQ(UploadPageAddress(choices), S("https://lotw.arrl.org/lotwuser/upload?login=K1ABC&x=1&password=a%2Bb?c"));
}

// Every result code TQSL documents: whether the file counts as signed, and the step marker a
// failure points at.
TEST_F(HandOffTest, EveryTqslStatus)
{
    struct Case { int status; bool signedFile; int redStep; };
    const Case cases[] = {
        {0, true, 0},      {1, false, 1100},  {2, false, 1103}, {3, false, 1103}, {4, false, 1100},
        {5, false, 1100},  {6, false, 1100},  {7, false, 1101}, {8, false, 1100}, {9, true, 0},
        {10, false, 1100}, {11, false, 1103}, {42, false, 1100},
    };
    choices.SigningCall = S("W1XYZ");
    for (const Case& c : cases) {
        StandInTqsl standIn;
        standIn.exitCode = c.status;
        standIn.lines = {S("Signing using Callsign W1XYZ"), S("What happened")};
        useStandIn(standIn);
        monitor = RecordingMonitor();
        desktop = FakeDesktop();
        const HandOffResult result = handOff();
        EXPECT_EQ(result.signedFile, c.signedFile) << c.status;
        EXPECT_EQ(result.tqslStatus, c.status) << c.status;
        EXPECT_EQ(result.someSkipped, c.status == 9) << c.status;
        EXPECT_EQ(result.failure, c.signedFile ? QString() : TqslStatusText(c.status)) << c.status;
        EXPECT_EQ(result.tqslLines, (QStringList{S("Signing using Callsign W1XYZ"), S("What happened")})) << c.status;
        EXPECT_EQ(desktop.urls.size(), c.signedFile ? 1 : 0) << c.status;
        if (c.redStep) {
            EXPECT_EQ(monitor.icons[c.redStep], 142) << c.status;
            EXPECT_NE(monitor.icons[1102], 141) << c.status;
        }
        EXPECT_TRUE(monitor.upload.contains(QStringLiteral("TQSL ended with status %1: ").arg(c.status)
                                            + TqslStatusText(c.status)))
            << c.status;
    }
}

TEST_F(HandOffTest, TheFirstFailedSlotEndsTheHandOff)
{
    StandInTqsl standIn;
    standIn.exitCode = 8;
    useStandIn(standIn);
    const HandOffResult result = handOff();
    EXPECT_FALSE(result.signedFile);
    EXPECT_EQ(started().size(), 1);
    EXPECT_EQ(StandInTqsl::receivedArguments(script), args("Home"));
}

TEST_F(HandOffTest, TqslUploadsItselfWithoutThePage)
{
    choices.TqslUpload = true;
    choices.SigningCall = S("W1XYZ");
    const HandOffResult result = handOff();
    EXPECT_TRUE(result.signedFile);
    EXPECT_EQ(StandInTqsl::receivedArguments(script), args("Field \"Day\" site") + QStringList{S("-u")});
    EXPECT_TRUE(desktop.urls.isEmpty());
    for (int step : {1100, 1101, 1102, 1103})
        EXPECT_EQ(monitor.icons[step], 141) << step;
}

TEST_F(HandOffTest, NoBrowserPutsTheAddressOnTheClipboard)
{
    desktop.noBrowser = true;
    choices.SigningCall = S("W1XYZ");
    const HandOffResult result = handOff();
    EXPECT_TRUE(result.signedFile);
    EXPECT_FALSE(result.pageOpened);
    EXPECT_FALSE(result.pageFailure.isEmpty());
    EXPECT_FALSE(result.pageFailure.contains(S("se%26cret")));
    EXPECT_EQ(desktop.clipboard, S(kPage));
    EXPECT_EQ(monitor.icons[1100], 141);
    EXPECT_EQ(monitor.icons[1101], 141);
    EXPECT_NE(monitor.icons[1102], 141);
    EXPECT_EQ(monitor.icons[1103], 142);
}

TEST_F(HandOffTest, ALocationTheStationFileDoesNotDefineIsNeverHandedToTqsl)
{
    stationFile = dir.file(S("station_data"));
    dir.write(S("station_data"), "<StationDataFile>\n  <StationData name=\"Portable &amp; Field\">\n"
                                 "    <CALL>K1ABC</CALL>\n  </StationData>\n  <StationData name=\"  HOME \">\n"
                                 "    <CALL>K1ABC</CALL>\n  </StationData>\n</StationDataFile>\n");
    // "Home" is defined (TQSL ignores case and blanks); "Portable one" is not.
    HandOffResult result = handOff();
    EXPECT_FALSE(result.signedFile);
    EXPECT_EQ(started().size(), 1);
    EXPECT_TRUE(result.failure.contains(S("\"Portable one\""))) << result.failure.toStdString();
    EXPECT_EQ(monitor.icons[1100], 142);

    options.stations[3].location = S("Portable & Field");
    monitor = RecordingMonitor();
    result = handOff();
    EXPECT_TRUE(result.signedFile) << result.failure.toStdString();
    EXPECT_EQ(StandInTqsl::receivedArguments(script), args("Portable & Field"));
}

TEST_F(HandOffTest, MissingOrBrokenTqsl)
{
    options.tqslExePath.clear();
    HandOffResult result = handOff();
    EXPECT_FALSE(result.signedFile);
    EXPECT_TRUE(result.failure.startsWith(S("TQSL is not installed"))) << result.failure.toStdString();

    options.tqslExePath = dir.file(S("nowhere/tqsl"));
    result = handOff();
    EXPECT_TRUE(result.failure.startsWith(S("TQSL is not installed"))) << result.failure.toStdString();
    EXPECT_TRUE(result.failure.contains(options.tqslExePath));

    dir.write(S("not-a-program"), "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(dir.file(S("not-a-program")), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    options.tqslExePath = dir.file(S("not-a-program"));
    result = handOff();
    EXPECT_TRUE(result.failure.startsWith(S("TQSL could not be started"))) << result.failure.toStdString();
    EXPECT_EQ(monitor.icons[1100], 142);
    EXPECT_TRUE(desktop.urls.isEmpty());
}

TEST_F(HandOffTest, KilledTqsl)
{
    StandInTqsl standIn;
    standIn.ending = StandInTqsl::Ending::KillItself;
    useStandIn(standIn);
    const HandOffResult result = handOff();
    EXPECT_FALSE(result.signedFile);
    EXPECT_EQ(result.failure, S("TQSL was killed before it finished"));
    EXPECT_EQ(result.tqslStatus, -1);
}

// A TQSL that never ends: the window stays alive (the wait pumps), and the operator's Stop
// ends TQSL and the wait.
TEST_F(HandOffTest, StopEndsAHangingTqsl)
{
    StandInTqsl standIn;
    standIn.ending = StandInTqsl::Ending::Hang;
    useStandIn(standIn);
    monitor.onPump = [this](int pumps) {
        if (pumps == 10)
            monitor.stopRequested = true;
    };
    QElapsedTimer clock;
    clock.start();
    const HandOffResult result = handOff();
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_GE(monitor.pumps, 10);
    EXPECT_FALSE(result.signedFile);
    EXPECT_TRUE(result.failure.contains(S("stopped"))) << result.failure.toStdString();
    EXPECT_EQ(started().size(), 1);
}

TEST_F(HandOffTest, MegabytesOfOutputAreCutAndCounted)
{
    StandInTqsl standIn;
    standIn.ending = StandInTqsl::Ending::Flood;
    useStandIn(standIn);
    choices.SigningCall = S("W1XYZ");
    const HandOffResult result = handOff();
    EXPECT_TRUE(result.signedFile);
    const QStringList lines = monitor.upload.filter(S("TQSL: "));
    EXPECT_LE(lines.size(), TqslRun::kMaxEchoedLines + 3);
    for (const QString& line : lines)
        EXPECT_LE(line.size(), TqslRun::kMaxLineLength + 20);
    EXPECT_TRUE(lines.last().contains(S("more lines of TQSL's output are not shown"))) << lines.last().toStdString();
    EXPECT_TRUE(monitor.upload.contains(S("TQSL: Final Status: Success (0)")));
}

} // namespace
