#include "OptionsTestSupport.h"
#include "options/StationDiscovery.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
class StationDiscoveryTest : public ::testing::Test, public OptionsFixture
{
protected:
    void discover(const QByteArray& bytes)
    {
        dir.write(QStringLiteral("station_data"), bytes);
        DiscoverStations(paths.stationFile, options, messages, [this] { ++pumps; });
    }
    Options options;
    int pumps = 0;
};

QByteArray location(const char* name, const char* call)
{
    return QByteArray("  <StationData name=\"") + name + "\">\n    <CALL>" + call
           + "</CALL>\n    <CQZ>5</CQZ>\n    <DXCC>291</DXCC>\n    <GRIDSQUARE>FN42</GRIDSQUARE>\n"
             "  </StationData>\n";
}

Options untouched()
{
    Options o;
    for (int k = 0; k < kSlotCount; ++k)
        o.stations[k] = {QStringLiteral("old%1").arg(k), QStringLiteral("oldloc%1").arg(k)};
    o.logins[0].loginCall = QStringLiteral("oldlogin");
    return o;
}
}

TEST_F(StationDiscoveryTest, ThreeLocationsFillThreeSlots)
{
    options = untouched();
    discover("<StationDataFile>\n" + location("Home", "K1ABC") + location("Mobile", "K1ABC/M")
             + location("Field Day", "W1AW") + "</StationDataFile>\n");
    EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("K1ABC"));
    EXPECT_EQ(options.stations[0].location, QStringLiteral("Home"));
    EXPECT_EQ(options.logins[0].loginCall, QStringLiteral("K1ABC"));
    EXPECT_EQ(options.stations[1].oprCall, QStringLiteral("K1ABC/M"));
    EXPECT_EQ(options.stations[2].location, QStringLiteral("Field Day"));
    EXPECT_EQ(options.stations[3].oprCall, QStringLiteral("old3"));
    EXPECT_EQ(options.stations[4].location, QStringLiteral("oldloc4"));
    EXPECT_EQ(options.logins[1].loginCall, QString());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_GT(pumps, 10);
}

TEST_F(StationDiscoveryTest, AtMostFiveLocations)
{
    QByteArray file("<StationDataFile>\r\n");
    for (int i = 1; i <= 7; ++i)
        file += location(QByteArray("L").append(char('0' + i)).constData(), QByteArray("K").append(char('0' + i)).constData()).replace("\n", "\r\n");
    discover(file + "</StationDataFile>\r\n");
    for (int k = 0; k < kSlotCount; ++k) {
        EXPECT_EQ(options.stations[k].location, QStringLiteral("L%1").arg(k + 1));
        EXPECT_EQ(options.stations[k].oprCall, QStringLiteral("K%1").arg(k + 1));
    }
}

TEST_F(StationDiscoveryTest, TagRules)
{
    options = untouched();
    discover("<StationDataFile>\n"
             // slot 1: no CALL tag
             "  <StationData name=\"NoCall\">\n    <GRIDSQUARE>FN42</GRIDSQUARE>\n  </StationData>\n"
             // slot 2: call with no '<' after it, name without quotes
             "  <StationData name=NoQuotes>\n    <CALL>K2XYZ\n  </StationData>\n"
             // slot 3: lower-case tags are not recognised
             "  <stationdata name=\"lower\">\n    <call>k3low</call>\n  </StationData>\n"
             // slot 4: a later tag replaces an earlier one; both on one line
             "  <StationData name=\"First\"><CALL>K4A</CALL><CALL>K4B</CALL><StationData name=\"Second\">\n"
             "  </StationData>\n"
             "</StationDataFile>\n");
    EXPECT_EQ(options.stations[0].location, QStringLiteral("NoCall"));
    EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("old0"));
    EXPECT_EQ(options.logins[0].loginCall, QStringLiteral("oldlogin"));
    EXPECT_EQ(options.stations[1].location, QString());
    EXPECT_EQ(options.stations[1].oprCall, QString());
    EXPECT_EQ(options.stations[2].location, QStringLiteral("oldloc2"));
    EXPECT_EQ(options.stations[2].oprCall, QStringLiteral("old2"));
    EXPECT_EQ(options.stations[3].oprCall, QStringLiteral("K4B"));
    EXPECT_EQ(options.stations[3].location, QStringLiteral("Second"));
    // The root's closing tag ends slot 5.
    EXPECT_EQ(options.stations[4].location, QStringLiteral("oldloc4"));
}

