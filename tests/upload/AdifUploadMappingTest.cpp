#include "support/UploadLogFixture.h"

#include "upload/AdifUploadMapping.h"
#include "upload/AdifUploadRecord.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

std::string str(const std::optional<QString>& value)
{
    return value ? value->toStdString() : std::string("<none>");
}

TEST(UploadBandTable, EveryCodeAndItsEdges)
{
    const char* expected[24] = {"2M",  "6M",  "10M",  "12M",   "15M",  "17M",  "20M",    "30M",
                                "40M", "80M", "160M", "1.25M", "70CM", "33CM", "23CM",   "13CM",
                                "9CM", "6CM", "3CM",  "1.25CM", "6MM", "4MM",  "4M",     "60M"};
    for (int code = 0; code < 24; ++code)
        EXPECT_EQ(str(UploadBandTable(QString::number(code))), expected[code]) << code;
    // The 902 MHz band has the ADIF name TQSL knows.
    EXPECT_EQ(str(UploadBandTable(S("13"))), "33CM");
    EXPECT_EQ(str(UploadBandTable(S("22"))), "4M");
    for (const char* bad : {"24", "-1", "", " 6", "6 ", "06", "99", "1.0"})
        EXPECT_FALSE(UploadBandTable(S(bad))) << bad;
}

