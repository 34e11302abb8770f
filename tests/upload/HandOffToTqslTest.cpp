#include "upload/HandOffToTqsl.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

class HandOffTest : public ::testing::Test
{
protected:
    HandOffTest()
    {
        options.tqslExePath = S("/opt/tqsl dir/tqsl");
        options.uploadAdifPath = S("/home/op/My Logs/LoTWUpload.adi");
        options.stations[0] = {S("K1ABC"), S("Home")};
        options.stations[1] = {S("W1XYZ"), S("Field \"Day\" site")};
        options.stations[2] = {S("k1abc"), S("Lower")};
        options.stations[3] = {S("K1ABC"), S("Portable one")};
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("se%26cret");
    }
    QStringList args(const char* location) const
    {
        return {S("-l"), S(location), S("-d"), options.uploadAdifPath, S("-x")};
    }
    Options options;
    Choices choices;
    FakeDesktop desktop;
    RecordingMonitor monitor;
};

const char* const kPage = "https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=se%26cret";

TEST_F(HandOffTest, TwoMatchingSlotsInSlotOrder)
{
    choices.SigningCall = S("K1ABC");
    HandOffToTqsl(options, choices, 3, desktop, monitor);
    const QStringList events = {S("url:") + S(kPage), S("pause:2000"), S("start:/opt/tqsl dir/tqsl"),
                                S("url:") + S(kPage), S("pause:2000"), S("start:/opt/tqsl dir/tqsl")};
    EXPECT_EQ(desktop.events, events);
    ASSERT_EQ(desktop.started.size(), 2u);
    EXPECT_EQ(desktop.started[0].arguments, args("Home"));
    EXPECT_EQ(desktop.started[1].arguments, args("Portable one"));
    for (int step : {1100, 1101, 1102, 1103})
        EXPECT_EQ(monitor.icons[step], 141) << step;
    EXPECT_EQ(monitor.icons.count(1099), 0u);
}

TEST_F(HandOffTest, OneSlotWithQuotesInLocation)
{
    choices.SigningCall = S("W1XYZ");
    HandOffToTqsl(options, choices, 1, desktop, monitor);
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].program, S("/opt/tqsl dir/tqsl"));
    EXPECT_EQ(desktop.started[0].arguments, args("Field \"Day\" site"));
    EXPECT_EQ(desktop.urls, QStringList{S(kPage)});
}

TEST_F(HandOffTest, NoMatchingSlotStillTicks)
{
    choices.SigningCall = S("K1AB");
    HandOffToTqsl(options, choices, 1, desktop, monitor);
    EXPECT_TRUE(desktop.events.isEmpty());
    for (int step : {1100, 1101, 1102, 1103})
        EXPECT_EQ(monitor.icons[step], 141) << step;
}

TEST_F(HandOffTest, NothingAfterTestRunOrWithoutRecords)
{
    choices.SigningCall = S("K1ABC");
    choices.TestOnly = true;
    HandOffToTqsl(options, choices, 5, desktop, monitor);
    choices.TestOnly = false;
    HandOffToTqsl(options, choices, 0, desktop, monitor);
    EXPECT_TRUE(desktop.events.isEmpty());
    EXPECT_TRUE(monitor.icons.empty());
}

TEST_F(HandOffTest, AddressTakesLoginAndPasswordAsTheyStand)
{
    choices.CurrentLoginCall = S("K1ABC&x=1");
    choices.CurrentPassword = S("a%2Bb?c");
    EXPECT_EQ(UploadPageAddress(choices), S("https://lotw.arrl.org/lotwuser/upload?login=K1ABC&x=1&password=a%2Bb?c"));
}

} // namespace
