// How the ODBC engine finds the rows it updates, on the real SQLite ODBC driver: the locator
// chosen for each shape of table, the row an update reaches, twins, and what one update costs.

#include "demo/DemoData.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/OdbcConnection.h"
#include "platform/Errors.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Locator = OdbcConnection::Locator;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

const QString kTable = QsoTable::name();

// Connections opened inside use no better locator than best.
class LocatorLimit
{
public:
    explicit LocatorLimit(Locator best) { OdbcConnection::limitLocators(best); }
    ~LocatorLimit() { OdbcConnection::limitLocators(Locator::PrimaryKey); }
};

class OdbcLocatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CheckEngineAvailable(S("odbc:DRIVER=SQLite3;Database=x")).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
        file = dir.file(S("log.sqlite"));
        DemoData::writeLog(file, 0, 1);
    }
    QString odbc() const { return S("odbc:DRIVER=SQLite3;Database=") + file; }

    // The log's QSO table made anew with the extra column definition first or last (a key of
    // the table's own) and the table constraint, holding the rows given as (call, time, qsls).
    void remake(const QString& before, const QString& after, const QString& constraint)
    {
        QString columns;
        for (const ColumnSpec& c : CQSO2006SRC::columnSpecs()) {
            QString type = c.type == ColumnType::Text ? S("TEXT") : S("INTEGER");
            if (c.name == S("[QSO-CALL]") || c.name == S("[QSO-TIME]"))
                type += S(" NOT NULL");
            columns += (columns.isEmpty() ? QString() : S(", ")) + c.name + QLatin1Char(' ') + type;
        }
        if (!before.isEmpty())
            columns = before + S(", ") + columns;
        if (!after.isEmpty())
            columns += S(", ") + after;
        if (!constraint.isEmpty())
            columns += S(", ") + constraint;
        SqliteFixture::exec(file, {S("DROP TABLE [QSO-TAB]"), S("CREATE TABLE [QSO-TAB] (%1)").arg(columns)});
    }
    void insert(const char* call, const char* time, const char* qsls, int number = 0)
    {
        SqliteFixture::exec(file, {S("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-TIME],[QSO-QSLS],[QSO-NUMBER],[QSO-DATE]) "
                                     "VALUES ('%1','%2','%3',%4,'20240101')")
                                       .arg(S(call), S(time), S(qsls))
                                       .arg(number)});
    }
    QStringList marks() const
    {
        return SqliteFixture::query(file, S("SELECT [QSO-CALL] || '/' || [QSO-TIME] || '/' || [QSO-QSLS] FROM [QSO-TAB] "
                                            "ORDER BY rowid"));
    }

    TestDir dir;
    QString file;
};

struct LocatorCase
{
    const char* name;
    const char* before;     // a column ahead of the QSO's columns
    const char* after;      // a column after them
    const char* constraint; // a table constraint
    const char* index;      // an index made after the table
    Locator limit;          // the best locator the connection may use
    Locator chosen;
    const char* note;       // what the monitor line names
};

