#include "demo/DemoData.h"
#include "download/HeldMonitor.h"
#include "download/ImportRun.h"
#include "download/ReportRequest.h"
#include "logdb/Connection.h"
#include "logdb/OdbcConnection.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "support/Fakes.h"
#include "support/PostgresServer.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include "Printing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

QByteArray F(const char* name, const QByteArray& value)
{
    return "<" + QByteArray(name) + ":" + QByteArray::number(value.size()) + ">" + value + "\r\n";
}

// One report record: call, date, time, band, mode, station call, QSL date, then more tags.
QByteArray Rec(const char* call, const char* time, const char* band = "20M", const char* mode = "CW",
               const char* station = "K1QVN", const char* qslDate = "20110310", const QByteArray& more = {})
{
    QByteArray r = F("APP_LoTW_OWNCALL", station) + F("STATION_CALLSIGN", station) + F("CALL", call)
                   + F("BAND", band) + F("MODE", mode) + F("QSO_DATE", "20110305") + F("TIME_ON", time)
                   + F("QSL_RCVD", "Y");
    if (*qslDate)
        r += F("QSLRDATE", qslDate);
    return r + more + "<eor>\r\n\r\n";
}

// Each case runs on the SQLite engine and, where the SQLite3 ODBC driver is installed, on
// the same kind of file through ODBC (a table without a primary key: rows keyed by values).
class ImportRunTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        logPath = dir.file(QStringLiteral("log.sqlite"));
        refPath = dir.file(QStringLiteral("ref.sqlite"));
        DemoData::writeLog(logPath, 0, 1);
        DemoData::writeRefdata(refPath);
        paths.data = dir.path();
        const bool odbc = GetParam();
        const QString odbcPrefix = QStringLiteral("odbc:DRIVER=SQLite3;Database=");
        if (odbc && !CheckEngineAvailable(odbcPrefix + logPath).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
        options.sourceMdbPath = odbc ? odbcPrefix + logPath : logPath;
        options.refdataMdbPath = odbc ? odbcPrefix + refPath : refPath;
        options.errorFilePath = dir.file(QStringLiteral("SemiQuorvaneErrors.txt"));
        options.importedListPath = dir.file(QStringLiteral("SemiQuorvaneImportedQSOs.txt"));
        choices.ImportScope = 1;
        choices.OverwriteChoice = 1;
    }

    // Adds a log row; more: extra "column=value" SQL pairs.
    void addQso(const char* call, const char* time, const QString& more = QString(), const char* mode = "2",
                const char* band = "6")
    {
        QString columns = L("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND],[QSO-OPRCALL]");
        QString values = QStringLiteral("%1,'20110305','%2','%3','%4','K1QVN'")
                             .arg(SqlQuote(L(call)), L(time), L(mode), L(band));
        for (const QString& pair : more.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            columns += QLatin1Char(',') + pair.left(eq);
            values += QLatin1Char(',') + pair.mid(eq + 1);
        }
        const QString insert = QStringLiteral("INSERT INTO [QSO-TAB] (%1) VALUES (%2)").arg(columns, values);
        if (pending)
            pending->append(insert);
        else
            SqliteFixture::exec(logPath, {insert});
    }
    QStringList* pending = nullptr; // collects inserts instead of running them one by one
    static QString SqlQuote(QString text) { return QLatin1Char('\'') + text.replace(QLatin1Char('\''), L("''")) + QLatin1Char('\''); }

    void report(const QByteArray& records)
    {
        dir.write(QStringLiteral("lotwreport.adi"),
                  "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
                  "<PROGRAMID:4>LoTW\r\n<eoh>\r\n" + records + "<APP_LoTW_EOF>\r\n");
    }

    bool run()
    {
        ImportRun importRun(options, choices, paths, monitor);
        importRun.setProblemMemory(memory);
        const bool ok = importRun.OnLotwImport();
        // The front ends put the dates the run saved on the form's choices.
        result = importRun.result();
        if (result.savedDates)
            ImportRun::applySavedDates(choices, *result.savedDates);
        // Through ODBC the run says first how it finds the log's rows: kept apart here, so
        // that both engines' lines compare alike.
        locatorLines = monitor.download.filter(L("Rows of [QSO-TAB] "));
        monitor.download.removeIf([](const QString& line) { return line.startsWith(L("Rows of [QSO-TAB] ")); });
        return ok;
    }
    QStringList locatorLines;

    QStringList rows(const char* columns, const char* where = "1")
    {
        return SqliteFixture::query(logPath, QStringLiteral("SELECT %1 FROM [QSO-TAB] WHERE %2 ORDER BY rowid")
                                                 .arg(L(columns), L(where)));
    }
    // A counter as the run left it, for the front end to show.
    long counter(Counter which) const { return result.counters.value(which); }
    ImportResult result;
    ProblemMemory memory; // what an earlier run's problem lines left
    QByteArray errors() { return dir.read(QStringLiteral("SemiQuorvaneErrors.txt")); }
    QByteArray imported() { return dir.read(QStringLiteral("SemiQuorvaneImportedQSOs.txt")); }

    TestDir dir;
    QString logPath;
    QString refPath;
    FakePaths paths;
    Options options;
    Choices choices;
    RecordingMonitor monitor;
};

TEST_P(ImportRunTest, SearchesEverySecondOfTheMinute)
{
    addQso("K1AA", "123400", L("[QSO-CONFIRM]='0'"));
    addQso("K1AB", "123459", L("[QSO-CONFIRM]='1'"));
    addQso("K1AC", "123500", L("[QSO-CONFIRM]='0'"));
    report(Rec("K1AA", "123456") + Rec("k1ab", "1234") + Rec("K1AC", "123456"));
    EXPECT_TRUE(run());

    EXPECT_EQ(imported(), QByteArray("K1AA 20110305 123400 14 CW\r\nK1AB 20110305 123459 14 CW\r\n"));
    EXPECT_EQ(errors(), QByteArray("K1AC 20110305 123459 14 CW  ** No QSO Found **\r\n"));
    EXPECT_EQ(monitor.download, (QStringList{L("K1AA 20110305 123400 14 CW"), L("K1AB 20110305 123459 14 CW"),
                                             L("K1AC 20110305 123459 14 CW  ** No QSO Found **")}));
    EXPECT_EQ(rows("[QSO-CALL],[QSO-CONFIRM],[QSO-LOTWREC]"),
              (QStringList{L("K1AA|2|20110310"), L("K1AB|3|20110310"), L("K1AC|0|<null>")}));
    EXPECT_EQ(counter(Counter::DownloadReadIn), 3);
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 2);
    EXPECT_EQ(counter(Counter::DownloadErrors), 0); // a record not found is not counted as an error
    EXPECT_EQ(monitor.shown.value(Counter::DownloadRecsUsed), 2);
    EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::Blank);
    EXPECT_EQ(monitor.downloadClears, 1);
    EXPECT_GE(monitor.pumps, 30);
}

TEST_P(ImportRunTest, EligibilityByScope)
{
    addQso("K2AA", "100000", L("[QSO-CONFIRM]='2';[QSO-LOTWREC]='20100101'"));
    report(Rec("K2AA", "100000", "20M", "CW", "K1QVN", "20110310", F("CQZ", "5")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC],[QSO-CQ-ZONE]"), QStringList{L("2|20100101|<null>")});
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 0);
    EXPECT_TRUE(monitor.download.isEmpty());
    EXPECT_EQ(imported(), QByteArray());

    choices.ImportScope = 0;
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC],[QSO-CQ-ZONE]"), QStringList{L("2|20100101|05")});
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 1);
}

TEST_P(ImportRunTest, ConfirmationCodes)
{
    addQso("K3AA", "100000");                                  // null: reads as 0
    addQso("K3AB", "100000", L("[QSO-CONFIRM]=''"));
    addQso("K3AC", "100000", L("[QSO-CONFIRM]=' 1x'"));
    addQso("K3AD", "100000", L("[QSO-CONFIRM]='7'"));
    addQso("K3AE", "100000", L("[QSO-CONFIRM]='-1'"));
    addQso("K3AF", "100000", L("[QSO-CONFIRM]='3';[QSO-LOTWREC]='20000101'"));
    // Numbers beyond the range of a long are held at its end: never taken for 0 or 1.
    addQso("K3AG", "100000", L("[QSO-CONFIRM]='18446744073709551616'"));
    addQso("K3AH", "100000", L("[QSO-CONFIRM]='-18446744073709551617'"));
    report(Rec("K3AA", "100000") + Rec("K3AB", "100000") + Rec("K3AC", "100000") + Rec("K3AD", "100000")
           + Rec("K3AE", "100000") + Rec("K3AF", "100000", "20M", "CW", "K1QVN", "20110310", F("CREDIT_GRANTED", "CQWPX"))
           + Rec("K3AG", "100000") + Rec("K3AH", "100000"));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC],[QSO-AWARD]"),
              (QStringList{L("2|20110310|<null>"), L("2|20110310|<null>"), L("3|20110310|<null>"), L("7|20110310|<null>"),
                           L("-1|20110310|<null>"), L("3|20000101|4"), L("18446744073709551616|20110310|<null>"),
                           L("-18446744073709551617|20110310|<null>")}));
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 8);
}

