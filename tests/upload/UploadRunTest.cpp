#include "support/UploadLogFixture.h"

#include "upload/UploadMarks.h"
#include "upload/UploadRun.h"
#include "undo/UndoJournal.h"
#include "upload/HandOffToTqsl.h"
#include "upload/SignedFile.h"
#include "logdb/Connection.h"
#include "logdb/OdbcConnection.h"

#include "support/Fakes.h"
#include "support/FileSizeLimit.h"
#include "support/LotwStandIn.h"
#include "support/PostgresServer.h"
#include "support/RealTqsl.h"
#include "support/StandInTqsl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <future>
#include <thread>
#include <memory>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

using Row = std::map<std::string, std::string>;

Row qso(const std::string& call, const std::string& qsls, const std::string& oprCall = "K1ABC")
{
    return {{"QSO-CALL", call},     {"QSO-DATE", "20190315"}, {"QSO-TIME", "142530"}, {"QSO-RSTS", "599"},
            {"QSO-RSTR", "579"},    {"QSO-POWER", "100"},     {"QSO-ITU-ZONE", "28"}, {"QSO-OPRCALL", oprCall},
            {"QSO-WPX", "DL1"},     {"QSO-CONFIRM", "1"},     {"QSO-BAND", "6"},      {"QSO-CQ-ZONE", "14"},
            {"QSO-MODE", "2"},      {"QSO-QSLS", qsls},       {"QSO-PREFIX", "DL"},   {"QSO-FREQ", "14025.5"},
            {"QSO-SAT", "None"},    {"QSO-STATE", "ST"},      {"QSO-COUNTY", "Cty"}};
}

// The lines of the selected QSO that qso() makes, with its call and QSL_SENT flag.
QStringList recordLines(const QString& call, const char* sent)
{
    return {S("<CALL:") + QString::number(call.size()) + S(">") + call,
            S("<QSO_DATE:8>20190315"), S("<TIME_ON:6>142530"), S("<RST_SENT:3>599"), S("<RST_RCVD:3>579"),
            S("<TX_PWR:3>100"), S("<ITUZ:2>28"), S("<OPERATOR:5>K1ABC"), S("<PFX:3>DL1"), S("<QSL_RCVD:1>Y"),
            S("<BAND:3>20M"), S("<CQZ:2>14"), S("<MODE:2>CW"), S("<QSL_SENT:1>") + S(sent), S("<DXBPFX:2>DL"),
            S("<DXCC:3>230"), S("<FREQ:8>14.02550"), S("<EOR>"), S("")};
}

QByteArray fileBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

const QStringList kOpening = {S("Opened QSO-TAB table"), S("Opened PRI-PFX table"), S("")};
const QStringList kHeader = {S("Brindlewick LoTW Export from Tamsorel v[1.0]"), S("<EOH>"), S("")};
const QStringList kClosing = {S("Closed QSO-TAB table"), S("Closed PRI-PFX table"), S("")};

// The calls of the QSOs a signed file holds, in its order.
QStringList signedCalls(const QString& path)
{
    QStringList calls;
    SignedFileReader reader;
    if (!reader.read(path, [&calls](const SignedContact& c) { calls.append(c.call); }))
        calls.append(S("unreadable: ") + reader.problem());
    return calls;
}

// The upload with the real TQSL signing for K1ABC at the location "Home QTH" (a home of its
// own for each test, so that its record of signed QSOs starts empty).
class UploadRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString missing = RealTqsl::unavailable();
        if (!missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        tqsl = std::make_unique<RealTqsl>();
        options.tqslExePath = tqsl->program();
    }

    UploadRunTest()
        : log(dir.file(S("log.sqlite"))), ref(dir.file(S("refdata.sqlite")))
    {
        CreateQsoTable(log);
        CreatePrefixTable(ref, {{"DL", "230"}, {"JA", "339"}, {"DL", "999"}, {"K", "291"}});
        options.sourceMdbPath = dir.file(S("log.sqlite"));
        options.refdataMdbPath = dir.file(S("refdata.sqlite"));
        options.uploadAdifPath = dir.file(S("LoTWUpload.adi"));
        options.errorFilePath = dir.file(S("SemiQuorvaneErrors.txt"));
        options.stations[0] = {S("K1ABC"), S("Home QTH")};
        options.stations[1] = {S("W1XYZ"), S("Club")};
        choices.SigningCall = S("K1ABC");
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("pw");
    }

    void useStandIn(const StandInTqsl& standIn) { options.tqslExePath = standIn.write(tools.path()); }

    bool runUpload(bool test = false, bool handOff = true)
    {
        choices.TestOnly = test;
        UploadRun run(options, choices, monitor, desktop);
        run.setHandOff(handOff);
        if (tqsl && options.tqslExePath == tqsl->program())
            run.setStationFile(tqsl->stationFile());
        const bool ok = run.run();
        readIn = run.readInCount();
        adifOut = run.adifOutCount();
        signedCount = run.signedCount();
        result = run.result();
        return ok;
    }

    bool tqslStarted() const { return !monitor.upload.filter(S("Starting TQSL: ")).isEmpty(); }
    QString signedFile() const { return dir.file(S("LoTWUpload.tq8")); }

    QStringList qsls() { return log.column("QSO-TAB", "QSO-QSLS"); }

    TestDir dir;
    TestDir tools;
    std::unique_ptr<RealTqsl> tqsl;
    SqliteFile log;
    SqliteFile ref;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    FakeDesktop desktop;
    long readIn = -1;
    long adifOut = -1;
    long signedCount = -1;
    RunResult result; // what the last run left
};

