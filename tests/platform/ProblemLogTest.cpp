#include "platform/Errors.h"
#include "platform/ProblemLog.h"
#include "support/Fakes.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

const ProblemRecord kRecord = {QStringLiteral("K1ABC"), QStringLiteral("20110305"), QStringLiteral("142500"),
                               QStringLiteral("6"),     QStringLiteral("2"),        QStringLiteral("CT"),
                               QStringLiteral("Hartford")};

// The problem line as one function of its inputs.
struct LineCase
{
    const char* name;
    ProblemKind kind;
    const char* dbError;
    const char* message;
    ProblemRecord record;
    BandModeTexts texts;
    const char* expected;
};

class ProblemLineText : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProblemLineText, ByteForByte)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(::ProblemLineText(c.kind, L(c.dbError), L(c.message), c.record, c.texts), L(c.expected));
}

const BandModeTexts k14Cw = {QStringLiteral("14"), QStringLiteral("CW")};

INSTANTIATE_TEST_SUITE_P(
    Lines, ProblemLineText,
    ::testing::Values(
        // The example of the form's own description: two blanks before the band, "m" and two
        // blanks after it.
        LineCase{"WarningWithoutDatabaseError", ProblemKind::Warning, "", "Bad", kRecord, k14Cw,
                 "Warning:    Bad K1ABC 20110305 142500  14m  CW CT Hartford"},
        LineCase{"ErrorWithoutDatabaseError", ProblemKind::Error, "", "Call?", kRecord, k14Cw,
                 "ERROR:     Call? K1ABC 20110305 142500  14m  CW CT Hartford"},
        LineCase{"ErrorQuotesTheLastDatabaseError", ProblemKind::Error, "disk I/O error", "County?", kRecord, k14Cw,
                 "ERROR:  disk I/O error   County? K1ABC 20110305 142500  14m  CW CT Hartford"},
        LineCase{"WarningQuotesTheLastDatabaseError", ProblemKind::Warning, "locked", "County?", kRecord, k14Cw,
                 "Warning: locked   County? K1ABC 20110305 142500  14m  CW CT Hartford"},
        // Empty texts keep their blanks: the line's shape does not depend on what is known.
        LineCase{"EverythingEmpty", ProblemKind::Error, "", "", ProblemRecord(), BandModeTexts(),
                 "ERROR:          m    "},
        LineCase{"TextsAsGiven", ProblemKind::Warning, "", "Mode?",
                 {L("DL1ABC/P"), L("20260101"), L("000000"), L("99"), L("99"), L(""), L("")},
                 {QStringLiteral("5.3"), QStringLiteral("SSB")},
                 "Warning:    Mode? DL1ABC/P 20260101 000000  5.3m  SSB  "}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// The band and mode codes and their texts; an unknown code leaves the text as it was.
struct CodeCase
{
    const char* name;
    const char* bandCode;
    const char* modeCode;
    const char* band;
    const char* mode;
};

class DecodeBandModeTable : public ::testing::TestWithParam<CodeCase> {};

TEST_P(DecodeBandModeTable, FromTheTextsBefore)
{
    const CodeCase& c = GetParam();
    BandModeTexts texts = {QStringLiteral("before"), QStringLiteral("earlier")};
    DecodeBandMode(L(c.bandCode), L(c.modeCode), texts);
    EXPECT_EQ(texts.band, L(c.band));
    EXPECT_EQ(texts.mode, L(c.mode));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DecodeBandModeTable,
    ::testing::Values(CodeCase{"TwoMetresUsb", "0", "0", "144", "USB"}, CodeCase{"SixMetresLsb", "1", "1", "50", "LSB"},
                      CodeCase{"TenMetresCw", "2", "2", "28", "CW"}, CodeCase{"TwelveMetresFm", "3", "3", "24", "FM"},
                      CodeCase{"FifteenMetresAm", "4", "4", "21", "AM"},
                      CodeCase{"SeventeenMetresRtty", "5", "5", "18", "RTTY"},
                      CodeCase{"TwentyMetresDigital", "6", "6", "14", "DIGITAL"},
                      CodeCase{"ThirtyMetresSstv", "7", "7", "10", "SSTV"},
                      CodeCase{"FortyMetresSsb", "8", "89", "7", "SSB"}, CodeCase{"EightyMetres", "9", "", "3.5", "earlier"},
                      CodeCase{"OneSixtyMetres", "10", "", "1.8", "earlier"},
                      CodeCase{"OnePointTwoFiveMetres", "11", "", "222", "earlier"},
                      CodeCase{"SeventyCentimetres", "12", "", "432", "earlier"},
                      CodeCase{"SixtyMetres", "23", "", "5.3", "earlier"},
                      // Codes the tables do not hold, or not as exact texts.
                      CodeCase{"UnknownCodes", "99", "99", "before", "earlier"},
                      CodeCase{"LeadingZero", "06", "02", "before", "earlier"},
                      CodeCase{"Blanks", " 6", "2 ", "before", "earlier"},
                      CodeCase{"BandWithoutTable", "13", "8", "before", "earlier"},
                      CodeCase{"Empty", "", "", "before", "earlier"},
                      CodeCase{"NotANumber", "x", "-1", "before", "earlier"}),
    [](const ::testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

// A device that takes no byte: a full disk.
class FullDevice : public QIODevice
{
public:
    FullDevice()
    {
        open(QIODevice::WriteOnly);
        setErrorString(QStringLiteral("No space left on device"));
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};
} // namespace

TEST(ProblemLog, ErrorGoesToTheMonitorAndTheErrorFileWithoutCounting)
{
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems(monitor, counters);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    problems.setErrorDevice(&file);
    problems.LogRecordEvent(ProblemKind::Error, QStringLiteral("Band?"), kRecord);
    const QString line = L("ERROR:     Band? K1ABC 20110305 142500  14m  CW CT Hartford");
    EXPECT_EQ(monitor.download, QStringList{line});
    EXPECT_EQ(file.data(), line.toLatin1() + "\r\n");
    EXPECT_TRUE(counters.isEmpty());
    EXPECT_TRUE(monitor.icons.empty());
    EXPECT_EQ(monitor.showCount, 0);
}

TEST(ProblemLog, WarningCountsShowsAndPointsAtTheErrorFileFirst)
{
    RecordingMonitor monitor;
    RunCounters counters;
    counters.set(Counter::DownloadWarnings, 4);
    ProblemLog problems(monitor, counters);
    problems.LogRecordEvent(ProblemKind::Warning, QStringLiteral("County?"), kRecord);
    EXPECT_EQ(counters.value(Counter::DownloadWarnings), 5);
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 5);
    EXPECT_EQ(monitor.icons.at(Step::ProblemPointer), StepIcon::RedArrow);
    EXPECT_EQ(monitor.download, QStringList{L("Warning:    County? K1ABC 20110305 142500  14m  CW CT Hartford")});
}

TEST(ProblemLog, RemembersTheLastDatabaseErrorAndTheLastKnownBand)
{
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems(monitor, counters);
    problems.setMemory({QStringLiteral("earlier failure"), {QStringLiteral("7"), QStringLiteral("LSB")}});
    ProblemRecord unknown = kRecord;
    unknown.bandCode = QStringLiteral("99");
    unknown.modeCode = QStringLiteral("99");
    problems.LogRecordEvent(ProblemKind::Error, QStringLiteral("Mode?"), unknown);
    problems.noteDbError(QStringLiteral("database is locked"));
    problems.LogRecordEvent(ProblemKind::Error, QStringLiteral("Mode?"), kRecord);
    EXPECT_EQ(monitor.download,
              (QStringList{L("ERROR:  earlier failure   Mode? K1ABC 20110305 142500  7m  LSB CT Hartford"),
                           L("ERROR:  database is locked   Mode? K1ABC 20110305 142500  14m  CW CT Hartford")}));
    const ProblemMemory left = {QStringLiteral("database is locked"), {QStringLiteral("14"), QStringLiteral("CW")}};
    EXPECT_EQ(problems.memory(), left);
}

TEST(ProblemLog, FailedWriteOfTheErrorFileThrowsAfterTheMonitorHasTheLine)
{
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems(monitor, counters);
    FullDevice full;
    problems.setErrorDevice(&full);
    try {
        problems.LogRecordEvent(ProblemKind::Error, QStringLiteral("Call?"), kRecord);
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.description(), L("An error occurred while writing the error file: No space left on device"));
    }
    EXPECT_EQ(monitor.download.size(), 1);
    QString failure;
    EXPECT_FALSE(problems.writeErrorLine(QStringLiteral("more"), &failure));
    EXPECT_EQ(failure, L("No space left on device"));
}

TEST(ProblemLog, CreatesItsOwnErrorFileAndLetsGoOfIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("errors.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("from an earlier run\r\n");
    }
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems(monitor, counters);
    ASSERT_TRUE(problems.createErrorFile(path));
    EXPECT_TRUE(problems.hasErrorFile());
    EXPECT_TRUE(problems.writeErrorLine(QString::fromUtf8("caf\xc3\xa9")));
    problems.closeErrorFile();
    EXPECT_FALSE(problems.hasErrorFile());
    // Nothing is written once the file is let go of.
    EXPECT_TRUE(problems.writeErrorLine(QStringLiteral("not written")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("caf\xe9\r\n"));
    // A file that can't be created: no error file, the lines still reach the monitor.
    EXPECT_FALSE(problems.createErrorFile(dir.filePath(QStringLiteral("no such folder/errors.txt"))));
    EXPECT_FALSE(problems.hasErrorFile());
    problems.LogRecordEvent(ProblemKind::Error, QStringLiteral("Call?"), kRecord);
    EXPECT_EQ(monitor.download.size(), 1);
}

TEST(RunCounters, OnlyTheCountersSetAreKnown)
{
    RunCounters counters;
    EXPECT_TRUE(counters.isEmpty());
    counters.set(Counter::DownloadErrors, 0);
    counters.add(Counter::DownloadWarnings);
    counters.add(Counter::DownloadWarnings, 2);
    EXPECT_FALSE(counters.isSet(Counter::UploadReadIn));
    EXPECT_EQ(counters.value(Counter::UploadReadIn), 0);
    EXPECT_TRUE(counters.isSet(Counter::DownloadErrors));
    EXPECT_EQ(counters.value(Counter::DownloadWarnings), 3);
    std::vector<std::pair<Counter, long>> seen;
    counters.forEachSet([&seen](Counter counter, long value) { seen.emplace_back(counter, value); });
    EXPECT_EQ(seen, (std::vector<std::pair<Counter, long>>{{Counter::DownloadErrors, 0}, {Counter::DownloadWarnings, 3}}));
    counters.zero();
    EXPECT_TRUE(counters.isSet(Counter::DownloadWarnings));
    EXPECT_EQ(counters.value(Counter::DownloadWarnings), 0);
}