// Each shape of table gets its locator, said in the monitor line, and an update through a
// recordset reaches the one row it was read from, never another that shares its call.
TEST_F(OdbcLocatorTest, EachTableGetsTheBestLocatorItOffersAndUpdatesReachTheirRow)
{
    const LocatorCase cases[] = {
        {"key not the first column", "", "[QSO-ID] INTEGER PRIMARY KEY", "", "", Locator::PrimaryKey,
         Locator::PrimaryKey, "primary key [QSO-ID]"},
        {"key of two columns", "", "", "PRIMARY KEY ([QSO-CALL], [QSO-TIME])", "", Locator::PrimaryKey,
         Locator::PrimaryKey, "primary key ["},
        {"text key first", "[QSO-UID] TEXT PRIMARY KEY", "", "", "", Locator::PrimaryKey, Locator::PrimaryKey,
         "primary key [QSO-UID]"},
        {"unique index", "", "", "", "CREATE UNIQUE INDEX qso_unique ON [QSO-TAB] ([QSO-CALL], [QSO-TIME])",
         Locator::PrimaryKey, Locator::UniqueIndex, "unique index qso_unique ([QSO-CALL], [QSO-TIME])"},
        // The driver's best row identifier is then that index, which holds nulls: not taken.
        {"unique index over a nullable column", "", "", "", "CREATE UNIQUE INDEX qso_nullable ON [QSO-TAB] ([QSO-NAME])",
         Locator::PrimaryKey, Locator::Index, "through the index qso_nullable ([QSO-NAME])"},
        {"no key", "", "", "", "", Locator::PrimaryKey, Locator::BestRowId, "row identifier _ROWID_"},
        {"no key, an index on the call", "", "", "", "CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])", Locator::Index,
         Locator::Index, "through the index qso_call ([QSO-CALL])"},
        {"no key, no index", "", "", "", "", Locator::Index, Locator::AllValues, "neither key nor index"},
        // This driver has no cursor that writes rows where they stand: the index serves.
        {"no key, no row identifier to take", "", "", "", "CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])",
         Locator::Positioned, Locator::Index, "through the index qso_call ([QSO-CALL])"},
    };
    for (const LocatorCase& c : cases) {
        SCOPED_TRACE(c.name);
        remake(S(c.before), S(c.after), S(c.constraint));
        if (*c.index)
            SqliteFixture::exec(file, {S(c.index)});
        const char* uid = *c.before ? "1" : nullptr;
        // Two rows of one call, apart in time; the second is the one updated.
        insert("DL1ABC", "120000", "0", 1);
        insert("DL1ABC", "130000", "0", 2);
        insert("K1XYZ", "120000", "0", 3);
        if (uid)
            SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-UID] = 'U' || [QSO-NUMBER]")});
        const LocatorLimit limit(c.limit);
        {
            auto db = std::make_shared<OdbcConnection>(S("DRIVER=SQLite3;Database=") + file, odbc());
            EXPECT_EQ(db->locator(kTable), c.chosen);
            EXPECT_TRUE(db->rowLocatorNote(kTable).contains(S(c.note))) << db->rowLocatorNote(kTable).toStdString();
            EXPECT_EQ(db->rowsKnownByValues(kTable), c.chosen >= Locator::Index);
            CQSO2006SRC qso(odbc(), db);
            qso.m_strFilter = S("[QSO-TIME] = '130000'");
            qso.open();
            ASSERT_FALSE(qso.isEOF());
            qso.edit();
            qso.qsoQsls = S("2");
            qso.setFieldDirty(&qso.qsoQsls);
            qso.update();
            // The key read follows the row's new values: a second update finds it again.
            qso.edit();
            qso.qsoConfirm = S("3");
            qso.setFieldDirty(&qso.qsoConfirm);
            qso.update();
        }
        EXPECT_EQ(marks(), (QStringList{S("DL1ABC/120000/0"), S("DL1ABC/130000/2"), S("K1XYZ/120000/0")}));
        EXPECT_EQ(SqliteFixture::query(file, S("SELECT [QSO-CONFIRM] FROM [QSO-TAB] WHERE [QSO-QSLS] = '2'")),
                  QStringList{S("3")});
    }
}