TEST_F(UploadRunTest, SmallLogFileByteForByte)
{
    InsertQso(log, qso("DL1ABC", "0"));
    Row notDue = qso("DL2XX", "2");
    InsertQso(log, notDue);
    Row second = qso("JA1XX", "1");
    second["QSO-DATE"] = "20190202";
    second["QSO-SAT"] = "QO100";
    second["QSO-BAND"] = "0";
    second["QSO-MODE"] = "6";
    second["QSO-SUBMODE"] = "FT8";
    second["QSO-FREQ"] = "144200.50";
    second["QSO-PREFIX"] = "XX"; // no prefix row: no DXCC line
    second["QSO-NAME"] = "Taro";
    second["QSO-IOTA"] = "AS-007";
    second["QSO-CONFIRM"] = "0";
    second["QSO-POWER"] = "";
    InsertQso(log, second);
    InsertQso(log, qso("DL3YY", "0", "W1XYZ"));

    ASSERT_TRUE(runUpload());

    const QStringList secondLines = {
        S("<CALL:5>JA1XX"), S("<QSO_DATE:8>20190202"), S("<TIME_ON:6>142530"), S("<RST_SENT:3>599"),
        S("<RST_RCVD:3>579"), S("<TX_PWR:0>"), S("<ITUZ:2>28"), S("<OPERATOR:5>K1ABC"), S("<PFX:3>DL1"),
        S("<QSL_RCVD:1>N"), S("<NAME:4>Taro"), S("<IOTA:6>AS-007"), S("<BAND:2>2M"), S("<CQZ:2>14"),
        S("<MODE:3>FT8"), S("<QSL_SENT:1>Y"), S("<DXBPFX:2>XX"), S("<SAT_NAME:6>QO-100"), S("<PROP_MODE:3>SAT"),
        S("<FREQ:9>144.20050"), S("<EOR>"), S("")};
    const QStringList records = recordLines(S("DL1ABC"), "Y") + secondLines;
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), fileBytes(kHeader + records));
    const QStringList written = kOpening + kHeader + records + kClosing;
    EXPECT_EQ(monitor.upload.mid(0, written.size()), written);
    const QStringList handOff = monitor.upload.mid(written.size());
    EXPECT_EQ(handOff.value(0), S("Starting TQSL: ") + options.tqslExePath + S(" -l \"Home QTH\" -d ")
                                    + options.uploadAdifPath + S(" -x -a compliant"));
    EXPECT_TRUE(handOff.contains(S("TQSL ended with status 0: TQSL signed the file"))) << handOff.join(S("\n")).toStdString();
    EXPECT_TRUE(handOff.contains(S("The signed file %1 holds 2 of the 2 QSOs of the upload file").arg(signedFile())));
    EXPECT_EQ(handOff.last(), S("Marked 2 QSOs as sent to LoTW"));
    EXPECT_EQ(signedCalls(signedFile()), (QStringList{S("DL1ABC"), S("JA1XX")}));
    EXPECT_EQ(signedCount, 2);

    EXPECT_EQ(qsls(), (QStringList{S("2"), S("2"), S("3"), S("0")}));
    EXPECT_EQ(readIn, 4);
    EXPECT_EQ(adifOut, 2);
    EXPECT_EQ(monitor.shown.value(Counter::UploadReadIn), 4);
    EXPECT_EQ(monitor.shown.value(Counter::UploadAdifOut), 2);
    EXPECT_GE(monitor.pumps, 4); // once a QSO, and while TQSL runs
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Tick);
    // The clipboard gets the signed file's path only once its QSOs are marked.
    const QStringList events = {S("clip:") + signedFile(),
                                S("url:https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=pw")};
    EXPECT_EQ(desktop.events, events);
    for (Step step : {Step::SignAdif, Step::MakeTq8, Step::Clipboard, Step::Upload})
        EXPECT_EQ(monitor.icons[step], StepIcon::Tick) << int(step);
    EXPECT_TRUE(monitor.messages.isEmpty());
    EXPECT_TRUE(monitor.download.isEmpty());
    EXPECT_EQ(dir.read(S("SemiQuorvaneErrors.txt")), QByteArray());

    // A second run finds nothing left to upload, and leaves the file of the first one.
    desktop = FakeDesktop();
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(adifOut, 0);
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), fileBytes(kHeader + records));
    EXPECT_EQ(monitor.upload, kOpening + kHeader + kClosing + QStringList{S("NO QSOs for Uploading !!!! ")});
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Blank);
    EXPECT_EQ(monitor.icons[Step::SignAdif], StepIcon::Blank);
    EXPECT_TRUE(desktop.events.isEmpty());
    EXPECT_FALSE(tqslStarted());
}

TEST_F(UploadRunTest, SelectionBoundaries)
{
    InsertQso(log, qso("AA1A", "2"));
    InsertQso(log, qso("AA2A", "3"));
    InsertQso(log, qso("AA3A", ""));
    InsertQso(log, qso("AA4A", " 0"));
    InsertQso(log, qso("AA5A", "0 "));
    InsertQso(log, qso("AA6A", "00"));
    Row invalid = qso("AA7A", "0");
    invalid["QSO-VALID"] = "0";
    InsertQso(log, invalid);
    InsertQso(log, qso("AA8A", "0", "k1abc"));
    InsertQso(log, qso("AA9A", "1", "K1ABC "));
    InsertQso(log, qso("AA10A", "0", ""));
    Row negative = qso("AB1A", "1");
    negative["QSO-VALID"] = "-1";
    InsertQso(log, negative);
    InsertQso(log, qso("AB2A", "0"));

    ASSERT_TRUE(runUpload());
    EXPECT_EQ(readIn, 12);
    EXPECT_EQ(adifOut, 2);
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("3"), S(""), S(" 0"), S("0 "), S("00"), S("0"), S("0"), S("1"),
                                   S("0"), S("3"), S("2")}));
    EXPECT_EQ(monitor.upload.count(S("<EOR>")), 2);
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 2);
}

TEST_F(UploadRunTest, EmptySigningCallSelectsEmptyOprCall)
{
    InsertQso(log, qso("AA1A", "0", ""));
    InsertQso(log, qso("AA2A", "0"));
    choices.SigningCall = S("");
    ASSERT_TRUE(runUpload(false, false));
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("0")}));
    EXPECT_TRUE(monitor.upload.contains(S("<OPERATOR:0>")));
}

TEST_F(UploadRunTest, TestRunChangesNoFileAndNoRow)
{
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2ABC", "1"));
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");

    ASSERT_TRUE(runUpload(true));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_EQ(monitor.upload, kOpening + recordLines(S("DL1ABC"), "N") + recordLines(S("DL2ABC"), "Y") + kClosing);
    EXPECT_EQ(adifOut, 2);
    EXPECT_EQ(monitor.shown.value(Counter::UploadAdifOut), 2);
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Blank);
    EXPECT_EQ(monitor.icons[Step::Upload], StepIcon::Blank);
    EXPECT_FALSE(tqslStarted());
    // No signed file of this run exists: nothing is offered, on the clipboard either.
    EXPECT_TRUE(desktop.events.isEmpty());
}

// Without the hand-off the marks are made once the file is in place; a failure on the third
// row leaves no row marked and puts the previous file back.
TEST_F(UploadRunTest, FailureOnThirdMarkLeavesLogAndFileAsBefore)
{
    for (const char* call : {"AA1A", "AA2A", "BAD3", "AA4A"})
        InsertQso(log, qso(call, "0"));
    log.exec("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN OLD.[QSO-CALL] = 'BAD3' "
             "BEGIN SELECT RAISE(ABORT, 'refused by a trigger'); END");
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");

    EXPECT_FALSE(runUpload(false, false));
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("0"), S("0"), S("0")}));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    // No temporary or kept file left behind either.
    QStringList files = QDir(dir.path()).entryList(QDir::Files);
    files.sort();
    EXPECT_EQ(files, (QStringList{S("LoTWUpload.adi"), S("SemiQuorvaneErrors.txt"), S("log.sqlite"), S("refdata.sqlite")}));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_TRUE(monitor.download.isEmpty());
    const QString line = monitor.upload.last();
    EXPECT_TRUE(line.startsWith(S("The log could not be marked: refused by a trigger."))) << line.toStdString();
    EXPECT_EQ(dir.read(S("SemiQuorvaneErrors.txt")), line.toLatin1() + "\r\n");
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("No QSO was marked as sent"))) << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(monitor.messages.at(0).contains(S("previous upload file is back"))) << monitor.messages.at(0).toStdString();

    // With the hand-off the same failure comes after TQSL signed: the new file stays, as TQSL
    // signed it, the QSOs stay due, and nothing is offered: no page, no clipboard, no tick.
    monitor = RecordingMonitor();
    EXPECT_FALSE(runUpload());
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("0"), S("0"), S("0")}));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 4);
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL signed 4 QSOs, but the log could not be marked: refused")))
        << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(desktop.events.isEmpty()) << desktop.events.join(S("\n")).toStdString();
    EXPECT_EQ(monitor.icons[Step::Clipboard], StepIcon::RedArrow);
    EXPECT_EQ(monitor.icons[Step::Upload], StepIcon::Blank);

    // The log is usable again: without the trigger a new run uploads all four, once TQSL,
    // which signed them before, is told to sign them again.
    log.exec("DROP TRIGGER refuse");
    monitor = RecordingMonitor();
    monitor.answer = true;
    ASSERT_TRUE(runUpload()) << monitor.messages.join(S("\n")).toStdString();
    ASSERT_EQ(monitor.questions.size(), 1);
    EXPECT_TRUE(monitor.questions.at(0).startsWith(S("TQSL did not sign 4 QSOs of this upload because it signed them before")))
        << monitor.questions.at(0).toStdString();
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("2"), S("2"), S("2")}));
}

