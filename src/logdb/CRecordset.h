#pragma once

#include "Connection.h"

#include <QString>
#include <memory>
#include <vector>

// A recordset over one table, in the manner of the DXbase tables: open the whole table, set a
// filter and sort and requery, move first and next, BOF and EOF, read the current row into the
// record class's members on every move, edit, mark members changed and update. Only columns
// marked as changed are written, by the row's key. Every engine failure throws CDbException.
class CRecordset
{
public:
    // Without a connection, the recordset opens its own on defaultDatabase when first opened.
    explicit CRecordset(std::shared_ptr<Connection> db = nullptr);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // Opens the recordset over its table with the current filter and sort, at the first row.
    void open();
    // Opens the recordset as open() does, the query checked by the engine, but reads no row:
    // for a caller that reads the table through a cursor of its own and uses the recordset
    // only to move to rows by key. The recordset stands at BOF and EOF.
    void openWithoutReading();
    bool isOpen() const { return m_open; }
    void close();
    // Keeps the current row's values and key but lets go of the database: the query ends and
    // a connection the recordset opened itself is closed, so that an idle recordset holds no
    // lock that would keep another program from writing. The recordset stays open; moveFirst
    // or requery runs the query again (on a new connection when needed).
    void release();

    // The filter (an SQL condition without WHERE) and the sort (a column list without ORDER
    // BY) take effect at the next open or requery. Values go into a filter as parameters: each
    // "?" of it takes the next of m_filterValues, bound by the engine, never written into the
    // statement's text.
    QString m_strFilter;
    QVariantList m_filterValues;
    QString m_strSort;
    void requery();

    void moveFirst();
    void moveNext();
    bool isBOF() const { return m_bof; }
    bool isEOF() const { return m_eof; }

    // Moves to the row with that key, re-reading it from the database; false when no row of
    // the table has it. The recordset is then positioned on that row alone.
    bool moveToKey(const RowKey& key);
    // The key of the current row.
    const RowKey& currentKey() const { return m_key; }

    void edit();
    // Marks a member (a pointer to one of the bound members) as changed and not null.
    void setFieldDirty(const void* member);
    void update();

    // Field by column index of the current row, as read.
    QVariant fieldValue(int index) const;

    Connection& database();
    const std::shared_ptr<Connection>& connection() const { return m_db; }

    // The columns of this record class, in exchange order.
    const std::vector<ColumnSpec>& columns() const;

protected:
    struct Binding
    {
        ColumnSpec spec;
        void* member; // QString*, qint32* or bool* by spec.type
    };
    virtual QString defaultDatabase() const = 0;
    virtual QString defaultSql() const = 0; // the table, with its brackets
    // Binds every member in exchange order (called once, by the constructor of the class).
    virtual std::vector<Binding> bindings() = 0;

private:
    void ensureBindings();
    void readRow();
    void clearMembers();
    void runQuery();

    std::shared_ptr<Connection> m_db;
    std::unique_ptr<Cursor> m_cursor;
    std::vector<Binding> m_bindings;
    std::vector<ColumnSpec> m_columns;
    std::vector<QVariant> m_raw; // values of the current row as read
    std::vector<bool> m_dirty;
    RowKey m_key;
    bool m_open = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_editing = false;
    bool m_ownsConnection = false; // m_db was opened by database(), not handed in
};