// Twins (rows equal in every column) known by their values are written together, and a
// conditional update tells how many it wrote: both, one where another program changed the
// other twin since, none where both were changed.
TEST_F(OdbcLocatorTest, TwinsKnownByTheirValuesAreWrittenTogether)
{
    SqliteFixture::exec(file, {S("CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])")});
    insert("DL1ABC", "120000", "0");
    insert("DL1ABC", "120000", "0");
    insert("DL1ABC", "120500", "0");
    const LocatorLimit limit(Locator::Index);
    auto db = std::make_shared<OdbcConnection>(S("DRIVER=SQLite3;Database=") + file, odbc());
    std::vector<RowKey> keys;
    {
        auto cursor = db->select(kTable, CQSO2006SRC::columnSpecs(), QString(), QString());
        while (cursor->next())
            keys.push_back(cursor->key());
    }
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_TRUE(SameRow(keys[0], keys[1]));
    EXPECT_FALSE(SameRow(keys[0], keys[2]));

    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    auto mark = db->prepareUpdateIfUnchanged(kTable, qsls, qsls);
    struct Case
    {
        const char* otherProgram; // what another program does between the read and the write
        qint64 written;
        QStringList after;
    };
    const Case cases[] = {
        {nullptr, 2, {S("DL1ABC/120000/2"), S("DL1ABC/120000/2"), S("DL1ABC/120500/0")}},
        {"UPDATE [QSO-TAB] SET [QSO-NAME] = 'CHANGED' WHERE rowid = 1", 1,
         {S("DL1ABC/120000/0"), S("DL1ABC/120000/2"), S("DL1ABC/120500/0")}},
        {"UPDATE [QSO-TAB] SET [QSO-QSLS] = '1' WHERE [QSO-TIME] = '120000'", 0,
         {S("DL1ABC/120000/1"), S("DL1ABC/120000/1"), S("DL1ABC/120500/0")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.otherProgram ? c.otherProgram : "nothing changed");
        SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-QSLS] = '0', [QSO-NAME] = NULL")});
        if (c.otherProgram)
            SqliteFixture::exec(file, {S(c.otherProgram)});
        TwinCredits twins;
        const qint64 first = mark->run(keys[0], {S("2")}, {S("0")});
        twins.written(keys[0], first);
        EXPECT_EQ(first, c.written);
        // The second twin's own update finds nothing left to write; the first one's wrote it.
        const qint64 second = mark->run(keys[1], {S("2")}, {S("0")});
        EXPECT_EQ(second, 0);
        EXPECT_EQ(twins.take(keys[1]), c.written == 2);
        EXPECT_EQ(twins.together(), c.written == 2 ? 1 : 0);
        EXPECT_EQ(marks(), c.after);
    }
}

// Through an index, an update by all values of a row is one statement, prepared once for the
// run, that reads no row into the program, and the database searches the index for it rather
// than reading the table; without any index the statement is the same one, and its plan
// says it reads the table (which the monitor line tells the operator).
TEST_F(OdbcLocatorTest, AnUpdateByValuesIsOneStatementThatSearchesTheIndex)
{
    for (int i = 0; i < 2000; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "0", i);
    const struct
    {
        const char* index;
        const char* plan; // what the database's plan of the update says
    } cases[] = {
        {"CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])", "USING INDEX qso_call"},
        {nullptr, "SCAN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index ? c.index : "no index");
        SqliteFixture::exec(file, {S("DROP INDEX IF EXISTS qso_call")});
        if (c.index)
            SqliteFixture::exec(file, {S(c.index)});
        const LocatorLimit limit(Locator::Index);
        OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
        std::vector<RowKey> keys;
        {
            auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), S("[QSO-NUMBER] % 200 = 7"), QString());
            while (cursor->next())
                keys.push_back(cursor->key());
        }
        ASSERT_EQ(keys.size(), 10u);
        auto update = db.prepareUpdate(kTable, {QsoTable::column(QsoColumn::Confirm)});
        db.beginTransaction();
        const OdbcConnection::Statistics before = db.statistics();
        for (RowKey& key : keys)
            EXPECT_EQ(update->run(key, {S("2")}), 1);
        const OdbcConnection::Statistics after = db.statistics();
        db.commit();
        EXPECT_EQ(after.executed - before.executed, 10);
        EXPECT_LE(after.prepared - before.prepared, 1);
        EXPECT_EQ(after.rowsFetched - before.rowsFetched, 0);
        EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-CONFIRM] = '2'")),
                  QStringList{S("10")});

        // The plan of the very statement the updates ran, with its values in place.
        QString statement = db.lastStatement();
        ASSERT_TRUE(statement.startsWith(S("UPDATE [QSO-TAB] SET [QSO-CONFIRM] = ? WHERE "))) << statement.toStdString();
        statement.replace(QLatin1Char('?'), S("'x'"));
        QStringList plan;
        auto rows = db.query(S("EXPLAIN QUERY PLAN ") + statement);
        while (rows->next())
            plan.append(rows->text(3));
        const QString said = plan.join(QLatin1Char('\n'));
        EXPECT_TRUE(said.contains(S(c.plan))) << said.toStdString();
        if (c.index)
            EXPECT_FALSE(said.contains(S("SCAN"))) << said.toStdString();
        SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-CONFIRM] = NULL")});
    }
}

