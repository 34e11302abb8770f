#include "FakeCountyTable.h"
#include "download/LotwRecordParser.h"
#include "download/LotwReportReader.h"
#include "support/Fakes.h"

#include <QBuffer>
#include "Printing.h"

#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

// Reads a report through the reader and the parser, keeping each record at its end tag.
struct ParsedReport
{
    bool nonEmpty = false;
    std::vector<LotwRecord> records;
    LotwRecord tail; // what was left after the last end tag
    int lines = 0;
};

class ReportReaderTest : public ::testing::Test
{
protected:
    ParsedReport parse(const QByteArray& bytes)
    {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        LotwRecordParser parser(counties, monitor);
        ParsedReport result;
        LotwReportReader reader(buffer);
        result.nonEmpty = reader.read([&] { ++result.lines; },
                                      [&](QByteArrayView chunk) {
                                          if (parser.ParseTag(chunk)) {
                                              result.records.push_back(parser.record());
                                              ClearLotwRecord(parser.record());
                                          }
                                      });
        result.tail = parser.record();
        return result;
    }

    FakeCountyTable counties;
    RecordingMonitor monitor;
};

const QByteArray kHeader = "ARRL Logbook of the World Status Report\r\n"
                           "Generated at 2026-03-14 18:00:00\r\n"
                           "for K1ABC\r\n"
                           "<PROGRAMID:4>LoTW\r\n"
                           "<APP_LoTW_NUMREC:1>1\r\n"
                           "<eoh>\r\n";

TEST_F(ReportReaderTest, EmptyReports)
{
    EXPECT_FALSE(parse("").nonEmpty);
    EXPECT_FALSE(parse("\n\n\r\n\n").nonEmpty);
    // A line of blanks is not empty: it starts a header that never ends.
    const ParsedReport blanks = parse("\r\n   \r\n<CALL:4>K1AB<EOR>\r\n");
    EXPECT_TRUE(blanks.nonEmpty);
    EXPECT_TRUE(blanks.records.empty());
}

TEST_F(ReportReaderTest, RealisticReport)
{
    const QByteArray report = kHeader
                              + "\r\n<APP_LoTW_OWNCALL:5>K1ABC\r\n<STATION_CALLSIGN:5>k1abc\r\n<CALL:5>w1xyz\r\n"
                                "<BAND:3>20M\r\n<FREQ:8>14.07400\r\n<MODE:4>MFSK\r\n<SUBMODE:3>FT8\r\n"
                                "<QSO_DATE:8>20260301\r\n<TIME_ON:6>123456\r\n<QSL_RCVD:1>Y\r\n"
                                "<QSLRDATE:8>20260305\r\n<CQZ:2>05\r\n<ITUZ:1>8\r\n"
                                "<STATE:2>MA // Massachusetts\r\n<IOTA:6>NA-001\r\n<GRIDSQUARE:8>fn42ab12\r\n"
                                "<CREDIT_GRANTED:14>DXCC,DXCC_BAND\r\n<eor>\r\n\r\n<APP_LoTW_EOF>\r\n";
    const ParsedReport parsed = parse(report);
    ASSERT_EQ(parsed.records.size(), 1u);
    const LotwRecord& r = parsed.records[0];
    EXPECT_EQ(r.call, L("W1XYZ"));
    EXPECT_EQ(r.stationCall, L("K1ABC"));
    EXPECT_EQ(r.bandCode, L("6"));
    EXPECT_EQ(r.modeCode, L("6"));
    EXPECT_EQ(r.qsoDate, L("20260301"));
    EXPECT_EQ(r.timeOn, L("123456"));
    EXPECT_EQ(r.qslDate, L("20260305"));
    EXPECT_EQ(r.cqZone, L("05"));
    EXPECT_EQ(r.ituZone, L("08"));
    EXPECT_EQ(r.state, QString()); // "MA // Massachusetts" is not 2 characters long
    EXPECT_EQ(r.iota, L("NA001"));
    EXPECT_EQ(r.grid, L("FN42"));
    EXPECT_EQ(r.dxccCredit, L("DXCC"));
    EXPECT_EQ(r.vuccCredit, QString());
    EXPECT_EQ(r.wpxCredit, QString());
    EXPECT_EQ(parsed.tail.call, QString());
}

TEST_F(ReportReaderTest, HeaderVariants)
{
    const QByteArray record = "<CALL:4>K1AB<BAND:3>20M<MODE:2>CW<EOR>\n";
    // Upper-case end of header.
    EXPECT_EQ(parse("Header\n<EOH>\n" + record).records.size(), 1u);
    // The end-of-header line is consumed whole, tags after it included.
    EXPECT_EQ(parse("Header <eoh>" + record).records.size(), 0u);
    // Mixed case does not end the header.
    EXPECT_EQ(parse("Header\n<Eoh>\n" + record).records.size(), 0u);
    // No end of header: no records.
    EXPECT_EQ(parse("Header\n" + record + record).records.size(), 0u);
    // A first line starting with "<" is consumed unparsed, even when it holds a record.
    EXPECT_EQ(parse(record + record).records.size(), 1u);
    EXPECT_EQ(parse("\n\r\n" + record + record).records.size(), 1u);
    // A first line starting with CR is a header line.
    EXPECT_EQ(parse("\r" + record + record).records.size(), 0u);
    // The end of header may be the only thing on the last line, without LF.
    EXPECT_EQ(parse("Header\n<eoh>").records.size(), 0u);
}

