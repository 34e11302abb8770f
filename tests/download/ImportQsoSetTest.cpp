#include "demo/DemoData.h"
#include "download/ImportQsoSet.h"
#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"
#include "undo/UndoJournal.h"

#include "Printing.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
QString S(const char* text)
{
    return QString::fromLatin1(text);
}
QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QStringList Values(const LoggedQso& q)
{
    return {q.oprCall, q.confirm, q.lotwRec, q.cqZone, q.ituZone, q.state, q.county, q.iota, q.grid,
            QString::number(q.award)};
}

// The log's QSOs as the import holds them, on a SQLite log shaped like DXbase's.
class ImportQsoSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.file(S("log.sqlite"));
        DemoData::writeLog(path, 0, 1);
    }

    void insert(const QString& columns, const QString& values)
    {
        SqliteFixture::exec(path, {QStringLiteral("INSERT INTO [QSO-TAB] (%1) VALUES (%2)").arg(columns, values)});
    }
    // A searchable row: call, date, time, mode, band set; more columns after.
    void addQso(const QString& call, const QString& moreColumns = QString(), const QString& moreValues = QString())
    {
        insert(S("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND]") + moreColumns,
               QStringLiteral("'%1','20110305','1425','2','6'").arg(call) + moreValues);
    }
    QStringList rows(const char* columns)
    {
        return SqliteFixture::query(path, QStringLiteral("SELECT %1 FROM [QSO-TAB] ORDER BY rowid").arg(S(columns)));
    }
    std::shared_ptr<Connection> open()
    {
        std::shared_ptr<Connection> log = Connection::open(path);
        qsos.load(*log);
        return log;
    }
    LoggedQso read(qint64 entry)
    {
        LoggedQso q;
        qsos.read(entry, q);
        return q;
    }

    TestDir dir;
    QString path;
    ImportQsoSet qsos;
};

// Every value comes back as the log holds it: texts beyond ASCII, null and empty alike as "",
// the largest and smallest award masks.
TEST_F(ImportQsoSetTest, ValuesReadAsTheLogHoldsThem)
{
    const QString columns = S(",[QSO-OPRCALL],[QSO-CONFIRM],[QSO-LOTWREC],[QSO-CQ-ZONE],[QSO-ITU-ZONE],[QSO-STATE],"
                              "[QSO-COUNTY],[QSO-IOTA],[QSO-GRID],[QSO-AWARD]");
    addQso(S("K1ABC"), columns, U(",'K1QVN','1','20110310','05','08','CT','Gen\xc3\xa8ve \xc5\x81\xc3\xb3\x64\xc5\xba','NA046','FN31pr',2147483647"));
    addQso(S("W1AW"), columns, S(",NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,-2147483648"));
    addQso(S("W2XY"), S(",[QSO-COUNTY]"), QStringLiteral(",'%1'").arg(QString(300, QLatin1Char('x'))));
    auto log = open();
    ASSERT_EQ(qsos.size(), 3);
    EXPECT_EQ(Values(read(0)), (QStringList{S("K1QVN"), S("1"), S("20110310"), S("05"), S("08"), S("CT"),
                                            U("Gen\xc3\xa8ve \xc5\x81\xc3\xb3\x64\xc5\xba"), S("NA046"), S("FN31pr"),
                                            S("2147483647")}));
    EXPECT_EQ(Values(read(1)), (QStringList{S(""), S(""), S(""), S(""), S(""), S(""), S(""), S(""), S(""),
                                            S("-2147483648")}));
    EXPECT_EQ(read(2).county, QString(300, QLatin1Char('x')));
    const QsoIndex::Match match = qsos.index().find(S("W1AW"), S("20110305"), S("1425"), S("2"), S("6"), {}, {});
    EXPECT_TRUE(match.found);
    EXPECT_EQ(match.entry, 1);
}

// Rows no search can find are not kept: a null call, date, time, mode or band, a call beyond
// Latin-1. An empty text is no null: that row is kept.
TEST_F(ImportQsoSetTest, RowsNoSearchCanFindAreLeftOut)
{
    insert(S("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND]"), S("NULL,'20110305','1425','2','6'"));
    insert(S("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND]"), S("'K1A','20110305','1425','2',NULL"));
    insert(S("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND]"), U("'\xd0\x96\xd0\x96','20110305','1425','2','6'"));
    insert(S("[QSO-CALL],[QSO-DATE],[QSO-TIME],[QSO-MODE],[QSO-BAND],[QSO-STATE]"), S("'','20110305','1425','2','6','empty call'"));
    addQso(S("K1ABC"), S(",[QSO-STATE]"), S(",'MA'"));
    auto log = open();
    ASSERT_EQ(qsos.size(), 2);
    EXPECT_EQ(read(0).state, S("empty call"));
    EXPECT_EQ(read(1).state, S("MA"));
}

