#include "FakeCountyTable.h"
#include "Printing.h"
#include "download/DbCountyTable.h"
#include "download/LotwRecordParser.h"
#include "download/LotwReportReader.h"
#include "download/ReportFeed.h"
#include "logdb/CDxb96CountySet.h"
#include "platform/Errors.h"
#include "support/Fakes.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>

namespace {
QString S(const char* text)
{
    return QString::fromLatin1(text);
}

// Every field of a record, in one list, so that records compare and print as a whole.
QStringList Fields(const LotwRecord& r)
{
    return {r.call,       r.qsoDate,    r.timeOn,     r.bandCode,  r.modeCode, r.state,    r.cqZone,
            r.ituZone,    r.iota,       r.grid,       r.county,    r.stationCall, r.qslDate, r.dxccCredit,
            r.vuccCredit, r.wpxCredit,  r.ownCall,    r.dxcc,      r.modeName, r.submodeName};
}

// What a reading of the report gave: the records with their station call's source, the county
// questions and the line count.
struct Reading
{
    std::vector<QStringList> records;
    std::vector<LotwRecordParser::StationCallSource> sources;
    QStringList questions; // "CALL STATE|COUNTY"
    qint64 lines = 0;
    ReportShape shape;
};

// Hands out the device's bytes a few at a time, as a pipe or a slow disk may: lines and tags
// are cut across reads everywhere. failAfter: the read after that many bytes fails.
class TrickleDevice : public QIODevice
{
public:
    TrickleDevice(QByteArray bytes, qint64 step, qint64 failAfter = -1)
        : m_bytes(std::move(bytes)), m_step(step), m_failAfter(failAfter)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_failAfter >= 0 && m_at >= m_failAfter) {
            setErrorString(S("Input/output error"));
            return -1;
        }
        const qint64 n = qMin(qMin(maxSize, m_step), qint64(m_bytes.size()) - m_at);
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_step;
    qint64 m_failAfter;
    qint64 m_at = 0;
};

class Recorder : public ReportFeed::Consumer
{
public:
    void lines(qint64 count, qint64 position) override
    {
        EXPECT_GT(count, 0);
        EXPECT_GE(position, lastPosition);
        lastPosition = position;
        reading.lines += count;
    }
    bool countyExists(const ProblemRecord& record) override
    {
        reading.questions.append(record.call + QLatin1Char(' ') + record.state + QLatin1Char('|') + record.county);
        return yes.count({record.state, record.county}) > 0;
    }
    void record(LotwRecord& record, LotwRecordParser::StationCallSource source) override
    {
        reading.records.push_back(Fields(record));
        reading.sources.push_back(source);
        if (throwAt >= 0 && qsizetype(reading.records.size()) == throwAt) {
            if (beforeThrow)
                beforeThrow();
            throw std::runtime_error("the consumer stops");
        }
    }

    Reading reading;
    std::set<std::pair<QString, QString>> yes; // what the consumer's table answers "there" for
    qint64 lastPosition = 0;
    qsizetype throwAt = -1;
    std::function<void()> beforeThrow;
};

const QByteArray kHeader = "ARRL Logbook of the World Status Report\r\n"
                           "Generated at 2026-03-14 18:00:00\r\n"
                           "for K1ABC\r\n"
                           "Query:\r\n"
                           "    QSL ONLY: YES\r\n"
                           "\r\n"
                           "<PROGRAMID:4>LoTW\r\n"
                           "<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n"
                           "<eoh>\r\n";

// Counties as LoTW gives them: some the reference table holds as they stand, some it holds
// under another spelling (asked of the consumer), some it doesn't hold at all.
const char* const kCounties[] = {"CT,HARTFORD // Hartford",         "MA,MIDDLESEX // Middlesex",
                                 "NY,SAINT LAWRENCE // St Lawrence", "AK,FAIRBANKS NORTH STAR // Fairbanks",
                                 "TX,NOWHERE // Nowhere",           "CT,New Haven"};

