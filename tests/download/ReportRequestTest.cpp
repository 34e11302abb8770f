#include "download/ReportRequest.h"

#include "support/Fakes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

const char* const kBase = "https://lotw.arrl.org/lotwuser/lotwreport.adi?qso_query=1&login=";

class ReportRequestTest : public ::testing::Test
{
protected:
    ReportRequestTest()
    {
        choices.CurrentLoginCall = S("K1ABC");
        choices.CurrentPassword = S("p%26ss%20w");
        choices.DownloadCall = S("K1ABC/P");
        choices.sinceDate = S("2024-03-15");
        options.reportAdifPath = S("/home/op/lotw/") + QString(120, QLatin1Char('r')) + S("/lotwreport.adi");
    }
    Options options;
    Choices choices;
    RecordingMonitor monitor;
    FakeDesktop desktop;
    TestDir dir;
};

TEST_F(ReportRequestTest, AddressForBothRangesWithAndWithoutOwnCall)
{
    struct Case { int range; bool anyCall; const char* date; const char* tail; };
    const Case cases[] = {
        {0, false, "2024-03-15", "&qso_qsl=yes&qso_qsldetail=yes&qso_withown=yes&qso_owncall=K1ABC/P"},
        {0, true, "2024-03-15", "&qso_qsl=yes&qso_qsldetail=yes&qso_withown=yes"},
        {1, false, "2024-03-15",
         "&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=2024-03-15&qso_withown=yes&qso_owncall=K1ABC/P"},
        {1, true, "2024-03-15", "&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=2024-03-15&qso_withown=yes"},
        {1, true, "", "&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=&qso_withown=yes"},
        {1, false, "15 Mar & more",
         "&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=15%20Mar%20%26%20more&qso_withown=yes&qso_owncall=K1ABC/P"},
    };
    for (const Case& c : cases) {
        choices.ReportRange = c.range;
        choices.AnyCall = c.anyCall;
        choices.sinceDate = S(c.date);
        EXPECT_EQ(ReportRequestAddress(choices), S(kBase) + S("K1ABC&password=p%26ss%20w") + S(c.tail))
            << c.range << " " << c.anyCall << " " << c.date;
    }
    choices.ReportRange = -1;
    EXPECT_EQ(ReportRequestAddress(choices), QString());
}

TEST_F(ReportRequestTest, OpensAddressCopiesPathSavesDatesAndTicks)
{
    choices.ReportRange = 1;
    SavedQslDates dates;
    dates.date = S("1999-01-01");
    dates.reportRange = 1;
    dates.sinceChoice = 0;
    dates.importScope = 0;
    dates.overwriteChoice = 0;
    ReportRequest request(options, choices, monitor, desktop);
    request.setWay(ReportRequest::Way::Browser);
    ASSERT_TRUE(request.run(dir.file(S("quorvane2.dat")), dates));

    const QString expected = S(kBase)
                             + S("K1ABC&password=p%26ss%20w&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=2024-03-15"
                                 "&qso_withown=yes&qso_owncall=K1ABC/P");
    EXPECT_EQ(request.address(), expected);
    EXPECT_EQ(desktop.urls, QStringList{expected});
    EXPECT_EQ(desktop.clipboard, options.reportAdifPath.left(100));
    EXPECT_EQ(desktop.clipboard.size(), 100);
    const std::vector<std::pair<Step, StepIcon>> icons = {{Step::Download, StepIcon::Blank}, {Step::Download, StepIcon::Tick}};
    EXPECT_EQ(monitor.iconLog, icons);

    SavedQslDates loaded;
    ASSERT_TRUE(LoadQslDateFile(dir.file(S("quorvane2.dat")), loaded));
    EXPECT_EQ(loaded.date, S("2024-03-15"));
    EXPECT_EQ(loaded.reportRange, 1);
    EXPECT_EQ(loaded.sinceChoice, 0);
    EXPECT_EQ(loaded.importScope, 0);
    EXPECT_EQ(loaded.overwriteChoice, 0);
    EXPECT_TRUE(monitor.messages.isEmpty());
}

TEST_F(ReportRequestTest, PrintOnlyOpensNothing)
{
    choices.ReportRange = 0;
    ReportRequest request(options, choices, monitor, desktop);
    request.setOpenInBrowser(false);
    ASSERT_TRUE(request.run(dir.file(S("quorvane2.dat")), SavedQslDates()));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_TRUE(request.address().endsWith(S("&qso_withown=yes&qso_owncall=K1ABC/P")));
    EXPECT_TRUE(dir.exists(S("quorvane2.dat")));
}

// The form shows no message for a failed save; the result tells the batch command.
TEST_F(ReportRequestTest, UnsavableDateFileIsSilentAndStillTicks)
{
    choices.ReportRange = 0;
    ReportRequest request(options, choices, monitor, desktop);
    request.setWay(ReportRequest::Way::Browser);
    EXPECT_FALSE(request.run(dir.file(S("missing/folder/quorvane2.dat")), SavedQslDates()));
    EXPECT_TRUE(monitor.messages.isEmpty());
    EXPECT_EQ(desktop.urls.size(), 1);
    EXPECT_EQ(monitor.icons[Step::Download], StepIcon::Tick);
}