// Rows known by their values through an index of one column, each of a call of its own (an
// upload's marks): the rows of 32 calls at a time are read by one statement over a list of the
// calls and written by one more. A call whose rows the statement would reach but that are not
// all of the keys (a row due that was not handed over, or one whose other values another
// program changed) is left out of the list and its keys written each by its values; a twin's
// count holds both rows.
TEST_F(OdbcLocatorTest, RowsOfManyCallsThroughAnIndexAreWrittenByListsOfTheirCalls)
{
    SqliteFixture::exec(file, {S("CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])")});
    for (int i = 0; i < 100; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "0", i);
    insert("C5", "130000", "0", 1000);  // due, not handed over: C5 is written by its values
    insert("C7", "120000", "0", 7);     // a twin of C7's row
    insert("C9", "130000", "2", 1001);  // not due: reached by no statement
    const LocatorLimit limit(Locator::Index);
    OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
    std::vector<RowKey> keys;
    {
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), S("[QSO-NUMBER] < 100"), QString());
        while (cursor->next())
            keys.push_back(cursor->key());
    }
    ASSERT_EQ(keys.size(), 101u); // C7's twins both
    std::vector<const RowKey*> rows;
    for (const RowKey& key : keys)
        rows.push_back(&key);
    // Another program changes C11's row in another column after it was read.
    SqliteFixture::exec(file, {S("UPDATE [QSO-TAB] SET [QSO-NAME] = 'X' WHERE [QSO-CALL] = 'C11'")});
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    auto mark = db.prepareUpdateIfUnchanged(kTable, qsls, qsls);
    db.beginTransaction();
    const OdbcConnection::Statistics before = db.statistics();
    const std::vector<qint64> written = mark->runEach(rows, {S("2")}, {S("0")});
    const OdbcConnection::Statistics after = db.statistics();
    db.commit();
    std::vector<qint64> want(keys.size(), 1);
    bool twinMet = false;
    for (size_t i = 0; i < keys.size(); ++i) {
        const QString call = keys[i].values.at(keys[i].names.indexOf(S("[QSO-CALL]"))).toString();
        if (call == S("C11"))
            want[i] = 0; // changed by another program: not its row any more
        if (call == S("C7")) {
            want[i] = twinMet ? 0 : 2; // the first twin's count holds both
            twinMet = true;
        }
    }
    EXPECT_EQ(written, want);
    // Four lists of 32, 32, 32 and 3 calls: a read and a write each, the one of C5 and C11
    // again without them, and C5's and C11's rows each by its values.
    EXPECT_LE(after.executed - before.executed, 4 * 2 + 4 + 2);
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2'")), QStringList{S("101")});
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT [QSO-CALL] || '/' || [QSO-TIME] FROM [QSO-TAB] WHERE [QSO-QSLS] = '0' "
                                           "ORDER BY rowid")),
              (QStringList{S("C11/120000"), S("C5/130000")}));
}

