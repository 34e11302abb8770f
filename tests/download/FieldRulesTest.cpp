#include "download/FieldRules.h"
#include "download/LineFile.h"
#include "download/LotwRecord.h"
#include "support/Fakes.h"
#include "support/TempDir.h"
#include "platform/Errors.h"

#include "Printing.h"

#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

class FieldRulesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        record.call = L("K1ABC");
        record.qsoDate = L("20110305");
        record.timeOn = L("142500");
        record.bandCode = L("6");
        record.modeCode = L("2");
        ASSERT_TRUE(errors.create(dir.file(QStringLiteral("errors.txt"))));
    }

    // Runs one rule on a column value; returns the column afterwards.
    QString run(int choice, const char* word, const char* lotw, const char* logged, bool grid = false)
    {
        FieldRules rules(record, choice, problems, errors);
        QString column = L(logged);
        if (rules.apply(L(word), L(lotw), column, grid))
            column = L(lotw);
        return column;
    }

    QByteArray errorFile()
    {
        errors.commitLines();
        errors.close();
        return dir.read(QStringLiteral("errors.txt"));
    }

    TestDir dir;
    LineFile errors;
    LotwRecord record;
    RecordingMonitor monitor;
    RunCounters counters;
    ProblemLog problems{monitor, counters};
};

TEST_F(FieldRulesTest, FillWithoutWarning)
{
    for (int choice : {0, 1}) {
        EXPECT_EQ(run(choice, "CQ Zone", "05", ""), L("05"));
        EXPECT_EQ(run(choice, "CQ Zone", "05", "05"), L("05"));
        EXPECT_EQ(run(choice, "GRID", "FN42AB", "FN42", true), L("FN42AB")); // refinement
        EXPECT_EQ(run(choice, "State", "", "CT"), L("CT"));                 // empty LoTW value: never touched
        EXPECT_EQ(run(choice, "State", "", ""), L(""));
    }
    EXPECT_TRUE(monitor.download.isEmpty());
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 0);
    EXPECT_EQ(errorFile(), QByteArray());
}

TEST_F(FieldRulesTest, OverwriteWarns)
{
    EXPECT_EQ(run(0, "CQ Zone", "05", "5"), L("05"));
    EXPECT_EQ(run(0, "GRID", "FN42", "FN42AB", true), L("FN42"));
    EXPECT_EQ(run(0, "IOTA", "NA001", "na001"), L("NA001")); // case-sensitive comparison
    const QStringList expected = {
        L("Warning! : K1ABC 20110305 142500 14 CW -- existing CQ Zone of 5 overwritten by LoTW CQ Zone of 05"),
        L("Warning! : K1ABC 20110305 142500 14 CW -- existing GRID of FN42AB overwritten by LoTW GRID of FN42"),
        L("Warning! : K1ABC 20110305 142500 14 CW -- existing IOTA of na001 overwritten by LoTW IOTA of NA001"),
    };
    EXPECT_EQ(monitor.download, expected);
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 3);
    EXPECT_EQ(monitor.shown.value(Counter::DownloadWarnings), 3);
    EXPECT_EQ(monitor.icons[Step::ProblemPointer], StepIcon::RedArrow);
    EXPECT_EQ(errorFile(), (expected.join(L("\r\n")) + L("\r\n")).toLatin1());
}

TEST_F(FieldRulesTest, KeepWarns)
{
    EXPECT_EQ(run(1, "CQ Zone", "05", "5"), L("5"));
    EXPECT_EQ(run(1, "GRID", "FN42", "FN42AB", true), L("FN42AB"));
    EXPECT_EQ(run(1, "County", "MIDDLESEX", "ESSEX"), L("ESSEX"));
    EXPECT_EQ(monitor.download,
              (QStringList{L("Warning! : K1ABC 20110305 142500 14 CW -- LoTW CQ Zone 05 not written - already has CQ Zone of 5"),
                           L("Warning! : K1ABC 20110305 142500 14 CW -- LoTW GRID FN42 not written - already has GRID of FN42AB"),
                           L("Warning! : K1ABC 20110305 142500 14 CW -- LoTW County MIDDLESEX not written - already has County of ESSEX")}));
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 3);
}

TEST_F(FieldRulesTest, GridRefinementOnlyFromTheLogsFourCharacters)
{
    // A 6-character log grid differing from a 6-character LoTW one is a disagreement.
    EXPECT_EQ(run(1, "GRID", "FN42AB", "FN42AC", true), L("FN42AC"));
    // Not a grid: no refinement rule.
    EXPECT_EQ(run(1, "IOTA", "NA0012", "NA00", false), L("NA00"));
    EXPECT_EQ(monitor.counter(Counter::DownloadWarnings), 2);
}

TEST_F(FieldRulesTest, UnwritableErrorFileStopsTheRun)
{
    LineFile broken;
    EXPECT_FALSE(broken.create(dir.file(QStringLiteral("missing/folder/errors.txt"))));
    FieldRules rules(record, 0, problems, broken);
    EXPECT_THROW(rules.apply(L("CQ Zone"), L("05"), L("5")), CFileException);
}
} // namespace
