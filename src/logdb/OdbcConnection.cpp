#include "OdbcConnection.h"

#include "platform/Errors.h"

#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>
#include <clocale>
#include <cstring>
#include <mutex>
#ifndef Q_OS_WIN
#include <langinfo.h>
#endif

namespace {

QString bareName(const QString& name)
{
    QString bare = name;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    return bare;
}

QString bracketed(const QString& name)
{
    return name.startsWith(QLatin1Char('[')) ? name : QLatin1Char('[') + name + QLatin1Char(']');
}

QString errorText(const QSqlError& error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return text;
}

// The engine's failure as an exception. A database another program holds is told apart by the
// driver's native error: SQLite's busy and locked codes (the SQLite ODBC driver passes them
// on) and the lock errors of the Access database engine.
CDbException Failure(const QSqlError& error)
{
    static const QStringList busyCodes = {
        QStringLiteral("5"),    QStringLiteral("6"),    QStringLiteral("3006"), QStringLiteral("3008"),
        QStringLiteral("3045"), QStringLiteral("3050"), QStringLiteral("3188"), QStringLiteral("3197"),
        QStringLiteral("3202"), QStringLiteral("3211"), QStringLiteral("3218"), QStringLiteral("3260"),
        QStringLiteral("3261"),
    };
    QString code = error.nativeErrorCode().trimmed();
    if (code.startsWith(QLatin1Char('-')))
        code = code.mid(1);
    return CDbException(errorText(error), busyCodes.contains(code) ? CDbException::Cause::Busy : CDbException::Cause::Other);
}

// Binds a value to the next place of a statement. ODBC drivers take a text as far as its first
// NUL character: such a text is refused rather than cut short without a word.
void bind(QSqlQuery& query, const QVariant& value)
{
    if (value.typeId() == QMetaType::QString && value.toString().contains(QChar(0)))
        throw CDbException(QStringLiteral("The value \"%1\" holds a NUL character, which the ODBC driver cannot pass")
                               .arg(value.toString().replace(QChar(0), QStringLiteral("\\0"))));
    query.addBindValue(value);
}

class OdbcCursor : public Cursor
{
public:
    // keyCount: the number of leading key columns in the query before the selected ones;
    // allValues: the row is known by all its selected values.
    OdbcCursor(QSqlQuery query, int keyCount, bool allValues)
        : m_query(std::move(query)), m_keyCount(keyCount), m_allValues(allValues) {}

    bool next() override
    {
        if (m_query.next())
            return true;
        if (m_query.lastError().isValid())
            throw Failure(m_query.lastError());
        return false;
    }
    QVariant value(int column) const override { return m_query.value(m_keyCount + column); }
    QString text(int column) const override
    {
        const QVariant v = value(column);
        return v.isNull() ? QString() : v.toString();
    }
    qint64 integer(int column) const override { return value(column).toLongLong(); }
    RowKey key() const override
    {
        if (m_names.isEmpty()) {
            const QSqlRecord record = m_query.record();
            const int count = m_allValues ? record.count() : m_keyCount;
            for (int i = 0; i < count; ++i)
                m_names.append(bracketed(record.fieldName(i)));
        }
        RowKey k;
        k.names = m_names;
        for (int i = 0; i < m_names.size(); ++i)
            k.values.append(m_query.value(i));
        return k;
    }

private:
    QSqlQuery m_query;
    int m_keyCount;
    bool m_allValues;
    mutable QStringList m_names;
};

QString columnList(const std::vector<ColumnSpec>& columns)
{
    QString list;
    for (const ColumnSpec& c : columns) {
        if (!list.isEmpty())
            list += QLatin1String(", ");
        list += c.name;
    }
    return list;
}

// Drivers turn the wide text of statements into their own bytes with the C library's
// character type: in the "C" locale (a machine without LANG) text outside ASCII is lost on
// the way in, and a filter value such as a Cyrillic call finds nothing. A UTF-8 character
// type is set for the process when it has none.
void ensureUtf8CharacterType()
{
#ifndef Q_OS_WIN
    static std::once_flag once;
    std::call_once(once, [] {
        const char* codeset = nl_langinfo(CODESET);
        if (codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0))
            return;
        if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
            std::setlocale(LC_CTYPE, "en_US.UTF-8");
    });
#endif
}

} // namespace