TEST_P(ImportRunTest, AwardMasks)
{
    addQso("K4AA", "100000", L("[QSO-AWARD]=0"));
    addQso("K4AB", "100000", L("[QSO-AWARD]=1"));
    addQso("K4AC", "100000", L("[QSO-AWARD]=6"));
    addQso("K4AD", "100000", L("[QSO-AWARD]=514"));
    addQso("K4AE", "100000", L("[QSO-AWARD]=-2147483648"));
    const QByteArray dxcc = F("CREDIT_GRANTED", "DXCC,DXCC_BAND");
    report(Rec("K4AA", "100000", "20M", "CW", "K1QVN", "20110310", dxcc)
           + Rec("K4AB", "100000", "20M", "CW", "K1QVN", "20110310", dxcc)
           + Rec("K4AC", "100000", "20M", "CW", "K1QVN", "20110310", F("CREDIT_GRANTED", "VUCC_BAND"))
           + Rec("K4AD", "100000", "20M", "CW", "K1QVN", "20110310", dxcc)
           + Rec("K4AE", "100000", "20M", "CW", "K1QVN", "20110310", F("CREDIT_GRANTED", "CQWPX")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-AWARD]"), (QStringList{L("1"), L("1"), L("14"), L("515"), L("-2147483644")}));
    EXPECT_EQ(counter(Counter::DownloadNewDxcc), 2);
    EXPECT_EQ(monitor.shown.value(Counter::DownloadNewDxcc), 2);
}

TEST_P(ImportRunTest, StationCallMismatch)
{
    addQso("K5AA", "100000", L("[QSO-CONFIRM]='0'"));
    report(Rec("K5AA", "100000", "20M", "CW", "N1QVR"));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC]"), QStringList{L("0|<null>")});
    EXPECT_EQ(counter(Counter::DownloadErrors), 1);
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 0);
    EXPECT_EQ(errors(), QByteArray("K5AA 20110305 100000 14 CW  **No Match **\r\n"));
    EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::RedArrow);
}

TEST_P(ImportRunTest, FirstOfEqualRowsAndRowsSeenUpdated)
{
    addQso("K6AA", "100000", L("[QSO-CONFIRM]='0';[QSO-NAME]='FIRST'"));
    addQso("K6AA", "100000", L("[QSO-CONFIRM]='0';[QSO-NAME]='SECOND'"));
    // The second record finds the row as the first left it: confirmed, with a LoTW date.
    report(Rec("K6AA", "100000") + Rec("K6AA", "100000", "20M", "CW", "K1QVN", "20110311"));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-NAME],[QSO-CONFIRM],[QSO-LOTWREC]"),
              (QStringList{L("FIRST|2|20110310"), L("SECOND|0|<null>")}));
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 1);
    EXPECT_EQ(counter(Counter::DownloadReadIn), 2);
}

TEST_P(ImportRunTest, QuotesInValuesStayValues)
{
    addQso("EI2O'B", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("X' OR '1'='1", "100000", L("[QSO-CONFIRM]='0'"));
    report(Rec("EI2O'B", "100000", "20M", "CW", "K1QVN", "20110310", F("CNTY", "'X,FOO")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-STATE]"), (QStringList{L("2|'X"), L("0|<null>")}));
    EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
    EXPECT_EQ(monitor.download.first(), L("Warning:    County? EI2O'B 20110305 100000  14m  CW 'X FOO"));
}

// A NUL byte in any value of a report (a damaged file) is part of that value: no statement is
// made of report text, so none ends early. The import runs to its end, no engine error reaches
// the operator, the record finds no county in the table, and no other row changes.
TEST_P(ImportRunTest, NulBytesInAnyFieldChangeNoStatement)
{
    addQso("K1NUL", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K2BY", "100000", L("[QSO-CONFIRM]='0';[QSO-COUNTY]='HARTFORD'"));
    const QStringList bystander = rows("*", "[QSO-CALL]='K2BY'");
    const std::vector<std::pair<const char*, QByteArray>> fields = {
        {"APP_LoTW_OWNCALL", "K1Q\\0VN"}, {"STATION_CALLSIGN", "K1Q\\0VN"}, {"CALL", "K1N\\0UL"},
        {"BAND", "20\\0M"},               {"MODE", "C\\0W"},               {"QSO_DATE", "2011\\00305"},
        {"TIME_ON", "10\\00000"},         {"QSL_RCVD", "Y\\0"},             {"QSLRDATE", "2011\\00310"},
        {"CQZ", "0\\05"},                 {"ITUZ", "\\008"},                {"STATE", "C\\0T"},
        {"CNTY", "CT,NEW\\0HAVEN"},        {"IOTA", "NA-\\0001"},            {"GRIDSQUARE", "FN31\\0pr"},
        {"CREDIT_GRANTED", "DXCC\\0,VUCC"}, {"DXCC", "29\\01"},             {"APP_LoTW_2xQSL", "Y\\0"},
    };
    for (const auto& [field, value] : fields) {
        SCOPED_TRACE(field);
        const QByteArray withNul = QByteArray(value).replace("\\0", QByteArray(1, '\0'));
        // The field in the record, in place of its own where the record has one.
        QByteArray record = Rec("K1NUL", "100000", "20M", "CW", "K1QVN", "20110310",
                                F("CQZ", "05") + F("STATE", "CT") + F("CNTY", "CT,HARTFORD") + F("GRIDSQUARE", "FN31pr"));
        const QByteArray tag = "<" + QByteArray(field) + ":";
        const qsizetype at = record.indexOf(tag);
        const QByteArray line = F(field, withNul);
        if (at >= 0)
            record.replace(at, record.indexOf("\r\n", at) + 2 - at, line);
        else
            record.insert(record.indexOf("<eor>"), line);
        report(record);
        monitor = RecordingMonitor();
        EXPECT_TRUE(run());
        EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
        for (const QString& text : monitor.download) {
            EXPECT_FALSE(text.contains(L("token")) || text.contains(L("syntax")) || text.contains(L("SQL")))
                << text.toStdString();
        }
        EXPECT_EQ(rows("*", "[QSO-CALL]='K2BY'"), bystander);
        if (QByteArray(field) == "CNTY")
            EXPECT_EQ(monitor.download.filter(L("County?")).size(), 1) << monitor.download.join(L("\n")).toStdString();
        EXPECT_EQ(SqliteFixture::query(logPath, L("PRAGMA integrity_check")), QStringList{L("ok")});
    }
}

// A county the county table doesn't hold is dropped with its warning, at its place before the
// lines of its record; a later CNTY of the same record decides the county.
TEST_P(ImportRunTest, CountiesAskedOfTheTable)
{
    addQso("K5CA", "100000");
    addQso("K5CB", "100000");
    addQso("K5CC", "100000");
    addQso("K5CD", "100000");
    report(Rec("K5CA", "100000", "20M", "CW", "K1QVN", "20110310", F("CNTY", "TX,LOVING"))
           + Rec("K5CB", "100000", "20M", "CW", "K1QVN", "20110310", F("CNTY", "TX,LOVING") + F("CNTY", "TX,HARRIS"))
           + Rec("K5CC", "100000", "20M", "CW", "K1QVN", "20110310", F("CNTY", "TX,HARRIS") + F("CNTY", "TX,LOVING"))
           + Rec("K5CD", "100000", "20M", "CW", "K1QVN", "20110310", F("CNTY", "TX,harris") + F("CNTY", "TX ,DALLAS")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CALL],[QSO-STATE],[QSO-COUNTY]"),
              (QStringList{L("K5CA|TX|<null>"), L("K5CB|TX|HARRIS"), L("K5CC|TX|<null>"), L("K5CD|TX|HARRIS")}));
    EXPECT_EQ(monitor.download, (QStringList{L("Warning:    County? K5CA 20110305 100000  14m  CW TX LOVING"),
                                             L("K5CA 20110305 100000 14 CW"),
                                             L("Warning:    County? K5CB 20110305 100000  14m  CW TX LOVING"),
                                             L("K5CB 20110305 100000 14 CW"),
                                             L("Warning:    County? K5CC 20110305 100000  14m  CW TX LOVING"),
                                             L("K5CC 20110305 100000 14 CW"), L("K5CD 20110305 100000 14 CW")}));
    EXPECT_EQ(counter(Counter::DownloadWarnings), 3);
}

// The window's problem lines quote the last database failure an upload caught, for as long as
// the window is open: the import's lines too, and they start from the band and mode texts the
// earlier lines left.
TEST_P(ImportRunTest, ProblemLinesQuoteTheLastDatabaseErrorOfAnEarlierRun)
{
    addQso("K7AA", "100000", L("[QSO-CONFIRM]='0'"));
    report(Rec("K7AB", "100000", "2190M") + Rec("K", "100000") + Rec("K7AA", "100000"));
    memory = {L("database disk image is malformed"), {L("7"), L("LSB")}};
    EXPECT_TRUE(run());
    const QStringList expected = {
        L("ERROR:  database disk image is malformed   Band? K7AB 20110305 100000  7m  CW  "),
        L("ERROR:  database disk image is malformed   Call? K 20110305 100000  14m  CW  "),
        L("K7AA 20110305 100000 14 CW"),
    };
    EXPECT_EQ(monitor.download, expected);
    EXPECT_EQ(errors(), (expected.mid(0, 2).join(L("\r\n")) + L("\r\n")).toLatin1());
    const ProblemMemory left = {L("database disk image is malformed"), {L("14"), L("CW")}};
    EXPECT_EQ(result.problems, left);
}

TEST_P(ImportRunTest, DroppedRecordsAndProblemLines)
{
    addQso("K7AA", "100000", L("[QSO-CONFIRM]='0'"));
    report(Rec("K7AB", "100000", "2190M") + Rec("K7AC", "100000", "20M", "ABCDEFGHIJKLMNOP") + Rec("K", "100000")
           + Rec("K7AD", "100000", "") + "<CALL:4>K7AE<BAND:3>20M<EOR>\r\n" + Rec("K7AA", "100000"));
    EXPECT_TRUE(run());
    const QStringList expected = {
        L("ERROR:     Band? K7AB 20110305 100000  m  CW  "),
        L("ERROR:     Mode? K7AC 20110305 100000  14m  CW  "),
        L("ERROR:     Call? K 20110305 100000  14m  CW  "),
        L("ERROR:     Band? K7AD 20110305 100000  14m  CW  "),
        L("ERROR:     Mode? K7AE    14m  CW  "), // no date, no time
        L("K7AA 20110305 100000 14 CW"),
    };
    EXPECT_EQ(monitor.download, expected);
    EXPECT_EQ(errors(), (expected.mid(0, 5).join(L("\r\n")) + L("\r\n")).toLatin1());
    EXPECT_EQ(counter(Counter::DownloadReadIn), 1);
    EXPECT_EQ(counter(Counter::DownloadErrors), 0);
}

TEST_P(ImportRunTest, SidebandByBand)
{
    addQso("K8AA", "100000", QString(), "1", "8");
    addQso("K8AB", "100000", QString(), "0", "6");
    addQso("K8AC", "100000", QString(), "6", "6");
    report(Rec("K8AA", "100000", "40M", "SSB") + Rec("K8AB", "100000", "20m", "PHONE")
           + Rec("K8AC", "100000", "20M", "MFSK", "K1QVN", "20110310", F("SUBMODE", "FT8")));
    EXPECT_TRUE(run());
    EXPECT_EQ(imported(), QByteArray("K8AA 20110305 100000 7 LSB\r\nK8AB 20110305 100000 14 USB\r\n"
                                     "K8AC 20110305 100000 14 DIGITAL\r\n"));
}

TEST_P(ImportRunTest, FieldRulesOnTheRow)
{
    addQso("K9AA", "100000",
           L("[QSO-CQ-ZONE]='5';[QSO-ITU-ZONE]='08';[QSO-GRID]='FN42';[QSO-COUNTY]='';[QSO-IOTA]='NA001'"));
    const QByteArray more = F("CQZ", "05") + F("ITUZ", "8") + F("GRIDSQUARE", "fn42ab") + F("IOTA", "NA-002")
                            + F("STATE", "MA") + F("CNTY", "MA,MIDDLESEX // Middlesex County");
    report(Rec("K9AA", "100000", "20M", "CW", "K1QVN", "20110310", more));
    choices.OverwriteChoice = 0;
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CQ-ZONE],[QSO-ITU-ZONE],[QSO-STATE],[QSO-COUNTY],[QSO-IOTA],[QSO-GRID]"),
              QStringList{L("05|08|MA|MIDDLESEX|NA002|FN42AB")});
    EXPECT_EQ(errors(), QByteArray("Warning! : K9AA 20110305 100000 14 CW -- existing CQ Zone of 5 overwritten by LoTW CQ Zone of 05\r\n"
                                   "Warning! : K9AA 20110305 100000 14 CW -- existing IOTA of NA001 overwritten by LoTW IOTA of NA002\r\n"));
    EXPECT_EQ(counter(Counter::DownloadWarnings), 2);
    EXPECT_EQ(monitor.shown.value(Counter::DownloadWarnings), 2);
}

TEST_P(ImportRunTest, FirstQslDateSaved)
{
    addQso("K1BA", "100000");
    choices.ReportRange = 1;
    choices.SinceChoice = 0;
    report(Rec("K1BA", "100000", "20M", "CW", "K1QVN", "") + Rec("K1BB", "100000", "20M", "CW", "K1QVN", "20110312")
           + Rec("K1BA", "100000", "20M", "CW", "K1QVN", "20110301"));
    EXPECT_TRUE(run());
    EXPECT_EQ(choices.sinceDate, L("2011-03-12"));
    EXPECT_EQ(choices.ReportRange, 0);
    EXPECT_EQ(choices.SinceChoice, -1);
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), QByteArray("1\r\n2011-03-12\x05" "0:-1:1:1:0:0:0:0:0:0:0:0\r\n"));
    // A record without a QSL date is not applied.
    EXPECT_EQ(rows("[QSO-LOTWREC]"), QStringList{L("20110301")});
}

