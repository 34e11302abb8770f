#include "CRecordset.h"

#include "platform/Errors.h"

#include <algorithm>

CRecordset::CRecordset(std::shared_ptr<Connection> db) : m_db(std::move(db)) {}

CRecordset::~CRecordset() = default;

void CRecordset::ensureBindings()
{
    if (!m_bindings.empty())
        return;
    m_bindings = bindings();
    m_columns.clear();
    for (const Binding& b : m_bindings)
        m_columns.push_back(b.spec);
    m_dirty.assign(m_bindings.size(), false);
}

const std::vector<ColumnSpec>& CRecordset::columns() const
{
    const_cast<CRecordset*>(this)->ensureBindings();
    return m_columns;
}

Connection& CRecordset::database()
{
    if (!m_db) {
        m_db = Connection::open(defaultDatabase());
        m_ownsConnection = true;
    }
    return *m_db;
}

void CRecordset::open()
{
    ensureBindings();
    database();
    runQuery();
    m_open = true;
}

void CRecordset::openWithoutReading()
{
    ensureBindings();
    database();
    m_editing = false;
    m_cursor.reset();
    // A condition no row meets: the engine checks the table and the columns, and reads none.
    database().select(defaultSql(), m_columns, QStringLiteral("1 = 0"), QString())->next();
    m_bof = m_eof = true;
    clearMembers();
    m_open = true;
}

void CRecordset::close()
{
    m_cursor.reset();
    m_open = false;
    m_editing = false;
    m_bof = m_eof = true;
}

void CRecordset::release()
{
    m_cursor.reset();
    m_editing = false;
    if (m_ownsConnection) {
        m_db.reset();
        m_ownsConnection = false;
    }
}

void CRecordset::requery()
{
    if (!m_open) {
        open();
        return;
    }
    runQuery();
}

void CRecordset::runQuery()
{
    m_editing = false;
    m_cursor.reset();
    m_cursor = database().select(defaultSql(), m_columns, m_strFilter, m_strSort, m_filterValues);
    if (m_cursor->next()) {
        m_bof = m_eof = false;
        readRow();
    } else {
        m_bof = m_eof = true;
        clearMembers();
    }
}

void CRecordset::moveFirst()
{
    if (!m_open)
        throw CDbException(QStringLiteral("The recordset is not open."));
    runQuery();
}

void CRecordset::moveNext()
{
    if (!m_open || !m_cursor || m_eof)
        throw CDbException(QStringLiteral("No current record."));
    m_editing = false;
    if (m_cursor->next()) {
        readRow();
    } else {
        m_eof = true;
        clearMembers();
    }
}

bool CRecordset::moveToKey(const RowKey& key)
{
    ensureBindings();
    m_editing = false;
    m_cursor.reset();
    m_cursor = database().selectByKey(defaultSql(), m_columns, key);
    m_open = true;
    if (m_cursor->next()) {
        m_bof = m_eof = false;
        readRow();
        return true;
    }
    m_bof = m_eof = true;
    clearMembers();
    return false;
}

void CRecordset::readRow()
{
    for (size_t i = 0; i < m_bindings.size(); ++i) {
        const Binding& b = m_bindings[i];
        const int column = int(i);
        switch (b.spec.type) {
        case ColumnType::Text: *static_cast<QString*>(b.member) = m_cursor->text(column); break;
        case ColumnType::Long: *static_cast<qint32*>(b.member) = qint32(m_cursor->integer(column)); break;
        case ColumnType::Bool: *static_cast<bool*>(b.member) = m_cursor->integer(column) != 0; break;
        }
    }
    m_key = m_cursor->key();
}

void CRecordset::clearMembers()
{
    for (const Binding& b : m_bindings) {
        switch (b.spec.type) {
        case ColumnType::Text: static_cast<QString*>(b.member)->clear(); break;
        case ColumnType::Long: *static_cast<qint32*>(b.member) = 0; break;
        case ColumnType::Bool: *static_cast<bool*>(b.member) = false; break;
        }
    }
    m_key = RowKey();
}

void CRecordset::edit()
{
    if (!m_open || m_bof || m_eof)
        throw CDbException(QStringLiteral("No current record."));
    std::fill(m_dirty.begin(), m_dirty.end(), false);
    m_editing = true;
}

void CRecordset::setFieldDirty(const void* member)
{
    for (size_t i = 0; i < m_bindings.size(); ++i) {
        if (m_bindings[i].member == member) {
            m_dirty[i] = true;
            return;
        }
    }
    throw CDbException(QStringLiteral("The field is not a column of this recordset."));
}

void CRecordset::update()
{
    if (!m_editing)
        throw CDbException(QStringLiteral("Update without a preceding edit."));
    std::vector<ColumnSpec> changed;
    QVariantList values;
    for (size_t i = 0; i < m_bindings.size(); ++i) {
        if (!m_dirty[i])
            continue;
        changed.push_back(m_bindings[i].spec);
        values.append(fieldValue(int(i)));
    }
    m_editing = false;
    std::fill(m_dirty.begin(), m_dirty.end(), false);
    database().update(defaultSql(), m_key, changed, values);
}

QVariant CRecordset::fieldValue(int index) const
{
    const_cast<CRecordset*>(this)->ensureBindings();
    if (index < 0 || index >= int(m_bindings.size()))
        throw CDbException(QStringLiteral("Item not found in this collection."));
    const Binding& b = m_bindings[size_t(index)];
    switch (b.spec.type) {
    case ColumnType::Text: return *static_cast<const QString*>(b.member);
    case ColumnType::Long: return QVariant(*static_cast<const qint32*>(b.member));
    case ColumnType::Bool: return QVariant(*static_cast<const bool*>(b.member));
    }
    return QVariant();
}