OdbcConnection::OdbcConnection(const QString& connectionString, const QString& displayPath)
    : m_displayPath(displayPath)
{
    static std::atomic<int> counter{0};
    ensureUtf8CharacterType();
    m_name = QStringLiteral("quorvane-odbc-%1").arg(++counter);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    m_db.setDatabaseName(connectionString);
    if (!m_db.open()) {
        const QString text = errorText(m_db.lastError());
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw CDbException(QStringLiteral("Cannot open the database '%1': %2").arg(displayPath, text));
    }
}

OdbcConnection::~OdbcConnection()
{
    if (m_inTransaction)
        m_db.rollback();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

void OdbcConnection::exec(const QString& sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        throw Failure(query.lastError());
}

const QStringList& OdbcConnection::keyColumns(const QString& table)
{
    auto it = m_keys.find(table);
    if (it != m_keys.end())
        return it->second;
    QStringList keys;
    const QSqlIndex index = m_db.primaryIndex(bareName(table));
    for (int i = 0; i < index.count(); ++i)
        keys.append(bracketed(index.fieldName(i)));
    return m_keys.emplace(table, keys).first->second;
}

std::unique_ptr<Cursor> OdbcConnection::select(const QString& table, const std::vector<ColumnSpec>& columns,
                                               const QString& filter, const QString& sort, const QVariantList& bindings)
{
    const QStringList& keys = keyColumns(table);
    const bool allValues = keys.isEmpty();
    QString list = columns.empty() ? QStringLiteral("*") : columnList(columns);
    if (!allValues)
        list = keys.join(QLatin1String(", ")) + QLatin1String(", ") + list;
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(list, table);
    if (!filter.trimmed().isEmpty())
        sql += QStringLiteral(" WHERE ") + filter;
    if (!sort.trimmed().isEmpty())
        sql += QStringLiteral(" ORDER BY ") + sort;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (bindings.isEmpty()) {
        if (!query.exec(sql))
            throw Failure(query.lastError());
    } else {
        if (!query.prepare(sql))
            throw Failure(query.lastError());
        for (const QVariant& b : bindings)
            bind(query, b);
        if (!query.exec())
            throw Failure(query.lastError());
    }
    return std::make_unique<OdbcCursor>(std::move(query), allValues ? 0 : int(keys.size()), allValues);
}

QString OdbcConnection::keyCondition(const QString& table, const RowKey& key, QVariantList& bindings)
{
    const QStringList& names = key.names;
    if (names.isEmpty() || names.size() != key.values.size())
        throw CDbException(QStringLiteral("The record of %1 cannot be identified.").arg(table));
    QStringList parts;
    for (int i = 0; i < names.size(); ++i) {
        if (key.values.at(i).isNull()) {
            parts.append(names.at(i) + QLatin1String(" IS NULL"));
        } else {
            parts.append(names.at(i) + QLatin1String(" = ?"));
            bindings.append(key.values.at(i));
        }
    }
    return parts.join(QLatin1String(" AND "));
}

std::unique_ptr<Cursor> OdbcConnection::selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                                    const RowKey& key)
{
    const QStringList& keys = keyColumns(table);
    const bool allValues = keys.isEmpty();
    QVariantList bindings;
    const QString condition = keyCondition(table, key, bindings);
    QString list = columns.empty() ? QStringLiteral("*") : columnList(columns);
    if (!allValues)
        list = keys.join(QLatin1String(", ")) + QLatin1String(", ") + list;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(list, table, condition)))
        throw Failure(query.lastError());
    for (const QVariant& b : bindings)
        bind(query, b);
    if (!query.exec())
        throw Failure(query.lastError());
    return std::make_unique<OdbcCursor>(std::move(query), allValues ? 0 : int(keys.size()), allValues);
}

qint64 OdbcConnection::countRows(const QString& table)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)) || !query.next())
        throw Failure(query.lastError());
    return query.value(0).toLongLong();
}

qint64 OdbcConnection::matchingRows(const QString& table, const QString& condition, const QVariantList& bindings)
{
    QSqlQuery count(m_db);
    count.setForwardOnly(true);
    if (!count.prepare(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table, condition)))
        throw Failure(count.lastError());
    for (const QVariant& b : bindings)
        bind(count, b);
    if (!count.exec() || !count.next())
        throw Failure(count.lastError());
    return count.value(0).toLongLong();
}

