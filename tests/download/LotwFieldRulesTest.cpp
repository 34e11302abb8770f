#include "download/LotwFieldRules.h"

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