// The same with expected values of each key's own (an undo puts back a mark only where the
// row is still the QSO it was): the lists compare the values all keys share, and a row that
// does not hold its own leaves its call to be written by its values, where it is not written.
TEST_F(OdbcLocatorTest, RowsOfManyCallsWithExpectedValuesOfTheirOwnAreWrittenByLists)
{
    SqliteFixture::exec(file, {S("CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])")});
    for (int i = 0; i < 64; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "2", i);
    const LocatorLimit limit(Locator::Index);
    OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
    std::vector<RowKey> keys;
    std::vector<QVariantList> expected;
    {
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), QString(), QString());
        while (cursor->next()) {
            keys.push_back(cursor->key());
            // [QSO-QSLS], then the call the row is to hold; C20's is another.
            const QString call = cursor->text(QsoTable::place(QsoColumn::Call));
            expected.push_back({S("2"), call == S("C20") ? S("K20") : call});
        }
    }
    ASSERT_EQ(keys.size(), 64u);
    std::vector<const RowKey*> rows;
    for (const RowKey& key : keys)
        rows.push_back(&key);
    const std::vector<ColumnSpec> conditions = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Call)};
    auto update = db.prepareUpdateIfUnchanged(kTable, {QsoTable::column(QsoColumn::Qsls)}, conditions);
    db.beginTransaction();
    const OdbcConnection::Statistics before = db.statistics();
    const std::vector<qint64> written = update->runEachExpecting(rows, {S("0")}, expected);
    const OdbcConnection::Statistics after = db.statistics();
    db.commit();
    std::vector<qint64> want(64, 1);
    want[20] = 0;
    EXPECT_EQ(written, want);
    EXPECT_LE(after.executed - before.executed, 2 * 2 + 1 + 1);
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT [QSO-CALL] FROM [QSO-TAB] WHERE [QSO-QSLS] <> '0'")),
              QStringList{S("C20")});
}

// Rows of an integer key handed over together, each with expected values of its own (an undo's
// rows, each still to be the QSO it was): one statement reads their range and one writes it,
// comparing only the values they share; the program compared the others as it read them.
TEST_F(OdbcLocatorTest, RowsOfARangeWithExpectedValuesOfTheirOwnAreWrittenByOneStatement)
{
    for (int i = 0; i < 300; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "2", i);
    OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
    ASSERT_EQ(db.locator(kTable), Locator::BestRowId);
    std::vector<RowKey> keys;
    std::vector<QVariantList> expected;
    {
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), S("[QSO-NUMBER] >= 100"), QString());
        while (cursor->next()) {
            keys.push_back(cursor->key());
            expected.push_back({S("2"), cursor->text(2)}); // [QSO-QSLS], then the row's call
        }
    }
    ASSERT_EQ(keys.size(), 200u);
    std::vector<const RowKey*> rows;
    for (const RowKey& key : keys)
        rows.push_back(&key);
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    const std::vector<ColumnSpec> conditions = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Call)};
    auto update = db.prepareUpdateIfUnchanged(kTable, qsls, conditions);
    db.beginTransaction();
    const OdbcConnection::Statistics before = db.statistics();
    const std::vector<qint64> written = update->runEachExpecting(rows, {S("0")}, expected);
    const OdbcConnection::Statistics after = db.statistics();
    db.commit();
    EXPECT_EQ(written, std::vector<qint64>(200, 1));
    EXPECT_EQ(after.executed - before.executed, 2);
    EXPECT_EQ(after.rowsFetched - before.rowsFetched, 200);
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '0'")), QStringList{S("200")});
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2'")), QStringList{S("100")});
}

// Rows of an integer key with values of their own (an undo of an import): one statement reads
// their range, and each row's own update compares only the columns it writes, the others having
// been compared as read.
TEST_F(OdbcLocatorTest, RowsOfARangeWithValuesOfTheirOwnAreReadOnceAndWrittenByLeanStatements)
{
    for (int i = 0; i < 300; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "2", i);
    OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
    std::vector<RowKey> keys;
    std::vector<QVariantList> values;
    std::vector<QVariantList> expected;
    {
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), S("[QSO-NUMBER] >= 100"), QString());
        while (cursor->next()) {
            keys.push_back(cursor->key());
            values.push_back({S("0"), S("N") + cursor->text(2)});
            expected.push_back({S("2"), cursor->text(2)}); // [QSO-QSLS], then the row's call
        }
    }
    ASSERT_EQ(keys.size(), 200u);
    std::vector<const RowKey*> rows;
    for (const RowKey& key : keys)
        rows.push_back(&key);
    const std::vector<ColumnSpec> written = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Note)};
    const std::vector<ColumnSpec> conditions = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Call)};
    auto update = db.prepareUpdateIfUnchanged(kTable, written, conditions);
    db.beginTransaction();
    const OdbcConnection::Statistics before = db.statistics();
    EXPECT_EQ(update->runEachOwn(rows, values, expected), std::vector<qint64>(200, 1));
    const OdbcConnection::Statistics after = db.statistics();
    db.commit();
    EXPECT_EQ(after.executed - before.executed, 201);
    EXPECT_EQ(after.rowsFetched - before.rowsFetched, 200);
    EXPECT_LE(after.prepared - before.prepared, 2);
    EXPECT_EQ(db.lastStatement(), S("UPDATE [QSO-TAB] SET [QSO-QSLS] = ?, [QSO-NOTE] = ? WHERE _ROWID_ = ? AND [QSO-QSLS] = ?"));
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '0' AND [QSO-NOTE] = 'N' || [QSO-CALL]")),
              QStringList{S("200")});
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2' AND [QSO-NOTE] IS NULL")),
              QStringList{S("100")});
}