QByteArray Record(int i)
{
    QByteArray r;
    auto field = [&r](const char* name, const QByteArray& value) {
        r += '<' + QByteArray(name) + ':' + QByteArray::number(value.size()) + '>' + value + "\r\n";
    };
    field("APP_LoTW_OWNCALL", "K1ABC");
    if (i % 7 != 0)
        field("STATION_CALLSIGN", i % 3 ? "K1ABC" : "K1ABC/P");
    field("CALL", "W" + QByteArray::number(i % 10) + "X" + QByteArray(1, char('A' + i % 26)));
    field("BAND", i % 2 ? "20M" : "40m");
    field("FREQ", "14.074");
    field("MODE", i % 4 ? "FT8" : "CW");
    if (i % 5 == 0)
        field("SUBMODE", "FT4");
    field("QSO_DATE", "2026" + QByteArray::number(1000 + i % 12 + 1).right(2) + "1" + QByteArray::number(i % 9 + 1));
    field("TIME_ON", QByteArray::number(100000 + i % 5959).right(6));
    field("QSL_RCVD", "Y");
    field("QSLRDATE", "20260314");
    if (i % 3 == 0)
        field("DXCC", i % 2 ? "291" : "6");
    const QByteArray county = i % 2 == 0 ? QByteArray(kCounties[(i / 2) % 6]) : QByteArray();
    // Some records give the state by their county alone.
    if (i % 11 != 0)
        field("STATE", county.isEmpty() ? QByteArray("CT") : county.left(2));
    if (!county.isEmpty()) {
        // A comment after the declared length, as LoTW writes them.
        const qsizetype cut = county.indexOf(" //");
        r += "<CNTY:" + QByteArray::number(cut < 0 ? county.size() : cut) + '>' + county + "\r\n";
    }
    field("CQZ", "05");
    field("ITUZ", "08");
    if (i % 9 == 0)
        field("IOTA", "NA-046");
    field("GRIDSQUARE", i % 2 ? "FN31pr" : "FN42");
    field("CREDIT_GRANTED", i % 2 ? "DXCC,DXCC_BAND,CQWPX" : "VUCC_BAND");
    r += "<eor>\r\n\r\n";
    return r;
}

QByteArray Report(int records)
{
    QByteArray report = kHeader;
    for (int i = 0; i < records; ++i)
        report += Record(i);
    report += "<APP_LoTW_EOF>\r\n";
    return report;
}

class ReportFeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reference = dir.file(S("reference.sqlite"));
        dir.write(S("reference.sqlite"), QByteArray());
        SqliteFixture::exec(reference, {S("CREATE TABLE [COUNTY-TAB] ([CNTY-ST-ABV] TEXT, [CNTY-LAT] TEXT, "
                                          "[CNTY-LON] TEXT, [CNTY-NAME] TEXT)"),
                                        S("INSERT INTO [COUNTY-TAB] VALUES ('CT','','','HARTFORD')"),
                                        S("INSERT INTO [COUNTY-TAB] VALUES ('NY','','','ST LAWRENCE')")});
        countySet = std::make_unique<CDxb96CountySet>(reference);
        counties = std::make_unique<DbCountyTable>(*countySet, monitor);
        counties->preload();
        // What the consumer's own table (the engine, case-blind on Access) answers beyond them.
        recorder.yes = {{S("MA"), S("MIDDLESEX")}, {S("AK"), S("CENTRAL")}};
    }

    // The report read on the calling thread alone, by the reader and the parser, with a county
    // table that answers what the preloaded table and the consumer answer together.
    Reading direct(const QByteArray& bytes)
    {
        FakeCountyTable table;
        table.pairs = recorder.yes;
        table.pairs.insert({S("CT"), S("HARTFORD")});
        table.pairs.insert({S("NY"), S("ST LAWRENCE")});
        RecordingMonitor quiet;
        RunCounters counters;
        ProblemLog problems(quiet, counters);
        LotwRecordParser parser(table, &problems);
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        Reading reading;
        LotwReportReader reader(buffer);
        reading.shape = reader.read([&] { ++reading.lines; },
                                    [&](QByteArrayView chunk) {
                                        if (parser.ParseTag(chunk)) {
                                            reading.records.push_back(Fields(parser.record()));
                                            reading.sources.push_back(parser.stationCallSource());
                                            ClearLotwRecord(parser.record());
                                        }
                                    });
        return reading;
    }

    Reading feed(QIODevice& device)
    {
        ReportFeed feed(device, *counties);
        recorder.reading.shape = feed.run(recorder);
        return recorder.reading;
    }

    Reading feed(const QByteArray& bytes)
    {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        return feed(buffer);
    }

    static void expectSame(const Reading& fed, const Reading& read)
    {
        ASSERT_EQ(fed.records.size(), read.records.size());
        for (std::size_t i = 0; i < fed.records.size(); ++i)
            ASSERT_EQ(fed.records[i], read.records[i]) << "record " << i;
        EXPECT_EQ(fed.sources, read.sources);
        EXPECT_EQ(fed.lines, read.lines);
        EXPECT_EQ(fed.shape.nonEmpty, read.shape.nonEmpty);
        EXPECT_EQ(fed.shape.endOfHeader, read.shape.endOfHeader);
        EXPECT_EQ(fed.shape.endOfFileTag, read.shape.endOfFileTag);
        EXPECT_EQ(fed.shape.firstLine, read.shape.firstLine);
        EXPECT_EQ(fed.shape.lastQsl, read.shape.lastQsl);
    }

    TestDir dir;
    QString reference;
    RecordingMonitor monitor;
    std::unique_ptr<CDxb96CountySet> countySet;
    std::unique_ptr<DbCountyTable> counties;
    Recorder recorder;
};

