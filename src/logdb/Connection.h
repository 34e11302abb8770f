#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

// How a column is exchanged with the record class.
enum class ColumnType { Text, Long, Bool };

struct ColumnSpec
{
    QString name; // with its square brackets, as the database spells it: "[QSO-CALL]"
    ColumnType type;
};

// Identifies one row for an update: the rowid on SQLite; through ODBC the values of the
// columns the engine finds rows by (the primary key, a unique index, the driver's row
// identifier) or, where the table offers none of them, every column value as read.
struct RowKey
{
    qint64 rowid = -1;
    QStringList names;   // ODBC: the key columns, with brackets
    QVariantList values; // ODBC: their values as read
};

// One pass over the rows of a query. Values are read as the engine gives them; a null
// column reads as a null QVariant.
class Cursor
{
public:
    virtual ~Cursor() = default;
    // Moves to the next row; false past the last one.
    virtual bool next() = 0;
    virtual QVariant value(int column) const = 0;
    // Text of a column, empty for null (the fast path for text columns).
    virtual QString text(int column) const = 0;
    // The bytes of a text column when every one of them is ASCII, which is the same text in
    // any of the encodings the engines use; false otherwise (and where the engine has no
    // such fast way), when text() tells it. A null column gives true and no bytes.
    virtual bool asciiText(int column, std::string_view& bytes) const
    {
        (void)column;
        (void)bytes;
        return false;
    }
    // Integer value of a column, 0 for null.
    virtual qint64 integer(int column) const = 0;
    // Whether a column is null (an empty text is not).
    virtual bool isNull(int column) const { return value(column).isNull(); }
    virtual RowKey key() const = 0;
};

// One value of a row update, given without a QVariant: a text as UTF-8 bytes, or a number.
struct UpdateValue
{
    bool isText = true;
    std::string_view utf8;
    qint64 number = 0;
};

// Row updates of one set of columns of a table, prepared once and run for many rows.
class RowUpdate
{
public:
    virtual ~RowUpdate() = default;
    // Writes the columns of the row with that key, as Connection::update does. Returns the
    // rows written: more than one where rows known by their values have twins (rows equal in
    // every column, the same QSO logged twice), which are written together.
    virtual qint64 run(RowKey& key, const QVariantList& values) = 0;
    // The same with the values as texts and numbers (count of them: one per column).
    virtual qint64 run(RowKey& key, const UpdateValue* values, int count);
};

// Updates of one set of columns of a table, each written only while the row still holds the
// expected values in the condition columns, prepared once and run for many rows.
class ConditionalUpdate
{
public:
    virtual ~ConditionalUpdate() = default;
    // As Connection::updateIfUnchanged: the rows written, 0 when none was. More than one where
    // rows known by their values have twins, which are written together.
    virtual qint64 run(const RowKey& key, const QVariantList& values, const QVariantList& expected) = 0;
    // The same update, with the same values and expected values, for rows that were read one
    // after another, with no other row of the table between them. Returns the places in keys
    // of the rows that were not written, in order. By default the rows are written one at a
    // time; an engine that can write such a stretch of rows in one statement does so.
    virtual std::vector<size_t> runAdjacent(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                            const QVariantList& expected);
    // The same update, with the same values and expected values, for many rows in any order:
    // the rows each key's update wrote, in the order of keys, as run() called for each key in
    // turn would give them (of twins known by the same values, the first key's count holds
    // them all and a later one's is 0). By default the rows are written one at a time; an
    // engine that can write many of them in one statement, where no other row can be reached
    // by it, does so. progress, when given, is called every few thousand rows.
    virtual std::vector<qint64> runEach(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                        const QVariantList& expected, const std::function<void()>& progress = {});
    // As runEach, each row with expected values of its own: expected[i] for keys[i]. An engine
    // that writes many of them in one statement compares in it the condition columns whose
    // expected values all the rows share, having read beforehand that every row it can reach is
    // one of keys and holds its own expected values.
    virtual std::vector<qint64> runEachExpecting(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                                 const std::vector<QVariantList>& expected,
                                                 const std::function<void()>& progress = {});
    // As runEachExpecting, each row with values of its own as well: values[i] for keys[i]. An
    // engine that reads many of them at once compares as it reads them the condition columns
    // this update does not write, and each row's own statement compares only those it writes.
    virtual std::vector<qint64> runEachOwn(const std::vector<const RowKey*>& keys, const std::vector<QVariantList>& values,
                                           const std::vector<QVariantList>& expected,
                                           const std::function<void()>& progress = {});
};

