#include "platform/Profile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
struct ProfileCase
{
    const char* name; // the test's name
    const char* file;
    const char* section;
    const char* key;
    const char* expected;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const ProfileCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProfileTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileTest, ReadsValueOrDefault)
{
    TestDir dir;
    const ProfileCase& c = GetParam();
    dir.write(QStringLiteral("Dxb2007.ini"), QByteArray(c.file));
    IniProfile profile;
    EXPECT_EQ(profile.readString(dir.file(QStringLiteral("Dxb2007.ini")), QString::fromLatin1(c.section),
                                 QString::fromLatin1(c.key), QStringLiteral("dflt")),
              QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileTest,
    ::testing::Values(
        ProfileCase{"Value", "[Dir]\r\nDATAPATH=C:\\DXbase\\Data\\Log.mdb\r\n", "Dir", "DATAPATH", "C:\\DXbase\\Data\\Log.mdb"},
        ProfileCase{"NamesInAnyCaseBlanksAroundValue", "[dir]\r\ndatapath = C:\\x\\y \r\n", "Dir", "DATAPATH", "C:\\x\\y"},
        ProfileCase{"KeyInAnotherSectionOnly", "[Other]\r\nDATAPATH=no\r\n[Dir]\r\nPGMPATH=C:\\DXbase\r\n", "Dir", "DATAPATH", "dflt"},
        ProfileCase{"QuotesRemoved", "[Dir]\r\nPGMPATH=\"C:\\Program Files\\DXbase\"\r\n", "Dir", "PGMPATH", "C:\\Program Files\\DXbase"},
        ProfileCase{"EmptyValueWithLfEnds", "[Dir]\nDATAPATH=\n", "Dir", "DATAPATH", ""},
        ProfileCase{"EmptyFile", "", "Dir", "DATAPATH", "dflt"}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

TEST(Profile, MissingFileGivesDefault)
{
    IniProfile profile;
    EXPECT_EQ(profile.readString(QStringLiteral("/nonexistent/Dxb2007.ini"), QStringLiteral("Dir"),
                                 QStringLiteral("DATAPATH"), QString()),
              QString());
}

TEST(Profile, LongValueIsCutTo511)
{
    TestDir dir;
    dir.write(QStringLiteral("a.ini"), "[Dir]\nK=" + QByteArray(600, 'x') + "\n");
    IniProfile profile;
    EXPECT_EQ(profile.readString(dir.file(QStringLiteral("a.ini")), QStringLiteral("Dir"), QStringLiteral("K"), QString()).size(), 511);
}

// DXbase writes its settings file in the system's code page, and the profile functions read it
// so: a DATAPATH with "Š" names that folder. Outside Windows the bytes are read one character a
// byte (Latin-1), as before.
TEST(Profile, ValuesInTheSystemsCodePage)
{
    TestDir dir;
    dir.write(QStringLiteral("Dxb2007.ini"), "[Dir]\r\nDATAPATH=C:\\Logs\\\x8aibenik\\\xe9t\xe9.mdb\r\n");
    IniProfile profile;
    const QString value = profile.readString(dir.file(QStringLiteral("Dxb2007.ini")), QStringLiteral("Dir"),
                                             QStringLiteral("DATAPATH"), QString());
#ifdef Q_OS_WIN
    if (GetACP() != 1252)
        GTEST_SKIP() << "the case is written for the ANSI code page 1252; this system has " << GetACP();
    EXPECT_EQ(value, QString::fromUtf8("C:\\Logs\\\xc5\xa0ibenik\\\xc3\xa9t\xc3\xa9.mdb"));
#else
    EXPECT_EQ(value, QString::fromLatin1("C:\\Logs\\\x8aibenik\\\xe9t\xe9.mdb"));
#endif
}
}