TEST_F(UploadRunTest, UnmappedBandOrModeIsNeitherMarkedNorWritten)
{
    InsertQso(log, qso("AA1A", "0"));
    Row badBand = qso("BADBAND", "0");
    badBand["QSO-BAND"] = "24";
    InsertQso(log, badBand);
    Row badMode = qso("BADMODE", "1");
    badMode["QSO-MODE"] = "89";
    InsertQso(log, badMode);
    Row after = qso("AA4A", "0");
    after["QSO-BAND"] = "18"; // 3CM: a band without a frequency rule
    InsertQso(log, after);

    ASSERT_TRUE(runUpload());
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("0"), S("1"), S("2")}));
    EXPECT_EQ(adifOut, 2);
    const QByteArray file = dir.read(S("LoTWUpload.adi"));
    EXPECT_FALSE(file.contains("BADBAND"));
    EXPECT_FALSE(file.contains("BADMODE"));
    EXPECT_TRUE(file.contains("<CALL:4>AA4A\r\n"));
    EXPECT_TRUE(file.contains("<BAND:3>3CM\r\n"));
    EXPECT_EQ(file.count("<FREQ:"), 1); // the 3CM QSO has no FREQ line, not the earlier one's
    ASSERT_EQ(monitor.download.size(), 2);
    EXPECT_TRUE(monitor.download.at(0).contains(S("band for code \"24\": BADBAND 20190315 142530")))
        << monitor.download.at(0).toStdString();
    EXPECT_TRUE(monitor.download.at(1).contains(S("mode for code \"89\": BADMODE 20190315 142530")))
        << monitor.download.at(1).toStdString();
    EXPECT_EQ(dir.read(S("SemiQuorvaneErrors.txt")),
              monitor.download.at(0).toLatin1() + "\r\n" + monitor.download.at(1).toLatin1() + "\r\n");
    EXPECT_EQ(signedCalls(signedFile()), (QStringList{S("AA1A"), S("AA4A")}));
}

TEST_F(UploadRunTest, FirstPrefixRowWinsAndUnknownPrefixGivesNoDxcc)
{
    InsertQso(log, qso("DL1A", "0"));
    Row unknown = qso("ZZ1A", "0");
    unknown["QSO-PREFIX"] = "ZZ";
    InsertQso(log, unknown);
    Row lower = qso("DL1B", "0");
    lower["QSO-PREFIX"] = "dl";
    InsertQso(log, lower);

    ASSERT_TRUE(runUpload());
    const QByteArray file = dir.read(S("LoTWUpload.adi"));
    EXPECT_EQ(file.count("<DXCC:"), 1);
    EXPECT_TRUE(file.contains("<DXBPFX:2>DL\r\n<DXCC:3>230\r\n<FREQ"));
    EXPECT_TRUE(file.contains("<DXBPFX:2>ZZ\r\n<FREQ"));
    EXPECT_TRUE(file.contains("<DXBPFX:2>dl\r\n<FREQ"));
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("2"), S("2")}));
}

// The form stays live during a run: a click on another signing station, or on "Test only",
// while the log is walked changes the form's choices, not the run that has started.
TEST_F(UploadRunTest, ChoicesChangedDuringTheRunDoNotReachIt)
{
    struct ClickingMonitor : RecordingMonitor
    {
        Choices* choices = nullptr;
        void PumpMessages() override
        {
            RecordingMonitor::PumpMessages();
            choices->SigningCall = QStringLiteral("W1XYZ");
            choices->CurrentLoginCall = QStringLiteral("W1XYZ");
            choices->TestOnly = true;
        }
    } clicking;
    clicking.choices = &choices;
    for (const char* call : {"AA1A", "AA2A", "AA3A"})
        InsertQso(log, qso(call, "0"));
    InsertQso(log, qso("AB1A", "0", "W1XYZ"));

    UploadRun run(options, choices, clicking, desktop);
    run.setStationFile(tqsl->stationFile());
    ASSERT_TRUE(run.run());
    EXPECT_EQ(run.adifOutCount(), 3);
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("2"), S("2"), S("0")}));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 3);
    EXPECT_EQ(desktop.urls, QStringList{S("https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=pw")});
    EXPECT_EQ(clicking.upload.filter(S("Starting TQSL: ")).value(0).section(S(" -d "), 0, 0).section(S(" -l "), 1),
              S("\"Home QTH\""));
}

// Without the hand-off the QSOs are marked unsigned, and the monitor says so.
TEST_F(UploadRunTest, WithoutHandOffNothingIsStarted)
{
    InsertQso(log, qso("A1", "0"));
    UploadRun run(options, choices, monitor, desktop);
    run.setHandOff(false);
    ASSERT_TRUE(run.run());
    EXPECT_EQ(run.adifOutCount(), 1);
    EXPECT_TRUE(desktop.events.isEmpty());
    EXPECT_FALSE(tqslStarted());
    EXPECT_TRUE(monitor.upload.contains(
        S("Without TQSL: the 1 QSOs of the file are marked as sent unsigned; nothing goes to LoTW.")));
    EXPECT_EQ(qsls(), QStringList{S("2")});
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Tick);
    EXPECT_EQ(monitor.icons[Step::SignAdif], StepIcon::Blank);
}

TEST_F(UploadRunTest, EmptyTable)
{
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(monitor.upload, kOpening + kHeader + kClosing + QStringList{S("NO QSOs for Uploading !!!! ")});
    EXPECT_EQ(monitor.showCount, 0);
    EXPECT_EQ(readIn, 0);
    // Nothing to upload: no header-only file is written.
    EXPECT_FALSE(dir.exists(S("LoTWUpload.adi")));
    EXPECT_TRUE(desktop.urls.isEmpty());
}

TEST_F(UploadRunTest, MissingAdifFolderStopsBeforeAnyMark)
{
    InsertQso(log, qso("A1", "0"));
    options.uploadAdifPath = dir.file(S("no such folder/LoTWUpload.adi"));
    EXPECT_FALSE(runUpload());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("no such folder/LoTWUpload.adi")));
    // The run stops where the header would be written: the tables have been opened.
    EXPECT_EQ(monitor.upload, kOpening);
    EXPECT_EQ(readIn, 0);
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(options.uploadAdifPath));
}