// The form's radio buttons stay live during a run. The import scope and the overwrite choice
// are taken at the start and when the first QSL date is saved; clicks at other moments wait
// for the next run.
TEST_P(ImportRunTest, ChoicesClickedDuringTheRunWaitForTheNextRun)
{
    // The run drains the window's events at the start of every report line: the click comes
    // while the second record is read, after the first one (and its QSL date) was taken.
    constexpr int kHeaderLines = 5;
    constexpr int kRecordLines = 11;
    struct ClickingMonitor : RecordingMonitor
    {
        Choices* choices = nullptr;
        void PumpMessages() override
        {
            RecordingMonitor::PumpMessages();
            if (pumps == kHeaderLines + kRecordLines + 2) {
                choices->OverwriteChoice = 0;
                choices->ImportScope = 0;
            }
        }
    } clicking;
    clicking.choices = &choices;
    addQso("K1CA", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K1CB", "100000", L("[QSO-CQ-ZONE]='5';[QSO-CONFIRM]='0'"));
    addQso("K1CC", "100000", L("[QSO-CONFIRM]='2';[QSO-LOTWREC]='20100101'"));
    report(Rec("K1CA", "100000") + Rec("K1CB", "100000", "20M", "CW", "K1QVN", "20110310", F("CQZ", "05"))
           + Rec("K1CC", "100000"));
    choices.OverwriteChoice = 1;
    choices.ImportScope = 1;
    ImportRun importRun(options, choices, paths, clicking);
    EXPECT_TRUE(importRun.OnLotwImport());
    EXPECT_EQ(rows("[QSO-CQ-ZONE],[QSO-LOTWREC]"), (QStringList{L("<null>|20110310"), L("5|20110310"), L("<null>|20100101")}));
    EXPECT_EQ(errors(), QByteArray("Warning! : K1CB 20110305 100000 14 CW -- LoTW CQ Zone 05 not written - already has CQ Zone of 5\r\n"));
    EXPECT_EQ(choices.ImportScope, 0); // the click happened, during the run
    // The date file keeps the choices as the first QSL date found them.
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), QByteArray("1\r\n2011-03-10\x05" "0:-1:1:1:0:0:0:0:0:0:0:0\r\n"));
}

TEST_P(ImportRunTest, EmptyAndMissingReports)
{
    dir.write(QStringLiteral("SemiQuorvaneErrors.txt"), "old");
    dir.write(QStringLiteral("lotwreport.adi"), "\r\n\r\n");
    EXPECT_FALSE(run());
    EXPECT_EQ(monitor.messages, QStringList{L("LoTW file is empty")});
    EXPECT_EQ(errors(), QByteArray());
    EXPECT_TRUE(dir.exists(QStringLiteral("SemiQuorvaneImportedQSOs.txt")));

    QFile::remove(dir.file(QStringLiteral("lotwreport.adi")));
    monitor.messages.clear();
    EXPECT_FALSE(run());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages[0].contains(L("lotwreport.adi")));
}

TEST_P(ImportRunTest, FailedRowUpdateIsUndoneAlone)
{
    addQso("K2BA", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K2BB", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K2BC", "100000", L("[QSO-CONFIRM]='0'"));
    SqliteFixture::exec(logPath, {L("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN NEW.[QSO-CALL]='K2BB' "
                                    "BEGIN SELECT RAISE(ABORT, 'row is locked'); END")});
    report(Rec("K2BA", "100000", "20M", "CW", "K1QVN", "20110310", F("CREDIT_GRANTED", "DXCC"))
           + Rec("K2BB", "100000", "20M", "CW", "K1QVN", "20110310", F("CREDIT_GRANTED", "DXCC"))
           + Rec("K2BC", "100000"));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC],[QSO-AWARD]"),
              (QStringList{L("2|20110310|1"), L("0|<null>|<null>"), L("2|20110310|<null>")}));
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 2);
    EXPECT_EQ(counter(Counter::DownloadNewDxcc), 1);
    EXPECT_EQ(imported(), QByteArray("K2BA 20110305 100000 14 CW\r\nK2BC 20110305 100000 14 CW\r\n"));
    // The engine's description stands between the call and the record (the ODBC driver adds its own words).
    const QByteArray line = errors();
    EXPECT_TRUE(line.startsWith("ERROR:     K2BB ")) << line.constData();
    EXPECT_TRUE(line.contains("row is locked")) << line.constData();
    EXPECT_TRUE(line.endsWith(" K2BB 20110305 100000  14m  CW  \r\n")) << line.constData();
}

