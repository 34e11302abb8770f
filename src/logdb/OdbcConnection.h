#pragma once

#include "Connection.h"

#include <map>
#include <memory>

// The log or reference database through ODBC, on the ODBC C API (unixODBC's libodbc, odbc32
// on Windows): DXbase's Access files with the Access driver, or any data source given by a
// connection string. Texts go through the wide-character calls, so that they reach the
// driver as the text they are.
//
// A row is found for an update by the best locator the driver offers for its table, chosen
// when the table is first used (see chooseLocator in the .cpp); every statement is prepared
// once per connection and kept.
class OdbcConnection : public Connection
{
public:
    // How the rows of a table are told apart, from the best to the last resort.
    enum class Locator {
        PrimaryKey,  // the table's primary key
        UniqueIndex, // the columns of a unique index whose columns hold no nulls
        BestRowId,   // the driver's best row identifier (SQLite's rowid)
        Positioned,  // all values as read, each row written where it stands in a keyset-driven cursor
        Index,       // all values as read, searched through an index of the table
        AllValues,   // all values as read, with no index to narrow the search
    };

    explicit OdbcConnection(const QString& connectionString, const QString& displayPath);
    ~OdbcConnection() override;
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    // Connections opened from now on use no better locator than best: stands in for a driver
    // that offers less (benchmarks and tests take the ways a log in an Access file may need
    // through the SQLite ODBC driver). Locator::PrimaryKey allows every one.
    static void limitLocators(Locator best);
    // Rows written where they stand through one cursor of PostgreSQL's driver before it is read
    // anew (the driver fails at the 40,961st).
    static constexpr qint64 kPsqlodbcWritesPerCursor = 32768;
    // Stands in for a driver that allows fewer (tests): the rows one cursor may write from now
    // on, 0 for the driver's own limit.
    static void limitWritesPerCursor(qint64 rows);

    std::unique_ptr<Cursor> select(const QString& table, const std::vector<ColumnSpec>& columns,
                                   const QString& filter, const QString& sort,
                                   const QVariantList& bindings = {}) override;
    std::unique_ptr<Cursor> selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                        const RowKey& key) override;
    // The rows of many keys in few statements: a range of the key where it is one integer
    // column, the rows sharing an index's values where rows are known by their values; the
    // rows come in no particular order, and rows that are none of keys may come as well.
    std::unique_ptr<Cursor> selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                          const std::vector<const RowKey*>& keys) override;
    void update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                const QVariantList& values) override;
    bool updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                           const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                           const QVariantList& expected) override;
    std::unique_ptr<RowUpdate> prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns) override;
    std::unique_ptr<ConditionalUpdate> prepareUpdateIfUnchanged(const QString& table,
                                                                const std::vector<ColumnSpec>& columns,
                                                                const std::vector<ColumnSpec>& conditionColumns) override;

    std::vector<qint64> updateEachIfUnchanged(ConditionalUpdates& updates, const std::vector<RowChange>& rows,
                                              const std::function<void()>& progress = {}) override;

    bool rowsKnownByValues(const QString& table) override;
    QStringList searchColumns(const QString& table) override;
    QString rowLocatorNote(const QString& table) override;
    qint64 countRows(const QString& table) override;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override { return m_inTransaction; }

    QString path() const override { return m_displayPath; }

    // The locator chosen for table (chosen now when it has not been yet).
    Locator locator(const QString& table);

    // Runs any statement and gives its rows (EXPLAIN and the like); throws CDbException.
    std::unique_ptr<Cursor> query(const QString& sql);

    // What this connection asked of the driver so far: statements executed, statements
    // prepared, rows fetched. The text of the last statement executed.
    struct Statistics
    {
        qint64 executed = 0;
        qint64 prepared = 0;
        qint64 rowsFetched = 0;
        qint64 positionedWrites = 0; // rows written where they stand in a cursor (SQLSetPos)
    };
    const Statistics& statistics() const { return m_statistics; }
    const QString& lastStatement() const { return m_lastStatement; }

    class Statement;
    class Keyset;
    struct TableInfo;

private:
    class PreparedUpdate;
    class PreparedConditionalUpdate;
    friend class OdbcCursor;
    friend class OdbcStretchCursor;
    friend class KeysetRowCursor;

    const TableInfo& info(const QString& table);
    void chooseLocator(const QString& table, TableInfo& info);
    // A statement prepared once and kept for the connection's life, by its text.
    Statement& cached(const QString& sql);
    std::unique_ptr<Statement> fresh();
    // The condition that finds the row of key; the values to bind are appended to bindings.
    QString keyCondition(const QString& table, const RowKey& key, QVariantList& bindings) const;
    // The text of a statement as the driver takes it (names in brackets, or in its own quotes).
    QString driverText(const QString& sql) const;
    // Whether the driver can write rows where they stand in a keyset-driven cursor, and with
    // which concurrency (0 where it can't).
    unsigned long positionedConcurrency();
    // Whether the driver fetches any row of a cursor of this type by its place and writes it
    // where it stands (SQLSetPos).
    bool writesWhereRowsStand(unsigned long cursorType);
    // Runs sql asking for a keyset-driven cursor of concurrency: whether the driver gave one
    // (or a static one) that writes its rows where they stand.
    bool runWritableCursor(Statement& stmt, const QString& sql, unsigned long concurrency);
    // Whether a query of table's columns gets such a cursor.
    bool givesWritableCursor(const QString& table, const QStringList& columns, unsigned long concurrency);
    // Forgets the rows every keyset-driven cursor holds (a rollback undid what they show, or the
    // driver closes cursors at a commit).
    void dropKeysets();
    // The keyset-driven cursor of a table whose rows are written where they stand.
    Keyset& keysetOf(const QString& table);
    void setAutocommit(bool on);
    // Opens the driver's transaction, where a transaction was begun, before the first write.
    void writing();

    QString m_displayPath;
    void* m_env = nullptr; // SQLHENV
    void* m_dbc = nullptr; // SQLHDBC
    bool m_inTransaction = false;
    bool m_transactionOpen = false; // the driver's transaction: autocommit off
    bool m_getDataAnyColumn = false; // the driver reads unbound columns in any place
    bool m_quoteNames = false;       // the driver knows no names in brackets: they go in double quotes
    bool m_cursorsOutliveCommit = false; // a commit leaves open cursors as they were
    qint64 m_writesPerCursor = 0; // rows a cursor may write where they stand before it is read anew (0: any)
    std::map<QString, std::unique_ptr<TableInfo>> m_tables;
    std::map<QString, std::unique_ptr<Statement>> m_cache;
    Statistics m_statistics;
    QString m_lastStatement;
};
