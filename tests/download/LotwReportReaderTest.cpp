#include "FakeCountyTable.h"
#include "download/LotwRecordParser.h"
#include "download/LotwReportReader.h"
#include "support/Fakes.h"

#include <QBuffer>
#include <cstring>
#include "Printing.h"

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#endif

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

// Reads a report through the reader and the parser, keeping each record at its end tag.
struct ParsedReport
{
    ReportShape shape;
    bool nonEmpty = false;
    std::vector<LotwRecord> records;
    LotwRecord tail; // what was left after the last end tag
    std::vector<LotwRecordParser::StationCallSource> sources; // of each record's station call
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
        RunCounters counters;
        ProblemLog problems(monitor, counters);
        LotwRecordParser parser(counties, &problems);
        ParsedReport result;
        LotwReportReader reader(buffer);
        result.shape = reader.read([&] { ++result.lines; },
                                      [&](QByteArrayView chunk) {
                                          if (parser.ParseTag(chunk)) {
                                              result.records.push_back(parser.record());
                                              result.sources.push_back(parser.stationCallSource());
                                              ClearLotwRecord(parser.record());
                                          }
                                      });
        result.nonEmpty = result.shape.nonEmpty;
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
    EXPECT_EQ(r.state, L("MA")); // the declared length leaves out the comment
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
    // A lone CR ends an empty line: the record line after it is the first line.
    EXPECT_EQ(parse("\r" + record + record).records.size(), 1u);
    EXPECT_EQ(parse("\r\r\n\n\r" + record + record).records.size(), 1u);
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
                                      "<call:4>k1ab<Band:3>20m<MODE>CW<BAND:3:E>40M junk  <eor>  \n"
                                      "<CALL:5>K2CD<EOR>trailing text<BAND:2>6M<MODE:2>AM<UNKNOWN:1>x<EOR>\n"
                                      "<CALL:4>K3EF<QSO_DATE:8>20110305<QSO_DATE:7>2011030<EOR>\n");
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(parsed.records[0].call, L("K1AB"));
    EXPECT_EQ(parsed.records[0].bandCode, L("8")); // "40M junk": the declared length and type end the value
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
    // 8 MB in one line: a call value far beyond the chunk limit (its declared length past the
    // chunk, so the chunk is the value), then a normal record.
    QByteArray line = "H\n<eoh>\n<CALL:9000000>";
    line.append(QByteArray(8 * 1024 * 1024, 'Q'));
    line.append("<BAND:3>20M<EOR><CALL:4>K1AB<TIME_ON:4>1234<EOR><CALL:4>");
    line.append(QByteArray(8 * 1024 * 1024, 'R'));
    line.append("<EOR>");
    const ParsedReport parsed = parse(line);
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(parsed.records[0].call.size(), LotwReportReader::kMaxChunk - 13); // "CALL:9000000>" counted
    EXPECT_EQ(parsed.records[2].call, L("RRRR"));
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