TEST_F(UploadRunTest, MissingLogGivesErrorLine)
{
    options.sourceMdbPath = dir.file(S("missing.sqlite"));
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");
    EXPECT_FALSE(runUpload());
    // The upload side says it, whole: a line in the upload monitor and the error file, and a
    // message.
    EXPECT_TRUE(monitor.download.isEmpty());
    const QString line = monitor.upload.last();
    EXPECT_TRUE(line.startsWith(S("ERROR:  The log could not be read: "))) << line.toStdString();
    EXPECT_TRUE(line.contains(S("missing.sqlite"))) << line.toStdString();
    EXPECT_EQ(dir.read(S("SemiQuorvaneErrors.txt")), line.toLatin1() + "\r\n");
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(line)) << monitor.messages.at(0).toStdString();
    // Later problem lines quote the database's description.
    EXPECT_TRUE(result.problems.lastDbError.contains(S("missing.sqlite"))) << result.problems.lastDbError.toStdString();
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.file(S("missing.sqlite"))));
}

TEST_F(UploadRunTest, MissingPrefixTableGivesErrorLine)
{
    InsertQso(log, qso("A1", "0"));
    ref.exec("DROP TABLE [PREFIX-Pri]");
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");
    EXPECT_FALSE(runUpload());
    EXPECT_TRUE(monitor.download.isEmpty());
    ASSERT_EQ(monitor.upload.size(), 2);
    EXPECT_EQ(monitor.upload.at(0), S("Opened QSO-TAB table"));
    EXPECT_TRUE(monitor.upload.at(1).startsWith(S("ERROR:  The reference database could not be read: ")))
        << monitor.upload.at(1).toStdString();
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    EXPECT_EQ(dir.read(S("SemiQuorvaneErrors.txt")), monitor.upload.at(1).toLatin1() + "\r\n");
}

TEST_F(UploadRunTest, EmptyPrefixTableGivesNoDxccLines)
{
    InsertQso(log, qso("AA1A", "0"));
    ref.exec("DELETE FROM [PREFIX-Pri]");
    ASSERT_TRUE(runUpload());
    EXPECT_FALSE(dir.read(S("LoTWUpload.adi")).contains("<DXCC:"));
    EXPECT_EQ(qsls(), QStringList{S("2")});
}

// A write failure of the upload file part-way (here: the process may write no file beyond
// 64 KiB) rolls back every mark and keeps the previous file.
TEST_F(UploadRunTest, FileWriteFailureRollsBackEveryMark)
{
    SKIP_WITHOUT_FILE_SIZE_LIMIT();
#ifndef _WIN32
    log.exec("BEGIN");
    for (int i = 0; i < 400; ++i)
        InsertQso(log, qso("DL" + std::to_string(i) + "ABC", "0"));
    log.exec("COMMIT");
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");
    bool ok = true;
    {
        FileSizeLimit limit(64 * 1024);
        ok = runUpload();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(qsls(), QStringList(400, S("0")));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).contains(S("LoTWUpload.adi"))) << monitor.messages.at(0).toStdString();
    // The system's own words for the cause.
    EXPECT_TRUE(monitor.messages.at(0).contains(S("File too large"))) << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Blank);
#endif
}

TEST_F(UploadRunTest, LongAndOddTextsAreWrittenWithTheirByteLengths)
{
    Row odd = qso(std::string(200, 'W'), "0");
    odd["QSO-NAME"] = "J\xF6rg <O'Brien> \"x\"";
    odd["QSO-FREQ"] = "abc";
    InsertQso(log, odd);
    // TQSL would refuse such a call: the file is what this is about.
    ASSERT_TRUE(runUpload(false, false));
    const QByteArray file = dir.read(S("LoTWUpload.adi"));
    EXPECT_TRUE(file.contains("<CALL:200>" + QByteArray(200, 'W') + "\r\n"));
    // A byte the log holds that is not UTF-8 is read as the character it is in Latin-1, and
    // written in UTF-8 with its byte length.
    EXPECT_TRUE(file.contains("<NAME:19>J\xC3\xB6rg <O'Brien> \"x\"\r\n"));
    EXPECT_FALSE(file.contains("<FREQ:"));
    EXPECT_EQ(qsls(), QStringList{S("2")});
}

// TQSL did not sign (here: no callsign certificate, as the real TQSL answers without one):
// every QSO stays due, the file stays for the operator to look at, and the message says why.
TEST_F(UploadRunTest, WhatTqslDidNotSignStaysDue)
{
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2ABC", "1"));
    StandInTqsl standIn;
    standIn.exitCode = 8;
    standIn.lines = {S("There are no valid callsign certificates for callsign K1ABC in entity -NONE-."),
                     S("Signing aborted."), S("No records output")};
    useStandIn(standIn);

    EXPECT_FALSE(runUpload());
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 2);
    EXPECT_TRUE(monitor.upload.contains(
        S("TQSL: There are no valid callsign certificates for callsign K1ABC in entity -NONE-.")));
    ASSERT_EQ(monitor.messages.size(), 1);
    const QString message = monitor.messages.at(0);
    EXPECT_TRUE(message.startsWith(S("TQSL did not sign the upload file: no QSO was signed"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("(TQSL status 8)"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("the 2 QSOs of this run stay due for LoTW"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("Signing aborted."))) << message.toStdString();
    EXPECT_EQ(monitor.icons[Step::MakeAdif], StepIcon::Tick);
    EXPECT_EQ(monitor.icons[Step::SignAdif], StepIcon::RedArrow);
    EXPECT_EQ(monitor.icons[Step::Upload], StepIcon::Blank);
    EXPECT_TRUE(desktop.events.isEmpty());

    // The next run offers the same QSOs again.
    options.tqslExePath = tqsl->program();
    monitor = RecordingMonitor();
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(adifOut, 2);
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("3")}));
}

// While TQSL runs, the log holds nothing of the run yet.
TEST_F(UploadRunTest, NothingIsMarkedBeforeTqslSigned)
{
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2ABC", "1"));
    QStringList whileSigning;
    monitor.onPump = [&](int) {
        if (whileSigning.isEmpty() && tqslStarted())
            whileSigning = qsls();
    };
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(whileSigning, (QStringList{S("0"), S("1")}));
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("3")}));
}