// Thousands of records go over in many batches: the import sees every one as the reader and
// the parser give it on one thread, counties the table doesn't hold dropped.
TEST_F(ReportFeedTest, RecordsComeAsIfReadOnTheImportsThread)
{
    const QByteArray report = Report(3000);
    const Reading fed = feed(report);
    const Reading read = direct(report);
    expectSame(fed, read);
    EXPECT_EQ(fed.records.size(), 3000u);
    EXPECT_EQ(fed.lines, report.count('\n'));
    EXPECT_EQ(recorder.lastPosition, report.size());
    EXPECT_EQ(fed.shape.lastQsl, "2026-03-14 17:58:41");
    EXPECT_TRUE(fed.shape.endOfFileTag);
}

// Only pairs the preloaded table doesn't hold as they stand are asked, each with the record as
// read so far; the answer decides whether the record keeps its county.
TEST_F(ReportFeedTest, CountiesTheTableDoesNotKnowAreAskedInOrder)
{
    const QByteArray report = Report(12);
    const Reading fed = feed(report);
    expectSame(fed, direct(report));
    // Records 0, 2, ... 10 give the counties in turn; Hartford and St Lawrence are known.
    EXPECT_EQ(fed.questions, (QStringList{S("W2XC MA|MIDDLESEX"), S("W6XG AK|CENTRAL"),
                                          S("W8XI TX|NOWHERE"), S("W0XK CT|NEW HAVEN")}));
    EXPECT_EQ(fed.records[0][10], S("HARTFORD"));
    EXPECT_EQ(fed.records[2][10], S("MIDDLESEX"));
    EXPECT_EQ(fed.records[4][10], S("ST LAWRENCE"));
    EXPECT_EQ(fed.records[8][10], S(""));  // Nowhere: not in the table
    EXPECT_EQ(fed.records[10][10], S("")); // New Haven: not in either
}

TEST_F(ReportFeedTest, TheSameWhateverTheLineEndsAndTheReadSizes)
{
    QByteArray lf = Report(40);
    lf.replace("\r\n", "\n");
    QByteArray cr = Report(40);
    cr.replace("\r\n", "\r");
    QByteArray noFinalEnd = Report(40);
    noFinalEnd.chop(2);
    const Reading reference = direct(Report(40));
    for (const QByteArray& bytes : {lf, cr, noFinalEnd}) {
        for (const qint64 step : {1, 3, 4096}) {
            SCOPED_TRACE(testing::Message() << "read size " << step << ", ends " << bytes.right(8).toHex().toStdString());
            recorder.reading = Reading();
            recorder.lastPosition = 0;
            TrickleDevice device(bytes, step);
            const Reading fed = feed(device);
            ASSERT_EQ(fed.records.size(), reference.records.size());
            for (std::size_t i = 0; i < fed.records.size(); ++i)
                ASSERT_EQ(fed.records[i], reference.records[i]) << "record " << i;
            EXPECT_EQ(fed.lines, direct(bytes).lines);
            EXPECT_TRUE(fed.shape.endOfFileTag);
        }
    }
}