// The date goes into the address whole, as the value of one parameter.
TEST(AddressDateText, EncodesWhatWouldChangeTheAddress)
{
    struct Case { const char* typed; const char* sent; };
    const Case cases[] = {
        {"2024-12-31", "2024-12-31"},
        {"", ""},
        {"31/12/2024 x&y", "31/12/2024%20x%26y"},
        {"2024-12-31#top", "2024-12-31%23top"},
        {"2024-12-31+1", "2024-12-31%2B1"},
        {"2024-12-31&qso_owncall=X", "2024-12-31%26qso_owncall=X"},
        {"50%", "50%25"},
        {"%2", "%252"},
        {"%zz1", "%25zz1"},
        {"2024%2D12", "2024%2D12"}, // an escape stays an escape
        {"\t2024\r\n", "%092024%0D%0A"},
        {"<2024>\"|\\^`{}", "%3C2024%3E%22%7C%5C%5E%60%7B%7D"},
        {"d\xe9" "c", "d%C3%A9c"},
        {"a:b/c?d@e!f$g'h(i)j*k,l;m=n~o.p_q-r", "a:b/c?d@e!f$g'h(i)j*k,l;m=n~o.p_q-r"}, // stand for themselves
        {"%%41", "%25%41"},
        {"%41%", "%41%25"},
        {"%4", "%254"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddressDateText(QString::fromLatin1(c.typed)), QString::fromLatin1(c.sent)) << c.typed;
    EXPECT_EQ(AddressDateText(QString::fromUtf8("\xf0\x9f\x93\xbb")), S("%F0%9F%93%BB")); // one character beyond 16 bits
    // Half a surrogate pair (a damaged text): its "?" is encoded, with the character after a high half.
    const QChar high(0xD83D);
    const QChar low(0xDCFB);
    EXPECT_EQ(AddressDateText(S("20") + high), S("20%3F"));
    EXPECT_EQ(AddressDateText(S("20") + high + S("a1")), S("20%3F%611"));
    EXPECT_EQ(AddressDateText(S("20") + low + S("b?")), S("20%3Fb?"));
    EXPECT_EQ(AddressDateText(S("x") + high + high + low + S("&")), S("x%3F%3F%3F%26"));
}

TEST(IsReportDate, OnlyRealDatesOfTheFormYyyyMmDd)
{
    for (const char* good : {"2024-12-31", "2024-02-29", "1900-01-01"})
        EXPECT_TRUE(IsReportDate(S(good))) << good;
    for (const char* bad : {"", "2024-12-3", "2024-12-311", "31/12/2024", "2024/12/31", "2023-02-29", "2024-13-01",
                            "2024-00-10", " 2024-12-31", "2024-12-31 ", "+024-12-31", "2024-1a-31", "20241231"})
        EXPECT_FALSE(IsReportDate(S(bad))) << bad;
}

// The request still goes out as typed; the operator is told that the date is not one.
TEST_F(ReportRequestTest, MalformedDateIsWarnedOfAfterTheRequest)
{
    struct Case { int range; const char* date; bool warned; };
    const Case cases[] = {
        {1, "2024-12-31", false}, {1, "31/12/2024 x&y", true}, {1, "", true}, {1, "2023-02-30", true},
        {0, "31/12/2024", false}, // the date is not used for all QSLs
    };
    for (const Case& c : cases) {
        RecordingMonitor seen;
        FakeDesktop browser;
        choices.ReportRange = c.range;
        choices.sinceDate = S(c.date);
        ReportRequest request(options, choices, seen, browser);
        request.setWay(ReportRequest::Way::Browser);
        EXPECT_TRUE(request.run(dir.file(S("quorvane2.dat")), SavedQslDates()));
        EXPECT_EQ(browser.urls.size(), 1) << c.date;
        EXPECT_EQ(seen.messages.size(), c.warned ? 1 : 0) << c.date;
        if (c.warned && *c.date) {
            EXPECT_TRUE(seen.messages.value(0).contains(S(c.date))) << seen.messages.value(0).toStdString();
            EXPECT_TRUE(seen.messages.value(0).contains(S("YYYY-MM-DD"))) << seen.messages.value(0).toStdString();
        }
        // The date file keeps the date as typed.
        SavedQslDates loaded;
        ASSERT_TRUE(LoadQslDateFile(dir.file(S("quorvane2.dat")), loaded));
        EXPECT_EQ(loaded.date, S(c.date));
        EXPECT_EQ(seen.icons[Step::Download], StepIcon::Tick);
    }
    choices.ReportRange = 1;
    choices.sinceDate = S("31/12/2024 x&y");
    EXPECT_EQ(ReportRequestAddress(choices),
              S(kBase) + S("K1ABC&password=p%26ss%20w&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=31/12/2024%20x%26y"
                           "&qso_withown=yes&qso_owncall=K1ABC/P"));
}

} // namespace