// Rows another program (DXbase) changes while TQSL signs keep what that program wrote, and a
// line names what the file held of them: a QSL flag set, a call corrected, and the newest due
// QSO deleted and another logged in its place (SQLite gives the new row the old row number).
TEST_F(UploadRunTest, ARowChangedWhileTqslSignsIsNotMarked)
{
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2ABC", "0"));
    InsertQso(log, qso("DL3ABC", "1"));
    InsertQso(log, qso("DL4ABC", "0"));
    InsertQso(log, qso("DL5ABC", "0"));
    bool changed = false;
    monitor.onPump = [&](int) {
        if (!changed && tqslStarted()) {
            changed = true;
            log.exec("UPDATE [QSO-TAB] SET [QSO-QSLS] = '9' WHERE [QSO-CALL] = 'DL2ABC'");
            log.exec("UPDATE [QSO-TAB] SET [QSO-CALL] = 'DL4ABD' WHERE [QSO-CALL] = 'DL4ABC'");
            log.exec("DELETE FROM [QSO-TAB] WHERE [QSO-CALL] = 'DL5ABC'");
            InsertQso(log, qso("DL6NEW", "0"));
        }
    };
    ASSERT_TRUE(runUpload());
    EXPECT_TRUE(changed);
    EXPECT_EQ(log.column("QSO-TAB", "rowid"), (QStringList{S("1"), S("2"), S("3"), S("4"), S("5")}));
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("9"), S("3"), S("0"), S("0")}));
    EXPECT_TRUE(monitor.upload.contains(S("Marked 2 QSOs as sent to LoTW")));
    EXPECT_TRUE(monitor.upload.contains(
        S("3 QSOs were changed by another program after they were written to the upload file and were not marked")));
    const QStringList warnings = monitor.upload.filter(S("Warning: "));
    ASSERT_EQ(warnings.size(), 3) << monitor.upload.join(S("\n")).toStdString();
    for (const char* call : {"DL2ABC", "DL4ABC", "DL5ABC"})
        EXPECT_EQ(warnings.filter(S("which holds: %1 20190315 142530 20M CW").arg(S(call))).size(), 1) << call;
    EXPECT_TRUE(monitor.download.isEmpty());
    EXPECT_EQ(QString::fromLatin1(dir.read(S("SemiQuorvaneErrors.txt"))), warnings.join(S("\r\n")) + S("\r\n"));
}

// The operator stops the wait for TQSL: TQSL is ended, nothing is marked, and the previous
// upload file is back in place; the monitor says so, no message box does.
TEST_F(UploadRunTest, StopWhileTqslRunsMarksNothing)
{
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");
    InsertQso(log, qso("DL1ABC", "0"));
    StandInTqsl standIn;
    standIn.ending = StandInTqsl::Ending::Hang;
    standIn.copyOnStart = options.uploadAdifPath;
    useStandIn(standIn);
    monitor.onPump = [&](int) {
        if (monitor.upload.filter(S("Starting TQSL")).size() == 1)
            monitor.stopRequested = true;
    };
    EXPECT_FALSE(runUpload());
    EXPECT_EQ(qsls(), QStringList{S("0")});
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(S("\n")).toStdString();
    // TQSL had the new file to sign; the previous one is in its place again.
    EXPECT_TRUE(QFile(options.tqslExePath + S(".copy")).exists());
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    EXPECT_FALSE(dir.exists(S("LoTWUpload.adi.previous")));
    ASSERT_GE(monitor.upload.size(), 2);
    EXPECT_EQ(monitor.upload.last(), S("Stopped by the operator"));
    EXPECT_EQ(monitor.upload.at(monitor.upload.size() - 2),
              S("TQSL did not sign the upload file (the wait for TQSL was stopped and TQSL was ended). No QSO was "
                "marked as sent; the previous upload file is back in place."));
}

// A stop anywhere in the walk of the log, or after it before the file is in place, leaves the
// log and the previous upload file as they were, and TQSL is not started.
TEST_F(UploadRunTest, StopDuringTheWalkChangesNothing)
{
    const int kQsos = 6;
    for (int i = 0; i < kQsos; ++i)
        InsertQso(log, qso("DL" + std::to_string(i) + "ABC", i % 2 ? "1" : "0"));
    const QStringList before = qsls();
    // Stop asked at the pump before QSO n (1 to kQsos), or (0) once the last QSO is read.
    for (int stopAt : {1, 2, 4, kQsos, 0}) {
        SCOPED_TRACE(stopAt);
        dir.write(S("LoTWUpload.adi"), "previous file\r\n");
        monitor = RecordingMonitor();
        if (stopAt > 0)
            monitor.onPump = [&](int pumps) { monitor.stopRequested = monitor.stopRequested || pumps >= stopAt; };
        else
            monitor.onProgress = [&](qint64 done, qint64) { monitor.stopRequested = done == kQsos; };
        EXPECT_FALSE(runUpload());
        EXPECT_EQ(qsls(), before);
        EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
        EXPECT_FALSE(dir.exists(S("LoTWUpload.adi.previous")));
        EXPECT_FALSE(tqslStarted());
        EXPECT_TRUE(monitor.messages.isEmpty());
        ASSERT_GE(monitor.upload.size(), 2);
        EXPECT_EQ(monitor.upload.last(), S("Stopped by the operator"));
        EXPECT_EQ(monitor.upload.at(monitor.upload.size() - 2), S("No QSO was marked as sent; the upload file %1 is as it was.")
                                              .arg(options.uploadAdifPath));
        EXPECT_EQ(readIn, stopAt > 0 ? stopAt - 1 : kQsos);
    }
    // Without a stop the same log uploads.
    monitor = RecordingMonitor();
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(qsls(), (QStringList{S("2"), S("3"), S("2"), S("3"), S("2"), S("3")}));
}

// The walk reports rows read of the rows in the log.
TEST_F(UploadRunTest, ProgressCountsTheRowsOfTheLog)
{
    for (int i = 0; i < 3; ++i)
        InsertQso(log, qso("DL" + std::to_string(i) + "ABC", "0", i == 1 ? "W1XYZ" : "K1ABC"));
    ASSERT_TRUE(runUpload(true));
    ASSERT_EQ(monitor.progress.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(monitor.progress[size_t(i)], std::make_pair(qint64(i + 1), qint64(3)));
}

TEST_F(UploadRunTest, TqslNotInstalled)
{
    InsertQso(log, qso("DL1ABC", "0"));
    options.tqslExePath.clear();
    EXPECT_FALSE(runUpload());
    EXPECT_EQ(qsls(), QStringList{S("0")});
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL did not sign the upload file: TQSL is not installed")))
        << monitor.messages.at(0).toStdString();
}

// What TQSL would refuse is refused before anything is written, with a line naming the QSO.
TEST_F(UploadRunTest, RecordsTqslWouldRefuseAreNeitherWrittenNorMarked)
{
    struct Case { const char* call; const char* column; const char* value; const char* line; };
    const Case cases[] = {
        {"NOSUB", "QSO-SUBMODE", "", "a digital QSO (mode code 6) without a submode: NOSUB 20190315 142530"},
        {"BADSUB", "QSO-SUBMODE", "WHATEVER", "TQSL does not know the mode \"WHATEVER\": BADSUB 20190315 142530"},
        {"BADDATE", "QSO-DATE", "2019031", "the date \"2019031\" is not YYYYMMDD: BADDATE 2019031 142530"},
        {"NODATE", "QSO-DATE", "", "the date \"\" is not YYYYMMDD: NODATE  142530"},
        {"BADTIME", "QSO-TIME", "2400", "the time \"2400\" is not HHMM or HHMMSS: BADTIME 20190315 2400"},
        {"SHORTTIME", "QSO-TIME", "09", "the time \"09\" is not HHMM or HHMMSS: SHORTTIME 20190315 09"},
        {"BADSECOND", "QSO-TIME", "123099", "the time \"123099\" is not HHMM or HHMMSS: BADSECOND 20190315 123099"},
    };
    for (const Case& c : cases) {
        Row row = qso(c.call, "0");
        if (std::string(c.column) == "QSO-SUBMODE")
            row["QSO-MODE"] = "6";
        row[c.column] = c.value;
        InsertQso(log, row);
    }
    Row digital = qso("GO0D", "0");
    digital["QSO-MODE"] = "6";
    digital["QSO-SUBMODE"] = "PACTOR-II";
    InsertQso(log, digital);
    // A time of hours and minutes is what TQSL signs as HH:MM:00: written as stored.
    Row minutes = qso("HH1MM", "0");
    minutes["QSO-TIME"] = "0930";
    InsertQso(log, minutes);

    ASSERT_TRUE(runUpload());
    EXPECT_EQ(adifOut, 2);
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("0"), S("0"), S("0"), S("0"), S("0"), S("0"), S("2"), S("2")}));
    const QByteArray file = dir.read(S("LoTWUpload.adi"));
    EXPECT_EQ(file.count("<EOR>\r\n"), 2);
    EXPECT_TRUE(file.contains("<CALL:4>GO0D\r\n"));
    EXPECT_TRUE(file.contains("<MODE:4>PAC2\r\n"));
    EXPECT_TRUE(file.contains("<CALL:5>HH1MM\r\n<QSO_DATE:8>20190315\r\n<TIME_ON:4>0930\r\n"));
    EXPECT_EQ(signedCalls(signedFile()), (QStringList{S("GO0D"), S("HH1MM")}));
    ASSERT_EQ(monitor.download.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(monitor.download.at(i).startsWith(S("ERROR:  "))) << i;
        EXPECT_TRUE(monitor.download.at(i).contains(S(cases[i].line))) << monitor.download.at(i).toStdString();
    }
}