// The last record, cut off before its end tag by the end of the file, is no record.
TEST_F(ReportFeedTest, RecordCutShortAtTheEndIsNotHandedOver)
{
    QByteArray report = kHeader + Record(0) + Record(1);
    report.chop(report.size() - report.lastIndexOf("<eor>"));
    const Reading fed = feed(report);
    expectSame(fed, direct(report));
    EXPECT_EQ(fed.records.size(), 1u);
}

TEST_F(ReportFeedTest, EmptyReportsGiveNoRecords)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\r\n\r\n"), kHeader, kHeader + "<APP_LoTW_EOF>"}) {
        recorder.reading = Reading();
        recorder.lastPosition = 0;
        const Reading fed = feed(bytes);
        expectSame(fed, direct(bytes));
        EXPECT_TRUE(fed.records.empty());
    }
}

// A read that fails part way: the records before it are handed over, then the failure comes
// out of run() as the reader threw it.
TEST_F(ReportFeedTest, ReadFailureComesAfterTheRecordsBeforeIt)
{
    const QByteArray report = Report(500);
    const qint64 failAt = report.indexOf("<eor>\r\n\r\n", report.size() / 2) + 9;
    TrickleDevice device(report, 1, failAt);
    try {
        feed(device);
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_TRUE(e.description().contains(S("Input/output error"))) << e.description().toStdString();
    }
    const Reading read = direct(report.left(failAt));
    EXPECT_EQ(recorder.reading.records.size(), read.records.size());
    EXPECT_GT(recorder.reading.records.size(), 100u);
    for (std::size_t i = 0; i < read.records.size() && i < recorder.reading.records.size(); ++i)
        ASSERT_EQ(recorder.reading.records[i], read.records[i]) << "record " << i;
}

// What the consumer throws ends the reading at once and comes out as it is; the reading thread
// is ended with it (the feed goes away without waiting for the rest of the report).
TEST_F(ReportFeedTest, ConsumerFailureEndsTheReading)
{
    const QByteArray report = Report(20000);
    for (const qsizetype at : {1, 2500}) {
        recorder.reading = Reading();
        recorder.lastPosition = 0;
        recorder.throwAt = at;
        EXPECT_THROW(feed(report), std::runtime_error);
        EXPECT_EQ(recorder.reading.records.size(), std::size_t(at));
    }
}

// The consumer stops while the reading thread waits for room: the batches read ahead hold all
// the feed keeps (records with calls and mode names of some 35,000 characters, one batch each).
// The thread is woken and ended, not left waiting, and the feed comes back with the failure.
TEST_F(ReportFeedTest, ConsumerFailureWhileTheReaderWaitsForRoom)
{
    QByteArray report = kHeader;
    const QByteArray record = "<CALL:35000>" + QByteArray(35000, 'K') + "\r\n<MODE:35000>" + QByteArray(35000, 'M')
                              + "\r\n<QSO_DATE:8>20260314\r\n<eor>\r\n";
    for (int i = 0; i < 700; ++i)
        report += record;
    recorder.throwAt = 1;
    // Time for the reader to fill what the feed keeps and wait.
    recorder.beforeThrow = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
    EXPECT_THROW(feed(report), std::runtime_error);
    EXPECT_EQ(recorder.reading.records.size(), 1u);
}

// A feed that never ran goes away without a thread to end.
TEST_F(ReportFeedTest, FeedThatNeverRanEndsQuietly)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadOnly);
    EXPECT_NO_THROW({ ReportFeed unused(buffer, *counties); });
}
} // namespace
