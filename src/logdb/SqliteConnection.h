#pragma once

#include "Connection.h"
#include "SqliteBusyWait.h"

#include <deque>
#include <map>
#include <set>

struct sqlite3;
struct sqlite3_stmt;

// A text column's bytes as the log's text: UTF-8, or one character a byte where the bytes are
// not valid UTF-8.
QString DecodeLogText(const char* bytes, qsizetype size);

// The log or reference database as an SQLite file, through SQLite's C API. Texts are written
// as UTF-8 and read with DecodeLogText.
class SqliteConnection : public Connection
{
public:
    explicit SqliteConnection(const QString& path);
    ~SqliteConnection() override;

    std::unique_ptr<Cursor> select(const QString& table, const std::vector<ColumnSpec>& columns,
                                   const QString& filter, const QString& sort,
                                   const QVariantList& bindings = {}) override;
    std::unique_ptr<Cursor> selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                        const RowKey& key) override;
    void update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                const QVariantList& values) override;
    bool updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                           const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                           const QVariantList& expected) override;
    std::unique_ptr<RowUpdate> prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns) override;
    std::unique_ptr<Cursor> selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                          const std::vector<const RowKey*>& keys) override;
    std::unique_ptr<ConditionalUpdate> prepareUpdateIfUnchanged(const QString& table, const std::vector<ColumnSpec>& columns,
                                                                const std::vector<ColumnSpec>& conditionColumns) override;

    qint64 countRows(const QString& table) override;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;

    QString path() const override { return m_path; }
    void setWaitNotice(std::function<void()> notice) override { m_wait.setNotice(std::move(notice)); }

    // Runs one statement without results; throws CDbException on failure.
    void execute(const QString& sql);

private:
    class PreparedUpdate;
    class PreparedConditionalUpdate;
    sqlite3_stmt* prepare(const QString& sql) const;
    sqlite3_stmt* cached(const QString& sql);
    void runUpdate(sqlite3_stmt* stmt, const QString& table, const RowKey& key, const QVariantList& values);
    bool runConditionalUpdate(sqlite3_stmt* stmt, const RowKey& key, const QVariantList& values,
                              const QVariantList& expected);
    [[noreturn]] void fail(const QString& context = QString()) const;
    // Ends a statement that went on although the wait for another program ran out (SQLite
    // then keeps the run's changes in memory): the run cannot commit them, so it stops now.
    void checkWait() const;
    // The text of a statement over table and columns, built once per table, kind and column
    // list: recordsets ask again and again with the same columns.
    const QString& statementText(int kind, const QString& table, const std::vector<ColumnSpec>& columns);

    struct StatementText
    {
        int kind;
        QString table;
        QStringList names;
        QString sql;
    };
    std::deque<StatementText> m_texts; // a deque: the texts handed out stay where they are

    QString m_path;
    QString m_readOnlyReason; // why the file cannot be written; empty when it can
    sqlite3* m_db = nullptr;
    SqliteBusyWait m_wait{kBusyWaitMs};
    std::map<QString, sqlite3_stmt*> m_cache;
    std::set<sqlite3_stmt*> m_cursorsInUse;
};