// A run whose file can't be written leaves the previous file; one that writes no record
// leaves it too (no header-only file over it).
TEST_F(UploadRunTest, ThePreviousFileIsNeverReplacedByNothing)
{
    dir.write(S("LoTWUpload.adi"), "previous file\r\n");
    InsertQso(log, qso("DL1ABC", "2"));
    ASSERT_TRUE(runUpload());
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), QByteArray("previous file\r\n"));
    EXPECT_FALSE(dir.exists(S("LoTWUpload.adi.previous")));
}

} // namespace

namespace {
// The same log gives the same ADIF bytes, marks and lines through both engines: UTF-8 texts
// with lengths that count bytes, rows due one after another and apart, a "1" and a QSO not due.
TEST_F(UploadRunTest, TheSameLogGivesTheSameFileAndMarksThroughBothEngines)
{
    Row row = qso("R1ABC", "0");
    row["QSO-NAME"] = "\xd0\x92\xd0\xb0\xd1\x81\xd1\x8f \xc5\xbb\xc3\xb3\xc5\x82w";
    InsertQso(log, row);
    for (const auto& [call, flag] : {std::pair{"DL1A", "0"}, {"DL2B", "1"}, {"DL3C", "1"}, {"K1X", "2"}, {"DL4D", "0"}})
        InsertQso(log, qso(call, flag));
    ASSERT_TRUE(runUpload(false, false));
    const QByteArray sqliteFile = dir.read(S("LoTWUpload.adi"));
    EXPECT_TRUE(sqliteFile.contains("<NAME:16>\xd0\x92\xd0\xb0\xd1\x81\xd1\x8f \xc5\xbb\xc3\xb3\xc5\x82w\r\n"));
    EXPECT_EQ(sqliteFile.count("<EOR>\r\n"), 5);
    const QStringList sqliteMarks = qsls();
    EXPECT_EQ(sqliteMarks, (QStringList{S("2"), S("2"), S("3"), S("3"), S("2"), S("2")}));
    const QStringList sqliteLines = monitor.upload;

    log.exec("UPDATE [QSO-TAB] SET [QSO-QSLS] = CASE [QSO-QSLS] WHEN '3' THEN '1' ELSE '0' END WHERE [QSO-CALL] <> 'K1X'");
    const QString odbc = S("odbc:DRIVER=SQLite3;Database=") + options.sourceMdbPath;
    if (!CheckEngineAvailable(odbc).isEmpty())
        GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    const QString file = options.sourceMdbPath;
    options.sourceMdbPath = odbc;
    monitor = RecordingMonitor();
    ASSERT_TRUE(runUpload(false, false));
    EXPECT_EQ(dir.read(S("LoTWUpload.adi")), sqliteFile);
    EXPECT_EQ(qsls(), sqliteMarks);
    QStringList odbcLines = monitor.upload;
    odbcLines.replaceInStrings(odbc, file);
    // ODBC says how it finds the rows it marks, after the table is opened; the rest is alike.
    const qsizetype opened = odbcLines.indexOf(S("Opened QSO-TAB table"));
    ASSERT_GE(opened, 0);
    EXPECT_EQ(odbcLines.value(opened + 1), S("Rows of [QSO-TAB] are found by the driver's row identifier _ROWID_"));
    odbcLines.removeAt(opened + 1);
    EXPECT_EQ(odbcLines, sqliteLines);
}
} // namespace

namespace {
// Another program holds the log while the marks are to be written: held for a second, the
// marks wait for it; held for longer than the engine waits, nothing is marked and the message
// says the log is in use.
TEST_F(UploadRunTest, ALogHeldByAnotherProgramWhenTheMarksAreWritten)
{
    InsertQso(log, qso("DL1ABC", "0"));
    // Held for a second (within the engine's wait), then held until the run has ended: longer
    // than the engine waits however long TQSL takes to sign on a busy machine.
    for (const bool heldToTheEnd : {false, true}) {
        log.exec("UPDATE [QSO-TAB] SET [QSO-QSLS] = '0'");
        std::thread holder;
        bool started = false;
        std::promise<void> runEnded;
        std::shared_future<void> hasEnded = runEnded.get_future().share();
        monitor = RecordingMonitor();
        monitor.answer = true; // the second time TQSL signed the QSO before: sign it again
        desktop = FakeDesktop();
        monitor.onPump = [&](int) {
            if (started || monitor.upload.filter(S("Starting TQSL")).isEmpty())
                return;
            started = true;
            std::promise<void> locked;
            std::future<void> isLocked = locked.get_future();
            holder = std::thread([&, heldToTheEnd, hasEnded] {
                SqliteFile other(options.sourceMdbPath);
                other.exec("BEGIN EXCLUSIVE");
                locked.set_value();
                if (heldToTheEnd)
                    hasEnded.wait();
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                other.exec("COMMIT");
            });
            isLocked.wait();
        };
        const bool ok = runUpload();
        runEnded.set_value();
        if (holder.joinable())
            holder.join();
        ASSERT_TRUE(started);
        if (!heldToTheEnd) {
            EXPECT_TRUE(ok) << monitor.messages.join(S("\n")).toStdString();
            EXPECT_EQ(qsls(), QStringList{S("2")});
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(qsls(), QStringList{S("0")});
            ASSERT_EQ(monitor.messages.size(), 1);
            EXPECT_TRUE(monitor.messages.at(0).startsWith(S("TQSL signed 1 QSOs, but the log could not be marked")))
                << monitor.messages.at(0).toStdString();
            EXPECT_TRUE(monitor.messages.at(0).contains(S("is in use by another program")))
                << monitor.messages.at(0).toStdString();
            EXPECT_TRUE(desktop.urls.isEmpty());
        }
    }
}
} // namespace