TEST_P(ImportRunTest, UnwritableErrorFileEndsTheRunKeepingFinishedRows)
{
    addQso("K3BA", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K3BC", "100000", L("[QSO-CONFIRM]='0'"));
    options.errorFilePath = dir.file(QStringLiteral("no/such/folder/errors.txt"));
    report(Rec("K3BA", "100000") + Rec("K3BB", "100000") + Rec("K3BC", "100000"));
    EXPECT_FALSE(run());
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages[0].contains(L("errors.txt")));
    EXPECT_EQ(rows("[QSO-CONFIRM]"), (QStringList{L("2"), L("0")}));
    EXPECT_EQ(imported(), QByteArray("K3BA 20110305 100000 14 CW\r\n"));
}

TEST_P(ImportRunTest, RowsThatKeepEveryValueAreNotWritten)
{
    addQso("K4BA", "100000", L("[QSO-CONFIRM]='0';[QSO-AWARD]=0"));
    addQso("K4BB", "100000", L("[QSO-CONFIRM]='7'"));
    SqliteFixture::exec(logPath, {L("CREATE TABLE writes (call TEXT)"),
                                  L("CREATE TRIGGER counted AFTER UPDATE ON [QSO-TAB] "
                                    "BEGIN INSERT INTO writes VALUES (NEW.[QSO-CALL]); END")});
    report(Rec("K4BA", "100000", "20M", "CW", "K1QVN", "20110310", F("CQZ", "05") + F("CREDIT_GRANTED", "DXCC"))
           + Rec("K4BB", "100000"));
    choices.ImportScope = 0;
    EXPECT_TRUE(run());
    EXPECT_EQ(SqliteFixture::query(logPath, L("SELECT call FROM writes")), (QStringList{L("K4BA"), L("K4BB")}));
    // The same report again: every row already holds what it brings.
    EXPECT_TRUE(run());
    EXPECT_EQ(SqliteFixture::query(logPath, L("SELECT count(*) FROM writes")), QStringList{L("2")});
    // K4BA is still used and listed; K4BB ("7", now with a LoTW date, no credit) no longer may take the data.
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 1);
    EXPECT_EQ(imported(), QByteArray("K4BA 20110305 100000 14 CW\r\n"));
    EXPECT_EQ(counter(Counter::DownloadNewDxcc), 0);
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-CQ-ZONE],[QSO-AWARD],[QSO-LOTWREC]"),
              (QStringList{L("2|05|1|20110310"), L("7|<null>|<null>|20110310")}));
}

TEST_P(ImportRunTest, ManyRecords)
{
    if (GetParam())
        GTEST_SKIP() << "a table without a key makes every ODBC update a scan of the table";
    constexpr int kRecords = 20500;
    QByteArray records;
    QStringList inserts{L("BEGIN")};
    pending = &inserts;
    for (int i = 0; i < kRecords; ++i) {
        const QByteArray call = "W" + QByteArray::number(i);
        addQso(call.constData(), "100000", L("[QSO-CONFIRM]='0'"));
        records += Rec(call.constData(), "100000");
    }
    pending = nullptr;
    inserts.append(L("COMMIT"));
    SqliteFixture::exec(logPath, inserts);
    report(records);
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("count(*)", "[QSO-CONFIRM]='2'"), QStringList{QString::number(kRecords)});
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), kRecords);
}
// A file that is no LoTW report (the page a browser saves when the login fails, other files,
// garbage) is said to be none, with its first line; the run fails and changes nothing, the
// date file included.
TEST_P(ImportRunTest, NotAReportChangesNothing)
{
    addQso("K1DA", "100000", L("[QSO-CONFIRM]='0'"));
    const QString dump = L("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid");
    const QStringList before = SqliteFixture::query(logPath, dump);
    const QByteArray dateFile = "1\r\n2020-01-01\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n";
    QByteArray noise;
    quint32 seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const char c = char(seed >> 24);
        noise.append(c == '<' ? 'x' : c); // no tag at all
    }
    noise.prepend("\x89PNG");
    struct Case
    {
        const char* what;
        QByteArray bytes;
        const char* shown; // the first line as the message shows it
        bool loginHint;
    };
    const Case cases[] = {
        {"login page",
         "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head><title>ARRL Logbook of the World</title></head>\r\n<body>\r\n"
         "<h1>Logbook of the World</h1>\r\n<p class=\"error\">Username/password incorrect</p>\r\n"
         "<form action=\"/lotwuser/default\" method=\"post\"><input name=\"password\" type=\"password\"></form>\r\n"
         "</body>\r\n</html>\r\n",
         "<!DOCTYPE html>", true},
        {"xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qsls><qsl call=\"K1DA\"/></qsls>\n",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false},
        {"json", "{\"qsls\": [{\"call\": \"K1DA\", \"band\": \"20M\"}]}\n", "{\"qsls\": [{\"call\": \"K1DA\", \"band\": \"20M\"}]}", false},
        {"nul bytes", QByteArray(4096, '\0'), "????????????????????????????????????????????????????????????...", false},
        {"binary", noise, nullptr, false},
        // A record of the log in a header that never ends: not taken.
        {"no end of header", "ARRL Logbook of the World Status Report\r\n" + Rec("K1DA", "100000"), "ARRL Logbook of the World Status Report", false},
        {"cr only, no end of header", "Some page\rwith lines\rended by CR\r", "Some page", false},
    };
    for (const Case& c : cases) {
        dir.write(QStringLiteral("quorvane2.dat"), dateFile);
        dir.write(QStringLiteral("lotwreport.adi"), c.bytes);
        monitor.messages.clear();
        EXPECT_FALSE(run()) << c.what;
        ASSERT_EQ(monitor.messages.size(), 1) << c.what;
        const QString message = monitor.messages[0];
        EXPECT_TRUE(message.startsWith(L("lotwreport.adi is not a LoTW report: \""))) << message.toStdString();
        if (c.shown) {
            EXPECT_TRUE(message.startsWith(L("lotwreport.adi is not a LoTW report: \"%1\"").arg(L(c.shown))))
                << message.toStdString();
        }
        EXPECT_EQ(message.contains(L("login")), c.loginHint) << message.toStdString();
        EXPECT_FALSE(message.contains(QChar(0))) << c.what;
        EXPECT_EQ(SqliteFixture::query(logPath, dump), before) << c.what;
        EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), dateFile) << c.what;
        EXPECT_EQ(imported(), QByteArray()) << c.what;
        for (Counter counter : {Counter::DownloadReadIn, Counter::DownloadRecsUsed, Counter::DownloadErrors})
            EXPECT_EQ(monitor.counter(counter), 0) << c.what;
    }
}

// LoTW's answer when no QSL is due: header lines and its closing tag, no end of header.
TEST_P(ImportRunTest, EmptyAnswerIsNoError)
{
    addQso("K1DB", "100000", L("[QSO-CONFIRM]='0'"));
    for (const char* end : {"\r\n", "\n", "\r"}) {
        QByteArray answer = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
                            "Query:\r\n    QSL ONLY: YES\r\nQSL RX SINCE: 2026-03-14 00:00:00 (user supplied value)\r\n\r\n"
                            "<PROGRAMID:4>LoTW\r\n<APP_LoTW_NUMREC:1>0\r\n\r\n<APP_LoTW_EOF>\r\n";
        answer.replace("\r\n", end);
        dir.write(QStringLiteral("lotwreport.adi"), answer);
        monitor.messages.clear();
        EXPECT_TRUE(run()) << QByteArray(end).toHex().constData();
        EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(L("\n")).toStdString();
        EXPECT_EQ(counter(Counter::DownloadReadIn), 0);
    }
    EXPECT_FALSE(dir.exists(QStringLiteral("quorvane2.dat")));
}

TEST_P(ImportRunTest, LoneCrLineEnds)
{
    addQso("K1DC", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K1DD", "100000", L("[QSO-CONFIRM]='1'"));
    report(Rec("K1DC", "100000") + Rec("K1DD", "100000"));
    QByteArray bytes = dir.read(QStringLiteral("lotwreport.adi"));
    bytes.replace("\r\n", "\r");
    dir.write(QStringLiteral("lotwreport.adi"), bytes);
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC]"), (QStringList{L("2|20110310"), L("3|20110310")}));
    EXPECT_EQ(imported(), QByteArray("K1DC 20110305 100000 14 CW\r\nK1DD 20110305 100000 14 CW\r\n"));
}