// One field line in each shape the reader meets, ended by each kind of line end: the
// declared length counts when the text holds that many characters; otherwise the value runs
// up to the next "<", less trailing white space.
TEST_F(ReportReaderTest, DeclaredLengths)
{
    struct Case
    {
        const char* line;
        QString LotwRecord::*field;
        const char* expected;
    };
    const Case cases[] = {
        {"<STATE:2>NJ // New Jersey", &LotwRecord::state, "NJ"},
        {"<STATE:2>NJ", &LotwRecord::state, "NJ"},
        {"<STATE:2>NJ   ", &LotwRecord::state, "NJ"},
        {"<state:2:S>NJ // New Jersey", &LotwRecord::state, "NJ"},       // with a type, any case
        {"<STATE:5>NJ", &LotwRecord::state, "NJ"},                       // longer than the text
        {"<STATE:5>NJ<CQZ:2>05", &LotwRecord::state, "NJ"},              // a length does not reach past "<"
        {"<STATE:1>NJ", &LotwRecord::state, ""},                         // "N": not 2 characters
        {"<STATE:0>NJ", &LotwRecord::state, ""},
        {"<STATE:>NJ // New Jersey", &LotwRecord::state, ""},            // no length: all of it
        {"<STATE:-2>NJ // New Jersey", &LotwRecord::state, ""},          // negative
        {"<STATE:2x>NJ // New Jersey", &LotwRecord::state, ""},          // not a number
        {"<STATE: 2>NJ // New Jersey", &LotwRecord::state, ""},
        {"<STATE:99999999999999999999999>NJ", &LotwRecord::state, "NJ"}, // huge: past the line
        {"<STATE:2>DC // District of Columbia", &LotwRecord::state, ""}, // not one of the 50
        {"<CNTY:23>AK,FAIRBANKS NORTH STAR // Fairbanks North Star Borough", &LotwRecord::county, "CENTRAL"},
        {"<CNTY:23>AK,FAIRBANKS NORTH STAR // Fairbanks North Star Borough", &LotwRecord::state, "AK"},
        {"<CNTY:12>MA,MIDDLESEX // Middlesex County", &LotwRecord::county, "MIDDLESEX"},
        {"<CNTY:>MA,MIDDLESEX // Middlesex County", &LotwRecord::county, "MIDDLESEX"},
        {"<CNTY:80>MA,MIDDLESEX // Middlesex County", &LotwRecord::county, "MIDDLESEX"},
        {"<CQZ:2>05 // zone", &LotwRecord::cqZone, "05"},
        {"<CQZ:1>5", &LotwRecord::cqZone, "05"},
        {"<CQZ:3>005", &LotwRecord::cqZone, ""},
        {"<ITUZ:1>8 // zone", &LotwRecord::ituZone, "08"},
        {"<TIME_ON:6>123456 // UTC", &LotwRecord::timeOn, "123456"},
        {"<TIME_ON:4>123456", &LotwRecord::timeOn, "123400"},
        {"<QSLRDATE:8>20260305 // confirmed", &LotwRecord::qslDate, "20260305"},
        {"<QSO_DATE:8:D>20260301", &LotwRecord::qsoDate, "20260301"},
        {"<IOTA:6>NA-001 // Rhode Island", &LotwRecord::iota, "NA001"},
        {"<GRIDSQUARE:6>fn42ab // locator", &LotwRecord::grid, "FN42AB"},
        {"<GRIDSQUARE:>FN42 //x", &LotwRecord::grid, "FN42"},            // "//" without a length: cut to 4
        {"<CALL:>W1AW//QRP", &LotwRecord::call, "W1AW//QRP"},
        {"<CALL:x>k1ab/p", &LotwRecord::call, "K1AB/P"},
        {"<CALL:4>K1AB/P", &LotwRecord::call, "K1AB"},
        {"<BAND:3>20M // 14 MHz", &LotwRecord::bandCode, "6"},
        {"<BAND:4>13CM", &LotwRecord::bandCode, "15"},
        {"<MODE:4>MFSK // data", &LotwRecord::modeCode, "6"},
        {"<MODE:2>CW // telegraphy", &LotwRecord::modeCode, "2"},
        {"<STATION_CALLSIGN:5>k1abc // me", &LotwRecord::stationCall, "K1ABC"},
        {"<DXCC:3>291 // USA", &LotwRecord::dxcc, "291"},
        {"<DXCC:3>006", &LotwRecord::dxcc, "6"},
        {"<DXCC:3>abc", &LotwRecord::dxcc, ""},
    };
    counties.pairs = {{L("AK"), L("CENTRAL")}, {L("MA"), L("MIDDLESEX")}};
    for (const char* end : {"\r\n", "\n", "\r"}) {
        for (const Case& c : cases) {
            const QByteArray report = "H" + QByteArray(end) + "<eoh>" + end + c.line + end + "<eor>" + end;
            const ParsedReport parsed = parse(report);
            ASSERT_EQ(parsed.records.size(), 1u) << c.line;
            EXPECT_EQ(parsed.records[0].*c.field, L(c.expected)) << c.line << " ended by " << QByteArray(end).toHex().constData();
        }
    }
}