namespace {
// LoTW took the signed file, but another program held the log longer than the engine waits:
// nothing is marked now, the marks are kept in the data folder, and the next upload writes
// them before it selects anything, so that no QSO goes to LoTW twice.
TEST_F(UploadRunTest, MarksLotwTookAreKeptWhenTheLogIsHeld)
{
    LotwStandIn lotw;
    SKIP_WITHOUT_LOTW_STAND_IN();
    ASSERT_TRUE(lotw.started()) << lotw.error().toStdString();
    lotw.useInThisProcess();
    lotw.answer(S("/lotw/upload"), {.body = "<!-- .UPL.  accepted -->", .contentType = "text/html"});
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2ABC", "1"));
    TestDir data;
    choices.TqslUpload = true;

    std::thread holder;
    bool started = false;
    // Taken while the file is being sent (the sending reports its progress).
    monitor.onProgress = [&](qint64, qint64) {
        if (started || monitor.upload.filter(S("Sending the signed file")).isEmpty())
            return;
        started = true;
        std::promise<void> locked;
        std::future<void> isLocked = locked.get_future();
        holder = std::thread([&] {
            SqliteFile other(options.sourceMdbPath);
            other.exec("BEGIN EXCLUSIVE");
            locked.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(7000));
            other.exec("COMMIT");
        });
        isLocked.wait();
    };
    UploadRun run(options, choices, monitor, desktop);
    run.setStationFile(tqsl->stationFile());
    run.setUndoFolder(data.path());
    EXPECT_FALSE(run.run());
    holder.join();
    EXPECT_EQ(qsls(), (QStringList{S("0"), S("1")}));
    EXPECT_EQ(lotw.requests().size(), 1u);
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages.at(0).startsWith(S("LoTW took the 2 signed QSOs, but the log could not be marked")))
        << monitor.messages.at(0).toStdString();
    EXPECT_TRUE(data.exists(S("upload-marks.dat")));
    EXPECT_TRUE(desktop.events.isEmpty());

    // A row changed meanwhile keeps what it holds; the others are marked before anything is
    // selected, and nothing is sent again.
    log.exec("UPDATE [QSO-TAB] SET [QSO-NAME] = 'Changed' WHERE [QSO-CALL] = 'DL2ABC'");
    monitor = RecordingMonitor();
    UploadRun next(options, choices, monitor, desktop);
    next.setStationFile(tqsl->stationFile());
    next.setUndoFolder(data.path());
    const bool ok = next.run();
    EXPECT_EQ(qsls().value(0), S("2"));
    EXPECT_TRUE(monitor.upload.contains(S("Marked 1 QSOs as sent to LoTW (kept from the earlier upload)")))
        << monitor.upload.join(S("\n")).toStdString();
    EXPECT_EQ(monitor.upload.filter(S("Warning: not marked as sent, changed by another program since LoTW took it: "
                                       "DL2ABC 20190315 142530")).size(), 1);
    EXPECT_FALSE(data.exists(S("upload-marks.dat")));
    // The changed QSO is due and selected again; TQSL signed it before, and without the
    // operator's word it is not signed again.
    EXPECT_FALSE(ok);
    EXPECT_EQ(lotw.requests().size(), 1u);
    // The kept marks are undone like any run's.
    EXPECT_EQ(ListUndoRuns(data.path()).size(), 1u);
}
} // namespace

namespace {
// A monitor that lets a test act as another program when the upload says a line.
struct MeddlingMonitor : RecordingMonitor
{
    std::function<void(const QString&)> onUpload;
    void AddUploadEvent(const QString& text) override
    {
        RecordingMonitor::AddUploadEvent(text);
        if (onUpload)
            onUpload(text);
    }
};

// What an upload of a keyless log holding one pair of twins must say and leave: with the twins
// as read, both marked with a warning line and put back by one undo; with one twin changed by
// another program meanwhile, the other marked and the changed one named.
struct TwinUpload
{
    std::function<QStringList()> marks; // the log's marks, as the test reads them
    QStringList marked;                 // after the upload, the twins as read
    QStringList undone;                 // after its undo
    QStringList meddled;                // after the upload, one twin changed meanwhile

    void expect(bool otherProgram, const UploadRun& run, const RecordingMonitor& monitor, const QString& undoFolder,
                const QString& log) const
    {
        const QStringList twinLines = monitor.upload.filter(S("logged more than once"));
        const QStringList changedLines = monitor.upload.filter(S("changed by another program"));
        if (!otherProgram) {
            EXPECT_EQ(marks(), marked);
            ASSERT_EQ(twinLines.size(), 1);
            EXPECT_TRUE(twinLines.at(0).startsWith(S("Warning: 1 QSOs of the file"))) << twinLines.at(0).toStdString();
            EXPECT_TRUE(changedLines.isEmpty());
            EXPECT_EQ(run.markedCount(), 3);
            // Undo puts both twins back together.
            const std::vector<UndoEntry> runs = ListUndoRuns(undoFolder);
            ASSERT_FALSE(runs.empty());
            const UndoResult result = UndoRunAt(runs.front(), log);
            EXPECT_EQ(result.restored, 3);
            EXPECT_EQ(result.leftAlone, 0);
            EXPECT_EQ(result.twins, 1);
            EXPECT_EQ(marks(), undone);
        } else {
            EXPECT_EQ(marks(), meddled);
            EXPECT_TRUE(twinLines.isEmpty());
            EXPECT_EQ(changedLines.filter(S("Warning: not marked as sent")).size(), 1) << changedLines.join(S("\n")).toStdString();
            EXPECT_EQ(run.markedCount(), 2);
        }
    }
};

// A keyless log found by its values through an index: a QSO logged twice (twins, equal in
// every column) is written to the file twice and marked by one statement for both, with a
// warning line and the run ending well; its undo puts both back. One twin changed by another
// program between the walk and the marks: the other is marked, and the changed one is named.
TEST_F(UploadRunTest, TwinsOfAKeylessLogAreMarkedTogetherWithAWarning)
{
    const QString odbc = S("odbc:DRIVER=SQLite3;Database=") + options.sourceMdbPath;
    if (!CheckEngineAvailable(odbc).isEmpty())
        GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2XYZ", "1"));
    log.exec("CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])");
    OdbcConnection::limitLocators(OdbcConnection::Locator::Index);
    struct Restore
    {
        ~Restore() { OdbcConnection::limitLocators(OdbcConnection::Locator::PrimaryKey); }
    } restore;
    const QString file = options.sourceMdbPath;
    options.sourceMdbPath = odbc;
    TestDir data;

    for (bool otherProgram : {false, true}) {
        SCOPED_TRACE(otherProgram ? "one twin changed meanwhile" : "twins as read");
        log.exec("UPDATE [QSO-TAB] SET [QSO-QSLS] = CASE [QSO-CALL] WHEN 'DL2XYZ' THEN '1' ELSE '0' END, [QSO-NOTE] = NULL");
        // After the file is written, before the marks: another program notes one twin.
        MeddlingMonitor monitor;
        if (otherProgram) {
            monitor.onUpload = [&](const QString& line) {
                if (line.startsWith(S("Without TQSL:")))
                    log.exec("UPDATE [QSO-TAB] SET [QSO-NOTE] = 'x' WHERE rowid = 2");
            };
        }
        UploadRun run(options, choices, monitor, desktop);
        run.setHandOff(false);
        run.setUndoFolder(data.path());
        ASSERT_TRUE(run.run()) << monitor.messages.join(S("\n")).toStdString();
        EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 3);
        EXPECT_EQ(monitor.upload.filter(S("through the index qso_call ([QSO-CALL])")).size(), 1);
        // Undo puts both twins back with the one statement.
        TwinUpload{[&] { return qsls(); },
                   {S("2"), S("2"), S("3")},
                   {S("0"), S("0"), S("1")},
                   {S("2"), S("0"), S("3")}}
            .expect(otherProgram, run, monitor, data.path(), odbc);
    }
    options.sourceMdbPath = file;
}