// STATE with its comment is taken by its declared length, for US entities only when the
// record names its entity.
TEST_P(ImportRunTest, StateForUsEntities)
{
    addQso("K2DA", "100000");
    addQso("RA3DA", "100000");
    addQso("KL7DA", "100000");
    addQso("K2DB", "100000", L("[QSO-STATE]='NY'"));
    report(Rec("K2DA", "100000", "20M", "CW", "K1QVN", "20110310", F("DXCC", "291") + "<STATE:2>NJ // New Jersey\r\n")
           + Rec("RA3DA", "100000", "20M", "CW", "K1QVN", "20110310", "<STATE:2>MO // Moskovskaya oblast\r\n" + F("DXCC", "54"))
           + Rec("KL7DA", "100000", "20M", "CW", "K1QVN", "20110310", F("DXCC", "6") + "<STATE:2>AK // Alaska\r\n")
           + Rec("K2DB", "100000", "20M", "CW", "K1QVN", "20110310", "<STATE:2>NJ // New Jersey\r\n"));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CALL],[QSO-STATE]"),
              (QStringList{L("K2DA|NJ"), L("RA3DA|<null>"), L("KL7DA|AK"), L("K2DB|NY")}));
    EXPECT_EQ(errors(), QByteArray("Warning! : K2DB 20110305 100000 14 CW -- LoTW State NJ not written - already has State of NY\r\n"));
}

// Asked for without the own calls, a report has no STATION_CALLSIGN: every record found keeps
// its own "**No Match **" line and count, and a note after the records says why, once;
// APP_LoTW_OWNCALL stands in where it is given.
TEST_P(ImportRunTest, ReportWithoutStationCalls)
{
    addQso("K3DA", "100000", L("[QSO-CONFIRM]='0'"));
    addQso("K3DB", "100000", L("[QSO-CONFIRM]='0'"));
    auto bare = [](const char* call, const QByteArray& own) {
        return own + F("CALL", call) + F("BAND", "20M") + F("MODE", "CW") + F("QSO_DATE", "20110305")
               + F("TIME_ON", "100000") + F("QSL_RCVD", "Y") + F("QSLRDATE", "20110310") + "<eor>\r\n\r\n";
    };
    report(bare("K3DA", {}) + bare("K3DB", {}) + bare("K3DX", {}));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC]"), (QStringList{L("0|<null>"), L("0|<null>")}));
    const QList<QByteArray> lines = errors().split('\n');
    ASSERT_EQ(lines.size(), 5) << errors().constData(); // two found, one not, the note, and the end
    EXPECT_EQ(lines[0], QByteArray("K3DA 20110305 100000 14 CW  **No Match **\r"));
    EXPECT_EQ(lines[1], QByteArray("K3DB 20110305 100000 14 CW  **No Match **\r"));
    EXPECT_EQ(lines[2], QByteArray("K3DX 20110305 100059 14 CW  ** No QSO Found **\r"));
    EXPECT_TRUE(lines[3].startsWith("Note: the LoTW report gives no station call")) << lines[3].constData();
    EXPECT_TRUE(lines[3].contains("qso_withown=yes")) << lines[3].constData();
    EXPECT_EQ(monitor.download.filter(L("Note:")).size(), 1);
    EXPECT_EQ(monitor.download.filter(L("**No Match **")).size(), 2);
    EXPECT_EQ(counter(Counter::DownloadErrors), 2); // found, not confirmed
    EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::RedArrow);

    // One record with a station call (another one): no note, and each record keeps its line.
    report(bare("K3DA", {}) + bare("K3DB", F("STATION_CALLSIGN", "W9XYZ")));
    EXPECT_TRUE(run());
    EXPECT_EQ(errors(), QByteArray("K3DA 20110305 100000 14 CW  **No Match **\r\nK3DB 20110305 100000 14 CW  **No Match **\r\n"));
    EXPECT_EQ(counter(Counter::DownloadErrors), 2);

    report(bare("K3DA", F("APP_LoTW_OWNCALL", "k1qvn")) + bare("K3DB", F("APP_LoTW_OWNCALL", "N1QVR")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CONFIRM],[QSO-LOTWREC]"), (QStringList{L("2|20110310"), L("0|<null>")}));
    EXPECT_EQ(errors(), QByteArray("Note: the LoTW report gives no STATION_CALLSIGN; its APP_LoTW_OWNCALL is taken as "
                                   "the station call.\r\nK3DB 20110305 100000 14 CW  **No Match **\r\n"));
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 1);
    EXPECT_EQ(counter(Counter::DownloadErrors), 1);
}

// Digital modes share the log's mode code 6; the row whose [QSO-SUBMODE] names the report's
// mode takes the QSL.
TEST_P(ImportRunTest, SameMinuteDigitalModes)
{
    addQso("DL4DA", "101500", L("[QSO-SUBMODE]='HELL'"), "6");
    addQso("DL4DA", "101500", L("[QSO-SUBMODE]='THOR'"), "6");
    addQso("DL4DB", "101510", L("[QSO-SUBMODE]='FT8'"), "6");
    addQso("DL4DB", "101530", L("[QSO-SUBMODE]='FT4'"), "6");
    addQso("DL4DC", "101500", L("[QSO-SUBMODE]='PSK31'"), "6");
    addQso("DL4DC", "101500", L("[QSO-SUBMODE]='RTTY'"), "6");
    report(Rec("DL4DA", "101500", "20M", "THOR") + Rec("DL4DB", "1015", "20M", "MFSK", "K1QVN", "20110310", F("SUBMODE", "FT4"))
           + Rec("DL4DC", "101500", "20M", "OLIVIA", "K1QVN", "20110310", F("SUBMODE", "OLIVIA 8/250")));
    EXPECT_TRUE(run());
    EXPECT_EQ(rows("[QSO-CALL],[QSO-SUBMODE],[QSO-LOTWREC]"),
              (QStringList{L("DL4DA|HELL|<null>"), L("DL4DA|THOR|20110310"), L("DL4DB|FT8|<null>"),
                           L("DL4DB|FT4|20110310"), L("DL4DC|PSK31|20110310"), L("DL4DC|RTTY|<null>")}));
    EXPECT_EQ(imported(), QByteArray("DL4DA 20110305 101500 14 DIGITAL\r\nDL4DB 20110305 101530 14 DIGITAL\r\n"
                                     "DL4DC 20110305 101500 14 DIGITAL\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Odbc" : "Sqlite"; });
} // namespace

namespace {
// The whole road on generated data shaped like a real station's log and LoTW report.
TEST(ImportEndToEnd, GeneratedLogAndReport)
{
    TestDir dir;
    const QString log = dir.file(QStringLiteral("Dxbase.sqlite"));
    const QString ref = dir.file(QStringLiteral("Refdata.sqlite"));
    const qint64 qsos = 600;
    DemoData::writeLog(log, qsos, 7);
    DemoData::writeRefdata(ref);
    const qint64 records = DemoData::writeReport(dir.file(QStringLiteral("lotwreport.adi")), qsos, 7, 1);
    ASSERT_GT(records, 100);
    const QString dump = QStringLiteral("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid");
    const QStringList before = SqliteFixture::query(log, dump);

    FakePaths paths;
    paths.data = dir.path();
    Options options;
    options.sourceMdbPath = log;
    options.refdataMdbPath = ref;
    options.errorFilePath = dir.file(QStringLiteral("SemiQuorvaneErrors.txt"));
    options.importedListPath = dir.file(QStringLiteral("SemiQuorvaneImportedQSOs.txt"));
    Choices choices;
    choices.ImportScope = 0;
    choices.OverwriteChoice = 0;
    RecordingMonitor monitor;
    ImportRun run(options, choices, paths, monitor);
    ASSERT_TRUE(run.OnLotwImport());
    ASSERT_TRUE(run.result().savedDates.has_value());
    ImportRun::applySavedDates(choices, *run.result().savedDates);

    const QStringList imported =
        QString::fromLatin1(dir.read(QStringLiteral("SemiQuorvaneImportedQSOs.txt"))).split(QStringLiteral("\r\n"));
    const QStringList errors =
        QString::fromLatin1(dir.read(QStringLiteral("SemiQuorvaneErrors.txt"))).split(QStringLiteral("\r\n"));
    ASSERT_EQ(imported.last(), QString()); // every line ends with CR LF
    ASSERT_EQ(errors.last(), QString());
    // The monitor shows every line of both files, in the order they were written.
    EXPECT_EQ(monitor.download.size(), imported.size() - 1 + errors.size() - 1);
    qsizetype i = 0, e = 0;
    for (const QString& line : monitor.download) {
        if (i < imported.size() - 1 && line == imported[i])
            ++i;
        else if (e < errors.size() - 1 && line == errors[e])
            ++e;
        else
            ADD_FAILURE() << "monitor line in neither file: " << line.toStdString();
    }

    EXPECT_EQ(monitor.counter(Counter::DownloadReadIn), records);
    EXPECT_EQ(monitor.counter(Counter::DownloadRecsUsed), imported.size() - 1);
    EXPECT_EQ(monitor.counter(Counter::DownloadErrors), 1); // the record reported for the other call
    EXPECT_EQ(errors.filter(QStringLiteral("  **No Match **")).size(), 1);
    EXPECT_EQ(errors.filter(QStringLiteral("ZZ9ZZZ ")).size(), 1);
    EXPECT_TRUE(errors.filter(QStringLiteral("ZZ9ZZZ "))[0].endsWith(QLatin1String("  ** No QSO Found **")));
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), errors.filter(QStringLiteral("Warning")).size());

    // Every imported line names a row that is now confirmed with a LoTW date; rows the report
    // did not confirm are unchanged.
    const QStringList after = SqliteFixture::query(log, dump);
    ASSERT_EQ(before.size(), after.size());
    qsizetype changed = 0;
    for (qsizetype r = 0; r < after.size(); ++r)
        changed += before[r] != after[r];
    EXPECT_LE(changed, imported.size() - 1);
    EXPECT_GT(changed, 0);
    for (qsizetype n = 0; n + 1 < imported.size(); ++n) {
        const QStringList parts = imported[n].split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 5) << imported[n].toStdString();
        const QStringList row = SqliteFixture::query(
            log, QStringLiteral("SELECT [QSO-CONFIRM], [QSO-LOTWREC] FROM [QSO-TAB] WHERE [QSO-CALL]='%1' AND "
                                "[QSO-DATE]='%2' AND [QSO-TIME]='%3'")
                     .arg(parts[0], parts[1], parts[2]));
        ASSERT_FALSE(row.isEmpty()) << imported[n].toStdString();
        const QStringList values = row[0].split(QLatin1Char('|'));
        EXPECT_TRUE(values[0] == QLatin1String("2") || values[0] == QLatin1String("3")) << row[0].toStdString();
        EXPECT_EQ(values[1].size(), 8) << row[0].toStdString();
    }
    // LoTW's cursor of the report (a date and time) is kept for the next request.
    EXPECT_EQ(choices.ReportRange, 0);
    EXPECT_TRUE(IsReportSince(choices.sinceDate)) << choices.sinceDate.toStdString();
    EXPECT_EQ(choices.sinceDate.size(), 19);
    EXPECT_TRUE(dir.exists(QStringLiteral("quorvane2.dat")));
}
} // namespace