// A report of the newer kind (2019 to 2026): MY_ fields, LoTW's mode group and QSL mode, FT8
// as MFSK with a SUBMODE, QO-100 on 13 cm, STATE for other countries' subdivisions, credit
// lists, and a record without STATION_CALLSIGN.
TEST_F(ReportReaderTest, NewerReportGenerations)
{
    auto f = [](const char* name, const char* value, const char* comment = nullptr) {
        QByteArray line = "<" + QByteArray(name) + ":" + QByteArray::number(qstrlen(value)) + ">" + value;
        if (comment)
            line += QByteArray(" // ") + comment;
        return line + "\r\n";
    };
    auto mine = [&] {
        return f("APP_LoTW_OWNCALL", "K1ABC") + f("STATION_CALLSIGN", "K1ABC") + f("MY_DXCC", "291", "UNITED STATES OF AMERICA")
               + f("MY_COUNTRY", "UNITED STATES OF AMERICA") + f("MY_STATE", "MA", "Massachusetts")
               + f("MY_CNTY", "MA,MIDDLESEX", "Middlesex") + f("MY_GRIDSQUARE", "FN42AB") + f("MY_CQ_ZONE", "05")
               + f("MY_ITU_ZONE", "08");
    };
    QByteArray report = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1ABC\r\n"
                        "Query:\r\n    QSL ONLY: YES\r\nQSL RX SINCE: 2018-01-01 00:00:00 (user supplied value)\r\n"
                        "\r\n<PROGRAMID:4>LoTW\r\n<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n<APP_LoTW_NUMREC:1>9\r\n\r\n"
                        "<eoh>\r\n";
    // FT8, US station in New Jersey without a county.
    report += mine() + f("CALL", "W2XYZ") + f("BAND", "20M") + f("FREQ", "14.07400") + f("MODE", "MFSK")
              + f("SUBMODE", "FT8") + f("APP_LoTW_MODEGROUP", "DATA") + f("APP_LoTW_QSLMODE", "FT8")
              + f("QSO_DATE", "20250611") + f("TIME_ON", "181530") + f("APP_LoTW_QSO_TIMESTAMP", "2025-06-11T18:15:30Z")
              + f("QSL_RCVD", "Y") + f("QSLRDATE", "20250612") + f("DXCC", "291", "UNITED STATES OF AMERICA")
              + f("COUNTRY", "UNITED STATES OF AMERICA") + f("APP_LoTW_DXCC_ENTITY_STATUS", "Current")
              + f("STATE", "NJ", "New Jersey") + f("CQZ", "05") + f("ITUZ", "08")
              + f("CREDIT_GRANTED", "CQWAZ_MIXED,CQWAZ_BAND,CQWAZ_MODE,CQWPX,CQWPX_BAND,DXCC,DXCC_BAND,DXCC_MODE,WAS,WAS_BAND,WAS_MODE")
              + "<eor>\r\n\r\n";
    // QO-100: 13 cm up, 3 cm down.
    report += mine() + f("CALL", "DL1ABC") + f("BAND", "13CM") + f("BAND_RX", "3CM") + f("FREQ", "2400.25000")
              + f("MODE", "SSB") + f("APP_LoTW_MODEGROUP", "PHONE") + f("PROP_MODE", "SAT") + f("SAT_NAME", "QO-100")
              + f("QSO_DATE", "20240201") + f("TIME_ON", "0930") + f("QSL_RCVD", "Y") + f("QSLRDATE", "20240205")
              + f("DXCC", "230", "FEDERAL REPUBLIC OF GERMANY") + f("GRIDSQUARE", "JO62QM") + f("CQZ", "14")
              + f("ITUZ", "28") + f("CREDIT_GRANTED", "DXCC,DXCC_BAND") + "<eor>\r\n\r\n";
    // Russian oblast and Asiatic Russian kraj: their STATE is no US state, though spelled as one.
    report += mine() + f("CALL", "RA3ABC") + f("BAND", "40M") + f("MODE", "CW") + f("QSO_DATE", "20180704")
              + f("TIME_ON", "201000") + f("QSLRDATE", "20190101") + f("DXCC", "54", "EUROPEAN RUSSIA")
              + f("STATE", "MO", "Moskovskaya oblast") + f("CQZ", "16") + "<eor>\r\n\r\n";
    report += mine() + f("CALL", "RA9YAB") + f("BAND", "20M") + f("MODE", "CW") + f("QSO_DATE", "20200101")
              + f("TIME_ON", "000100") + f("QSLRDATE", "20200102") + f("STATE", "AL", "Altaysky Kraj")
              + f("DXCC", "15", "ASIATIC RUSSIA") + "<eor>\r\n\r\n"; // DXCC after STATE
    // Alaska and Hawaii are US entities.
    report += mine() + f("CALL", "KL7AB") + f("BAND", "20M") + f("MODE", "SSB") + f("QSO_DATE", "20210101")
              + f("TIME_ON", "010203") + f("QSLRDATE", "20210105") + f("DXCC", "6", "ALASKA")
              + f("STATE", "AK", "Alaska") + f("CNTY", "AK,FAIRBANKS NORTH STAR", "Fairbanks North Star Borough")
              + "<eor>\r\n\r\n";
    report += mine() + f("CALL", "KH6AB") + f("BAND", "15M") + f("MODE", "FT4") + f("QSO_DATE", "20220101")
              + f("TIME_ON", "010203") + f("QSLRDATE", "20220105") + f("DXCC", "110", "HAWAII")
              + f("STATE", "HI", "Hawaii") + f("CREDIT_GRANTED", "VUCC_BAND,VUCC") + "<eor>\r\n\r\n";
    // Maritime mobile: entity 0, no state at all.
    report += mine() + f("CALL", "W1AB/MM") + f("BAND", "20M") + f("MODE", "CW") + f("QSO_DATE", "20230101")
              + f("TIME_ON", "010203") + f("QSLRDATE", "20230105") + f("DXCC", "0") + f("STATE", "FL", "Florida")
              + "<eor>\r\n\r\n";
    // An older record without DXCC: the state stands as before.
    report += mine() + f("CALL", "W1XX") + f("BAND", "80M") + f("MODE", "RTTY") + f("QSO_DATE", "20180101")
              + f("TIME_ON", "1200") + f("QSLRDATE", "20180102") + f("STATE", "CT", "Connecticut") + "<eor>\r\n\r\n";
    // Asked for without the own calls: APP_LoTW_OWNCALL stands in; with neither, no station call.
    report += f("APP_LoTW_OWNCALL", "k1abc/p") + f("CALL", "G4ABC") + f("BAND", "20M") + f("MODE", "CW")
              + f("QSO_DATE", "20260101") + f("TIME_ON", "101010") + f("QSLRDATE", "20260102") + "<eor>\r\n\r\n";
    report += f("CALL", "G4ABD") + f("BAND", "20M") + f("MODE", "CW") + f("QSO_DATE", "20260101")
              + f("TIME_ON", "101010") + f("QSLRDATE", "20260102") + "<eor>\r\n\r\n";
    report += "<APP_LoTW_EOF>\r\n";
    counties.pairs = {{L("AK"), L("CENTRAL")}};

    const ParsedReport parsed = parse(report);
    ASSERT_EQ(parsed.records.size(), 10u);
    const std::vector<LotwRecord>& r = parsed.records;
    using Source = LotwRecordParser::StationCallSource;

    EXPECT_EQ(r[0].modeCode, L("6"));
    EXPECT_EQ(r[0].modeName, L("MFSK"));
    EXPECT_EQ(r[0].submodeName, L("FT8"));
    EXPECT_EQ(r[0].state, L("NJ"));
    EXPECT_EQ(r[0].county, QString()); // MY_CNTY is the own station's
    EXPECT_EQ(r[0].dxccCredit, L("DXCC"));
    EXPECT_EQ(r[0].wpxCredit, L("WPX"));
    EXPECT_EQ(r[0].vuccCredit, QString());
    EXPECT_EQ(r[0].stationCall, L("K1ABC"));
    EXPECT_EQ(parsed.sources[0], Source::StationCallsign);

    EXPECT_EQ(r[1].bandCode, L("15"));
    EXPECT_EQ(r[1].modeCode, L("89"));
    EXPECT_EQ(r[1].timeOn, L("093000"));
    EXPECT_EQ(r[1].grid, L("JO62QM"));
    EXPECT_EQ(r[1].state, QString()); // MY_STATE is not STATE

    EXPECT_EQ(r[2].state, QString());
    EXPECT_EQ(r[2].cqZone, L("16"));
    EXPECT_EQ(r[3].state, QString());
    EXPECT_EQ(r[3].dxcc, L("15"));
    EXPECT_EQ(r[4].state, L("AK"));
    EXPECT_EQ(r[4].county, L("CENTRAL"));
    EXPECT_EQ(r[5].state, L("HI"));
    EXPECT_EQ(r[5].vuccCredit, L("VUCC"));
    EXPECT_EQ(r[5].modeCode, L("6"));
    EXPECT_EQ(r[6].state, QString());
    EXPECT_EQ(r[7].state, L("CT"));
    EXPECT_EQ(r[7].modeCode, L("5"));

    EXPECT_EQ(r[8].stationCall, L("K1ABC/P"));
    EXPECT_EQ(parsed.sources[8], Source::OwnCall);
    EXPECT_EQ(r[9].stationCall, QString());
    EXPECT_EQ(parsed.sources[9], Source::None);
    EXPECT_TRUE(parsed.shape.endOfHeader);
    EXPECT_TRUE(parsed.shape.endOfFileTag);
    EXPECT_EQ(parsed.shape.firstLine, QByteArray("ARRL Logbook of the World Status Report"));
}