TEST_F(ReportReaderTest, LineShapes)
{
    // Records spanning lines, several on one line, lower-case end tags, blank padding.
    const QByteArray body = "  <CALL:4>K1AB \r\n\t<BAND:3>40M\r\n<MODE:3>SSB<eor><CALL:4>K2CD<BAND:3>20M<MODE:3>SSB<EoR>\r\n"
                            "<CALL:4>K3EF\r\n";
    const ParsedReport parsed = parse("H\n<EOH>\n" + body);
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(parsed.records[0].call, L("K1AB"));
    EXPECT_EQ(parsed.records[0].bandCode, L("8"));
    EXPECT_EQ(parsed.records[0].modeCode, L("89"));
    EXPECT_EQ(parsed.records[1].call, L("K2CD"));
    EXPECT_EQ(parsed.tail.call, L("K3EF")); // the tail after the last end tag is not a record
}

TEST_F(ReportReaderTest, ChunkRules)
{
    const ParsedReport parsed = parse("H\n<EOH>\n"
                                      "<call:4>k1ab<Band:3>20m<MODE>CW<BAND:3:N>40M junk  <eor>  \n"
                                      "<CALL:5>K2CD<EOR>trailing text<BAND:2>6M<MODE:2>AM<UNKNOWN:1>x<EOR>\n"
                                      "<CALL:4>K3EF<QSO_DATE:8>20110305<QSO_DATE:7>2011030<EOR>\n");
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(parsed.records[0].call, L("K1AB"));
    EXPECT_EQ(parsed.records[0].bandCode, L("99")); // "40M junk": the declared length is not used
    EXPECT_EQ(parsed.records[0].modeCode, QString()); // a tag without ":" keeps its name whole: "MODE>CW"
    // "EOR>trailing text" is not an end tag; the second record ends at the last <EOR>.
    EXPECT_EQ(parsed.records[1].call, L("K2CD"));
    EXPECT_EQ(parsed.records[1].bandCode, L("1"));
    EXPECT_EQ(parsed.records[2].qsoDate, QString()); // a later tag overwrites the earlier value
}

TEST_F(ReportReaderTest, CreditsBelongToOneRecord)
{
    const ParsedReport parsed = parse("H\n<eoh>\n<CALL:4>K1AB<CREDIT_GRANTED:20>DXCC,VUCC_BAND,CQWPX<EOR>\n"
                                      "<CALL:4>K2CD<EOR>\n<CALL:4>K3EF<CREDIT_GRANTED:4>DXCC<CREDIT_GRANTED:4>VUCC<EOR>\n");
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(parsed.records[0].dxccCredit, L("DXCC"));
    EXPECT_EQ(parsed.records[0].vuccCredit, L("VUCC"));
    EXPECT_EQ(parsed.records[0].wpxCredit, L("WPX"));
    EXPECT_EQ(parsed.records[1].dxccCredit, QString());
    EXPECT_EQ(parsed.records[1].wpxCredit, QString());
    EXPECT_EQ(parsed.records[2].dxccCredit, QString()); // the last CREDIT_GRANTED empties the others
    EXPECT_EQ(parsed.records[2].vuccCredit, L("VUCC"));
}

TEST_F(ReportReaderTest, OneLineCallsPumpOncePerLine)
{
    const ParsedReport parsed = parse("H1\nH2\n<EOH>\n\n<CALL:1>K<EOR>\n  \n");
    EXPECT_EQ(parsed.lines, 6);
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_EQ(parsed.records[0].call, L("K"));
}

TEST_F(ReportReaderTest, BinaryInputNeverCrashes)
{
    QByteArray noise;
    quint32 seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise.append(char(seed >> 23));
    }
    noise.replace(0, 5, "x\n<eoh>");
    const ParsedReport parsed = parse(noise + "\n<EOR>");
    EXPECT_TRUE(parsed.nonEmpty);
    EXPECT_GE(parsed.records.size(), 1u);
}

TEST_F(ReportReaderTest, HugeSingleLineInConstantMemory)
{
    // 8 MB in one line: a call value far beyond the chunk limit, then a normal record.
    QByteArray line = "H\n<eoh>\n<CALL:4>";
    line.append(QByteArray(8 * 1024 * 1024, 'Q'));
    line.append("<BAND:3>20M<EOR><CALL:4>K1AB<TIME_ON:4>1234<EOR>");
    const ParsedReport parsed = parse(line);
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(parsed.records[0].call.size(), LotwReportReader::kMaxChunk - 7); // "CALL:4>" counted
    EXPECT_EQ(parsed.records[0].bandCode, L("6"));
    EXPECT_EQ(parsed.records[1].timeOn, L("123400"));
}

TEST_F(ReportReaderTest, HugeHeaderLine)
{
    QByteArray report(4 * 1024 * 1024, 'x');
    report.append("<eoh>\n<CALL:4>K1AB<EOR>\n");
    EXPECT_EQ(parse(report).records.size(), 1u);
    QByteArray split(LotwReportReader::kMaxChunk * 4 - 2, 'y'); // "<EOH>" across two read blocks
    EXPECT_EQ(parse(split + "<EOH>\n<CALL:4>K1AB<EOR>\n").records.size(), 1u);
}
} // namespace
