#include "FakeCountyTable.h"
#include "download/CountyNormaliser.h"
#include "download/LotwRecord.h"
#include "support/Fakes.h"

#include "Printing.h"

#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

class CountyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* pair : {"AK|NORTH-WEST", "AK|SOUTH-CENTRAL", "AK|CENTRAL", "AK|SOUTH-EAST", "MO|ST LOUIS",
                                 "MN|SAINT LOUIS", "MD|PRINCE GEORGE", "TX|TULSA", "MA|MIDDLESEX", "AK|SAINT LOUIS"}) {
            const QStringList parts = L(pair).split(QLatin1Char('|'));
            counties.pairs.insert({parts[0], parts[1]});
        }
        record.call = L("K1ABC");
        record.qsoDate = L("20110305");
        record.timeOn = L("142500");
        record.bandCode = L("6");
        record.modeCode = L("2");
    }

    // The county the record ends up with for a CNTY value, starting from a state.
    QString county(const char* value, const char* state = "")
    {
        record.state = L(state);
        record.county.clear();
        NormaliseCounty(L(value), record, counties, problems);
        return record.county;
    }

    FakeCountyTable counties;
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems{monitor, counters};
    LotwRecord record;
};

TEST_F(CountyTest, AlaskaRegions)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"NOME", "NORTH-WEST"}, {"NORTH SLOPE", "NORTH-WEST"}, {"NORTHWEST ARCTIC", "NORTH-WEST"},
        {"WADE HAMPTON", "NORTH-WEST"}, {"ANCHORAGE", "SOUTH-CENTRAL"}, {"DILLINGHAM", "SOUTH-CENTRAL"},
        {"KENAI PENINSULA", "SOUTH-CENTRAL"}, {"MATANUSKA-SUSITNA", "SOUTH-CENTRAL"},
        {"LAKE AND PENINSULA", "SOUTH-CENTRAL"}, {"SOUTHEAST FAIRBANKS", "CENTRAL"},
        {"FAIRBANKS NORTH STAR", "CENTRAL"}, {"YUKON-KOYUKUK", "CENTRAL"}, {"SAINT MATTHEW ISLAND", "CENTRAL"},
        {"DENALI", "CENTRAL"}, {"PRINCE OF WALES-HYDER", "SOUTH-EAST"}, {"SITKA", "SOUTH-EAST"},
        {"SKAGWAY", "SOUTH-EAST"}, {"WRANGELL", "SOUTH-EAST"}, {"KETCHIKAN GATEWAY", "SOUTH-EAST"},
        {"NOMEX", "NOMEX"}, {"SITKAS", "SITKAS"}, {"SOUTHEAST FAIRBANKSX", "SOUTHEAST FAIRBANKSX"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AlaskaRegion(L(c.in)), L(c.out)) << c.in;
}

TEST_F(CountyTest, AlaskaFromCountyValue)
{
    EXPECT_EQ(county("AK,FAIRBANKS NORTH STAR // Fairbanks North Star Borough"), L("CENTRAL"));
    EXPECT_EQ(record.state, L("AK"));
    EXPECT_EQ(counties.asked.last(), L("AK|CENTRAL"));
    EXPECT_EQ(county("ak,  nome  "), L("NORTH-WEST"));
    EXPECT_EQ(county("AK,ANCHORAGE /X"), L("SOUTH-CENTRAL"));
    EXPECT_TRUE(monitor.download.isEmpty());
}

TEST_F(CountyTest, SaintRule)
{
    EXPECT_EQ(county("MO,SAINT LOUIS"), L("ST LOUIS"));
    EXPECT_EQ(county("MN,SAINT LOUIS"), L("SAINT LOUIS"));
    EXPECT_EQ(county("AK,SAINT LOUIS"), L("SAINT LOUIS"));
    EXPECT_EQ(county("MO,SAINTLOUIS"), QString()); // no blank: not the rule; not in the table
    EXPECT_EQ(counties.asked.last(), L("MO|SAINTLOUIS"));
}

TEST_F(CountyTest, CutsAndLimits)
{
    EXPECT_EQ(county("MD,PRINCE GEORGE'S"), L("PRINCE GEORGE"));
    EXPECT_EQ(county("MA,MIDDLESEX"), L("MIDDLESEX")); // no slash: kept whole
    EXPECT_EQ(county("MA,MIDDLESEX/X"), QString());    // the character before the slash goes too
    EXPECT_EQ(counties.asked.last(), L("MA|MIDDLESE"));
    EXPECT_EQ(monitor.download.size(), 1); // "County?"
    counties.asked.clear();
    monitor.download.clear();
    EXPECT_EQ(county("MA,/X"), QString());
    EXPECT_EQ(county("MA,'X"), QString());
    EXPECT_EQ(county("MA,"), QString());
    EXPECT_EQ(county("MA,ABCDEFGHIJKLMNOPQRSTUVWXYZ"), QString()); // 26 characters
    EXPECT_TRUE(counties.asked.isEmpty()) << counties.asked.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(monitor.download.isEmpty()); // all silent
    counties.pairs.insert({L("MA"), L("ABCDEFGHIJKLMNOPQRSTUVWXY")});
    EXPECT_EQ(county("MA,ABCDEFGHIJKLMNOPQRSTUVWXY"), L("ABCDEFGHIJKLMNOPQRSTUVWXY")); // 25 characters
}

TEST_F(CountyTest, MalformedValuesChangeNothing)
{
    record.county = L("OLD");
    record.state = L("MA");
    NormaliseCounty(L("MA MIDDLESEX"), record, counties, problems);
    NormaliseCounty(L("MAS,MIDDLESEX"), record, counties, problems);
    NormaliseCounty(L(""), record, counties, problems);
    EXPECT_EQ(record.county, L("OLD"));
    EXPECT_EQ(record.state, L("MA"));
    EXPECT_TRUE(counties.asked.isEmpty());
}

TEST_F(CountyTest, EarlierStateWins)
{
    EXPECT_EQ(county("OK,TULSA", "TX"), L("TULSA"));
    EXPECT_EQ(record.state, L("TX"));
    EXPECT_EQ(counties.asked.last(), L("TX|TULSA"));
}

TEST_F(CountyTest, UnknownCountyWarns)
{
    EXPECT_EQ(county("CT,HARTFORD"), QString());
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 1);
    EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::RedArrow);
    ASSERT_EQ(monitor.download.size(), 1);
    EXPECT_EQ(monitor.download[0], L("Warning:    County? K1ABC 20110305 142500  14m  CW CT HARTFORD"));
}
} // namespace