// The same report with CR LF, LF or lone CR line ends reads the same, a CR LF split between
// two reads of the file included.
TEST_F(ReportReaderTest, LineEndsReadAlike)
{
    const QByteArray lines[] = {"ARRL Logbook of the World Status Report", "for K1ABC", "<PROGRAMID:4>LoTW", "<eoh>",
                                "<STATION_CALLSIGN:5>K1ABC", "<CALL:5>W1XYZ", "<BAND:3>20M", "<MODE:2>CW",
                                "<QSO_DATE:8>20260301", "<TIME_ON:6>123456", "<STATE:2>MA // Massachusetts", "<eor>",
                                "", "<CALL:5>W2XYZ", "<BAND:3>40M", "<MODE:3>SSB", "<eor>", "", "<APP_LoTW_EOF>"};
    // Header padding that puts the CR of the first line end on the last byte of a 256 KiB read.
    const QByteArray padding(256 * 1024 - qsizetype(qstrlen("ARRL Logbook of the World Status Report")) - 1, ' ');
    std::vector<ParsedReport> results;
    for (const char* end : {"\r\n", "\n", "\r"}) {
        for (bool split : {false, true}) {
            QByteArray report;
            for (const QByteArray& line : lines)
                report += (split && &line == &lines[0] ? line + padding : line) + end;
            results.push_back(parse(report));
        }
    }
    for (const ParsedReport& parsed : results) {
        ASSERT_EQ(parsed.records.size(), 2u);
        EXPECT_EQ(parsed.records[0].call, L("W1XYZ"));
        EXPECT_EQ(parsed.records[0].state, L("MA"));
        EXPECT_EQ(parsed.records[0].timeOn, L("123456"));
        EXPECT_EQ(parsed.records[1].modeCode, L("89"));
        EXPECT_EQ(parsed.lines, results[0].lines); // one line each, whatever ends it
        EXPECT_TRUE(parsed.shape.endOfFileTag);
    }
    EXPECT_EQ(results[0].lines, int(std::size(lines)));
}