// One row's update among many that each write columns of their own, as updateIfUnchanged
// takes it: the columns written and their values, the condition columns and the values they
// must hold.
struct RowChange
{
    const RowKey* key = nullptr;
    const std::vector<ColumnSpec>* columns = nullptr;
    const QVariantList* values = nullptr;
    const std::vector<ColumnSpec>* conditions = nullptr;
    const QVariantList* expected = nullptr;
};

class Connection;

// Conditional updates of one table, each prepared once for its columns and condition columns
// and kept as long as this is.
class ConditionalUpdates
{
public:
    ConditionalUpdates(Connection& db, QString table) : m_db(db), m_table(std::move(table)) {}
    const QString& table() const { return m_table; }
    ConditionalUpdate& of(const std::vector<ColumnSpec>& columns, const std::vector<ColumnSpec>& conditions);

private:
    Connection& m_db;
    QString m_table;
    std::map<QString, std::unique_ptr<ConditionalUpdate>> m_updates;
};

// An open database: the log or the reference database. The engine is chosen by the path:
// ".sqlite", ".sqlite3" and ".db" through SQLite's C API; ".mdb" and ".accdb" through ODBC
// with the Access driver; "odbc:" followed by a connection string through ODBC.
class Connection
{
public:
    virtual ~Connection() = default;

    // Opens the database at path; throws CDbException with a clear text when the file does
    // not exist (no database is ever created in its place) or the engine refuses it. All
    // recordsets of one database on one thread share one connection, so that a reader never
    // holds a lock that keeps another recordset's update from committing. A connection is never
    // shared between threads: a run on its worker thread opens its own, whatever the window's
    // thread holds open.
    static std::shared_ptr<Connection> open(const QString& path);

    // Selects columns of table (both with their brackets), with an optional condition (an SQL
    // condition without WHERE) and sort (a column list without ORDER BY). No columns selects
    // every column of the table in its own order. Values reach the condition only as bound
    // parameters: each "?" of filter takes the next of bindings, so that no value from a report
    // or the log can change the statement.
    virtual std::unique_ptr<Cursor> select(const QString& table, const std::vector<ColumnSpec>& columns,
                                           const QString& filter, const QString& sort,
                                           const QVariantList& bindings = {}) = 0;
    // Writes the given columns of the row with that key; exactly one row must change. A key
    // made of the row's values takes the values written.
    virtual void update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                        const QVariantList& values) = 0;

    // The same updates for many rows: the statement is made once. The connection must outlive
    // what it returns.
    virtual std::unique_ptr<RowUpdate> prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns);

    // The same updates as updateIfUnchanged for many rows: the statement is made once. The
    // connection must outlive what it returns.
    virtual std::unique_ptr<ConditionalUpdate> prepareUpdateIfUnchanged(const QString& table,
                                                                         const std::vector<ColumnSpec>& columns,
                                                                         const std::vector<ColumnSpec>& conditionColumns);

    // Whether the rows of table are known by all their values (no rowid, no primary key), so
    // that a key read with some columns tells apart only rows that differ in those columns.
    virtual bool rowsKnownByValues(const QString& table) { (void)table; return false; }

    // Where the rows of table are known by their values and found through an index: the index's
    // columns (with brackets). Keys that share their values are reached together, so they are
    // best handed to one update together. Empty otherwise.
    virtual QStringList searchColumns(const QString& table) { (void)table; return {}; }

    // A line for the monitor saying how the rows of table are found for an update, where the
    // engine has a choice of ways (empty where it has not: SQLite's rowid).
    virtual QString rowLocatorNote(const QString& table) { (void)table; return QString(); }

    // Writes the given columns of the row with that key only while the row still holds the
    // expected values in the condition columns, in one statement. True when the row was
    // written; false when it is gone or holds something else (another program changed it
    // meanwhile). Engine failures throw.
    virtual bool updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                   const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                   const QVariantList& expected) = 0;

    // Conditional updates of many rows in table order, each with columns, values and
    // conditions of its own (updates: those of its table, prepared once): the rows each
    // wrote, as updateIfUnchanged called for each in turn would (of twins known by the same
    // values, the first one's count holds them all and a later one's is 0). Rows one after
    // another of the same columns and conditions go to their update's runEachOwn; an engine
    // for which a statement costs much more than reading a row may read them all first and
    // write those that hold their expected values by leaner statements.
    virtual std::vector<qint64> updateEachIfUnchanged(ConditionalUpdates& updates, const std::vector<RowChange>& rows,
                                                      const std::function<void()>& progress = {});

    // Re-reads the row with that key (one row or none).
    virtual std::unique_ptr<Cursor> selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                                const RowKey& key) = 0;

    // Re-reads rows that were read one after another, keys in that order. The cursor gives
    // those that still exist, in that order; an engine that reads the whole stretch at once
    // (SQLite: its range of rowids) may give rows between them as well, which their keys tell
    // apart.
    virtual std::unique_ptr<Cursor> selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                                  const std::vector<const RowKey*>& keys);

    // The number of rows of table (with its brackets).
    virtual qint64 countRows(const QString& table) = 0;

    // A transaction around many row updates. Each row update is one UPDATE statement that the
    // engine undoes by itself when it fails, so a failed row leaves the others of the
    // transaction in place.
    virtual void beginTransaction() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;

    virtual QString path() const = 0;

    // How long the engine waits for a log another program holds (a reader or a writer) before
    // a statement fails as busy: one budget for the steps between two resets (the start and the
    // end of a transaction), however many statements ask in between.
    static constexpr int kBusyWaitMs = 5000;
    // Called once, on the thread that runs the statement, when a wait for another program
    // begins; null for none. An engine that cannot tell (ODBC) never calls it.
    virtual void setWaitNotice(std::function<void()> notice) { (void)notice; }
};

