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
        {1, false, "15 Mar & more", "&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=15 Mar & more&qso_withown=yes&qso_owncall=K1ABC/P"},
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
    ASSERT_TRUE(request.run(dir.file(S("quorvane2.dat")), dates));

    const QString expected = S(kBase)
                             + S("K1ABC&password=p%26ss%20w&qso_qsl=yes&qso_qsldetail=yes&qso_qslsince=2024-03-15"
                                 "&qso_withown=yes&qso_owncall=K1ABC/P");
    EXPECT_EQ(request.address(), expected);
    EXPECT_EQ(desktop.urls, QStringList{expected});
    EXPECT_EQ(desktop.clipboard, options.reportAdifPath.left(100));
    EXPECT_EQ(desktop.clipboard.size(), 100);
    const std::vector<std::pair<int, int>> icons = {{1104, 140}, {1104, 141}};
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
    EXPECT_FALSE(request.run(dir.file(S("missing/folder/quorvane2.dat")), SavedQslDates()));
    EXPECT_TRUE(monitor.messages.isEmpty());
    EXPECT_EQ(desktop.urls.size(), 1);
    EXPECT_EQ(monitor.icons[1104], 141);
}

} // namespace