// What the reader tells of a file's structure, which decides whether it is a report at all.
TEST_F(ReportReaderTest, ReportShapes)
{
    struct Case
    {
        const char* what;
        QByteArray bytes;
        bool endOfHeader;
        bool endOfFileTag;
        bool recordEndInHeader;
        const char* firstLine;
    };
    const QByteArray html = "<!DOCTYPE html>\r\n<html>\r\n<head><title>Logbook of the World</title></head>\r\n<body>\r\n"
                            "<p>Username/password incorrect</p>\r\n</body>\r\n</html>\r\n";
    const Case cases[] = {
        {"report", kHeader + "<CALL:4>K1AB<eor>\r\n<APP_LoTW_EOF>\r\n", true, true, false, "ARRL Logbook of the World Status Report"},
        {"empty answer", "ARRL Logbook of the World Status Report\r\nfor K1ABC\r\n<PROGRAMID:4>LoTW\r\n<APP_LoTW_EOF>\r\n",
         false, true, false, "ARRL Logbook of the World Status Report"},
        {"login page", html, false, false, false, "<!DOCTYPE html>"},
        {"xml", "<?xml version=\"1.0\"?>\n<report><qso call=\"K1AB\"/></report>\n", false, false, false,
         "<?xml version=\"1.0\"?>"},
        {"json", "{\"error\": \"not logged in\"}\n", false, false, false, "{\"error\": \"not logged in\"}"},
        {"nul bytes", QByteArray(300, '\0'), false, false, false, ""},
        {"header without eoh", "H\r\n<CALL:4>K1AB<EOR>\r\n<APP_LoTW_EOF>\r\n", false, true, true, "H"},
        {"mixed-case eoh", "H\r\n<Eoh>\r\n<CALL:4>K1AB<EOR>\r\n", false, false, true, "H"},
        {"adif without text header", "<ADIF_VER:5>3.1.4\r\n<PROGRAMID:4>LoTW\r\n<EOH>\r\n<CALL:4>K1AB<EOR>\r\n", true,
         false, false, "<ADIF_VER:5>3.1.4"},
        {"tag line with a record", "<CALL:4>K1AB<EOR>\n", false, false, true, "<CALL:4>K1AB<EOR>"},
    };
    for (const Case& c : cases) {
        const ParsedReport parsed = parse(c.bytes);
        EXPECT_TRUE(parsed.shape.nonEmpty) << c.what;
        EXPECT_EQ(parsed.shape.endOfHeader, c.endOfHeader) << c.what;
        EXPECT_EQ(parsed.shape.endOfFileTag, c.endOfFileTag) << c.what;
        EXPECT_EQ(parsed.shape.recordEndInHeader, c.recordEndInHeader) << c.what;
        if (QByteArrayView(c.what) == "nul bytes") {
            EXPECT_EQ(parsed.shape.firstLine, QByteArray(LotwReportReader::kFirstLineBytes, '\0'));
        } else {
            EXPECT_EQ(parsed.shape.firstLine, QByteArray(c.firstLine)) << c.what;
        }
        EXPECT_FALSE(parsed.shape.firstLineCut && QByteArrayView(c.what) != "nul bytes") << c.what;
    }
    const ParsedReport longLine = parse(QByteArray(500, 'x') + "\n");
    EXPECT_EQ(longLine.shape.firstLine, QByteArray(LotwReportReader::kFirstLineBytes, 'x'));
    EXPECT_TRUE(longLine.shape.firstLineCut);
}