namespace {
// Reports that confirm nothing change no row, whatever they hold.
TEST(ImportBadInput, NoRowChangesWithoutAConfirmation)
{
    TestDir dir;
    const QString log = dir.file(QStringLiteral("log.sqlite"));
    const QString ref = dir.file(QStringLiteral("ref.sqlite"));
    DemoData::writeLog(log, 50, 3);
    DemoData::writeRefdata(ref);
    const QString dump = QStringLiteral("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid");
    const QStringList before = SqliteFixture::query(log, dump);
    const DemoData::Qso first = DemoData::qso(0, 3);

    QByteArray noise;
    quint32 seed = 99;
    for (int i = 0; i < 1 << 20; ++i) {
        seed = seed * 1664525u + 1013904223u;
        noise.append(char(seed >> 24));
    }
    // One line of 100 MB: a header, then a record whose call is far too long for any log
    // column, then a real record of the log without a QSL date.
    QByteArray hugeLine = "<eoh>\n<CALL:3>";
    hugeLine.append(QByteArray(100 * 1024 * 1024, 'W'));
    hugeLine.append("<BAND:3>20M<MODE:2>CW<QSLRDATE:8>20260101<EOR><CALL:" + QByteArray::number(first.call.size()) + ">"
                    + first.call.toLatin1() + "<QSO_DATE:8>" + first.date.toLatin1() + "<TIME_ON:6>" + first.time.toLatin1()
                    + "<EOR>");
    const QByteArray reports[] = {
        noise,
        "H\n<eoh>\n" + noise,
        hugeLine,
        "H\n<eoh>\n<CALL:" + QByteArray::number(first.call.size()) + ">" + first.call.toLatin1() + "<BAND:3>20M<MODE:2>CW"
            "<QSLRDATE:8>20260101<QSO_DATE:8>" + first.date.toLatin1() + "\n", // no <eor>
        "H\n<eoh>\n<FOO:3>bar<APP_X:1>y<EOR><CALL:12>X' OR '1'='1<BAND:3>20M<MODE:2>CW<QSLRDATE:8>20260101<EOR>\n",
    };
    for (const QByteArray& report : reports) {
        dir.write(QStringLiteral("lotwreport.adi"), report);
        FakePaths paths;
        paths.data = dir.path();
        Options options;
        options.sourceMdbPath = log;
        options.refdataMdbPath = ref;
        options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
        options.importedListPath = dir.file(QStringLiteral("imported.txt"));
        Choices choices;
        choices.ImportScope = 0;
        RecordingMonitor monitor;
        ImportRun run(options, choices, paths, monitor);
        run.OnLotwImport();
        EXPECT_EQ(monitor.counter(Counter::DownloadRecsUsed), 0);
        EXPECT_EQ(SqliteFixture::query(log, dump), before) << report.left(40).toStdString();
        EXPECT_EQ(dir.read(QStringLiteral("imported.txt")), QByteArray());
    }
}
} // namespace

namespace {
// A monitor that throws in the middle of a report, as an unexpected failure anywhere in a run
// would.
class InterruptingMonitor : public RecordingMonitor
{
public:
    void PumpMessages() override
    {
        if (++pumps == stopAt)
            throw std::runtime_error("interrupted");
    }
    int stopAt = 0;
};

// An exception inside a run ends it cleanly: the transaction rolled back, nothing listed or
// counted, the files closed, the monitor's error file reset, and the connection usable for the
// next run.
TEST(ImportInterrupted, AnExceptionEndsTheRunCleanly)
{
    TestDir dir;
    const QString log = dir.file(QStringLiteral("log.sqlite"));
    const QString ref = dir.file(QStringLiteral("ref.sqlite"));
    DemoData::writeLog(log, 400, 11);
    DemoData::writeRefdata(ref);
    DemoData::writeReport(dir.file(QStringLiteral("lotwreport.adi")), 400, 11, 1);
    const QString dump = QStringLiteral("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid");
    const QStringList before = SqliteFixture::query(log, dump);
    const QByteArray dateFile = "1\r\n2020-01-01\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n";
    dir.write(QStringLiteral("quorvane2.dat"), dateFile);

    FakePaths paths;
    paths.data = dir.path();
    Options options;
    options.sourceMdbPath = log;
    options.refdataMdbPath = ref;
    options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
    options.importedListPath = dir.file(QStringLiteral("imported.txt"));
    Choices choices;
    choices.ImportScope = 0;
    choices.OverwriteChoice = 0;
    const std::shared_ptr<Connection> db = Connection::open(log);
    const std::shared_ptr<Connection> refDb = Connection::open(ref);

    InterruptingMonitor monitor;
    monitor.stopAt = 1000; // well inside the report, after many records were decided
    {
        ImportRun run(options, choices, paths, monitor);
        run.setConnections(db, refDb);
        EXPECT_FALSE(run.OnLotwImport());
    }
    ASSERT_EQ(monitor.messages.size(), 1);
    EXPECT_TRUE(monitor.messages[0].startsWith(QStringLiteral("The import stopped on an unexpected error: interrupted.")))
        << monitor.messages[0].toStdString();
    EXPECT_TRUE(monitor.messages[0].contains(QStringLiteral("records read from the report were discarded")))
        << monitor.messages[0].toStdString();
    EXPECT_EQ(SqliteFixture::query(log, dump), before);
    EXPECT_FALSE(db->inTransaction());
    for (Counter counter : {Counter::DownloadReadIn, Counter::DownloadRecsUsed, Counter::DownloadNewDxcc,
                        Counter::DownloadWarnings})
        EXPECT_EQ(monitor.counter(counter), 0) << int(counter);
    // Only the reason is shown and written: no line of a record that was not saved.
    EXPECT_EQ(monitor.download, QStringList{monitor.messages[0].section(QLatin1Char('\n'), 0, 0)});
    EXPECT_EQ(dir.read(QStringLiteral("imported.txt")), QByteArray());
    EXPECT_EQ(dir.read(QStringLiteral("errors.txt")), monitor.download[0].toLatin1() + "\r\n");
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), dateFile);
    EXPECT_EQ(choices.ReportRange, -1);

    // The same connection serves the next run, which imports the report whole.
    RecordingMonitor next;
    ImportRun again(options, choices, paths, next);
    again.setConnections(db, refDb);
    EXPECT_TRUE(again.OnLotwImport());
    EXPECT_TRUE(next.messages.isEmpty()) << next.messages.join(QStringLiteral("\n")).toStdString();
    EXPECT_GT(next.counter(Counter::DownloadRecsUsed), 10);
    EXPECT_NE(SqliteFixture::query(log, dump), before);
    EXPECT_NE(dir.read(QStringLiteral("quorvane2.dat")), dateFile);
}
} // namespace