// Rows of an integer key that put back columns of their own, of several sets (an undo of an
// import): one statement reads their range with every condition column, and each row's own
// update compares only the columns it writes.
TEST_F(OdbcLocatorTest, RowsOfARangeOfDifferentColumnsAreReadOnceAndWrittenByLeanStatements)
{
    for (int i = 0; i < 300; ++i)
        insert(QByteArray("C" + QByteArray::number(i)).constData(), "120000", "2", i);
    OdbcConnection db(S("DRIVER=SQLite3;Database=") + file, odbc());
    const std::vector<ColumnSpec> qslsWritten = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Note)};
    const std::vector<ColumnSpec> qslsConditions = {QsoTable::column(QsoColumn::Qsls), QsoTable::column(QsoColumn::Call)};
    const std::vector<ColumnSpec> noteWritten = {QsoTable::column(QsoColumn::Note)};
    const std::vector<ColumnSpec> noteConditions = {QsoTable::column(QsoColumn::Call)};
    std::vector<RowKey> keys;
    std::vector<QVariantList> values;
    std::vector<QVariantList> expected;
    {
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), S("[QSO-NUMBER] >= 100"), QString());
        while (cursor->next()) {
            keys.push_back(cursor->key());
            const bool qsls = keys.size() % 2 == 1;
            values.push_back(qsls ? QVariantList{S("0"), S("N") + cursor->text(2)} : QVariantList{S("M") + cursor->text(2)});
            expected.push_back(qsls ? QVariantList{S("2"), cursor->text(2)} : QVariantList{cursor->text(2)});
        }
    }
    ASSERT_EQ(keys.size(), 200u);
    std::vector<RowChange> changes;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i % 2 == 0)
            changes.push_back({&keys[i], &qslsWritten, &values[i], &qslsConditions, &expected[i]});
        else
            changes.push_back({&keys[i], &noteWritten, &values[i], &noteConditions, &expected[i]});
    }
    ConditionalUpdates updates(db, kTable);
    db.beginTransaction();
    const OdbcConnection::Statistics before = db.statistics();
    EXPECT_EQ(db.updateEachIfUnchanged(updates, changes), std::vector<qint64>(200, 1));
    const OdbcConnection::Statistics after = db.statistics();
    db.commit();
    EXPECT_EQ(after.executed - before.executed, 201);
    EXPECT_EQ(after.rowsFetched - before.rowsFetched, 200);
    EXPECT_LE(after.prepared - before.prepared, 3);
    EXPECT_EQ(db.lastStatement(), S("UPDATE [QSO-TAB] SET [QSO-NOTE] = ? WHERE _ROWID_ = ?"));
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '0' AND [QSO-NOTE] = 'N' || [QSO-CALL]")),
              QStringList{S("100")});
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2' AND [QSO-NOTE] = 'M' || [QSO-CALL]")),
              QStringList{S("100")});
    EXPECT_EQ(SqliteFixture::query(file, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2' AND [QSO-NOTE] IS NULL")),
              QStringList{S("100")});
}

} // namespace