// Sets a connection's wait notice for as long as it lives, and takes it away again: the notice
// usually reaches a run's monitor, which ends with the run.
class WaitNoticeScope
{
public:
    WaitNoticeScope(Connection& db, std::function<void()> notice) : m_db(db) { m_db.setWaitNotice(std::move(notice)); }
    ~WaitNoticeScope() { m_db.setWaitNotice(nullptr); }
    WaitNoticeScope(const WaitNoticeScope&) = delete;
    WaitNoticeScope& operator=(const WaitNoticeScope&) = delete;

private:
    Connection& m_db;
};

// Tells whether what a log path needs is installed on this machine. Returns an empty text
// when it is, otherwise a message naming what is missing.
QString CheckEngineAvailable(const QString& logPath);

// The log version check: field 0 of the first row of "[VERSION]", read as leading decimal
// digits, must be exactly 6. A missing table or any engine failure fails the check, except a
// log another program holds beyond the wait: that throws CDbException (busy), for the caller to
// say so rather than call the log's version wrong.
bool CheckLogVersion(Connection& db);

// Whether a value is an integer (bool and every integer type), as the engines store it.
bool IsIntegerValue(const QVariant& value);

// Whether two keys name the same row.
bool SameRow(const RowKey& a, const RowKey& b);

// Rows written together with the one an update asked for: twins (rows equal in every column,
// known by the same values). A later update of the same values finds them written already and
// takes one of them instead of reporting a row changed meanwhile.
class TwinCredits
{
public:
    // rows: what the update of key wrote.
    void written(const RowKey& key, qint64 rows);
    // Whether a twin of key was written with an earlier update; taken when it was.
    bool take(const RowKey& key);
    // Rows written together with another so far.
    qint64 together() const { return m_together; }

private:
    static QString text(const RowKey& key);
    std::map<QString, qint64> m_left;
    qint64 m_together = 0;
};

// The monitor line of a run whose log another program holds.
QString WaitNoticeText(const QString& logPath);

class EventMonitor;
// The wait notice of a run on the log at logPath: that line in the monitor of the run's side
// (the upload's or the download's), shown at once.
std::function<void()> WaitNotice(EventMonitor& monitor, bool uploadSide, const QString& logPath);