void OdbcConnection::update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                            const QVariantList& values)
{
    if (columns.empty())
        return;
    QVariantList keyBindings;
    const QString condition = keyCondition(table, key, keyBindings);

    // A row known only by its values may have twins; an update must never touch more than one.
    if (keyColumns(table).isEmpty()) {
        const qint64 rows = matchingRows(table, condition, keyBindings);
        if (rows != 1)
            throw CDbException(rows == 0
                                   ? QStringLiteral("The record to update is no longer in %1.").arg(table)
                                   : QStringLiteral("The record to update is not unique in %1: %2 rows have the same values.")
                                         .arg(table)
                                         .arg(rows));
    }

    QStringList sets;
    for (const ColumnSpec& c : columns)
        sets.append(c.name + QLatin1String(" = ?"));
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QLatin1String(", ")), condition)))
        throw Failure(query.lastError());
    QVariantList written;
    for (int i = 0; i < int(columns.size()); ++i) {
        QVariant v = values.value(i);
        if (columns[i].type == ColumnType::Text) {
            // A column marked changed is written as not null: an emptied text is an empty
            // text, which the driver would take for NULL if it were a null string.
            QString text = v.toString();
            if (text.isNull())
                text = QStringLiteral("");
            v = text;
        }
        written.append(v);
        bind(query, v);
    }
    for (const QVariant& b : keyBindings)
        bind(query, b);
    if (!query.exec())
        throw Failure(query.lastError());
    if (query.numRowsAffected() != 1 && query.numRowsAffected() != -1)
        throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(table));
    // A row known by its values is known by the new ones from now on.
    for (int i = 0; i < int(columns.size()); ++i) {
        const qsizetype at = key.names.indexOf(columns[i].name);
        if (at >= 0)
            key.values[at] = written.at(i);
    }
}

bool OdbcConnection::updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                       const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                       const QVariantList& expected)
{
    if (columns.empty())
        return false;
    QVariantList bindings;
    QString condition = keyCondition(table, key, bindings);
    for (size_t i = 0; i < conditionColumns.size(); ++i) {
        const QVariant& value = expected.value(int(i));
        if (value.isNull()) {
            condition += QLatin1String(" AND ") + conditionColumns[i].name + QLatin1String(" IS NULL");
        } else {
            condition += QLatin1String(" AND ") + conditionColumns[i].name + QLatin1String(" = ?");
            bindings.append(value);
        }
    }

    // A row known only by its values may have twins; such a row is written only when its
    // values still pick out exactly one row.
    if (keyColumns(table).isEmpty()) {
        const qint64 rows = matchingRows(table, condition, bindings);
        if (rows == 0)
            return false;
        if (rows != 1)
            throw CDbException(QStringLiteral("The record to update is not unique in %1: %2 rows have the same values.")
                                   .arg(table)
                                   .arg(rows));
    }

    QStringList sets;
    for (const ColumnSpec& c : columns)
        sets.append(c.name + QLatin1String(" = ?"));
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QLatin1String(", ")), condition)))
        throw Failure(query.lastError());
    for (int i = 0; i < int(columns.size()); ++i) {
        QVariant v = values.value(i);
        // A null is written as null (an undo gives a row back its nulls), typed for the driver.
        if (v.isNull())
            v = columns[i].type == ColumnType::Text ? QVariant(QMetaType::fromType<QString>())
                                                    : QVariant(QMetaType::fromType<qint64>());
        bind(query, v);
    }
    for (const QVariant& b : bindings)
        bind(query, b);
    if (!query.exec())
        throw Failure(query.lastError());
    // A driver that cannot count the rows it changed (-1) is taken at its word.
    return query.numRowsAffected() != 0;
}

void OdbcConnection::beginTransaction()
{
    if (!m_db.transaction())
        throw Failure(m_db.lastError());
    m_inTransaction = true;
}

void OdbcConnection::commit()
{
    if (!m_db.commit())
        throw Failure(m_db.lastError());
    m_inTransaction = false;
}

void OdbcConnection::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (!m_db.rollback())
        throw Failure(m_db.lastError());
}
