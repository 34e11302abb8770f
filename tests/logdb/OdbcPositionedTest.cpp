// Rows of a table with neither key nor row identifier, written where they stand in a
// keyset-driven cursor, on a second real ODBC driver: PostgreSQL's, against a server of the
// test's own (the SQLite ODBC driver writes no rows that way). The locator chosen, the row an
// update reaches, twins, a row another program changed, and what one update costs.

#include "logdb/CQSO2006SRC.h"
#include "logdb/OdbcConnection.h"
#include "platform/Errors.h"
#include "support/PostgresServer.h"

#include <gtest/gtest.h>

#include <QThread>

#include <memory>

namespace {

using Locator = OdbcConnection::Locator;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

const QString kTable = QsoTable::name();

class OdbcPositionedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString why = PostgresServer::unavailable();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        server = SharedPostgresServer();
        ASSERT_TRUE(server);
        database = server->newDatabase();
        QString columns;
        for (const ColumnSpec& c : CQSO2006SRC::columnSpecs())
            columns += (columns.isEmpty() ? QString() : S(", ")) + c.name
                       + (c.type == ColumnType::Text ? S(" text") : S(" integer"));
        exec(S("CREATE TABLE [QSO-TAB] (%1)").arg(columns));
    }

    void exec(const QString& sql) const { server->exec(database, {sql}); }
    void insert(const char* call, const char* time, const char* qsls, int number = 0) const
    {
        exec(S("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-TIME],[QSO-QSLS],[QSO-NUMBER],[QSO-DATE]) "
               "VALUES ('%1','%2','%3',%4,'20240101')")
                 .arg(S(call), S(time), S(qsls))
                 .arg(number));
    }
    // call/time/qsls of every row, in order of call, time and mark.
    QStringList marks() const
    {
        return server->query(database, S("SELECT [QSO-CALL] || '/' || [QSO-TIME] || '/' || [QSO-QSLS] FROM [QSO-TAB] "
                                         "ORDER BY 1"));
    }
    std::shared_ptr<OdbcConnection> connect() const
    {
        const QString connection = server->connectionString(database);
        return std::make_shared<OdbcConnection>(connection, S("odbc:") + connection);
    }
    std::vector<RowKey> keys(OdbcConnection& db, const QString& filter = QString()) const
    {
        std::vector<RowKey> found;
        auto cursor = db.select(kTable, CQSO2006SRC::columnSpecs(), filter, S("[QSO-CALL], [QSO-TIME]"));
        while (cursor->next())
            found.push_back(cursor->key());
        return found;
    }
    // The table's reads from beginning to end, as the server counts them once the
    // connections that made them have ended.
    qint64 tableScans(qint64 atLeast) const
    {
        qint64 scans = -1;
        for (int i = 0; i < 100 && scans < atLeast; ++i) {
            if (i > 0)
                QThread::msleep(50);
            scans = server->query(database, S("SELECT seq_scan FROM pg_stat_user_tables WHERE relname = 'QSO-TAB'"))
                        .value(0)
                        .toLongLong();
        }
        return scans;
    }

    PostgresServer* server = nullptr;
    QString database;
};

// A table without key, whether it has an index or not, is written where each row stands, as
// the monitor line says; an update through a recordset reaches the one row it was read from,
// never another of its call, and the key read follows the row's new values.
TEST_F(OdbcPositionedTest, ATableWithoutKeyIsWrittenWhereEachRowStands)
{
    for (const char* index : {static_cast<const char*>(nullptr), "CREATE INDEX qso_call ON [QSO-TAB] ([QSO-CALL])"}) {
        SCOPED_TRACE(index ? "an index on the call" : "no index");
        exec(S("DELETE FROM [QSO-TAB]"));
        if (index)
            exec(S(index));
        insert("DL1ABC", "120000", "0", 1);
        insert("DL1ABC", "130000", "0", 2);
        insert("K1XYZ", "120000", "0", 3);
        {
            auto db = connect();
            EXPECT_EQ(db->locator(kTable), Locator::Positioned);
            EXPECT_TRUE(db->rowLocatorNote(kTable).contains(S("written where it stands")))
                << db->rowLocatorNote(kTable).toStdString();
            EXPECT_TRUE(db->rowsKnownByValues(kTable));
            const QString connection = S("odbc:") + server->connectionString(database);
            CQSO2006SRC qso(connection, db);
            qso.m_strFilter = S("[QSO-TIME] = '130000'");
            qso.open();
            ASSERT_FALSE(qso.isEOF());
            qso.edit();
            qso.qsoQsls = S("2");
            qso.setFieldDirty(&qso.qsoQsls);
            qso.update();
            qso.edit();
            qso.qsoConfirm = S("3");
            qso.setFieldDirty(&qso.qsoConfirm);
            qso.update();
            EXPECT_EQ(db->statistics().positionedWrites, 2);
        }
        EXPECT_EQ(marks(), (QStringList{S("DL1ABC/120000/0"), S("DL1ABC/130000/2"), S("K1XYZ/120000/0")}));
        EXPECT_EQ(server->query(database, S("SELECT [QSO-CONFIRM] FROM [QSO-TAB] WHERE [QSO-QSLS] = '2'")),
                  QStringList{S("3")});
    }
}