TEST(MentionsPassword, LooksThroughTheStartOfTheFile)
{
    QByteArray page = QByteArray(5000, ' ') + "<p>Username/Passw" + "ord incorrect</p>";
    QBuffer buffer(&page);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(100); // read from the start whatever was read before
    EXPECT_TRUE(MentionsPassword(buffer, 1 << 20));
    EXPECT_FALSE(MentionsPassword(buffer, 5000 + 15)); // the word lies beyond the limit
    QByteArray other = "<html><p>Page not found</p><p>pass word, PASSWOR</p></html>";
    QBuffer otherBuffer(&other);
    otherBuffer.open(QIODevice::ReadOnly);
    EXPECT_FALSE(MentionsPassword(otherBuffer, 1 << 20));
    QByteArray pp = "ppassword";
    QBuffer ppBuffer(&pp);
    ppBuffer.open(QIODevice::ReadOnly);
    EXPECT_TRUE(MentionsPassword(ppBuffer, 1 << 20));
}

// Hands out a report with one line of many megabytes without ever holding it.
class GeneratedReport : public QIODevice
{
public:
    GeneratedReport(QByteArray head, qint64 filler, QByteArray tail)
        : m_head(std::move(head)), m_filler(filler), m_tail(std::move(tail))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const qint64 total = m_head.size() + m_filler + m_tail.size();
            if (m_at >= total)
                break;
            if (m_at < m_head.size()) {
                data[done++] = m_head[m_at++];
            } else if (m_at < m_head.size() + m_filler) {
                const qint64 n = qMin(size - done, m_head.size() + m_filler - m_at);
                std::memset(data + done, 'W', size_t(n));
                done += n;
                m_at += n;
            } else {
                data[done++] = m_tail[m_at++ - m_head.size() - m_filler];
            }
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    qint64 m_filler;
    QByteArray m_tail;
    qint64 m_at = 0;
};