namespace {
// A monitor on which the operator asks to stop once the import has looked stopAfter times
// (once after each record).
class StoppingMonitor : public RecordingMonitor
{
public:
    bool StopRequested() const override { return ++looks >= stopAfter; }
    long stopAfter = 0;
    mutable long looks = 0;
};

struct ImportFolder
{
    explicit ImportFolder(const QByteArray& report, int qsos = 400)
    {
        DemoData::writeLog(dir.file(QStringLiteral("log.sqlite")), qsos, 11);
        DemoData::writeRefdata(dir.file(QStringLiteral("ref.sqlite")));
        dir.write(QStringLiteral("lotwreport.adi"), report);
        paths.data = dir.path();
        options.sourceMdbPath = dir.file(QStringLiteral("log.sqlite"));
        options.refdataMdbPath = dir.file(QStringLiteral("ref.sqlite"));
        options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
        options.importedListPath = dir.file(QStringLiteral("imported.txt"));
        choices.ImportScope = 0;
        choices.OverwriteChoice = 0;
    }
    bool run(EventMonitor& monitor)
    {
        ImportRun importRun(options, choices, paths, monitor);
        return importRun.OnLotwImport();
    }
    QStringList rows() const
    {
        return SqliteFixture::query(options.sourceMdbPath, QStringLiteral("SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid"));
    }
    TestDir dir;
    FakePaths paths;
    Options options;
    Choices choices;
};

// A stopped import ends cleanly after a record: the log keeps exactly what an import of the
// report up to that record gives, the lists and the date file name exactly that, and the
// monitor says how many records were read and how many QSOs the log keeps.
TEST(ImportStopped, KeepsTheRecordsReadAndSaysHowMany)
{
    TestDir source;
    const long records = long(DemoData::writeReport(source.file(QStringLiteral("lotwreport.adi")), 400, 11, 1));
    const QByteArray report = source.read(QStringLiteral("lotwreport.adi"));
    ASSERT_GT(records, 100);
    for (long stopAfter : {1L, 57L, records - 1}) {
        SCOPED_TRACE(stopAfter);
        ImportFolder stopped(report);
        const QStringList before = stopped.rows();
        StoppingMonitor monitor;
        monitor.stopAfter = stopAfter;
        EXPECT_FALSE(stopped.run(monitor));
        EXPECT_TRUE(monitor.messages.isEmpty()) << monitor.messages.join(QLatin1Char('\n')).toStdString();
        ASSERT_GE(monitor.download.size(), 2);
        EXPECT_EQ(monitor.download.last(), L("Stopped by the operator"));
        const long kept = monitor.counter(Counter::DownloadRecsUsed);
        EXPECT_EQ(monitor.download.at(monitor.download.size() - 2),
                  QStringLiteral("%1 records of the report were read; the log keeps the %2 QSOs confirmed from them, "
                                 "which the imported-QSO list names. The rest of the report was not read.")
                      .arg(stopAfter)
                      .arg(kept));
        EXPECT_NE(stopped.rows(), before);

        // The same report cut after that record, imported to its end.
        qsizetype cut = 0;
        for (long i = 0; i < stopAfter; ++i)
            cut = report.indexOf("<eor>\r\n", cut) + 7;
        ImportFolder whole(report.left(cut) + "<APP_LoTW_EOF>\r\n");
        RecordingMonitor wholeMonitor;
        ASSERT_TRUE(whole.run(wholeMonitor));
        EXPECT_EQ(stopped.rows(), whole.rows());
        EXPECT_EQ(kept, wholeMonitor.counter(Counter::DownloadRecsUsed));
        EXPECT_EQ(stopped.dir.read(QStringLiteral("imported.txt")), whole.dir.read(QStringLiteral("imported.txt")));
        EXPECT_EQ(stopped.dir.read(QStringLiteral("imported.txt")).count("\r\n"), kept);
        EXPECT_EQ(stopped.dir.read(QStringLiteral("errors.txt")), whole.dir.read(QStringLiteral("errors.txt")));
        // A stopped run leaves the date file as it was: the next request asks for the rest again.
        EXPECT_FALSE(stopped.dir.exists(QStringLiteral("quorvane2.dat")));
        EXPECT_TRUE(whole.dir.exists(QStringLiteral("quorvane2.dat")));
    }
}

// The counters of records not yet saved are shown as they go, at most a few times a second;
// when the rows are not saved they go back to nothing, and the held lines never show.
TEST(HeldMonitor, CountersShowProvisionallyAndGoBackWhenNothingIsSaved)
{
    RecordingMonitor real;
    HeldMonitor held(real);
    RunCounters counters;
    counters.set(Counter::DownloadReadIn, 5);
    held.AddDownloadEvent(QStringLiteral("K1AA 20110305 123400 14 CW  ** No QSO Found **"));
    held.ShowCounters(counters);
    EXPECT_EQ(real.counter(Counter::DownloadReadIn), 5);
    counters.set(Counter::DownloadReadIn, 6);
    held.ShowCounters(counters); // within a quarter second of the last: not shown yet
    EXPECT_EQ(real.counter(Counter::DownloadReadIn), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    counters.set(Counter::DownloadReadIn, 7);
    held.ShowCounters(counters);
    EXPECT_EQ(real.counter(Counter::DownloadReadIn), 7);
    EXPECT_TRUE(real.download.isEmpty());

    held.discard(counters);
    EXPECT_EQ(counters.value(Counter::DownloadReadIn), 0); // the run's own counters go back too
    EXPECT_EQ(real.shown, counters);
    EXPECT_TRUE(real.shown.isSet(Counter::DownloadReadIn));
    EXPECT_TRUE(real.download.isEmpty());

    counters.set(Counter::DownloadReadIn, 2);
    held.AddDownloadEvent(QStringLiteral("saved"));
    held.release(counters);
    EXPECT_EQ(real.counter(Counter::DownloadReadIn), 2);
    EXPECT_EQ(real.download, QStringList{QStringLiteral("saved")});
}

// What is held reaches the real monitor in the order it came, lines of any text whole, the
// icons after the lines and the counters last; what was discarded never does.
TEST(HeldMonitor, ReleaseHandsOverInOrderAndStartsAfresh)
{
    RecordingMonitor real;
    HeldMonitor held(real);
    RunCounters counters;
    held.AddDownloadEvent(QStringLiteral("dropped"));
    held.SetStepIcon(Step::ProblemPointer, StepIcon::Tick);
    held.discard(counters);
    const QString wide = QString::fromUtf8("ÐÐµÐ½Ð° â¬"); // beyond Latin-1
    const QStringList lines = {QStringLiteral("first"), QString(), wide, QString::fromLatin1("café"),
                               QString(70000, QLatin1Char('x'))};
    for (const QString& line : lines)
        held.AddDownloadEvent(line);
    held.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    counters.set(Counter::DownloadRecsUsed, 4);
    // Messages, progress and the upload side are not held.
    held.ShowMessage(QStringLiteral("at once"));
    held.AddUploadEvent(QStringLiteral("upload line"));
    EXPECT_EQ(real.messages, QStringList{QStringLiteral("at once")});
    EXPECT_EQ(real.upload, QStringList{QStringLiteral("upload line")});
    EXPECT_TRUE(real.download.isEmpty());
    EXPECT_TRUE(real.iconLog.empty());

    const int showsBefore = real.showCount;
    held.release(counters);
    EXPECT_EQ(real.download, lines);
    EXPECT_EQ(real.iconLog, (std::vector<std::pair<Step, StepIcon>>{{Step::ProblemPointer, StepIcon::RedArrow}}));
    EXPECT_EQ(real.showCount, showsBefore + 1);
    EXPECT_EQ(real.shown, counters);

    // Nothing is handed over twice.
    held.release(counters);
    EXPECT_EQ(real.download, lines);
    EXPECT_EQ(real.iconLog.size(), 1u);
}

// The import's progress comes in stages, each counted on its own: the report's bytes while its
// records are matched, the log's rows while the log is read (at the report's first record, after
// which the matching goes on), then the rows written while the log is saved. Each stage moves
// forward from nothing to its whole total.
TEST(ImportProgress, EachStageCountsItsOwnWork)
{
    constexpr int kQsos = 40000; // more than one stretch of the log's reading between reports
    TestDir source;
    DemoData::writeReport(source.file(QStringLiteral("lotwreport.adi")), kQsos, 11, 1);
    const QByteArray report = source.read(QStringLiteral("lotwreport.adi"));
    ImportFolder folder(report, kQsos);
    const QStringList before = folder.rows();
    RecordingMonitor monitor;
    ASSERT_TRUE(folder.run(monitor));
    const QStringList after = folder.rows();
    ASSERT_EQ(after.size(), before.size());
    qint64 changed = 0;
    for (qsizetype i = 0; i < after.size(); ++i)
        changed += after.at(i) != before.at(i) ? 1 : 0;

    std::vector<RunStage> order;
    for (const auto& [stage, at] : monitor.stages)
        order.push_back(stage);
    ASSERT_EQ(order, (std::vector<RunStage>{RunStage::Matching, RunStage::ReadingLog, RunStage::Matching,
                                            RunStage::Saving}));
    ASSERT_GT(changed, 1024);
    const qint64 totals[] = {qint64(report.size()), kQsos, qint64(report.size()), changed};
    for (std::size_t s = 0; s < monitor.stages.size(); ++s) {
        SCOPED_TRACE(int(s));
        const std::size_t from = monitor.stages[s].second;
        const std::size_t to = s + 1 < monitor.stages.size() ? monitor.stages[s + 1].second : monitor.progress.size();
        qint64 last = -1;
        std::size_t reports = 0;
        for (std::size_t i = from; i < to; ++i) {
            const auto [done, total] = monitor.progress[i];
            EXPECT_EQ(total, totals[s]);
            EXPECT_GE(done, last);
            EXPECT_LE(done, total);
            last = done;
            ++reports;
        }
        if (s > 0) {
            EXPECT_GE(reports, 2u); // a start and at least one step
        }
        if (s == 2) {
            EXPECT_EQ(last, report.size());
        }
    }
}
} // namespace

namespace {
// The next "since" an import keeps: LoTW's cursor from the report's header when it is a date
// and time, else the newest QSL date of the records, whatever their order; nothing without
// either.
TEST_P(ImportRunTest, NextSinceIsLoTWsCursorElseTheNewestQslDate)
{
    addQso("K8NA", "100000", L("[QSO-CONFIRM]='0'"));
    const QByteArray records = Rec("K8NA", "100000", "20M", "CW", "K1QVN", "20110310")
                               + Rec("K8NB", "100000", "20M", "CW", "K1QVN", "20110312")
                               + Rec("K8NC", "100000", "20M", "CW", "K1QVN", "20110311");
    struct Case
    {
        const char* name;
        QByteArray cursor; // header lines before <eoh>
        QByteArray records;
        const char* since; // nullptr: the date file is not written
        bool noted;
    };
    const Case cases[] = {
        {"LoTW's cursor", "<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n", records, "2026-03-14 17:58:41", false},
        {"cursor with its comment", "<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41 // UTC\r\n", records,
         "2026-03-14 17:58:41", false},
        {"no cursor", "", records, "2011-03-12", false},
        {"cursor that is no date", "<APP_LoTW_LASTQSL:7>garbage\r\n", records, "2011-03-12", true},
        {"cursor of an impossible time", "<APP_LoTW_LASTQSL:19>2026-02-30 25:61:00\r\n", records, "2011-03-12", true},
        {"cursor without QSL dates", "<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n", Rec("K8ND", "100000", "20M", "CW", "K1QVN", ""),
         "2026-03-14 17:58:41", false},
        {"neither", "", Rec("K8ND", "100000", "20M", "CW", "K1QVN", ""), nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file(QStringLiteral("quorvane2.dat")));
        dir.write(QStringLiteral("lotwreport.adi"), "ARRL Logbook of the World Status Report\r\nfor K1QVN\r\n\r\n"
                                                    "<PROGRAMID:4>LoTW\r\n" + c.cursor + "<eoh>\r\n" + c.records
                                                        + "<APP_LoTW_EOF>\r\n");
        EXPECT_TRUE(run());
        if (!c.since) {
            EXPECT_FALSE(dir.exists(QStringLiteral("quorvane2.dat")));
        } else {
            EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")),
                      QByteArray("1\r\n") + c.since + "\x05" "0:-1:1:1:0:0:0:0:0:0:0:0\r\n");
            EXPECT_EQ(choices.sinceDate, QString::fromLatin1(c.since));
        }
        EXPECT_EQ(monitor.download.filter(L("APP_LoTW_LASTQSL")).size(), c.noted ? 1 : 0) << monitor.download.join(L("\n")).toStdString();
    }
}
} // namespace

