#include "options/QslDateFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {
const QByteArray kExample = QByteArray("1\r\n2011-03-05\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n");

class QslDateFileTest : public ::testing::Test
{
protected:
    TestDir dir;
    QString path() const { return dir.file(QStringLiteral("quorvane2.dat")); }
};
}

TEST_F(QslDateFileTest, LoadsTheExampleFile)
{
    dir.write(QStringLiteral("quorvane2.dat"), kExample);
    SavedQslDates dates;
    ASSERT_TRUE(LoadQslDateFile(path(), dates));
    EXPECT_EQ(dates.date, QStringLiteral("2011-03-05"));
    EXPECT_EQ(dates.reportRange, 1);
    EXPECT_EQ(dates.sinceChoice, 0);
    EXPECT_EQ(dates.importScope, 1);
    EXPECT_EQ(dates.overwriteChoice, 1);
}

TEST_F(QslDateFileTest, SavesByteForByte)
{
    SavedQslDates dates;
    dates.date = QStringLiteral("2011-03-05");
    dates.reportRange = 1;
    dates.sinceChoice = 0;
    dates.importScope = 1;
    dates.overwriteChoice = 1;
    dates.reserved = {7, 7, 7, 7, 7, 7, 7, 7}; // never written
    ASSERT_TRUE(SaveQslDateFile(path(), dates));
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), kExample);
}

TEST_F(QslDateFileTest, EmptyDateIsALoneEndMarkAndLoadsEmpty)
{
    SavedQslDates dates;
    ASSERT_TRUE(SaveQslDateFile(path(), dates));
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")),
              QByteArray("1\r\n\x05-1:-1:1:1:0:0:0:0:0:0:0:0\r\n"));
    SavedQslDates loaded;
    loaded.date = QStringLiteral("before");
    loaded.reportRange = 5;
    ASSERT_TRUE(LoadQslDateFile(path(), loaded));
    EXPECT_EQ(loaded.date, QString());
    EXPECT_EQ(loaded.reportRange, -1);
}

TEST_F(QslDateFileTest, LongDateIsCutTo99Characters)
{
    SavedQslDates dates;
    dates.date = QString(150, QLatin1Char('9'));
    ASSERT_TRUE(SaveQslDateFile(path(), dates));
    SavedQslDates loaded;
    ASSERT_TRUE(LoadQslDateFile(path(), loaded));
    EXPECT_EQ(loaded.date, QString(99, QLatin1Char('9')));
}

TEST_F(QslDateFileTest, ChoicesRoundTrip)
{
    for (int choice : {1, 0, -1}) {
        SavedQslDates dates;
        dates.reportRange = choice;
        dates.sinceChoice = choice;
        dates.importScope = choice;
        dates.overwriteChoice = choice;
        ASSERT_TRUE(SaveQslDateFile(path(), dates));
        SavedQslDates loaded;
        loaded.reportRange = loaded.sinceChoice = loaded.importScope = loaded.overwriteChoice = 42;
        ASSERT_TRUE(LoadQslDateFile(path(), loaded));
        EXPECT_EQ(loaded.reportRange, choice);
        EXPECT_EQ(loaded.sinceChoice, choice);
        EXPECT_EQ(loaded.importScope, choice);
        EXPECT_EQ(loaded.overwriteChoice, choice);
    }
}

TEST_F(QslDateFileTest, ReservedNumbersAreReadAndWrittenAsZero)
{
    dir.write(QStringLiteral("quorvane2.dat"), "1\r\nd\x05" "0:-1:0:0:5:6:7:8:9:10:11:12\r\n");
    SavedQslDates dates;
    ASSERT_TRUE(LoadQslDateFile(path(), dates));
    EXPECT_EQ(dates.reserved, (std::array<int, 8>{5, 6, 7, 8, 9, 10, 11, 12}));
    ASSERT_TRUE(SaveQslDateFile(path(), dates));
    EXPECT_EQ(dir.read(QStringLiteral("quorvane2.dat")), QByteArray("1\r\nd\x05" "0:-1:0:0:0:0:0:0:0:0:0:0\r\n"));
}

TEST_F(QslDateFileTest, CutShortKeepsWhatWasRead)
{
    // Cut after every byte of the example: the values read before the cut stay.
    for (int cut = 0; cut < kExample.size(); ++cut) {
        dir.write(QStringLiteral("quorvane2.dat"), kExample.left(cut));
        SavedQslDates dates;
        dates.date = QStringLiteral("start");
        const bool ok = LoadQslDateFile(path(), dates);
        const bool allNumbers = cut >= kExample.indexOf("0\r\n", 20) + 1;
        EXPECT_EQ(ok, allNumbers) << cut;
        const bool dateRead = cut > kExample.indexOf('\x05');
        EXPECT_EQ(dates.date, dateRead ? QStringLiteral("2011-03-05") : QStringLiteral("start")) << cut;
        const bool firstNumberRead = cut > kExample.indexOf('\x05') + 1;
        EXPECT_EQ(dates.reportRange, firstNumberRead ? 1 : -1) << cut;
    }
}

TEST_F(QslDateFileTest, NumbersWithBlanksAndOtherBases)
{
    dir.write(QStringLiteral("quorvane2.dat"), "0x1 \r\n\x05 1:\t-1: 0:01:0:0:0:0:0:0:0:0");
    SavedQslDates dates;
    ASSERT_TRUE(LoadQslDateFile(path(), dates));
    EXPECT_EQ(dates.reportRange, 1);
    EXPECT_EQ(dates.sinceChoice, -1);
    EXPECT_EQ(dates.importScope, 0);
    EXPECT_EQ(dates.overwriteChoice, 1);
}

TEST_F(QslDateFileTest, BlankBeforeColonStopsReading)
{
    dir.write(QStringLiteral("quorvane2.dat"), "1\r\nd\x05" "1 :0:0:0:0:0:0:0:0:0:0:0\r\n");
    SavedQslDates dates;
    EXPECT_FALSE(LoadQslDateFile(path(), dates));
    EXPECT_EQ(dates.reportRange, 1);
    EXPECT_EQ(dates.sinceChoice, -1);
}

TEST_F(QslDateFileTest, BadFilesGiveStartingValues)
{
    const QByteArray inputs[] = {QByteArray(), QByteArray("date\x05" "1:0:1:1"),
                                 QByteArray(5 * 1024 * 1024, '\xff'),
                                 QByteArray("1\r\n") + QByteArray(3 * 1024 * 1024, 'a')};
    for (const QByteArray& input : inputs) {
        dir.write(QStringLiteral("quorvane2.dat"), input);
        SavedQslDates dates;
        EXPECT_FALSE(LoadQslDateFile(path(), dates));
        EXPECT_EQ(dates.date, QString());
        EXPECT_EQ(dates.reportRange, -1);
        EXPECT_EQ(dates.importScope, 1);
        EXPECT_EQ(dates.overwriteChoice, 1);
    }
}

TEST_F(QslDateFileTest, MissingFileAndMissingFolder)
{
    SavedQslDates dates;
    EXPECT_FALSE(LoadQslDateFile(path(), dates));
    EXPECT_FALSE(SaveQslDateFile(dir.file(QStringLiteral("no/such/folder/quorvane2.dat")), dates));
}