long PeakKiB()
{
#ifdef Q_OS_LINUX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return 0;
#endif
}

TEST_F(ReportReaderTest, HundredMegabyteLineInConstantMemory)
{
    const long before = PeakKiB();
    for (const char* head : {"H\r\n<eoh>\r\n<CALL:3>", "Header ", "<CALL:8>"}) {
        GeneratedReport report(head, 100LL * 1024 * 1024, "<BAND:3>20M<EOR><CALL:4>K1AB<EOR>\r\n");
        RunCounters counters;
        ProblemLog problems(monitor, counters);
        LotwRecordParser parser(counties, &problems);
        LotwReportReader reader(report);
        std::vector<LotwRecord> records;
        const ReportShape shape = reader.read([] {}, [&](QByteArrayView chunk) {
            if (parser.ParseTag(chunk)) {
                records.push_back(parser.record());
                ClearLotwRecord(parser.record());
            }
        });
        EXPECT_TRUE(shape.nonEmpty);
        if (QByteArrayView(head) == "H\r\n<eoh>\r\n<CALL:3>") {
            ASSERT_EQ(records.size(), 2u);
            EXPECT_EQ(records[0].call, L("WWW"));
            EXPECT_EQ(records[0].bandCode, L("6"));
            EXPECT_EQ(records[1].call, L("K1AB"));
        } else if (QByteArrayView(head) == "Header ") {
            EXPECT_TRUE(records.empty()); // all of it is the header's first line
            EXPECT_TRUE(shape.recordEndInHeader);
            EXPECT_TRUE(shape.firstLineCut);
        } else {
            EXPECT_TRUE(records.empty()); // the first line starts with "<": consumed unparsed
        }
    }
    // Reading 300 MB never held more than a few blocks of it.
    EXPECT_LT(PeakKiB() - before, 32 * 1024);
}
} // namespace
