#include "download/LotwFieldRules.h"
#include "LotwFieldRulesReference.h"

#include "Printing.h"

#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

struct Case
{
    const char* in;
    const char* out;
};

TEST(LotwFieldRules, BandTable)
{
    const Case cases[] = {
        {"160M", "10"}, {"80M", "9"},   {"40M", "8"},   {"30M", "7"},    {"20M", "6"},    {"17M", "5"},
        {"15M", "4"},   {"12M", "3"},   {"10M", "2"},   {"6M", "1"},     {"2M", "0"},     {"1.25M", "11"},
        {"70CM", "12"}, {"35CM", "13"}, {"23CM", "14"}, {"13CM", "15"},  {"9CM", "16"},   {"6CM", "17"},
        {"3CM", "18"},  {"1.25CM", "19"}, {"6MM", "20"}, {"4MM", "21"},  {"4M", "22"},    {"60M", "23"},
        {"20m", "6"},   {"  \t40m", "8"}, {"33CM", "13"}, {"33cm", "13"}, {"", "99"},    {"20M ", "99"},  {"2190M", "99"}, {"630M", "99"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LotwBandTable(L(c.in)), L(c.out)) << c.in;
}

TEST(LotwFieldRules, ModeCode)
{
    const Case cases[] = {
        {"CW", "2"},     {"cw", "2"},       {"SSB", "89"},    {"RTTY", "5"},   {"LSB", "1"},
        {"USB", "0"},    {"AM", "4"},       {"FM", "3"},      {"SSTV", "7"},   {"MTTY", "5"},
        {"FSK", "5"},    {"PHO", "89"},     {"DIGITAL", "6"}, {"PHONE", "89"}, {"FT8", "6"},
        {"MFSK", "6"},   {"", "6"},         {"xsstvx", "7"},  {"PSK31", "6"},
        {"ABCDEFGHIJKLMNO", "6"},        // 15 characters: looked up
        {"ABCDEFGHIJKLMNOP", "99"},      // 16 characters: unusable
        {"SSTVSSTVSSTVSSTV", "99"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LotwModeCode(L(c.in)), L(c.out)) << c.in;
    EXPECT_EQ(LotwModeTable(L("FT8")), QString());
}

TEST(LotwFieldRules, SidebandResolvedByBand)
{
    EXPECT_EQ(ResolveSidebandMode(L("89"), L("8")), L("1"));
    EXPECT_EQ(ResolveSidebandMode(L("89"), L("9")), L("1"));
    EXPECT_EQ(ResolveSidebandMode(L("89"), L("10")), L("1"));
    EXPECT_EQ(ResolveSidebandMode(L("89"), L("6")), L("0"));
    EXPECT_EQ(ResolveSidebandMode(L("89"), L("23")), L("0"));
    EXPECT_EQ(ResolveSidebandMode(L("2"), L("8")), L("2"));
}

TEST(LotwFieldRules, TimeAndDate)
{
    const Case times[] = {{"", ""}, {"1", ""}, {"123", ""}, {"1234", "123400"}, {"12345", "123400"},
                          {"123456", "123456"}, {"1234567", "123456"}, {"12:34:56", "12:34:"}};
    for (const Case& c : times)
        EXPECT_EQ(LotwTime(L(c.in)), L(c.out)) << c.in;
    EXPECT_EQ(LotwDate(L("20110305")), L("20110305"));
    EXPECT_EQ(LotwDate(L("2011-03-05")), QString());
    EXPECT_EQ(LotwDate(L("2011035")), QString());
}

TEST(LotwFieldRules, State)
{
    QString state = L("CT");
    ApplyLotwState(L("MA"), state);
    EXPECT_EQ(state, L("MA"));
    ApplyLotwState(L("ma"), state);
    EXPECT_EQ(state, QString());
    state = L("CT");
    ApplyLotwState(L("DC"), state);
    EXPECT_EQ(state, QString());
    state = L("CT");
    ApplyLotwState(L("MAS"), state); // other lengths leave it alone
    EXPECT_EQ(state, L("CT"));
    ApplyLotwState(QString(), state);
    EXPECT_EQ(state, L("CT"));
    int count = 0;
    for (char a = 'A'; a <= 'Z'; ++a)
        for (char b = 'A'; b <= 'Z'; ++b)
            count += IsUsStateAbbreviation(QString(QLatin1Char(a)) + QLatin1Char(b));
    EXPECT_EQ(count, 50);
}

TEST(LotwFieldRules, ZoneIotaGrid)
{
    QString zone = L("14");
    ApplyLotwZone(L("5"), zone);
    EXPECT_EQ(zone, L("05"));
    ApplyLotwZone(L("005"), zone);
    EXPECT_EQ(zone, L("05"));
    ApplyLotwZone(QString(), zone);
    EXPECT_EQ(zone, L("05"));
    ApplyLotwZone(L("40"), zone);
    EXPECT_EQ(zone, L("40"));

    QString iota;
    ApplyLotwIota(L("NA-001"), iota);
    EXPECT_EQ(iota, L("NA001"));
    ApplyLotwIota(L("eu-005"), iota);
    EXPECT_EQ(iota, L("EU005"));
    ApplyLotwIota(L("NA001"), iota); // 5 characters: ignored
    EXPECT_EQ(iota, L("EU005"));
    ApplyLotwIota(L("OCX123"), iota); // third character becomes the hyphen
    EXPECT_EQ(iota, L("OC123"));
    ApplyLotwIota(L("-A-001"), iota); // the first hyphen is the one removed
    EXPECT_EQ(iota, L("A-001"));

    QString grid;
    ApplyLotwGrid(L("FN4"), grid);
    EXPECT_EQ(grid, QString());
    ApplyLotwGrid(L("fn42"), grid);
    EXPECT_EQ(grid, L("FN42"));
    ApplyLotwGrid(L("fn42ab"), grid);
    EXPECT_EQ(grid, L("FN42AB"));
    ApplyLotwGrid(L("FN42AB12"), grid);
    EXPECT_EQ(grid, L("FN42"));
    ApplyLotwGrid(L("FN42A"), grid);
    EXPECT_EQ(grid, L("FN42"));
}

TEST(LotwFieldRules, UpperCaseTouchesAsciiOnly)
{
    const QString latin = QString::fromLatin1("k1\xe9\xff");
    EXPECT_EQ(AsciiUpper(latin), QString::fromLatin1("K1\xe9\xff"));
    EXPECT_EQ(LotwStationCall(L("w1aw/1234567890abcdef")), L("W1AW/1234567890"));
}
} // namespace

namespace {
// The reader's byte versions of the rules give what the text versions give, for values of
// every length and of every byte (generated: the cases above and a few thousand at random),
// and into texts that already hold something.
TEST(LotwFieldRules, BytesGiveWhatTextsGive)
{
    std::vector<QByteArray> values = {"", "5", "05", "005", "A", " 20m", "20M", "SSB", "cw", "ssTV", "NA-001", "na-001",
                                      "-A0001", "AB-CD-", "fn42ab", "FN42", "FN4", "FN42abcd", "1234", "12345", "123456",
                                      "1234567", "20110305", "2011030", " 006", "0", "000", "1234567890", "12a", "MA", "ma",
                                      "DC", "DXCC,VUCC_BAND", "CQWPX", "k1abcdefghijklmnop"};
    quint32 seed = 4242;
    for (int i = 0; i < 4000; ++i) {
        QByteArray value;
        const int size = int((seed = seed * 1664525u + 1013904223u) >> 28);
        for (int c = 0; c < size; ++c) {
            seed = seed * 1664525u + 1013904223u;
            // Mostly the bytes reports hold, now and then any byte at all.
            const char* common = "0123456789-, ./abcdefghxyzABCDEFGHXYZ\t";
            value.append((seed >> 24) % 8 ? common[(seed >> 16) % 39] : char(seed >> 8));
        }
        values.push_back(value);
    }
    for (const QByteArray& bytes : values) {
        const QString text = QString::fromLatin1(bytes);
        const std::string shown = bytes.toHex().toStdString();
        EXPECT_EQ(ReportBytes::LotwBandTable(bytes), LotwBandTable(text)) << shown;
        EXPECT_EQ(ReportBytes::LotwModeCode(bytes), LotwModeCode(text)) << shown;
        for (const char* before : {"", "XXXXXXXXXXXX", "Y"}) {
            auto same = [&](auto bytesRule, auto textRule, const char* what) {
                QString fromBytes = L(before), fromText = L(before);
                bytesRule(fromBytes);
                textRule(fromText);
                EXPECT_EQ(fromBytes, fromText) << what << " " << shown << " over " << before;
            };
            same([&](QString& t) { ReportBytes::LotwTime(bytes, t); }, [&](QString& t) { t = LotwTime(text); }, "time");
            same([&](QString& t) { ReportBytes::LotwDate(bytes, t); }, [&](QString& t) { t = LotwDate(text); }, "date");
            same([&](QString& t) { ReportBytes::ApplyLotwState(bytes, t); }, [&](QString& t) { ApplyLotwState(text, t); }, "state");
            same([&](QString& t) { ReportBytes::ApplyLotwZone(bytes, t); }, [&](QString& t) { ApplyLotwZone(text, t); }, "zone");
            same([&](QString& t) { ReportBytes::ApplyLotwIota(bytes, t); }, [&](QString& t) { ApplyLotwIota(text, t); }, "iota");
            same([&](QString& t) { ReportBytes::ApplyLotwGrid(bytes, t); }, [&](QString& t) { ApplyLotwGrid(text, t); }, "grid");
            same([&](QString& t) { ReportBytes::LotwStationCall(bytes, t); }, [&](QString& t) { t = LotwStationCall(text); }, "call");
            same([&](QString& t) { ReportBytes::LotwDxcc(bytes, t); }, [&](QString& t) { t = LotwDxcc(text); }, "dxcc");
            same([&](QString& t) { ReportBytes::SetAsciiUpper(t, bytes); }, [&](QString& t) { t = AsciiUpper(text); }, "upper");
        }
        for (const char* word : {"DXCC", "VUCC", "WPX"})
            EXPECT_EQ(ReportBytes::Credit(bytes, word), text.contains(L(word)) ? L(word) : QString()) << shown;
    }
}
} // namespace