// Twins (rows equal in every column) are written together, and a conditional update tells
// how many it wrote: both; one where another program changed the other after the rows were
// read (even in a column the update does not compare); none where both were changed. A row
// another program deleted is not written, and nothing else is.
TEST_F(OdbcPositionedTest, TwinsAreWrittenTogetherAndRowsChangedByAnotherProgramAreLeftAlone)
{
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    struct Case
    {
        const char* otherProgram; // what another program does between the read and the write
        qint64 written;
        QStringList after;
    };
    const Case cases[] = {
        {nullptr, 2, {S("DL1ABC/120000/2"), S("DL1ABC/120000/2"), S("DL1ABC/120500/0")}},
        {"UPDATE [QSO-TAB] SET [QSO-NAME] = 'CHANGED' WHERE ctid = (SELECT MIN(ctid) FROM [QSO-TAB] "
         "WHERE [QSO-TIME] = '120000')",
         1, {S("DL1ABC/120000/0"), S("DL1ABC/120000/2"), S("DL1ABC/120500/0")}},
        {"UPDATE [QSO-TAB] SET [QSO-QSLS] = '1' WHERE [QSO-TIME] = '120000'", 0,
         {S("DL1ABC/120000/1"), S("DL1ABC/120000/1"), S("DL1ABC/120500/0")}},
        {"DELETE FROM [QSO-TAB] WHERE [QSO-TIME] = '120000'", 0, {S("DL1ABC/120500/0")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.otherProgram ? c.otherProgram : "nothing changed");
        exec(S("DELETE FROM [QSO-TAB]"));
        insert("DL1ABC", "120000", "0");
        insert("DL1ABC", "120000", "0");
        insert("DL1ABC", "120500", "0");
        auto db = connect();
        const std::vector<RowKey> read = keys(*db);
        ASSERT_EQ(read.size(), 3u);
        EXPECT_TRUE(SameRow(read[0], read[1]));
        auto mark = db->prepareUpdateIfUnchanged(kTable, qsls, qsls);
        // The cursor reads the table when a row is first looked for: here, a row of no twin
        // whose mark is not as expected, so nothing is written.
        EXPECT_EQ(mark->run(read[2], {S("2")}, {S("1")}), 0);
        if (c.otherProgram)
            exec(S(c.otherProgram));
        db->beginTransaction();
        TwinCredits twins;
        const qint64 first = mark->run(read[0], {S("2")}, {S("0")});
        twins.written(read[0], first);
        EXPECT_EQ(first, c.written);
        // The second twin's own update finds nothing left to write; the first one's wrote it.
        EXPECT_EQ(mark->run(read[1], {S("2")}, {S("0")}), 0);
        EXPECT_EQ(twins.take(read[1]), c.written == 2);
        db->commit();
        EXPECT_EQ(marks(), c.after);
    }
}

// An update fetches its own row and writes it where it stands: the table is read once, by
// the cursor, when a row is first looked for, and every update after it costs one row fetched
// and no statement, on a table of 300 rows as on one of 30. The server counts one read of the
// whole table (the cursor's) besides the walk that found the rows.
TEST_F(OdbcPositionedTest, AnUpdateFetchesItsRowAloneAndTheTableIsReadOnce)
{
    for (const int rows : {30, 300}) {
        SCOPED_TRACE(rows);
        exec(S("DELETE FROM [QSO-TAB]"));
        exec(S("INSERT INTO [QSO-TAB] ([QSO-CALL], [QSO-TIME], [QSO-QSLS], [QSO-NUMBER], [QSO-DATE]) "
               "SELECT 'C' || n, '120000', '0', n, '20240101' FROM generate_series(1, %1) AS n")
                 .arg(rows));
        const qint64 scansBefore = tableScans(0);
        {
            auto db = connect();
            const std::vector<RowKey> found = keys(*db, S("[QSO-NUMBER] % 10 = 7"));
            ASSERT_EQ(found.size(), size_t(rows / 10));
            auto update = db->prepareUpdate(kTable, {QsoTable::column(QsoColumn::Confirm)});
            db->beginTransaction();
            OdbcConnection::Statistics before = db->statistics();
            RowKey first = found.front();
            EXPECT_EQ(update->run(first, {S("2")}), 1);
            OdbcConnection::Statistics after = db->statistics();
            // The cursor's one statement, reading every row once, then the row fetched again.
            EXPECT_EQ(after.executed - before.executed, 1);
            EXPECT_EQ(after.rowsFetched - before.rowsFetched, rows + 1);
            before = after;
            for (size_t i = 1; i < found.size(); ++i) {
                RowKey key = found[i];
                EXPECT_EQ(update->run(key, {S("2")}), 1);
            }
            after = db->statistics();
            const qint64 updates = qint64(found.size()) - 1;
            EXPECT_EQ(after.executed - before.executed, 0);
            EXPECT_EQ(after.rowsFetched - before.rowsFetched, updates);
            EXPECT_EQ(after.positionedWrites - before.positionedWrites, updates);
            db->commit();
        }
        EXPECT_EQ(server->query(database, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-CONFIRM] = '2'")),
                  QStringList{QString::number(rows / 10)});
        // The walk of the program's select, the cursor's, and the count just made.
        EXPECT_EQ(tableScans(scansBefore + 3) - scansBefore, 3);
    }
}

// A cursor that may write only so many rows where they stand (PostgreSQL's driver fails past
// 40,960) is read anew before it reaches them: every row is still written, each once, and the
// table is read once more for each worn-out cursor.
TEST_F(OdbcPositionedTest, AWornOutCursorIsReadAnewAndEveryRowIsWritten)
{
    exec(S("INSERT INTO [QSO-TAB] ([QSO-CALL], [QSO-TIME], [QSO-QSLS], [QSO-NUMBER], [QSO-DATE]) "
           "SELECT 'C' || n, '120000', '0', n, '20240101' FROM generate_series(1, 50) AS n"));
    OdbcConnection::limitWritesPerCursor(4);
    struct Restore
    {
        ~Restore() { OdbcConnection::limitWritesPerCursor(0); }
    } restore;
    auto db = connect();
    const std::vector<RowKey> found = keys(*db, S("[QSO-NUMBER] % 5 = 0"));
    ASSERT_EQ(found.size(), 10u);
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    auto mark = db->prepareUpdateIfUnchanged(kTable, qsls, qsls);
    db->beginTransaction();
    const OdbcConnection::Statistics before = db->statistics();
    for (const RowKey& key : found)
        EXPECT_EQ(mark->run(key, {S("2")}, {S("0")}), 1);
    // Written again with the values of before: each row still holds what it was given.
    for (const RowKey& key : found)
        EXPECT_EQ(mark->run(key, {S("2")}, {S("0")}), 0);
    const OdbcConnection::Statistics after = db->statistics();
    db->commit();
    EXPECT_EQ(after.positionedWrites - before.positionedWrites, 10);
    // Cursors of 4, 4 and 2 writes; the second pass, writing nothing, looks through the last.
    EXPECT_EQ(after.executed - before.executed, 3);
    EXPECT_EQ(server->query(database, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2'")), QStringList{S("10")});
    EXPECT_EQ(server->query(database, S("SELECT COUNT(*) FROM [QSO-TAB] WHERE [QSO-QSLS] = '2' AND [QSO-NUMBER] % 5 = 0")),
              QStringList{S("10")});
}

} // namespace