TEST_F(StationDiscoveryTest, FileWithoutTextShowsMessage)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\n\n\r\n")}) {
        FakeMessageBox box;
        dir.write(QStringLiteral("station_data"), bytes);
        Options o = untouched();
        DiscoverStations(paths.stationFile, o, box);
        EXPECT_EQ(box.shown, QStringList{QStringLiteral("LoTW file is empty")});
        EXPECT_EQ(o.stations[0].oprCall, QStringLiteral("old0"));
    }
    // A line of blanks is text: no message, and nothing found.
    discover("   \n");
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(StationDiscoveryTest, MissingFileDoesNothing)
{
    options = untouched();
    DiscoverStations(dir.file(QStringLiteral("none")), options, messages);
    EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("old0"));
    EXPECT_TRUE(messages.shown.isEmpty());
}

// A named pipe (which would keep a reader waiting for a writer) or a folder in the station
// file's place is no file to read: the options stay as they were, at once and without a word.
TEST_F(StationDiscoveryTest, APipeOrAFolderInsteadOfTheFileIsNotRead)
{
    for (const bool pipe : {true, false}) {
        options = untouched();
        const QString path = dir.file(pipe ? QStringLiteral("pipe") : QStringLiteral("folder"));
        if (pipe) {
#ifdef Q_OS_WIN
            continue; // Windows has no named pipes in the file system: the folder alone
#else
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        } else
            ASSERT_TRUE(QDir().mkpath(path));
        DiscoverStations(path, options, messages);
        EXPECT_TRUE(ReadStationLocations(path, 5).empty());
        EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("old0"));
        EXPECT_TRUE(messages.shown.isEmpty());
    }
}

TEST_F(StationDiscoveryTest, BinaryAndHugeLinesEnd)
{
    QByteArray binary;
    for (unsigned i = 0; i < 200000; ++i)
        binary += static_cast<char>((i * 2654435761u) >> 24);
    discover(binary);
    discover(QByteArray(20 * 1024 * 1024, '<'));
    discover("<StationData name=\"" + QByteArray(5 * 1024 * 1024, 'x'));
    EXPECT_EQ(options.stations[0].location, QString());
}