// Changes are kept in memory until written; then each changed row gets exactly the columns
// that changed, and a column left as it was keeps its null.
TEST_F(ImportQsoSetTest, OnlyChangedColumnsAreWritten)
{
    addQso(S("K1ABC"), S(",[QSO-CONFIRM],[QSO-STATE],[QSO-AWARD]"), S(",'1','CT',0"));
    addQso(S("W1AW"));
    addQso(S("W2XY"), S(",[QSO-GRID]"), S(",'FN20'"));
    auto log = open();
    const QStringList before = rows("[QSO-CALL],[QSO-CONFIRM],[QSO-STATE],[QSO-COUNTY],[QSO-GRID],[QSO-AWARD]");

    LoggedQso first = read(0);
    first.confirm = S("2");
    first.county = U("M\xc3\xbcnchen");
    first.award = 5;
    qsos.change(0, first, ImportQsoSet::Confirm | ImportQsoSet::County | ImportQsoSet::Award);
    LoggedQso third = read(2);
    third.grid = S("FN20ab");
    qsos.change(2, third, ImportQsoSet::Grid);
    qsos.change(1, read(1), 0); // nothing changed: nothing to write
    EXPECT_EQ(qsos.changedRows(), 2);
    EXPECT_EQ(qsos.touchedRows(), 2);
    // Read back as changed, not yet in the log.
    EXPECT_EQ(read(0).county, U("M\xc3\xbcnchen"));
    EXPECT_EQ(rows("[QSO-CALL],[QSO-CONFIRM],[QSO-STATE],[QSO-COUNTY],[QSO-GRID],[QSO-AWARD]"), before);

    log->beginTransaction();
    qint64 refused = -1;
    QString reason;
    qint64 pumped = 0;
    ASSERT_TRUE(qsos.writeChanges(*log, [&](qint64) { ++pumped; }, refused, reason));
    log->commit();
    EXPECT_EQ(qsos.changedRows(), 0);
    EXPECT_EQ(refused, -1);
    EXPECT_EQ(rows("[QSO-CALL],[QSO-CONFIRM],[QSO-STATE],[QSO-COUNTY],[QSO-GRID],[QSO-AWARD]"),
              (QStringList{U("K1ABC|2|CT|M\xc3\xbcnchen|<null>|5"), S("W1AW|<null>|<null>|<null>|<null>|<null>"),
                           S("W2XY|<null>|<null>|<null>|FN20ab|<null>")}));
}

// A row the log refuses keeps the values it had before; the run learns which and why, and the
// rows written before it stay written.
TEST_F(ImportQsoSetTest, RefusedWriteKeepsTheValuesBefore)
{
    addQso(S("K1ABC"), S(",[QSO-STATE]"), S(",'CT'"));
    addQso(S("W1AW"), S(",[QSO-STATE]"), S(",'MA'"));
    SqliteFixture::exec(path, {S("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN NEW.[QSO-CALL] = 'W1AW' "
                                 "BEGIN SELECT RAISE(ABORT, 'the log refuses W1AW'); END")});
    auto log = open();
    LoggedQso q = read(0);
    q.state = S("NH");
    log->beginTransaction();
    qsos.write(*log, 0, q, ImportQsoSet::State);
    q = read(1);
    q.state = S("VT");
    EXPECT_THROW(qsos.write(*log, 1, q, ImportQsoSet::State), CDbException);
    EXPECT_EQ(read(1).state, S("MA"));

    // The same through writeChanges: the first row written, the second refused.
    q = read(1);
    q.state = S("ME");
    qsos.change(1, q, ImportQsoSet::State);
    qint64 refused = -1;
    QString reason;
    EXPECT_FALSE(qsos.writeChanges(*log, {}, refused, reason));
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(reason.contains(S("the log refuses W1AW"))) << reason.toStdString();
    log->commit();
    EXPECT_EQ(rows("[QSO-STATE]"), (QStringList{S("NH"), S("MA")}));
}

// The undo journal gets each changed row's written columns as the log held them and as the
// run left them: columns not changed absent, a null the run left empty still null.
TEST_F(ImportQsoSetTest, JournalHoldsBeforeAndAfterOfChangedRowsOnly)
{
    addQso(S("K1ABC"), S(",[QSO-CONFIRM],[QSO-STATE]"), S(",'1',NULL"));
    addQso(S("W1AW"));
    auto log = open();
    LoggedQso q = read(0);
    q.confirm = S("3");
    q.state = S(""); // set to what it was (null, read as empty): no change
    q.award = 0;
    q.grid = S("FN31");
    qsos.change(0, q, ImportQsoSet::Confirm | ImportQsoSet::State | ImportQsoSet::Grid);
    // A second change of the same row: the journal keeps what the log held at first.
    q.confirm = S("2");
    qsos.change(0, q, ImportQsoSet::Confirm);

    struct Entry
    {
        RowKey key;
        QVariantList before, after, identity;
        std::vector<bool> presentBefore, presentAfter;
    };
    std::vector<Entry> entries;
    const std::vector<ColumnSpec> columns = ImportQsoSet::writtenColumns();
    ASSERT_EQ(columns.size(), 9u);
    qsos.journal([&](const RowKey& key, QByteArrayView before, QByteArrayView after, QByteArrayView identity) {
        Entry e;
        e.key = key;
        std::vector<bool> present;
        EXPECT_TRUE(UndoValues::decode(before, columns, e.before, e.presentBefore));
        EXPECT_TRUE(UndoValues::decode(after, columns, e.after, e.presentAfter));
        EXPECT_TRUE(UndoValues::decode(identity, UndoJournal::identityColumns(), e.identity, present));
        entries.push_back(e);
    });
    ASSERT_EQ(entries.size(), 1u);
    const Entry& e = entries[0];
    EXPECT_EQ(e.key.rowid, 1);
    // Confirm, LoTW date, CQ, ITU, state, county, IOTA, grid, award.
    EXPECT_EQ(e.presentBefore, (std::vector<bool>{true, false, false, false, false, false, false, true, false}));
    EXPECT_EQ(e.presentAfter, e.presentBefore);
    EXPECT_EQ(e.before[0], QVariant(S("1")));
    EXPECT_EQ(e.after[0], QVariant(S("2")));
    EXPECT_TRUE(e.before[7].isNull()); // the grid was null
    EXPECT_EQ(e.after[7], QVariant(S("FN31")));
    EXPECT_EQ(e.identity, (QVariantList{S("K1ABC"), S("20110305"), S("1425"), S("6"), S("2")}));
}
} // namespace