TEST(UploadModeTable, CodesAndSubmodes)
{
    struct Case { const char* mode; const char* submode; const char* expected; };
    const Case cases[] = {
        {"0", "", "SSB"},   {"1", "FT8", "SSB"}, {"2", "", "CW"},     {"3", "", "FM"},
        {"4", "", "AM"},    {"5", "", "RTTY"},   {"7", "", "SSTV"},
        {"6", "AMTOR", "TOR"},       {"6", "PACTOR", "PAC"},       {"6", "PACTOR-II", "PAC2"},
        {"6", "PACTORII", "PAC2"},   {"6", "PACTOR-III", "PAC3"},  {"6", "PACTORIII", "PAC3"},
        {"6", "CLOVER", "CLO"},      {"6", "GTOR", "GTOR"},        {"6", "FELDHELL", "HELL"},
        {"6", "PSK31", "PSK31"},     {"6", "feldhell", "feldhell"}, {"6", "", ""},
        {"6", "FT8", "FT8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(UploadModeTable(S(c.mode), S(c.submode))), c.expected) << c.mode << "/" << c.submode;
    for (const char* bad : {"8", "89", "", "-1", " 2", "02"})
        EXPECT_FALSE(UploadModeTable(S(bad), S("PSK31"))) << bad;
}

TEST(QslFlag, Codes)
{
    EXPECT_EQ(str(QslFlag(S("0"))), "N");
    EXPECT_EQ(str(QslFlag(S("1"))), "Y");
    EXPECT_EQ(str(QslFlag(S("2"))), "Y");
    EXPECT_EQ(str(QslFlag(S("3"))), "Y");
    for (const char* bad : {"4", "", " 0", "Y", "10"})
        EXPECT_FALSE(QslFlag(S(bad))) << bad;
}

TEST(FormatIota, Shapes)
{
    EXPECT_EQ(FormatIota(S("EU005")), S("EU-005"));
    EXPECT_EQ(FormatIota(S("EU-005")), S("EU-005"));
    EXPECT_EQ(FormatIota(S("NA001")), S("NA-001"));
    EXPECT_EQ(FormatIota(S("X")), S("X-X"));
    EXPECT_EQ(FormatIota(S("")), S("-"));
    EXPECT_EQ(FormatIota(S("AB")), S("AB-AB"));
}

TEST(FormatFrequency, FourBandGroupsAndShapes)
{
    struct Case { const char* freq; const char* band; const char* expected; };
    const Case cases[] = {
        {"14225.5", "6", "14.22550"},      {"3525.25", "9", "3.52525"},
        {"50125.125", "1", "50.125125"},   {"1296100.5", "14", "1296.10050"},
        {"7025.500", "8", "7.025500"},     {"144200.50", "0", "144.20050"},
        {"70125.5", "22", "70.12550"},     {"5357.0", "23", "5.35700"},
        {"432100.1234", "12", "432.1001234"}, {"5760100.25", "17", "5760.10025"},
        {"28074.0000", "2", "28.0740000"},
        // The separator at the point's place is dropped whatever it is; a comma is not
        // padded by the fraction step.
        {"14225,50", "6", "14.22550"},     {"7025,500", "8", "7.025500"},
        {"14225,5", "6", "<none>"},
        // Shapes with no rule.
        {"", "6", "<none>"},               {"14225", "6", "<none>"},
        {"14225.12345", "6", "<none>"},    {"3525.25", "6", "<none>"},
        {"14225.5", "18", "<none>"},       {"14225.5", "21", "<none>"},
        {"14225.5", "99", "<none>"},       {"14225.5", "", "<none>"},
        {"5", "6", "<none>"},              {"10368100.25", "17", "<none>"},
        {"14225.5", "8", "<none>"},        {"3525.250", "6", "<none>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(FormatFrequency(S(c.freq), S(c.band))), c.expected) << c.freq << " on " << c.band;
}

TEST(SatelliteWindowTable, DistinctRowsWithOrderedDates)
{
    const auto& table = SatelliteWindowTable();
    std::set<std::string> names;
    std::set<std::string> written;
    for (const SatelliteWindow& row : table) {
        std::string upper = row.name;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        names.insert(upper);
        written.insert(row.written);
        EXPECT_EQ(std::string(row.first).size(), 8u) << row.name;
        if (row.last) {
            EXPECT_LE(std::string(row.first), std::string(row.last)) << row.name;
        }
    }
    EXPECT_EQ(names.size(), table.size()); // no satellite twice
    // Every satellite of TQSL's configuration, each once, under TQSL's spelling.
    EXPECT_EQ(written.size(), 84u);
    EXPECT_STREQ(table.front().name, "AO-10");
    EXPECT_STREQ(table[59].name, "XW-2F");
}

TEST(SatelliteName, InclusiveWindowsAndRenames)
{
    struct Case { const char* sat; const char* date; const char* expected; };
    const Case cases[] = {
        {"AO-13", "19961207", "AO-13"},  {"AO-13", "19961208", "<none>"},
        {"AO-13", "19880615", "AO-13"},  {"AO-13", "19880614", "<none>"},
        {"QO100", "20190202", "QO-100"}, {"QO100", "20190201", "<none>"},
        {"AO-7", "19741114", "<none>"},  {"AO-7", "19741115", "AO-7"},
        {"AO-7", "20301231", "AO-7"},    {"CAS3H", "20150918", "CAS-3H"},
        {"CAS4A", "20171018", "CAS-4A"}, {"CAS4B", "20200101", "CAS-4B"},
        {"RS-1", "19790201", "RS-1"},    {"RS-1", "19790202", "<none>"},
        {"AO-3", "19650318", "AO-3"},    {"AO-3", "19650327", "AO-3"},
        {"AO-3", "19650328", "<none>"},  {"None", "20200101", "<none>"},
        {"NONE", "20200101", "<none>"},  {"", "20200101", "<none>"},
        {"AO-10", "20200101", "AO-10"},  {"XW-2F", "20150919", "XW-2F"},
        {"AO-10", "", "<none>"},
        // Names are compared without regard to case and written as TQSL spells them.
        {"ao-10", "20200101", "AO-10"},  {"qo100", "20200101", "QO-100"},
        {"arsene", "19930601", "Arsene"}, {"Kedr", "20111001", "KEDR"},
        // Satellites the first table did not know, with TQSL's windows.
        {"RS-44", "20200430", "RS-44"},  {"RS-44", "20200429", "<none>"},
        {"PO-101", "20240101", "PO-101"}, {"IO-86", "20160101", "IO-86"},
        {"AO-109", "20220101", "AO-109"}, {"ARSENE", "19930911", "<none>"},
        // The hyphenated names of the four renamed ones.
        {"QO-100", "20200101", "QO-100"}, {"CAS-4A", "20171017", "<none>"},
        {"none", "20200101", "<none>"},  {"XX-99", "20200101", "<none>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(SatelliteName(S(c.sat), S(c.date))), c.expected) << c.sat << " on " << c.date;
}

TEST(TqslKnowsMode, NamesAndCase)
{
    for (const char* known : {"CW", "SSB", "FT8", "ft4", "PSK31", "PAC2", "HELL", "TOR", "CLO", "GTOR", "JT65",
                              "OLIVIA 8/500", "DATA", "MINIRTTY", "Q65", "JS8", "Js8"})
        EXPECT_TRUE(TqslKnowsMode(S(known))) << known;
    for (const char* unknown : {"", "FELDHELL", "PACTOR-II", "XYZ", "PSK 31", "FT8 ", "DIGITAL", "MTTY"})
        EXPECT_FALSE(TqslKnowsMode(S(unknown))) << unknown;
}

TEST(AdifDateTime, Shapes)
{
    for (const char* good : {"20190315", "20000229", "19000101", "20991231"})
        EXPECT_TRUE(IsAdifDate(S(good))) << good;
    for (const char* bad : {"", "2019031", "201903150", "20190230", "20190015", "20191301", "2019-315",
                            " 20190315", "18991231", "2019031a", "19000229"})
        EXPECT_FALSE(IsAdifDate(S(bad))) << bad;
    // What TQSL signs: HHMMSS, and HHMM (as HH:MM:00).
    for (const char* good : {"000000", "235959", "142530", "0930", "0000", "2359"})
        EXPECT_TRUE(IsAdifTime(S(good))) << good;
    for (const char* bad : {"", "09", "930", "14253", "1425300", "240000", "236000", "235960", "123099", "2400",
                            "0960", "14:25:", "14253a", "14:2"})
        EXPECT_FALSE(IsAdifTime(S(bad))) << bad;
}

TEST(AdifField, LengthIsTheValuesByteCount)
{
    EXPECT_EQ(AdifField("CALL", S("K1ABC")), S("<CALL:5>K1ABC"));
    EXPECT_EQ(AdifField("TX_PWR", S("")), S("<TX_PWR:0>"));
    // The file is UTF-8: the length counts the value's bytes there.
    EXPECT_EQ(AdifField("NAME", QString::fromLatin1("J\xF6rg")), QString::fromLatin1("<NAME:5>J\xF6rg"));
    const QString cyrillic = QString::fromUtf8("\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0");
    EXPECT_EQ(AdifField("QTH", cyrillic), QStringLiteral("<QTH:12>") + cyrillic);
    EXPECT_EQ(AdifField("NAME", QString::fromUtf8("\xf0\x9f\x93\xa1")), QString::fromUtf8("<NAME:4>\xf0\x9f\x93\xa1"));
    EXPECT_EQ(AdifField("NAME", QString(1234, QLatin1Char('x'))), S("<NAME:1234>") + QString(1234, QLatin1Char('x')));
}

TEST(AdifHeader, Lines)
{
    const auto& header = AdifHeaderLines();
    EXPECT_EQ(header[0], S("Brindlewick LoTW Export from Tamsorel v[1.0]"));
    EXPECT_EQ(header[1], S("<EOH>"));
    EXPECT_EQ(header[2], S(""));
}

UploadQsoValues sampleQso()
{
    UploadQsoValues q;
    q.call = S("DL1ABC");
    q.date = S("20190315");
    q.time = S("142530");
    q.rstSent = S("59");
    q.rstRcvd = S("57");
    q.power = S("100");
    q.ituZone = S("28");
    q.oprCall = S("K1XYZ");
    q.wpx = S("DL1");
    q.confirm = S("0");
    q.name = S("Hans");
    q.iota = S("EU005");
    q.band = S("6");
    q.cqZone = S("14");
    q.mode = S("2");
    q.qsls = S("2");
    q.prefix = S("DL");
    q.sat = S("None");
    q.freq = S("14025.5");
    return q;
}

// The record's lines: the text cut at its CR LFs, which must end it.
QStringList recordLines(const UploadQsoValues& q, const QString* dxcc)
{
    QString text;
    AppendAdifRecord(q, dxcc, text);
    EXPECT_TRUE(text.endsWith(QLatin1String("<EOR>\r\n\r\n"))) << text.toStdString();
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

TEST(AdifRecord, AllFieldsInOrder)
{
    const QString dxcc = S("230");
    const QStringList lines = recordLines(sampleQso(), &dxcc);
    const QStringList expected = {
        S("<CALL:6>DL1ABC"), S("<QSO_DATE:8>20190315"), S("<TIME_ON:6>142530"), S("<RST_SENT:2>59"),
        S("<RST_RCVD:2>57"), S("<TX_PWR:3>100"), S("<ITUZ:2>28"), S("<OPERATOR:5>K1XYZ"),
        S("<PFX:3>DL1"), S("<QSL_RCVD:1>N"), S("<NAME:4>Hans"), S("<IOTA:6>EU-005"),
        S("<BAND:3>20M"), S("<CQZ:2>14"), S("<MODE:2>CW"), S("<QSL_SENT:1>Y"), S("<DXBPFX:2>DL"),
        S("<DXCC:3>230"), S("<FREQ:8>14.02550"), S("<EOR>"), S(""),
    };
    EXPECT_EQ(lines, expected);
}

TEST(AdifRecord, OptionalFieldsAndSatellite)
{
    UploadQsoValues q = sampleQso();
    q.name.clear();
    q.iota.clear();
    q.power.clear();
    q.date = S("2019031"); // stored short: the tag still says 8
    q.confirm = S("7");    // no rule: no QSL_RCVD
    q.qsls = S("0");       // a test run shows N
    q.sat = S("QO100");
    q.date = S("20190202");
    q.freq.clear();
    q.mode = S("6");
    q.submode = S("PACTOR-II");
    QStringList lines = recordLines(q, nullptr);
    const QStringList expected = {
        S("<CALL:6>DL1ABC"), S("<QSO_DATE:8>20190202"), S("<TIME_ON:6>142530"), S("<RST_SENT:2>59"),
        S("<RST_RCVD:2>57"), S("<TX_PWR:0>"), S("<ITUZ:2>28"), S("<OPERATOR:5>K1XYZ"),
        S("<PFX:3>DL1"), S("<BAND:3>20M"), S("<CQZ:2>14"), S("<MODE:4>PAC2"), S("<QSL_SENT:1>N"),
        S("<DXBPFX:2>DL"), S("<SAT_NAME:6>QO-100"), S("<PROP_MODE:3>SAT"), S("<EOR>"), S(""),
    };
    EXPECT_EQ(lines, expected);

    q.date = S("2019");
    q.iota = S("X");
    lines = recordLines(q, nullptr);
    EXPECT_EQ(lines.at(1), S("<QSO_DATE:8>2019"));
    EXPECT_TRUE(lines.contains(S("<IOTA:3>X-X")));
    EXPECT_FALSE(lines.contains(S("<PROP_MODE:3>SAT")));
}

TEST(AdifRecord, WhatTqslWouldRefuseIsRefused)
{
    struct Case { const char* field; const char* value; UploadRecordProblem expected; };
    const Case cases[] = {
        {"band", "24", UploadRecordProblem::UnknownBand},
        {"band", "13", UploadRecordProblem::None},
        {"mode", "8", UploadRecordProblem::UnknownMode},
        {"submode", "", UploadRecordProblem::NoSubmode},
        {"submode", "XYZ", UploadRecordProblem::UnknownSubmode},
        {"submode", "FELDHELL", UploadRecordProblem::None}, // written as HELL
        {"submode", "ft8", UploadRecordProblem::None},
        {"date", "", UploadRecordProblem::BadDate},
        {"date", "2019031", UploadRecordProblem::BadDate},
        {"date", "20190230", UploadRecordProblem::BadDate},
        {"time", "1425", UploadRecordProblem::None},
        {"time", "2400", UploadRecordProblem::BadTime},
        {"time", "", UploadRecordProblem::BadTime},
    };
    EXPECT_EQ(CheckUploadCodes(sampleQso()), UploadRecordProblem::None);
    for (const Case& c : cases) {
        UploadQsoValues q = sampleQso();
        const std::string field = c.field;
        if (field == "band")
            q.band = S(c.value);
        else if (field == "mode")
            q.mode = S(c.value);
        else if (field == "submode") {
            q.mode = S("6");
            q.submode = S(c.value);
        } else if (field == "date")
            q.date = S(c.value);
        else
            q.time = S(c.value);
        EXPECT_EQ(CheckUploadCodes(q), c.expected) << c.field << "=" << c.value;
    }
}

} // namespace