// A keyless log on a second ODBC driver, one that writes rows where they stand in a
// scrollable cursor (PostgreSQL's): the upload signs the file with the real TQSL and marks each
// QSO in its own row, the twins together with a warning; a twin another program changed
// between the walk and the marks is left alone and named; the undo puts every mark back.
TEST_F(UploadRunTest, AKeylessLogIsMarkedWhereEachRowStandsOnADriverThatWritesThere)
{
    const QString why = PostgresServer::unavailable();
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    PostgresServer* server = SharedPostgresServer();
    ASSERT_TRUE(server);
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL1ABC", "0"));
    InsertQso(log, qso("DL2XYZ", "1"));
    InsertQso(log, qso("JA1AAA", "2"));
    const QString file = options.sourceMdbPath;
    for (bool otherProgram : {false, true}) {
        SCOPED_TRACE(otherProgram ? "one twin changed meanwhile" : "twins as read");
        const QString database = server->newDatabase();
        server->copySqlite(file, database);
        const QString odbc = S("odbc:") + server->connectionString(database);
        const auto marks = [&] {
            return server->query(database, S("SELECT [QSO-CALL] || '/' || [QSO-QSLS] || '/' || COALESCE([QSO-NOTE], '') "
                                             "FROM [QSO-TAB] ORDER BY 1"));
        };
        MeddlingMonitor monitor;
        if (otherProgram) {
            monitor.onUpload = [&](const QString& line) {
                if (line.startsWith(S("Without TQSL:")))
                    server->exec(database, {S("UPDATE [QSO-TAB] SET [QSO-NOTE] = 'x' WHERE ctid = (SELECT MIN(ctid) "
                                              "FROM [QSO-TAB] WHERE [QSO-CALL] = 'DL1ABC')")});
            };
        }
        options.sourceMdbPath = odbc;
        TestDir data;
        UploadRun run(options, choices, monitor, desktop);
        run.setHandOff(false);
        run.setUndoFolder(data.path());
        const bool ok = run.run();
        options.sourceMdbPath = file;
        ASSERT_TRUE(ok) << monitor.messages.join(S("\n")).toStdString();
        EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 3);
        EXPECT_EQ(monitor.upload.filter(S("written where it stands")).size(), 1) << monitor.upload.join(S("\n")).toStdString();
        TwinUpload{marks,
                   {S("DL1ABC/2/"), S("DL1ABC/2/"), S("DL2XYZ/3/"), S("JA1AAA/2/")},
                   {S("DL1ABC/0/"), S("DL1ABC/0/"), S("DL2XYZ/1/"), S("JA1AAA/2/")},
                   {S("DL1ABC/0/x"), S("DL1ABC/2/"), S("DL2XYZ/3/"), S("JA1AAA/2/")}}
            .expect(otherProgram, run, monitor, data.path(), odbc);
    }
}

// The same with the twins far apart in the walk: the marks of a log known by its values are
// written a part at a time (their keys hold every value of their rows). Through an index, the
// rows that share the index's values go into one part; with nothing to search by, the parts
// follow the walk and the twins fall into different ones, and the later twin, whose statement
// ran in an earlier part, is counted as written with it, not as changed.
TEST_F(UploadRunTest, TwinsOfAKeylessLogFarApartAreMarkedTogether)
{
    const QString odbc = S("odbc:DRIVER=SQLite3;Database=") + options.sourceMdbPath;
    if (!CheckEngineAvailable(odbc).isEmpty())
        GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    InsertQso(log, qso("DL1ABC", "0"));
    for (int i = 0; i < 3; ++i)
        log.exec("INSERT INTO [QSO-TAB] SELECT * FROM [QSO-TAB]");
    log.exec("UPDATE [QSO-TAB] SET [QSO-CALL] = 'DL' || rowid || 'X', [QSO-QSLS] = CASE WHEN rowid % 3 = 0 THEN '1' "
             "ELSE '0' END WHERE rowid > 1");
    log.exec("INSERT INTO [QSO-TAB] SELECT * FROM [QSO-TAB] WHERE rowid = 1");
    UploadMarks::setPartSize(3);
    struct Restore
    {
        ~Restore()
        {
            OdbcConnection::limitLocators(OdbcConnection::Locator::PrimaryKey);
            UploadMarks::setPartSize(16384);
        }
    } restore;
    const QString file = options.sourceMdbPath;
    for (const bool index : {true, false}) {
        SCOPED_TRACE(index ? "through an index" : "nothing to search by");
        log.exec("UPDATE [QSO-TAB] SET [QSO-QSLS] = CASE WHEN rowid % 3 = 0 AND rowid < 9 THEN '1' ELSE '0' END");
        log.exec(index ? "CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])" : "DROP INDEX IF EXISTS qso_call");
        OdbcConnection::limitLocators(index ? OdbcConnection::Locator::Index : OdbcConnection::Locator::AllValues);
        options.sourceMdbPath = odbc;
        TestDir data;
        RecordingMonitor monitor;
        UploadRun run(options, choices, monitor, desktop);
        run.setHandOff(false);
        run.setUndoFolder(data.path());
        ASSERT_TRUE(run.run()) << monitor.messages.join(S("\n")).toStdString();
        options.sourceMdbPath = file;
        EXPECT_EQ(dir.read(S("LoTWUpload.adi")).count("<EOR>\r\n"), 9);
        EXPECT_EQ(run.markedCount(), 9);
        EXPECT_EQ(qsls(), (QStringList{S("2"), S("2"), S("3"), S("2"), S("2"), S("3"), S("2"), S("2"), S("2")}));
        const QStringList twinLines = monitor.upload.filter(S("logged more than once"));
        ASSERT_EQ(twinLines.size(), 1) << monitor.upload.join(S("\n")).toStdString();
        EXPECT_TRUE(twinLines.at(0).startsWith(S("Warning: 1 QSOs of the file"))) << twinLines.at(0).toStdString();
        EXPECT_TRUE(monitor.upload.filter(S("changed by another program")).isEmpty());
    }
}
} // namespace