struct VersionCase
{
    const char* name; // the test's name
    WindowsVersionInfo info;
    const char* text;
    ProfileLayout layout;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowsVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(WindowsVersionTest, TextAndLayout)
{
    const DetectedVersion v = DetectWindowsVersion(GetParam().info);
    EXPECT_EQ(v.text, QString::fromLatin1(GetParam().text));
    EXPECT_EQ(v.layout, GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsVersionTest,
    ::testing::Values(
        VersionCase{"Win32s", {WindowsVersionInfo::Win32s, 3, 11, {}}, "Windows 3.11", ProfileLayout::None},
        VersionCase{"Windows95", {WindowsVersionInfo::Windows9x, 4, 0, {}}, "Windows 95", ProfileLayout::Older},
        VersionCase{"Windows98", {WindowsVersionInfo::Windows9x, 4, 10, {}}, "Windows 98", ProfileLayout::Older},
        VersionCase{"WindowsMe", {WindowsVersionInfo::Windows9x, 4, 90, {}}, "Windows Me", ProfileLayout::Older},
        VersionCase{"Windows9xUnknownMinor", {WindowsVersionInfo::Windows9x, 4, 3, {}}, "", ProfileLayout::None},
        VersionCase{"Windows2000", {WindowsVersionInfo::WindowsNt, 5, 0, QStringLiteral("Service Pack 4")},
                    "Windows 2000 With Service Pack 4", ProfileLayout::Older},
        VersionCase{"WindowsXp", {WindowsVersionInfo::WindowsNt, 5, 1, QStringLiteral("Service Pack 3")},
                    "Windows XP Service Pack 3", ProfileLayout::Older},
        VersionCase{"WindowsNt4", {WindowsVersionInfo::WindowsNt, 4, 0, QStringLiteral("Service Pack 6")},
                    "Windows NT 4.0 with Service Pack 6", ProfileLayout::Older},
        VersionCase{"WindowsNt52", {WindowsVersionInfo::WindowsNt, 5, 2, {}}, "Windows 5.2", ProfileLayout::Newer},
        VersionCase{"Windows10", {WindowsVersionInfo::WindowsNt, 10, 0, {}}, "Windows 10.0", ProfileLayout::Newer},
        VersionCase{"UnknownPlatform", {7, 1, 0, {}}, "", ProfileLayout::None}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(StationDataPathTest, ByLayout)
{
    EXPECT_EQ(StationDataPath(QStringLiteral("op"), ProfileLayout::Older),
              QStringLiteral("C:\\Documents and Settings\\op\\Application Data\\TrustedQSL\\station_data"));
    EXPECT_EQ(StationDataPath(QStringLiteral("op"), ProfileLayout::Newer),
              QStringLiteral("C:\\Users\\op\\AppData\\Roaming\\TrustedQSL\\station_data"));
    EXPECT_EQ(StationDataPath(QStringLiteral("op"), ProfileLayout::None), QString());
    EXPECT_EQ(StationDataPath(QString(200, QLatin1Char('u')), ProfileLayout::Newer),
              QStringLiteral("C:\\Users\\") + QString(127, QLatin1Char('u'))
                  + QStringLiteral("\\AppData\\Roaming\\TrustedQSL\\station_data"));
    FakePaths paths;
    paths.stationFile = QStringLiteral("/home/op/.tqsl/station_data");
    EXPECT_EQ(StationDataPath(paths, DetectedVersion{QStringLiteral("Linux"), ProfileLayout::Home}),
              QStringLiteral("/home/op/.tqsl/station_data"));
}

#ifdef Q_OS_WIN
// On Windows the file is in the user's roaming application data folder (%APPDATA%), which need
// not be under C:\Users\<user>; the profile's usual place only stands in when that is unknown.
TEST(StationDataPathTest, WindowsTakesTheRoamingFolder)
{
    FakePaths paths;
    paths.stationFile = QStringLiteral("D:\\Profiles\\op\\AppData\\Roaming\\TrustedQSL\\station_data");
    EXPECT_EQ(StationDataPath(paths, DetectedVersion{QStringLiteral("Windows 10.0"), ProfileLayout::Newer}),
              paths.stationFile);
    paths.stationFile.clear();
    EXPECT_EQ(StationDataPath(paths, DetectedVersion{QStringLiteral("Windows 10.0"), ProfileLayout::Newer}),
              QStringLiteral("C:\\Users\\op\\AppData\\Roaming\\TrustedQSL\\station_data"));
    EXPECT_EQ(StationDataPath(paths, DetectedVersion{QStringLiteral("Windows XP"), ProfileLayout::Older}),
              QStringLiteral("C:\\Documents and Settings\\op\\Application Data\\TrustedQSL\\station_data"));
}
#endif

// A damaged file may hold one enormous line of tags: it is read tag by tag with the results a
// short line gives (the walk looks at each byte a bounded number of times).
TEST_F(StationDiscoveryTest, LineOfManyTagsKeepsTheLastOfEach)
{
    options = untouched();
    QByteArray line = "<StationData name=\"Big\">";
    for (int i = 0; i < 100000; ++i)
        line += "a<CALL";
    line += ">K5Q<";
    for (int i = 0; i < 100000; ++i)
        line += "<StationData name=";
    line += "\"Last\"</StationData>\n";
    discover(line);
    // Every CALL tag takes the text after the first ">" that follows it.
    EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("K5Q"));
    EXPECT_EQ(options.logins[0].loginCall, QStringLiteral("K5Q"));
    EXPECT_EQ(options.stations[0].location, QStringLiteral("Last"));
    EXPECT_EQ(options.stations[1].oprCall, QStringLiteral("old1"));
}

// TQSL writes its station file in UTF-8 and escapes XML's special characters; the names and
// calls are read as TQSL means them, and a location inside a comment is no location.
TEST_F(StationDiscoveryTest, ValuesAreReadAsTqslWritesThem)
{
    options = untouched();
    discover("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<StationDataFile>\r\n"
             "<!-- <StationData name=\"Old\">\r\n    <CALL>K0OLD</CALL>\r\n  </StationData> -->\r\n"
             "  <StationData name=\"Portable &amp; Field Day\">\r\n    <CALL>K1ABC/P</CALL>\r\n  </StationData>\r\n"
             "  <StationData name=\"Mom&apos;s QTH &quot;2&quot; &lt;&gt;\">\r\n    <CALL>K1ABC</CALL>\r\n"
             "  </StationData>\r\n"
             "  <StationData name=\"H\xC3\xBCtte &#252;&#xFC; &#x1F4E1;\">\r\n    <CALL>DL&#49;ABC</CALL>\r\n"
             "  </StationData>\r\n"
             "  <StationData name=\"A &bogus; &amp\">\r\n    <!-- a comment --><CALL>W1AW</CALL>\r\n"
             "  </StationData>\r\n"
             "</StationDataFile>\r\n");
    EXPECT_EQ(options.stations[0].location, QStringLiteral("Portable & Field Day"));
    EXPECT_EQ(options.stations[0].oprCall, QStringLiteral("K1ABC/P"));
    EXPECT_EQ(options.logins[0].loginCall, QStringLiteral("K1ABC/P"));
    EXPECT_EQ(options.stations[1].location, QStringLiteral("Mom's QTH \"2\" <>"));
    EXPECT_EQ(options.stations[2].location, QString::fromUtf8("H\xC3\xBCtte \xC3\xBC\xC3\xBC \xF0\x9F\x93\xA1"));
    EXPECT_EQ(options.stations[2].oprCall, QStringLiteral("DL1ABC"));
    EXPECT_EQ(options.stations[3].location, QStringLiteral("A &bogus; &amp"));
    EXPECT_EQ(options.stations[3].oprCall, QStringLiteral("W1AW"));
    // The root's closing tag ends slot 5.
    EXPECT_EQ(options.stations[4].oprCall, QStringLiteral("old4"));
}

TEST_F(StationDiscoveryTest, ANonUtf8FileIsReadByteForByte)
{
    discover("<StationDataFile>\n  <StationData name=\"H\xFCtte\">\n    <CALL>K1ABC</CALL>\n  </StationData>\n");
    EXPECT_EQ(options.stations[0].location, QString::fromLatin1("H\xFCtte"));
}

TEST_F(StationDiscoveryTest, AnUnclosedCommentHidesTheRest)
{
    options = untouched();
    discover("<StationDataFile>\n" + location("Home", "K1ABC") + "<!-- \n" + location("Hidden", "K2XX"));
    EXPECT_EQ(options.stations[0].location, QStringLiteral("Home"));
    EXPECT_EQ(options.stations[1].location, QStringLiteral("oldloc1"));
}

TEST(StationLocations, AllOfThemForTheUploadCheck)
{
    TestDir dir;
    QByteArray file = "<StationDataFile>\n";
    for (int i = 1; i <= 12; ++i)
        file += location(QByteArray("L").append(QByteArray::number(i)).constData(), "K1ABC");
    dir.write(QStringLiteral("station_data"), file + "</StationDataFile>\n");
    const std::vector<StationLocation> all = ReadStationLocations(dir.file(QStringLiteral("station_data")), 100);
    // Twelve locations and the root's close.
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all[11].name, QStringLiteral("L12"));
    EXPECT_FALSE(all[12].hasName);
    EXPECT_TRUE(ReadStationLocations(dir.file(QStringLiteral("missing")), 100).empty());
}

TEST(DecodeXmlText, References)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"plain", "plain"}, {"&amp;&apos;&quot;&lt;&gt;", "&'\"<>"}, {"&#65;&#x42;&#X43;", "ABC"},
        {"&#0;&#xD800;&#x110000;", "&#0;&#xD800;&#x110000;"}, {"&", "&"}, {"&&amp;", "&&"},
        {"&verylongnamethatisnotone;", "&verylongnamethatisnotone;"}, {"&#;&#x;", "&#;&#x;"},
        {"a&amp", "a&amp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeXmlText(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}
