// The log's QSO table as the program knows it: the definition DXbase's own log has, byte for
// byte, and the upload's sent marks.

#include "logdb/QsoTable.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"
#include "support/UploadLogFixture.h"

#include <gtest/gtest.h>

namespace {

// The table as a DXbase log defines it.
const char kDxbaseDefinition[] =
    "CREATE TABLE [QSO-TAB] ([QSO-DATE] TEXT, [QSO-TIME] TEXT, [QSO-CALL] TEXT, [QSO-RSTS] TEXT, "
    "[QSO-RSTR] TEXT, [QSO-NAME] TEXT, [QSO-QTH] TEXT, [QSO-NOTE] TEXT, [QSO-PREFIX] TEXT, "
    "[QSO-CQ-ZONE] TEXT, [QSO-ITU-ZONE] TEXT, [QSO-MODE] TEXT, [QSO-SUBMODE] TEXT, [QSO-FREQ] TEXT, "
    "[QSO-BAND] TEXT, [QSO-WPX] TEXT, [QSO-STATE] TEXT, [QSO-COUNTY] TEXT, [QSO-IOTA] TEXT, "
    "[QSO-GRID] TEXT, [QSO-TEN-TEN] TEXT, [QSO-SPEC1] TEXT, [QSO-SPEC2] TEXT, [QSO-CONFIRM] TEXT, "
    "[QSO-QSLS] TEXT, [QSO-QSL-SENT] TEXT, [QSO-QSL-VIA] TEXT, [QSO-MGR-NUMB] TEXT, "
    "[QSO-VALID] INTEGER, [QSO-AWARD] INTEGER, [QSO-SELECT] INTEGER, [QSO-CATEGORY] INTEGER, "
    "[QSO-SAT] TEXT, [QSO-QSL-NUMBER] TEXT, [QSO-NUMBER] INTEGER, [QSO-OPRCALL] TEXT, "
    "[QSO-QSLRDATE] TEXT, [QSO-POWER] TEXT, [QSO-LOTWREC] TEXT, [QSO-ENDTIME] TEXT, [QSO-SATMODE] TEXT)";

TEST(QsoTable, DefinitionIsDxbases)
{
    EXPECT_EQ(QsoTable::createStatement().toStdString(), kDxbaseDefinition);
    EXPECT_EQ(QsoTable::name(), QStringLiteral("[QSO-TAB]"));
    ASSERT_EQ(QsoTable::columns().size(), std::size_t(QsoTable::kColumnCount));
}

// SQLite keeps the definition as written and gives the columns back in its order.
TEST(QsoTable, SqliteTableHasTheColumnsInExchangeOrder)
{
    TestDir dir;
    const QString file = dir.file(QStringLiteral("log.sqlite"));
    SqliteFile(file).exec(QsoTable::createStatement().toStdString());
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'QSO-TAB'")),
              QStringList{QString::fromLatin1(kDxbaseDefinition)});
    QStringList expected;
    for (const ColumnSpec& c : QsoTable::columns())
        expected.append(c.name.mid(1, c.name.size() - 2) + QLatin1Char('|')
                        + (c.type == ColumnType::Long ? QStringLiteral("INTEGER") : QStringLiteral("TEXT")));
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT name, type FROM pragma_table_info('QSO-TAB')")),
              expected);
}

TEST(QsoTable, ColumnsByName)
{
    EXPECT_EQ(QsoTable::column(QsoColumn::Date).name, QStringLiteral("[QSO-DATE]"));
    EXPECT_EQ(QsoTable::column(QsoColumn::Qsls).name, QStringLiteral("[QSO-QSLS]"));
    EXPECT_EQ(QsoTable::column(QsoColumn::Number).type, ColumnType::Long);
    EXPECT_EQ(QsoTable::column(QsoColumn::SatMode).name, QStringLiteral("[QSO-SATMODE]"));
    EXPECT_EQ(QsoTable::place(QsoColumn::SatMode), QsoTable::kColumnCount - 1);
    const std::vector<ColumnSpec> some = QsoTable::columns({QsoColumn::Band, QsoColumn::Call, QsoColumn::Award});
    ASSERT_EQ(some.size(), 3u);
    EXPECT_EQ(some[0].name, QStringLiteral("[QSO-BAND]"));
    EXPECT_EQ(some[1].name, QStringLiteral("[QSO-CALL]"));
    EXPECT_EQ(some[2].name, QStringLiteral("[QSO-AWARD]"));
    EXPECT_EQ(some[2].type, ColumnType::Long);
}

struct MarkCase
{
    const char* qsls;
    bool due;
    const char* marked; // the mark the upload writes for a due value
    bool isMark;
};

TEST(SentMark, ZeroBecomesTwoAndOneBecomesThree)
{
    const MarkCase cases[] = {
        {"0", true, "2", false}, {"1", true, "3", false}, {"2", false, nullptr, true}, {"3", false, nullptr, true},
        {"", false, nullptr, false}, {"00", false, nullptr, false}, {" 0", false, nullptr, false},
        {"4", false, nullptr, false}, {"11", false, nullptr, false}, {"23", false, nullptr, false},
    };
    for (const MarkCase& c : cases) {
        const QString qsls = QString::fromLatin1(c.qsls);
        EXPECT_EQ(SentMark::isDue(qsls), c.due) << c.qsls;
        EXPECT_EQ(SentMark::isMarked(qsls), c.isMark) << c.qsls;
        if (c.due) {
            EXPECT_EQ(SentMark::marked(SentMark::isOne(qsls)), QString::fromLatin1(c.marked)) << c.qsls;
            EXPECT_EQ(SentMark::due(SentMark::isOne(qsls)), qsls) << c.qsls;
        }
    }
}

} // namespace