namespace {
// A keyless log found by its values through an index, as an Access log without a key is: a
// QSO logged twice (twins, equal in every column) takes the one confirmation in both rows,
// with a warning line, and nothing counts as an error; the row that differs only in its time
// is left alone. On the SQLite engine (and through the driver's row identifier) the twins are
// told apart and the first one alone takes it.
TEST_P(ImportRunTest, TwinsOfAKeylessLogTakeTheConfirmationTogether)
{
    addQso("K1TW", "123400", L("[QSO-CONFIRM]='0'"));
    addQso("K1TW", "123400", L("[QSO-CONFIRM]='0'"));
    addQso("K1TW", "123500", L("[QSO-CONFIRM]='0'"));
    report(Rec("K1TW", "123400"));
    SqliteFixture::exec(logPath, {L("CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])")});
    for (OdbcConnection::Locator limit : {OdbcConnection::Locator::PrimaryKey, OdbcConnection::Locator::Index}) {
        SCOPED_TRACE(int(limit));
        SqliteFixture::exec(logPath, {L("UPDATE [QSO-TAB] SET [QSO-CONFIRM] = '0', [QSO-LOTWREC] = NULL")});
        OdbcConnection::limitLocators(limit);
        monitor = RecordingMonitor();
        const bool ok = run();
        OdbcConnection::limitLocators(OdbcConnection::Locator::PrimaryKey);
        ASSERT_TRUE(ok);
        const bool together = GetParam() && limit == OdbcConnection::Locator::Index;
        EXPECT_EQ(rows("[QSO-CONFIRM]"), (QStringList{L("2"), together ? L("2") : L("0"), L("0")}));
        EXPECT_EQ(counter(Counter::DownloadRecsUsed), 1);
        EXPECT_EQ(counter(Counter::DownloadErrors), 0);
        const QStringList warnings = monitor.download.filter(L("logged more than once"));
        EXPECT_EQ(warnings.size(), together ? 1 : 0);
        if (together) {
            EXPECT_TRUE(warnings.at(0).startsWith(L("Warning: 1 QSOs confirmed"))) << warnings.at(0).toStdString();
            EXPECT_TRUE(errors().contains("Warning: 1 QSOs confirmed"));
            ASSERT_EQ(locatorLines.size(), 1);
            EXPECT_TRUE(locatorLines.at(0).contains(L("through the index qso_call"))) << locatorLines.at(0).toStdString();
        }
        EXPECT_EQ(locatorLines.size(), GetParam() ? 1 : 0);
    }
}
} // namespace

namespace {
// The import on a second ODBC driver, one that writes rows where they stand in a scrollable
// cursor (PostgreSQL's), into a keyless copy of the log: the twins take the one confirmation
// together with a warning line, another QSO is confirmed and has its grid filled in its own
// row, the row that differs only in its time is left alone, and nothing counts as an error.
class ImportOnAPositioningDriverTest : public ImportRunTest
{
};

TEST_P(ImportOnAPositioningDriverTest, TwinsTakeTheConfirmationTogetherWhereTheyStand)
{
    const QString why = PostgresServer::unavailable();
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    PostgresServer* server = SharedPostgresServer();
    ASSERT_TRUE(server);
    addQso("K1TW", "123400", L("[QSO-CONFIRM]='0'"));
    addQso("K1TW", "123400", L("[QSO-CONFIRM]='0'"));
    addQso("K1TW", "123500", L("[QSO-CONFIRM]='0'"));
    addQso("W1GRD", "130000", L("[QSO-CONFIRM]='0'"));
    report(Rec("K1TW", "123400") + Rec("W1GRD", "130000", "20M", "CW", "K1QVN", "20110310", F("GRIDSQUARE", "FN42")));
    const QString database = server->newDatabase();
    server->copySqlite(logPath, database);
    options.sourceMdbPath = L("odbc:") + server->connectionString(database);
    ASSERT_TRUE(run());
    ASSERT_EQ(locatorLines.size(), 1);
    EXPECT_TRUE(locatorLines.at(0).contains(L("written where it stands"))) << locatorLines.at(0).toStdString();
    EXPECT_EQ(server->query(database, L("SELECT [QSO-CALL] || '/' || [QSO-TIME] || '/' || [QSO-CONFIRM] || '/' || "
                                        "COALESCE([QSO-GRID], '') FROM [QSO-TAB] WHERE [QSO-DATE] = '20110305' "
                                        "ORDER BY 1")),
              (QStringList{L("K1TW/123400/2/"), L("K1TW/123400/2/"), L("K1TW/123500/0/"), L("W1GRD/130000/2/FN42")}));
    EXPECT_EQ(counter(Counter::DownloadRecsUsed), 2);
    EXPECT_EQ(counter(Counter::DownloadErrors), 0);
    const QStringList warnings = monitor.download.filter(L("logged more than once"));
    ASSERT_EQ(warnings.size(), 1) << monitor.download.join(L("\n")).toStdString();
    EXPECT_TRUE(warnings.at(0).startsWith(L("Warning: 1 QSOs confirmed"))) << warnings.at(0).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Odbc, ImportOnAPositioningDriverTest, ::testing::Values(true),
                         [](const ::testing::TestParamInfo<bool>&) { return std::string("Odbc"); });
} // namespace
