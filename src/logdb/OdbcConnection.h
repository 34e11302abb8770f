#pragma once

#include "Connection.h"

#include <QSqlDatabase>
#include <map>

// The log or reference database through ODBC (Qt's QODBC driver): DXbase's Access files
// with the Access driver, or any data source given by a connection string.
class OdbcConnection : public Connection
{
public:
    explicit OdbcConnection(const QString& connectionString, const QString& displayPath);
    ~OdbcConnection() override;

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

    bool rowsKnownByValues(const QString& table) override { return keyColumns(table).isEmpty(); }
    qint64 countRows(const QString& table) override;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override { return m_inTransaction; }

    QString path() const override { return m_displayPath; }

private:
    // The columns that identify a row of table: its primary key, or every column when it has
    // none (then a row is known by all its values as read).
    const QStringList& keyColumns(const QString& table);
    QString keyCondition(const QString& table, const RowKey& key, QVariantList& bindings);
    // The rows of the table that meet the condition (its values bound in order).
    qint64 matchingRows(const QString& table, const QString& condition, const QVariantList& bindings);
    void exec(const QString& sql);

    QString m_name;
    QString m_displayPath;
    QSqlDatabase m_db;
    bool m_inTransaction = false;
    std::map<QString, QStringList> m_keys; // table -> key columns with brackets; empty: all
};
